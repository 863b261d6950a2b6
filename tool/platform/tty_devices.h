// The serial devices the system's device database knows of, as plain
// records: which ones are boards is decided by the caller
// (link/board_discovery.h), so that the choice is tested without a device
// database.
#pragma once

#include <string>
#include <vector>

namespace platform {

/// One terminal device as the system lists it.
struct TtyDeviceRecord {
    std::string sysName;   ///< the kernel's name, e.g. "ttyACM0"
    std::string devNode;   ///< the device file, e.g. "/dev/ttyACM0"
    std::string devLinks;  ///< the database's other names for it, blank-separated (udev's DEVLINKS)
    /// The "product" attribute of each ancestor that has one (the USB
    /// device's product name), nearest first.
    std::vector<std::string> products;
};

/// The system's USB serial ports (tty devices) with their records. Returns
/// false when the device database cannot be read at all; an empty list is
/// a success.
bool listTtyDevices(std::vector<TtyDeviceRecord>& records);

}  // namespace platform
