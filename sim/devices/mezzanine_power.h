// Forced mezzanine I/O voltage per mezzanine site: the setting in force now
// (volatile) and the one applied at the next board power-on (kept in the
// state directory). A requested voltage of 0 or 0xFFFF means not forced.
#pragma once

#include <array>

#include "devices/board_device.h"

namespace zsim {

constexpr uint8_t kMezzanineSites = 2;
/// Voltages the mezzanine I/O regulator can force.
constexpr uint16_t kMinForcedMv = 800;
constexpr uint16_t kMaxForcedMv = 3600;

struct MezzanineSetting {
    uint16_t requested = 0;
    uint16_t minimum = 0;
    uint16_t maximum = 0;
    bool operator==(const MezzanineSetting&) const = default;
};

class MezzaninePowerDevice : public BoardDevice {
public:
    explicit MezzaninePowerDevice(BoardState& state) : state_(state) {}

    /// 0x96 is Get mezzanine voltage unless it is the 2-byte Get Boot Mode.
    std::vector<Claim> claims() const override { return {{0x05, 0x8B}, {0x05, 0x99}, {0x05, 0x96}, {0x05, 0x9A}}; }
    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& request) override;
    bool loadState(const std::string& dir, std::string& error) override;
    void poweredOn() override { now_ = next_; }

    const MezzanineSetting& now(uint8_t site) const { return now_[site]; }
    const MezzanineSetting& next(uint8_t site) const { return next_[site]; }

private:
    void save();

    BoardState& state_;
    std::string dir_;
    std::array<MezzanineSetting, kMezzanineSites> now_{};
    std::array<MezzanineSetting, kMezzanineSites> next_{};
};

}  // namespace zsim
