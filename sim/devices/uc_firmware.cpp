#include "devices/uc_firmware.h"

namespace zsim {

uint32_t normalProductId(ProductIdSet set) {
    switch (set) {
        case ProductIdSet::Alt: return 1321;
        case ProductIdSet::Xdma: return 0x2D100;
        case ProductIdSet::Standard: break;
    }
    return 721;
}

uint32_t serviceProductId(ProductIdSet set) {
    switch (set) {
        case ProductIdSet::Alt: return 1320;
        case ProductIdSet::Xdma: return 0x2D000;
        case ProductIdSet::Standard: break;
    }
    return 720;
}

uint32_t UcFirmware::productId() const {
    const SimOptions& o = state_.options;
    if (o.productIdOverride) return *o.productIdOverride;
    return state_.service ? serviceProductId(o.productIds) : normalProductId(o.productIds);
}

std::optional<std::vector<uint8_t>> UcFirmware::handle(const std::vector<uint8_t>& rq) {
    const uint8_t command = rq[1];
    std::vector<uint8_t> reply = {0x03, static_cast<uint8_t>(command & 0x7F)};
    auto put = [&reply](uint32_t x, int bytes) {
        for (int i = 0; i < bytes; ++i) reply.push_back(static_cast<uint8_t>(x >> (8 * i)));
    };
    switch (command) {
        case 0x86:  // product ID: no status byte
            put(productId(), 4);
            return reply;
        case 0x83:  // firmware version
            for (uint16_t part : (state_.service ? kServiceFirmwareVersion : kNormalFirmwareVersion).part) put(part, 2);
            return reply;
        case 0x84:  // Loopback32: the data come back as they are
            reply.insert(reply.end(), rq.begin() + 2, rq.end());
            return reply;
        default: break;
    }
    // Enter (0x80) or exit (0x82) service mode.
    const SimOptions& o = state_.options;
    if (o.refuseSwitchStatus != 0) {
        reply.push_back(o.refuseSwitchStatus);
        return reply;
    }
    if (!o.switchNoEffect) {
        // Switching firmware restarts the uC.
        state_.service = command == 0x80;
        ++state_.ucStarts;
    }
    reply.push_back(kStatusOk);
    return reply;
}

}  // namespace zsim
