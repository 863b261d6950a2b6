// The sensor page decoder and the raw dump, compared line for line with
// outputs written out from the page layout.
#include <gtest/gtest.h>

#include <string>

#include "base/out.h"
#include "boardinfo/sensors.h"

namespace {

// ETC 0x12345678, EC 5, rails near their nominal values, a temperature of
// 0x1250 (19.850 C), an absent one (0) and a saturated one (0xFFFF), and
// status bytes with every flag position exercised somewhere.
const uint8_t kPage[64] = {
    0x78, 0x56, 0x34, 0x12, 0x05, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x80, 0x34, 0xC0, 0x34, 0x00, 0x28,
    0xCD, 0x1C, 0x33, 0x13, 0x40, 0x13, 0x00, 0x10, 0x33, 0x0F, 0x9A, 0x09, 0x00, 0x20, 0x00, 0x18,
    0x00, 0x08, 0x00, 0x04, 0x50, 0x12, 0xA0, 0x14, 0x00, 0x00, 0xFF, 0xFF, 0x07, 0xA5, 0x00, 0xFF,
    0x0F, 0x91, 0xE5, 0x3C, 0x13, 0x4B, 0x88, 0x48, 0x21, 0x8F, 0x00, 0x88, 0x18, 0x88, 0x20, 0x5A,
};

const char* const kStatusLines =
    "  MEZ_STAT0   = 0x07                    => F/PresC- PresB- DataErr- CsumErr- I2cFail- PwrOK+ VIOEn+ PresA+\n"
    "  MEZ_STAT1   = 0xA5                    => F/PresC+ PresB- DataErr+ CsumErr- I2cFail- PwrOK+ VIOEn- PresA+\n"
    "  MEZ_STAT2   = 0x00                    => F/PresC- PresB- DataErr- CsumErr- I2cFail- PwrOK- VIOEn- PresA-\n"
    "  MEZ_STAT3   = 0xFF                    => F/PresC+ PresB+ DataErr+ CsumErr+ I2cFail+ PwrOK+ VIOEn+ PresA+\n"
    "  CRD_STAT0   = 0x0F                    => PSU7OK- PSU6OK- PSU5OK- PSU4OK- PSU3OK+ PSU2OK+ PSU1OK+ PSU0OK+\n"
    "  CRD_STAT1   = 0x91                    => PSUOffReq+ PSU_AUX- Resvd5- BrdCfgVal+ DONE3- DONE2- DONE1- DONE0+\n"
    "  CRD_STAT2   = 0xE5                    => HostRst+ USBCon+ GAP+ GA=5(0x5)\n"
    "  CRD_STAT3   = 0x3C                       (reserved)\n"
    "  SI5338_STAT = 0x13                    => CFG3OK- CFG2OK- CFG1OK- CFG0OK+ Resvd3- Resvd2- IntRegd+ InitOK+\n"
    "  SI5338_ERR  = 0x4B                    => ErrType=4 ErrCode=11\n"
    "  ADC_STAT00  = 0x8                     => OK+ Critical- Over- Under-\n"
    "  ADC_STAT01  = 0x8                     => OK+ Critical- Over- Under-\n"
    "  ADC_STAT02  = 0x8                     => OK+ Critical- Over- Under-\n"
    "  ADC_STAT03  = 0x4                     => OK- Critical+ Over- Under-\n"
    "  ADC_STAT04  = 0x1                     => OK- Critical- Over- Under+\n"
    "  ADC_STAT05  = 0x2                     => OK- Critical- Over+ Under-\n"
    "  ADC_STAT06  = 0xF                     => OK+ Critical+ Over+ Under+\n"
    "  ADC_STAT07  = 0x8                     => OK+ Critical- Over- Under-\n"
    "  ADC_STAT08  = 0x0                     => OK- Critical- Over- Under-\n"
    "  ADC_STAT09  = 0x0                     => OK- Critical- Over- Under-\n"
    "  ADC_STAT10  = 0x8                     => OK+ Critical- Over- Under-\n"
    "  ADC_STAT11  = 0x8                     => OK+ Critical- Over- Under-\n"
    "  ADC_STAT12  = 0x8                     => OK+ Critical- Over- Under-\n"
    "  ADC_STAT13  = 0x1                     => OK- Critical- Over- Under+\n"
    "  TMP_STAT00  = 0x8                     => OK+ Critical- Over- Under-\n"
    "  TMP_STAT01  = 0x8                     => OK+ Critical- Over- Under-\n"
    "  TMP_STAT02  = 0x0                     => OK- Critical- Over- Under-\n"
    "  TMP_STAT03  = 0x2                     => OK- Critical- Over+ Under-\n"
    "  RESVD63     = 0x5A                       (reserved)\n";

const char* const kCounterLines =
    "  ETC         = { 0x78 0x56 0x34 0x12 } => 305419896 (0x12345678)\n"
    "  EC          = { 0x05 0x00 0x00 0x00 } => 5 (0x00000005)\n";

std::string printed(const uint8_t* page, uint32_t drawingNumber, uint32_t pcbMajor) {
    OutCapture cap;
    printSensorPage(decodeSensorPage(page, drawingNumber, pcbMajor));
    return cap.text();
}

TEST(SensorPage, DecodesEveryFieldForAModelWithATable) {
    const std::string channels =
        "  ADC00 (#00) = { 0x00 0xC0 }           => 0xC000 => 12.000 V [12V rail (edge conn.)]\n"
        "  ADC01 (#01) = { 0x80 0x34 }           => 0x3480 => 3.281 V [3.3V rail (edge conn.)]\n"
        "  ADC02 (#02) = { 0xC0 0x34 }           => 0x34C0 => 3.297 V [3.3V Aux rail (edge conn.)]\n"
        "  ADC03 (#03) = { 0x00 0x28 }           => 0x2800 => 2.500 V [2.5V power]\n"
        "  ADC04 (#04) = { 0xCD 0x1C }           => 0x1CCD => 1.800 V [1.8V MGT power]\n"
        "  ADC05 (#05) = { 0x33 0x13 }           => 0x1333 => 1.200 V [1.2V DDR4 SDRAM power]\n"
        "  ADC06 (#06) = { 0x40 0x13 }           => 0x1340 => 1.203 V [1.2V MGT AVTT]\n"
        "  ADC07 (#07) = { 0x00 0x10 }           => 0x1000 => 1.000 V [1.0V MGT AVCC]\n"
        "  ADC08 (#08) = { 0x33 0x0F }           => 0x0F33 => 0.950 V [0.95V FPGA core power]\n"
        "  ADC09 (#09) = { 0x9A 0x09 }           => 0x099A => 0.600 V [0.6V DDR4 SDRAM VTT]\n"
        "  ADC10 (#10) = { 0x00 0x20 }           => 0x2000 => 2.000 A [12V current (edge conn.)]\n"
        "  ADC11 (#11) = { 0x00 0x18 }           => 0x1800 => 1.500 A [3.3V current (edge conn.)]\n"
        "  ADC12 (#12) = { 0x00 0x08 }           => 0x0800 => 0.500 A [1.8V MGT current]\n"
        "  ADC13 (#13) = { 0x00 0x04 }           => 0x0400 => 0.250 A [2.5V current]\n"
        "  TMP00 (#14) = { 0x50 0x12 }           => 0x1250 => 19.850 deg. C [uC internal temperature]\n"
        "  TMP01 (#15) = { 0xA0 0x14 }           => 0x14A0 => 56.850 deg. C [FPGA temperature]\n"
        "  TMP02 (#16) = { 0x00 0x00 }           => 0x0000 => -273.150 deg. C [Reserved]\n"
        "  TMP03 (#17) = { 0xFF 0xFF }           => 0xFFFF => 3822.787 deg. C [Reserved]\n";
    EXPECT_EQ(printed(kPage, 1308, 0), std::string(kCounterLines) + channels + kStatusLines);
}

TEST(SensorPage, ModelWithoutTableKeepsDefaultNamesUnitsAndScales) {
    const std::string channels =
        "  ADC00 (#00) = { 0x00 0xC0 }           => 0xC000 => 12.000 A or V []\n"
        "  ADC01 (#01) = { 0x80 0x34 }           => 0x3480 => 3.281 A or V []\n"
        "  ADC02 (#02) = { 0xC0 0x34 }           => 0x34C0 => 3.297 A or V []\n"
        "  ADC03 (#03) = { 0x00 0x28 }           => 0x2800 => 2.500 A or V []\n"
        "  ADC04 (#04) = { 0xCD 0x1C }           => 0x1CCD => 1.800 A or V []\n"
        "  ADC05 (#05) = { 0x33 0x13 }           => 0x1333 => 1.200 A or V []\n"
        "  ADC06 (#06) = { 0x40 0x13 }           => 0x1340 => 1.203 A or V []\n"
        "  ADC07 (#07) = { 0x00 0x10 }           => 0x1000 => 1.000 A or V []\n"
        "  ADC08 (#08) = { 0x33 0x0F }           => 0x0F33 => 0.950 A or V []\n"
        "  ADC09 (#09) = { 0x9A 0x09 }           => 0x099A => 0.600 A or V []\n"
        "  ADC10 (#10) = { 0x00 0x20 }           => 0x2000 => 2.000 A or V []\n"
        "  ADC11 (#11) = { 0x00 0x18 }           => 0x1800 => 1.500 A or V []\n"
        "  ADC12 (#12) = { 0x00 0x08 }           => 0x0800 => 0.500 A or V []\n"
        "  ADC13 (#13) = { 0x00 0x04 }           => 0x0400 => 0.250 A or V []\n"
        "  TMP00 (#14) = { 0x50 0x12 }           => 0x1250 => 19.850 deg. C []\n"
        "  TMP01 (#15) = { 0xA0 0x14 }           => 0x14A0 => 56.850 deg. C []\n"
        "  TMP02 (#16) = { 0x00 0x00 }           => 0x0000 => -273.150 deg. C []\n"
        "  TMP03 (#17) = { 0xFF 0xFF }           => 0xFFFF => 3822.787 deg. C []\n";
    const std::string expected = std::string(kCounterLines) + channels + kStatusLines;
    for (uint32_t drawing : {1456u, 0u, 9999u}) {
        SCOPED_TRACE(drawing);
        EXPECT_EQ(printed(kPage, drawing, 0), expected);
    }
}

TEST(SensorPage, CoarseChannelsFollowModelAndPcbRevision) {
    // Channel 0 and 1 both read 0x0C00: 12.000 at 1/256, 0.750 at 1/4096.
    uint8_t page[64] = {};
    page[0x08] = 0x00;
    page[0x09] = 0x0C;
    page[0x0A] = 0x00;
    page[0x0B] = 0x0C;
    struct Case {
        uint32_t drawing;
        uint32_t pcbMajor;
        const char* ch0;
        const char* ch1;
    };
    const Case cases[] = {
        {1492, 3, "12.000 V [12V rail (AUX8 conn.)]", "12.000 A [12V current (AUX8 conn.)]"},
        {1492, 2, "12.000 V [12V rail (AUX8 conn.)]", "0.750 A [12V current (AUX8 conn.)]"},
        {1426, 2, "0.750 V [12V rail (AUX8 conn.)]", "12.000 A [12V current (AUX8 conn.)]"},
        {1426, 1, "0.750 V [12V rail (AUX8 conn.)]", "0.750 A [12V current (AUX8 conn.)]"},
        {1548, 0, "12.000 V [28V power in]", "0.750 V [12V rail (internal)]"},
        {1474, 0, "0.750 V [12V rail (external)]", "12.000 A [12V current (external)]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.drawing << " rev " << c.pcbMajor);
        const std::string text = printed(page, c.drawing, c.pcbMajor);
        EXPECT_NE(text.find(std::string("  ADC00 (#00) = { 0x00 0x0C }           => 0x0C00 => ") + c.ch0 + "\n"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find(std::string("  ADC01 (#01) = { 0x00 0x0C }           => 0x0C00 => ") + c.ch1 + "\n"),
                  std::string::npos)
            << text;
    }
}

TEST(SensorPage, RawDumpShowsFourRowsWithPrintableCharacters) {
    uint8_t page[64];
    for (int i = 0; i < 64; ++i) page[i] = static_cast<uint8_t>(i * 4);
    page[0x3E] = 0x7F;  // just past the printable range
    page[0x3F] = 0x7E;  // last printable character
    OutCapture cap;
    printSensorPageRaw(page);
    EXPECT_EQ(cap.text(),
              "Raw Sensor Page:\n"
              "      +0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F\n"
              "0x00: 00 04 08 0C 10 14 18 1C 20 24 28 2C 30 34 38 3C ........ $(,048<\n"
              "0x10: 40 44 48 4C 50 54 58 5C 60 64 68 6C 70 74 78 7C @DHLPTX\\`dhlptx|\n"
              "0x20: 80 84 88 8C 90 94 98 9C A0 A4 A8 AC B0 B4 B8 BC ................\n"
              "0x30: C0 C4 C8 CC D0 D4 D8 DC E0 E4 E8 EC F0 F4 7F 7E ...............~\n");
}

}  // namespace
