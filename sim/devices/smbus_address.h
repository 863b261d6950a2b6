// The uC's own SMBus chip address: the one in use (volatile) and the one it
// takes when it next starts (kept in the state directory). Address 0 turns
// its SMBus interface off. Both firmwares answer these requests; a restart
// of the uC (a start of the simulator, a switch into or out of service mode)
// applies the kept address.
#pragma once

#include "devices/settings_file.h"

namespace zsim {

class SmbusAddressDevice : public BoardDevice {
public:
    explicit SmbusAddressDevice(BoardState& state);

    std::vector<Claim> claims() const override { return {{0x05, 0x92}, {0x05, 0x93}}; }
    Firmware firmware() const override { return Firmware::Both; }
    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& request) override;
    bool loadState(const std::string& dir, std::string& error) override { return address_.load(dir, error); }
    void ucRestarted() override { address_.apply(); }

    uint8_t current() const { return address_.now(); }
    uint8_t next() const { return address_.next(); }

private:
    KeptSetting address_;
};

}  // namespace zsim
