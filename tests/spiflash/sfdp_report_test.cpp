// spi-info: the report's structure and the fields whose rendering is easy
// to get wrong.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/bytes.h"
#include "base/out.h"
#include "platform/platform.h"
#include "spi_chip.h"
#include "spiflash/sfdp.h"
#include "spiflash/sfdp_report.h"

using testing::HasSubstr;

TEST(SfdpReport, ShortTableSectorMapAndUnknownTable) {
    BasicTableSpec spec;
    spec.density = 0x80000021;
    spec.erase[1][0] = 0;
    std::vector<uint8_t> table = basicTable(spec);
    table.resize(36);
    // Detection descriptor: variable address length, latency 15; then a last map.
    std::vector<uint8_t> area = sfdpArea(table, {0x01CF6500, 0x00000004, 0x00000003, 0x000FFF0F});
    area[6] = 2;  // a third, unknown header
    const uint8_t unknown[8] = {0x84, 0, 1, 2, 0x80, 0, 0, 0xFF};
    std::copy(unknown, unknown + 8, area.begin() + 24);
    FakeUc uc;
    SpiChip chip(0x1000);
    chip.sfdp = area;
    chip.attach(uc);
    OutCapture capture;
    ASSERT_EQ(spiInfo(uc.context(), false, 0), kOk);
    const std::string text = capture.text();
    for (const char* line : {
             "  SFDP Revision Number .......... 1.6 => JESD216B\n  Number of Parameter Headers ... 2\n",
             "+++ SPI Flash SFDP Table 0 is less than expected 16 DWORDs in length; padding with zeroes.\n"
             "SFDP Table 0 @ 0x30 is a Standard Parameter Table:\n",
             "  Density ....................... 0x80000021 => 0x200000000 b / 0x40000000 B\n",
             "  Sector Type 2 size ............ 0(0x00) => NOT SUPPORTED\n",
             "0x000 0x01CF6500 => Configuration Detection Descriptor; last=FALSE\n"
             "                    Mask=0x01 addrLen=variable latency=variable opcode=0x65\n"
             "0x004 0x00000004 => Address=0x00000004\n"
             "0x008 0x00000003 => Map Descriptor; last=TRUE  nRgn=1 configID=0\n"
             "0x00C 0x000FFF0F => RgnSize=0x000100000 Type1=yes Type2=yes Type3=yes Type4=yes\n",
             "  ID MSB, LSB ................... 255, 132 (0xFF, 0x84) => Unknown Table type\n"
             "  Revision Number ............... 1.0\n"
             "  Table length (DWORDs) ......... 2(0x02)\n"
             "  Table pointer ................. 128(0x000080)\n",
         }) {
        EXPECT_THAT(text, HasSubstr(line));
    }
    // A 36-byte table stops before the erase times.
    EXPECT_THAT(text, testing::Not(HasSubstr("Erase times")));
    EXPECT_TRUE(text.ends_with("Unknown Table type\n  Revision Number ............... 1.0\n"
                               "  Table length (DWORDs) ......... 2(0x02)\n  Table pointer ................. 128(0x000080)\n"));
    EXPECT_EQ(uc.requests().back(), (Bytes{0x05, 0x91, 3, 0, 0, 0, 0}));
}

TEST(SfdpReport, MiscellaneousCapabilitiesWithoutSoftReset) {
    BasicTableSpec spec;
    spec.dword16 = 0x00002000;
    spec.density = 0x80000040;  // 2^64 bits: no 64-bit count, shown as 0
    spec.erase[3][0] = 0;
    FakeUc uc;
    SpiChip chip(0x1000);
    chip.sfdp = sfdpArea(basicTable(spec));
    chip.attach(uc);
    OutCapture capture;
    ASSERT_EQ(spiInfo(uc.context(), false, 0), kOk);
    EXPECT_THAT(capture.text(), HasSubstr("  Miscellanous capabilities ..... 0x00002000\n"
                                          "    => No software reset function\n"
                                          "    => Exit from 0-4-4 mode required before reset sequence\n"));
    EXPECT_THAT(capture.text(), HasSubstr("    => Sector Type 4 erase time (typ.) = N/A\n"));
    EXPECT_THAT(capture.text(), HasSubstr("  Density ....................... 0x80000040 => 0x0 b / 0x0 B\n"));
}

// A stop request during the report still lets the end of the lengthy
// operation go out: the uC must not be left waiting for SPI traffic.
TEST(SfdpReport, StopRequestStillEndsTheLengthyOperation) {
    FakeUc uc;
    SpiChip chip(0x1000);
    chip.sfdp = sfdpArea(basicTable(BasicTableSpec{}));
    uc.onRequest([&](const Bytes& request, Bytes& reply) {
        if (request[1] == 0x90) platform::setStopRequested(2);  // during the first SFDP read
        return chip.handle(request, reply);
    });
    OutCapture capture;
    EXPECT_NE(spiInfo(uc.context(), false, 0), kOk);
    platform::setStopRequested(0);
    EXPECT_EQ(uc.requests().size(), 4u);  // reset, begin, the header read, end
    EXPECT_EQ(uc.requests().back(), (Bytes{0x05, 0x91, 3, 0, 0, 0, 0}));
    EXPECT_THAT(capture.text(), testing::Not(HasSubstr("lengthy SPI Flash operation has ended")));
}

// The +json document: what discovery would take from the records spi-info
// read, and the fields a refusal leaves unknown.
TEST(SfdpReport, DocumentOfDiscoveredParameters) {
    struct Row {
        const char* name;
        BasicTableSpec spec;
        std::vector<uint32_t> map;
        bool haveTable;
        uint32_t signature;
        std::vector<std::pair<const char*, Json>> expected;  ///< JSON pointer, value
    };
    auto spec = [](uint32_t density, uint32_t dword16) {
        BasicTableSpec s;
        s.density = density;
        s.dword16 = dword16;
        return s;
    };
    const Json null;
    const Row rows[] = {
        {"32 MiB, 0xB7, 0x66 0x99", {}, {}, true, kSfdpSignature,
         {{"/usable", true}, {"/refusal", null}, {"/capacity_bytes", 0x2000000}, {"/page_size_bytes", 256},
          {"/erase_types/1", {{"type", 2}, {"size_bytes", 0x10000}, {"opcode", 0xD8}}}, {"/address_bytes", 4},
          {"/four_byte_method", "opcode_b7"}, {"/reset_method", "opcodes_66_99"}, {"/sector_map", null}}},
        {"64 MiB, extended address register, ones for 8 clocks", spec(0x1FFFFFFF, 0x04180100), {}, true,
         kSfdpSignature,
         {{"/address_bytes", 3}, {"/four_byte_method", "extended_address_register"},
          {"/reset_method", "ones_8_clocks"}}},
        {"16 MiB without soft reset", spec(0x07FFFFFF, 0), {}, true, kSfdpSignature,
         {{"/usable", false}, {"/refusal", "no_soft_reset"}, {"/capacity_bytes", 0x1000000},
          {"/address_bytes", 3}, {"/four_byte_method", "not_needed"}, {"/reset_method", null},
          {"/page_size_bytes", null}}},
        {"2^64 bits", spec(0x80000040, 0x01181000), {}, true, kSfdpSignature,
         {{"/refusal", "capacity_over_2p63_bits"}, {"/capacity_bytes", null}, {"/erase_types", Json::array()},
          {"/address_bytes", null}}},
        {"no basic table", {}, {}, false, kSfdpSignature, {{"/refusal", "no_basic_table"}, {"/capacity_bytes", null}}},
        {"bad signature", {}, {}, true, 0x12345678, {{"/refusal", "bad_signature"}, {"/reset_method", null}}},
        {"sector map: every configuration", {}, {0x01C86500, 0x00000004, 0x00010302, 0x0000FF01, 0x01FEFF02,
                                                 0x00000103, 0x01FFFF0F}, true, kSfdpSignature,
         {{"/sector_map/0/configuration", 1},
          {"/sector_map/0/regions", Json::array({{{"size_bytes", 0x2000000}, {"erase_types", {1, 2, 3, 4}}}})},
          {"/sector_map/1/configuration", 3},
          {"/sector_map/1/regions/0", {{"size_bytes", 0x10000}, {"erase_types", {1}}}},
          {"/sector_map/1/regions/1", {{"size_bytes", 0x1FF0000}, {"erase_types", {2}}}}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SpiInfoRecords records;
        records.chip = 3;
        records.haveJedecId = true;
        records.jedecId[0] = 0xEF, records.jedecId[1] = 0x40, records.jedecId[2] = 0x18;
        records.haveHeader = true;
        records.header = decodeSfdpHeader(sfdpArea({}).data());
        records.header.signature = row.signature;
        records.haveBasicTable = row.haveTable;
        const std::vector<uint8_t> table = basicTable(row.spec);
        std::copy(table.begin(), table.end(), records.basicTable);
        records.haveSectorMap = !row.map.empty();
        records.sectorMap = row.map;
        const Json doc = spiInfoDocument(records);
        EXPECT_EQ(doc["chip"], 3);
        EXPECT_EQ(doc["jedec_id"], Json({0xEF, 0x40, 0x18}));
        EXPECT_EQ(doc["sfdp_revision"], Json({{"major", 1}, {"minor", 6}}));
        for (const auto& [pointer, value] : row.expected)
            EXPECT_EQ(doc.value(Json::json_pointer(pointer), Json("(missing)")), value) << pointer;
    }
}
