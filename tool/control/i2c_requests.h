// The uC's I2C read and write requests (group 0x05), shared by the I2C verbs
// and the clock-chip programming that drives a chip register by register.
#pragma once

#include <cstdint>

#include "link/connection.h"

/// One I2C read of `count` bytes at register `reg` into `data`. A non-zero
/// status prints its line ("for byte N" when byteIndex >= 0) and gives 103.
[[nodiscard]] Result i2cReadRequest(ConnectionContext* ctx, bool verbose, uint8_t bus, uint8_t device, uint8_t reg,
                                    uint8_t count, uint8_t* data, int64_t byteIndex = -1);

/// One I2C write of `count` bytes at register `reg`. Results as
/// i2cReadRequest.
[[nodiscard]] Result i2cWriteRequest(ConnectionContext* ctx, bool verbose, uint8_t bus, uint8_t device, uint8_t reg,
                                     const uint8_t* data, uint8_t count, int64_t byteIndex = -1);
