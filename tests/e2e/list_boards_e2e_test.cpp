// list-boards against USB serial ports the kernel never had: umockdev's
// testbed holds a fake USB CDC-ACM device tree (sysfs and udev properties),
// its preload library shows it to zorviutil as /sys and /dev, and each
// fake tty leads to a simulator's pseudo-terminal (or to the testbed's own,
// where nobody answers).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "e2e_harness.h"

#ifdef ZORVI_HAVE_UMOCKDEV
#include <umockdev.h>
#endif

namespace {

/// One fake ttyACM<n>: its USB product name, whether udev gave it a by-id
/// link, and the simulator behind it (null: nobody answers).
struct FakePort {
    std::string product;
    bool byId;
    const e2e::SimBoard* board;
};

std::string byIdPath(size_t n) { return "/dev/serial/by-id/usb-ZORVI_Keeper2_" + std::to_string(n) + "-if00"; }

/// The umockdev record of a USB device, its CDC-ACM interface and its tty.
std::string acmRecord(size_t n, const FakePort& port) {
    const std::string usb = "/devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(n + 1);
    const std::string iface = usb + "/1-" + std::to_string(n + 1) + ":1.0";
    const std::string tty = "ttyACM" + std::to_string(n);
    std::string r = "P: " + iface + "/tty/" + tty + "\nN: " + tty + "\n";
    if (port.byId) r += "S: " + byIdPath(n).substr(5) + "\nE: DEVLINKS=" + byIdPath(n) + "\n";
    r += "E: DEVNAME=/dev/" + tty + "\nE: MAJOR=166\nE: MINOR=" + std::to_string(n) +
         "\nE: SUBSYSTEM=tty\nA: dev=166:" + std::to_string(n) + "\n\n";
    r += "P: " + iface + "\nE: DEVTYPE=usb_interface\nE: DRIVER=cdc_acm\nE: SUBSYSTEM=usb\nA: bInterfaceClass=02\n\n";
    r += "P: " + usb + "\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nA: idVendor=1d50\nA: idProduct=6018\nA: product=" +
         port.product + "\n\n";
    return r;
}

#ifdef ZORVI_HAVE_UMOCKDEV
/// TIOCEXCL and the like go to the testbed instead of the tty: carry them
/// out on the real descriptor, as the kernel's tty would.
gboolean passIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
    int error = 0;
    const int result = umockdev_ioctl_client_execute(client, &error, nullptr);
    umockdev_ioctl_client_complete(client, result, error);
    return TRUE;
}

/// Runs zorviutil in a testbed of `ports` (PCIe stand-ins pointed at `socket`).
e2e::RunResult runInTestbed(const std::vector<FakePort>& ports, const std::vector<std::string>& args,
                            const std::string& socket) {
    UMockdevTestbed* testbed = umockdev_testbed_new();
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(passIoctl), nullptr);
    gchar* root = umockdev_testbed_get_root_dir(testbed);
    std::string failure;
    for (size_t n = 0; n < ports.size() && failure.empty(); ++n) {
        GError* error = nullptr;
        const std::string node = "/dev/ttyACM" + std::to_string(n);
        if (!umockdev_testbed_add_from_string(testbed, acmRecord(n, ports[n]).c_str(), &error) ||
            !umockdev_testbed_attach_ioctl(testbed, node.c_str(), handler, &error) ||
            (ports[n].byId && !umockdev_testbed_attach_ioctl(testbed, byIdPath(n).c_str(), handler, &error))) {
            failure = error != nullptr ? error->message : "testbed refused the record";
            g_clear_error(&error);
        } else if (ports[n].board != nullptr) {
            // The testbed's node leads to the simulator's pseudo-terminal.
            const std::string link = std::string(root) + node;
            if (unlink(link.c_str()) != 0 || symlink(ports[n].board->ptyPath().c_str(), link.c_str()) != 0)
                failure = "cannot point " + link + " at the simulator";
        }
    }
    e2e::RunResult r;
    if (failure.empty()) {
        e2e::EnvList env = e2e::loaderEnv();
        env.push_back({"LD_PRELOAD", "libumockdev-preload.so.0"});
#ifdef ZORVI_E2E_SANITIZED
        // The preload library comes before the sanitizer runtime, which
        // refuses that unless told it may.
        const char* asan = std::getenv("ASAN_OPTIONS");
        env.push_back({"ASAN_OPTIONS", std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0"});
#endif
        env.push_back({"UMOCKDEV_DIR", root});
        env.push_back({"ZORVISIM_PCIE_SOCKET", socket});
        e2e::RunExtras extras;
        extras.whileRunning = [](pid_t) {
            while (g_main_context_iteration(nullptr, FALSE)) {
            }
        };
        r = e2e::runZorviutil(args, "", env, 60000, extras);
    } else {
        r.err = failure;
    }
    g_free(root);
    g_object_unref(handler);
    g_object_unref(testbed);
    return r;
}
#endif

TEST(ListBoards, FindsTheBoardsOfAFakeUsbTree) {
#ifndef ZORVI_HAVE_UMOCKDEV
    GTEST_SKIP() << "built without libumockdev-dev: list-boards' USB device tests skipped";
#else
    if (!e2e::windowsBinDir().empty()) GTEST_SKIP() << "the Windows tool lists no USB serial ports";
    if (access("/usr/bin/umockdev-run", X_OK) != 0)
        GTEST_SKIP() << "umockdev is not installed (scripts/install-deps.sh): list-boards' USB device tests skipped";
    e2e::SimBoard first;
    e2e::SimBoard second({"--model", "1323", "--serial", "7"});
    e2e::SimBoard card({"--serial", "55"});
    ASSERT_TRUE(first.ok() && second.ok() && card.ok()) << first.error() << second.error() << card.error();
    const std::string noSocket = first.tempDir() + "/no-socket";
    const std::string answer = ": product ID 721, firmware 4.26.0.7, drawing 1353, serial 100001\n";
    struct Case {
        const char* what;
        std::vector<FakePort> ports;
        std::string socket;
        std::string out;
        const e2e::SimBoard* neverAsked = nullptr;  ///< behind a device that is no board
    };
    const Case cases[] = {
        {"no boards", {}, noSocket, "No boards found.\n"},
        {"two boards",
         {{"ZORVI Keeper2", true, &first}, {"ZORVI Keeper2", false, &second}},
         noSocket,
         "-usbcom " + byIdPath(0) + " (/dev/ttyACM0)" + answer +
             "-usbcom /dev/ttyACM1: product ID 721, firmware 4.26.0.7, drawing 1323, serial 7\n"},
        {"a board that does not answer",
         {{"ZORVI Keeper2", false, nullptr}, {"ZORVI Keeper2", false, &first}},
         noSocket,
         "-usbcom /dev/ttyACM0: error 102 (link_failure): *** Failed to send command to ZORVI uC via USB: "
         "ZORVI_TIMEOUT *** Failed to get ZORVI firmware Product ID.\n"
         "-usbcom /dev/ttyACM1" + answer},
        {"another ACM device", {{"USB Modem", true, &second}, {"ZORVI Keeper2", false, &first}}, noSocket,
         "-usbcom /dev/ttyACM1" + answer, &second},
        {"PCIe cards of both libraries", {}, card.socket(),
         "-index 0: product ID 721, firmware 4.26.0.7, drawing 1353, serial 55\n"
         "-quenta 0: product ID 721, firmware 4.26.0.7, drawing 1353, serial 55\n"},
    };
    for (const Case& c : cases) {
        second.clearRequests();
        const e2e::RunResult text = runInTestbed(c.ports, {"list-boards"}, c.socket);
        EXPECT_EQ(text.exitCode, 0) << c.what << "\n" << text.err;
        EXPECT_EQ(text.out, c.out) << c.what;
        const e2e::RunResult json = runInTestbed(c.ports, {"+json", "list-boards"}, c.socket);
        const std::string problems = e2e::schemaProblems("list-boards.schema.json", json.out);
        EXPECT_TRUE(problems.empty() || problems.rfind("skip:", 0) == 0) << c.what << "\n" << problems << json.out;
        size_t objects = 0, lines = 0;
        for (size_t at = json.out.find("\"link\""); at != std::string::npos; at = json.out.find("\"link\"", at + 1))
            ++objects;
        for (const std::string& line : e2e::splitLines(c.out)) lines += line.rfind("-", 0) == 0 ? 1 : 0;
        EXPECT_EQ(objects, lines) << c.what;
        if (c.neverAsked != nullptr) {
            EXPECT_EQ(c.neverAsked->requests(), std::vector<std::string>{}) << c.what;
        }
    }
#endif
}

}  // namespace
