// The uC as I2C master: the I2C read (0x80), write (0x82) and write-read
// (0x94) requests, routed to the devices attached to the board's buses.
#pragma once

#include <map>
#include <memory>

#include "devices/board_device.h"

namespace zsim {

// Status bytes of the I2C requests.
constexpr uint8_t kI2cGeneralFailure = 1;     ///< read / write: any failure
constexpr uint8_t kI2cBadBus = 1;             ///< write-read: no such bus
constexpr uint8_t kI2cNack = 2;               ///< write-read: not acknowledged
constexpr uint8_t kI2cBadWriteCount = 3;      ///< write-read: write count disagrees with the request
constexpr uint8_t kI2cBadReadCount = 4;       ///< write-read: (reserved; every count 0..255 is served)

class I2cController : public BoardDevice {
public:
    explicit I2cController(BoardState& state) : state_(state) {}

    /// Makes a bus exist (devices may be attached later).
    void addBus(uint8_t bus) { buses_[bus]; }
    /// Attaches a device at a 7-bit address of a bus (creating the bus).
    void attach(uint8_t bus, uint8_t address, std::unique_ptr<I2cDevice> device) {
        buses_[bus][address] = std::move(device);
    }
    /// The device at bus/address, or null.
    I2cDevice* device(uint8_t bus, uint8_t address);

    std::vector<Claim> claims() const override { return {{0x05, 0x80}, {0x05, 0x82}, {0x05, 0x94}}; }
    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& request) override;
    bool loadState(const std::string& dir, std::string& error) override;

private:
    BoardState& state_;
    std::map<uint8_t, std::map<uint8_t, std::unique_ptr<I2cDevice>>> buses_;
};

}  // namespace zsim
