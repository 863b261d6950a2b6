// The FPGA boot mode: the mode the uC drives onto the boot-mode pins now
// (volatile), the mode it drives from the next board power-on (kept in the
// state directory), and what the pins show. Mode 0xFF leaves the pins to
// the board's switches (--boot-switches).
#pragma once

#include "devices/board_device.h"

namespace zsim {

constexpr uint8_t kBootModeSwitches = 0xFF;

class BootModeDevice : public BoardDevice {
public:
    explicit BootModeDevice(BoardState& state);

    /// 0x96 is Get Boot Mode only as a 2-byte request (else the mezzanine's).
    std::vector<Claim> claims() const override { return {{0x05, 0x95}, {0x05, 0x96, 2}}; }
    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& request) override;
    bool loadState(const std::string& dir, std::string& error) override;
    void poweredOn() override { driven_ = next_; }

    uint8_t driven() const { return driven_; }
    uint8_t next() const { return next_; }
    /// The level of the boot-mode pins.
    uint8_t pins() const;

private:
    BoardState& state_;
    std::string dir_;
    uint8_t driven_ = kBootModeSwitches;
    uint8_t next_ = kBootModeSwitches;
};

}  // namespace zsim
