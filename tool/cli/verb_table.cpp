// The verbs of zorviutil in dispatch order. A row names the verb, the least
// number of positional words it needs (the verb included), the message
// printed when fewer are given, the kind of each argument word with the
// code its refusal gives, the verb's flags and its handler. Arguments are
// converted here, by kind, before the handler runs: a refused word never
// reaches the board.
#include "cli/verb_table.h"

#include <strings.h>

#include <memory>
#include <new>

#include "base/numbers.h"
#include "base/out.h"
#include "boardinfo/sensors.h"
#include "boardinfo/vpd.h"
#include "cli/help_texts.h"
#include "cli/option_parser.h"
#include "cli/write_metrics.h"
#include "clocks/clock_verbs.h"
#include "control/board_control.h"
#include "control/i2c_verbs.h"
#include "control/identity_verbs.h"
#include "control/list_boards.h"
#include "images/app_flash_images.h"
#include "link/service_mode.h"
#include "spiflash/sfdp.h"
#include "spiflash/spi_flash.h"
#include "spiflash/spi_verbs.h"

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
        case Arg::Translation:
            if (parseSigned(word, &args.translation) == 1) return true;
            break;
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

bool isByteList(Arg kind) {
    return kind == Arg::DataBytes || kind == Arg::WriteBytes || kind == Arg::RawSpiBytes || kind == Arg::CommandBytes;
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

bool nonVolatile(const VerbCall& c) {
    const VerbRow* row = findVerb(c.words[0]);
    return row != nullptr && (row->flags & kNonVolatile) != 0;
}

// --- the table --------------------------------------------------------------

using A = Arg;

#define MUST(text) text, false
#define MUST_TYPED(text) text, true
#define NO_ARGS nullptr, false, {}

constexpr uint8_t kRefuses = kRefusesInService;
constexpr uint8_t kSwitches = kSwitchesService;

const VerbRow kVerbs[] = {
    {"build-info", 1, NO_ARGS, kNeedsNoLink,
     [](const VerbCall&, const VerbArgs&) -> Result {
         showBuildInfo();
         return kOk;
     }},
    {"list-boards", 1, nullptr, false, {{A::Word}}, kNeedsNoLink,
     [](const VerbCall& c, const VerbArgs& a) -> Result {
         const bool probe = a.word[1] == nullptr;
         if (!probe && strcasecmp(a.word[1], "noprobe") != 0) {
             out("*** 'list-boards' takes one optional word: noprobe.\n");
             return kTooFewArguments;
         }
         return listBoards(probe, c.verbose);
     }},
    {"version", 1, NO_ARGS, 0, [](const VerbCall& c, const VerbArgs&) { return showVersion(c.ctx, c.verbose); }},
    {"product-id", 1, NO_ARGS, 0,
     [](const VerbCall& c, const VerbArgs&) { return showProductId(c.ctx, c.verbose); }},
    {"comm-test", 1, NO_ARGS, 0, [](const VerbCall& c, const VerbArgs&) { return runCommTest(c.ctx, c.verbose); }},
    {"enter-service-mode", 1, NO_ARGS, 0,
     [](const VerbCall& c, const VerbArgs&) { return enterServiceMode(c.ctx, c.verbose); }},
    {"exit-service-mode", 1, NO_ARGS, 0,
     [](const VerbCall& c, const VerbArgs&) { return exitServiceMode(c.ctx, c.verbose); }},
    {"get-smbus-addr", 1, NO_ARGS, 0,
     [](const VerbCall& c, const VerbArgs&) { return getSmbusAddress(false, c.ctx, c.verbose); }},
    {"get-smbus-addr-nv", 1, NO_ARGS, kNonVolatile,
     [](const VerbCall& c, const VerbArgs&) { return getSmbusAddress(true, c.ctx, c.verbose); }},
    {"set-smbus-addr", 2, MUST_TYPED("command must be followed by a 7-bit SMBUS chip address.\n"),
     {{A::SmbusAddress, kTooFewArguments}}, 0,
     [](const VerbCall& c, const VerbArgs& a) { return setSmbusAddress(a.number[1], false, c.ctx, c.verbose); }},
    {"set-smbus-addr-nv", 2, MUST_TYPED("command must be followed by a 7-bit SMBUS chip address.\n"),
     {{A::SmbusAddress, kTooFewArguments}}, kNonVolatile,
     [](const VerbCall& c, const VerbArgs& a) { return setSmbusAddress(a.number[1], true, c.ctx, c.verbose); }},
    {"getclk", 2, MUST("*** 'getclk' command must be followed by a clock generator index.\n"),
     {{A::ClockIndex, kTooFewArguments}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) { return getClockFrequency(c.ctx, a.number[1], c.verbose); }},
    {"setclk", 3,
     MUST("*** 'setclk' command must be followed by (1) a clock generator index and (2) a frequency (Hz).\n"),
     {{A::ClockIndexByte, kBadIndexOrCount}, {A::Frequency, kBadFrequency}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return setClockFrequency(c.ctx, a.number[2], c.verbose, a.number[1]);
     }},
    {"getclknv", 2, MUST("*** 'getclknv' command must be followed by a clock generator index.\n"),
     {{A::ClockIndex, kTooFewArguments}}, kRefuses | kNonVolatile,
     [](const VerbCall& c, const VerbArgs& a) { return getClockOverride(c.ctx, a.number[1], c.verbose); }},
    {"setclknv", 3,
     MUST("*** 'setclknv' command must be followed by (1) a clock generator index and (2) an override frequency "
          "(Hz).\n"),
     {{A::ClockIndexByte, kBadIndexOrCount}, {A::OverrideFrequency, kBadFrequency}}, kRefuses | kNonVolatile,
     [](const VerbCall& c, const VerbArgs& a) { return setClockOverride(c.ctx, a.number[2], c.verbose, a.number[1]); }},
    {"setclk-regmap", 2,
     MUST("*** 'setclk-regmap' command must be followed by (1) a clock generator index, (2) optional path to "
          "register map file and (3) optional register map file type.\n"),
     {{A::ClockIndexByte, kBadIndexOrCount}, {A::Word}, {A::Word}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return programRegisterMap(false, a.word[3], c.ctx, c.verbose, a.number[1], a.word[2]);
     }},
    {"setclknv-regmap", 2,
     MUST("*** 'setclknv-regmap' command must be followed by (1) a clock generator index, (2) optional path to "
          "register map file and (3) optional register map file type.\n"),
     {{A::ClockIndexByte, kBadIndexOrCount}, {A::Word}, {A::Word}}, kRefuses | kNonVolatile,
     [](const VerbCall& c, const VerbArgs& a) {
         return programRegisterMap(true, a.word[3], c.ctx, c.verbose, a.number[1], a.word[2]);
     }},
    {"i2c-read-to-file", 6,
     MUST("*** 'i2c-read-to-file' command must be followed by (1) the I2C bus number, (2) the I2C chip address, "
          "(3) the address, (4) the byte count, and (5) the filename (.bin).\n"),
     {{A::I2cBus, kBadI2cBus}, {A::I2cChip, kBadI2cChip}, {A::I2cAddress, kBadI2cAddress}, {A::Count, kBadI2cCount},
      {A::Word}},
     kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return i2cReadToFile(a.word[5], a.number[3], c.ctx, c.verbose, a.number[1], a.number[2], a.number[4]);
     }},
    {"i2c-write-from-file", 5,
     MUST("*** 'i2c-write-from-file' command must be followed by (1) the I2C bus number, (2) the I2C chip address, "
          "(3) the address and (4) the filename (.bin).\n"),
     {{A::I2cBus, kBadI2cBus}, {A::I2cChip, kBadI2cChip}, {A::I2cAddress, kBadI2cAddress}, {A::Word}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return i2cWriteFromFile(a.number[3], a.word[4], c.ctx, c.verbose, a.number[1], a.number[2]);
     }},
    {"i2c-verify-with-file", 5,
     MUST("*** 'i2c-verify-with-file' command must be followed by (1) the I2C bus number, (2) the I2C chip "
          "address, (3) the address and (4) the filename (.bin).\n"),
     {{A::I2cBus, kBadIndexOrCount}, {A::I2cChip, kBadIndexOrCount}, {A::I2cAddress, kBadIndexOrCount}, {A::Word}},
     kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return i2cVerifyWithFile(a.word[4], c.ctx, c.verbose, a.number[1], a.number[2], a.number[3]);
     }},
    {"i2c-read", 5,
     MUST("*** 'i2c-read' command must be followed by (1) the I2C bus number, (2) the I2C chip address, (3) the "
          "address, (4) the byte count\n"),
     {{A::I2cBus, kBadI2cBus}, {A::I2cChip, kBadI2cChip}, {A::I2cAddress, kBadI2cAddress},
      {A::Count, kBadIndexOrCount}},
     kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return i2cRead(a.number[4], c.ctx, c.verbose, a.number[1], a.number[2], a.number[3]);
     }},
    {"i2c-write", 5,
     MUST("*** 'i2c-write' command must be followed by (1) the I2C bus number, (2) the I2C chip address, (3) the "
          "address, (4) one or more address/data bytes to write\n"),
     {{A::I2cBus, kBadI2cBus}, {A::I2cChip, kBadI2cChip}, {A::I2cAddress, kBadI2cAddress},
      {A::DataBytes, kBadI2cDataByte}},
     kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return i2cWrite(c.ctx, c.verbose, a.number[1], a.number[2], a.number[3], a.bytes, a.bytesCount);
     }},
    {"i2c-write-read", 4,
     MUST("*** 'i2c-write-read' command must be followed by (1) the I2C bus number, (2) the I2C chip address, (3) "
          "read byte count, (4) zero or more address/data bytes to write\n"),
     {{A::I2cBus, kBadI2cBus}, {A::I2cChip, kBadI2cChip}, {A::ReadByteCount, kBadI2cCount},
      {A::WriteBytes, kBadI2cDataByte}},
     kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return i2cWriteRead(c.ctx, c.verbose, a.number[1], a.number[2], a.bytesCount, a.number[3], a.bytes);
     }},
    {"spi-raw", 3,
     MUST("*** 'spi-raw' command must be followed by (1) the SPI chip index, (2) number of bytes to read, (3) zero "
          "or more bytes to write\n"),
     {{A::SpiChip, kBadSpiChipIndex}, {A::SpiReadCount, kBadSpiReadCount}, {A::RawSpiBytes, kBadSpiRawByte}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return spiRaw(c.ctx, c.verbose, a.number[1], a.number[2], a.bytesCount, a.bytes);
     }},
    {"spi-info", 2, MUST("*** 'spi-info' command must be followed by (1) the SPI chip index.\n"),
     {{A::SpiChip, kBadSpiChipIndex}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) { return spiInfo(c.ctx, c.verbose, a.number[1]); }},
    {"spi-check-blank", 4,
     MUST("*** 'spi-check-blank' command must be followed by (1) the SPI chip index, (2) starting address, (3) "
          "number of bytes to erase\n"),
     {{A::SpiChip, kBadSpiChipIndex}, {A::SpiAddress, kBadSpiAddress}, {A::SpiBlankCheckCount, kBadSpiCount}},
     kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return spiCheckBlank(c.ctx, c.verbose, a.number[1], a.number[2], a.number[3]);
     }},
    {"spi-erase", 4,
     MUST("*** 'spi-erase' command must be followed by (1) the SPI chip index, (2) starting address, (3) number "
          "of bytes to erase\n"),
     {{A::SpiChip, kBadSpiChipIndex}, {A::SpiAddress, kBadSpiAddress}, {A::SpiEraseCount, kBadSpiCount}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return spiErase(c.ctx, c.verbose, a.number[1], a.number[2], a.number[3]);
     }},
    {"spi-program-bin", 4,
     MUST("*** 'spi-program-bin' command must be followed by (1) the SPI chip index, (2) the filename of a binary "
          "file, (3) the address within the SPI flash chip.\n"),
     {{A::SpiChip, kBadSpiChipIndex}, {A::Word}, {A::ProgramAddress, kBadSpiProgramArgument}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return spiProgramBin(c.ctx, c.verbose, a.number[1], a.word[2], a.number[3], c.skipSame);
     }},
    {"spi-program-mcs", 3,
     MUST("*** 'spi-program-mcs' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
          "Hex (.mcs) file.\n"),
     {{A::SpiChip, kBadSpiChipIndex}, {A::Word}, {A::Translation, kBadSpiProgramArgument}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return spiProgramMcs(c.ctx, c.verbose, a.number[1], a.word[2], a.translation, c.confirm, c.skipSame);
     }},
    {"spi-verify-bin", 4,
     MUST("*** 'spi-verify-bin' command must be followed by (1) the SPI chip index, (2) the filename of a binary "
          "file, (3) the address within the SPI flash chip.\n"),
     {{A::SpiChip, kBadSpiChipIndex}, {A::Word}, {A::VerifyAddress, kBadSpiProgramArgument}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return spiVerifyBin(c.ctx, c.verbose, a.number[1], a.word[2], a.number[3]);
     }},
    {"spi-verify-mcs", 3,
     MUST("*** 'spi-verify-mcs' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
          "Hex (.mcs) file.\n"),
     {{A::SpiChip, kBadSpiChipIndex}, {A::Word}, {A::Translation, kBadSpiProgramArgument}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return spiVerifyMcs(c.ctx, c.verbose, a.number[1], a.word[2], a.translation);
     }},
    {"spi-save-to-bin", 5,
     MUST("*** 'spi-save-to-bin' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
          "Hex (.mcs) file, (3) starting address, (4) byte count\n"),
     {{A::SpiChip, kBadSpiChipIndex}, {A::Word}, {A::StartAddress, kBadSpiSaveArgument},
      {A::ByteCount, kBadSpiSaveArgument}},
     kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return spiSaveToBin(c.ctx, c.verbose, a.number[1], a.word[2], a.number[3], a.number[4]);
     }},
    {"spi-save-to-mcs", 5,
     MUST("*** 'spi-save-to-mcs' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
          "Hex (.mcs) file, (3) starting address, (4) byte count\n"),
     {{A::SpiChip, kBadSpiChipIndex}, {A::Word}, {A::StartAddress, kBadSpiSaveArgument},
      {A::ByteCount, kBadSpiSaveArgument}},
     kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return spiSaveToMcs(c.ctx, c.verbose, a.number[1], a.word[2], a.number[3], a.number[4]);
     }},
    {"update-firmware", 2, MUST("*** 'update-firmware' command must be followed by the firmware filename (.bin).\n"),
     {{A::Word}}, kSwitches,
     [](const VerbCall& c, const VerbArgs& a) { return updateImage(ImageKind::Firmware, a.word[1], c.ctx, c.verbose); }},
    {"update-brdcfg", 2,
     MUST("*** 'update-brdcfg' command must be followed by the board config. filename (.bin).\n"), {{A::Word}},
     kSwitches,
     [](const VerbCall& c, const VerbArgs& a) {
         return updateImage(ImageKind::BoardConfig, a.word[1], c.ctx, c.verbose);
     }},
    {"update-vpd", 2, MUST("*** 'update-vpd' command must be followed by the VPD filename (.bin).\n"), {{A::Word}},
     kSwitches,
     [](const VerbCall& c, const VerbArgs& a) { return updateImage(ImageKind::Vpd, a.word[1], c.ctx, c.verbose); }},
    {"save-firmware", 2,
     MUST("*** 'save-firmware' command must be followed by the filename (.bin) into which the firmware is to be "
          "saved.\n"),
     {{A::Word}}, kSwitches,
     [](const VerbCall& c, const VerbArgs& a) { return saveImage(ImageKind::Firmware, a.word[1], c.ctx, c.verbose); }},
    {"save-brdcfg", 2,
     MUST("*** 'save-brdcfg' command must be followed by the filename (.bin) into which the board config. is to be "
          "saved.\n"),
     {{A::Word}}, kSwitches,
     [](const VerbCall& c, const VerbArgs& a) {
         return saveImage(ImageKind::BoardConfig, a.word[1], c.ctx, c.verbose);
     }},
    {"save-vpd", 2,
     MUST("*** 'save-vpd' command must be followed by the filename (.bin) into which the VPD is to be saved.\n"),
     {{A::Word}}, kSwitches,
     [](const VerbCall& c, const VerbArgs& a) { return saveImage(ImageKind::Vpd, a.word[1], c.ctx, c.verbose); }},
    {"verify-brdcfg", 2,
     MUST("*** 'verify-brdcfg' command must be followed by the board config. filename (.bin).\n"), {{A::Word}},
     kSwitches,
     [](const VerbCall& c, const VerbArgs& a) {
         return verifyImage(ImageKind::BoardConfig, a.word[1], c.ctx, c.verbose);
     }},
    {"verify-firmware", 2, MUST("*** 'verify-firmware' command must be followed by the firmware filename (.bin).\n"),
     {{A::Word}}, kSwitches,
     [](const VerbCall& c, const VerbArgs& a) { return verifyImage(ImageKind::Firmware, a.word[1], c.ctx, c.verbose); }},
    {"verify-vpd", 2, MUST("*** 'verify-vpd' command must be followed by the VPD filename (.bin).\n"), {{A::Word}},
     kSwitches,
     [](const VerbCall& c, const VerbArgs& a) { return verifyImage(ImageKind::Vpd, a.word[1], c.ctx, c.verbose); }},
    {"display-vpd", 1, NO_ARGS, 0, [](const VerbCall& c, const VerbArgs&) { return displayVpd(c.verbose, c.ctx); }},
    {"display-vpd-raw", 1, NO_ARGS, 0,
     [](const VerbCall& c, const VerbArgs&) { return displayVpdRaw(c.verbose, c.ctx); }},
    {"display-black-box", 1, nullptr, false,
     {{A::BlackBoxType, kBadBlackBoxType}, {A::BlackBoxCount, kBadBlackBoxCount}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return displayBlackBox(c.ctx, c.verbose, a.word[1] != nullptr ? a.number[1] : 3, a.number[2]);
     }},
    {"display-sensors", 1, NO_ARGS, kRefuses,
     [](const VerbCall& c, const VerbArgs&) { return displaySensors(c.verbose, c.ctx); }},
    {"display-sensors-raw", 1, NO_ARGS, kRefuses,
     [](const VerbCall& c, const VerbArgs&) { return displaySensorsRaw(c.ctx, c.verbose); }},
    {"write-metrics", 2,
     MUST("*** 'write-metrics' command must be followed by the metrics filename (.prom), or - for standard "
          "output.\n"),
     {{A::Word}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) { return writeMetrics(c.ctx, c.verbose, a.word[1]); }},
    {"override-sensor", 3,
     MUST("*** 'override-sensor-raw' must be followed by the (1) sensor index and (2) the unscaled override "
          "value.\n"),
     {{A::SensorIndex, kBadIndexOrCount}, {A::OverrideValue, kBadOverrideValue}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) { return overrideSensor(a.number[1], c.ctx, c.verbose, a.number[2]); }},
    {"release-sensor", 2, MUST("*** 'release-sensor' must be followed by the sensor index.\n"),
     {{A::SensorIndex, kBadIndexOrCount}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) { return releaseSensor(a.number[1], c.ctx, c.verbose); }},
    {"set-brd-power", 2, MUST("*** 'set-brd-power' command must be followed by 'on' or 'off'\n"),
     {{A::PowerState, kTooFewArguments}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) { return setBoardPower(c.ctx, a.number[1] != 0, c.verbose); }},
    {"get-brd-power", 1, NO_ARGS, kRefuses,
     [](const VerbCall& c, const VerbArgs&) { return getBoardPower(c.ctx, c.verbose); }},
    {"force-mez-power", 5,
     MUST_TYPED("command must be followed by (1) requested voltage (mV), (2) minumum allowed voltage (mV), (3) "
                "maximum allowed voltage (mV) and (4) Mezzanine index\n"),
     {{A::RequestedVoltage, kBadVoltageWord}, {A::MinimumVoltage, kBadVoltageWord},
      {A::MaximumVoltage, kBadVoltageWord}, {A::MezzanineIndex, kBadIndexOrCount}},
     kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return forceMezzaninePower(a.number[1], c.ctx, nonVolatile(c), c.verbose, c.confirm, a.number[4], a.number[2],
                                    a.number[3]);
     }},
    {"force-mez-power-nv", 5,
     MUST_TYPED("command must be followed by (1) requested voltage (mV), (2) minumum allowed voltage (mV), (3) "
                "maximum allowed voltage (mV) and (4) Mezzanine index\n"),
     {{A::RequestedVoltage, kBadVoltageWord}, {A::MinimumVoltage, kBadVoltageWord},
      {A::MaximumVoltage, kBadVoltageWord}, {A::MezzanineIndex, kBadIndexOrCount}},
     kRefuses | kNonVolatile,
     [](const VerbCall& c, const VerbArgs& a) {
         return forceMezzaninePower(a.number[1], c.ctx, nonVolatile(c), c.verbose, c.confirm, a.number[4], a.number[2],
                                    a.number[3]);
     }},
    {"get-mez-power", 2, MUST_TYPED("command must be followed by (1) Mezzanine index\n"),
     {{A::MezzanineIndex, kBadIndexOrCount}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) { return getMezzaninePower(c.ctx, false, a.number[1], c.verbose); }},
    {"get-mez-power-nv", 2, MUST_TYPED("command must be followed by (1) Mezzanine index\n"),
     {{A::MezzanineIndex, kBadIndexOrCount}}, kRefuses | kNonVolatile,
     [](const VerbCall& c, const VerbArgs& a) { return getMezzaninePower(c.ctx, true, a.number[1], c.verbose); }},
    {"set-boot-mode", 2,
     MUST("*** 'set-boot-mode' command must be followed by either a decimal or hexadecimal number between 0 and 15 "
          "inclusive, or the word 'switch'.\n"),
     {{A::Word}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) { return setBootMode(a.word[1], c.ctx, c.verbose, false); }},
    {"get-boot-mode", 1, NO_ARGS, kRefuses,
     [](const VerbCall& c, const VerbArgs&) { return getBootMode(c.verbose, c.ctx, false); }},
    {"set-boot-mode-nv", 2,
     MUST("*** 'set-boot-mode-nv' command must be followed by either a decimal or hexadecimal number between 0 and "
          "15 inclusive, or the word 'switch'.\n"),
     {{A::Word}}, kRefuses | kNonVolatile,
     [](const VerbCall& c, const VerbArgs& a) { return setBootMode(a.word[1], c.ctx, c.verbose, true); }},
    {"get-boot-mode-nv", 1, NO_ARGS, kRefuses | kNonVolatile,
     [](const VerbCall& c, const VerbArgs&) { return getBootMode(c.verbose, c.ctx, true); }},
    {"test-clobber", 1, NO_ARGS, kRefuses,
     [](const VerbCall& c, const VerbArgs&) { return testClobber(c.ctx, c.verbose); }},
    {"test-timeout", 1, NO_ARGS, 0, [](const VerbCall& c, const VerbArgs&) { return testTimeout(c.ctx, c.verbose); }},
    {"raw", 4,
     MUST("*** 'raw' command must be followed by (1) the expected response length, (2) two or more command bytes "
          "to write\n"),
     {{A::ResponseLength, kBadRawLength}, {A::CommandBytes, kBadRawByte}}, 0,
     [](const VerbCall& c, const VerbArgs& a) {
         return sendRaw(a.bytes, a.number[1], c.ctx, c.verbose, a.bytesCount);
     }},
    {"config-si5338", 4,
     MUST_TYPED("command must be followed by (1) the I2C bus number of the SI5338, (2) the I2C chip address of the "
                "SI5338 and (3) the SI5338 register map file\n"),
     {{A::I2cBus, kBadI2cBus}, {A::I2cChip, kBadI2cChip}, {A::Word}}, kRefuses,
     [](const VerbCall& c, const VerbArgs& a) {
         return configureSi5338(a.word[3], c.ctx, c.verbose, a.number[1], a.number[2]);
     }},
};

#undef MUST
#undef MUST_TYPED
#undef NO_ARGS

}  // namespace

uint32_t maxWords(const VerbRow& row) {
    uint32_t words = 1;
    for (const ArgSpec& spec : row.args) {
        if (spec.kind == Arg::None) break;
        if (isByteList(spec.kind)) return UINT32_MAX;
        ++words;
    }
    return words;
}

const VerbRow* verbTable(uint32_t* count) {
    *count = sizeof kVerbs / sizeof kVerbs[0];
    return kVerbs;
}

const VerbRow* findVerb(const char* word) {
    for (const VerbRow& row : kVerbs)
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
    VerbArgs args;
    std::unique_ptr<uint8_t[]> bytes;
    if (Result r = convertArgs(*row, call, args, bytes); r != kOk) return r;
    return row->handler(call, args);
}
