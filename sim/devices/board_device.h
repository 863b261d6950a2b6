// Devices behind the simulated uC: each model (identity and firmware,
// application flash, VPD, sensors, SPI flash chips, I2C buses and their
// devices, clock generators, boot mode, power, SMBus address) lives in its
// own file under sim/devices and claims the requests it answers. The board
// only routes: it hands each request to the device that claims it, once the
// firmware that runs is one that serves the device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "boards/board_data.h"
#include "core/options.h"

namespace zsim {

// Status bytes of this uC's replies. The real firmware's numbering beyond 0
// is not published; these are the simulator's choice.
constexpr uint8_t kStatusOk = 0x00;
constexpr uint8_t kStatusBadParameter = 0x01;  ///< bad index, page, action or request length
constexpr uint8_t kStatusWrongMode = 0x02;     ///< flash commands in normal firmware, board functions in service firmware
constexpr uint8_t kStatusUnknownCommand = 0xFF;

/// The 3-byte status form of a reply: group, reply code, status.
inline std::vector<uint8_t> statusReply(uint8_t group, uint8_t command, uint8_t status) {
    return {group, static_cast<uint8_t>(command & 0x7F), status};
}

/// Board-wide state that several devices share. The board owns it; devices
/// keep a reference.
struct BoardState {
    explicit BoardState(const SimOptions& o) : options(o), service(o.service) { buildOptionVpd(o, vpdRecord); }
    const SimOptions& options;
    /// The service firmware runs (else the normal one).
    bool service;
    /// Starts of the uC's firmware since power-on: a switch into or out of
    /// service mode restarts it, even a switch to the mode it is in.
    uint32_t ucStarts = 0;
    /// Board power: the devices on the board's main power (SPI flash, I2C
    /// devices, clock generators) are only reachable while it is on.
    bool powered = true;
    /// The board's VPD record as the options describe it.
    uint8_t vpdRecord[kSimVpdSize];
    /// The last state-saving failure; the server reports it.
    std::string saveError;
};

/// A request a device answers: group and command byte (bit 7 set), and,
/// where two devices share both, the request length that picks this one
/// (0: any length no other claim names).
struct Claim {
    uint8_t group;
    uint8_t command;
    size_t length = 0;
};

/// Which firmware answers a device's requests; the other one answers them
/// with kStatusWrongMode.
enum class Firmware { Normal, Service, Both };

class BoardDevice {
public:
    virtual ~BoardDevice() = default;
    /// The requests this device answers.
    virtual std::vector<Claim> claims() const = 0;
    /// The firmware that answers them.
    virtual Firmware firmware() const { return Firmware::Normal; }
    /// The reply to one request this device claims (the board has already
    /// checked the firmware); nullopt: no reply at all.
    virtual std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& request) = 0;
    /// Loads saved state from the state directory (never called without
    /// one) and creates its files; false with `error` when unusable.
    virtual bool loadState(const std::string& dir, std::string& error) {
        (void)dir;
        (void)error;
        return true;
    }
    /// Every device has loaded its state: writes what it keeps in whole
    /// files from the start; false with `error` when it cannot.
    virtual bool stateLoaded(std::string& error) {
        (void)error;
        return true;
    }
    /// The board's main power came on: settings kept for the next power-on
    /// take effect.
    virtual void poweredOn() {}
    /// The uC restarted (a switch into or out of service mode): settings
    /// kept for its next start take effect.
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

/// Every device of the board the options describe, in routing order: the
/// ones registry.cpp wires together, then the ones that register
/// themselves, by name.
std::vector<std::unique_ptr<BoardDevice>> makeBoardDevices(BoardState& state);

/// A device that needs nothing but the board's state registers itself from
/// its own file with ZSIM_BOARD_DEVICE(Class), so that adding one is that
/// file alone. Returns true, for the static initialiser.
using DeviceFactory = std::unique_ptr<BoardDevice> (*)(BoardState& state);
bool registerBoardDevice(const char* name, DeviceFactory make);

#define ZSIM_BOARD_DEVICE(Type)                                                                   \
    [[maybe_unused]] static const bool zsimRegistered##Type = ::zsim::registerBoardDevice(       \
        #Type, [](::zsim::BoardState& s) -> std::unique_ptr<::zsim::BoardDevice> {               \
            return std::make_unique<Type>(s);                                                     \
        })

}  // namespace zsim
