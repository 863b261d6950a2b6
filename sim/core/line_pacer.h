// Pacing of one direction of a serial line: bytes leave one after another at
// the line's baud rate, 10 bits per byte (start bit, 8 data bits, stop bit),
// and a byte is through only when its stop bit is.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace zsim {

class LinePacer {
public:
    /// `baud` bits per second; 0: an unpaced line (every byte through at once).
    explicit LinePacer(uint32_t baud) : baud_(baud) {}

    bool paced() const { return baud_ != 0; }

    /// Puts `count` bytes, ready at `readyNs`, on the line behind those
    /// before them; returns the time (ns) the last of them is through.
    uint64_t send(uint64_t readyNs, size_t count) {
        if (baud_ == 0) return readyNs;
        // The line time is kept in whole bits, so long runs do not drift.
        if (readyNs >= idleNs_) {
            startNs_ = readyNs;
            bits_ = 0;
        }
        bits_ += 10 * static_cast<uint64_t>(count);
        idleNs_ = startNs_ + bits_ * 1000000000ull / baud_;
        return idleNs_;
    }

private:
    uint32_t baud_;
    uint64_t startNs_ = 0;  // the line last went busy then
    uint64_t bits_ = 0;     // bits sent since
    uint64_t idleNs_ = 0;   // the line is free again then
};

}  // namespace zsim
