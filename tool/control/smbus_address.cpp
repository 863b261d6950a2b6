// The uC's own SMBus chip address, now and from its next reboot. Address 0
// switches its SMBus interface off.
// Laid out as a verb with requests of its own is: its handlers here, each
// taking the call, declared where its rows are (control_verb_rows.cpp), its
// requests rows of control_commands.h; the simulator's device is
// sim/devices/smbus_address.cpp.
#include "base/json_out.h"
#include "base/out.h"
#include "base/verb_row.h"
#include "control/control_commands.h"
#include "link/connection.h"

namespace {

constexpr uint32_t kMaxSmbusAddress = 0x7F;

uint8_t flagByte(bool nonVolatile) { return nonVolatile ? 2 : 1; }

/// The +json fields of both verbs: the address, which setting, and whether
/// it leaves the interface on (now, or from the next reboot).
Json addressFields(uint32_t address, bool nonVolatile) {
    return {{"address", address}, {"non_volatile", nonVolatile}, {"enabled", address != 0}};
}

void printRebootHint() {
    out("The microcontroller can be made to reboot by either (a) removing and then\n");
    out("restoring all power including standby power, or (b) entering and exiting Service\n");
    out("Mode.\n");
}

}  // namespace

Result getSmbusAddressVerb(const VerbCall& c) {
    const bool nonVolatile = c.nonVolatile();
    const uint8_t args[2] = {flagByte(nonVolatile), 0x00};
    uint8_t address = 0;
    Result r = ucRequest(c.ctx, c.verbose, kGetSmbusAddress,
                         {.args = args, .argLength = sizeof args, .payload = &address, .payloadLength = 1});
    if (r != kOk) return r;
    jsonDocument(addressFields(address, nonVolatile));
    if (nonVolatile) {
        if (address != 0) {
            out("Nonvolatile SMBUS chip address is 0x%02X.\n", address);
            out("The microcontroller will enable its SMBUS interface when it next reboots.\n");
        } else {
            out("Nonvolatile SMBUS chip address is 0.\n");
            out("The microcontroller will disable its SMBUS interface when it next reboots.\n");
        }
    } else if (address != 0) {
        out("Current SMBUS chip address is 0x%02X.\n", address);
        out("The microcontroller's SMBUS interface is currently enabled.\n");
    } else {
        out("Current SMBUS chip address is 0.\n");
        out("The microcontroller's SMBUS interface is currently disabled.\n");
    }
    return kOk;
}

Result setSmbusAddressVerb(const VerbCall& c) {
    const uint32_t address = c.number("address");
    const bool nonVolatile = c.nonVolatile();
    if (address > kMaxSmbusAddress) {
        out("*** SMBUS chip address be in the range 0 to 127(0x7F).\n");
        return kBadIndexOrCount;
    }
    const uint8_t args[2] = {flagByte(nonVolatile), static_cast<uint8_t>(address)};
    if (Result r = ucRequest(c.ctx, c.verbose, kSetSmbusAddress, {.args = args, .argLength = sizeof args}); r != kOk)
        return r;
    jsonSummaryFields(addressFields(address, nonVolatile));
    if (nonVolatile) {
        if (address != 0) {
            out("The microcontroller's nonvolatile SMBUS chip address has been set to 0x%02X.\n", address);
            out("The microcontroller will enable its SMBUS interface when it next reboots.\n");
        } else {
            out("The microcontroller's nonvolatile SMBUS chip address has been set to 0.\n");
            out("The microcontroller will disable its SMBUS interface when it next reboots.\n");
        }
    } else {
        if (address != 0) {
            out("The microcontroller's volatile SMBUS chip address has been set to 0x%02X.\n", address);
            out("This has enabled the microcontroller's SMBUS interface.\n");
        } else {
            out("The microcontroller's volatile SMBUS chip address has been set to 0.\n");
            out("This has disabled the microcontroller's SMBUS interface.\n");
        }
        out("This condition will persist until the microcontroller next reboots.\n");
    }
    printRebootHint();
    return kOk;
}
