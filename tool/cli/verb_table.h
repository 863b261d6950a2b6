// The verb table: a row is the one description of a verb. It names the
// verb, holds its lines of the usage and its text of the man page, its
// arguments by name and kind, its flags and the function that carries it
// out; the usage, the man page and the completion are made from the rows.
#pragma once

#include <cstdint>

#include "base/result_codes.h"
#include "link/connection.h"

/// How one argument word is read; each kind has its message (kArgKinds in
/// verb_table.cpp). The result code belongs to the verb's row.
enum class Arg : uint8_t {
    None,
    Word,               ///< any text (a file name, a keyword the verb reads)
    ClockIndex,
    ClockIndexByte,     ///< a clock index that must be at most 255
    Frequency,
    OverrideFrequency,
    SmbusAddress,
    I2cBus,
    I2cChip,
    I2cAddress,
    Count,
    ReadByteCount,
    SpiChip,
    SpiAddress,
    SpiReadCount,
    SpiEraseCount,
    SpiBlankCheckCount,
    ProgramAddress,
    VerifyAddress,
    Translation,        ///< signed
    StartAddress,
    ByteCount,
    BlackBoxType,       ///< both, clobber or noclobber
    BlackBoxCount,
    SensorIndex,
    OverrideValue,
    RequestedVoltage,
    MinimumVoltage,
    MaximumVoltage,
    MezzanineIndex,
    PowerState,         ///< on or off
    ResponseLength,
    DataBytes,          ///< the rest of the words, each a byte
    WriteBytes,         ///< likewise, for i2c-write-read
    RawSpiBytes,        ///< likewise, for spi-raw
    CommandBytes,       ///< likewise, for raw
};

/// One argument of a row: its name (what the handler asks the call for),
/// its kind and the code of its refusal.
struct ArgSpec {
    const char* name = nullptr;
    Arg kind = Arg::None;
    Result code = kOk;
};

constexpr uint32_t kMaxVerbArgs = 5;

/// The arguments after conversion, by word position (1 = the first word
/// after the verb); words not given keep their defaults. A signed number
/// (a translation) is kept as its 32 bits.
struct VerbArgs {
    uint32_t number[kMaxVerbArgs + 1] = {};
    const char* word[kMaxVerbArgs + 1] = {};
    const uint8_t* bytes = nullptr;  ///< a byte list, bytesCount long
    uint32_t bytesCount = 0;
};

struct VerbRow;

/// What a verb receives: the link, the options that verbs read, the words
/// as typed and, once `dispatchVerb` has converted them, its row and its
/// arguments, asked for by the names the row gives them.
struct VerbCall {
    ConnectionContext* ctx;
    bool verbose;
    bool confirm;            ///< the -confirm option (force-mez-power)
    uint32_t wordCount;      ///< positional words, the verb included ("N")
    const char* const* words;  ///< words[0] is the verb as typed
    bool skipSame = false;   ///< the +skip-same option (SPI programming)
    const VerbRow* row = nullptr;  ///< set by dispatchVerb
    VerbArgs args{};               ///< set by dispatchVerb

    /// A converted number argument; 0 when the word was not given.
    [[nodiscard]] uint32_t number(const char* name) const;
    [[nodiscard]] int32_t signedNumber(const char* name) const;
    /// The word as typed, or null when it was not given.
    [[nodiscard]] const char* word(const char* name) const;
    [[nodiscard]] bool given(const char* name) const { return word(name) != nullptr; }
    /// The row's byte list (its last argument).
    [[nodiscard]] const uint8_t* bytes() const { return args.bytes; }
    [[nodiscard]] uint32_t byteCount() const { return args.bytesCount; }
};

/// Row flags.
enum : uint8_t {
    kNonVolatile = 1,         ///< the non-volatile twin of a verb
    kRefusesInService = 2,    ///< refused while the uC runs its service firmware
    kSwitchesService = 4,     ///< switches to service mode by itself when allowed
    kNeedsNoLink = 8,         ///< answered before any link is opened
};

using VerbHandler = Result (*)(const VerbCall& call);

/// The subsections of the man page's verb list, in their order there.
enum class VerbGroup : uint8_t {
    Identity,
    ServiceMode,
    Images,
    BoardInfo,
    Smbus,
    Clocks,
    BootAndPower,
    I2c,
    Spi,
};

/// The heading of a group on the man page.
const char* verbGroupHeading(VerbGroup group);

struct VerbRow {
    const char* name;
    /// The verb's lines of the usage, as `-h` prints them (newline ended).
    const char* synopsis;
    /// What the verb does, for the man page.
    const char* help;
    VerbGroup group;
    /// Its place on the man page (1 = first), which groups the verbs by
    /// topic where the usage keeps its own order.
    uint8_t manPlace;
    uint32_t minWords;
    /// The "must be followed by" line: printed as it stands, or, when
    /// `tooFewTyped` is set, after "*** '<verb as typed>' ".
    const char* tooFew;
    bool tooFewTyped;
    ArgSpec args[kMaxVerbArgs];
    uint8_t flags;
    VerbHandler handler;
};

/// The table in the order of the usage.
const VerbRow* verbTable(uint32_t* count);

/// The most positional words a row uses, the verb included; UINT32_MAX for
/// a row that ends in a byte list.
uint32_t maxWords(const VerbRow& row);

/// Whether an argument kind is one the conversion knows.
bool isKnownArgKind(Arg kind);

/// Whether an argument kind takes the rest of the words as bytes.
bool isByteList(Arg kind);

/// The usage's verb list ("One of:" and every row's synopsis).
const char* verbListText();

/// The row of a verb word (without regard to case), or null.
const VerbRow* findVerb(const char* word);

/// Looks the verb up without regard to case, converts its arguments and
/// runs it; prints the unrecognised-command message when nothing matches.
[[nodiscard]] Result dispatchVerb(const VerbCall& call);
