#include "devices/uc_firmware.h"

namespace zsim {

namespace {

// Product IDs of the normal and the service firmware, per --product-ids set
// (standard, alt, xdma), and the versions the two firmwares report.
constexpr uint32_t kProductIds[3][2] = {{721, 720}, {1321, 1320}, {0x2D100, 0x2D000}};
constexpr uint16_t kFirmwareVersions[2][4] = {{4, 26, 0, 7}, {1, 3, 0, 2}};

}  // namespace

uint32_t UcFirmware::productId() const {
    const SimOptions& o = state_.options;
    if (o.productIdOverride) return *o.productIdOverride;
    return kProductIds[static_cast<int>(o.productIds)][state_.service ? 1 : 0];
}

std::optional<std::vector<uint8_t>> UcFirmware::handle(const std::vector<uint8_t>& rq) {
    if (rq[0] == 0xFF) return std::nullopt;  // test-timeout
    const uint8_t command = rq[1];
    if (rq[0] == 0x05) return statusReply(0x05, command, state_.service ? kStatusWrongMode : kStatusOk);
    std::vector<uint8_t> reply = {0x03, static_cast<uint8_t>(command & 0x7F)};
    auto put = [&reply](uint32_t x, int bytes) {
        for (int i = 0; i < bytes; ++i) reply.push_back(static_cast<uint8_t>(x >> (8 * i)));
    };
    switch (command) {
        case 0x86:  // product ID: no status byte
            put(productId(), 4);
            return reply;
        case 0x83:  // firmware version
            for (uint16_t part : kFirmwareVersions[state_.service ? 1 : 0]) put(part, 2);
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
