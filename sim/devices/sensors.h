// The board's sensor monitor: the sensor page (05 89) with the elapsed-time
// counter and any overridden channels, the black-box records (05 8A), and
// overriding or releasing a channel (05 81). Overrides are kept in
// DIR/overrides.txt ("index value" lines, rewritten after every change).
#pragma once

#include <functional>
#include <map>

#include "devices/board_device.h"

namespace zsim {

class SensorMonitor : public BoardDevice {
public:
    explicit SensorMonitor(BoardState& state);

    std::vector<Claim> claims() const override { return {{0x05, 0x81}, {0x05, 0x89}, {0x05, 0x8A}}; }
    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& request) override;
    bool loadState(const std::string& dir, std::string& error) override;

    const std::map<uint32_t, uint32_t>& overrides() const { return overrides_; }

private:
    void saveOverrides();

    BoardState& state_;
    std::string dir_;
    std::map<uint32_t, uint32_t> overrides_;
    std::function<uint32_t()> clock_;
};

}  // namespace zsim
