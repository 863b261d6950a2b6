// Direct access to the devices on the board's I2C buses through the uC:
// block reads and writes, a combined write-read, and byte-by-byte transfers
// between a register range and a binary file (file byte k belongs to
// register (start + k) mod 256).
#pragma once

#include <cstdint>

#include "link/connection.h"

/// Verb i2c-read.
[[nodiscard]] Result i2cRead(uint32_t count, ConnectionContext* ctx, bool verbose, uint32_t bus, uint32_t device,
                             uint32_t reg);
/// Verb i2c-write: `count` data bytes at register `reg`.
[[nodiscard]] Result i2cWrite(ConnectionContext* ctx, bool verbose, uint32_t bus, uint32_t device, uint32_t reg,
                              const uint8_t* data, uint32_t count);
/// Verb i2c-write-read.
[[nodiscard]] Result i2cWriteRead(ConnectionContext* ctx, bool verbose, uint32_t bus, uint32_t device,
                                  uint32_t writeCount, uint32_t readCount, const uint8_t* writeBytes);
/// Verb i2c-read-to-file.
[[nodiscard]] Result i2cReadToFile(const char* path, uint32_t reg, ConnectionContext* ctx, bool verbose, uint32_t bus,
                                   uint32_t device, uint32_t count);
/// Verb i2c-write-from-file.
[[nodiscard]] Result i2cWriteFromFile(uint32_t reg, const char* path, ConnectionContext* ctx, bool verbose,
                                      uint32_t bus, uint32_t device);
/// Verb i2c-verify-with-file.
[[nodiscard]] Result i2cVerifyWithFile(const char* path, ConnectionContext* ctx, bool verbose, uint32_t bus,
                                       uint32_t device, uint32_t reg);

/// What the transferred-count byte of a write-read reply says. Every phase
/// puts its address byte on the bus before its data.
struct WriteReadOutcome {
    uint32_t expected = 0;      ///< bytes a complete transaction moves
    uint32_t dataOffset = 0;    ///< bus bytes before the first byte read
    uint32_t transferred = 0;   ///< the uC's count, at most `expected`
    bool moreThanExpected = false;
    bool lessThanExpected = false;
    bool writeTruncated = false;
    bool readTruncated = false;  ///< some, not all, bytes were read
    bool noneRead = false;       ///< a read phase was asked for and nothing came
    uint32_t bytesRead = 0;      ///< data bytes to show
};
WriteReadOutcome analyzeWriteRead(uint32_t writeCount, uint32_t readCount, uint32_t transferred);
