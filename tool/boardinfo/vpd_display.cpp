// Placeholder until the VPD display is built.
#include "base/out.h"
#include "boardinfo/vpd.h"

Result displayVpdRaw(bool, ConnectionContext*) {
    out("*** The 'display-vpd-raw' command is not built yet.\n");
    return kUnrecognisedVerb;
}
Result displayVpd(bool, ConnectionContext*) {
    out("*** The 'display-vpd' command is not built yet.\n");
    return kUnrecognisedVerb;
}
const char* drawingNumberToModel(uint32_t) { return "UNRECOGNIZED"; }
const char* fpgaDeviceName(uint16_t) { return "UNRECOGNIZED"; }
const char* fpgaTemperatureGradeName(uint8_t) { return "UNRECOGNIZED"; }
