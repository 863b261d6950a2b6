// The exposition text of a board scrape. Family names follow the usual
// conventions: the zorvi_ prefix, base units spelled out in the plural
// (volts, amperes, seconds; celsius for temperatures), a HELP and a TYPE
// line before each family's samples, and every sample of a family in one
// block. The JSON documents are read defensively: a missing or mistyped
// field leaves its series out instead of stopping the scrape.
#include "boardinfo/metrics_text.h"

#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

namespace {

using Labels = std::vector<std::pair<const char*, std::string>>;

const Json* member(const Json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

bool numberIn(const Json& object, const char* key, double* value) {
    const Json* j = member(object, key);
    if (j == nullptr || !j->is_number()) return false;
    *value = j->get<double>();
    return true;
}

std::string textIn(const Json& object, const char* key) {
    const Json* j = member(object, key);
    if (j == nullptr) return "";
    if (j->is_string()) return j->get<std::string>();
    if (j->is_number_unsigned()) return std::to_string(j->get<uint64_t>());
    if (j->is_number_integer()) return std::to_string(j->get<int64_t>());
    return "";
}

bool flagIn(const Json& object, const char* key) {
    const Json* j = member(object, key);
    return j != nullptr && j->is_boolean() && j->get<bool>();
}

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

/// The reading families, by the unit of the sensor's document.
struct UnitFamily {
    const char* unit;
    const char* name;
    const char* help;
};
const UnitFamily kUnitFamilies[] = {
    {"V", "zorvi_voltage_volts", "Voltage measured by a sensor of the board."},
    {"A", "zorvi_current_amperes", "Current measured by a sensor of the board."},
    {"celsius", "zorvi_temperature_celsius", "Temperature measured by a sensor of the board."},
};

const char* const kSensorStates[] = {"ok", "critical", "over", "under"};

bool usableSensor(const Json& sensor) { return sensor.is_object() && !flagIn(sensor, "reserved"); }

Labels sensorLabels(const Json& sensor) {
    return {{"sensor", textIn(sensor, "label")}, {"label", textIn(sensor, "description")}};
}

void addReadings(Exposition& e, const Json& sensors) {
    for (const UnitFamily& f : kUnitFamilies) {
        e.family(f.name, f.help);
        for (const Json& sensor : sensors) {
            double value = 0;
            const Json* unit = member(sensor, "unit");
            if (!usableSensor(sensor) || unit == nullptr || !unit->is_string() || *unit != f.unit) continue;
            if (numberIn(sensor, "value", &value)) e.sample(sensorLabels(sensor), value);
        }
    }
    e.family("zorvi_sensor_state",
             "Status bits of a sensor: 1 for each state the board reports it in (ok, critical, over, under).");
    for (const Json& sensor : sensors) {
        const Json* status = member(sensor, "status");
        if (!usableSensor(sensor) || status == nullptr || !status->is_object()) continue;
        for (const char* state : kSensorStates) {
            Labels labels = sensorLabels(sensor);
            labels.emplace_back("state", state);
            e.sample(labels, flagIn(*status, state) ? 1 : 0);
        }
    }
}

bool reservedBit(const std::string& name) { return name.rfind("reserved", 0) == 0; }

void addStatusBits(Exposition& e, const Json& registers) {
    e.family("zorvi_status_bit", "Power-supply, configuration and clock status bits of the board (1 set, 0 clear).");
    if (!registers.is_object()) return;
    for (const auto& [name, reg] : registers.items()) {
        const Json* bits = member(reg, "bits");
        if (bits == nullptr || !bits->is_object()) continue;
        for (const auto& [bit, set] : bits->items()) {
            if (!set.is_boolean() || reservedBit(bit)) continue;
            e.sample({{"register", name}, {"bit", bit}}, set.get<bool>() ? 1 : 0);
        }
    }
}

void addMezzanineBits(Exposition& e, const Json& mezzanines) {
    e.family("zorvi_mezzanine_bit", "Status bits of a mezzanine site (1 set, 0 clear).");
    if (!mezzanines.is_array()) return;
    for (const Json& mezzanine : mezzanines) {
        if (!mezzanine.is_object()) continue;
        const std::string index = textIn(mezzanine, "index");
        for (const auto& [bit, set] : mezzanine.items()) {
            if (!set.is_boolean() || reservedBit(bit)) continue;
            e.sample({{"mezzanine", index}, {"bit", bit}}, set.get<bool>() ? 1 : 0);
        }
    }
}

}  // namespace

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

MetricsText formatMetrics(const MetricsScrape& scrape) {
    const std::string serial = textIn(scrape.identity, "serial");
    Exposition e(serial.empty() ? scrape.fallbackBoard : serial);
    e.family("zorvi_up", "Whether the board answered the last scrape (1) or not (0).");
    e.sample({}, scrape.up ? 1 : 0);
    if (scrape.up) {
        e.family("zorvi_board_info",
                 "The board's drawing number, model, serial number and firmware version; the value is always 1.");
        e.sample({{"drawing", textIn(scrape.identity, "drawing")},
                  {"product", textIn(scrape.identity, "model")},
                  {"serial", serial},
                  {"firmware", scrape.firmware}},
                 1);
        if (const Json* sensors = member(scrape.sensors, "sensors"); sensors != nullptr && sensors->is_array())
            addReadings(e, *sensors);
        if (const Json* registers = member(scrape.sensors, "status_registers")) addStatusBits(e, *registers);
        if (const Json* mezzanines = member(scrape.sensors, "mezzanines")) addMezzanineBits(e, *mezzanines);
        if (scrape.blackBoxRecords.is_number()) {
            e.family("zorvi_black_box_records", "Black-box records of the board that hold a saved sensor page.");
            e.sample({}, scrape.blackBoxRecords.get<double>());
        }
    }
    e.family("zorvi_scrape_duration_seconds", "Time the scrape of the board took.");
    e.sample({}, scrape.durationSeconds);
    return e.finish();
}
