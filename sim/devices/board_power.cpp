#include "devices/board_power.h"

namespace zsim {

std::optional<std::vector<uint8_t>> BoardPowerDevice::handle(const std::vector<uint8_t>& rq) {
    std::vector<uint8_t> reply = {0x05, static_cast<uint8_t>(rq[1] & 0x7F)};
    const bool hardwareOff = false;
    if (rq[1] == 0x98) {
        const bool supplyOff = softwareOff_ || hardwareOff;
        reply.insert(reply.end(), {0, softwareOff_ ? uint8_t{1} : uint8_t{0}, hardwareOff ? uint8_t{1} : uint8_t{0},
                                   supplyOff ? uint8_t{1} : uint8_t{0}});
        return reply;
    }
    // Set board power: the off flag, 1 = off, 0 = on.
    if (rq.size() != 3) {
        reply.push_back(1);
        return reply;
    }
    if (rq[2] > 1) {
        reply.push_back(2);
        return reply;
    }
    softwareOff_ = rq[2] == 1;
    state_.powered = !(softwareOff_ || hardwareOff);
    reply.push_back(0);
    return reply;
}

}  // namespace zsim
