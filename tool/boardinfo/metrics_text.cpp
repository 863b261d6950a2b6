// The exposition text of a board scrape. Family names follow the usual
// conventions: the zorvi_ prefix, base units spelled out in the plural
// (volts, amperes, seconds; celsius for temperatures), a HELP and a TYPE
// line before each family's samples, and every sample of a family in one
// block. The series are those of the decoded records, named as their
// +json documents name them.
#include "boardinfo/metrics_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace {

using Labels = std::vector<std::pair<const char*, std::string>>;

/// A sample value: the shortest text that reads back as the same number.
std::string valueText(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, r.ptr);
}

/// Writes the families one after another; a family's HELP and TYPE lines go
/// out with its first sample, so a family without samples leaves no trace.
class Exposition {
public:
    explicit Exposition(std::string board) : board_(std::move(board)) {}

    void family(const char* name, const char* help) {
        name_ = name;
        help_ = help;
        started_ = false;
    }

    void sample(const Labels& labels, double value) {
        if (!started_) {
            text_ += std::string("# HELP ") + name_ + " " + help_ + "\n";
            text_ += std::string("# TYPE ") + name_ + " gauge\n";
            started_ = true;
        }
        text_ += name_;
        text_ += "{board=\"" + escapeLabelValue(board_) + "\"";
        for (const auto& [label, labelValue] : labels)
            text_ += std::string(",") + label + "=\"" + escapeLabelValue(labelValue) + "\"";
        text_ += "} " + valueText(value) + "\n";
        ++series_;
    }

    MetricsText finish() { return {std::move(text_), series_}; }

private:
    std::string board_;
    const char* name_ = "";
    const char* help_ = "";
    bool started_ = false;
    std::string text_;
    uint32_t series_ = 0;
};

/// The reading families, by the unit of the channel.
struct UnitFamily {
    SensorUnit unit;
    const char* name;
    const char* help;
};
const UnitFamily kUnitFamilies[] = {
    {SensorUnit::Volts, "zorvi_voltage_volts", "Voltage measured by a sensor of the board."},
    {SensorUnit::Amperes, "zorvi_current_amperes", "Current measured by a sensor of the board."},
    {SensorUnit::Celsius, "zorvi_temperature_celsius", "Temperature measured by a sensor of the board."},
};

Labels channelLabels(const SensorChannel& ch) { return {{"sensor", ch.label}, {"label", ch.descriptor.name}}; }

void addReadings(Exposition& e, const SensorPage& page) {
    for (const UnitFamily& f : kUnitFamilies) {
        e.family(f.name, f.help);
        for (const SensorChannel& ch : page.channels) {
            if (!ch.reserved && ch.unit == f.unit) e.sample(channelLabels(ch), ch.reportedValue());
        }
    }
    e.family("zorvi_sensor_state",
             "Status bits of a sensor: 1 for each state the board reports it in (ok, critical, over, under).");
    for (const SensorChannel& ch : page.channels) {
        if (ch.reserved) continue;
        for (const SensorBit& state : channelStatusBits()) {
            Labels labels = channelLabels(ch);
            labels.emplace_back("state", state.key);
            e.sample(labels, sensorBitSet(ch.status, state) ? 1 : 0);
        }
    }
}

bool reservedBit(const SensorBit& b) { return std::string(b.key).rfind("reserved", 0) == 0; }

void addStatusBits(Exposition& e, const SensorPage& page) {
    e.family("zorvi_status_bit", "Power-supply, configuration and clock status bits of the board (1 set, 0 clear).");
    for (uint32_t i = 0; i < kSensorRegisters; ++i) {
        const SensorRegister& reg = sensorRegisters()[i];
        for (const SensorBit& b : reg.bits) {
            if (!reservedBit(b)) e.sample({{"register", reg.key}, {"bit", b.key}}, sensorBitSet(page.registers[i], b));
        }
    }
}

void addMezzanineBits(Exposition& e, const SensorPage& page) {
    e.family("zorvi_mezzanine_bit", "Status bits of a mezzanine site (1 set, 0 clear).");
    for (uint32_t i = 0; i < kMezzanines; ++i) {
        for (const SensorBit& b : mezzanineBits()) {
            if (!reservedBit(b))
                e.sample({{"mezzanine", std::to_string(i)}, {"bit", b.key}}, sensorBitSet(page.mezzanines[i], b));
        }
    }
}

}  // namespace

constexpr const char* kLinkComment = "# zorvi link: ";

std::string escapeLabelValue(const std::string& value) {
    std::string escaped;
    escaped.reserve(value.size());
    for (const char c : value) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

std::string boardLabelIn(const std::string& text) {
    static const std::string kStart = "zorvi_up{board=\"";
    size_t at = 0;
    if (text.compare(0, kStart.size(), kStart) != 0) {
        at = text.find("\n" + kStart);
        if (at == std::string::npos) return "";
        ++at;
    }
    std::string label;
    for (size_t i = at + kStart.size(); i < text.size() && text[i] != '\n'; ++i) {
        if (text[i] == '"') return label;
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
            label += text[i] == 'n' ? '\n' : text[i];
        } else {
            label += text[i];
        }
    }
    return "";  // unterminated: not a line this program wrote
}

std::string linkIn(const std::string& text) {
    const size_t at = text.find(std::string("\n") + kLinkComment);
    if (at == std::string::npos) return "";
    const size_t from = at + 1 + std::strlen(kLinkComment), end = text.find('\n', from);
    return end == std::string::npos ? "" : text.substr(from, end - from);
}

std::optional<double> lastSuccessIn(const std::string& text) {
    static const std::string kStart = "zorvi_last_success_timestamp_seconds{";
    size_t at = text.compare(0, kStart.size(), kStart) == 0 ? 0 : text.find("\n" + kStart);
    if (at == std::string::npos) return std::nullopt;
    const size_t end = text.find('\n', at + 1);
    const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    const size_t space = line.rfind("} ");
    if (space == std::string::npos) return std::nullopt;
    double value = 0;
    const char* first = line.c_str() + space + 2;
    const auto r = std::from_chars(first, line.c_str() + line.size(), value);
    if (r.ec != std::errc() || r.ptr != line.c_str() + line.size()) return std::nullopt;
    return value;
}

MetricsText formatMetrics(const MetricsScrape& scrape) {
    const std::string serial = scrape.vpd ? std::to_string(scrape.vpd->serialNumber()) : "";
    Exposition e(scrape.vpd ? serial : scrape.fallbackBoard);
    e.family("zorvi_up", "Whether the board answered the last scrape (1) or not (0).");
    e.sample({}, scrape.up ? 1 : 0);
    if (!scrape.up && !scrape.failure.empty()) {
        e.family("zorvi_scrape_error", "Why the last scrape failed, as its reason label; only while it fails.");
        e.sample({{"reason", scrape.failure}}, 1);
    }
    if (scrape.serviceMode) {
        e.family("zorvi_mode", "The firmware the uC runs: 1 for its mode (normal or service), 0 for the other.");
        e.sample({{"mode", "normal"}}, *scrape.serviceMode ? 0 : 1);
        e.sample({{"mode", "service"}}, *scrape.serviceMode ? 1 : 0);
    }
    if (scrape.up) {
        e.family("zorvi_board_info",
                 "The board's drawing number, model, serial number and firmware version; the value is always 1.");
        e.sample({{"drawing", scrape.vpd ? std::to_string(scrape.vpd->drawingNumber()) : ""},
                  {"product", scrape.vpd && scrape.vpd->model != nullptr ? scrape.vpd->model : ""},
                  {"serial", serial},
                  {"firmware", scrape.firmware}},
                 1);
        if (scrape.powerOn) {
            e.family("zorvi_board_power_on", "1 while the board's main power is on (PSU_OFF_L high), 0 while off.");
            e.sample({}, *scrape.powerOn ? 1 : 0);
        }
        if (scrape.sensors) {
            // The sensor page's elapsed_time_counter (seconds) and event_counter.
            e.family("zorvi_elapsed_time_seconds", "The uC's elapsed time counter from its sensor page.");
            e.sample({}, scrape.sensors->elapsedTimeCounter);
            e.family("zorvi_events", "The uC's event counter from its sensor page.");
            e.sample({}, scrape.sensors->eventCounter);
            addReadings(e, *scrape.sensors);
            addStatusBits(e, *scrape.sensors);
            addMezzanineBits(e, *scrape.sensors);
        }
        if (scrape.blackBoxRecords) {
            e.family("zorvi_black_box_records", "Black-box records of the board that hold a saved sensor page.");
            e.sample({}, *scrape.blackBoxRecords);
        }
    }
    e.family("zorvi_scrape_duration_seconds", "Time the scrape of the board took.");
    e.sample({}, scrape.durationSeconds);
    if (scrape.lastSuccessSeconds) {
        e.family("zorvi_last_success_timestamp_seconds", "Unix time of the last scrape of the board that succeeded.");
        e.sample({}, *scrape.lastSuccessSeconds);
    }
    MetricsText text = e.finish();
    // A line break in the link would end the comment; links have none.
    if (!scrape.link.empty() && scrape.link.find('\n') == std::string::npos)
        text.text += kLinkComment + scrape.link + "\n";
    return text;
}
