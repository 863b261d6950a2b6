// The verbs of the control subsystem, each a row: its usage lines,
// its man page text, its arguments, its flags and its handler.
#include "control/control_verb_rows.h"

#include <strings.h>

#include "base/out.h"
#include "control/board_control.h"
#include "control/i2c_verbs.h"
#include "control/identity_verbs.h"
#include "control/list_boards.h"
#include "link/connection.h"

// Handlers that take the call as it stands, declared here beside their rows.
Result getSmbusAddressVerb(const VerbCall& c);
Result setSmbusAddressVerb(const VerbCall& c);
Result i2cScanVerb(const VerbCall& c);

namespace {

constexpr VerbRow kIdentityVerbRows[] = {
    {"list-boards",
     VERB_LINE "list-boards [noprobe]\n",
     "Lists the boards of this host, one line each with the link option that reaches it: the USB serial ports whose "
     "USB product name contains \"ZORVI\" (named by their /dev/serial/by-id/ link when udev gives one; on Windows, "
     "the COM ports that answer as a board or are held by another program), then the PCIe "
     "cards of the TOBRA and QUENTA driver libraries that open. Each board is opened and asked its product ID, "
     "firmware version and VPD drawing and serial number; a board that does not answer is listed with the reason. "
     "With the word noprobe the serial ports are only listed (a card is found by opening it). A line reads \"-usbcom "
     "/dev/serial/by-id/... (/dev/ttyACM0): product ID 721, firmware 4.26.0.7, drawing 1353, serial 100001\" (with "
     "\"service mode\" after the product ID of a uC in service mode), or ends "
     "in \"error CODE (NAME): what the failure printed\" for a board that did not answer; \"No boards found.\" when "
     "there is none. With +json: an array of objects, see list-boards.schema.json. Needs no link option.",
     VerbGroup::Identity, 2,
     1, nullptr, false, {{"noprobe", Arg::Word}}, kNeedsNoLink,
     [](const VerbCall& c) -> Result {
         const bool probe = c.word("noprobe") == nullptr;
         if (!probe && strcasecmp(c.word("noprobe"), "noprobe") != 0) {
             out("*** 'list-boards' takes one optional word: noprobe.\n");
             return kTooFewArguments;
         }
         return listBoards(probe, c.verbose);
     }},
    {"product-id",
     VERB_LINE "product-id\n",
     "Prints the uC firmware's product ID.",
     VerbGroup::Identity, 4,
     1, VERB_NO_ARGS, 0,
     [](const VerbCall& c) { return showProductId(c.ctx, c.verbose); }},
    {"version",
     VERB_LINE "version\n",
     "Prints the name and version of the firmware the uC runs (normal or service-mode firmware).",
     VerbGroup::Identity, 3,
     1, VERB_NO_ARGS, 0, [](const VerbCall& c) { return showVersion(c.ctx, c.verbose); }},
    {"comm-test",
     VERB_LINE "comm-test\n",
     "Sends a series of loopback messages and reports errors and data rates of the link.",
     VerbGroup::Identity, 5,
     1, VERB_NO_ARGS, 0, [](const VerbCall& c) { return runCommTest(c.ctx, c.verbose); }},
};

constexpr VerbRow kSmbusVerbRows[] = {
    {"get-smbus-addr",
     VERB_LINE "get-smbus-addr\n",
     "Prints the uC's SMBus address now in use.",
     VerbGroup::Smbus, 28,
     1, VERB_NO_ARGS, 0,
     getSmbusAddressVerb},
    {"set-smbus-addr",
     VERB_LINE "set-smbus-addr <7-bit SMBUS address>\n",
     "Sets the uC's SMBus address until the next power cycle.",
     VerbGroup::Smbus, 30,
     2, VERB_MUST_TYPED("command must be followed by a 7-bit SMBUS chip address.\n"),
     {{"address", Arg::SmbusAddress, kTooFewArguments}}, 0,
     setSmbusAddressVerb},
    {"get-smbus-addr-nv",
     VERB_LINE "get-smbus-addr-nv\n",
     "Prints the uC's SMBus address kept in non-volatile memory.",
     VerbGroup::Smbus, 29,
     1, VERB_NO_ARGS, kNonVolatile,
     getSmbusAddressVerb},
    {"set-smbus-addr-nv",
     VERB_LINE "set-smbus-addr-nv <7-bit SMBUS address>\n",
     "Sets the uC's SMBus address in non-volatile memory.",
     VerbGroup::Smbus, 31,
     2, VERB_MUST_TYPED("command must be followed by a 7-bit SMBUS chip address.\n"),
     {{"address", Arg::SmbusAddress, kTooFewArguments}}, kNonVolatile,
     setSmbusAddressVerb},
};

constexpr VerbRow kBootModeVerbRows[] = {
    {"set-boot-mode",
     VERB_LINE "set-boot-mode <boot mode | switch>\n",
     "Sets the FPGA boot mode until the next power cycle: a number, a mode name or \"switch\" (the board's switches).",
     VerbGroup::BootAndPower, 39,
     2,
     VERB_MUST("*** 'set-boot-mode' command must be followed by either a decimal or hexadecimal number between 0 and "
               "15 inclusive, or the word 'switch'.\n"),
     {{"mode", Arg::Word}}, kRefusesInService,
     [](const VerbCall& c) { return setBootMode(c.word("mode"), c.ctx, c.verbose, false); }},
    {"set-boot-mode-nv",
     VERB_LINE "set-boot-mode-nv <boot mode | switch>\n"
     VERB_NOTE "ZynqMP boot modes: switch, 0, 1, ..., 15, jtag, qspi24, qspi32, sd0,\n"
     VERB_MORE "nand, sd1_v2, emmc, usb0, pjtag0, pjtag1, sd1_v3\n"
     VERB_NOTE "Versal boot modes: switch, 0, 1, ..., 15, jtag, qspi24, qspi32, sd0_v3,\n"
     VERB_MORE "sd1_v2, emmc1, ospi, selectmap, sd1_v3\n"
     VERB_NOTE "\"switch\" means use switch setting on board\n",
     "Sets the FPGA boot mode in non-volatile memory.",
     VerbGroup::BootAndPower, 40,
     2,
     VERB_MUST("*** 'set-boot-mode-nv' command must be followed by either a decimal or hexadecimal number between 0 "
               "and 15 inclusive, or the word 'switch'.\n"),
     {{"mode", Arg::Word}}, kRefusesInService | kNonVolatile,
     [](const VerbCall& c) { return setBootMode(c.word("mode"), c.ctx, c.verbose, true); }},
    {"get-boot-mode",
     VERB_LINE "get-boot-mode\n",
     "Prints the FPGA boot mode in use.",
     VerbGroup::BootAndPower, 41,
     1, VERB_NO_ARGS, kRefusesInService,
     [](const VerbCall& c) { return getBootMode(c.verbose, c.ctx, false); }},
    {"get-boot-mode-nv",
     VERB_LINE "get-boot-mode-nv\n",
     "Prints the FPGA boot mode kept in non-volatile memory.",
     VerbGroup::BootAndPower, 42,
     1, VERB_NO_ARGS, kRefusesInService | kNonVolatile,
     [](const VerbCall& c) { return getBootMode(c.verbose, c.ctx, true); }},
};

constexpr VerbRow kI2cVerbRows[] = {
    {"i2c-read-to-file",
     VERB_LINE "i2c-read-to-file <bus> <device> <address> <count> <output file.bin>\n",
     "Reads count bytes from an I2C device into a file.",
     VerbGroup::I2c, 52,
     6,
     VERB_MUST("*** 'i2c-read-to-file' command must be followed by (1) the I2C bus number, (2) the I2C chip address, "
               "(3) the address, (4) the byte count, and (5) the filename (.bin).\n"),
     {{"bus", Arg::I2cBus, kBadI2cBus}, {"device", Arg::I2cChip, kBadI2cChip},
      {"address", Arg::I2cAddress, kBadI2cAddress}, {"count", Arg::Count, kBadI2cCount},
      {"file", Arg::Word}},
     kRefusesInService,
     [](const VerbCall& c) {
         return i2cReadToFile(c.word("file"), c.number("address"), c.ctx, c.verbose, c.number("bus"),
                              c.number("device"), c.number("count"));
     }},
    {"i2c-verify-with-file",
     VERB_LINE "i2c-verify-with-file <bus> <device> <address> <input file.bin>\n",
     "Compares an I2C device's bytes with a file.",
     VerbGroup::I2c, 54,
     5,
     VERB_MUST("*** 'i2c-verify-with-file' command must be followed by (1) the I2C bus number, (2) the I2C chip "
               "address, (3) the address and (4) the filename (.bin).\n"),
     {{"bus", Arg::I2cBus, kBadIndexOrCount}, {"device", Arg::I2cChip, kBadIndexOrCount},
      {"address", Arg::I2cAddress, kBadIndexOrCount}, {"file", Arg::Word}},
     kRefusesInService,
     [](const VerbCall& c) {
         return i2cVerifyWithFile(c.word("file"), c.ctx, c.verbose, c.number("bus"), c.number("device"),
                                  c.number("address"));
     }},
    {"i2c-write-from-file",
     VERB_LINE "i2c-write-from-file <bus> <device> <address> <input file.bin>\n",
     "Writes a file's bytes to an I2C device.",
     VerbGroup::I2c, 53,
     5,
     VERB_MUST("*** 'i2c-write-from-file' command must be followed by (1) the I2C bus number, (2) the I2C chip "
               "address, (3) the address and (4) the filename (.bin).\n"),
     {{"bus", Arg::I2cBus, kBadI2cBus}, {"device", Arg::I2cChip, kBadI2cChip},
      {"address", Arg::I2cAddress, kBadI2cAddress}, {"file", Arg::Word}}, kRefusesInService,
     [](const VerbCall& c) {
         return i2cWriteFromFile(c.number("address"), c.word("file"), c.ctx, c.verbose, c.number("bus"),
                                 c.number("device"));
     }},
    {"i2c-read",
     VERB_LINE "i2c-read <bus> <device> <address> <count>\n",
     "Reads count bytes from an I2C device at an address and prints them.",
     VerbGroup::I2c, 49,
     5,
     VERB_MUST("*** 'i2c-read' command must be followed by (1) the I2C bus number, (2) the I2C chip address, (3) the "
               "address, (4) the byte count\n"),
     {{"bus", Arg::I2cBus, kBadI2cBus}, {"device", Arg::I2cChip, kBadI2cChip},
      {"address", Arg::I2cAddress, kBadI2cAddress},
      {"count", Arg::Count, kBadIndexOrCount}},
     kRefusesInService,
     [](const VerbCall& c) {
         return i2cRead(c.number("count"), c.ctx, c.verbose, c.number("bus"), c.number("device"), c.number("address"));
     }},
    {"i2c-write",
     VERB_LINE "i2c-write <bus> <device> <address> <data byte> ...\n",
     "Writes bytes to an I2C device at an address.",
     VerbGroup::I2c, 50,
     5,
     VERB_MUST("*** 'i2c-write' command must be followed by (1) the I2C bus number, (2) the I2C chip address, (3) the "
               "address, (4) one or more address/data bytes to write\n"),
     {{"bus", Arg::I2cBus, kBadI2cBus}, {"device", Arg::I2cChip, kBadI2cChip},
      {"address", Arg::I2cAddress, kBadI2cAddress},
      {"bytes", Arg::DataBytes, kBadI2cDataByte}},
     kRefusesInService,
     [](const VerbCall& c) {
         return i2cWrite(c.ctx, c.verbose, c.number("bus"), c.number("device"), c.number("address"), c.bytes(),
                         c.byteCount());
     }},
    {"i2c-write-read",
     VERB_LINE "i2c-write-read <bus> <device> <read count> <write address/data byte> ...\n",
     "Writes bytes to an I2C device, then reads the given number of bytes back.",
     VerbGroup::I2c, 51,
     4,
     VERB_MUST("*** 'i2c-write-read' command must be followed by (1) the I2C bus number, (2) the I2C chip address, (3) "
               "read byte count, (4) zero or more address/data bytes to write\n"),
     {{"bus", Arg::I2cBus, kBadI2cBus}, {"device", Arg::I2cChip, kBadI2cChip},
      {"read count", Arg::ReadByteCount, kBadI2cCount},
      {"bytes", Arg::WriteBytes, kBadI2cDataByte}},
     kRefusesInService,
     [](const VerbCall& c) {
         return i2cWriteRead(c.ctx, c.verbose, c.number("bus"), c.number("device"), c.byteCount(),
                             c.number("read count"), c.bytes());
     }},
    {"i2c-scan",
     VERB_LINE "i2c-scan <bus>\n"
     VERB_NOTE "Requires +confirm: reading can change some devices\n",
     "Reads one byte at each 7-bit address 0x03 to 0x77 of an I2C bus and prints the address grid: the address "
     "where a device answered, \"--\" where none did. A read can change the state of some devices, so the verb runs "
     "only with +confirm given before it. With +json: the bus and the addresses that answered.",
     VerbGroup::I2c, 55,
     2, VERB_MUST("*** 'i2c-scan' command must be followed by the I2C bus number.\n"),
     {{"bus", Arg::I2cBus, kBadI2cBus}}, kRefusesInService, i2cScanVerb},
};

constexpr VerbRow kTestVerbRows[] = {
    {"test-clobber",
     VERB_LINE "test-clobber\n",
     "Sends the uC's clobber test request, which exercises its black-box clobber records.",
     VerbGroup::Identity, 6,
     1, VERB_NO_ARGS, kRefusesInService,
     [](const VerbCall& c) { return testClobber(c.ctx, c.verbose); }},
    {"test-timeout",
     VERB_LINE "test-timeout\n",
     "Sends a request the uC never answers; succeeds when the link reports the time-out.",
     VerbGroup::Identity, 7,
     1, VERB_NO_ARGS, 0, [](const VerbCall& c) { return testTimeout(c.ctx, c.verbose); }},
};

constexpr VerbRow kPowerVerbRows[] = {
    {"set-brd-power",
     VERB_LINE "set-brd-power <on|off>\n",
     "Turns the board's main power on or off.",
     VerbGroup::BootAndPower, 43,
     2, VERB_MUST("*** 'set-brd-power' command must be followed by 'on' or 'off'\n"),
     {{"state", Arg::PowerState, kTooFewArguments}}, kRefusesInService,
     [](const VerbCall& c) { return setBoardPower(c.ctx, c.number("state") != 0, c.verbose); }},
    {"get-brd-power",
     VERB_LINE "get-brd-power\n",
     "Prints whether the board's main power is on.",
     VerbGroup::BootAndPower, 44,
     1, VERB_NO_ARGS, kRefusesInService,
     [](const VerbCall& c) { return getBoardPower(c.ctx, c.verbose); }},
    {"get-mez-power",
     VERB_LINE "get-mez-power <index>\n",
     "Prints the I/O voltage setting of a mezzanine.",
     VerbGroup::BootAndPower, 45,
     2, VERB_MUST_TYPED("command must be followed by (1) Mezzanine index\n"),
     {{"index", Arg::MezzanineIndex, kBadIndexOrCount}}, kRefusesInService,
     [](const VerbCall& c) { return getMezzaninePower(c.ctx, false, c.number("index"), c.verbose); }},
    {"get-mez-power-nv",
     VERB_LINE "get-mez-power-nv <index>\n",
     "Prints the non-volatile I/O voltage setting of a mezzanine.",
     VerbGroup::BootAndPower, 46,
     2, VERB_MUST_TYPED("command must be followed by (1) Mezzanine index\n"),
     {{"index", Arg::MezzanineIndex, kBadIndexOrCount}}, kRefusesInService | kNonVolatile,
     [](const VerbCall& c) { return getMezzaninePower(c.ctx, true, c.number("index"), c.verbose); }},
    {"force-mez-power",
     VERB_LINE "force-mez-power <requested mV> <min mV> <max mV> <index>\n",
     "Forces a mezzanine I/O voltage (mV) within the given limits; asks for confirmation unless +confirm is given.",
     VerbGroup::BootAndPower, 47,
     5,
     VERB_MUST_TYPED("command must be followed by (1) requested voltage (mV), (2) minumum allowed voltage (mV), (3) "
                     "maximum allowed voltage (mV) and (4) Mezzanine index\n"),
     {{"requested mV", Arg::RequestedVoltage, kBadVoltageWord}, {"min mV", Arg::MinimumVoltage, kBadVoltageWord},
      {"max mV", Arg::MaximumVoltage, kBadVoltageWord}, {"index", Arg::MezzanineIndex, kBadIndexOrCount}},
     kRefusesInService,
     [](const VerbCall& c) {
         return forceMezzaninePower(c.number("requested mV"), c.ctx, c.nonVolatile(), c.verbose, c.confirm,
                                    c.number("index"), c.number("min mV"),
                                    c.number("max mV"));
     }},
    {"force-mez-power-nv",
     VERB_LINE "force-mez-power-nv <requested mV> <min mV> <max mV> <index>\n"
     VERB_NOTE "INCORRECT USE OF FORCE MEZZANINE POWER COMMANDS MAY DAMAGE HARDWARE. USE WITH CARE.\n",
     "Like force-mez-power, kept in non-volatile memory.",
     VerbGroup::BootAndPower, 48,
     5,
     VERB_MUST_TYPED("command must be followed by (1) requested voltage (mV), (2) minumum allowed voltage (mV), (3) "
                     "maximum allowed voltage (mV) and (4) Mezzanine index\n"),
     {{"requested mV", Arg::RequestedVoltage, kBadVoltageWord}, {"min mV", Arg::MinimumVoltage, kBadVoltageWord},
      {"max mV", Arg::MaximumVoltage, kBadVoltageWord}, {"index", Arg::MezzanineIndex, kBadIndexOrCount}},
     kRefusesInService | kNonVolatile,
     [](const VerbCall& c) {
         return forceMezzaninePower(c.number("requested mV"), c.ctx, c.nonVolatile(), c.verbose, c.confirm,
                                    c.number("index"), c.number("min mV"),
                                    c.number("max mV"));
     }},
};

constexpr VerbRow kRawVerbRows[] = {
    {"raw",
     VERB_LINE "raw <expected response length> <command bytes ...>\n",
     "Sends the given request bytes (group and command first) and prints the reply; the first argument is the reply "
     "length expected, at most 515 (the longest reply the uC sends).",
     VerbGroup::Identity, 8,
     4,
     VERB_MUST("*** 'raw' command must be followed by (1) the expected response length, (2) two or more command bytes "
               "to write\n"),
     {{"response length", Arg::ResponseLength, kBadRawLength}, {"bytes", Arg::CommandBytes, kBadRawByte}}, 0,
     [](const VerbCall& c) {
         return sendRaw(c.bytes(), c.number("response length"), c.ctx, c.verbose, c.byteCount());
     }},
};

}  // namespace

VerbRows identityVerbRows() { return verbRows(kIdentityVerbRows); }
VerbRows smbusVerbRows() { return verbRows(kSmbusVerbRows); }
VerbRows bootModeVerbRows() { return verbRows(kBootModeVerbRows); }
VerbRows i2cVerbRows() { return verbRows(kI2cVerbRows); }
VerbRows testVerbRows() { return verbRows(kTestVerbRows); }
VerbRows powerVerbRows() { return verbRows(kPowerVerbRows); }
VerbRows rawVerbRows() { return verbRows(kRawVerbRows); }
