// The port layer of the serial link on POSIX systems: a tty opened
// exclusively in raw 8-bit mode, exact writes and one-byte reads bounded by
// one deadline. Every routine reports a ZORVI_STATUS and prints nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#include "zorvi.h"

namespace zorvi {

/// The end of an exchange on the monotonic clock, or no end at all.
class Deadline {
public:
    /// `timeoutUs` of 0 means no limit.
    static Deadline after(uint32_t timeoutUs);

    bool unlimited() const { return unlimited_; }
    bool expired() const;
    /// Time left; false once the deadline has passed. Only for a limited
    /// deadline.
    bool remaining(timespec* left) const;

private:
    bool unlimited_ = true;
    timespec end_{};
};

/// Opens `path` for reading and writing, non-blocking, exclusively and in
/// raw 8-bit mode, then drains it. On success `*fd` is the open descriptor.
ZORVI_STATUS openPort(const char* path, int* fd);

/// Releases the exclusive hold and closes the descriptor.
ZORVI_STATUS closePort(int fd);

/// Discards what the port holds until the line has been quiet for a while.
/// Never fails: a port that cannot be drained is used as it is.
void drainPort(int fd);

/// Writes all `length` bytes, looping over partial writes until done or the
/// deadline passes; on a time-out the port's unsent output is discarded.
ZORVI_STATUS writeExact(int fd, const uint8_t* data, size_t length, const Deadline& deadline);

/// Reads exactly one byte, waiting for it until the deadline. One byte per
/// read so that nothing after a frame's end byte is taken from the port.
ZORVI_STATUS readByte(int fd, uint8_t* byte, const Deadline& deadline);

/// Sets only the line speed, standard or not (serial_baud_linux.cpp).
ZORVI_STATUS setPortSpeed(int fd, uint32_t baud);

}  // namespace zorvi
