// The per-model channel tables: a walk over all of them checking the rules
// every table keeps, and spot checks of rows and scale exceptions.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "boardinfo/sensors.h"
#include "boardinfo/vpd_record.h"
#include "vpd_test_record.h"

namespace {

constexpr double k4096 = 1.0 / 4096.0;
constexpr double k256 = 1.0 / 256.0;
constexpr double k16 = 1.0 / 16.0;

// Groups of models that share one board design, hence one table.
const std::vector<std::vector<uint32_t>> kTableGroups = {
    {1305, 1440}, {1319, 1329, 1342}, {1353, 1510}, {1429, 1430}, {1467, 1495},
    {1308}, {1322}, {1323}, {1339}, {1341}, {1360}, {1365}, {1377}, {1385}, {1413}, {1422},
    {1426}, {1437}, {1461}, {1474}, {1478}, {1479}, {1486}, {1492}, {1501}, {1528}, {1548},
};

std::vector<std::string> rowsOf(uint32_t drawing) {
    std::vector<std::string> rows;
    for (uint32_t c = 0; c < kSensorChannels; ++c) {
        const SensorDescriptor d = sensorDescriptor(c, drawing, 0);
        rows.push_back(std::string(d.name) + "|" + d.unit);
    }
    return rows;
}

TEST(SensorDescriptor, TwentySevenTablesKeepTheCommonRules) {
    ASSERT_EQ(kTableGroups.size(), 27u);
    std::set<uint32_t> expectedModels;
    for (const auto& group : kTableGroups) expectedModels.insert(group.begin(), group.end());
    const std::vector<uint32_t> listed = sensorTableDrawingNumbers();
    EXPECT_EQ(std::set<uint32_t>(listed.begin(), listed.end()), expectedModels);
    EXPECT_EQ(listed.size(), expectedModels.size()) << "a model is listed twice";

    std::set<std::vector<std::string>> distinct;
    for (const auto& group : kTableGroups) {
        for (uint32_t drawing : group) {
            SCOPED_TRACE(drawing);
            EXPECT_TRUE(hasSensorTable(drawing));
            EXPECT_EQ(rowsOf(drawing), rowsOf(group.front())) << "models of one design differ";
            for (uint32_t c = 0; c < kSensorChannels; ++c) {
                SCOPED_TRACE(c);
                const SensorDescriptor d = sensorDescriptor(c, drawing, 0);
                const std::string name = d.name;
                const std::string unit = d.unit;
                EXPECT_FALSE(name.empty());
                if (c < kAdcChannels) {
                    EXPECT_TRUE(unit == "V" || unit == "A" || unit == "?") << unit;
                    EXPECT_EQ(unit == "?", name == "Reserved") << name;
                } else {
                    EXPECT_EQ(unit, "deg. C");
                }
                if (c == 14) {
                    EXPECT_EQ(name.rfind("uC", 0), 0u) << name;
                }
                if (unit == "A") {
                    EXPECT_NE(name.find("current"), std::string::npos) << name;
                }
            }
        }
        distinct.insert(rowsOf(group.front()));
    }
    EXPECT_EQ(distinct.size(), 27u) << "two designs have identical tables";
}

TEST(SensorDescriptor, RowsThatMustStayExactlyAsWritten) {
    struct Row {
        uint32_t drawing;
        uint32_t channel;
        const char* name;
        const char* unit;
    };
    const Row rows[] = {
        {1322, 13, "2.5V (digital) current ", "A"},   // trailing blank is part of the name
        {1339, 13, "2.5V (digital) current", "A"},
        {1341, 7, "1.8V rail (internal", "V"},        // unbalanced bracket as written
        {1365, 7, "1.8V rail (internal", "V"},
        {1339, 8, "FPGA core power", "V"},
        {1339, 9, "FPGA core power", "V"},
        {1413, 5, "Reserved", "?"},
        {1413, 16, "Reserved", "deg. C"},
        {1413, 14, "uC (U27) internal temp.", "deg. C"},
        {1467, 13, "GND", "V"},
        {1495, 14, "uC internal temperature (U27)", "deg. C"},
        {1426, 4, "3.3V Aux rail (Edge conn.)", "V"},
        {1323, 12, "0.9V PL MGT AVcc (int.)", "V"},
        {1440, 9, "QVX variable VI/O rail", "V"},
        {1510, 13, "0.85V PS full-power rail (int.)", "V"},
        {1430, 11, "0.88V AVCC (internal)", "V"},
        {1478, 14, "uC internal temperature (U23)", "deg. C"},
        {1479, 14, "uC internal temperature (U55)", "deg. C"},
        {1501, 17, "Board temp. at U21", "deg. C"},
        {1548, 0, "28V power in", "V"},
        {1528, 13, "1.2V PL MGT AVTT rail (int.)", "V"},
        {1385, 13, "Reserved", "?"},
        {1422, 13, "1.5V I/O rail", "V"},
        {1360, 17, "Reserved", "deg. C"},
        {1486, 13, "5V rail (VPX conn.)", "V"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.drawing << " channel " << r.channel);
        const SensorDescriptor d = sensorDescriptor(r.channel, r.drawing, 0);
        EXPECT_STREQ(d.name, r.name);
        EXPECT_STREQ(d.unit, r.unit);
    }
}

TEST(SensorDescriptor, DefaultsForOtherModelsAndIndices) {
    for (uint32_t drawing : {1456u, 0u, 1300u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(drawing);
        EXPECT_FALSE(hasSensorTable(drawing));
        for (uint32_t c = 0; c < kSensorChannels; ++c) {
            const SensorDescriptor d = sensorDescriptor(c, drawing, 0);
            EXPECT_STREQ(d.name, "");
            EXPECT_STREQ(d.unit, c < 14 ? "A or V" : "deg. C");
            EXPECT_EQ(d.scale, c < 14 ? k4096 : k16);
        }
    }
    // Indices past the page are the same for every model.
    for (uint32_t drawing : {1456u, 1308u}) {
        SCOPED_TRACE(drawing);
        SensorDescriptor d = sensorDescriptor(18, drawing, 0);
        EXPECT_STREQ(d.name, "Elapsed time counter");
        EXPECT_STREQ(d.unit, "s");
        d = sensorDescriptor(19, drawing, 0);
        EXPECT_STREQ(d.name, "Event counter");
        EXPECT_STREQ(d.unit, "");
        d = sensorDescriptor(20, drawing, 0);
        EXPECT_STREQ(d.name, "");
        EXPECT_STREQ(d.unit, "?");
        EXPECT_EQ(d.scale, k16);
    }
}

TEST(SensorDescriptor, ScaleExceptions) {
    // (drawing, PCB major revision) -> channels read at 1/256; every other
    // channel below 14 reads at 1/4096.
    const std::map<std::pair<uint32_t, uint32_t>, std::set<uint32_t>> coarse = {
        {{1413, 0}, {0}},    {{1548, 0}, {0}},    {{1467, 0}, {1}},    {{1474, 0}, {1}},
        {{1495, 0}, {1}},    {{1492, 0}, {0, 2}}, {{1492, 2}, {0, 2}}, {{1492, 3}, {0, 1, 2}},
        {{1492, 15}, {0, 1, 2}}, {{1426, 0}, {}}, {{1426, 1}, {}},    {{1426, 2}, {1}},
        {{1426, 9}, {1}},    {{1308, 7}, {}},     {{1456, 3}, {}},     {{1305, 0}, {}},
    };
    for (const auto& [key, channels] : coarse) {
        for (uint32_t c = 0; c < kSensorChannels; ++c) {
            SCOPED_TRACE(testing::Message() << key.first << " rev " << key.second << " channel " << c);
            const double expected = c >= 14 ? k16 : (channels.count(c) ? k256 : k4096);
            EXPECT_EQ(sensorDescriptor(c, key.first, key.second).scale, expected);
        }
    }
}

// The high nibble of the layout's PCB revision line, wherever the layout
// keeps it; none without a layout.
TEST(SensorDescriptor, PcbMajorRevisionIsTheLayoutsRevisionLine) {
    const struct {
        uint32_t drawing;
        uint8_t offset, revision;
        uint32_t major;
    } rows[] = {{1492, 0x0C, 0x21, 2}, {1426, 0x0C, 0x30, 3}, {1492, 0x0C, 0x0F, 0}, {1440, 0x58, 0x41, 4},
                {1456, 0x0C, 0x30, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.drawing << " at " << int{row.offset});
        VpdTestRecord vpd(row.drawing, 1);
        vpd.u8(row.offset, row.revision);
        EXPECT_EQ(decodeVpd(vpd.bytes).pcbMajorRevision(), row.major);
    }
}

}  // namespace
