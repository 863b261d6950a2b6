#include "cli/help_texts.h"

#include "base/out.h"
#include "cli/option_parser.h"
#include "cli/verb_table.h"
#include "link/quenta.h"
#include "link/tobra.h"
#include "zorvi.h"

// The verb list is made from the verb table's rows.
const char* const kVerbListText = verbListText();

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
