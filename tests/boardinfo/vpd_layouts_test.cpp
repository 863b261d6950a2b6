// The model-specific part of display-vpd, one or more models per layout.
// Expected texts are written out line by line from the layouts' line
// formats; records are built so that each field has a distinct value.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/out.h"
#include "boardinfo/vpd.h"
#include "boardinfo/vpd_layouts.h"
#include "boardinfo/vpd_record.h"
#include "vpd_test_record.h"

namespace {

std::string decodeLayout(const VpdTestRecord& record) {
    const VpdRecord decoded = decodeVpd(record.bytes);
    EXPECT_NE(decoded.layout, nullptr) << decoded.drawingNumber();
    OutCapture cap;
    printVpdItems(decoded);
    return cap.text();
}

// FPGA identity lines of the record builders below ("ES2", "-2E", KU115, I).
const std::string kFpgaKu115 =
    "  FPGA stepping                      \"ES2\"\n"
    "  FPGA speed grade                   \"-2E\"\n"
    "  FPGA device                        326 (0x0146) => KU115\n"
    "  FPGA temperature grade             1 (0x01) => I (Industrial)\n";

const std::string kBank0Ddr4_2400_W8 =
    "  DDR4 SDRAM bank 0 max. frequency   12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
    "  DDR4 SDRAM bank 0 size             27 (0x1B) => 1 GiB\n";

TEST(VpdLayoutK, PrintsMaskCoolingClockFourBanksFpgaAndPcbRevision) {
    VpdTestRecord r(1440, 1);
    r.u32(0x0C, 0x00000001).u8(0x10, 2).u8(0x11, 3).u8(0x12, 1).u32(0x14, 25000000);
    r.bank(0x28, 12000, 27).bank(0x30, 10667, 28).bank(0x38, 0, 0).bank(0x40, 0xFFFF, 64);
    r.fpga(0x48, "ES2", "-2E", 0x146, 1).u8(0x58, 0x21);
    const std::string tail =
        "  Cooling type                       2 (0x02) => /CC1 - conduction-cooled industrial\n"
        "  Coating type                       3 (0x03) => UNRECOGNIZED\n"
        "  Pn4 connector                      1 (0x01) => FITTED\n"
        "  SI5338 ref. clock frequency        25000000 (0x017D7840) Hz\n"
        "  DDR4 SDRAM bank 0 max. frequency   12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
        "  DDR4 SDRAM bank 0 size             27 (0x1B) => 512 MiB\n"
        "  DDR4 SDRAM bank 1 max. frequency   10667 (0x29AB) => 1067 MHz / DDR4-2133\n"
        "  DDR4 SDRAM bank 1 size             28 (0x1C) => 1 GiB\n"
        "  DDR4 SDRAM bank 2 max. frequency   0 (0x0000) => 0 MHz / DDR4-0\n"
        "  DDR4 SDRAM bank 2 size             0 (0x00) => 0 MiB\n"
        "  DDR4 SDRAM bank 3 max. frequency   65535 (0xFFFF) => 6554 MHz / DDR4-13107\n"
        "  DDR4 SDRAM bank 3 size             64 (0x40) => 0 MiB\n" +
        kFpgaKu115 + "  PCB revision                       33 (0x21) => 2.1\n";
    EXPECT_EQ(decodeLayout(r),
              "  Modifications bitmask              1 (0x00000001)\n"
              "                                     => SW1 (DIP switch): FITTED\n" +
                  tail);

    // 1305 shares the layout but has no DIP switch line.
    r.u32(0x04, 1305);
    EXPECT_EQ(decodeLayout(r), "  Modifications bitmask              1 (0x00000001)\n" + tail);
}

// Layout A: one record, four per-model variants.
TEST(VpdLayoutA, PerModelBitLinesChipClassBuildCodeFabricClockAndBanks) {
    VpdTestRecord r(1308, 1);
    r.u8(0x0C, 0x10).u8(0x0D, 0x17).u8(0x0E, 0).u8(0x0F, 0);
    r.u32(0x10, 156250000).u32(0x24, 100000000).u32(0x28, 300000000);
    r.bank(0x30, 12000, 27, 0x01).bank(0x38, 12000, 26, 0x82);
    r.fpga(0x40, "ES2", "-2E", 0x146, 1);

    const std::string pcb = "  PCB revision                       16 (0x10) => 1.0\n";
    const std::string mask = "  Modifications bitmask              23 (0x17)\n";
    const std::string build = "  Custom build code, revision        0, 0 => Standard build\n";
    const std::string clocks =
        "  SI5338 ref. clock frequency        156250000 (0x09502F90) Hz\n"
        "  EMCCLK clock frequency             100000000 (0x05F5E100) Hz\n";
    const std::string fabric = "  Fabric clock frequency             300000000 (0x11E1A300) Hz\n";
    const std::string banks =
        "  DDR4 SDRAM bank 0 max. frequency   12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
        "  DDR4 SDRAM bank 0 size             27 (0x1B) => 1 GiB\n"
        "  DDR4 SDRAM bank 0 ranks            1 (0x01) => single-die\n"
        "  DDR4 SDRAM bank 1 max. frequency   12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
        "  DDR4 SDRAM bank 1 size             26 (0x1A) => 512 MiB\n"
        "  DDR4 SDRAM bank 1 ranks            130 (0x82) => multi-die, 2 dies\n";
    const std::string cl17 = "                                     => DDR4-2400 CL17 (0001)\n";

    {
        SCOPED_TRACE("1308: zQSFP bit, no build code, no fabric clock");
        EXPECT_EQ(decodeLayout(r), pcb + mask +
                                       "                                     => RS232 converter:          FITTED\n"
                                       "                                     => zQSFP modules:            FITTED\n"
                                       "                                     => FireFly modules:          FITTED\n" +
                                       cl17 + clocks + banks + kFpgaKu115);
    }
    for (uint32_t dn : {1319u, 1329u, 1342u}) {
        SCOPED_TRACE(dn);
        r.u32(0x04, dn);
        EXPECT_EQ(decodeLayout(r), pcb + mask +
                                       "                                     => RS232 converter:          FITTED\n"
                                       "                                     => SI5328 jitter attenuator: FITTED\n"
                                       "                                     => FireFly modules:          FITTED\n" +
                                       cl17 + build + clocks + fabric + banks + kFpgaKu115);
    }
    {
        SCOPED_TRACE("1322: no bit lines, no fabric clock");
        r.u32(0x04, 1322);
        EXPECT_EQ(decodeLayout(r), pcb + mask + cl17 + build + clocks + banks + kFpgaKu115);
    }
    {
        SCOPED_TRACE("1339: neither bit lines, chip class, fabric clock nor banks");
        r.u32(0x04, 1339);
        EXPECT_EQ(decodeLayout(r), pcb + mask + build + clocks + kFpgaKu115);
    }
    {
        SCOPED_TRACE("1319 with clear bits and chip class 2");
        r.u32(0x04, 1319).u8(0x0D, 0x20);
        EXPECT_EQ(decodeLayout(r), pcb + "  Modifications bitmask              32 (0x20)\n" +
                                       "                                     => RS232 converter:          NOT FITTED\n"
                                       "                                     => SI5328 jitter attenuator: NOT FITTED\n"
                                       "                                     => FireFly modules:          NOT FITTED\n"
                                       "                                     => UNRECOGNISED DDR4 CHIP CLASS 2(0x2)\n" +
                                       build + clocks + fabric + banks + kFpgaKu115);
    }
}

// Masks with the three flag bits not all alike, so that a bit line reading
// its neighbour's bit shows up.
TEST(VpdLayoutA, EachBitLineReadsItsOwnBit) {
    const struct {
        uint32_t drawingNumber;
        uint8_t mask;
        const char* bitLines;
    } cases[] = {
        {1308, 0x12,
         "  Modifications bitmask              18 (0x12)\n"
         "                                     => RS232 converter:          NOT FITTED\n"
         "                                     => zQSFP modules:            FITTED\n"
         "                                     => FireFly modules:          NOT FITTED\n"
         "                                     => DDR4-2400 CL17 (0001)\n"},
        {1308, 0x05,
         "  Modifications bitmask              5 (0x05)\n"
         "                                     => RS232 converter:          FITTED\n"
         "                                     => zQSFP modules:            NOT FITTED\n"
         "                                     => FireFly modules:          FITTED\n"
         "                                     => DDR4-2400 CL16 (0000)\n"},
        {1342, 0x04,
         "  Modifications bitmask              4 (0x04)\n"
         "                                     => RS232 converter:          NOT FITTED\n"
         "                                     => SI5328 jitter attenuator: NOT FITTED\n"
         "                                     => FireFly modules:          FITTED\n"
         "                                     => DDR4-2400 CL16 (0000)\n"},
        {1329, 0xF3,
         "  Modifications bitmask              243 (0xF3)\n"
         "                                     => RS232 converter:          FITTED\n"
         "                                     => SI5328 jitter attenuator: FITTED\n"
         "                                     => FireFly modules:          NOT FITTED\n"
         "                                     => UNRECOGNISED DDR4 CHIP CLASS 15(0xF)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.drawingNumber);
        SCOPED_TRACE(static_cast<int>(c.mask));
        VpdTestRecord r(c.drawingNumber, 1);
        r.u8(0x0C, 0x21).u8(0x0D, c.mask);
        EXPECT_EQ(decodeLayout(r).find(std::string("  PCB revision                       33 (0x21) => 2.1\n") +
                                       c.bitLines),
                  0u);
    }
}

TEST(VpdLayoutBDE, ClockLinesPerLayout) {
    VpdTestRecord r(1385, 1);
    r.u8(0x0C, 0x21).u8(0x0D, 0x80).u8(0x0E, 5).u8(0x0F, 2).u32(0x10, 25000000).u32(0x14, 100000000);
    r.fpga(0x20, "ES2", "-2E", 0x146, 1);
    const std::string head =
        "  PCB revision                       33 (0x21) => 2.1\n"
        "  Modifications bitmask              128 (0x80)\n"
        "  Custom build code, revision        5, 2 => /C5.2\n";
    const std::string si5338 = "  SI5338 ref. clock frequency        25000000 (0x017D7840) Hz\n";
    const std::string emcclk = "  EMCCLK clock frequency             100000000 (0x05F5E100) Hz\n";
    EXPECT_EQ(decodeLayout(r), head + si5338 + emcclk + kFpgaKu115);  // B
    r.u32(0x04, 1461);
    EXPECT_EQ(decodeLayout(r), head + kFpgaKu115);  // D
    r.u32(0x04, 1474);
    EXPECT_EQ(decodeLayout(r), head + emcclk + kFpgaKu115);  // E
}

TEST(VpdLayoutG, SpaceGradeFollowsTheFpgaGroup) {
    VpdTestRecord r(1360, 1);
    r.u8(0x0C, 0x21).u32(0x10, 25000000).fpga(0x40, "ES2", "-2E", 0x146, 1);
    const std::string body =
        "  PCB revision                       33 (0x21) => 2.1\n"
        "  Modifications bitmask              0 (0x00)\n"
        "  Custom build code, revision        0, 0 => Standard build\n"
        "  SI5338 ref. clock frequency        25000000 (0x017D7840) Hz\n" +
        kFpgaKu115;
    const struct {
        uint8_t grade;
        const char* line;
    } cases[] = {
        {0, "  FPGA space grade                   0 (0x00) => Not space grade\n"},
        {1, "  FPGA space grade                   1 (0x01) => Space grade\n"},
        {2, "  FPGA space grade                   2 (0x02) => UNRECOGNIZED\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.grade);
        r.u8(0x4F, c.grade);
        EXPECT_EQ(decodeLayout(r), body + c.line);
    }
}

TEST(VpdLayoutH, HbmCapacityBeforeDieCountAndBitLinesOnlyFor1341) {
    VpdTestRecord r(1341, 1);
    r.u8(0x0C, 0x21).u8(0x0D, 0x02).u32(0x10, 25000000).u32(0x14, 100000000);
    r.u16(0x18, 9009).u8(0x1A, 8).u8(0x1B, 30).fpga(0x20, "ES2", "-2E", 0x146, 1);
    const std::string rest =
        "  Custom build code, revision        0, 0 => Standard build\n"
        "  SI5338 ref. clock frequency        25000000 (0x017D7840) Hz\n"
        "  EMCCLK clock frequency             100000000 (0x05F5E100) Hz\n"
        "  HBM max. frequency                 9009 (0x2331) => 900 MHz\n"
        "  HBM die capacity                   30 (0x1E) => 1 GiB\n"
        "  HBM die count                      8 (0x08)\n" +
        kFpgaKu115;
    const std::string head =
        "  PCB revision                       33 (0x21) => 2.1\n"
        "  Modifications bitmask              2 (0x02)\n";
    EXPECT_EQ(decodeLayout(r), head +
                                   "                                     => SI5328 jitter attenuator: NOT FITTED\n"
                                   "                                     => Active cooling fans:      FITTED\n" +
                                   rest);
    r.u32(0x04, 1365);
    EXPECT_EQ(decodeLayout(r), head + rest);
}

TEST(VpdLayoutJ, ByteMaskWithEightDigitsAndClockSourceBit) {
    VpdTestRecord r(1377, 1);
    r.u8(0x0C, 0x21).u8(0x0D, 0x02).u8(0x10, 0).u8(0x11, 2).u32(0x20, 25000000).u32(0x24, 100000000);
    r.bank(0x30, 12000, 27).bank(0x34, 12000, 28).bank(0x38, 12000, 26).bank(0x3C, 12000, 0);
    r.fpga(0x40, "ES2", "-2E", 0x146, 1);
    const std::string mask = "  Modifications bitmask              2 (0x00000002)\n";
    const std::string rest =
        "  Custom build code, revision        0, 0 => Standard build\n"
        "  Cooling type                       0 (0x00) => Air-cooled commerical\n"
        "  Coating type                       2 (0x02) => /P - Polyurethane (Conathane CE-1155)\n"
        "  Internal SI5338 ref. clock freq.   25000000 (0x017D7840) Hz\n"
        "  EMCCLK clock frequency             100000000 (0x05F5E100) Hz\n" +
        kBank0Ddr4_2400_W8 +
        "  DDR4 SDRAM bank 1 max. frequency   12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
        "  DDR4 SDRAM bank 1 size             28 (0x1C) => 2 GiB\n"
        "  DDR4 SDRAM bank 2 max. frequency   12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
        "  DDR4 SDRAM bank 2 size             26 (0x1A) => 512 MiB\n"
        "  DDR4 SDRAM bank 3 max. frequency   12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
        "  DDR4 SDRAM bank 3 size             0 (0x00) => 0 MiB\n" +
        kFpgaKu115;
    EXPECT_EQ(decodeLayout(r), "  PCB revision                       33 (0x21) => 2.1\n" + mask +
                                   "                                     => FireFly connector: NOT FITTED\n"
                                   "                                     => SI5338 ref. clock: From VPX conn.\n" +
                                   rest);
    r.u32(0x04, 1426);
    EXPECT_EQ(decodeLayout(r), "  PCB revision                       33 (0x21) => 2.1\n" + mask + rest);
}

TEST(VpdLayoutM, TwoBanksAndByteMask) {
    VpdTestRecord r(1486, 1);
    r.u8(0x0C, 0x21).u8(0x0D, 0x02).u8(0x10, 1).u8(0x11, 1).u32(0x20, 25000000).u32(0x24, 100000000);
    r.bank(0x30, 12000, 27).bank(0x34, 12000, 28).bank(0x38, 12000, 26);
    r.fpga(0x40, "ES2", "-2E", 0x146, 1);
    EXPECT_EQ(decodeLayout(r),
              "  PCB revision                       33 (0x21) => 2.1\n"
              "  Modifications bitmask              2 (0x02)\n"
              "  Custom build code, revision        0, 0 => Standard build\n"
              "  Cooling type                       1 (0x01) => /AC1 - air-cooled industrial\n"
              "  Coating type                       1 (0x01) => /A - Acrylic (Humiseal 1B31)\n"
              "  Internal SI5338 ref. clock freq.   25000000 (0x017D7840) Hz\n"
              "  EMCCLK clock frequency             100000000 (0x05F5E100) Hz\n" +
                  kBank0Ddr4_2400_W8 +
                  "  DDR4 SDRAM bank 1 max. frequency   12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
                  "  DDR4 SDRAM bank 1 size             28 (0x1C) => 2 GiB\n" +
                  kFpgaKu115);
}

TEST(VpdLayoutPQ, HeatsinkFansShroudAndBanks) {
    // Banks 4 bytes apart, each with its own values; the one at 0x38 is not
    // part of layout P.
    VpdTestRecord r(1429, 1);
    r.u8(0x0C, 0x21).u8(0x0D, 0x05).u32(0x20, 25000000).u32(0x24, 100000000);
    r.bank(0x30, 12000, 27).bank(0x34, 10667, 28).bank(0x38, 9600, 30);
    r.fpga(0x40, "ES2", "-2E", 0x146, 1);
    const std::string layoutP =
        "  PCB revision                       33 (0x21) => 2.1\n"
        "  Modifications bitmask              5 (0x05)\n"
        "                                     => Heatsink: 2-SLOT\n"
        "                                     => Fans: NOT FITTED\n"
        "                                     => Top shroud: FITTED\n"
        "  Custom build code, revision        0, 0 => Standard build\n"
        "  Internal SI5338 ref. clock freq.   25000000 (0x017D7840) Hz\n"
        "  EMCCLK clock frequency             100000000 (0x05F5E100) Hz\n" +
        kBank0Ddr4_2400_W8 +
        "  DDR4 SDRAM bank 1 max. frequency   10667 (0x29AB) => 1067 MHz / DDR4-2133\n"
        "  DDR4 SDRAM bank 1 size             28 (0x1C) => 2 GiB\n" +
        kFpgaKu115;
    EXPECT_EQ(decodeLayout(r), layoutP);
    r.u32(0x04, 1430);
    EXPECT_EQ(decodeLayout(r), layoutP);

    // Layout Q: no clocks, four banks of 4-byte words.
    r.u32(0x04, 1492).u8(0x0D, 0x06);
    r.bank(0x30, 12000, 27).bank(0x34, 12000, 27).bank(0x38, 12000, 27).bank(0x3C, 12000, 27);
    std::string banks;
    for (int bank = 0; bank < 4; ++bank) {
        banks += "  DDR4 SDRAM bank " + std::to_string(bank) +
                 " max. frequency   12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
                 "  DDR4 SDRAM bank " +
                 std::to_string(bank) + " size             27 (0x1B) => 512 MiB\n";
    }
    EXPECT_EQ(decodeLayout(r),
              "  PCB revision                       33 (0x21) => 2.1\n"
              "  Modifications bitmask              6 (0x06)\n"
              "                                     => Heatsink: 1-SLOT\n"
              "                                     => Fans: FITTED\n"
              "                                     => Top shroud: FITTED\n"
              "  Custom build code, revision        0, 0 => Standard build\n" +
                  banks + kFpgaKu115);
}

VpdTestRecord layoutRRecord(uint32_t drawingNumber, uint32_t mask) {
    VpdTestRecord r(drawingNumber, 1);
    r.u32(0x0C, mask).u8(0x10, 0).u8(0x11, 0).u8(0x12, 1).u8(0x13, 1).u32(0x14, 25000000).u32(0x18, 33333333);
    r.u16(0x1C, 10667).u8(0x1E, 29);
    r.bank(0x20, 12000, 32, 0x02).bank(0x24, 12000, 29, 0x03);
    r.u32(0x28, 10000000).u32(0x2C, 122880000).fpga(0x30, "ES2", "-2E", 0x146, 1);
    r.u8(0x3F, 1).u8(0x40, 0x21).u8(0x41, 0x13);
    return r;
}

const std::string kLayoutRTail =
    "  Custom build code, revision        0, 0 => Standard build\n"
    "  Cooling type                       1 (0x01) => /AC1 - air-cooled industrial\n"
    "  Coating type                       1 (0x01) => /A - Acrylic\n"
    "  SI5338 ref. clock frequency        25000000 (0x017D7840) Hz\n"
    "  PS ref. clock frequency            33333333 (0x01FCA055) Hz\n"
    "  PS DDR4 SDRAM max. frequency       10667 (0x29AB) => 1067 MHz / DDR4-2133\n"
    "  PS DDR4 SDRAM 32b word size log 2  29 (0x1D) => 2 GiB\n"
    "  PL DDR4 SDRAM bank 0 max. freq.    12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
    "  PL DDR4 SDRAM bank 0 size log 2    32 (0x20) => 4 GiB\n"
    "  PL DDR4 SDRAM bank 0 ranks         2 (0x02) => traditional twin-die\n"
    "  PL DDR4 SDRAM bank 1 max. freq.    12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
    "  PL DDR4 SDRAM bank 1 size log 2    29 (0x1D) => 512 MiB\n"
    "  PL DDR4 SDRAM bank 1 ranks         3 (0x03) => traditional 3 dies\n"
    "*** ERROR: Multi-die flag 0x80 is absent, but no. of dies > 2\n"
    "  LMK04208 ref. clock frequency      10000000 (0x989680) Hz\n"
    "  LMK04208 VCXO clock frequency      122880000 (0x7530000) Hz\n" +
    kFpgaKu115 +
    "  FPGA package                       1 (0x01) => FFSE1156\n"
    "  PCB revision                       33 (0x21) => 2.1\n"
    "  CPLD revision                      19 (0x13) => 1.3\n";

TEST(VpdLayoutR, Mask60IsUnrecognisedTransformerAndConnectorFor1353) {
    EXPECT_EQ(decodeLayout(layoutRRecord(1353, 60)),
              "  Modifications bitmask              60 (0x0000003C)\n"
              "                                     => Pn6 connector: FITTED\n"
              "                                     => Pn4 connector: FITTED\n"
              "                                     => ADC RF transformer type: UNRECOGNIZED\n"
              "                                     => RF connector type: UNRECOGNIZED\n"
              "                                     => DDR4-2400 CL16 (0000)\n"
              "                                     => DAC RF transformer type: MiniCircuits TCM2-43X+\n"
              "                                     => XMC connector type: Vita 42 (XMC)\n" +
                  kLayoutRTail);
}

TEST(VpdLayoutR, Pn6AndPn4ReadTheirOwnBits) {
    const struct {
        uint32_t drawingNumber;
        uint32_t mask;
        const char* lines;
    } cases[] = {
        {1353, 0x1,
         "  Modifications bitmask              1 (0x00000001)\n"
         "                                     => Pn6 connector: NOT FITTED\n"
         "                                     => Pn4 connector: FITTED\n"},
        {1510, 0x2,
         "  Modifications bitmask              2 (0x00000002)\n"
         "                                     => Pn6 connector: FITTED\n"
         "                                     => Pn4 connector: NOT FITTED\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.drawingNumber);
        EXPECT_EQ(decodeLayout(layoutRRecord(c.drawingNumber, c.mask)).find(c.lines), 0u);
    }
}

TEST(VpdLayoutR, Model1510UsesItsOwnTransformerAndConnectorTables) {
    // Pn6 and Pn4 set (not fitted), ADC 1, connector 0, chip class 1, DAC 0, XMC 2.
    EXPECT_EQ(decodeLayout(layoutRRecord(1510, 0x2047)),
              "  Modifications bitmask              8263 (0x00002047)\n"
              "                                     => Pn6 connector: NOT FITTED\n"
              "                                     => Pn4 connector: NOT FITTED\n"
              "                                     => ADC RF transformer type: UNRECOGNIZED\n"
              "                                     => RF connector type: Right-Angle Rosenberger 23C25H-40ML5\n"
              "                                     => DDR4-2400 CL17 (0001)\n"
              "                                     => DAC RF transformer type: Macom MABA-011118\n"
              "                                     => XMC connector type: Vita 88 (XMC+)\n" +
                  kLayoutRTail);
    // ADC 2, connector 1 (pins table: straight pins; coaxial: "Reserved"), DAC 1.
    const uint32_t mask = (2u << 2) | (1u << 4) | (1u << 10);
    const std::string adc2 = "                                     => ADC RF transformer type: ";
    std::string out1510 = decodeLayout(layoutRRecord(1510, mask));
    std::string out1353 = decodeLayout(layoutRRecord(1353, mask));
    EXPECT_NE(out1510.find(adc2 + "UNRECOGNIZED\n"), std::string::npos);
    EXPECT_NE(out1510.find("                                     => RF connector type: Reserved\n"), std::string::npos);
    EXPECT_NE(out1510.find("                                     => DAC RF transformer type: UNRECOGNIZED\n"),
              std::string::npos);
    EXPECT_NE(out1353.find(adc2 + "MiniCircuits TCM2-63WX+\n"), std::string::npos);
    EXPECT_NE(out1353.find("                                     => RF connector type: Straight Nicomatic pins (part "
                           "22-1300-12)\n"),
              std::string::npos);
    EXPECT_NE(out1353.find("                                     => DAC RF transformer type: MiniCircuits TCM2-672X+\n"),
              std::string::npos);
}

VpdTestRecord layoutSTRecord(uint32_t drawingNumber) {
    VpdTestRecord r(drawingNumber, 1);
    r.u32(0x0C, 0x0E).u8(0x10, 1).u8(0x11, 4).u8(0x12, 2).u8(0x13, 3).u32(0x14, 25000000).u32(0x18, 33333333);
    r.u16(0x1C, 12000).u8(0x1E, 29).bank(0x20, 12000, 28, 0xAA).bank(0x24, 12000, 27, 0xAA);
    r.u8(0x28, 64).u8(0x2A, 27).fpga(0x30, "ES2", "-2E", 0x146, 1).u8(0x40, 0x21);
    return r;
}

const std::string kLayoutSTail =
    "  SI5338 ref. clock frequency        25000000 (0x017D7840) Hz\n"
    "  PS ref. clock frequency            33333333 (0x01FCA055) Hz\n"
    "  PS DDR4 SDRAM max. frequency       12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
    "  PS DDR4 SDRAM 32b word size log 2  29 (0x1D) => 4 GiB\n"
    "  PL DDR4 SDRAM bank 0 max. freq.    12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
    "  PL DDR4 SDRAM bank 0 size log 2    28 (0x1C) => 1 GiB\n"
    "  PL DDR4 SDRAM bank 1 max. freq.    12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
    "  PL DDR4 SDRAM bank 1 size log 2    27 (0x1B) => 512 MiB\n"
    "  PS EMMC memory size log 2          64 (0x40) => NOT FITTED\n"
    "  PS QSPI flash memory size log 2    27 (0x1B) => 128 MiB\n" +
    kFpgaKu115 + "  PCB revision                       33 (0x21) => 2.1\n";

TEST(VpdLayoutS, ConnectorsXmcAndEmmcNotFitted) {
    EXPECT_EQ(decodeLayout(layoutSTRecord(1437)),
              "  Modifications bitmask              14 (0x0000000E)\n"
              "                                     => Pn6 connector: FITTED\n"
              "                                     => Pn4 connector: NOT FITTED\n"
              "                                     => XMC connector type: UNRECOGNIZED\n"
              "  Custom build code, revision        1, 4 => /C1.4\n"
              "  Cooling type                       2 (0x02) => /CC1 - conduction-cooled industrial\n"
              "  Coating type                       3 (0x03) => UNRECOGNIZED\n" +
                  kLayoutSTail);
}

TEST(VpdLayoutT, SkipsTheMaskAndUsesShortCoolingAndFourCoatings) {
    EXPECT_EQ(decodeLayout(layoutSTRecord(1528)),
              "  Custom build code, revision        1, 4 => /C1.4\n"
              "  Cooling type                       2 (0x02) => Conduction-cooled industrial\n"
              "  Coating type                       3 (0x03) => Parylene\n" +
                  kLayoutSTail);
}

TEST(VpdLayoutU, SixteenBitMaskQspiBanksAndFpgaAtOdd0x2E) {
    VpdTestRecord r(1323, 1);
    r.u16(0x0C, 0x0102).u8(0x0E, 0).u8(0x0F, 0).u32(0x10, 25000000).u8(0x1C, 26).u8(0x1E, 32);
    r.u16(0x20, 12000).u8(0x22, 29).u8(0x23, 0x80).u8(0x28, 64).u8(0x2A, 37).u8(0x2C, 1).u8(0x2D, 1);
    r.fpga(0x2E, "ABCDEFGH", "-1LV", 0x182, 2).u8(0x3E, 0x21);
    EXPECT_EQ(decodeLayout(r),
              "  Modifications bitmask              258 (0x00000102)\n"
              "                                     => Optics: NOT FITTED\n"
              "                                     => VCC_PSBATT: ENABLED\n"
              "  Custom build code, revision        0, 0 => Standard build\n"
              "  SI5338 ref. clock frequency        25000000 (0x017D7840) Hz\n"
              "  PS QSPI Flash bank 0 size Log 2    26 (0x1A) => 64 MiB\n"
              "  PS QSPI Flash bank 1 size Log 2    32 (0x20) => 0 MiB\n"
              "  PS DDR4 SDRAM max. frequency       12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
              "  PS DDR4 SDRAM 64b word size log 2  29 (0x1D) => 4 GiB\n"
              "  PS DDR4 SDRAM ranks                128 (0x80) => multi-die, 0 dies\n"
              "*** ERROR: Multi-die flag 0x80 is present, but no. of dies < 2\n"
              "  PS EMMC Flash size log 2           64 (0x40) => 0 MiB\n"
              "  PS SATA Flash size log 2           37 (0x25) => 128 GiB\n"
              "  Cooling type                       1 (0x01) => /AC1 - air-cooled industrial\n"
              "  Coating type                       1 (0x01) => /A - Acrylic (Humiseal 1B31)\n"
              "  FPGA stepping                      \"ABCDEFGH\"\n"
              "  FPGA speed grade                   \"-1LV\"\n"
              "  FPGA device                        386 (0x0182) => ZU11EG\n"
              "  FPGA temperature grade             2 (0x02) => E (Extended)\n"
              "  PCB revision                       33 (0x21) => 2.1\n");
}

TEST(VpdLayoutU, QspiSizeCodesAreThirtyTwoBit) {
    // 31 is the largest code that fits; 32 and beyond show 0 MiB.
    const struct {
        uint8_t code;
        const char* line;
    } cases[] = {
        {19, "  PS QSPI Flash bank 0 size Log 2    19 (0x13) => 0 MiB\n"},
        {20, "  PS QSPI Flash bank 0 size Log 2    20 (0x14) => 1 MiB\n"},
        {31, "  PS QSPI Flash bank 0 size Log 2    31 (0x1F) => 2 GiB\n"},
        {32, "  PS QSPI Flash bank 0 size Log 2    32 (0x20) => 0 MiB\n"},
        {40, "  PS QSPI Flash bank 0 size Log 2    40 (0x28) => 0 MiB\n"},
        {255, "  PS QSPI Flash bank 0 size Log 2    255 (0xFF) => 0 MiB\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        VpdTestRecord r(1323, 1);
        r.u8(0x1C, c.code);
        EXPECT_NE(decodeLayout(r).find(c.line), std::string::npos);
    }
}

TEST(VpdLayoutX, BuildCodeFirstTemperatureGradeAndXmc) {
    VpdTestRecord r(1413, 1);
    r.u8(0x0C, 7).u8(0x0D, 3).u8(0x0E, 0x21).u8(0x0F, 2).u8(0x10, 0x03);
    EXPECT_EQ(decodeLayout(r),
              "  Custom build code, revision        7, 3 => /C7.3\n"
              "  PCB revision                       33 (0x21) => 2.1\n"
              "  Board temperature grade            2 (0x02) => E (Extended)\n"
              "  Modifications bitmask              3 (0x03)\n"
              "                                     => XMC connector type: UNRECOGNIZED\n");
    r.u32(0x04, 1548).u8(0x0F, 3).u8(0x10, 0xFC);  // only bits 0-1 select the XMC kind
    EXPECT_EQ(decodeLayout(r),
              "  Custom build code, revision        7, 3 => /C7.3\n"
              "  PCB revision                       33 (0x21) => 2.1\n"
              "  Board temperature grade            3 (0x03) => UNRECOGNIZED\n"
              "  Modifications bitmask              252 (0xFC)\n"
              "                                     => XMC connector type: VITA 42 XMC\n");
}

TEST(VpdLayoutZ, ZbtThresholdsAndPerModelClocks) {
    VpdTestRecord r(1478, 1);
    r.u32(0x0C, 0x12345678).u8(0x10, 0).u8(0x11, 9).u8(0x12, 0).u8(0x13, 2);
    r.u32(0x14, 25000000).u32(0x18, 100000000);
    r.bank(0x1C, 12000, 27).bank(0x20, 12000, 28);
    r.bank(0x24, 2000, 18).bank(0x28, 2004, 17).bank(0x2C, 1995, 30).bank(0x30, 0, 0);
    r.fpga(0x34, "ES2", "-2E", 0x146, 1).u8(0x44, 0x21);
    const std::string head =
        "  Custom build code, revision        0, 9 => Standard build\n"
        "  Modifications bitmask              305419896 (0x12345678)\n"
        "  Cooling type                       0 (0x00) => Air-cooled commerical\n"
        "  Coating type                       2 (0x02) => /P - Polyurethane\n";
    const std::string rest =
        "  DDR4 SDRAM bank 0 max. frequency   12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
        "  DDR4 SDRAM bank 0 size             27 (0x1B) => 512 MiB\n"
        "  DDR4 SDRAM bank 1 max. frequency   12000 (0x2EE0) => 1200 MHz / DDR4-2400\n"
        "  DDR4 SDRAM bank 1 size             28 (0x1C) => 1 GiB\n"
        "  ZBT SSRAM bank 0 max. frequency    2000 (0x07D0) => 200 MHz\n"
        "  ZBT SSRAM bank 0 size              18 (0x12) => 1 MiB\n"
        "  ZBT SSRAM bank 1 max. frequency    2004 (0x07D4) => 200 MHz\n"
        "  ZBT SSRAM bank 1 size              17 (0x11) => 512 kiB\n"
        "  ZBT SSRAM bank 2 max. frequency    1995 (0x07CB) => 200 MHz\n"
        "  ZBT SSRAM bank 2 size              30 (0x1E) => 4096 MiB\n"
        "  ZBT SSRAM bank 3 max. frequency    0 (0x0000) => 0 MHz\n"
        "  ZBT SSRAM bank 3 size              0 (0x00) => 0 kiB\n" +
        kFpgaKu115 + "  PCB revision                       33 (0x21) => 2.1\n";
    EXPECT_EQ(decodeLayout(r), head +
                                   "  SI5338 0 (U67) ref. clock freq.    25000000 (0x017D7840) Hz\n"
                                   "  SI5338 1 (U8) ref. clock freq.     100000000 (0x05F5E100) Hz\n" +
                                   rest);
    r.u32(0x04, 1479);
    EXPECT_EQ(decodeLayout(r), head + "  SI5338 ref. clock freq.            25000000 (0x017D7840) Hz\n" + rest);
}

// ---- Shared printers through a layout ---------------------------------------

TEST(VpdFieldPrinters, FpgaIdentityTextsDeviceAndGrade) {
    const struct {
        const char* name;
        char stepping[9];  // the record's 8 bytes, NUL-padded
        char speed[5];     // the record's 4 bytes
        uint16_t device;
        uint8_t grade;
        const char* expected;
    } cases[] = {
        {"third byte NUL", "AB\0D", "-2", 0x226, 0,
         "  FPGA stepping                      \"AB\"\n"
         "  FPGA speed grade                   \"-2\"\n"
         "  FPGA device                        550 (0x0226) => VP1802\n"
         "  FPGA temperature grade             0 (0x00) => C (Commercial)\n"},
        {"empty texts, unknown device and grade", "", "", 0x0145, 3,
         "  FPGA stepping                      \"\"\n"
         "  FPGA speed grade                   \"\"\n"
         "  FPGA device                        325 (0x0145) => UNRECOGNIZED\n"
         "  FPGA temperature grade             3 (0x03) => UNRECOGNIZED\n"},
        {"control and high bytes shown as dots", "A\x1B[2J\x80", "\t-1\xFF", 0x141, 255,
         "  FPGA stepping                      \"A.[2J.\"\n"
         "  FPGA speed grade                   \".-1.\"\n"
         "  FPGA device                        321 (0x0141) => KU035\n"
         "  FPGA temperature grade             255 (0xFF) => UNRECOGNIZED\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VpdTestRecord r(1461, 1);  // layout D: the group is last, at 0x20
        std::memcpy(r.bytes + 0x20, c.stepping, 8);
        std::memcpy(r.bytes + 0x28, c.speed, 4);
        r.u16(0x2C, c.device).u8(0x2E, c.grade);
        std::string text = decodeLayout(r);
        const size_t at = text.find("  FPGA stepping");
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(text.substr(at), c.expected);
    }
}

TEST(VpdFieldPrinters, RanksByte) {
    const struct {
        uint8_t ranks;
        const char* expected;
    } cases[] = {
        {0x01, "single-die\n"},
        {0x02, "traditional twin-die\n"},
        {0x00, "traditional 0 dies\n*** ERROR: Multi-die flag 0x80 is absent, but no. of dies > 2\n"},
        {0x04, "traditional 4 dies\n*** ERROR: Multi-die flag 0x80 is absent, but no. of dies > 2\n"},
        {0x81, "multi-die, 1 dies\n*** ERROR: Multi-die flag 0x80 is present, but no. of dies < 2\n"},
        {0x84, "multi-die, 4 dies\n"},
        {0xFF, "multi-die, 127 dies\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.ranks));
        VpdTestRecord r(1323, 1);
        r.u8(0x23, c.ranks);
        char label[80];
        std::snprintf(label, sizeof label, "  PS DDR4 SDRAM ranks                %u (0x%02X) => ", c.ranks, c.ranks);
        EXPECT_NE(decodeLayout(r).find(std::string(label) + c.expected + "  PS EMMC Flash size"), std::string::npos);
    }
}

TEST(VpdFieldPrinters, HugeSizesAreTruncatedToThirtyTwoBitsAfterTheDivision) {
    // Layout S eMMC (W = 1): 2^61 bytes is 2^31 GiB; 2^62 bytes would be 2^32
    // GiB, which prints as 0 GiB; 2^63 is 2^33 GiB, also 0.
    const struct {
        uint8_t code;
        const char* line;
    } cases[] = {
        {61, "  PS EMMC memory size log 2          61 (0x3D) => 2147483648 GiB\n"},
        {62, "  PS EMMC memory size log 2          62 (0x3E) => 0 GiB\n"},
        {63, "  PS EMMC memory size log 2          63 (0x3F) => 0 GiB\n"},
        {0, "  PS EMMC memory size log 2          0 (0x00) => 0 MiB\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        VpdTestRecord r(1437, 1);
        r.u8(0x28, c.code);
        EXPECT_NE(decodeLayout(r).find(c.line), std::string::npos);
    }
}

}  // namespace
