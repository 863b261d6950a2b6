// A simulated SI5338 clock chip on an I2C bus: 351 registers in two pages
// selected by register 255, the identification registers, the status
// register 218 whose input-clock and lock bits clear after a configurable
// number of readings, the frequency-calibration registers 235-237, and a
// record of every register write (in memory and, with a state directory,
// in si5338-writes.txt, started afresh at each power-on).
#pragma once

#include <string>
#include <vector>

#include "devices/board_device.h"

namespace zsim {

/// Where the board's SI5338 sits: I2C bus 1, address 0x70 (the chip's
/// default address).
constexpr uint8_t kSi5338Bus = 1;
constexpr uint8_t kSi5338Address = 0x70;

constexpr uint32_t kSi5338Registers = 351;
/// Status register 218 bits.
enum Si5338Status : uint8_t { kSi5338SysCal = 0x01, kSi5338LosClkin = 0x04, kSi5338PllLol = 0x10 };

class Si5338 : public I2cDevice {
public:
    explicit Si5338(BoardState& state);

    /// data[0] is the register address; further bytes are written from it
    /// on (the address advancing).
    bool write(const uint8_t* data, size_t count) override;
    /// Reads from the register address last written, advancing.
    bool read(uint8_t* data, size_t count) override;
    /// Starts the write record in the state directory afresh.
    bool loadState(const std::string& dir, std::string& error) override;

    /// Register by full index (page 1 registers are 256..350).
    uint8_t reg(uint32_t index) const { return index < kSi5338Registers ? regs_[index] : 0; }
    /// Every register write so far, "index=VV" (e.g. "230=10").
    const std::vector<std::string>& writes() const { return writes_; }

private:
    uint32_t fullIndex(uint8_t address) const;
    uint8_t readRegister(uint32_t index);
    void writeRegister(uint32_t index, uint8_t value);

    BoardState& state_;
    uint8_t regs_[kSi5338Registers] = {};
    uint8_t address_ = 0;
    uint32_t statusReads_ = 0;        ///< readings of 218 since power-on
    bool reset_ = false;              ///< a soft reset started a lock attempt
    uint32_t readsSinceReset_ = 0;    ///< readings of 218 since the soft reset
    std::string logPath_;
    std::vector<std::string> writes_;
};

}  // namespace zsim
