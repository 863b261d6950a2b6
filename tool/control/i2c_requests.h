// The uC's I2C read and write requests (group 0x05), shared by the I2C verbs
// and the clock-chip programming that drives a chip register by register.
#pragma once

#include <cstdint>

#include "link/connection.h"

/// Text of a non-zero status of the I2C read and write requests.
const char* i2cStatusText(uint8_t status);

/// One I2C read of `count` bytes at register `reg`: { 0x05, 0x80, bus,
/// device, reg, count }, reply { 0x05, 0x00, status, data }. The reply is
/// cleared first. A non-zero exchange result is returned unchanged; on 0,
/// *status holds reply byte 2 and, when it is 0, `data` the count bytes.
[[nodiscard]] Result i2cReadRequest(ConnectionContext* ctx, bool verbose, uint8_t bus, uint8_t device, uint8_t reg,
                                    uint8_t count, uint8_t* data, uint8_t* status);

/// One I2C write of `count` bytes at register `reg`: { 0x05, 0x82, bus,
/// device, reg, count, data }, reply { 0x05, 0x02, status }. Results as
/// i2cReadRequest.
[[nodiscard]] Result i2cWriteRequest(ConnectionContext* ctx, bool verbose, uint8_t bus, uint8_t device, uint8_t reg,
                                     const uint8_t* data, uint8_t count, uint8_t* status);
