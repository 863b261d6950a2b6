// Devices on the simulated I2C buses besides the clock chips.
#pragma once

#include <array>
#include <string>

#include "devices/board_device.h"

namespace zsim {

/// A 256-byte EEPROM. The first byte of a write sets its address pointer,
/// later bytes are stored from there; reads continue from the pointer; the
/// pointer wraps from 0xFF to 0x00 (no page boundaries). The upper quarter
/// (0xC0..0xFF) is write-protected and ends in a 6-byte node ID built from
/// the board's serial number: the EEPROM does not acknowledge a data byte
/// for it, which ends the transfer. The contents are kept in the state
/// directory.
class I2cEeprom : public I2cDevice {
public:
    static constexpr size_t kSize = 256;
    static constexpr uint8_t kProtectedFrom = 0xC0;

    I2cEeprom(BoardState& state, std::string fileName);

    bool write(const uint8_t* data, size_t count) override;
    bool read(uint8_t* data, size_t count) override;
    int writeAcked(const uint8_t* data, size_t count) override;
    bool loadState(const std::string& dir, std::string& error) override;

    const std::array<uint8_t, kSize>& contents() const { return bytes_; }

private:
    void save();

    BoardState& state_;
    std::string fileName_;
    std::string path_;
    std::array<uint8_t, kSize> bytes_;
    uint8_t pointer_ = 0;
};

/// A device that is fitted but held in reset: it acknowledges nothing.
class I2cSilentDevice : public I2cDevice {
public:
    bool write(const uint8_t*, size_t) override { return false; }
    bool read(uint8_t*, size_t) override { return false; }
};

}  // namespace zsim
