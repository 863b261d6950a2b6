// The model-specific part of the VPD record, as data: one table of fields per
// layout letter, in printing order, and the line table that says for every
// line what its label in the text and its name in the +json document are.
// The decoder turns a layout's fields into lines (vpd_record.h); the text
// and the document only format them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

/// Texts of an enumerated byte or a bit field, indexed by the value; a value
/// at or beyond `count` prints "UNRECOGNIZED".
struct VpdTextTable {
    const char* const* texts;
    uint8_t count;
};

/// Every line a layout can print, and the groups of lines a layout field can
/// stand for (bank groups, the FPGA identity); the enumerator names follow
/// the line names of the layouts.
enum class VpdLine : uint8_t {
    // Integer and enumerated lines.
    PcbRevision,
    CpldRevision,
    ModificationsByte,  // "%u (0x%02X)"
    ModificationsWide,  // "%u (0x%08X)", whatever the mask's width
    CustomBuildCode,    // code at offset, revision at offset + 1
    CoolingType,
    CoatingType,
    Pn4Connector,
    BoardTemperatureGrade,
    FpgaPackage,
    FpgaSpaceGrade,
    // Clock words.
    Si5338RefClock,
    Si5338RefClockShort,
    InternalSi5338RefClock,
    Si5338RefClock0,
    Si5338RefClock1,
    EmcclkClock,
    FabricClock,
    PsRefClock,
    Lmk04208RefClock,
    Lmk04208VcxoClock,
    // Bit lines of the modifications mask.
    BitSw1,
    BitRs232Converter,
    BitSi5328JitterAttenuator,
    BitFireFlyModules,
    BitZqsfpModules,
    BitActiveCoolingFans,
    BitOptics,
    BitVccPsbatt,
    BitPn6Connector,
    BitPn4Connector,
    BitAdcRfTransformer,
    BitRfConnector,
    BitDacRfTransformer,
    BitXmcConnector,
    BitFireFlyConnector,
    BitSi5338RefClockSource,
    BitHeatsink,
    BitFans,
    BitTopShroud,
    Ddr4ChipClass,  // 4-bit field of the mask
    // Bank groups: `count` entries `stride` bytes apart.
    Ddr4Banks,       // frequency, size (and ranks)
    PlDdr4Banks,     // frequency, size (and ranks)
    ZbtSsramBanks,   // frequency, size (kiB/MiB thresholds)
    PsQspiFlashBanks,  // size codes only
    // Single memory fields.
    PsDdr4Frequency,
    PsDdr4Size64,
    PsDdr4Size32,
    PsDdr4Ranks,
    PsEmmcFlashSize,
    PsSataFlashSize,
    PsEmmcMemorySize,
    PsQspiFlashMemorySize,
    HbmFrequency,
    HbmDieCapacity,
    HbmDieCount,
    // Stepping, speed grade, device, temperature grade (15 bytes).
    FpgaIdentity,
    // The lines the groups above stand for (a bank line once per bank).
    Ddr4BankFrequency,
    Ddr4BankSize,
    Ddr4BankRanks,
    PlDdr4BankFrequency,
    PlDdr4BankSize,
    PlDdr4BankRanks,
    ZbtSsramBankFrequency,
    ZbtSsramBankSize,
    PsQspiFlashBankSize,
    FpgaStepping,
    FpgaSpeedGrade,
    FpgaDevice,
    FpgaTemperatureGrade,
};
constexpr size_t kVpdLineCount = static_cast<size_t>(VpdLine::FpgaTemperatureGrade) + 1;

/// How a line's value reads and shows: the format after the label in the
/// text, and the value and unit of its entry in the document.
enum class VpdShow : uint8_t {
    Group,          // no line of its own: the decoder gives its member lines
    Revision,       // "%u (0x%02X) => %u.%u", value "major.minor"
    Byte,           // "%u (0x%02X)"
    Word,           // "%u (0x%08X)", whatever the mask's width
    BuildCode,      // "%u, %u => " and the build text; raw the two bytes
    Choice,         // "%u (0x%02X) => " and the text, "UNRECOGNIZED" (null) when unknown
    WideChoice,     // the same with "0x%04X"
    Clock,          // "%u (0x%08X) Hz"
    ShortClock,     // "%u (0x%X) Hz"
    Bit,            // a bit line: "=> " and the label in the value column, then the text
    ChipClass,      // the DDR4 chip class line
    Ddr4Frequency,  // "%u (0x%04X) => %u MHz / DDR4-%u"; two entries, MHz and MT/s
    Frequency,      // "%u (0x%04X) => %u MHz", rounded
    HbmFrequency,   // "%u (0x%04X) => %u MHz", truncated
    Size,           // "%u (0x%02X) => " and the size; value in bytes
    Ranks,          // "%u (0x%02X) => " and the ranks text (and its error line)
    Text,           // the record's characters in quotes; raw the bytes
};

/// One row of the line table. In label and key a '#' stands for the bank
/// number of a bank line.
struct VpdLineRow {
    VpdLine line;
    VpdShow show;
    const char* label;  ///< text label, printed in a column of 35 (bit lines: the text after "=> ")
    const char* key;    ///< name of the document entry
    const char* rateKey = nullptr;  ///< Ddr4Frequency: name of the data rate entry
};

/// The line table, one row per line in enumerator order.
std::span<const VpdLineRow> vpdLineRows();
inline const VpdLineRow& vpdLineRow(VpdLine line) { return vpdLineRows()[static_cast<size_t>(line)]; }

/// How a memory size code turns into a printed size.
enum class VpdSizeRule : uint8_t {
    Plain,            // 64-bit size, GiB/MiB
    NotFittedIfZero,  // as Plain, but a size of 0 prints "NOT FITTED"
    ThirtyTwoBit,     // size computed in 32 bits, GiB/MiB
    Zbt,              // 64-bit size, MiB/kiB
};

/// The drawing numbers a field applies to: all (no numbers), only the listed
/// ones, or all but the listed ones.
struct VpdModels {
    enum Mode : uint8_t { All, Only, Except };
    Mode mode = All;
    uint16_t numbers[3] = {};

    bool includes(uint32_t drawingNumber) const;
};

/// One row of a layout. Unused members stay zero.
struct VpdField {
    VpdLine line;
    uint8_t offset = 0;
    /// Bytes read for an integer or a mask (1, 2 or 4); for a bit line or
    /// chip class, the width of the mask it is taken from.
    uint8_t width = 1;
    uint8_t bitShift = 0;  ///< bit lines and chip class
    uint8_t bitCount = 0;
    const VpdTextTable* texts = nullptr;  ///< enumerated bytes and bit lines
    uint8_t wordSize = 0;                 ///< W of a memory size code
    VpdSizeRule sizeRule = VpdSizeRule::Plain;
    uint8_t count = 0;   ///< bank groups
    uint8_t stride = 0;  ///< bank groups
    bool ranks = false;  ///< bank groups: ranks byte at entry + 3
    VpdModels models = {};
};

struct VpdLayout {
    char letter;
    std::span<const VpdField> fields;
};

struct VpdModel {
    uint32_t drawingNumber;
    const char* name;
    char layout;  ///< layout letter, or '-' for a named model without a layout
};

/// The drawing-number table, in its published order.
std::span<const VpdModel> vpdModels();
/// Every layout.
std::span<const VpdLayout> vpdLayouts();
/// The layout of a drawing number, or null (unknown number or no layout).
const VpdLayout* vpdLayoutFor(uint32_t drawingNumber);

/// Bytes of the record a field reads, from its offset (bank groups span all
/// their entries). Bit lines report their mask's bytes.
size_t vpdFieldExtent(const VpdField& field);
/// True for bit lines and chip class: fields taken from a mask printed above.
bool vpdFieldIsBitField(const VpdField& field);

/// The number a field holds: the integer of `width` bytes at its offset, or
/// for a bit line or chip class the bits taken from its mask.
uint32_t vpdFieldValue(const VpdField& field, const uint8_t* vpd);
/// Text of an enumerated value, or null when the table has none for it.
const char* vpdTableText(const VpdTextTable* texts, uint32_t index);
/// Name of a DDR4 chip class ("DDR4-2400 CL16"), or null when unknown.
const char* vpdChipClassName(uint32_t chipClass);
/// What a ranks byte says: "single-die", "traditional twin-die",
/// "multi-die, N dies" or "traditional N dies".
std::string vpdRanksText(uint8_t ranks);
/// "Standard build" for code 0, otherwise "/C<code>.<revision>".
std::string vpdCustomBuildText(uint8_t code, uint8_t revision);
/// A memory frequency word in units of 100 kHz: rounded MHz, and the DDR4
/// data rate in MT/s.
inline unsigned vpdFrequencyMhz(unsigned word) { return (word + 5) / 10; }
inline unsigned vpdDdr4DataRate(unsigned word) { return (word + 2) / 5; }

/// Memory size of a size code with word size W, per rule (0 when 2^S does
/// not fit the arithmetic).
uint64_t vpdMemorySize(uint8_t sizeCode, uint8_t wordSize, VpdSizeRule rule);
