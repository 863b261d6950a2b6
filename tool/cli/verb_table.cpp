// The verbs of zorviutil in the order of the usage. A row names the verb,
// holds its usage lines and its man page text, its group and place on the
// man page, the least number of positional words it needs (the verb
// included), the message printed when fewer are given, each argument's
// name and kind with the code its refusal gives, the verb's flags and its
// handler. Arguments are converted here, by kind, before the handler runs:
// a refused word never reaches the board.
#include "cli/verb_table.h"

#include <strings.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

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

bool nonVolatile(const VerbCall& c) { return (c.row->flags & kNonVolatile) != 0; }

// --- the table --------------------------------------------------------------

using A = Arg;

#define MUST(text) text, false
#define MUST_TYPED(text) text, true
#define NO_ARGS nullptr, false, {}
// A usage line of a verb, and the note lines under it.
#define VERB "     "
#define NOTE "       "
#define MORE "                          "

using G = VerbGroup;

constexpr uint8_t kRefuses = kRefusesInService;
constexpr uint8_t kSwitches = kSwitchesService;

constexpr VerbRow kVerbs[] = {
    {"build-info",
     VERB "build-info\n",
     "Prints the program's version, the link library versions and the supported board models. Needs no link option.",
     G::Identity, 1,
     1, NO_ARGS, kNeedsNoLink,
     [](const VerbCall&) -> Result {
         showBuildInfo();
         return kOk;
     }},
    {"list-boards",
     VERB "list-boards [noprobe]\n",
     "Lists the boards of this host, one line each with the link option that reaches it: the USB serial ports whose "
     "USB product name contains \"ZORVI\" (named by their /dev/serial/by-id/ link when udev gives one), then the PCIe "
     "cards of the TOBRA and QUENTA driver libraries that open. Each board is opened and asked its product ID, "
     "firmware version and VPD drawing and serial number; a board that does not answer is listed with the reason. "
     "With the word noprobe the serial ports are only listed (a card is found by opening it). A line reads \"-usbcom "
     "/dev/serial/by-id/... (/dev/ttyACM0): product ID 721, firmware 4.26.0.7, drawing 1353, serial 100001\", or ends "
     "in \"error CODE (NAME): what the failure printed\" for a board that did not answer; \"No boards found.\" when "
     "there is none. With +json: an array of objects, see list-boards.schema.json. Needs no link option.",
     G::Identity, 2,
     1, nullptr, false, {{"noprobe", A::Word}}, kNeedsNoLink,
     [](const VerbCall& c) -> Result {
         const bool probe = c.word("noprobe") == nullptr;
         if (!probe && strcasecmp(c.word("noprobe"), "noprobe") != 0) {
             out("*** 'list-boards' takes one optional word: noprobe.\n");
             return kTooFewArguments;
         }
         return listBoards(probe, c.verbose);
     }},
    {"product-id",
     VERB "product-id\n",
     "Prints the uC firmware's product ID.",
     G::Identity, 4,
     1, NO_ARGS, 0,
     [](const VerbCall& c) { return showProductId(c.ctx, c.verbose); }},
    {"version",
     VERB "version\n",
     "Prints the name and version of the firmware the uC runs (normal or service-mode firmware).",
     G::Identity, 3,
     1, NO_ARGS, 0, [](const VerbCall& c) { return showVersion(c.ctx, c.verbose); }},
    {"comm-test",
     VERB "comm-test\n",
     "Sends a series of loopback messages and reports errors and data rates of the link.",
     G::Identity, 5,
     1, NO_ARGS, 0, [](const VerbCall& c) { return runCommTest(c.ctx, c.verbose); }},
    {"enter-service-mode",
     VERB "enter-service-mode\n",
     "Switches the uC to its service-mode firmware, which reads and writes the application flash. Prints \"Nothing to "
     "do.\" when it is there already. See SERVICE MODE.",
     G::ServiceMode, 9,
     1, NO_ARGS, 0,
     [](const VerbCall& c) { return enterServiceMode(c.ctx, c.verbose); }},
    {"exit-service-mode",
     VERB "exit-service-mode\n",
     "Switches the uC back to its normal firmware.",
     G::ServiceMode, 10,
     1, NO_ARGS, 0,
     [](const VerbCall& c) { return exitServiceMode(c.ctx, c.verbose); }},
    {"get-smbus-addr",
     VERB "get-smbus-addr\n",
     "Prints the uC's SMBus address now in use.",
     G::Smbus, 28,
     1, NO_ARGS, 0,
     [](const VerbCall& c) { return getSmbusAddress(false, c.ctx, c.verbose); }},
    {"set-smbus-addr",
     VERB "set-smbus-addr <7-bit SMBUS address>\n",
     "Sets the uC's SMBus address until the next power cycle.",
     G::Smbus, 30,
     2, MUST_TYPED("command must be followed by a 7-bit SMBUS chip address.\n"),
     {{"address", A::SmbusAddress, kTooFewArguments}}, 0,
     [](const VerbCall& c) { return setSmbusAddress(c.number("address"), false, c.ctx, c.verbose); }},
    {"get-smbus-addr-nv",
     VERB "get-smbus-addr-nv\n",
     "Prints the uC's SMBus address kept in non-volatile memory.",
     G::Smbus, 29,
     1, NO_ARGS, kNonVolatile,
     [](const VerbCall& c) { return getSmbusAddress(true, c.ctx, c.verbose); }},
    {"set-smbus-addr-nv",
     VERB "set-smbus-addr-nv <7-bit SMBUS address>\n",
     "Sets the uC's SMBus address in non-volatile memory.",
     G::Smbus, 31,
     2, MUST_TYPED("command must be followed by a 7-bit SMBUS chip address.\n"),
     {{"address", A::SmbusAddress, kTooFewArguments}}, kNonVolatile,
     [](const VerbCall& c) { return setSmbusAddress(c.number("address"), true, c.ctx, c.verbose); }},
    {"getclk",
     VERB "getclk <index>\n",
     "Prints the frequency of a clock generator.",
     G::Clocks, 32,
     2, MUST("*** 'getclk' command must be followed by a clock generator index.\n"),
     {{"index", A::ClockIndex, kTooFewArguments}}, kRefuses,
     [](const VerbCall& c) { return getClockFrequency(c.ctx, c.number("index"), c.verbose); }},
    {"setclk",
     VERB "setclk <index> <Hz>\n",
     "Sets the frequency of a clock generator (Hz) until the next power cycle.",
     G::Clocks, 33,
     3,
     MUST("*** 'setclk' command must be followed by (1) a clock generator index and (2) a frequency (Hz).\n"),
     {{"index", A::ClockIndexByte, kBadIndexOrCount}, {"Hz", A::Frequency, kBadFrequency}}, kRefuses,
     [](const VerbCall& c) {
         return setClockFrequency(c.ctx, c.number("Hz"), c.verbose, c.number("index"));
     }},
    {"setclk-regmap",
     VERB "setclk-regmap <index> [reg. map filename] [reg. map type]\n"
     NOTE "Register map types: lmk61e2\n",
     "Programs a clock generator from a register map file, or with its factory map when no file is given.",
     G::Clocks, 36,
     2,
     MUST("*** 'setclk-regmap' command must be followed by (1) a clock generator index, (2) optional path to "
          "register map file and (3) optional register map file type.\n"),
     {{"index", A::ClockIndexByte, kBadIndexOrCount}, {"map file", A::Word}, {"map type", A::Word}}, kRefuses,
     [](const VerbCall& c) {
         return programRegisterMap(false, c.word("map type"), c.ctx, c.verbose, c.number("index"), c.word("map file"));
     }},
    {"getclknv",
     VERB "getclknv <index>\n",
     "Prints the non-volatile override frequency of a clock generator.",
     G::Clocks, 34,
     2, MUST("*** 'getclknv' command must be followed by a clock generator index.\n"),
     {{"index", A::ClockIndex, kTooFewArguments}}, kRefuses | kNonVolatile,
     [](const VerbCall& c) { return getClockOverride(c.ctx, c.number("index"), c.verbose); }},
    {"setclknv",
     VERB "setclknv <index> <Hz>\n",
     "Sets the non-volatile override frequency of a clock generator (Hz).",
     G::Clocks, 35,
     3,
     MUST("*** 'setclknv' command must be followed by (1) a clock generator index and (2) an override frequency "
          "(Hz).\n"),
     {{"index", A::ClockIndexByte, kBadIndexOrCount},
      {"Hz", A::OverrideFrequency, kBadFrequency}}, kRefuses | kNonVolatile,
     [](const VerbCall& c) { return setClockOverride(c.ctx, c.number("Hz"), c.verbose, c.number("index")); }},
    {"setclknv-regmap",
     VERB "setclknv-regmap <index> [reg. map filename] [reg. map type]\n",
     "Like setclk-regmap, kept in non-volatile memory.",
     G::Clocks, 37,
     2,
     MUST("*** 'setclknv-regmap' command must be followed by (1) a clock generator index, (2) optional path to "
          "register map file and (3) optional register map file type.\n"),
     {{"index", A::ClockIndexByte, kBadIndexOrCount}, {"map file", A::Word},
      {"map type", A::Word}}, kRefuses | kNonVolatile,
     [](const VerbCall& c) {
         return programRegisterMap(true, c.word("map type"), c.ctx, c.verbose, c.number("index"), c.word("map file"));
     }},
    {"set-boot-mode",
     VERB "set-boot-mode <boot mode | switch>\n",
     "Sets the FPGA boot mode until the next power cycle: a number, a mode name or \"switch\" (the board's switches).",
     G::BootAndPower, 39,
     2,
     MUST("*** 'set-boot-mode' command must be followed by either a decimal or hexadecimal number between 0 and 15 "
          "inclusive, or the word 'switch'.\n"),
     {{"mode", A::Word}}, kRefuses,
     [](const VerbCall& c) { return setBootMode(c.word("mode"), c.ctx, c.verbose, false); }},
    {"set-boot-mode-nv",
     VERB "set-boot-mode-nv <boot mode | switch>\n"
     NOTE "ZynqMP boot modes: switch, 0, 1, ..., 15, jtag, qspi24, qspi32, sd0,\n"
     MORE "nand, sd1_v2, emmc, usb0, pjtag0, pjtag1, sd1_v3\n"
     NOTE "Versal boot modes: switch, 0, 1, ..., 15, jtag, qspi24, qspi32, sd0_v3,\n"
     MORE "sd1_v2, emmc1, ospi, selectmap, sd1_v3\n"
     NOTE "\"switch\" means use switch setting on board\n",
     "Sets the FPGA boot mode in non-volatile memory.",
     G::BootAndPower, 40,
     2,
     MUST("*** 'set-boot-mode-nv' command must be followed by either a decimal or hexadecimal number between 0 and "
          "15 inclusive, or the word 'switch'.\n"),
     {{"mode", A::Word}}, kRefuses | kNonVolatile,
     [](const VerbCall& c) { return setBootMode(c.word("mode"), c.ctx, c.verbose, true); }},
    {"get-boot-mode",
     VERB "get-boot-mode\n",
     "Prints the FPGA boot mode in use.",
     G::BootAndPower, 41,
     1, NO_ARGS, kRefuses,
     [](const VerbCall& c) { return getBootMode(c.verbose, c.ctx, false); }},
    {"get-boot-mode-nv",
     VERB "get-boot-mode-nv\n",
     "Prints the FPGA boot mode kept in non-volatile memory.",
     G::BootAndPower, 42,
     1, NO_ARGS, kRefuses | kNonVolatile,
     [](const VerbCall& c) { return getBootMode(c.verbose, c.ctx, true); }},
    {"i2c-read-to-file",
     VERB "i2c-read-to-file <bus> <device> <address> <count> <output file.bin>\n",
     "Reads count bytes from an I2C device into a file.",
     G::I2c, 52,
     6,
     MUST("*** 'i2c-read-to-file' command must be followed by (1) the I2C bus number, (2) the I2C chip address, "
          "(3) the address, (4) the byte count, and (5) the filename (.bin).\n"),
     {{"bus", A::I2cBus, kBadI2cBus}, {"device", A::I2cChip, kBadI2cChip},
      {"address", A::I2cAddress, kBadI2cAddress}, {"count", A::Count, kBadI2cCount},
      {"file", A::Word}},
     kRefuses,
     [](const VerbCall& c) {
         return i2cReadToFile(c.word("file"), c.number("address"), c.ctx, c.verbose, c.number("bus"),
                              c.number("device"), c.number("count"));
     }},
    {"i2c-verify-with-file",
     VERB "i2c-verify-with-file <bus> <device> <address> <input file.bin>\n",
     "Compares an I2C device's bytes with a file.",
     G::I2c, 54,
     5,
     MUST("*** 'i2c-verify-with-file' command must be followed by (1) the I2C bus number, (2) the I2C chip "
          "address, (3) the address and (4) the filename (.bin).\n"),
     {{"bus", A::I2cBus, kBadIndexOrCount}, {"device", A::I2cChip, kBadIndexOrCount},
      {"address", A::I2cAddress, kBadIndexOrCount}, {"file", A::Word}},
     kRefuses,
     [](const VerbCall& c) {
         return i2cVerifyWithFile(c.word("file"), c.ctx, c.verbose, c.number("bus"), c.number("device"),
                                  c.number("address"));
     }},
    {"i2c-write-from-file",
     VERB "i2c-write-from-file <bus> <device> <address> <input file.bin>\n",
     "Writes a file's bytes to an I2C device.",
     G::I2c, 53,
     5,
     MUST("*** 'i2c-write-from-file' command must be followed by (1) the I2C bus number, (2) the I2C chip address, "
          "(3) the address and (4) the filename (.bin).\n"),
     {{"bus", A::I2cBus, kBadI2cBus}, {"device", A::I2cChip, kBadI2cChip},
      {"address", A::I2cAddress, kBadI2cAddress}, {"file", A::Word}}, kRefuses,
     [](const VerbCall& c) {
         return i2cWriteFromFile(c.number("address"), c.word("file"), c.ctx, c.verbose, c.number("bus"),
                                 c.number("device"));
     }},
    {"i2c-read",
     VERB "i2c-read <bus> <device> <address> <count>\n",
     "Reads count bytes from an I2C device at an address and prints them.",
     G::I2c, 49,
     5,
     MUST("*** 'i2c-read' command must be followed by (1) the I2C bus number, (2) the I2C chip address, (3) the "
          "address, (4) the byte count\n"),
     {{"bus", A::I2cBus, kBadI2cBus}, {"device", A::I2cChip, kBadI2cChip}, {"address", A::I2cAddress, kBadI2cAddress},
      {"count", A::Count, kBadIndexOrCount}},
     kRefuses,
     [](const VerbCall& c) {
         return i2cRead(c.number("count"), c.ctx, c.verbose, c.number("bus"), c.number("device"), c.number("address"));
     }},
    {"i2c-write",
     VERB "i2c-write <bus> <device> <address> <data byte> ...\n",
     "Writes bytes to an I2C device at an address.",
     G::I2c, 50,
     5,
     MUST("*** 'i2c-write' command must be followed by (1) the I2C bus number, (2) the I2C chip address, (3) the "
          "address, (4) one or more address/data bytes to write\n"),
     {{"bus", A::I2cBus, kBadI2cBus}, {"device", A::I2cChip, kBadI2cChip}, {"address", A::I2cAddress, kBadI2cAddress},
      {"bytes", A::DataBytes, kBadI2cDataByte}},
     kRefuses,
     [](const VerbCall& c) {
         return i2cWrite(c.ctx, c.verbose, c.number("bus"), c.number("device"), c.number("address"), c.bytes(),
                         c.byteCount());
     }},
    {"i2c-write-read",
     VERB "i2c-write-read <bus> <device> <read count> <write address/data byte> ...\n",
     "Writes bytes to an I2C device, then reads the given number of bytes back.",
     G::I2c, 51,
     4,
     MUST("*** 'i2c-write-read' command must be followed by (1) the I2C bus number, (2) the I2C chip address, (3) "
          "read byte count, (4) zero or more address/data bytes to write\n"),
     {{"bus", A::I2cBus, kBadI2cBus}, {"device", A::I2cChip, kBadI2cChip},
      {"read count", A::ReadByteCount, kBadI2cCount},
      {"bytes", A::WriteBytes, kBadI2cDataByte}},
     kRefuses,
     [](const VerbCall& c) {
         return i2cWriteRead(c.ctx, c.verbose, c.number("bus"), c.number("device"), c.byteCount(),
                             c.number("read count"), c.bytes());
     }},
    {"spi-raw",
     VERB "spi-raw <chip index> <read count> <write data byte> ...\n",
     "Sends bytes on the SPI bus of a chip and reads the given number of bytes back.",
     G::Spi, 56,
     3,
     MUST("*** 'spi-raw' command must be followed by (1) the SPI chip index, (2) number of bytes to read, (3) zero "
          "or more bytes to write\n"),
     {{"chip", A::SpiChip, kBadSpiChipIndex}, {"read count", A::SpiReadCount, kBadSpiReadCount},
      {"bytes", A::RawSpiBytes, kBadSpiRawByte}}, kRefuses,
     [](const VerbCall& c) {
         return spiRaw(c.ctx, c.verbose, c.number("chip"), c.number("read count"), c.byteCount(), c.bytes());
     }},
    {"spi-info",
     VERB "spi-info <chip index>\n",
     "Discovers an SPI flash chip (SFDP) and reports its size, erase sizes and features. Chip 0 is the first chip the "
     "uC reaches.",
     G::Spi, 55,
     2, MUST("*** 'spi-info' command must be followed by (1) the SPI chip index.\n"),
     {{"chip", A::SpiChip, kBadSpiChipIndex}}, kRefuses,
     [](const VerbCall& c) { return spiInfo(c.ctx, c.verbose, c.number("chip")); }},
    {"spi-check-blank",
     VERB "spi-check-blank <chip index> <address> <count>\n",
     "Checks that a range of the chip is erased (exit code 8 when not).",
     G::Spi, 57,
     4,
     MUST("*** 'spi-check-blank' command must be followed by (1) the SPI chip index, (2) starting address, (3) "
          "number of bytes to erase\n"),
     {{"chip", A::SpiChip, kBadSpiChipIndex}, {"address", A::SpiAddress, kBadSpiAddress},
      {"count", A::SpiBlankCheckCount, kBadSpiCount}},
     kRefuses,
     [](const VerbCall& c) {
         return spiCheckBlank(c.ctx, c.verbose, c.number("chip"), c.number("address"), c.number("count"));
     }},
    {"spi-erase",
     VERB "spi-erase <chip index> <address> <count>\n",
     "Erases a range of the chip.",
     G::Spi, 58,
     4,
     MUST("*** 'spi-erase' command must be followed by (1) the SPI chip index, (2) starting address, (3) number "
          "of bytes to erase\n"),
     {{"chip", A::SpiChip, kBadSpiChipIndex}, {"address", A::SpiAddress, kBadSpiAddress},
      {"count", A::SpiEraseCount, kBadSpiCount}}, kRefuses,
     [](const VerbCall& c) {
         return spiErase(c.ctx, c.verbose, c.number("chip"), c.number("address"), c.number("count"));
     }},
    {"spi-program-bin",
     VERB "spi-program-bin <chip index> <filename.bin> <address>\n",
     "Programs a binary file into the chip at an address (erasing as needed) and verifies it.",
     G::Spi, 59,
     4,
     MUST("*** 'spi-program-bin' command must be followed by (1) the SPI chip index, (2) the filename of a binary "
          "file, (3) the address within the SPI flash chip.\n"),
     {{"chip", A::SpiChip, kBadSpiChipIndex}, {"file", A::Word},
      {"address", A::ProgramAddress, kBadSpiProgramArgument}}, kRefuses,
     [](const VerbCall& c) {
         return spiProgramBin(c.ctx, c.verbose, c.number("chip"), c.word("file"), c.number("address"), c.skipSame);
     }},
    {"spi-program-mcs",
     VERB "spi-program-mcs <chip index> <filename.mcs> [translation]\n",
     "Programs an Intel Hex (.mcs) file into the chip, its addresses moved by the optional translation.",
     G::Spi, 60,
     3,
     MUST("*** 'spi-program-mcs' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
          "Hex (.mcs) file.\n"),
     {{"chip", A::SpiChip, kBadSpiChipIndex}, {"file", A::Word},
      {"translation", A::Translation, kBadSpiProgramArgument}}, kRefuses,
     [](const VerbCall& c) {
         return spiProgramMcs(c.ctx, c.verbose, c.number("chip"), c.word("file"), c.signedNumber("translation"),
                              c.confirm, c.skipSame);
     }},
    {"spi-verify-bin",
     VERB "spi-verify-bin <chip index> <filename.mcs> <address>\n",
     "Compares the chip at an address with a binary file (exit code 8 when they differ).",
     G::Spi, 61,
     4,
     MUST("*** 'spi-verify-bin' command must be followed by (1) the SPI chip index, (2) the filename of a binary "
          "file, (3) the address within the SPI flash chip.\n"),
     {{"chip", A::SpiChip, kBadSpiChipIndex}, {"file", A::Word},
      {"address", A::VerifyAddress, kBadSpiProgramArgument}}, kRefuses,
     [](const VerbCall& c) {
         return spiVerifyBin(c.ctx, c.verbose, c.number("chip"), c.word("file"), c.number("address"));
     }},
    {"spi-verify-mcs",
     VERB "spi-verify-mcs <chip index> <filename.mcs> [translation]\n",
     "Compares the chip with an Intel Hex file.",
     G::Spi, 62,
     3,
     MUST("*** 'spi-verify-mcs' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
          "Hex (.mcs) file.\n"),
     {{"chip", A::SpiChip, kBadSpiChipIndex}, {"file", A::Word},
      {"translation", A::Translation, kBadSpiProgramArgument}}, kRefuses,
     [](const VerbCall& c) {
         return spiVerifyMcs(c.ctx, c.verbose, c.number("chip"), c.word("file"), c.signedNumber("translation"));
     }},
    {"spi-save-to-bin",
     VERB "spi-save-to-bin <chip index> <filename.bin> <address> <count>\n",
     "Saves count bytes of the chip from an address into a binary file.",
     G::Spi, 63,
     5,
     MUST("*** 'spi-save-to-bin' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
          "Hex (.mcs) file, (3) starting address, (4) byte count\n"),
     {{"chip", A::SpiChip, kBadSpiChipIndex}, {"file", A::Word}, {"address", A::StartAddress, kBadSpiSaveArgument},
      {"count", A::ByteCount, kBadSpiSaveArgument}},
     kRefuses,
     [](const VerbCall& c) {
         return spiSaveToBin(c.ctx, c.verbose, c.number("chip"), c.word("file"), c.number("address"),
                             c.number("count"));
     }},
    {"spi-save-to-mcs",
     VERB "spi-save-to-mcs <chip index> <filename.mcs> <address> <count>\n",
     "Saves count bytes of the chip from an address into an Intel Hex file.",
     G::Spi, 64,
     5,
     MUST("*** 'spi-save-to-mcs' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
          "Hex (.mcs) file, (3) starting address, (4) byte count\n"),
     {{"chip", A::SpiChip, kBadSpiChipIndex}, {"file", A::Word}, {"address", A::StartAddress, kBadSpiSaveArgument},
      {"count", A::ByteCount, kBadSpiSaveArgument}},
     kRefuses,
     [](const VerbCall& c) {
         return spiSaveToMcs(c.ctx, c.verbose, c.number("chip"), c.word("file"), c.number("address"),
                             c.number("count"));
     }},
    {"update-brdcfg",
     VERB "update-brdcfg <board configuration file.bin>\n",
     "Writes a board configuration image and verifies it.",
     G::Images, 14,
     2,
     MUST("*** 'update-brdcfg' command must be followed by the board config. filename (.bin).\n"), {{"file", A::Word}},
     kSwitches,
     [](const VerbCall& c) {
         return updateImage(ImageKind::BoardConfig, c.word("file"), c.ctx, c.verbose);
     }},
    {"save-brdcfg",
     VERB "save-brdcfg <board configuration save file.bin>\n",
     "Saves the board configuration into a file.",
     G::Images, 16,
     2,
     MUST("*** 'save-brdcfg' command must be followed by the filename (.bin) into which the board config. is to be "
          "saved.\n"),
     {{"file", A::Word}}, kSwitches,
     [](const VerbCall& c) {
         return saveImage(ImageKind::BoardConfig, c.word("file"), c.ctx, c.verbose);
     }},
    {"verify-brdcfg",
     VERB "verify-brdcfg <board configuration file.bin>\n",
     "Compares the board configuration with an image file.",
     G::Images, 15,
     2,
     MUST("*** 'verify-brdcfg' command must be followed by the board config. filename (.bin).\n"), {{"file", A::Word}},
     kSwitches,
     [](const VerbCall& c) {
         return verifyImage(ImageKind::BoardConfig, c.word("file"), c.ctx, c.verbose);
     }},
    {"update-firmware",
     VERB "update-firmware <firmware file.bin>\n",
     "Writes a uC firmware image into the application flash and verifies it.",
     G::Images, 11,
     2, MUST("*** 'update-firmware' command must be followed by the firmware filename (.bin).\n"),
     {{"file", A::Word}}, kSwitches,
     [](const VerbCall& c) { return updateImage(ImageKind::Firmware, c.word("file"), c.ctx, c.verbose); }},
    {"save-firmware",
     VERB "save-firmware <firmware save file.bin>\n",
     "Saves the firmware region of the application flash into a file.",
     G::Images, 13,
     2,
     MUST("*** 'save-firmware' command must be followed by the filename (.bin) into which the firmware is to be "
          "saved.\n"),
     {{"file", A::Word}}, kSwitches,
     [](const VerbCall& c) { return saveImage(ImageKind::Firmware, c.word("file"), c.ctx, c.verbose); }},
    {"verify-firmware",
     VERB "verify-firmware <firmware file.bin>\n",
     "Compares the firmware in the application flash with an image file (exit code 8 when they differ).",
     G::Images, 12,
     2, MUST("*** 'verify-firmware' command must be followed by the firmware filename (.bin).\n"),
     {{"file", A::Word}}, kSwitches,
     [](const VerbCall& c) { return verifyImage(ImageKind::Firmware, c.word("file"), c.ctx, c.verbose); }},
    {"display-vpd",
     VERB "display-vpd\n",
     "Decodes the board's VPD record: model, serial number, fitted parts, checksum.",
     G::BoardInfo, 20,
     1, NO_ARGS, 0, [](const VerbCall& c) { return displayVpd(c.verbose, c.ctx); }},
    {"display-vpd-raw",
     VERB "display-vpd-raw\n",
     "Shows the VPD record as a hex dump.",
     G::BoardInfo, 21,
     1, NO_ARGS, 0,
     [](const VerbCall& c) { return displayVpdRaw(c.verbose, c.ctx); }},
    {"update-vpd",
     VERB "update-vpd <VPD file.bin>\n",
     "Writes a VPD (vital product data) image and verifies it.",
     G::Images, 17,
     2, MUST("*** 'update-vpd' command must be followed by the VPD filename (.bin).\n"), {{"file", A::Word}},
     kSwitches,
     [](const VerbCall& c) { return updateImage(ImageKind::Vpd, c.word("file"), c.ctx, c.verbose); }},
    {"save-vpd",
     VERB "save-vpd <VPD save file.bin>\n",
     "Saves the VPD into a file.",
     G::Images, 19,
     2,
     MUST("*** 'save-vpd' command must be followed by the filename (.bin) into which the VPD is to be saved.\n"),
     {{"file", A::Word}}, kSwitches,
     [](const VerbCall& c) { return saveImage(ImageKind::Vpd, c.word("file"), c.ctx, c.verbose); }},
    {"verify-vpd",
     VERB "verify-vpd <VPD file.bin>\n",
     "Compares the VPD with an image file.",
     G::Images, 18,
     2, MUST("*** 'verify-vpd' command must be followed by the VPD filename (.bin).\n"), {{"file", A::Word}},
     kSwitches,
     [](const VerbCall& c) { return verifyImage(ImageKind::Vpd, c.word("file"), c.ctx, c.verbose); }},
    {"display-black-box",
     VERB "display-black-box [clobber|noclobber|both] [count]\n",
     "Decodes the black-box records the uC keeps of past events: clobber, noclobber or both kinds (the default), and "
     "optionally only the first count records.",
     G::BoardInfo, 25,
     1, nullptr, false,
     {{"type", A::BlackBoxType, kBadBlackBoxType}, {"count", A::BlackBoxCount, kBadBlackBoxCount}}, kRefuses,
     [](const VerbCall& c) {
         return displayBlackBox(c.ctx, c.verbose, c.given("type") ? c.number("type") : 3, c.number("count"));
     }},
    {"display-sensors",
     VERB "display-sensors\n",
     "Shows the board's voltages, currents, temperatures and status bits.",
     G::BoardInfo, 22,
     1, NO_ARGS, kRefuses,
     [](const VerbCall& c) { return displaySensors(c.verbose, c.ctx); }},
    {"display-sensors-raw",
     VERB "display-sensors-raw\n",
     "Shows the sensor page as a hex dump.",
     G::BoardInfo, 23,
     1, NO_ARGS, kRefuses,
     [](const VerbCall& c) { return displaySensorsRaw(c.ctx, c.verbose); }},
    {"write-metrics",
     VERB "write-metrics <file.prom | ->\n",
     "Writes the board's readings and status bits as Prometheus metrics to a file, replaced in one step, or with "
     "\"-\" to standard output. See METRICS.",
     G::BoardInfo, 24,
     2,
     MUST("*** 'write-metrics' command must be followed by the metrics filename (.prom), or - for standard "
          "output.\n"),
     {{"file", A::Word}}, kRefuses,
     [](const VerbCall& c) { return writeMetrics(c.ctx, c.verbose, c.word("file")); }},
    {"override-sensor",
     VERB "override-sensor <index> <unscaled value>\n",
     "Makes the uC report the given raw value for a sensor instead of its reading.",
     G::BoardInfo, 26,
     3,
     MUST("*** 'override-sensor-raw' must be followed by the (1) sensor index and (2) the unscaled override "
          "value.\n"),
     {{"index", A::SensorIndex, kBadIndexOrCount}, {"value", A::OverrideValue, kBadOverrideValue}}, kRefuses,
     [](const VerbCall& c) { return overrideSensor(c.number("index"), c.ctx, c.verbose, c.number("value")); }},
    {"release-sensor",
     VERB "release-sensor <index>\n",
     "Ends an override-sensor for that sensor.",
     G::BoardInfo, 27,
     2, MUST("*** 'release-sensor' must be followed by the sensor index.\n"),
     {{"index", A::SensorIndex, kBadIndexOrCount}}, kRefuses,
     [](const VerbCall& c) { return releaseSensor(c.number("index"), c.ctx, c.verbose); }},
    {"test-clobber",
     VERB "test-clobber\n",
     "Sends the uC's clobber test request, which exercises its black-box clobber records.",
     G::Identity, 6,
     1, NO_ARGS, kRefuses,
     [](const VerbCall& c) { return testClobber(c.ctx, c.verbose); }},
    {"test-timeout",
     VERB "test-timeout\n",
     "Sends a request the uC never answers; succeeds when the link reports the time-out.",
     G::Identity, 7,
     1, NO_ARGS, 0, [](const VerbCall& c) { return testTimeout(c.ctx, c.verbose); }},
    {"set-brd-power",
     VERB "set-brd-power <on|off>\n",
     "Turns the board's main power on or off.",
     G::BootAndPower, 43,
     2, MUST("*** 'set-brd-power' command must be followed by 'on' or 'off'\n"),
     {{"state", A::PowerState, kTooFewArguments}}, kRefuses,
     [](const VerbCall& c) { return setBoardPower(c.ctx, c.number("state") != 0, c.verbose); }},
    {"get-brd-power",
     VERB "get-brd-power\n",
     "Prints whether the board's main power is on.",
     G::BootAndPower, 44,
     1, NO_ARGS, kRefuses,
     [](const VerbCall& c) { return getBoardPower(c.ctx, c.verbose); }},
    {"get-mez-power",
     VERB "get-mez-power <index>\n",
     "Prints the I/O voltage setting of a mezzanine.",
     G::BootAndPower, 45,
     2, MUST_TYPED("command must be followed by (1) Mezzanine index\n"),
     {{"index", A::MezzanineIndex, kBadIndexOrCount}}, kRefuses,
     [](const VerbCall& c) { return getMezzaninePower(c.ctx, false, c.number("index"), c.verbose); }},
    {"get-mez-power-nv",
     VERB "get-mez-power-nv <index>\n",
     "Prints the non-volatile I/O voltage setting of a mezzanine.",
     G::BootAndPower, 46,
     2, MUST_TYPED("command must be followed by (1) Mezzanine index\n"),
     {{"index", A::MezzanineIndex, kBadIndexOrCount}}, kRefuses | kNonVolatile,
     [](const VerbCall& c) { return getMezzaninePower(c.ctx, true, c.number("index"), c.verbose); }},
    {"force-mez-power",
     VERB "force-mez-power <requested mV> <min mV> <max mV> <index>\n",
     "Forces a mezzanine I/O voltage (mV) within the given limits; asks for confirmation unless +confirm is given.",
     G::BootAndPower, 47,
     5,
     MUST_TYPED("command must be followed by (1) requested voltage (mV), (2) minumum allowed voltage (mV), (3) "
                "maximum allowed voltage (mV) and (4) Mezzanine index\n"),
     {{"requested mV", A::RequestedVoltage, kBadVoltageWord}, {"min mV", A::MinimumVoltage, kBadVoltageWord},
      {"max mV", A::MaximumVoltage, kBadVoltageWord}, {"index", A::MezzanineIndex, kBadIndexOrCount}},
     kRefuses,
     [](const VerbCall& c) {
         return forceMezzaninePower(c.number("requested mV"), c.ctx, nonVolatile(c), c.verbose, c.confirm,
                                    c.number("index"), c.number("min mV"),
                                    c.number("max mV"));
     }},
    {"force-mez-power-nv",
     VERB "force-mez-power-nv <requested mV> <min mV> <max mV> <index>\n"
     NOTE "INCORRECT USE OF FORCE MEZZANINE POWER COMMANDS MAY DAMAGE HARDWARE. USE WITH CARE.\n",
     "Like force-mez-power, kept in non-volatile memory.",
     G::BootAndPower, 48,
     5,
     MUST_TYPED("command must be followed by (1) requested voltage (mV), (2) minumum allowed voltage (mV), (3) "
                "maximum allowed voltage (mV) and (4) Mezzanine index\n"),
     {{"requested mV", A::RequestedVoltage, kBadVoltageWord}, {"min mV", A::MinimumVoltage, kBadVoltageWord},
      {"max mV", A::MaximumVoltage, kBadVoltageWord}, {"index", A::MezzanineIndex, kBadIndexOrCount}},
     kRefuses | kNonVolatile,
     [](const VerbCall& c) {
         return forceMezzaninePower(c.number("requested mV"), c.ctx, nonVolatile(c), c.verbose, c.confirm,
                                    c.number("index"), c.number("min mV"),
                                    c.number("max mV"));
     }},
    {"config-si5338",
     VERB "config-si5338 <bus> <device> <register map file.txt>\n",
     "Programs an SI5338 clock chip over I2C from its register map file.",
     G::Clocks, 38,
     4,
     MUST_TYPED("command must be followed by (1) the I2C bus number of the SI5338, (2) the I2C chip address of the "
                "SI5338 and (3) the SI5338 register map file\n"),
     {{"bus", A::I2cBus, kBadI2cBus}, {"device", A::I2cChip, kBadI2cChip}, {"map file", A::Word}}, kRefuses,
     [](const VerbCall& c) {
         return configureSi5338(c.word("map file"), c.ctx, c.verbose, c.number("bus"), c.number("device"));
     }},
    {"raw",
     VERB "raw <expected response length> <command bytes ...>\n",
     "Sends the given request bytes (group and command first) and prints the reply; the first argument is the reply "
     "length expected, at most 515 (the longest reply the uC sends).",
     G::Identity, 8,
     4,
     MUST("*** 'raw' command must be followed by (1) the expected response length, (2) two or more command bytes "
          "to write\n"),
     {{"response length", A::ResponseLength, kBadRawLength}, {"bytes", A::CommandBytes, kBadRawByte}}, 0,
     [](const VerbCall& c) {
         return sendRaw(c.bytes(), c.number("response length"), c.ctx, c.verbose, c.byteCount());
     }},
};

#undef MUST
#undef MUST_TYPED
#undef NO_ARGS
#undef VERB
#undef NOTE
#undef MORE

/// The position of a named argument in the row (1 = first word after the
/// verb), or 0, whose slots stay empty, for a name the row lacks.
uint32_t positionOf(const VerbRow* row, const char* name) {
    if (row == nullptr) return 0;
    for (uint32_t i = 0; i < kMaxVerbArgs && row->args[i].kind != Arg::None; ++i)
        if (std::strcmp(row->args[i].name, name) == 0) return i + 1;
    return 0;
}

}  // namespace

uint32_t VerbCall::number(const char* name) const { return args.number[positionOf(row, name)]; }

int32_t VerbCall::signedNumber(const char* name) const { return static_cast<int32_t>(number(name)); }

const char* VerbCall::word(const char* name) const { return args.word[positionOf(row, name)]; }

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
        for (const VerbRow& row : kVerbs) list += row.synopsis;
        if (!list.empty() && list.back() == '\n') list.pop_back();  // the option parser ends the line
        return list;
    }();
    return text.c_str();
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
    VerbCall converted = call;
    converted.row = row;
    converted.args = VerbArgs{};
    std::unique_ptr<uint8_t[]> bytes;
    if (Result r = convertArgs(*row, call, converted.args, bytes); r != kOk) return r;
    return row->handler(converted);
}
