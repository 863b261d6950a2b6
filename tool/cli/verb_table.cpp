// The verb table: the rows of the subsystems (base/verb_row.h) joined in the
// order of the usage, with the program's own verbs (build-info,
// write-metrics). Arguments are converted here, by the kind the row names,
// before the handler runs: a refused word never reaches the board.
#include "cli/verb_table.h"

#include <strings.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/numbers.h"
#include "base/out.h"
#include "boardinfo/boardinfo_verb_rows.h"
#include "cli/help_texts.h"
#include "cli/option_parser.h"
#include "cli/write_metrics.h"
#include "clocks/clock_verb_rows.h"
#include "control/control_verb_rows.h"
#include "images/image_verb_rows.h"
#include "link/connection.h"
#include "link/service_mode_verb_rows.h"
#include "spiflash/spi_verb_rows.h"

namespace {

// A raw read is for looking at a few bytes (an ID, a status register); a
// count beyond 64 KiB is a slip that would hold the link for hours. The
// chip's contents are read with spi-save-to-bin.
constexpr uint32_t kMaxSpiRawRead = 65536;

// The raw verb's range message names the longest reply the uC sends.
static_assert(kMaxReplyLength == 515);

/// How a kind of argument is read and what its refusal says.
struct ArgKindInfo {
    Arg kind;
    const char* notANumber;        ///< printed with the word
    uint32_t maximum;              ///< largest value taken (numbers)
    const char* outOfRange;        ///< printed when above maximum
    const char* noMemory = nullptr;  ///< byte lists: the allocation failure, with the count
};

const ArgKindInfo kArgKinds[] = {
    {Arg::ClockIndex, "*** Clock generator index value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::ClockIndexByte, "*** Clock generator index value '%s' not recognized as a number.\n", 255,
     "*** Clock generator index must be in the range 0 to 255.\n"},
    {Arg::Frequency, "*** Frequency value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::OverrideFrequency, "*** Override frequency value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::SmbusAddress, "*** SMBUS chip address value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::I2cBus, "*** I2C bus number value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::I2cChip, "*** I2C chip address value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::I2cAddress, "*** Address value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::Count, "*** Count value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::ReadByteCount, "*** Read byte count value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::SpiChip, "*** SPI chip index value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::SpiAddress, "*** SPI address value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::SpiReadCount, "*** SPI read count value '%s' not recognized as a number.\n", kMaxSpiRawRead,
     "*** SPI read count must be in the range 0 to 65536; use spi-save-to-bin to read more.\n"},
    {Arg::SpiEraseCount, "*** SPI erase count value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::SpiBlankCheckCount, "*** SPI blank-check count value '%s' not recognized as a number.\n", UINT32_MAX,
     nullptr},
    {Arg::ProgramAddress, "*** Address value '%s' not recognized as an unsigned number.\n", UINT32_MAX, nullptr},
    {Arg::VerifyAddress, "*** Address value '%s' not recognized as a signed number.\n", UINT32_MAX, nullptr},
    {Arg::Translation, "*** Translation value '%s' not recognized as a signed number.\n", 0, nullptr},
    {Arg::StartAddress, "*** Starting address value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::ByteCount, "*** Byte count value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::BlackBoxType, "*** Valid 'display-black-box' command record types are: clobber, noclobber.\n", 0, nullptr},
    {Arg::BlackBoxCount, "*** Black Box record count value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::SensorIndex, "*** Sensor index value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::OverrideValue, "*** Override value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::RequestedVoltage, "Requested voltage value '%s' not recognized as a number.\n", UINT32_MAX, nullptr},
    {Arg::MinimumVoltage, "Minimum allowed voltage value '%s' not recognized as an unsigned integer.\n", UINT32_MAX,
     nullptr},
    {Arg::MaximumVoltage, "Maximum allowed voltage value '%s' not recognized as an unsigned integer.\n", UINT32_MAX,
     nullptr},
    {Arg::MezzanineIndex, "*** Mezzanine index value '%s' not recognized as an unsigned integer.\n", UINT32_MAX,
     nullptr},
    {Arg::PowerState, "*** '%s' is not a recognized board power state; 'on' or 'off'\n", 0, nullptr},
    {Arg::ResponseLength, "*** Expected response length value '%s' not recognized as a number.\n", kMaxReplyLength,
     "*** Expected response length must be in the range 0 to 515; no uC reply is longer.\n"},
    // A byte above 0xFF is refused like a word that is no number: its low
    // byte would go out as a byte the user never typed.
    {Arg::DataBytes, "*** Byte value '%s' not recognized as a number.\n", 0xFF, nullptr,
     "*** Failed to allocate byte buffer of %u byte(s).\n"},
    {Arg::WriteBytes, "*** Byte value '%s' not recognized as a number.\n", 0xFF, nullptr,
     "*** Failed to allocate write byte buffer of %u byte(s).\n"},
    {Arg::RawSpiBytes, "*** Byte value '%s' not recognized as a number.\n", 0xFF, nullptr,
     "*** Failed to allocate write buffer of %u byte(s).\n"},
    {Arg::CommandBytes, "*** Command byte value '%s' not recognized as a number.\n", 0xFF, nullptr,
     "*** Failed to allocate write byte buffer of %u byte(s).\n"},
};

const ArgKindInfo& kindInfo(Arg kind) {
    for (const ArgKindInfo& k : kArgKinds)
        if (k.kind == kind) return k;
    static const ArgKindInfo none{Arg::None, "", 0, nullptr};
    return none;
}

// The formats below come from the table above, never from the user.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
void sayWord(const char* format, const char* word) { out(format, word); }
void sayCount(const char* format, uint32_t count) { out(format, count); }
#pragma GCC diagnostic pop

/// Reads one word by its kind into `args`; false after printing why not.
bool convertWord(Arg kind, const char* word, uint32_t position, VerbArgs& args) {
    const ArgKindInfo& k = kindInfo(kind);
    switch (kind) {
        case Arg::None:
        case Arg::Word: return true;
        case Arg::Translation: {
            int32_t value = 0;
            if (parseSigned(word, &value) != 1) break;
            args.number[position] = static_cast<uint32_t>(value);
            return true;
        }
        case Arg::BlackBoxType:
            if (strcasecmp(word, "both") == 0) {
                args.number[position] = 3;
            } else if (strcasecmp(word, "clobber") == 0) {
                args.number[position] = 1;
            } else if (strcasecmp(word, "noclobber") == 0) {
                args.number[position] = 2;
            } else {
                out("%s", k.notANumber);
                return false;
            }
            return true;
        case Arg::PowerState:
            if (strcasecmp(word, "on") == 0 || strcasecmp(word, "off") == 0) {
                args.number[position] = strcasecmp(word, "on") == 0 ? 1 : 0;
                return true;
            }
            break;
        default: {
            uint64_t value = 0;
            const NumberWord read = readUnsignedWord(word, UINT32_MAX, &value);
            if (read != NumberWord::Ok) break;
            if (value > k.maximum) {
                if (k.outOfRange == nullptr) break;
                out("%s", k.outOfRange);
                return false;
            }
            args.number[position] = static_cast<uint32_t>(value);
            return true;
        }
    }
    sayWord(k.notANumber, word);
    return false;
}

/// Converts the words a row names; the byte list, if any, into `bytes`.
/// Returns 0, or the refusal's code after printing its message.
Result convertArgs(const VerbRow& row, const VerbCall& c, VerbArgs& args, std::unique_ptr<uint8_t[]>& bytes) {
    for (uint32_t i = 0; i < kMaxVerbArgs && row.args[i].kind != Arg::None; ++i) {
        const uint32_t position = i + 1;
        const ArgSpec& spec = row.args[i];
        if (isByteList(spec.kind)) {
            const uint32_t n = c.wordCount > position ? c.wordCount - position : 0;
            bytes.reset(new (std::nothrow) uint8_t[n == 0 ? 1 : n]);
            if (!bytes) {
                sayCount(kindInfo(spec.kind).noMemory, n);
                return kNoMemory;
            }
            for (uint32_t w = position; w < c.wordCount; ++w) {
                if (parseByte(c.words[w], &bytes[w - position]) != 1) {
                    sayWord(kindInfo(spec.kind).notANumber, c.words[w]);
                    return spec.code;
                }
            }
            args.bytes = bytes.get();
            args.bytesCount = n;
            return kOk;
        }
        if (position >= c.wordCount) continue;  // an optional word not given
        args.word[position] = c.words[position];
        if (!convertWord(spec.kind, c.words[position], position, args)) return spec.code;
    }
    return kOk;
}

// --- the table --------------------------------------------------------------

// The verbs of the program itself; the subsystems hold the others.


constexpr VerbRow kBuildInfoVerbRows[] = {
    {"build-info",
     VERB_LINE "build-info\n",
     "Prints the program's version, the link library versions and the supported board models. Needs no link option.",
     VerbGroup::Identity, 1,
     1, VERB_NO_ARGS, kNeedsNoLink,
     [](const VerbCall&) -> Result {
         showBuildInfo();
         return kOk;
     }},
};

constexpr VerbRow kMetricsVerbRows[] = {
    {"write-metrics",
     VERB_LINE "write-metrics <file.prom | ->\n",
     "Writes the board's readings and status bits as Prometheus metrics to a file, replaced in one step, or with "
     "\"-\" to standard output. See METRICS.",
     VerbGroup::BoardInfo, 24,
     2,
     VERB_MUST("*** 'write-metrics' command must be followed by the metrics filename (.prom), or - for standard "
               "output.\n"),
     {{"file", Arg::Word}}, kRefusesInService,
     [](const VerbCall& c) { return writeMetrics(c.ctx, c.verbose, c.word("file")); }},
    {"write-metrics-all",
     VERB_LINE "write-metrics-all <folder>\n",
     "Writes the metrics of every board list-boards finds, each to FOLDER/zorvi-SERIAL.prom, for one timer on a host "
     "of many boards. A board that cannot be read rewrites the file that names its link with zorvi_up 0 and the "
     "reason; the file of a board that is gone gets zorvi_up 0 (reason gone) once and is removed by the next run. "
     "Prints a line for each board and each file of a board that is gone. Needs no link option. See METRICS.",
     VerbGroup::BoardInfo, 28,
     2, VERB_MUST("*** 'write-metrics-all' command must be followed by the metrics folder.\n"),
     {{"folder", Arg::Word}}, kNeedsNoLink,
     [](const VerbCall& c) { return writeMetricsAll(c.word("folder"), c.verbose); }},
};


/// The rows joined into one table, on first use (the usage text is made from
/// it while the program starts).
const std::vector<VerbRow>& joinedRows() {
    static const std::vector<VerbRow> rows = [] {
        // Every subsystem's rows, in the order of the usage.
        const VerbRows runs[] = {
            verbRows(kBuildInfoVerbRows),
            identityVerbRows(),
            serviceModeVerbRows(),
            smbusVerbRows(),
            clockVerbRows(),
            bootModeVerbRows(),
            i2cVerbRows(),
            spiVerbRows(),
            imageVerbRows(),
            vpdVerbRows(),
            vpdImageVerbRows(),
            sensorVerbRows(),
            verbRows(kMetricsVerbRows),
            sensorOverrideVerbRows(),
            testVerbRows(),
            powerVerbRows(),
            si5338VerbRows(),
            rawVerbRows(),
        };
        std::vector<VerbRow> all;
        for (const VerbRows& run : runs) all.insert(all.end(), run.rows, run.rows + run.count);
        return all;
    }();
    return rows;
}

}  // namespace

const char* verbGroupHeading(VerbGroup group) {
    switch (group) {
        case VerbGroup::Identity: return "Identity and link";
        case VerbGroup::ServiceMode: return "Service mode";
        case VerbGroup::Images: return "Firmware, board configuration and VPD images";
        case VerbGroup::BoardInfo: return "Board information";
        case VerbGroup::Smbus: return "SMBus address";
        case VerbGroup::Clocks: return "Clock generators";
        case VerbGroup::BootAndPower: return "Boot mode and power";
        case VerbGroup::I2c: return "I2C buses";
        case VerbGroup::Spi: return "SPI flash";
    }
    return "";
}

uint32_t maxWords(const VerbRow& row) {
    uint32_t words = 1;
    for (const ArgSpec& a : row.args) {
        if (a.kind == Arg::None) break;
        if (isByteList(a.kind)) return UINT32_MAX;
        ++words;
    }
    return words;
}

bool isByteList(Arg kind) {
    return kind == Arg::DataBytes || kind == Arg::WriteBytes || kind == Arg::RawSpiBytes || kind == Arg::CommandBytes;
}

bool isKnownArgKind(Arg kind) { return kind == Arg::Word || kindInfo(kind).kind == kind; }

const char* verbListText() {
    static const std::string text = [] {
        std::string list = "One of:\n\n";
        for (const VerbRow& row : joinedRows()) list += row.synopsis;
        if (!list.empty() && list.back() == '\n') list.pop_back();  // the option parser ends the line
        return list;
    }();
    return text.c_str();
}

const VerbRow* verbTable(uint32_t* count) {
    *count = static_cast<uint32_t>(joinedRows().size());
    return joinedRows().data();
}

const VerbRow* findVerb(const char* word) {
    for (const VerbRow& row : joinedRows())
        if (strcasecmp(row.name, word) == 0) return &row;
    return nullptr;
}

Result dispatchVerb(const VerbCall& call) {
    const VerbRow* row = findVerb(call.words[0]);
    if (row == nullptr) {
        out("*** Unrecognised command: %s\n", call.words[0]);
        out("    Use '%s -h' for help.\n", kProgramName);
        return kUnrecognisedVerb;
    }
    if (call.wordCount < row->minWords) {
        if (row->tooFewTyped)
            out("*** '%s' %s", call.words[0], row->tooFew);
        else
            out("%s", row->tooFew);
        return kTooFewArguments;
    }
    VerbCall converted = call;
    converted.row = row;
    converted.args = VerbArgs{};
    std::unique_ptr<uint8_t[]> bytes;
    if (Result r = convertArgs(*row, call, converted.args, bytes); r != kOk) return r;
    return row->handler(converted);
}
