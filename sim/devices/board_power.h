// The board's main power: the software power request the uC keeps, the
// hardware request (always "on" here) and the power-supply-off signal. It
// switches BoardState::powered, which the devices on main power read. The
// request is not kept: a start of the simulator powers the board.
#pragma once

#include "devices/board_device.h"

namespace zsim {

class BoardPowerDevice : public BoardDevice {
public:
    explicit BoardPowerDevice(BoardState& state) : state_(state) {}

    std::vector<Claim> claims() const override { return {{0x05, 0x97}, {0x05, 0x98}}; }
    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& request) override;

private:
    BoardState& state_;
    bool softwareOff_ = false;
};

}  // namespace zsim
