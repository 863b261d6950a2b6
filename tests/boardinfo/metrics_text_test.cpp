// The metrics formatter on hand-made documents: one table row per case,
// each checked for the lines it must and must not hold; every row also
// checks that each sample carries the board label and that the series
// count matches.
#include "boardinfo/metrics_text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

Json sensor(const char* label, const char* description, double value, const char* unit, bool reserved = false) {
    return {{"index", 0},       {"label", label}, {"description", description}, {"raw", 0},
            {"value", value},   {"unit", unit == nullptr ? Json() : Json(unit)}, {"reserved", reserved},
            {"status", {{"raw", 8}, {"ok", true}, {"critical", false}, {"over", false}, {"under", false}}}};
}

MetricsScrape goodScrape() {
    MetricsScrape s;
    s.up = true;
    s.identity = {{"drawing", 1353}, {"model", "Model-X"}, {"serial", 4711}};
    s.firmware = "4.26.0.7";
    s.sensors = {
        {"elapsed_time_counter", 10},
        {"event_counter", 2},
        {"sensors", {sensor("ADC03", "12V input", 12.048, "V"), sensor("ADC04", "Input current", 1.5, "A"),
                     sensor("TMP00", "Board temp.", 41.25, "celsius"), sensor("ADC05", "Reserved", 0, "V", true)}},
        {"mezzanines", {{{"index", 0}, {"raw", 4}, {"power_ok", true}, {"i2c_fail", false}}}},
        {"status_registers",
         {{"crd_stat0", {{"raw", 1}, {"bits", {{"psu0_ok", true}, {"psu1_ok", false}}}}},
          {"si5338_err", {{"raw", 0}, {"error_type", 0}, {"error_code", 0}}}}},
    };
    s.blackBoxRecords = 3;
    s.durationSeconds = 0.25;
    return s;
}

struct Row {
    const char* name;
    std::function<void(MetricsScrape&)> change;
    std::vector<std::string> present;
    std::vector<std::string> absent;
};

const Row kRows[] = {
    {"normal page", [](MetricsScrape&) {},
     {"# HELP zorvi_up Whether the board answered the last scrape (1) or not (0).\n# TYPE zorvi_up gauge\n"
      "zorvi_up{board=\"4711\"} 1\n",
      "# TYPE zorvi_board_info gauge\nzorvi_board_info{board=\"4711\",drawing=\"1353\",product=\"Model-X\","
      "serial=\"4711\",firmware=\"4.26.0.7\"} 1\n",
      "# TYPE zorvi_voltage_volts gauge\nzorvi_voltage_volts{board=\"4711\",sensor=\"ADC03\",label=\"12V input\"} "
      "12.048\n",
      "zorvi_current_amperes{board=\"4711\",sensor=\"ADC04\",label=\"Input current\"} 1.5\n",
      "zorvi_temperature_celsius{board=\"4711\",sensor=\"TMP00\",label=\"Board temp.\"} 41.25\n",
      "zorvi_sensor_state{board=\"4711\",sensor=\"TMP00\",label=\"Board temp.\",state=\"ok\"} 1\n",
      "zorvi_sensor_state{board=\"4711\",sensor=\"TMP00\",label=\"Board temp.\",state=\"under\"} 0\n",
      "zorvi_status_bit{board=\"4711\",register=\"crd_stat0\",bit=\"psu0_ok\"} 1\n"
      "zorvi_status_bit{board=\"4711\",register=\"crd_stat0\",bit=\"psu1_ok\"} 0\n",
      "zorvi_mezzanine_bit{board=\"4711\",mezzanine=\"0\",bit=\"power_ok\"} 1\n",
      "# TYPE zorvi_black_box_records gauge\nzorvi_black_box_records{board=\"4711\"} 3\n",
      "zorvi_scrape_duration_seconds{board=\"4711\"} 0.25\n"},
     {}},
    {"reserved sensor left out", [](MetricsScrape&) {}, {}, {"ADC05", "Reserved"}},
    {"unknown unit: state only",
     [](MetricsScrape& s) { s.sensors["sensors"][0]["unit"] = nullptr; },
     {"zorvi_sensor_state{board=\"4711\",sensor=\"ADC03\""}, {"zorvi_voltage_volts{board=\"4711\",sensor=\"ADC03\""}},
    {"label escaping",
     [](MetricsScrape& s) {
         s.sensors["sensors"][0]["description"] = "a\\b \"q\"\nnext";
         s.firmware = "v\"1\"";
     },
     {"label=\"a\\\\b \\\"q\\\"\\nnext\"} 12.048\n", "firmware=\"v\\\"1\\\"\"} 1\n"}, {}},
    {"up 0 on failure, board of the last file",
     [](MetricsScrape& s) {
         s = MetricsScrape{};
         s.durationSeconds = 2;
         s.fallbackBoard = "4711";
     },
     {"zorvi_up{board=\"4711\"} 0\n", "# TYPE zorvi_scrape_duration_seconds gauge\n"
                                      "zorvi_scrape_duration_seconds{board=\"4711\"} 2\n"},
     {"zorvi_board_info", "zorvi_sensor_state", "zorvi_black_box_records"}},
};

class MetricsText : public testing::TestWithParam<Row> {};

TEST_P(MetricsText, Lines) {
    const Row& row = GetParam();
    MetricsScrape scrape = goodScrape();
    row.change(scrape);
    const auto [text, series] = formatMetrics(scrape);
    for (const std::string& want : row.present) EXPECT_NE(text.find(want), std::string::npos) << want << "\n" << text;
    for (const std::string& unwanted : row.absent) EXPECT_EQ(text.find(unwanted), std::string::npos) << unwanted;
    std::istringstream lines(text);
    uint32_t samples = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("# ", 0) == 0) continue;
        ++samples;
        EXPECT_NE(line.find("{board=\"4711\""), std::string::npos) << line;
    }
    EXPECT_EQ(samples, series);
    EXPECT_EQ(boardLabelIn(text), "4711");
}

INSTANTIATE_TEST_SUITE_P(Rows, MetricsText, testing::ValuesIn(kRows), [](const auto& row) {
    std::string name;
    for (const char* c = row.param.name; *c != 0; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
});

}  // namespace
