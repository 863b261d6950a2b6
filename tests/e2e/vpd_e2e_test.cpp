// display-vpd and display-vpd-raw against the simulated board: normal mode
// (Request VPD) and service mode (the copy in application flash). Every
// model's record and the damaged ones are decoded without a link
// (tests/records).
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
