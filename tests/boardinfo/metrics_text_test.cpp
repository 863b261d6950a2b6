// The metrics formatter on decoded records, a table row per case; every
// row also checks that each sample carries the board label.
#include "boardinfo/metrics_text.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <vector>

#include "vpd_test_record.h"

namespace {

// A page of a model without a channel table (no readings of its own) with
// three channels made readable.
SensorPage page() {
    const uint8_t zeros[64] = {};
    SensorPage p = decodeSensorPage(zeros, 1, 0);
    const auto set = [&](uint32_t c, const char* name, double value, SensorUnit unit, bool reserved = false) {
        p.channels[c].descriptor.name = name;
        p.channels[c].value = value;
        p.channels[c].unit = unit;
        p.channels[c].reserved = reserved;
        p.channels[c].status = 8;  // OK
    };
    set(3, "12V in", 12.048, SensorUnit::Volts);
    set(14, "Board", 41.25, SensorUnit::Celsius);
    set(5, "Reserved", 0, SensorUnit::Volts, true);
    p.registers[0] = 1;  // CRD_STAT0: PSU0 OK
    return p;
}

struct Row {
    std::function<void(MetricsScrape&)> change;
    std::vector<std::string> present, absent;
};

const Row kRows[] = {
    {[](MetricsScrape&) {},  // a normal page; the reserved ADC05 is left out
     {"# HELP zorvi_up Whether the board answered the last scrape (1) or not (0).\n# TYPE zorvi_up gauge\n"
      "zorvi_up{board=\"4711\"} 1\n",
      "zorvi_board_info{board=\"4711\",drawing=\"1353\",product=\"CARD-A27\",serial=\"4711\","
      "firmware=\"4.26.0.7\"} 1\n",
      "# TYPE zorvi_voltage_volts gauge\n"
      "zorvi_voltage_volts{board=\"4711\",sensor=\"ADC03\",label=\"12V in\"} 12.048\n",
      "zorvi_temperature_celsius{board=\"4711\",sensor=\"TMP00\",label=\"Board\"} 41.25\n",
      "zorvi_sensor_state{board=\"4711\",sensor=\"TMP00\",label=\"Board\",state=\"ok\"} 1\n"
      "zorvi_sensor_state{board=\"4711\",sensor=\"TMP00\",label=\"Board\",state=\"critical\"} 0\n",
      "zorvi_status_bit{board=\"4711\",register=\"crd_stat0\",bit=\"psu0_ok\"} 1\n",
      "zorvi_mezzanine_bit{board=\"4711\",mezzanine=\"0\",bit=\"power_ok\"} 0\n",
      "zorvi_black_box_records{board=\"4711\"} 3\n", "zorvi_scrape_duration_seconds{board=\"4711\"} 0.25\n",
      "zorvi_elapsed_time_seconds{board=\"4711\"} 0\n", "zorvi_events{board=\"4711\"} 0\n",
      "zorvi_board_power_on{board=\"4711\"} 1\n"},
     {"ADC05", "reserved", "zorvi_current_amperes"}},
    {[](MetricsScrape& s) { s.sensors->channels[3].descriptor.name = "a\\b \"q\"\nc"; },
     {"label=\"a\\\\b \\\"q\\\"\\nc\"} 12.048\n"}, {}},
    {[](MetricsScrape& s) { s.vpd = decodeVpd(VpdTestRecord(4242, 4711).bytes); },  // a model without a name
     {"drawing=\"4242\",product=\"\",serial"}, {}},
    {[](MetricsScrape& s) {  // a failed read: no VPD, the label of the file replaced
         s = MetricsScrape{};
         s.durationSeconds = 2;
         s.fallbackBoard = "4711";
     },
     {"zorvi_up{board=\"4711\"} 0\n", "zorvi_scrape_duration_seconds{board=\"4711\"} 2\n"},
     {"zorvi_board_info", "zorvi_sensor_state", "zorvi_black_box_records", "zorvi_scrape_error", "zorvi_mode",
      "zorvi_last_success"}},
    {[](MetricsScrape& s) {  // service mode: the reason, the mode and the last success carried over
         s = MetricsScrape{};
         s.fallbackBoard = "4711";
         s.failure = "service_mode";
         s.serviceMode = true;
         s.lastSuccessSeconds = 1796823403.5;
         s.link = "-usbcom /dev/serial/by-id/usb-ZORVI_Keeper2_0-if00";
     },
     {"zorvi_up{board=\"4711\"} 0\n",
      "zorvi_scrape_error{board=\"4711\",reason=\"service_mode\"} 1\n",
      "zorvi_mode{board=\"4711\",mode=\"normal\"} 0\nzorvi_mode{board=\"4711\",mode=\"service\"} 1\n",
      "zorvi_last_success_timestamp_seconds{board=\"4711\"} 1796823403.5\n"},
     {"zorvi_board_info"}},
    {[](MetricsScrape& s) { s.failure = "status"; },  // a reason is only told while the scrape fails
     {"zorvi_up{board=\"4711\"} 1\n"}, {"zorvi_scrape_error"}},
    {[](MetricsScrape& s) { s.powerOn.reset(); },  // a firmware that does not tell the power
     {"zorvi_board_info"}, {"zorvi_board_power_on"}},
};

class MetricsTextRows : public testing::TestWithParam<Row> {};

TEST_P(MetricsTextRows, Lines) {
    MetricsScrape s;
    s.up = true;
    s.vpd = decodeVpd(VpdTestRecord(1353, 4711).bytes);
    s.firmware = "4.26.0.7";
    s.blackBoxRecords = 3;
    s.powerOn = true;
    s.durationSeconds = 0.25;
    s.sensors = page();
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
    EXPECT_EQ(lastSuccessIn(text), s.lastSuccessSeconds);
    EXPECT_EQ(linkIn(text), s.link);
}

INSTANTIATE_TEST_SUITE_P(Scrapes, MetricsTextRows, testing::ValuesIn(kRows));

}  // namespace
