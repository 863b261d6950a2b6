// The uC's firmware itself (group 0x03): product ID, firmware version,
// Loopback32, and the switches into and out of service mode, which restart
// the uC. Both firmwares answer these.
#pragma once

#include "devices/board_device.h"

namespace zsim {

/// Firmware versions the two firmwares report (0x03 0x83).
struct FirmwareVersion {
    uint16_t part[4];
};
constexpr FirmwareVersion kNormalFirmwareVersion = {{4, 26, 0, 7}};
constexpr FirmwareVersion kServiceFirmwareVersion = {{1, 3, 0, 2}};

uint32_t normalProductId(ProductIdSet set);
uint32_t serviceProductId(ProductIdSet set);

class UcFirmware : public BoardDevice {
public:
    explicit UcFirmware(BoardState& state) : state_(state) {}

    std::vector<Claim> claims() const override { return {{0x03, 0x80}, {0x03, 0x82}, {0x03, 0x83}, {0x03, 0x84}, {0x03, 0x86}}; }
    Firmware firmware() const override { return Firmware::Both; }
    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& request) override;

    /// The product ID the running firmware reports.
    uint32_t productId() const;

private:
    BoardState& state_;
};

}  // namespace zsim
