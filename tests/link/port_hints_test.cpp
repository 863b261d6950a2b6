// The hint after a failed port open: one row per situation a user meets.
#include <gtest/gtest.h>

#include "link/port_hints.h"
#include "zorvi.h"

namespace {

TEST(PortHint, PicksTheCauseFromTheFacts) {
    struct Case {
        const char* what;
        uint32_t status;
        PortFacts facts;
        std::string hint;
        const char* reason = "port_busy";
    };
    using F = platform::DeviceFacts;
    // exists, readWrite, group, groupActive, groupListed, holder
    const F freePort{true, true, "dialout", true, true, ""};
    const F notInGroup{true, false, "dialout", false, false, ""};
    const F addedLate{true, false, "dialout", false, true, ""};
    const F groupNoAccess{true, false, "dialout", true, true, ""};
    const F held{true, true, "dialout", true, true, "minicom (pid 42)"};
    const F rootOnly{true, false, "root", false, false, ""};
    const Case cases[] = {
        {"not in the group", ZORVI_ACCESS_DENIED, {"/dev/ttyACM0", notInGroup, false},
         "zorviutil: hint: /dev/ttyACM0 belongs to group 'dialout' and you are not in it: 'sudo usermod -aG dialout "
         "$USER', then log in again (or install the package's udev rule, see zorviutil(1))\n", "port_access_denied"},
        {"added after login", ZORVI_ACCESS_DENIED, {"/dev/ttyACM0", addedLate, false},
         "zorviutil: hint: /dev/ttyACM0 belongs to group 'dialout'; you were added to it after this session started: "
         "log in again (or run 'newgrp dialout')\n", "port_access_denied"},
        {"group without rights", ZORVI_ACCESS_DENIED, {"/dev/ttyACM0", groupNoAccess, false},
         "zorviutil: hint: /dev/ttyACM0 allows its group 'dialout' no reading and writing; the package's udev rule "
         "sets that (see zorviutil(1))\n", "port_access_denied"},
        {"root's own port", ZORVI_ACCESS_DENIED, {"/dev/ttyS0", rootOnly, false},
         "zorviutil: hint: /dev/ttyS0 may be opened by root only; install the package's udev rule (see "
         "zorviutil(1)), which gives the board's port to group 'dialout', or run the tool as root\n",
         "port_access_denied"},
        {"held, holder known", ZORVI_ACCESS_DENIED, {"/dev/ttyACM0", held, false},
         "zorviutil: hint: /dev/ttyACM0 is in use by minicom (pid 42); end that program or close the port there\n"},
        {"held, holder unseen", ZORVI_ACCESS_DENIED, {"/dev/ttyACM0", freePort, false},
         "zorviutil: hint: /dev/ttyACM0 is in use by another program; close it there and try again\n"},
        {"bare name", ZORVI_DEVICE_NOT_FOUND, {"ttyACM0", F{}, true},
         "zorviutil: hint: there is no 'ttyACM0' here, but there is /dev/ttyACM0: give the whole path, e.g. -usbcom "
         "/dev/ttyACM0\n", "port_not_found"},
        {"windows name", ZORVI_DEVICE_NOT_FOUND, {"COM3", F{}, false},
         "zorviutil: hint: COM3 is a Windows port name; here the board's USB port is /dev/ttyACM<n>, best named by "
         "its link in /dev/serial/by-id/\n", "port_not_found"},
        {"missing, nothing to add", ZORVI_DEVICE_NOT_FOUND, {"/dev/ttyACM7", F{}, false}, "", "port_not_found"},
        {"COM alone is no port name", ZORVI_DEVICE_NOT_FOUND, {"COMX", F{}, false}, "", "port_not_found"},
        // Without device files (Windows) a refused port is a held one.
        {"held, no device file", ZORVI_ACCESS_DENIED, {"COM3", F{}, false, false}, ""},
        {"other status", ZORVI_UNEXPECTED_ERROR, {"/dev/ttyACM0", held, false}, "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(choosePortHint(c.status, c.facts), c.hint);
        EXPECT_STREQ(portFailureReason(c.status, c.facts), c.reason);
    }
}

TEST(PortHint, NoBoardOnAnOpenPort) {
    EXPECT_EQ(silentPortHint("/dev/ttyS0"),
              "zorviutil: hint: nothing on /dev/ttyS0 answered as a board; 'zorviutil list-boards' lists the ports "
              "where one answers\n");
}

}  // namespace
