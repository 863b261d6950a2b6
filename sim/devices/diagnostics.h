// The uC's test requests: test-clobber (05 86), a board function answered
// with status 0, and test-timeout (FF 81), which is never answered.
#pragma once

#include "devices/board_device.h"

namespace zsim {

class Diagnostics : public BoardDevice {
public:
    explicit Diagnostics(BoardState& state) : state_(state) {}

    std::vector<Claim> claims() const override { return {{0x05, 0x86}, {0xFF, 0x81}}; }
    Firmware firmware() const override { return Firmware::Both; }
    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& rq) override {
        if (rq[0] == 0xFF) return std::nullopt;
        // Test-clobber is a board function: the service firmware refuses it.
        return statusReply(0x05, rq[1], state_.service ? kStatusWrongMode : kStatusOk);
    }

private:
    BoardState& state_;
};

}  // namespace zsim
