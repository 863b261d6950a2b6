// Request VPD (05 8C): the VPD copy in application flash, then the rest of
// the board's record. A VPD image written to flash is what it hands out
// afterwards, as on a real board.
#pragma once

#include "devices/app_flash.h"

namespace zsim {

class VpdRequest : public BoardDevice {
public:
    VpdRequest(BoardState& state, const ApplicationFlash& flash) : state_(state), flash_(flash) {}

    std::vector<Claim> claims() const override { return {{0x05, 0x8C}}; }
    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>&) override {
        std::vector<uint8_t> reply = {0x05, 0x0C, kStatusOk};
        const uint32_t copySize = ApplicationFlash::kVpdCopySize;
        reply.insert(reply.end(), flash_.vpdCopy(), flash_.vpdCopy() + copySize);
        reply.insert(reply.end(), state_.vpdRecord + copySize, state_.vpdRecord + kSimVpdSize);
        return reply;
    }

private:
    const BoardState& state_;
    const ApplicationFlash& flash_;
};

}  // namespace zsim
