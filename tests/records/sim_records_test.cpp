// The simulator's board records through the tool's decoders, without a link:
// what every model the simulator plays shows in display-vpd and
// display-sensors, and how damaged VPD records are reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/out.h"
#include "boardinfo/sensors.h"
#include "boardinfo/vpd.h"
#include "boardinfo/vpd_record.h"
#include "boards/board_data.h"
#include "core/options.h"

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string shownVpd(const uint8_t vpd[zsim::kSimVpdSize]) {
    OutCapture cap;
    printVpdHumanReadable(decodeVpd(vpd));
    return cap.text();
}

std::string simVpd(const std::vector<std::string>& simArgs) {
    zsim::SimOptions options;
    std::string error;
    EXPECT_TRUE(zsim::parseOptions(simArgs, options, error)) << error;
    uint8_t vpd[zsim::kSimVpdSize] = {};
    zsim::buildOptionVpd(options, vpd);
    return shownVpd(vpd);
}

// Every model decodes completely: its name, a checksum line, nothing
// unrecognised; only 1456 has no layout, and only three models no FPGA line.
TEST(SimRecords, EveryModelsVpdDecodesCompletely) {
    const std::vector<std::string> noFpgaLine = {"CARD-A24", "CARD-A26", "CARD-A25"};
    ASSERT_EQ(zsim::knownModels().size(), 34u);
    for (const zsim::SimModel& m : zsim::knownModels()) {
        SCOPED_TRACE(m.drawingNumber);
        uint8_t vpd[zsim::kSimVpdSize] = {};
        zsim::buildVpdRecord(m.drawingNumber, 100001, vpd);
        const std::string shown = shownVpd(vpd);
        EXPECT_STREQ(drawingNumberToModel(m.drawingNumber), m.name);
        EXPECT_TRUE(contains(shown, std::string(" => ") + m.name + "\n")) << shown;
        EXPECT_TRUE(contains(shown, "  Data structure checksum ")) << shown;
        EXPECT_FALSE(contains(shown, "*** ERROR")) << shown;
        if (m.drawingNumber == 1456) {
            EXPECT_TRUE(contains(shown, "WARNING: Unable to decode remaining data for UNRECOGNIZED drawing number.\n"));
            continue;
        }
        EXPECT_FALSE(contains(shown, "UNRECOGNI")) << shown;
        EXPECT_FALSE(contains(shown, "WARNING")) << shown;
        const bool lacksFpga = std::find(noFpgaLine.begin(), noFpgaLine.end(), m.name) != noFpgaLine.end();
        EXPECT_EQ(contains(shown, "  FPGA device "), !lacksFpga) << shown;
    }
}

TEST(SimRecords, DamagedVpdIsReported) {
    const struct {
        std::vector<std::string> simArgs;
        std::vector<std::string> lines;
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
        const std::string shown = simVpd(c.simArgs);
        for (const std::string& line : c.lines) EXPECT_TRUE(contains(shown, line + "\n")) << shown;
    }
}

// The bracketed channel names of the ADC and TMP lines.
std::vector<std::string> channelNames(const std::string& text) {
    std::vector<std::string> names;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        const bool channel = (line.rfind("  ADC", 0) == 0 || line.rfind("  TMP", 0) == 0) && contains(line, "(#");
        const size_t open = line.rfind('[');
        if (channel && open != std::string::npos && line.back() == ']')
            names.push_back(line.substr(open + 1, line.size() - open - 2));
    }
    return names;
}

// Every model's simulated page shows 49 lines, each of the 18 channels
// named from the model's table (1456 has none: empty names).
TEST(SimRecords, EveryModelsSensorPageNamesEachChannel) {
    for (const zsim::SimModel& m : zsim::knownModels()) {
        SCOPED_TRACE(m.drawingNumber);
        uint8_t vpd[zsim::kSimVpdSize] = {};
        zsim::buildVpdRecord(m.drawingNumber, 100001, vpd);
        const VpdRecord record = decodeVpd(vpd);
        uint8_t page[zsim::kSimSensorPageSize] = {};
        zsim::buildSensorPage(m.drawingNumber, vpd[0x0C], 100, page);  // as the simulated board does
        OutCapture cap;
        printSensorPage(decodeSensorPage(page, m.drawingNumber, record.pcbMajorRevision()));
        const std::string shown = cap.take();
        EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 49) << shown;
        EXPECT_TRUE(contains(shown, "\n  RESVD63     = 0x00                       (reserved)\n")) << shown;
        std::vector<std::string> expected;
        for (uint32_t i = 0; i < 18; ++i)
            expected.push_back(sensorDescriptor(i, m.drawingNumber, record.pcbMajorRevision()).name);
        EXPECT_EQ(channelNames(shown), expected);
    }
}

}  // namespace
