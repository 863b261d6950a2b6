// The uC's firmware itself: product ID, firmware version, Loopback32 and
// the switches into and out of service mode, which restart the uC (group
// 0x03); and its test requests: test-clobber (05 86), a board function the
// service firmware refuses, and test-timeout (FF 81), never answered.
#pragma once

#include "devices/board_device.h"

namespace zsim {

class UcFirmware : public BoardDevice {
public:
    explicit UcFirmware(BoardState& state) : state_(state) {}

    std::vector<Claim> claims() const override {
        return {{0x03, 0x80}, {0x03, 0x82}, {0x03, 0x83}, {0x03, 0x84}, {0x03, 0x86}, {0x05, 0x86}, {0xFF, 0x81}};
    }
    Firmware firmware() const override { return Firmware::Both; }
    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& request) override;

    /// The product ID the running firmware reports.
    uint32_t productId() const;

private:
    BoardState& state_;
};

}  // namespace zsim
