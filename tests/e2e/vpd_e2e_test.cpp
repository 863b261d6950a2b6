// display-vpd and display-vpd-raw against the simulated board: normal mode
// (Request VPD) and service mode (the copy in application flash), every
// model of the drawing-number table, and damaged records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_harness.h"

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool logged(const e2e::SimBoard& board, const std::string& request) {
    for (const std::string& r : board.requests()) {
        if (r == request) return true;
    }
    return false;
}

// The simulated CARD-A24 (layout X): standard build, PCB 2.1, industrial
// grade, a VITA 61 XMC2 connector. With serial 1000 its bytes 0 to 126 sum
// to 24 (mod 256), so the checksum is 232.
const char* const kCardA24 =
    "Human-readable VPD:\n"
    "  Data structure version             0 (0x0000)\n"
    "  Data structure length              128 (0x0080)\n"
    "  Drawing number                     1413 (0x00000585) => CARD-A24\n"
    "  Serial number                      1000 (0x000003E8)\n"
    "  Custom build code, revision        0, 0 => Standard build\n"
    "  PCB revision                       33 (0x21) => 2.1\n"
    "  Board temperature grade            1 (0x01) => I (Industrial)\n"
    "  Modifications bitmask              1 (0x01)\n"
    "                                     => XMC connector type: VITA 61 XMC2\n"
    "  Data structure checksum            232 (0xE8)\n";

TEST(VpdE2e, DisplayVpdNormalMode) {
    e2e::SimBoard board({"--model", "1413", "--serial", "1000"});
    ASSERT_TRUE(board.ok()) << board.error();
    auto r = board.run({"-usbcom", "{port}", "display-vpd"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kCardA24);
    EXPECT_TRUE(logged(board, "05 8C"));
}

// The simulated CARD-A28 (layout R, the 1510 tables): mask 0x1000 (both
// connectors fitted, first transformer and connector kinds, CL16, XMC2),
// 2 GiB of PS DDR4 in 32-bit words, two 4 GiB PL banks of single-die parts
// in byte words, LMK04208 clocks, a ZU49DR in FFVE1156, PCB 2.1, CPLD 1.0.
// With serial 1000 its bytes 0 to 126 sum to 133, so the checksum is 123.
const char* const kCardA28 =
    "Human-readable VPD:\n"
    "  Data structure version             0 (0x0000)\n"
    "  Data structure length              128 (0x0080)\n"
    "  Drawing number                     1510 (0x000005E6) => CARD-A28\n"
    "  Serial number                      1000 (0x000003E8)\n"
    "  Modifications bitmask              4096 (0x00001000)\n"
    "                                     => Pn6 connector: FITTED\n"
    "                                     => Pn4 connector: FITTED\n"
    "                                     => ADC RF transformer type: Macom MABA-011118\n"
    "                                     => RF connector type: Right-Angle Rosenberger 23C25H-40ML5\n"
    "                                     => DDR4-2400 CL16 (0000)\n"
    "                                     => DAC RF transformer type: Macom MABA-011118\n"
    "                                     => XMC connector type: Vita 61 (XMC2)\n"
    "  Custom build code, revision        0, 0 => Standard build\n"
    "  Cooling type                       0 (0x00) => Air-cooled commerical\n"
    "  Coating type                       0 (0x00) => No coating\n"
    "  SI5338 ref. clock frequency        25000000 (0x017D7840) Hz\n"
    "  PS ref. clock frequency            33333333 (0x01FCA055) Hz\n"
    "  PS DDR4 SDRAM max. frequency       12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
    "  PS DDR4 SDRAM 32b word size log 2  29 (0x1D) => 2 GiB\n"
    "  PL DDR4 SDRAM bank 0 max. freq.    12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
    "  PL DDR4 SDRAM bank 0 size log 2    32 (0x20) => 4 GiB\n"
    "  PL DDR4 SDRAM bank 0 ranks         1 (0x01) => single-die\n"
    "  PL DDR4 SDRAM bank 1 max. freq.    12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
    "  PL DDR4 SDRAM bank 1 size log 2    32 (0x20) => 4 GiB\n"
    "  PL DDR4 SDRAM bank 1 ranks         1 (0x01) => single-die\n"
    "  LMK04208 ref. clock frequency      10000000 (0x989680) Hz\n"
    "  LMK04208 VCXO clock frequency      122880000 (0x7530000) Hz\n"
    "  FPGA stepping                      \"1\"\n"
    "  FPGA speed grade                   \"-2\"\n"
    "  FPGA device                        419 (0x01A3) => ZU49DR\n"
    "  FPGA temperature grade             1 (0x01) => I (Industrial)\n"
    "  FPGA package                       0 (0x00) => FFVE1156\n"
    "  PCB revision                       33 (0x21) => 2.1\n"
    "  CPLD revision                      16 (0x10) => 1.0\n"
    "  Data structure checksum            123 (0x7B)\n";

TEST(VpdE2e, DisplayVpdRichLayoutNormalMode) {
    e2e::SimBoard board({"--model", "1510", "--serial", "1000"});
    ASSERT_TRUE(board.ok()) << board.error();
    auto r = board.run({"-usbcom", "{port}", "display-vpd"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, kCardA28);
}

TEST(VpdE2e, DisplayVpdRawNormalMode) {
    e2e::SimBoard board({"--model", "1413", "--serial", "1000"});
    ASSERT_TRUE(board.ok()) << board.error();
    auto r = board.run({"-usbcom", "{port}", "display-vpd-raw"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "Raw VPD:\n"
              "      +0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F\n"
              "0x00: 00 00 80 00 85 05 00 00 E8 03 00 00 00 00 21 01 ..............!.\n"
              "0x10: 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ................\n"
              "0x20: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ................\n"
              "0x30: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ................\n"
              "0x40: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ................\n"
              "0x50: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ................\n"
              "0x60: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 ................\n"
              "0x70: 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 E8 ................\n");
}

TEST(VpdE2e, ServiceModeReadsTheFlashCopyForBothVerbs) {
    e2e::SimBoard board({"--model", "1413", "--serial", "1000", "--service"});
    ASSERT_TRUE(board.ok()) << board.error();
    auto decoded = board.run({"-usbcom", "{port}", "display-vpd"});
    EXPECT_EQ(decoded.exitCode, 0);
    EXPECT_EQ(decoded.out, std::string("Reading Application Flash page @ 0x1FE00...\n") + kCardA24);
    auto raw = board.run({"-usbcom", "{port}", "display-vpd-raw"});
    EXPECT_EQ(raw.exitCode, 0);
    EXPECT_EQ(e2e::splitLines(raw.out).front(), "Reading Application Flash page @ 0x1FE00...");
    EXPECT_TRUE(contains(raw.out, "0x00: 00 00 80 00 85 05 00 00 E8 03 00 00 00 00 21 01 ..............!.\n"));
    EXPECT_TRUE(logged(board, "06 80 09 FF 00"));
    EXPECT_FALSE(logged(board, "05 8C")) << "Request VPD sent in service mode";
}

// Every model of the drawing-number table: the simulator's record decodes
// completely (its name, no unrecognised value, a matching checksum), the
// same in both modes.
TEST(VpdE2e, EveryModelDecodesCompletely) {
    const struct {
        const char* drawing;
        const char* name;
    } models[] = {
        {"1305", "CARD-A30"}, {"1308", "CARD-A07"}, {"1319", "CARD-A08"}, {"1322", "CARD-A13"},
        {"1323", "CARD-A23"}, {"1329", "CARD-A10"}, {"1339", "CARD-A14"}, {"1341", "CARD-A12"},
        {"1342", "CARD-A08-FH"}, {"1353", "CARD-A27"}, {"1360", "CARD-A21"}, {"1365", "CARD-A11"},
        {"1377", "CARD-A22"}, {"1385", "CARD-A15"}, {"1413", "CARD-A24"}, {"1422", "CARD-A16"},
        {"1426", "CARD-A17"}, {"1429", "CARD-A02"}, {"1430", "CARD-A03"}, {"1437", "CARD-A29"},
        {"1440", "CARD-A31"}, {"1456", "CARD-A06"}, {"1461", "CARD-A20"}, {"1467", "CARD-A18"},
        {"1474", "CARD-A01"}, {"1478", "CARD-A32"}, {"1479", "CARD-A33"}, {"1486", "CARD-A05"},
        {"1492", "CARD-A04"}, {"1495", "CARD-A19"}, {"1501", "CARD-A26"}, {"1510", "CARD-A28"},
        {"1528", "CARD-A34"}, {"1548", "CARD-A25"},
    };
    for (const auto& m : models) {
        SCOPED_TRACE(m.drawing);
        std::string normalOut;
        for (bool service : {false, true}) {
            SCOPED_TRACE(service ? "service mode" : "normal mode");
            std::vector<std::string> args = {"--model", m.drawing};
            if (service) args.push_back("--service");
            e2e::SimBoard board(args);
            ASSERT_TRUE(board.ok()) << board.error();
            auto r = board.run({"-usbcom", "{port}", "display-vpd"});
            EXPECT_EQ(r.exitCode, 0);
            EXPECT_TRUE(contains(r.out, std::string(" => ") + m.name + "\n")) << r.out;
            EXPECT_TRUE(contains(r.out, "  Data structure checksum ")) << r.out;
            EXPECT_FALSE(contains(r.out, "*** ERROR")) << r.out;
            if (std::string(m.drawing) == "1456") {
                EXPECT_TRUE(contains(r.out, "WARNING: Unable to decode remaining data for UNRECOGNIZED drawing number.\n"))
                    << r.out;
            } else {
                EXPECT_FALSE(contains(r.out, "UNRECOGNI")) << r.out;
                EXPECT_FALSE(contains(r.out, "WARNING")) << r.out;
                EXPECT_TRUE(contains(r.out, "  FPGA device ") || std::string(m.name) == "CARD-A24" ||
                            std::string(m.name) == "CARD-A26" || std::string(m.name) == "CARD-A25")
                    << r.out;
            }
            if (!service) {
                normalOut = r.out;
            } else {
                EXPECT_EQ(r.out, "Reading Application Flash page @ 0x1FE00...\n" + normalOut);
            }
        }
    }
}

TEST(VpdE2e, DamagedRecordsAreReportedButSucceed) {
    const struct {
        std::vector<std::string> simArgs;
        std::vector<std::string> expectedLines;
    } cases[] = {
        // Serial 100001: bytes 0 to 126 sum to 85, so the right checksum is
        // 171 (0xAB); the simulator stores it with bits 0x5A flipped (0xF1).
        {{"--model", "1413", "--vpd-bad-checksum"},
         {"  Data structure checksum            241 (0xF1)",
          "*** ERROR: Calculated checksum 171 0xAB does not match actual checksum 241 (0xF1)"}},
        {{"--model", "1413", "--vpd-version", "2"},
         {"  Data structure version             2 (0x0002)",
          "WARNING: Data structure version 2 is not recognized by this version of zorviutil.",
          "         Highest data structure version recognised is 0.",
          "         Some fields of the VPD might not be displayed."}},
        {{"--model", "1413", "--vpd-length", "200"},
         {"*** ERROR: Unable to verify checksum because data structure length 200 (0x00C8) is invalid"}},
        {{"--model", "1413", "--vpd-drawing", "9999"},
         {"  Drawing number                     9999 (0x0000270F) => UNRECOGNIZED",
          "WARNING: Unable to decode remaining data for UNRECOGNIZED drawing number.",
          "         Use the 'display-vpd-raw' command in order to display raw VPD."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.simArgs[2]);
        e2e::SimBoard board(c.simArgs);
        ASSERT_TRUE(board.ok()) << board.error();
        auto r = board.run({"-usbcom", "{port}", "display-vpd"});
        EXPECT_EQ(r.exitCode, 0);
        for (const std::string& line : c.expectedLines) EXPECT_TRUE(contains(r.out, line + "\n")) << r.out;
    }
}

TEST(VpdE2e, RequestVpdStatusFailsWithoutPrintingTheRecord) {
    e2e::SimBoard board({"--model", "1413", "--fault", "status@05.8C=0x09"});
    ASSERT_TRUE(board.ok()) << board.error();
    for (const char* verb : {"display-vpd", "display-vpd-raw"}) {
        SCOPED_TRACE(verb);
        auto r = board.run({"-usbcom", "{port}", verb});
        EXPECT_EQ(r.exitCode, 102);
        EXPECT_EQ(r.out, "*** ZORVI returned status 0x09 for Request VPD command\n");
    }
}

}  // namespace
