// What the exported functions (zorviapi.cpp) need of the operating system:
// a serial port opened, set up, written, read with a time-out and closed.
// port_posix.cpp (with port_speed_linux.cpp) and port_win32.cpp provide it;
// the argument checks, the framing and the exchange itself are written once
// above them. Every routine reports a ZORVI_STATUS and prints nothing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zorvi.h"

namespace zorvi::port {

/// Microseconds on a clock that only moves forward.
uint64_t monotonicUs();

/// The end of an exchange, or no end at all.
class Deadline {
public:
    /// `timeoutUs` of 0 means no limit.
    static Deadline after(uint32_t timeoutUs) {
        Deadline d;
        d.unlimited_ = timeoutUs == 0;
        if (!d.unlimited_) d.endUs_ = monotonicUs() + timeoutUs;
        return d;
    }
    bool unlimited() const { return unlimited_; }
    bool expired() const { return !unlimited_ && monotonicUs() >= endUs_; }
    /// Microseconds left; 0 once the deadline has passed. Only for a
    /// limited deadline.
    uint64_t remainingUs() const {
        const uint64_t now = monotonicUs();
        return now < endUs_ ? endUs_ - now : 0;
    }

private:
    bool unlimited_ = true;
    uint64_t endUs_ = 0;
};

/// False for a handle value that cannot name a port of this platform; such
/// values are refused before they reach the system.
bool isPort(ZORVI_HANDLE handle);

/// Open the named port for reading and writing, exclusively and for raw
/// 8-bit traffic, then drain what it holds. `openW` takes the name as
/// Unicode text.
ZORVI_STATUS openA(const char* name, ZORVI_HANDLE* handle);
ZORVI_STATUS openW(const wchar_t* name, ZORVI_HANDLE* handle);

/// Changes only the line speed; ZORVI_BAUD_RATE_FAILED when it cannot.
ZORVI_STATUS setSpeed(ZORVI_HANDLE handle, uint32_t baud);

/// Writes all `length` bytes before the deadline; what a timed-out write
/// leaves unsent is discarded, so the next exchange does not wait behind it.
ZORVI_STATUS write(ZORVI_HANDLE handle, const uint8_t* data, size_t length, const Deadline& deadline);

/// The next byte of the line, waiting for it until the deadline. A byte
/// that is not taken stays for the next exchange: nothing after the end of
/// a reply's frame is lost.
ZORVI_STATUS readByte(ZORVI_HANDLE handle, uint8_t* byte, const Deadline& deadline);

/// Closes the port; the handle is released even when this fails.
ZORVI_STATUS close(ZORVI_HANDLE handle);

}  // namespace zorvi::port
