#include "cli/help_texts.h"

#include "base/out.h"
#include "cli/option_parser.h"
#include "link/quenta.h"
#include "link/tobra.h"
#include "zorvi.h"

#define VERB "     "
#define NOTE "       "
#define MORE "                          "

const char* const kVerbListText =
    "One of:\n\n"
    VERB "build-info\n"
    VERB "list-boards [noprobe]\n"
    VERB "product-id\n"
    VERB "version\n"
    VERB "comm-test\n"
    VERB "enter-service-mode\n"
    VERB "exit-service-mode\n"
    VERB "get-smbus-addr\n"
    VERB "set-smbus-addr <7-bit SMBUS address>\n"
    VERB "get-smbus-addr-nv\n"
    VERB "set-smbus-addr-nv <7-bit SMBUS address>\n"
    VERB "getclk <index>\n"
    VERB "setclk <index> <Hz>\n"
    VERB "setclk-regmap <index> [reg. map filename] [reg. map type]\n"
    NOTE "Register map types: lmk61e2\n"
    VERB "getclknv <index>\n"
    VERB "setclknv <index> <Hz>\n"
    VERB "setclknv-regmap <index> [reg. map filename] [reg. map type]\n"
    VERB "set-boot-mode <boot mode | switch>\n"
    VERB "set-boot-mode-nv <boot mode | switch>\n"
    NOTE "ZynqMP boot modes: switch, 0, 1, ..., 15, jtag, qspi24, qspi32, sd0,\n"
    MORE "nand, sd1_v2, emmc, usb0, pjtag0, pjtag1, sd1_v3\n"
    NOTE "Versal boot modes: switch, 0, 1, ..., 15, jtag, qspi24, qspi32, sd0_v3,\n"
    MORE "sd1_v2, emmc1, ospi, selectmap, sd1_v3\n"
    NOTE "\"switch\" means use switch setting on board\n"
    VERB "get-boot-mode\n"
    VERB "get-boot-mode-nv\n"
    VERB "i2c-read-to-file <bus> <device> <address> <count> <output file.bin>\n"
    VERB "i2c-verify-with-file <bus> <device> <address> <input file.bin>\n"
    VERB "i2c-write-from-file <bus> <device> <address> <input file.bin>\n"
    VERB "i2c-read <bus> <device> <address> <count>\n"
    VERB "i2c-write <bus> <device> <address> <data byte> ...\n"
    VERB "i2c-write-read <bus> <device> <read count> <write address/data byte> ...\n"
    VERB "spi-raw <chip index> <read count> <write data byte> ...\n"
    VERB "spi-info <chip index>\n"
    VERB "spi-check-blank <chip index> <address> <count>\n"
    VERB "spi-erase <chip index> <address> <count>\n"
    VERB "spi-program-bin <chip index> <filename.bin> <address>\n"
    VERB "spi-program-mcs <chip index> <filename.mcs> [translation]\n"
    VERB "spi-verify-bin <chip index> <filename.mcs> <address>\n"
    VERB "spi-verify-mcs <chip index> <filename.mcs> [translation]\n"
    VERB "spi-save-to-bin <chip index> <filename.bin> <address> <count>\n"
    VERB "spi-save-to-mcs <chip index> <filename.mcs> <address> <count>\n"
    VERB "update-brdcfg <board configuration file.bin>\n"
    VERB "save-brdcfg <board configuration save file.bin>\n"
    VERB "verify-brdcfg <board configuration file.bin>\n"
    VERB "update-firmware <firmware file.bin>\n"
    VERB "save-firmware <firmware save file.bin>\n"
    VERB "verify-firmware <firmware file.bin>\n"
    VERB "display-vpd\n"
    VERB "display-vpd-raw\n"
    VERB "update-vpd <VPD file.bin>\n"
    VERB "save-vpd <VPD save file.bin>\n"
    VERB "verify-vpd <VPD file.bin>\n"
    VERB "display-black-box [clobber|noclobber|both] [count]\n"
    VERB "display-sensors\n"
    VERB "display-sensors-raw\n"
    VERB "write-metrics <file.prom | ->\n"
    VERB "override-sensor <index> <unscaled value>\n"
    VERB "release-sensor <index>\n"
    VERB "test-clobber\n"
    VERB "test-timeout\n"
    VERB "set-brd-power <on|off>\n"
    VERB "get-brd-power\n"
    VERB "get-mez-power <index>\n"
    VERB "get-mez-power-nv <index>\n"
    VERB "force-mez-power <requested mV> <min mV> <max mV> <index>\n"
    VERB "force-mez-power-nv <requested mV> <min mV> <max mV> <index>\n"
    NOTE "INCORRECT USE OF FORCE MEZZANINE POWER COMMANDS MAY DAMAGE HARDWARE. USE WITH CARE.\n"
    VERB "config-si5338 <bus> <device> <register map file.txt>\n"
    VERB "raw <expected response length> <command bytes ...>";

#undef VERB
#undef NOTE
#undef MORE

// The Windows example lines keep the Windows program name.
static const char kWindowsProgramName[] = "zorviutil.exe";

void showCommHelp() {
    const char* win = kWindowsProgramName;
    const char* lin = "zorviutil";
    out("Options for communicating with microcontroller:\n");
    out("NOTE: Prior to zorviutil 4.21.0, \"-index 0\" was implied if no communication\n");
    out("      options were passed on the command line.\n");
    out("NOTE: \"version\" verb is used in examples for illustrative purposes.\n");
    out("      Replace with other verbs as needed.\n");
    out("\n");
    out("  -quenta <index>\n");
    out("    QUENTA Driver (PCIe); requires installation of QUENTA Driver. Examples:\n");
    out("    %12s -quenta 0 version                                  (Windows)\n", win);
    out("    %12s -quenta 0 version                                  (Linux)\n", lin);
    out("    NOTE: Administrator Command Prompt / root user / \"sudo\" required.\n");
    out("\n");
    out("\n");
    out("  -index <index>\n");
    out("    TOBRA Driver (PCIe); requires installation of TOBRA Driver. Examples:\n");
    out("    %12s -index 0 version                                   (Windows)\n", win);
    out("    %12s -index 0 version                                   (Linux)\n", lin);
    out("    NOTE: Administrator Command Prompt / root user / \"sudo\" required.\n");
    out("\n");
    out("  -psuart <device>,<baud rate>\n");
    out("    PS UART, when running zorviutil in ZynqMP/Versal Processing System. Examples:\n");
    out("    %12s -psuart /dev/ttyPS1,171428 version                 (Linux)\n", lin);
    out("    NOTE: root user / \"sudo\" may be required if not in \"dialout\" group.\n");
    out("\n");
    out("  -usbcom <port / device>\n");
    out("    USB connection; same cable as used by Vivado Hardware Manager. Examples:\n");
    out("    %12s -usbcom COM3 version                               (Windows)\n", win);
    out("    %12s -usbcom /dev/ttyACM0 version                       (Linux)\n", lin);
    out("    NOTE: root user / \"sudo\" may be required if not in \"dialout\" group.\n");
    out("\n");
}

namespace {
// The models this version knows, in the order of the model table.
const char* const kSupportedModels[] = {
    "CARD-A01", "CARD-A02", "CARD-A03", "CARD-A04", "CARD-A05", "CARD-A06", "CARD-A07", "CARD-A08", "CARD-A08-FH",
    "CARD-A10", "CARD-A11", "CARD-A12", "CARD-A13", "CARD-A14", "CARD-A15", "CARD-A16", "CARD-A17", "CARD-A18",
    "CARD-A19", "CARD-A20", "CARD-A21", "CARD-A22", "CARD-A23", "CARD-A24", "CARD-A25", "CARD-A26", "CARD-A27",
    "CARD-A28", "CARD-A29", "CARD-A30", "CARD-A31", "CARD-A32", "CARD-A33", "CARD-A34",
};
static_assert(sizeof kSupportedModels / sizeof kSupportedModels[0] == 34);
}  // namespace

void showBuildInfo() {
    out("%s %d.%d.%d - Microcontroller maintenance tool\n", kProgramName, 4, 26, 0);
    out("ZORVI API library: %s, <zorvi.h> %d.%d.%d\n", "dynamically loaded", ZORVI_H_VERSION_MAJOR,
        ZORVI_H_VERSION_MINOR, ZORVI_H_VERSION_PATCH);
    out("TOBRA API library: %s, <tobra.h> %d.%d.%d\n", "dynamically loaded", TOBRA_H_VERSION_MAJOR,
        TOBRA_H_VERSION_MINOR, TOBRA_H_VERSION_PATCH);
    out("QUENTA API library: %s, <quenta.h> %d.%d.%d\n", "dynamically loaded", QUENTA_H_VERSION_MAJOR,
        QUENTA_H_VERSION_MINOR, QUENTA_H_VERSION_PATCH);
    out("Supported models:");
    for (const char* model : kSupportedModels) out(" %s", model);
    out("\n");
}
