#include "devices/sensors.h"

#include <chrono>
#include <cstdio>
#include <fstream>

namespace zsim {
namespace {

const char* const kOverridesFile = "overrides.txt";

}  // namespace

SensorMonitor::SensorMonitor(BoardState& state) : state_(state) {
    if (const std::optional<uint32_t> frozen = state.options.sensorSeconds) {
        clock_ = [seconds = *frozen] { return seconds; };
        return;
    }
    auto start = std::chrono::steady_clock::now();
    clock_ = [start] {
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count());
    };
}

bool SensorMonitor::loadState(const std::string& dir, std::string&) {
    dir_ = dir;
    std::ifstream f(dir + "/" + kOverridesFile);
    uint32_t index = 0, value = 0;
    while (f >> index >> value) overrides_[index] = value;
    return true;
}

void SensorMonitor::saveOverrides() {
    if (dir_.empty()) return;
    const std::string path = dir_ + "/" + kOverridesFile;
    const std::string tmp = path + ".tmp";
    {
        std::ofstream f(tmp, std::ios::trunc);
        for (const auto& [index, value] : overrides_) f << index << ' ' << value << '\n';
        f.close();
        if (!f) {
            state_.saveError = "cannot write '" + tmp + "'";
            return;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) state_.saveError = "cannot rename '" + tmp + "'";
}

std::optional<std::vector<uint8_t>> SensorMonitor::handle(const std::vector<uint8_t>& rq) {
    const uint8_t command = rq[1];
    const uint32_t model = state_.options.model;
    std::vector<uint8_t> reply = {0x05, static_cast<uint8_t>(command & 0x7F), kStatusOk};
    if (command == 0x89) {  // Request Sensors
        uint8_t page[kSimSensorPageSize];
        buildSensorPage(model, state_.vpdRecord[0x0C], clock_(), page);
        for (const auto& [index, value] : overrides_) applySensorOverride(page, index, value);
        reply.insert(reply.end(), page, page + kSimSensorPageSize);
        return reply;
    }
    if (command == 0x8A) {  // Request Black Box record
        if (rq.size() < 3 || rq[2] >= kSimBlackBoxRecords) return statusReply(0x05, command, kStatusBadParameter);
        uint8_t records[kSimBlackBoxRecords][kSimSensorPageSize];
        buildBlackBox(model, records);
        reply.insert(reply.end(), records[rq[2]], records[rq[2]] + kSimSensorPageSize);
        return reply;
    }
    // Override (action 1) or release (0) sensor: index, u32 value, action.
    if (rq.size() < 8) return statusReply(0x05, command, kStatusBadParameter);
    const uint32_t index = rq[2];
    const uint32_t value = static_cast<uint32_t>(rq[3]) | static_cast<uint32_t>(rq[4]) << 8 |
                           static_cast<uint32_t>(rq[5]) << 16 | static_cast<uint32_t>(rq[6]) << 24;
    const uint8_t action = rq[7];
    if (!modelHasSensor(model, index) || action > 1) return statusReply(0x05, command, kStatusBadParameter);
    if (action == 1)
        overrides_[index] = value;
    else
        overrides_.erase(index);
    saveOverrides();
    return reply;
}

}  // namespace zsim
