#include "devices/si5338.h"

#include <cstdio>

namespace zsim {
namespace {

constexpr uint32_t kPageRegister = 255;
constexpr uint32_t kStatusRegister = 218;
constexpr uint32_t kSoftResetRegister = 246;
constexpr uint8_t kSoftResetBit = 0x02;
// Identification: revision B (0), base number 38 (2), grade B (3, bits 3-7)
// and the configuration code 12345 (3 bit 0, 5, 4).
constexpr uint8_t kIdentity[6] = {0x01, 0x00, 0x26, 0x10, 0x39, 0x30};
// Frequency-calibration result in 235, 236, 237 once the PLL has locked.
constexpr uint8_t kCalibration[3] = {0x9E, 0x41, 0x01};
const char* const kWriteLog = "si5338-writes.txt";

bool readOnly(uint32_t index) {
    return index <= 5 || index == kStatusRegister || (index >= 235 && index <= 237);
}

}  // namespace

Si5338::Si5338(BoardState& state) : state_(state) {
    for (uint32_t i = 0; i < sizeof kIdentity; ++i) regs_[i] = kIdentity[i];
    regs_[230] = 0x10;  // outputs off until configured
}

bool Si5338::loadState(const std::string& dir, std::string& error) {
    logPath_ = dir + "/" + kWriteLog;
    std::FILE* f = std::fopen(logPath_.c_str(), "w");
    if (f == nullptr) {
        error = "cannot create '" + logPath_ + "'";
        return false;
    }
    std::fclose(f);
    return true;
}

uint32_t Si5338::fullIndex(uint8_t address) const {
    if (address == kPageRegister) return kPageRegister;
    return (regs_[kPageRegister] & 1u) * 256u + address;
}

bool Si5338::write(const uint8_t* data, size_t count) {
    if (count == 0) return true;
    address_ = data[0];
    for (size_t i = 1; i < count; ++i) writeRegister(fullIndex(address_++), data[i]);
    return true;
}

bool Si5338::read(uint8_t* data, size_t count) {
    for (size_t i = 0; i < count; ++i) data[i] = readRegister(fullIndex(address_++));
    return true;
}

uint8_t Si5338::readRegister(uint32_t index) {
    if (index >= kSi5338Registers) return 0;
    const SimOptions& o = state_.options;
    // The PLL locks only on a valid input clock.
    const bool clockValid = o.si5338ClkinReads && statusReads_ >= *o.si5338ClkinReads;
    const bool locked = clockValid && reset_ && o.si5338LockReads && readsSinceReset_ >= *o.si5338LockReads;
    if (index == kStatusRegister) {
        uint8_t status = 0;
        if (!clockValid) status |= kSi5338LosClkin;
        if (!locked) status |= kSi5338SysCal | kSi5338PllLol;
        ++statusReads_;
        if (reset_) ++readsSinceReset_;
        return status;
    }
    if (index >= 235 && index <= 237) return locked ? kCalibration[index - 235] : 0;
    return regs_[index];
}

void Si5338::writeRegister(uint32_t index, uint8_t value) {
    char line[16];
    std::snprintf(line, sizeof line, "%u=%02X", index, value);
    writes_.push_back(line);
    if (!logPath_.empty()) {
        std::FILE* f = std::fopen(logPath_.c_str(), "a");
        if (f == nullptr || std::fprintf(f, "%s\n", line) < 0) state_.saveError = "cannot write '" + logPath_ + "'";
        if (f != nullptr) std::fclose(f);
    }
    if (index >= kSi5338Registers || readOnly(index)) return;
    if (index == kSoftResetRegister && (value & kSoftResetBit) != 0) {
        // The soft reset starts a new calibration and lock; the bit clears itself.
        reset_ = true;
        readsSinceReset_ = 0;
        value = static_cast<uint8_t>(value & ~kSoftResetBit);
    }
    regs_[index] = value;
}

}  // namespace zsim
