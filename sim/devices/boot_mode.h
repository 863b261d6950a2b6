// The FPGA boot mode: the mode the uC drives onto the boot-mode pins now
// (volatile), the mode it drives from the next board power-on (kept in the
// state directory), and what the pins show. Mode 0xFF leaves the pins to
// the board's switches (--boot-switches).
#pragma once

#include "devices/settings_file.h"

namespace zsim {

class BootModeDevice : public BoardDevice {
public:
    explicit BootModeDevice(BoardState& state);

    /// 0x96 is Get Boot Mode only as a 2-byte request (else the mezzanine's).
    std::vector<Claim> claims() const override { return {{0x05, 0x95}, {0x05, 0x96, 2}}; }
    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& request) override;
    bool loadState(const std::string& dir, std::string& error) override { return mode_.load(dir, error); }
    void poweredOn() override { mode_.apply(); }

    uint8_t driven() const { return mode_.now(); }
    uint8_t next() const { return mode_.next(); }
    /// The level of the boot-mode pins.
    uint8_t pins() const;

private:
    BoardState& state_;
    KeptSetting mode_;
};

}  // namespace zsim
