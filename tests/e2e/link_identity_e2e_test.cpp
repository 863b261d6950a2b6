// End-to-end: the four links and the identity verbs, through the real
// zorviutil, the real link libraries and the simulated board. What only the
// real path shows: framing on a real terminal, time-outs, line faults,
// library loading, process exit codes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <thread>

#include "e2e_harness.h"

namespace {

using e2e::RunResult;
using e2e::SimBoard;
using Lines = std::vector<std::string>;

const char* const kVersionLine = "ZORVI Keeper2 version is 4.26.0.7\n";
const char* const kTimeoutUsb = "*** Failed to send command to ZORVI uC via USB: ZORVI_TIMEOUT\n";

#define ASSERT_BOARD(board) ASSERT_TRUE((board).ok()) << (board).error()

// The Loopback32 request of one comm-test iteration as a log line.
std::string loopbackRequest(unsigned seed) {
    std::string line = "03 84";
    char hex[4];
    for (unsigned j = 0; j < 32; ++j) {
        std::snprintf(hex, sizeof hex, " %02X", (seed + j) % 256);
        line += hex;
    }
    return line;
}

// One run a row: its exact standard output, exit code and the requests the
// board received. A run of consecutive rows with the same simulator
// arguments shares one board, in order, so a row sees what the rows before
// it left there.
TEST(E2eLink, OneRunPerRow) {
    const Lines version = {"03 86", "03 83"};
    const struct {
        const char* what;
        Lines simArgs;
        Lines args;
        std::string out;
        int exitCode;
        Lines requests;
    } rows[] = {
        {"usb version", {}, {"-usbcom", "{port}", "version"}, kVersionLine, 0, version},
        // The port opens and closes again and again.
        {"again 1", {}, {"-usbcom", "{port}", "version"}, kVersionLine, 0, version},
        {"again 2", {}, {"-usbcom", "{port}", "version"}, kVersionLine, 0, version},
        {"again 3", {}, {"-usbcom", "{port}", "version"}, kVersionLine, 0, version},
        // Opening reads the product ID and the VPD's drawing number; then the
        // verb's own read.
        {"ps uart", {}, {"-psuart", "{port},171428", "product-id"}, "ZORVI firmware Product ID is 721(0x2D1)\n", 0,
         {"03 86", "05 8C", "03 86"}},
        {"quenta raw", {}, {"-quenta", "0", "raw", "6", "0x03", "0x86"},
         "Expected/actual response length = 6 / 6\n03 06 D1 02 00 00 \n", 0, {"03 86", "03 86"}},
        // test-timeout succeeds exactly when the link reports a failure; every
        // link names its own library's time-out status.
        {"usb test-timeout", {}, {"-usbcom", "{port}", "-timeout", "150", "test-timeout"}, kTimeoutUsb, 0,
         {"03 86", "FF 81"}},
        {"tobra test-timeout", {}, {"-index", "0", "-timeout", "150", "test-timeout"},
         "*** Failed to send command to ZORVI uC: TOBRA_TIMEOUT\n", 0, {"03 86", "FF 81"}},
        {"quenta test-timeout", {}, {"-quenta", "0", "-timeout", "150", "test-timeout"},
         "*** Failed to send command to uC: QUENTA_TIMEOUT\n", 0, {"03 86", "FF 81"}},
        // A command the uC does not know: the status form with 0xFF, or with
        // --silent-unknown no reply at all, which the link reports as a
        // time-out.
        {"unknown answered", {}, {"-usbcom", "{port}", "-timeout", "20000", "raw", "3", "0x05", "0x9F"},
         "Expected/actual response length = 3 / 3\n05 1F FF \n", 0, {"03 86", "05 9F"}},
        {"unknown ignored", {"--silent-unknown"}, {"-usbcom", "{port}", "-timeout", "150", "raw", "3", "0x05", "0x9F"},
         kTimeoutUsb, 102, {"03 86", "05 9F"}},
        {"service firmware", {"--service"}, {"-usbcom", "{port}", "version"}, "ZORVI Ignis2 version is 1.3.0.2\n", 0,
         version},
        // The opener reads the VPD copy from flash and prints its progress
        // line (page 255).
        {"ps uart in service mode", {"--service", "--product-ids", "xdma"}, {"-psuart", "{port}", "product-id"},
         "Reading Application Flash page @ 0x1FE00...\nZORVI firmware Product ID is 184320(0x2D000)\n", 0,
         {"03 86", "06 80 09 FF 00", "03 86"}},
        {"tobra card of another type", {"--card-type", "0x120"}, {"-index", "0", "version"},
         "*** TOBRA Driver connection can be used only with the following models:\n"
         "\n"
         "  o CARD-A30\n"
         "  o CARD-A31\n"
         "  o CARD-A07\n"
         "  o CARD-A08(-FH) / CARD-A10\n"
         "  o CARD-A32\n"
         "  o CARD-A33\n",
         9, {}},
        // The card's serial number is no uC request: nothing reached the uC.
        {"tobra other serial", {"--card-serial", "4242"}, {"-index", "0", "-sn", "4243", "version"},
         "*** Failed to open card: TOBRA_DEVICE_NOT_FOUND\n", 100, {}},
        {"tobra its serial", {"--card-serial", "4242"}, {"-index", "0", "-sn", "4242", "version"}, kVersionLine, 0,
         version},
        {"quenta without socket", {"--no-pcie"}, {"-quenta", "0", "version"},
         "*** Failed to open device: QUENTA_BAD_DRIVER\n", 100, {}},
        {"unknown product id", {"--product-id", "1234"}, {"-usbcom", "{port}", "version"},
         "*** ZORVI firmware Product ID 1234(0x4D2) not recognized. Aborting as a precaution against firmware "
         "corruption.\n",
         14, {"03 86"}},
        // A late reply: within a time-out far beyond the delay, however busy
        // the machine; beyond a short one. The late answer is still on the
        // line when the next run opens: it is not taken for a new reply.
        {"late within", {"--fault", "late@03.83=400"}, {"-usbcom", "{port}", "-timeout", "20000", "version"},
         kVersionLine, 0, version},
        {"late beyond", {"--fault", "late@03.83=400"}, {"-usbcom", "{port}", "-timeout", "100", "version"},
         kTimeoutUsb, 102, version},
        {"late answer left", {"--fault", "late@03.83=400"}, {"-usbcom", "{port}", "product-id"},
         "ZORVI firmware Product ID is 721(0x2D1)\n", 0, {"03 86", "03 86"}},
        // The serial decoder sees through line noise and a restarted frame;
        // an oversize reply is cut and warned; a one-byte reply is too short;
        // no reply to the product ID fails the open (-timeout applies after
        // the open: that read waits its 1 s); a status from the board.
        {"noise", {"--fault", "noise@2=24"}, {"-usbcom", "{port}", "version"}, kVersionLine, 0, version},
        {"restart", {"--fault", "restart@2"}, {"-usbcom", "{port}", "version"}, kVersionLine, 0, version},
        {"noise everywhere", {"--fault", "noise@all=3"}, {"-usbcom", "{port}", "version"}, kVersionLine, 0, version},
        {"oversize", {"--fault", "oversize@2=5"}, {"-usbcom", "{port}", "+verbose", "version"},
         "DEBUG: ZORVI command[2] = { 03 86 }\n"
         "DEBUG: ZORVI response[6] = { 03 06 D1 02 00 00 }\n"
         "Current microcontroller mode: Normal Mode\n"
         "DEBUG: ZORVI command[2] = { 03 83 }\n"
         "DEBUG: ZORVI response[10] = { 03 03 04 00 1A 00 00 00 07 00 }\n"
         "DEBUG: 5 extra unexpected characters of actual ZORVI response were discarded.\n"
         "+++ Unexpected ZORVI response length 15 bytes; expected 10 bytes.\n"
         "ZORVI Keeper2 version is 4.26.0.7\n",
         0, version},
        {"short", {"--fault", "short@2"}, {"-usbcom", "{port}", "version"},
         "+++ Unexpected ZORVI response length 1 bytes; expected 10 bytes.\n"
         "+++ ZORVI response too short to be valid.\n",
         104, version},
        {"no reply", {"--fault", "no-reply@1"}, {"-usbcom", "{port}", "-timeout", "100", "version"},
         "*** Failed to send command to ZORVI uC via USB: ZORVI_TIMEOUT\n"
         "*** Failed to get ZORVI firmware Product ID.\n",
         102, {"03 86"}},
        {"status", {"--fault", "status@05.86=0x05"}, {"-usbcom", "{port}", "test-clobber"},
         "*** ZORVI returned status 0x05 => ** UNEXPECTED ERROR CODE **\n", 103, {"03 86", "05 86"}},
        // A wrong reply code: the serial library's decoder drops the frame and
        // waits for the right one until the time-out; the PCIe libraries carry
        // the bytes as they are and the exchange only warns.
        {"wrong code usb", {"--fault", "wrong-code@03.83"}, {"-usbcom", "{port}", "-timeout", "200", "version"},
         kTimeoutUsb, 102, version},
        {"wrong code quenta", {"--fault", "wrong-code@03.83"}, {"-quenta", "0", "version"},
         "+++ Unexpected ZORVI response code { 0x03, 0x04 }; expected { 0x03, 0x03 }.\n"
         "ZORVI Keeper2 version is 4.26.0.7\n",
         0, version},
        // Service mode entered over the PS UART sticks for the next run.
        {"enter over ps uart", {}, {"-psuart", "{port}", "enter-service-mode"}, "Entering service mode: OK\n", 0,
         {"03 86", "05 8C", "03 80", "03 86"}},
        {"next run in service mode", {}, {"-usbcom", "{port}", "version"}, "ZORVI Ignis2 version is 1.3.0.2\n", 0,
         version},
        // A refused switch is not confirmed by another product-ID read.
        {"switch refused", {"--refuse-switch", "0x09"}, {"-psuart", "{port}", "enter-service-mode"},
         "Entering service mode: *** ZORVI returned status 0x09 for Enter Service Mode command\n", 102,
         {"03 86", "05 8C", "03 80"}},
        {"switch without effect", {"--switch-no-effect"}, {"-psuart", "{port}", "enter-service-mode"},
         "Entering service mode: *** uC did not enter Service Mode as requested.\n", 12,
         {"03 86", "05 8C", "03 80", "03 86"}},
    };
    std::unique_ptr<SimBoard> board;
    const Lines* boardArgs = nullptr;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (board == nullptr || *boardArgs != row.simArgs) {
            board = std::make_unique<SimBoard>(row.simArgs);
            boardArgs = &row.simArgs;
            ASSERT_BOARD(*board);
        }
        board->clearRequests();
        const RunResult r = board->run(row.args);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.exitCode, row.exitCode);
        EXPECT_EQ(board->requests(), row.requests);
    }
}

TEST(E2eLink, TobraCardCommTestEchoesLoopbackData) {
    SimBoard board;
    ASSERT_BOARD(board);
    RunResult r = board.run({"-index", "0", "comm-test"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(std::regex_match(r.out, std::regex("Measuring data rate for 2000 ms using Loopback32 command...\n"
                                                   "Link sent / received rate = ([0-9]+\\.[0-9]) / \\1 B/s\n"
                                                   "Payload sent / received rate = ([0-9]+\\.[0-9]) / \\2 B/s\n")))
        << r.out;
    Lines rq = board.requests();
    ASSERT_GE(rq.size(), 3u);
    EXPECT_EQ(rq[0], "03 86");
    // Seed 1: data bytes 0x01..0x20; the next iteration starts at 0x02.
    EXPECT_EQ(rq[1],
              "03 84 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F 20");
    // Every later iteration too: seed n carries (n + j) mod 256, the seed
    // running 1 to 255 and never 0.
    unsigned seed = 1;
    for (size_t i = 1; i < rq.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rq[i], loopbackRequest(seed));
        seed = seed == 255 ? 1 : seed + 1;
    }
}

TEST(E2eLink, FailingPageWriteLeavesTheSavedFlashAlone) {
    SimBoard board({"--page-write-fail", "255=0x21"});
    ASSERT_BOARD(board);
    std::string before;
    ASSERT_TRUE(e2e::readFile(board.stateDir() + "/appflash.bin", before));
    ASSERT_EQ(before.size(), 131072u);
    const std::string image = board.tempDir() + "/vpd8.bin";
    ASSERT_TRUE(e2e::writeFile(image, "ABCDEFGH"));
    RunResult r = board.run({"-psuart", "{port}", "update-vpd", image});
    // The update enters service mode by itself and fails at the page write;
    // no verification follows. A page write was attempted, so the flash
    // may be half written and the uC is left in service mode for a retry.
    EXPECT_EQ(r.out, "VPD file '" + image +
                         "' length is 8(0x8) byte(s).\n"
                         "Entering service mode: OK\n"
                         "Reading Application Flash page @ 0x1FE00...\n"
                         "Writing Application Flash page @ 0x1FE00...\n"
                         "*** ZORVI returned status 0x21 for Flash Application Write command\n"
                         "+++ The uC stays in Service Mode because its application flash was not updated "
                         "completely; run the update again.\n");
    EXPECT_EQ(r.exitCode, 102);
    // The page write carries page 255 as it was read, with the 8 bytes at
    // 0x1FF00 (page offset 0x100) replaced.
    std::string page = before.substr(0x1FE00, 512);
    page.replace(0x100, 8, "ABCDEFGH");
    std::string write = "06 82 09 FF 00";
    char hex[4];
    for (unsigned char c : page) {
        std::snprintf(hex, sizeof hex, " %02X", c);
        write += hex;
    }
    EXPECT_EQ(board.requests(),
              (Lines{"03 86", "05 8C", "03 80", "03 86", "06 80 09 FF 00", write}));
    std::string after;
    ASSERT_TRUE(e2e::readFile(board.stateDir() + "/appflash.bin", after));
    EXPECT_TRUE(after == before);
}

// Port failures reach the user with the serial library's status names.
TEST(E2eLink, SerialPortFailuresNameTheLibraryStatus) {
    SimBoard board;
    ASSERT_BOARD(board);
    const std::string port = board.ptyPath();
    {
        // Another user holds the port: it is opened exclusively.
        int held = open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(held, 0);
        ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
        RunResult r = board.run({"-usbcom", "{port}", "version"});
        close(held);
        EXPECT_EQ(r.out, "*** Failed to open port '" + port + "': ZORVI_ACCESS_DENIED\n");
        EXPECT_EQ(r.exitCode, 100);
        // The hint on standard error names the holder, found by its lock.
        EXPECT_EQ(r.err, "zorviutil: hint: " + port + " is in use by test_e2e (pid " + std::to_string(getpid()) +
                             "); end that program or close the port there\n");
    }
    {
        // A program reads busy apart from missing; -wait-busy gives up when
        // its time is over, and waits for a holder that lets go in time
        // (here after a second, well within the wait).
        int held = open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(held, 0);
        ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
        RunResult r = board.run({"-usbcom", "{port}", "-wait-busy", "1", "+json", "version"});
        EXPECT_NE(r.out.find("\"reason\": \"port_busy\""), std::string::npos) << r.out;
        EXPECT_EQ(r.exitCode, 100);
        r = board.run({"-usbcom", port + "-none", "+json", "version"});
        EXPECT_NE(r.out.find("\"reason\": \"port_not_found\""), std::string::npos) << r.out;
        std::thread release([held] {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            close(held);
        });
        r = board.run({"-usbcom", "{port}", "-wait-busy", "120", "version"});
        release.join();
        EXPECT_EQ(r.out, kVersionLine);
        EXPECT_EQ(r.exitCode, 0);
        board.clearRequests();
    }
    {
        // A name without /dev/ that exists there.
        const std::string bare = port.substr(5);
        RunResult r = board.run({"-usbcom", bare, "version"});
        EXPECT_EQ(r.out, "*** Failed to open port '" + bare + "': ZORVI_DEVICE_NOT_FOUND\n");
        EXPECT_EQ(r.err, "zorviutil: hint: there is no '" + bare + "' here, but there is " + port +
                             ": give the whole path, e.g. -usbcom " + port + "\n");
        EXPECT_EQ(r.exitCode, 100);
    }
    struct Case {
        std::vector<std::string> args;
        std::string out;
        int exitCode;
    };
    const Case cases[] = {
        {{"-usbcom", port + "-none", "version"},
         "*** Failed to open port '" + port + "-none': ZORVI_DEVICE_NOT_FOUND\n", 100},
        // Rate 0 is no speed; the baud-rate failure has no symbolic name.
        {{"-psuart", "{port},0", "version"}, "*** Failed to set port '" + port + "' baud rate to 0: ZORVI_?\n", 111},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1]);
        RunResult r = board.run(c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.exitCode, c.exitCode);
    }
    EXPECT_TRUE(board.requests().empty());
    // The port is free again afterwards.
    RunResult r = board.run({"-usbcom", "{port}", "version"});
    EXPECT_EQ(r.out, kVersionLine);
    EXPECT_EQ(r.exitCode, 0);
}

// The link libraries are loaded by file name from the program's own
// directory: a zorviutil copied alone elsewhere finds none of them.
TEST(E2eLink, MissingLinkLibraryIsReported) {
    const std::string dir = e2e::makeTempDir("zorviutil-alone");
    ASSERT_FALSE(dir.empty());
    std::error_code ec;
    const std::string tool = dir + "/" + std::filesystem::path(e2e::toolPath()).filename().string();
    std::filesystem::copy_file(e2e::toolPath(), tool, ec);
    ASSERT_FALSE(ec) << ec.message();
    const std::string zorviapi = e2e::libraryFile("zorviapi");
    const std::string tobra = e2e::libraryFile("tobra");
    const std::string quenta = e2e::libraryFile("quenta");
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {{"-usbcom", "/dev/null", "version"},
         "*** Cannot find DLL '" + zorviapi + "'. This can be corrected by installing the ZORVI System Monitor "
         "Driver, or copying '" + zorviapi + "' to the same folder as this program.\n"},
        {{"-psuart", "/dev/null,9600", "version"},
         "*** Cannot find DLL '" + zorviapi + "'. This can be corrected by installing the ZORVI System Monitor "
         "Driver, or copying '" + zorviapi + "' to the same folder as this program.\n"},
        {{"-index", "0", "version"},
         "*** Cannot find DLL '" + tobra + "'. This can be corrected by installing the TOBRA Driver.\n"},
        {{"-quenta", "0", "version"},
         "*** Cannot find DLL '" + quenta + "'. This can be corrected by installing the QUENTA Driver, or copying '" +
             quenta + "' to the same folder as this program.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        RunResult r = e2e::runTool(tool, c.args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.exitCode, 105);
    }
    // A bad baud rate is found before any library is looked for.
    RunResult r = e2e::runTool(tool, {"-psuart", "/dev/null,fast", "version"});
    EXPECT_EQ(r.out, "*** Baud rate value 'fast' from '-psuart' connection string not recognized as a number.\n");
    EXPECT_EQ(r.exitCode, 110);
    std::filesystem::remove_all(dir, ec);
}

TEST(E2eLink, RunOptionServesTheCommandAndReturnsItsStatus) {
    // zorvisim --run: the README's way to try a verb; the exit status is the
    // command's.
    const std::string dir = e2e::makeTempDir("zorvisim-run");
    ASSERT_FALSE(dir.empty());
    RunResult r = e2e::runProgram(e2e::binDir() + "/zorvisim",
                                  {"--state-dir", dir + "/state", "--run", e2e::binDir() + "/zorviutil", "-usbcom",
                                   "{port}", "version"},
                                  "", e2e::loaderEnv());
    // Standard output is the command's alone; the port goes to standard error.
    EXPECT_EQ(r.out, kVersionLine);
    EXPECT_EQ(r.err.rfind("/dev/pts/", 0), 0u) << r.err;
    EXPECT_EQ(r.exitCode, 0);

    r = e2e::runProgram(e2e::binDir() + "/zorvisim",
                        {"--product-id", "5", "--run", e2e::binDir() + "/zorviutil", "-quenta", "0", "version"}, "",
                        e2e::loaderEnv());
    EXPECT_EQ(r.exitCode, 14) << r.out << r.err;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
