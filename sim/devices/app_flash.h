// The uC's application flash (128 KiB): its firmware, the board
// configuration and the VPD copy. Only the service firmware reads and
// writes it, a page at a time (group 0x06). With a state directory the image
// is kept in DIR/appflash.bin, patched page by page after every write.
#pragma once

#include "devices/board_device.h"

namespace zsim {

class ApplicationFlash : public BoardDevice {
public:
    /// The VPD copy in flash holds the record's first 128 bytes.
    static constexpr uint32_t kVpdCopySize = 128;

    explicit ApplicationFlash(BoardState& state);

    std::vector<Claim> claims() const override { return {{0x06, 0x80}, {0x06, 0x82}}; }
    Firmware firmware() const override { return Firmware::Service; }
    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& request) override;
    bool loadState(const std::string& dir, std::string& error) override;
    bool stateLoaded(std::string& error) override;

    const std::vector<uint8_t>& image() const { return flash_; }
    const uint8_t* vpdCopy() const;

private:
    void savePage(uint32_t page);

    BoardState& state_;
    std::string dir_;
    std::vector<uint8_t> flash_;
};

}  // namespace zsim
