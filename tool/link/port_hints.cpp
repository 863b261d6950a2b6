#include "link/port_hints.h"

#include <strings.h>

#include "base/out.h"
#include "zorvi.h"

namespace {

bool isWindowsPortName(const std::string& name) {
    if (name.size() < 4 || strncasecmp(name.c_str(), "COM", 3) != 0) return false;
    return name.find_first_not_of("0123456789", 3) == std::string::npos;
}

}  // namespace

std::string choosePortHint(uint32_t status, const PortFacts& f) {
    const std::string& name = f.name;
    const platform::DeviceFacts& d = f.device;
    if (status == ZORVI_DEVICE_NOT_FOUND && !d.exists) {
        if (f.devNameExists)
            return "zorviutil: hint: there is no '" + name + "' here, but there is /dev/" + name +
                   ": give the whole path, e.g. -usbcom /dev/" + name + "\n";
        if (isWindowsPortName(name))
            return "zorviutil: hint: " + name +
                   " is a Windows port name; here the board's USB port is /dev/ttyACM<n>, best named by its "
                   "link in /dev/serial/by-id/\n";
        return "";
    }
    if (status != ZORVI_ACCESS_DENIED || !d.exists) return "";
    if (!d.readWrite && !d.group.empty()) {
        if (d.groupListed && !d.groupActive)
            return "zorviutil: hint: " + name + " belongs to group '" + d.group +
                   "'; you were added to it after this session started: log in again (or run 'newgrp " + d.group +
                   "')\n";
        // Joining root would give the user every root-group file on the
        // system; the udev rule gives the board's port a group of its own.
        if (!d.groupActive && d.group == "root")
            return "zorviutil: hint: " + name +
                   " may be opened by root only; install the package's udev rule (see zorviutil(1)), which gives "
                   "the board's port to group 'dialout', or run the tool as root\n";
        if (!d.groupActive)
            return "zorviutil: hint: " + name + " belongs to group '" + d.group +
                   "' and you are not in it: 'sudo usermod -aG " + d.group +
                   " $USER', then log in again (or install the package's udev rule, see zorviutil(1))\n";
        return "zorviutil: hint: " + name + " allows its group '" + d.group +
               "' no reading and writing; the package's udev rule sets that (see zorviutil(1))\n";
    }
    if (!d.readWrite) return "zorviutil: hint: you may not read and write " + name + "\n";
    if (!d.holder.empty())
        return "zorviutil: hint: " + name + " is in use by " + d.holder + "; end that program or close the port there\n";
    return "zorviutil: hint: " + name + " is in use by another program; close it there and try again\n";
}

std::string silentPortHint(const std::string& port) {
    return "zorviutil: hint: nothing on " + port +
           " answered as a board; 'zorviutil list-boards' lists the ports where one answers\n";
}

const char* portFailureReason(uint32_t status, const PortFacts& f) {
    if (status == ZORVI_DEVICE_NOT_FOUND) return "port_not_found";
    if (status != ZORVI_ACCESS_DENIED) return nullptr;
    // Without a device file to look at (Windows), a serial port opens for
    // one program at a time and a held one is what refuses access.
    if (!f.deviceFiles) return kPortBusy;
    return f.device.exists && f.device.readWrite ? kPortBusy : "port_access_denied";
}

PortFacts lookUpPort(const std::string& port) {
    PortFacts facts;
    facts.name = port;
    facts.deviceFiles = platform::kPortsAreDeviceFiles;
    if (!facts.deviceFiles) return facts;
    facts.device = platform::describeDevice(port);
    facts.devNameExists = !port.empty() && port[0] != '/' && platform::fileExists("/dev/" + port);
    return facts;
}

void reportPortHint(uint32_t status, const PortFacts& facts) {
    // The hints explain device files; where ports have no file to look at
    // the failure line stands alone.
    if (!facts.deviceFiles) return;
    const std::string text = choosePortHint(status, facts);
    if (!text.empty()) hint("%s", text.c_str());
}
