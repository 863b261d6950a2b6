#include "devices/smbus_address.h"

namespace zsim {
namespace {

constexpr uint8_t kDefaultSmbusAddress = 0x48;  // the board configuration's
const char* const kSmbusFile = "smbus_address.txt";  // one line: the address for the next start

constexpr uint8_t kBadAddress = 1;
constexpr uint8_t kSmbusBadRequest = 2;  // wrong length or flag

// 0 disables the interface; 0x01..0x07 and 0x78..0x7F are reserved by the
// bus and cannot be a device's address.
bool validAddress(uint32_t a) { return a == 0 || (a >= 0x08 && a <= 0x77); }

}  // namespace

SmbusAddressDevice::SmbusAddressDevice(BoardState& state)
    : address_(state, kSmbusFile, "SMBus address", validAddress, kDefaultSmbusAddress) {}

std::optional<std::vector<uint8_t>> SmbusAddressDevice::handle(const std::vector<uint8_t>& rq) {
    std::vector<uint8_t> reply = {0x05, static_cast<uint8_t>(rq[1] & 0x7F)};
    // Both requests: flag (1 volatile, 2 non-volatile), then an address byte.
    if (rq.size() != 4 || (rq[2] != 1 && rq[2] != 2)) {
        reply.push_back(kSmbusBadRequest);
        return reply;
    }
    const bool nonVolatile = rq[2] == 2;
    if (rq[1] == 0x93) {
        reply.insert(reply.end(), {0, nonVolatile ? next() : current()});
        return reply;
    }
    if (!validAddress(rq[3])) {
        reply.push_back(kBadAddress);
        return reply;
    }
    if (nonVolatile)
        address_.keep(rq[3]);
    else
        address_.set(rq[3]);
    reply.push_back(0);
    return reply;
}

}  // namespace zsim
