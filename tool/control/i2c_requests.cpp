#include "control/i2c_requests.h"

#include <cstring>

const char* i2cStatusText(uint8_t status) {
    return status == 1 ? "General failure" : "** UNEXPECTED ERROR CODE **";
}

Result i2cReadRequest(ConnectionContext* ctx, bool verbose, uint8_t bus, uint8_t device, uint8_t reg, uint8_t count,
                      uint8_t* data, uint8_t* status) {
    const uint8_t request[6] = {0x05, 0x80, bus, device, reg, count};
    const uint8_t code[2] = {0x05, 0x00};
    uint8_t reply[3 + 255] = {};
    uint32_t length = 0;
    Result r = sendUcCommand(sizeof request, ctx, verbose, 0, request, code, reply, 3u + count, &length);
    if (r != kOk) return r;
    *status = reply[2];
    if (*status == 0) std::memcpy(data, reply + 3, count);
    return kOk;
}

Result i2cWriteRequest(ConnectionContext* ctx, bool verbose, uint8_t bus, uint8_t device, uint8_t reg,
                       const uint8_t* data, uint8_t count, uint8_t* status) {
    uint8_t request[6 + 255] = {0x05, 0x82, bus, device, reg, count};
    std::memcpy(request + 6, data, count);
    const uint8_t code[2] = {0x05, 0x02};
    uint8_t reply[3] = {};
    uint32_t length = 0;
    Result r = sendUcCommand(6u + count, ctx, verbose, 0, request, code, reply, sizeof reply, &length);
    if (r != kOk) return r;
    *status = reply[2];
    return kOk;
}
