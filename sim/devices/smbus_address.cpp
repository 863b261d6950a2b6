// The uC's own SMBus chip address: the one in use (volatile) and the one it
// takes when it next starts (kept in the state directory). Address 0 turns
// its SMBus interface off. Both firmwares answer these requests; a restart
// of the uC (a start of the simulator, a switch into or out of service mode)
// applies the kept address.
#include "devices/settings_file.h"

namespace zsim {
namespace {

constexpr uint8_t kDefaultSmbusAddress = 0x48;  // the board configuration's
const char* const kSmbusFile = "smbus_address.txt";  // one line: the address for the next start

constexpr uint8_t kBadAddress = 1;
constexpr uint8_t kSmbusBadRequest = 2;  // wrong length or flag

// 0 disables the interface; 0x01..0x07 and 0x78..0x7F are reserved by the
// bus and cannot be a device's address.
bool validAddress(uint32_t a) { return a == 0 || (a >= 0x08 && a <= 0x77); }

class SmbusAddressDevice : public BoardDevice {
public:
    explicit SmbusAddressDevice(BoardState& state)
        : address_(state, kSmbusFile, "SMBus address", validAddress, kDefaultSmbusAddress) {}

    std::vector<Claim> claims() const override { return {{0x05, 0x92}, {0x05, 0x93}}; }
    Firmware firmware() const override { return Firmware::Both; }
    bool loadState(const std::string& dir, std::string& error) override { return address_.load(dir, error); }
    void ucRestarted() override { address_.apply(); }

    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& rq) override {
        std::vector<uint8_t> reply = {0x05, static_cast<uint8_t>(rq[1] & 0x7F)};
        // Both requests: flag (1 volatile, 2 non-volatile), then an address byte.
        if (rq.size() != 4 || (rq[2] != 1 && rq[2] != 2)) {
            reply.push_back(kSmbusBadRequest);
            return reply;
        }
        const bool nonVolatile = rq[2] == 2;
        if (rq[1] == 0x93) {
            reply.insert(reply.end(), {0, nonVolatile ? address_.next() : address_.now()});
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

private:
    KeptSetting address_;
};

}  // namespace

ZSIM_BOARD_DEVICE(SmbusAddressDevice);

}  // namespace zsim
