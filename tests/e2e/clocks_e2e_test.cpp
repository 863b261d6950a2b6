// End to end: the clock-generator verbs against the simulated board, the
// real SI5338 export programmed both ways.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_harness.h"

using e2e::SimBoard;
using e2e::splitLines;

namespace {

const std::string kExport = ZORVI_CLOCKS_TEST_DATA "/si5338_clockbuilder_export.txt";

std::vector<std::string> chipWrites(const SimBoard& board) {
    std::string text;
    e2e::readFile(board.stateDir() + "/si5338-writes.txt", text);
    return splitLines(text);
}

// The uC's own programming of a register map and config-si5338 through the
// I2C requests write the same registers with the same values in the same
// order.
TEST(E2eClocks, RealExportProgramsTheSameRegistersBothWays) {
    SimBoard direct, viaUc;
    ASSERT_TRUE(direct.ok()) << direct.error();
    ASSERT_TRUE(viaUc.ok()) << viaUc.error();

    const auto c = direct.run({"-usbcom", "{port}", "config-si5338", "1", "0x70", kExport});
    EXPECT_EQ(c.exitCode, 0) << c.out;
    EXPECT_EQ(c.out, "File '" + kExport + "' is an SI5338 register map with 235 register / value entries(s)\n"
                     "Part is SI5338B-B12345\nSI5338 configuration apparently successful.\n");

    const auto m = viaUc.run({"-usbcom", "{port}", "setclk-regmap", "0", kExport});
    EXPECT_EQ(m.exitCode, 0) << m.out;
    EXPECT_EQ(m.out, "File '" + kExport + "' is an SI5338 register map with 235 register / value pair(s)\n"
                     "Register map write (volatile) completed successfully.\n");
    const auto requests = viaUc.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[1].substr(0, 44), "05 9B 40 00 00 FC 01 06 00 1D 08 1B 00 80 00");
    EXPECT_EQ(requests[2].substr(0, 20), "05 9B 80 00 00 B0 01");
    EXPECT_EQ(requests[2].size(), 3u * (7 + 432) - 1);

    const auto writes = chipWrites(direct);
    ASSERT_EQ(writes.size(), 3u + 235u + 2u + 8u);
    EXPECT_EQ(writes, chipWrites(viaUc));
    EXPECT_EQ(writes.front(), "255=00");
    EXPECT_EQ(writes.back(), "230=0C");
}

TEST(E2eClocks, LockThatNeverComes) {
    SimBoard board({"--si5338-lock-reads", "never"});
    ASSERT_TRUE(board.ok()) << board.error();
    const auto c = board.run({"-usbcom", "{port}", "config-si5338", "1", "112", kExport});
    EXPECT_EQ(c.exitCode, 119);
    const auto lines = splitLines(c.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "*** Timeout waiting for PLL lock; LOL_STATUS=0x11");
    EXPECT_EQ(chipWrites(board).back(), "241=65");
    const auto m = board.run({"-usbcom", "{port}", "setclk-regmap", "0", kExport, "si5338"});
    EXPECT_EQ(m.exitCode, 103);
    EXPECT_EQ(splitLines(m.out).back(), "*** ZORVI returned status 0x83 => chip-specific error 0x3");
}

TEST(E2eClocks, FrequenciesAndTheOverrideAtTheNextPowerUp) {
    const std::string state = e2e::makeTempDir() + "/state";
    {
        SimBoard board({"--state-dir", state});
        ASSERT_TRUE(board.ok()) << board.error();
        const auto s = board.run({"-usbcom", "{port}", "setclk", "1", "100000000"});
        EXPECT_EQ(s.out, "Frequency for clock generator 1 set to 100000000 Hz\n");
        const auto nv = board.run({"-usbcom", "{port}", "setclknv", "1", "125000000"});
        EXPECT_EQ(nv.out, "NV override frequency for clock generator 1 set to 125000000 Hz\n");
        EXPECT_EQ(board.requests(), (std::vector<std::string>{"03 86", "05 8E 01 00 E1 F5 05", "03 86",
                                                              "05 83 01 40 59 73 07 03"}));
        const auto bad = board.run({"-usbcom", "{port}", "setclk", "1", "5"});
        EXPECT_EQ(bad.exitCode, 103);
        EXPECT_EQ(bad.out, "*** ZORVI returned status 0x11 => Requested frequency is out of range\n");
    }
    SimBoard board({"--state-dir", state});
    ASSERT_TRUE(board.ok()) << board.error();
    const auto g = board.run({"-usbcom", "{port}", "getclk", "1"});
    EXPECT_EQ(g.exitCode, 0);
    EXPECT_EQ(g.out, "Frequency of clock generator 1 is 125000000 Hz\n");
}

}  // namespace
