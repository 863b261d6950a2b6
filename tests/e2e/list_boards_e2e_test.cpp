// list-boards against USB serial ports the kernel never had: umockdev's
// testbed holds a fake USB CDC-ACM device tree, its preload library shows
// it to zorviutil as /sys and /dev, and each fake tty leads to a
// simulator's pseudo-terminal (or to the testbed's own, where nobody
// answers).
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "e2e_harness.h"

#ifdef ZORVI_HAVE_UMOCKDEV
#include <umockdev.h>

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
    const std::string iface = usb + "/1-" + std::to_string(n + 1) + ":1.0", tty = "ttyACM" + std::to_string(n);
    const std::string links = port.byId ? "S: " + byIdPath(n).substr(5) + "\nE: DEVLINKS=" + byIdPath(n) + "\n" : "";
    return "P: " + iface + "/tty/" + tty + "\nN: " + tty + "\n" + links + "E: DEVNAME=/dev/" + tty +
           "\nE: SUBSYSTEM=tty\nA: dev=166:" + std::to_string(n) + "\n\nP: " + iface +
           "\nE: DEVTYPE=usb_interface\nE: DRIVER=cdc_acm\nE: SUBSYSTEM=usb\n\nP: " + usb +
           "\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nA: product=" + port.product + "\n\n";
}

/// The testbed hands a node's ioctls (TIOCEXCL) to us: carry them out on the
/// real descriptor, as the kernel's tty would.
gboolean passIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
    int error = 0;
    const int result = umockdev_ioctl_client_execute(client, &error, nullptr);
    umockdev_ioctl_client_complete(client, result, error);
    return TRUE;
}

/// Runs zorviutil in a testbed of `ports`, the PCIe stand-ins pointed at `socket`.
e2e::RunResult runInTestbed(const std::vector<FakePort>& ports, const std::vector<std::string>& args,
                            const std::string& socket) {
    UMockdevTestbed* testbed = umockdev_testbed_new();
    UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
    g_signal_connect(handler, "handle-ioctl", G_CALLBACK(passIoctl), nullptr);
    gchar* root = umockdev_testbed_get_root_dir(testbed);
    bool ready = true;
    for (size_t n = 0; n < ports.size() && ready; ++n) {
        const std::string node = "/dev/ttyACM" + std::to_string(n), link = std::string(root) + node;
        ready = umockdev_testbed_add_from_string(testbed, acmRecord(n, ports[n]).c_str(), nullptr) &&
                umockdev_testbed_attach_ioctl(testbed, node.c_str(), handler, nullptr) &&
                (!ports[n].byId || umockdev_testbed_attach_ioctl(testbed, byIdPath(n).c_str(), handler, nullptr)) &&
                (ports[n].board == nullptr ||
                 (unlink(link.c_str()) == 0 && symlink(ports[n].board->ptyPath().c_str(), link.c_str()) == 0));
    }
    e2e::EnvList env = e2e::loaderEnv();
    env.insert(env.end(), {{"LD_PRELOAD", "libumockdev-preload.so.0"}, {"UMOCKDEV_DIR", root},
                           {"ZORVISIM_PCIE_SOCKET", socket}});
#ifdef ZORVI_E2E_SANITIZED
    // The preload library comes before the sanitizer runtime, which refuses
    // that unless told it may.
    const char* asan = std::getenv("ASAN_OPTIONS");
    env.push_back({"ASAN_OPTIONS", std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0"});
#endif
    e2e::RunExtras extras;
    extras.whileRunning = [](pid_t) {
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
    };
    e2e::RunResult r;
    if (ready)
        r = e2e::runZorviutil(args, "", env, 60000, extras);
    else
        r.err = "the testbed could not be set up";
    g_free(root);
    g_object_unref(handler);
    g_object_unref(testbed);
    return r;
}

}  // namespace

// The Windows tool lists no USB ports, and the testbed needs umockdev.
#define SKIP_WITHOUT_TESTBED()                                                                                  \
    if (!e2e::windowsBinDir().empty()) GTEST_SKIP() << "the Windows tool lists no USB serial ports";          \
    if (access("/usr/bin/umockdev-run", X_OK) != 0)                                                             \
    GTEST_SKIP() << "umockdev is not installed (scripts/install-deps.sh): list-boards' USB device test skipped"
#endif

TEST(ListBoards, FindsTheBoardsOfAFakeUsbTree) {
#ifndef ZORVI_HAVE_UMOCKDEV
    GTEST_SKIP() << "built without libumockdev-dev (scripts/install-deps.sh): list-boards' USB device test skipped";
#else
    SKIP_WITHOUT_TESTBED();
    e2e::SimBoard first, second({"--model", "1323", "--serial", "7"}), modem, card({"--serial", "55"}), service({"--service"});
    ASSERT_TRUE(first.ok() && second.ok() && modem.ok() && card.ok() && service.ok()) << first.error() << card.error();
    const std::string noSocket = first.tempDir() + "/no-socket", board = "ZORVI Keeper2";
    const std::string answer = ": product ID 721, firmware 4.26.0.7, drawing 1353, serial 100001\n";
    struct Case {
        const char* what;
        std::vector<FakePort> ports;
        std::string socket;
        std::string out;
    };
    const Case cases[] = {
        {"no boards", {}, noSocket, "No boards found.\n"},
        {"two boards and a device that is none",
         {{board, true, &first}, {"USB Modem", true, &modem}, {board, false, &second}}, noSocket,
         "-usbcom " + byIdPath(0) + " (/dev/ttyACM0)" + answer +
             "-usbcom /dev/ttyACM2: product ID 721, firmware 4.26.0.7, drawing 1323, serial 7\n"},
        {"a board that does not answer", {{board, false, nullptr}, {board, false, &first}}, noSocket,
         "-usbcom /dev/ttyACM0: error 102 (link_failure): *** Failed to send command to ZORVI uC via USB: "
         "ZORVI_TIMEOUT *** Failed to get ZORVI firmware Product ID.\n-usbcom /dev/ttyACM1" + answer},
        {"a board in service mode", {{board, false, &service}}, noSocket,
         "-usbcom /dev/ttyACM0: product ID 720, service mode, firmware 1.3.0.2, drawing 1353, serial 100001\n"},
        {"the cards of both PCIe libraries", {}, card.socket(),
         "-index 0: product ID 721, firmware 4.26.0.7, drawing 1353, serial 55\n"
         "-quenta 0: product ID 721, firmware 4.26.0.7, drawing 1353, serial 55\n"},
    };
    for (const Case& c : cases) {
        const e2e::RunResult text = runInTestbed(c.ports, {"list-boards"}, c.socket);
        EXPECT_EQ(text.exitCode, 0) << c.what << "\n" << text.err;
        EXPECT_EQ(text.out, c.out) << c.what;
        const e2e::RunResult json = runInTestbed(c.ports, {"+json", "list-boards"}, c.socket);
        const std::string problems = e2e::schemaProblems("list-boards.schema.json", json.out);
        EXPECT_TRUE(problems.empty() || problems.rfind("skip:", 0) == 0) << c.what << "\n" << problems << json.out;
    }
    EXPECT_EQ(modem.requests(), std::vector<std::string>{}) << "the device that is no board was opened";
#endif
}

// One run for every board of the host: a file per serial; a board that
// cannot be read rewrites the file of its link; a board that is gone is
// zorvi_up 0 for one run, and its file is removed by the next.
TEST(ListBoards, MetricsOfEveryBoardEachToItsFile) {
#ifndef ZORVI_HAVE_UMOCKDEV
    GTEST_SKIP() << "built without libumockdev-dev (scripts/install-deps.sh): list-boards' USB device test skipped";
#else
    SKIP_WITHOUT_TESTBED();
    e2e::SimBoard first, second({"--serial", "7"});
    ASSERT_TRUE(first.ok() && second.ok()) << first.error() << second.error();
    const std::string folder = e2e::makeTempDir("zorvi-metrics-all"), noSocket = first.tempDir() + "/no-socket";
    ASSERT_FALSE(folder.empty());
    const std::string board = "ZORVI Keeper2", link0 = "-usbcom " + byIdPath(0);
    const auto file = [&](const char* name) {
        std::string text;
        return e2e::readFile(folder + "/" + name, text) ? text : std::string("(none)");
    };
    const struct {
        const char* what;
        std::vector<FakePort> ports;
        std::string out;
        std::vector<std::pair<const char*, std::string>> lines;  ///< a file, a line it holds ("" : no file)
        std::function<void()> before = [] {};
        int exitCode = 0;
    } runs[] = {
        {"two boards", {{board, true, &first}, {board, false, &second}},
         link0 + ": zorvi-100001.prom\n-usbcom /dev/ttyACM1: zorvi-7.prom\n",
         {{"zorvi-100001.prom", "zorvi_up{board=\"100001\"} 1\n"}, {"zorvi-7.prom", "zorvi_up{board=\"7\"} 1\n"}}},
        {"the second one gone, the first silent", {{board, true, nullptr}},
         link0 + ": zorvi-100001.prom, zorvi_up 0 (link_failure)\nzorvi-7.prom: zorvi_up 0 (gone)\n",
         {{"zorvi-100001.prom", "zorvi_scrape_error{board=\"100001\",reason=\"no_board_reply\"} 1\n"},
          {"zorvi-7.prom", "zorvi_scrape_error{board=\"7\",reason=\"gone\"} 1\n"}}},
        {"still gone", {{board, true, &first}}, link0 + ": zorvi-100001.prom\nzorvi-7.prom: removed, its board is gone\n",
         {{"zorvi-100001.prom", "zorvi_up{board=\"100001\"} 1\n"}, {"zorvi-7.prom", ""}}},
        {"the board's file made a link to a device", {{board, true, &first}},
         "*** Metrics file '" + folder + "/zorvi-100001.prom' links to '/dev/null', which is a device; metrics are "
         "written only to a regular file or a new name.\n" + link0 + ": zorvi-100001.prom\n",
         {},
         [&] {
             std::filesystem::remove(folder + "/zorvi-100001.prom");
             std::filesystem::create_symlink("/dev/null", folder + "/zorvi-100001.prom");
         },
         45},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.what);
        run.before();
        const e2e::RunResult r = runInTestbed(run.ports, {"write-metrics-all", folder}, noSocket);
        EXPECT_EQ(r.exitCode, run.exitCode) << r.err;
        EXPECT_EQ(r.out, run.out);
        for (const auto& [name, line] : run.lines) {
            if (line.empty()) {
                EXPECT_EQ(file(name), "(none)");
            } else {
                EXPECT_NE(file(name).find(line), std::string::npos) << file(name);
            }
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
#endif
}

// The Windows tool asks the COM ports Windows lists. Wine's mount manager
// registers the ports of a prefix's Ports key in SERIALCOMM as a serial
// driver would, each a dosdevices link to a terminal here: a terminal where
// nobody answers and a simulated board past COM9. The host's own serial
// ports Wine adds too are taken out of the list, so that no run writes to
// them.
TEST(ListBoards, ComPortsOfAWindowsHost) {
    if (e2e::windowsBinDir().empty()) GTEST_SKIP() << "only the Windows tool lists COM ports";
    e2e::SimBoard board({"--serial", "7"});
    ASSERT_TRUE(board.ok()) << board.error();
    int silentMaster = -1, silentSlave = -1;
    char silent[128] = {};
    ASSERT_EQ(openpty(&silentMaster, &silentSlave, silent, nullptr, nullptr), 0);
    const std::string prefix = board.tempDir() + "/wineprefix", regFile = board.tempDir() + "/ports.reg";
    const std::vector<std::pair<std::string, std::string>> ports = {{"COM4", silent}, {"COM12", board.ptyPath()}};
    std::string reg = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n";
    for (const auto& [name, path] : ports) reg += "\"" + name + "\"=\"" + path + "\"\n";
    ASSERT_TRUE(e2e::writeFile(regFile, reg));
    const e2e::EnvList env = {{"WINEPREFIX", prefix}};
    const std::string wine = e2e::wineProgram();
    // Wine's server and services outlive the commands: their output goes nowhere.
    const auto quietly = [&](const std::string& commands) {
        return e2e::runProgram("/bin/sh", {"-c", "exec </dev/null >/dev/null 2>&1; " + commands}, "", env, 120000);
    };
    const std::string serialComm = "HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
    // The first start makes the prefix; the mount manager reads the ports at
    // the next, under a server that stays until the test ends.
    const e2e::RunResult imported = e2e::runProgram(wine, {"reg", "import", e2e::toolPortName(regFile)}, "", env, 300000);
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    quietly("wineserver -k; wineserver -w; wineserver -p; wineboot");
    const e2e::RunResult listed = e2e::runProgram(wine, {"reg", "query", serialComm}, "", env, 120000);
    size_t registered = 0;
    for (std::string line : e2e::splitLines(listed.out)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t type = line.find("    REG_SZ    ");
        if (type == std::string::npos) continue;
        const std::string value = line.substr(line.find_first_not_of(' ')), com = line.substr(type + 14);
        if (std::any_of(ports.begin(), ports.end(), [&](const auto& port) { return port.first == com; })) {
            ++registered;
        } else {
            e2e::runProgram(wine, {"reg", "delete", serialComm, "/v", value.substr(0, value.find("    ")), "/f"}, "",
                            env, 120000);
        }
    }
    EXPECT_EQ(registered, ports.size()) << listed.out;
    const std::string answer = ": product ID 721, firmware 4.26.0.7, drawing 1353, serial ";
    const struct {
        std::vector<std::string> args;
        std::string out;
        std::string err;
    } runs[] = {
        {{"list-boards"}, "-usbcom COM12" + answer + "7\n",
         "zorviutil: COM4 is not listed: no board answered there (error 102, link_failure)\n"},
        {{"list-boards", "noprobe"}, "-usbcom COM4\n-usbcom COM12\n", ""},
    };
    for (const auto& run : runs) {
        const e2e::RunResult r = e2e::runZorviutil(run.args, "", env, 120000);
        EXPECT_EQ(r.exitCode, 0) << run.args.back() << "\n" << r.err;
        EXPECT_EQ(r.out, run.out) << run.args.back();
        EXPECT_NE(r.err.find(run.err), std::string::npos) << r.err;
    }
    quietly("wineserver -k");
    close(silentMaster);
    close(silentSlave);
    std::error_code ec;
    std::filesystem::remove_all(prefix, ec);
}
