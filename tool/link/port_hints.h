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
};

/// The hint line for a failed open (with its line end), or empty when there
/// is nothing to add.
std::string choosePortHint(uint32_t status, const PortFacts& facts);

/// The hint line for a port that opened but gave no product ID: a serial
/// port of something else, or of no device at all.
std::string silentPortHint(const std::string& port);

/// Looks the port up and prints its hint, if any, on standard error.
void reportPortHint(const std::string& port, uint32_t status);
