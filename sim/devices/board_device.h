// Devices behind the simulated uC: each model (SPI flash chips, I2C buses and
// their devices, clock generators, boot mode, power, SMBus address) lives in
// its own file under sim/devices and answers the board-function requests
// (group 0x05) it owns. The board only routes: it checks the firmware mode
// and hands the request to the device that owns its command byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/options.h"

namespace zsim {

/// Board-wide state that several devices share. The board owns it; devices
/// keep a reference.
struct BoardState {
    explicit BoardState(const SimOptions& o) : options(o) {}
    const SimOptions& options;
    /// Board power: the devices on the board's main power (SPI flash, I2C
    /// devices, clock generators) are only reachable while it is on.
    bool powered = true;
    /// The last state-saving failure; the server reports it.
    std::string saveError;
};

class BoardDevice {
public:
    virtual ~BoardDevice() = default;
    /// True when this device answers group-0x05 requests with this command
    /// byte (bit 7 set).
    virtual bool owns(uint8_t command) const = 0;
    /// True when this device answers this particular request; by default
    /// every request with a command byte it owns. Two devices that share a
    /// command byte tell their requests apart here (0x96 is Get Boot Mode
    /// with 2 bytes, Get mezzanine voltage with 3).
    virtual bool accepts(const std::vector<uint8_t>& request) const { return owns(request[1]); }
    /// True when the service firmware answers this device's requests too.
    virtual bool servesInServiceMode() const { return false; }
    /// The reply to one request this device owns (the board has already
    /// checked that the normal firmware runs); nullopt: no reply at all.
    virtual std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& request) = 0;
    /// Loads saved state from the state directory (never called without
    /// one) and creates its files; false with `error` when unusable.
    virtual bool loadState(const std::string& dir, std::string& error) {
        (void)dir;
        (void)error;
        return true;
    }
    /// The board's main power came on: settings kept for the next power-on
    /// take effect.
    virtual void poweredOn() {}
    /// The uC restarted (its firmware changed between normal and service):
    /// settings kept for its next start take effect.
    virtual void ucRestarted() {}
};

/// One device on a simulated I2C bus, modelled at the bus level: a write
/// transaction carries the bytes after the address byte, a read transaction
/// returns `count` bytes. False: the device did not acknowledge.
class I2cDevice {
public:
    virtual ~I2cDevice() = default;
    virtual bool write(const uint8_t* data, size_t count) = 0;
    virtual bool read(uint8_t* data, size_t count) = 0;
    /// A write transaction as the master sees it: how many of the `count`
    /// bytes the device acknowledged (it stops the transfer at the first
    /// byte it refuses), or -1 when it did not acknowledge its address.
    virtual int writeAcked(const uint8_t* data, size_t count) {
        return write(data, count) ? static_cast<int>(count) : -1;
    }
    virtual bool loadState(const std::string& dir, std::string& error) {
        (void)dir;
        (void)error;
        return true;
    }
};

/// Every device of the board the options describe, in routing order.
std::vector<std::unique_ptr<BoardDevice>> makeBoardDevices(BoardState& state);

}  // namespace zsim
