// End-to-end: zorvisim as a program — its handshake, clean stop, command
// line, and the state directory seen by a later run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "e2e_harness.h"

namespace {

using e2e::RunResult;
using e2e::SimBoard;

std::string lineStartingWith(const std::string& out, const std::string& prefix) {
    for (const std::string& line : e2e::splitLines(out))
        if (line.rfind(prefix, 0) == 0) return line;
    return "";
}

TEST(E2eZorvisim, HandshakeNamesATerminalAndSigtermStopsCleanly) {
    SimBoard board;
    ASSERT_TRUE(board.ok()) << board.error();
    int fd = open(board.ptyPath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(isatty(fd));
    close(fd);
    struct stat st {};
    EXPECT_EQ(stat(board.socket().c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(board.stop(), 0);
    EXPECT_NE(stat(board.socket().c_str(), &st), 0);  // the socket file goes with it
}

TEST(E2eZorvisim, HelpAndBadOptions) {
    const std::string sim = e2e::binDir() + "/zorvisim";
    RunResult r = e2e::runProgram(sim, {"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* option : {"--model", "--serial", "--service", "--product-ids", "--state-dir", "--log",
                               "--silent-unknown", "--fault", "--pcie-socket", "--card-type", "--card-serial",
                               "--run", "--page-write-fail", "--refuse-switch", "--switch-no-effect"}) {
        SCOPED_TRACE(option);
        EXPECT_NE(r.out.find(option), std::string::npos);
    }
    r = e2e::runProgram(sim, {"--fault", "short@0"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "zorvisim: bad request selector '0' in 'short@0' (N from 1, N+, all, GG.CC or spiN)\n"
              "Use 'zorvisim --help' for the options.\n");
}

// What a newcomer asks the simulator first: its version, its models, and a
// word when the model asked for is none of them; a state folder may be new
// with its parents.
TEST(E2eZorvisim, VersionModelsAndNewStateFolder) {
    const std::string sim = e2e::binDir() + "/zorvisim";
    RunResult r = e2e::runProgram(sim, {"--version"});
    EXPECT_EQ(r.out, "zorvisim 4.26.0\n");
    EXPECT_EQ(r.exitCode, 0);
    // The models are the tool's supported models.
    r = e2e::runProgram(sim, {"--list-models"});
    EXPECT_EQ(r.exitCode, 0);
    const std::vector<std::string> models = e2e::splitLines(r.out);
    EXPECT_EQ(models.size(), 34u);
    EXPECT_EQ(lineStartingWith(r.out, "1437"), "1437  CARD-A29");
    const RunResult info = e2e::runZorviutil({"build-info"});
    for (const std::string& line : models) {
        SCOPED_TRACE(line);
        EXPECT_NE(info.out.find(" " + line.substr(line.rfind(' ') + 1)), std::string::npos);
    }

    const std::string dir = e2e::makeTempDir("zorvisim-new");
    ASSERT_FALSE(dir.empty());
    r = e2e::runProgram(sim, {"--model", "9999", "--no-pcie", "--state-dir", dir + "/a/b", "--run", "true"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(lineStartingWith(r.err, "zorvisim: warning"),
              "zorvisim: warning: model 9999 is no known drawing number (see zorvisim --list-models); the board "
              "plays it with a bare VPD record");
    EXPECT_TRUE(std::filesystem::exists(dir + "/a/b/appflash.bin"));
    std::filesystem::remove_all(dir);
}

// What one run writes, the next run with the same state directory sees;
// the mode is not kept (a start is a power-on).
TEST(E2eZorvisim, StateDirectoryCarriesFlashAndOverridesToTheNextRun) {
    const std::string dir = e2e::makeTempDir("zorvisim-state");
    ASSERT_FALSE(dir.empty());
    const std::string image = dir + "/vpd8.bin";
    ASSERT_TRUE(e2e::writeFile(image, "ABCDEFGH"));
    {
        SimBoard board({"--state-dir", dir + "/state"});
        ASSERT_TRUE(board.ok()) << board.error();
        RunResult r = board.run({"-usbcom", "{port}", "override-sensor", "0", "0x1234"});
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.exitCode, 0);
        // The board stays in service mode after this run.
        r = board.run({"-psuart", "{port}", "enter-service-mode"});
        EXPECT_EQ(r.out, "Entering service mode: OK\n");
        EXPECT_EQ(r.exitCode, 0);
        // In service mode the PS UART opener reads the drawing number from
        // the VPD copy in flash; the update then patches page 255 and
        // verifies it, staying in service mode.
        r = board.run({"-psuart", "{port}", "update-vpd", image});
        EXPECT_EQ(r.out, "Reading Application Flash page @ 0x1FE00...\n"
                         "VPD file '" + image + "' length is 8(0x8) byte(s).\n"
                         "Reading Application Flash page @ 0x1FE00...\n"
                         "Writing Application Flash page @ 0x1FE00...\n"
                         "Reading Application Flash page @ 0x1FE00...\n"
                         "Verified OK.\n");
        EXPECT_EQ(r.exitCode, 0);
        std::vector<std::string> rq = board.requests();
        ASSERT_EQ(rq.size(), 11u);
        const std::vector<std::string> expected = {
            "03 86", "05 81 00 34 12 00 00 01",           // override-sensor 0 0x1234: action 1
            "03 86", "05 8C", "03 80", "03 86",           // enter-service-mode
            "03 86", "06 80 09 FF 00", "06 80 09 FF 00",  // update-vpd: open, then read before write
        };
        EXPECT_EQ(std::vector<std::string>(rq.begin(), rq.begin() + 9), expected);
        // The write carries the file's 8 bytes at page offset 0x100.
        EXPECT_EQ(rq[9].substr(0, 14), "06 82 09 FF 00");
        EXPECT_EQ(rq[9].size(), 14u + 3u * 512u);
        EXPECT_EQ(rq[9].substr(14 + 3 * 0x100, 24), " 41 42 43 44 45 46 47 48");
        EXPECT_EQ(rq[10], "06 80 09 FF 00");
    }
    SimBoard board({"--state-dir", dir + "/state"});
    ASSERT_TRUE(board.ok()) << board.error();
    RunResult r = board.run({"-usbcom", "{port}", "version"});
    EXPECT_EQ(r.out, "ZORVI Keeper2 version is 4.26.0.7\n");
    r = board.run({"-usbcom", "{port}", "display-vpd-raw"});
    EXPECT_EQ(r.exitCode, 0);
    // The written bytes, then the rest of the record: serial 100001 at 8.
    EXPECT_EQ(lineStartingWith(r.out, "0x00:").substr(0, 41), "0x00: 41 42 43 44 45 46 47 48 A1 86 01 00") << r.out;
    r = board.run({"-usbcom", "{port}", "display-sensors-raw"});
    EXPECT_EQ(r.exitCode, 0);
    // Channel 0's raw reading is the u16 at offset 8.
    EXPECT_EQ(lineStartingWith(r.out, "0x00:").substr(29, 6), " 34 12") << r.out;
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
