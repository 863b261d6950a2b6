// The hint after a serial port failed to open: the library's status alone
// does not tell a port held by another program from one this user may not
// open, nor a mistyped name from a missing device. The hint goes to standard
// error; the failure line itself stays as it is.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

/// What is known about the port that failed to open.
struct PortFacts {
    std::string name;              ///< the port as given on the command line
    platform::DeviceFacts device;  ///< about the name itself
    bool devNameExists = false;    ///< for a relative name: whether /dev/<name> exists
    bool deviceFiles = true;       ///< false: ports have no file to look at (Windows)
};

/// The hint line for a failed open (with its line end), or empty when there
/// is nothing to add.
std::string choosePortHint(uint32_t status, const PortFacts& facts);

/// The hint line for a port that opened but gave no product ID: a serial
/// port of something else, or of no device at all.
std::string silentPortHint(const std::string& port);

/// Why the port did not open, as programs read it (the +json error
/// document's "reason"): "port_busy" (another program holds it),
/// "port_access_denied", "port_not_found", or null for any other status.
const char* portFailureReason(uint32_t status, const PortFacts& facts);
inline constexpr const char* kPortBusy = "port_busy";

/// What is known about a port, looked up where ports are device files.
PortFacts lookUpPort(const std::string& port);

/// Prints the hint for a failed open, if any, on standard error.
void reportPortHint(uint32_t status, const PortFacts& facts);
