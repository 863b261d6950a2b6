#include "control/i2c_requests.h"

#include <cstring>

#include "control/control_commands.h"

Result i2cReadRequest(ConnectionContext* ctx, bool verbose, uint8_t bus, uint8_t device, uint8_t reg, uint8_t count,
                      uint8_t* data, int64_t byteIndex) {
    const uint8_t args[4] = {bus, device, reg, count};
    return ucRequest(ctx, verbose, kI2cRead,
                     {.args = args, .argLength = sizeof args, .payload = data, .payloadLength = count,
                      .byteIndex = byteIndex});
}

Result i2cWriteRequest(ConnectionContext* ctx, bool verbose, uint8_t bus, uint8_t device, uint8_t reg,
                       const uint8_t* data, uint8_t count, int64_t byteIndex) {
    uint8_t args[4 + 255] = {bus, device, reg, count};
    std::memcpy(args + 4, data, count);
    return ucRequest(ctx, verbose, kI2cWrite, {.args = args, .argLength = 4u + count, .byteIndex = byteIndex});
}
