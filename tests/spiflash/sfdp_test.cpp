// Discovery: what the real SFDP dumps and synthetic areas must decode to.
#include <gtest/gtest.h>

#include "base/out.h"
#include "spi_chip.h"
#include "spiflash/sfdp.h"

namespace {

struct Decoded {
    Result result;
    std::string output;
    SpiFlashInfo info;
};

Decoded discover(const std::vector<uint8_t>& area, uint8_t detectionByte = 0, bool verbose = false) {
    Decoded d;
    OutCapture capture;
    SfdpAreaSource source(area.data(), area.size(), detectionByte);
    d.result = discoverSpiFlashFrom(source, verbose, 0, &d.info);
    d.output = capture.text();
    return d;
}

std::string eraseTypes(const SpiFlashInfo& info) {
    std::string s;
    char part[32];
    for (const SpiEraseType& t : info.eraseTypes) {
        std::snprintf(part, sizeof part, "%X/%02X ", t.size, t.opcode);
        s += part;
    }
    return s;
}

}  // namespace

// Worked out by hand from each dump's header, basic table DWORDs 2, 8, 9,
// 11 and 16.
TEST(SfdpDiscovery, RealChips) {
    struct Row {
        const char* file;
        Result result;
        uint32_t capacity;
        uint8_t method;
        bool writeEnable;
        uint8_t reset;
        const char* eraseTypes;
        const char* output;
    } rows[] = {
        // DWORD 16 = 0x363DBD81: entry bits 0x36 -> write enable then 0xB7; resets leave 4-byte mode; 0x66 0x99.
        {"mt25qu01g.sfdp", kOk, 0x8000000, kEnter4ByteOpcode, true, 5, "1000/20 10000/D8 8000/52 0/00 ", ""},
        // DWORD 16 = 0x85F950F0: entry bit 0 -> 0xB7; reset bit 12 only.
        {"mx66l1g45g.sfdp", kOk, 0x8000000, kEnter4ByteOpcode, false, 5, "1000/20 8000/52 10000/D8 0/00 ", ""},
        {"mx66l2g45g.sfdp", kOk, 0x10000000, kEnter4ByteOpcode, false, 5, "1000/20 8000/52 10000/D8 0/00 ", ""},
        // 20-DWORD table cut to 16; entry bits 0xA0 name no method we use.
        {"s28hs02gt.sfdp", kSfdpError, 0x10000000, 0, false, 0, "1000/21 0/00 0/00 40000/DC ",
         "+++ SPI Flash SFDP Table 0 length (80 B) is more than maximum expected (64 B); extra data will be ignored.\n"
         "*** SPI Flash chip does advertise any of the methods for entering 4-byte address mode that this program "
         "supports.\n"},
        // 16 MiB: entry bits 0x80 advertise nothing, yet 3-byte addresses reach every byte.
        {"w25q128_sfdp15.sfdp", kOk, 0x1000000, kEnter4ByteNotNeeded, false, 5, "1000/20 8000/52 10000/D8 0/00 ", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const std::vector<uint8_t> area = readDataFile(row.file);
        ASSERT_FALSE(area.empty());
        Decoded d = discover(area);
        EXPECT_EQ(d.result, row.result);
        EXPECT_EQ(d.output, row.output);
        EXPECT_EQ(d.info.capacityBytes, row.capacity);
        EXPECT_EQ(eraseTypes(d.info), row.eraseTypes);
        if (row.result != kOk) continue;
        EXPECT_EQ(d.info.enter4ByteMethod, row.method);
        EXPECT_EQ(d.info.enter4ByteNeedsWriteEnable, row.writeEnable);
        EXPECT_EQ(d.info.softResetMethod, row.reset);
        EXPECT_EQ(d.info.pageSize, 256u);
        EXPECT_FALSE(d.info.fourByteAddressing);
        EXPECT_EQ(d.info.segmentCache, 0xFFFF);
        EXPECT_EQ(d.info.mergeBufferSize, 0x10000u);
        EXPECT_EQ(d.info.regionCount, 0u);
    }
}

TEST(SfdpDiscovery, SyntheticTables) {
    const uint32_t kAlways = 0x40181000, kOnes = 0xFFFFFFFF;
    struct Row {
        const char* name;
        uint32_t density;
        uint32_t dword16;
        uint8_t exponents[4];
        Result result;
        uint32_t capacity;
        uint8_t method;
        uint32_t mergeSize;
        const char* output;
    } rows[] = {
        {"density bits - 1", 0x7FFFFFFF, 0x01181000, {12, 16}, kOk, 0x10000000, kEnter4ByteOpcode, 0x10000, ""},
        {"density 2^32 bits", 0x80000020, 0x01181000, {12, 16}, kOk, 0x20000000, kEnter4ByteOpcode, 0x10000, ""},
        {"density 2^34 bits is 2 GiB", 0x80000022, kAlways, {12, 16}, kOk, 0x80000000, kEnter4ByteAlways, 0x10000, ""},
        {"density 2^35 bits clamped", 0x80000023, kAlways, {12, 16}, kOk, 0x80000000, kEnter4ByteAlways, 0x10000,
         "+++ SPI Flash SFDP Table 0 indicates capacity of more than 2 GiB. This program can access only the lowest 2 "
         "GiB.\n"},
        {"density 2^64 bits", 0x80000040, kAlways, {12, 16}, kSfdpError, 0, 0, 0,
         "*** SPI Flash SFDP Table 0 indicates capacity of more than 2^63 bits.\n"},
        {"sector size 2^40 ignored", 0x0FFFFFFF, 0x01181000, {12, 15, 16, 40}, kOk, 0x2000000, kEnter4ByteOpcode,
         0x10000, "+++ Ignoring SPI Flash SFDP sector size of 2^40.\n"},
        {"256 KiB block sizes the merge buffer", 0x0FFFFFFF, 0x01181000, {12, 18}, kOk, 0x2000000, kEnter4ByteOpcode,
         0x40000, ""},
        {"block above capacity", 0x0007FFFF, 0x01181000, {12, 20}, kSfdpError, 0, 0, 0,
         "*** SPI Flash SFDP Table 0 largest block size (0x100000 B) is inconsistent with capacity (0x10000 B).\n"},
        {"bank register", 0x0FFFFFFF, 0x08181000, {12, 16}, kOk, 0x2000000, kEnter4ByteBankRegister, 0x10000, ""},
        {"extended address register", 0x0FFFFFFF, 0x04001000, {12, 16}, kOk, 0x2000000, kEnter4ByteExtendedAddr,
         0x10000, ""},
        {"no way out of 4-byte mode", 0x0FFFFFFF, 0x01001000, {12, 16}, kSfdpError, 0, 0, 0,
         "*** SPI Flash chip does not exit 4-byte address mode on hardware or software reset.\n"},
        {"no software reset", 0x0FFFFFFF, 0x01180000, {12, 16}, kSfdpError, 0, 0, 0,
         "*** SPI Flash chip does advertise any of the methods for performing software reset that this program "
         "supports.\n"},
        // DWORD 16 of ones reads as "always 4-byte": on a 16 MiB chip it
        // must not decide the addressing; above 16 MiB the rule stands.
        {"16 MiB, DWORD 16 all ones", 0x07FFFFFF, kOnes, {12, 16}, kOk, 0x1000000, kEnter4ByteNotNeeded, 0x10000, ""},
        {"32 MiB, DWORD 16 all ones", 0x0FFFFFFF, kOnes, {12, 16}, kOk, 0x2000000, kEnter4ByteAlways, 0x10000, ""},
        {"16 MiB, no entry method", 0x07FFFFFF, 0x00001000, {12, 16}, kOk, 0x1000000, kEnter4ByteNotNeeded, 0x10000,
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        BasicTableSpec spec;
        spec.density = row.density;
        spec.dword16 = row.dword16;
        for (int i = 0; i < 4; ++i) spec.erase[i][0] = row.exponents[i], spec.erase[i][1] = uint8_t(0x20 + i);
        Decoded d = discover(sfdpArea(basicTable(spec)));
        EXPECT_EQ(d.result, row.result);
        EXPECT_EQ(d.output, row.output);
        if (row.result != kOk) continue;
        EXPECT_EQ(d.info.capacityBytes, row.capacity);
        EXPECT_EQ(d.info.enter4ByteMethod, row.method);
        EXPECT_EQ(d.info.fourByteAddressing, row.method == kEnter4ByteAlways);
        EXPECT_EQ(d.info.mergeBufferSize, row.mergeSize);
    }
}

TEST(SfdpDiscovery, RefusesBadHeadersAndShortTables) {
    std::vector<uint8_t> table = basicTable({});
    std::vector<uint8_t> badSignature = sfdpArea(table);
    badSignature[0] = 'X';
    std::vector<uint8_t> predates = sfdpArea(table);
    predates[5] = 0;
    std::vector<uint8_t> revisionZero = sfdpArea(table);
    revisionZero[8 + 2] = 0, revisionZero[8 + 1] = 0;
    table.resize(36);  // JESD216: no DWORD 16
    struct Row {
        const char* name;
        std::vector<uint8_t> area;
        const char* output;
    } rows[] = {
        {"signature", badSignature,
         "*** Signature 0x50444658 in SPI Flash SFDP Header is not expected value 0x50444653.\n"},
        {"major revision 0", predates,
         "*** SPI Flash SFDP Header version 0.6 indicates that this SPI Flash chip predates JESD216.\n"},
        {"basic table revision 0.0", revisionZero, "+++ Failed to find a standard SFDP Table Header in SPI Flash chip.\n"},
        {"36-byte table", sfdpArea(table),
         "*** SPI Flash chip does advertise any of the methods for entering 4-byte address mode that this program "
         "supports.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Decoded d = discover(row.area);
        EXPECT_EQ(d.result, kSfdpError);
        EXPECT_EQ(d.output, row.output);
        EXPECT_FALSE(d.info.mergeBuffer);
    }
}

TEST(SfdpDiscovery, PicksHighestBasicTableRevisionFirstAmongEqual) {
    BasicTableSpec small;
    small.density = 0x0FFFFFFF;
    BasicTableSpec large;
    large.density = 0x1FFFFFFF;
    for (int order = 0; order < 2; ++order) {
        SCOPED_TRACE(order);
        std::vector<uint8_t> a = sfdpArea(basicTable(small));
        // A second basic table header: revision 1.0 first or 1.6 first.
        a[6] = 1;
        const std::vector<uint8_t> t = basicTable(large);
        const uint8_t pointer = uint8_t(a.size());
        a.insert(a.end(), t.begin(), t.end());
        const uint8_t second[8] = {0x00, uint8_t(order == 0 ? 0 : 6), 1, 16, pointer, 0, 0, 0xFF};
        std::copy(second, second + 8, a.begin() + 16);
        a[9] = order == 0 ? 6 : 0;  // the first header's minor revision
        Decoded d = discover(a);
        ASSERT_EQ(d.result, kOk);
        EXPECT_EQ(d.info.capacityBytes, order == 0 ? 0x2000000u : 0x4000000u);
    }
}

TEST(SfdpSectorMap, DetectsConfigurationAndCollectsItsRegions) {
    // Two detection commands (mask 0x01), then the maps of configurations 3 and 1.
    const std::vector<uint32_t> map = {0x01C86500, 0x00000004, 0x01003501, 0x00000000,
                                       0x00010302, 0x0000FF01, 0x01FEFF02,  // config 3: 64 KiB 4K-only, then the rest
                                       0x00000103, 0x01FFFF02};             // config 1: one region, last
    Decoded three = discover(sfdpArea(basicTable({}), map), 0x01);
    ASSERT_EQ(three.result, kOk) << three.output;
    EXPECT_EQ(three.info.configurationId, 3);
    ASSERT_EQ(three.info.regionCount, 2u);
    EXPECT_EQ(three.info.regions[0].size, 0x10000u);
    EXPECT_EQ(three.info.regions[0].eraseTypeMask, 0x01);
    EXPECT_EQ(three.info.regions[1].size, 0x1FF0000u);
    Decoded zero = discover(sfdpArea(basicTable({}), map), 0x00);
    EXPECT_EQ(zero.result, kSfdpError);
    EXPECT_EQ(zero.output,
              "*** Cannot find any Configuration Map Descriptors for current configuration of SPI chip 0.\n");
    EXPECT_FALSE(zero.info.mergeBuffer);
    // A descriptor whose address DWORD lies past the map ends walk 1.
    EXPECT_TRUE(sectorMapDetectionCommands(map.data(), 1).empty());
    // Region DWORDs past the end are counted but not read.
    EXPECT_EQ(sectorMapRegions(map.data(), 5, 3, nullptr), 2u);
}

TEST(SfdpSectorMap, DetectionCommandBytesAndConfigurationBits) {
    FakeUc uc;
    uc.queueReply({0x05, 0x10, 0, 0x01});
    uc.queueReply({0x05, 0x10, 0, 0x00});
    uint8_t id = 0;
    OutCapture capture;
    // Address length "current mode" on a 3-byte chip, latency 15 (16 dummy bytes).
    ASSERT_EQ(spiRunDetectionCommand(uc.context(), false, 2, false, 0x01CF6500, 0x00800004, &id), kOk);
    ASSERT_EQ(spiRunDetectionCommand(uc.context(), false, 2, false, 0x01003500, 0, &id), kOk);
    EXPECT_EQ(id, 2);
    Bytes first = {0x05, 0x90, 2, 20, 1, 0x65, 0x80, 0x00, 0x04};
    first.resize(25, 0);
    EXPECT_EQ(uc.requests()[0], first);
    EXPECT_EQ(uc.requests()[1], (Bytes{0x05, 0x90, 2, 1, 1, 0x35}));
}
