// i2c-scan: which 7-bit addresses of a bus answer, as the address grid
// people know from bus scanners. Each address gets one transaction that
// reads one byte and writes nothing (the write-read request with no bytes
// to write): a device that does not acknowledge its address fails it with
// the not-acknowledged status, "--" in the grid. A read can change a
// device's state (a FIFO, a status register cleared on reading), so the
// verb runs only with +confirm.
#include <cstdio>
#include <string>
#include <vector>

#include "base/json_out.h"
#include "base/out.h"
#include "base/verb_row.h"
#include "control/control_commands.h"
#include "link/connection.h"
#include "link/service_refusal.h"

namespace {

// The addresses below 0x03 and above 0x77 are reserved by the bus (general
// call, start byte, 10-bit addressing), as scanners leave them out.
constexpr uint8_t kFirstAddress = 0x03;
constexpr uint8_t kLastAddress = 0x77;
constexpr uint8_t kNotAcknowledged = 2;

std::string i2cScanGrid(const std::vector<uint8_t>& answered) {
    std::string grid = "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f\n";
    char cell[8];
    for (unsigned row = 0; row <= kLastAddress; row += 16) {
        std::snprintf(cell, sizeof cell, "%02x:", row);
        grid += cell;
        for (unsigned a = row; a < row + 16 && a <= kLastAddress; ++a) {
            bool found = false;
            for (uint8_t x : answered) found = found || x == a;
            if (a < kFirstAddress)
                grid += "   ";
            else if (found) {
                std::snprintf(cell, sizeof cell, " %02x", a);
                grid += cell;
            } else {
                grid += " --";
            }
        }
        grid += "\n";
    }
    return grid;
}

}  // namespace

Result i2cScanVerb(const VerbCall& c) {
    const uint32_t bus = c.number("bus");
    if (bus > 255) {
        out("*** I2C bus number be in the range 0 to 255.\n");
        return kBadI2cBus;
    }
    if (!c.confirm) {
        out("*** 'i2c-scan' reads one byte at every address of the bus, which changes the state of some devices; "
            "give +confirm before the verb to scan.\n");
        return kNotConfirmed;
    }
    if (refuseInServiceMode(c.ctx, "i2c-scan")) return kRefusedInServiceMode;
    std::vector<uint8_t> answered;
    for (uint32_t address = kFirstAddress; address <= kLastAddress; ++address) {
        const uint8_t args[4] = {static_cast<uint8_t>(bus), static_cast<uint8_t>(address), 0, 1};
        uint8_t reply[3] = {};  // status, bytes on the bus, the byte read
        if (Result r = ucRequest(c.ctx, c.verbose, kI2cProbe,
                                 {.args = args, .argLength = sizeof args, .payload = reply, .payloadLength = 3});
            r != kOk)
            return r;
        if (reply[0] == 0) {
            answered.push_back(static_cast<uint8_t>(address));
        } else if (reply[0] != kNotAcknowledged) {
            out("*** ZORVI returned status 0x%02X for I2C address 0x%02X of bus %u; scan stopped.\n", reply[0],
                address, bus);
            return kUnexpectedStatus;
        }
    }
    jsonDocument({{"bus", bus}, {"addresses", answered}});
    out("%s", i2cScanGrid(answered).c_str());
    return kOk;
}
