// The metrics formatter on hand-made documents, a table row per case; every
// row also checks that each sample carries the board label.
#include "boardinfo/metrics_text.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

namespace {

Json sensor(const char* label, const char* description, double value, const char* unit, bool reserved = false) {
    return {{"label", label}, {"description", description}, {"value", value}, {"unit", unit}, {"reserved", reserved},
            {"status", {{"ok", true}, {"critical", false}, {"over", false}, {"under", false}}}};
}

struct Row {
    std::function<void(MetricsScrape&)> change;
    std::vector<std::string> present, absent;
};

const Row kRows[] = {
    {[](MetricsScrape&) {},  // a normal page; the reserved ADC05 is left out
     {"# HELP zorvi_up Whether the board answered the last scrape (1) or not (0).\n# TYPE zorvi_up gauge\n"
      "zorvi_up{board=\"4711\"} 1\n",
      "zorvi_board_info{board=\"4711\",drawing=\"1353\",product=\"Model-X\",serial=\"4711\","
      "firmware=\"4.26.0.7\"} 1\n",
      "# TYPE zorvi_voltage_volts gauge\n"
      "zorvi_voltage_volts{board=\"4711\",sensor=\"ADC03\",label=\"12V in\"} 12.048\n",
      "zorvi_temperature_celsius{board=\"4711\",sensor=\"TMP00\",label=\"Board\"} 41.25\n",
      "zorvi_sensor_state{board=\"4711\",sensor=\"TMP00\",label=\"Board\",state=\"ok\"} 1\n"
      "zorvi_sensor_state{board=\"4711\",sensor=\"TMP00\",label=\"Board\",state=\"critical\"} 0\n",
      "zorvi_status_bit{board=\"4711\",register=\"crd_stat0\",bit=\"psu0_ok\"} 1\n",
      "zorvi_mezzanine_bit{board=\"4711\",mezzanine=\"0\",bit=\"power_ok\"} 0\n",
      "zorvi_black_box_records{board=\"4711\"} 3\n", "zorvi_scrape_duration_seconds{board=\"4711\"} 0.25\n"},
     {"ADC05", "reserved2", "zorvi_current_amperes"}},
    {[](MetricsScrape& s) { s.sensors["sensors"][0]["description"] = "a\\b \"q\"\nc"; },
     {"label=\"a\\\\b \\\"q\\\"\\nc\"} 12.048\n"}, {}},
    {[](MetricsScrape& s) {  // a failed read: no VPD, the label of the file replaced
         s = MetricsScrape{};
         s.durationSeconds = 2;
         s.fallbackBoard = "4711";
     },
     {"zorvi_up{board=\"4711\"} 0\n", "zorvi_scrape_duration_seconds{board=\"4711\"} 2\n"},
     {"zorvi_board_info", "zorvi_sensor_state", "zorvi_black_box_records"}},
};

class MetricsTextRows : public testing::TestWithParam<Row> {};

TEST_P(MetricsTextRows, Lines) {
    MetricsScrape s;
    s.up = true;
    s.identity = {{"drawing", 1353}, {"model", "Model-X"}, {"serial", 4711}};
    s.firmware = "4.26.0.7";
    s.blackBoxRecords = 3;
    s.durationSeconds = 0.25;
    s.sensors = {{"sensors", {sensor("ADC03", "12V in", 12.048, "V"), sensor("TMP00", "Board", 41.25, "celsius"),
                              sensor("ADC05", "Reserved", 0, "V", true)}},
                 {"mezzanines", {{{"index", 0}, {"raw", 0}, {"power_ok", false}}}},
                 {"status_registers", {{"crd_stat0", {{"raw", 1}, {"bits", {{"psu0_ok", true}}}}},
                                       {"si5338_stat", {{"raw", 0}, {"bits", {{"reserved2", false}}}}}}}};
    GetParam().change(s);
    const auto [text, series] = formatMetrics(s);
    for (const std::string& want : GetParam().present) EXPECT_NE(text.find(want), std::string::npos) << want << text;
    for (const std::string& unwanted : GetParam().absent) EXPECT_EQ(text.find(unwanted), std::string::npos) << unwanted;
    std::istringstream lines(text);
    uint32_t samples = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line[0] == '#') continue;
        ++samples;
        EXPECT_NE(line.find("{board=\"4711\""), std::string::npos) << line;
    }
    EXPECT_EQ(samples, series);
    EXPECT_EQ(boardLabelIn(text), "4711");
}

INSTANTIATE_TEST_SUITE_P(Scrapes, MetricsTextRows, testing::ValuesIn(kRows));

}  // namespace
