// One SPI NOR flash chip, modelled at the bus level: a transfer is one
// chip-select period in which the uC clocks out the bytes it writes and
// then clocks in the bytes it reads. The chip decodes the opcode, answers
// on MISO and carries out writes, erases and register changes when chip
// select rises, as a real part does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "devices/spi_parts.h"

namespace zsim {

// Status register bits.
constexpr uint8_t kSpiStatusBusy = 0x01;  ///< write in progress
constexpr uint8_t kSpiStatusWel = 0x02;   ///< write enable latch

class SpiNorChip {
public:
    /// An erased chip of `part` (which must outlive it), kept in memory
    /// until attachFile().
    explicit SpiNorChip(const SpiPart& part);
    ~SpiNorChip();
    SpiNorChip(const SpiNorChip&) = delete;
    SpiNorChip& operator=(const SpiNorChip&) = delete;

    /// From now on the contents live in `path`, created erased when missing;
    /// what the chip held before is dropped (call it before any transfer).
    /// False with `error` when the file cannot be used.
    bool attachFile(const std::string& path, std::string& error);

    /// One chip-select period: `writeCount` bytes from `mosi`, then
    /// `readCount` bytes into `miso`.
    void transfer(const uint8_t* mosi, size_t writeCount, uint8_t* miso, size_t readCount);

    /// The reset pin (and power-up): aborts a program or erase, leaves
    /// 4-byte mode, clears the latches and address registers.
    void hardwareReset();

    /// Busy time after each page program and each erase, in microseconds.
    void setBusyTimes(uint32_t programUs, uint32_t eraseUs) {
        programUs_ = programUs;
        eraseUs_ = eraseUs;
    }
    /// A dead chip: once a program or erase starts, it stays busy for good.
    void setStuckBusy(bool stuck) { stuckBusy_ = stuck; }
    /// The clock for busy times (microseconds); tests drive their own.
    void setClock(std::function<uint64_t()> nowUs) { nowUs_ = std::move(nowUs); }

    // Inspection.
    /// False when no memory could be had for the contents.
    bool usable() const { return stored_ != nullptr; }
    const SpiPart& part() const { return part_; }
    uint8_t byteAt(uint64_t address) const { return static_cast<uint8_t>(~stored_[address % part_.capacity]); }
    uint8_t statusRegister() const;
    bool fourByteMode() const { return fourByte_; }

private:
    void execute(const uint8_t* in, uint8_t* out, size_t n, size_t writeCount);
    bool busy() const;
    void startBusy(uint32_t us);
    void softReset();
    size_t addressBytes(bool forceFour) const;
    uint64_t address(const uint8_t* in, size_t width) const;
    void program(uint64_t address, const uint8_t* data, size_t count);
    void erase(uint64_t address, int type);
    void erased(uint64_t start, uint64_t length);
    void release();

    const SpiPart& part_;
    // Contents stored complemented (erased = 0x00), so that an erased chip
    // is zero pages: free in memory and a sparse file on disk.
    uint8_t* stored_ = nullptr;
    int fd_ = -1;

    bool fourByte_ = false;
    bool wel_ = false;
    bool resetEnabled_ = false;
    uint8_t bank_ = 0;
    uint8_t extAddr_ = 0;
    uint64_t busyUntil_ = 0;
    bool stuckBusy_ = false;
    bool stuckNow_ = false;
    uint32_t programUs_ = 0;
    uint32_t eraseUs_ = 0;
    std::function<uint64_t()> nowUs_;
};

}  // namespace zsim
