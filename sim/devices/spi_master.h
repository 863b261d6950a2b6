// The uC as SPI bus master: the SPI transfer (0x90) and SPI control (0x91)
// requests, routed to the flash chips at the board's chip indices.
#pragma once

#include <map>
#include <memory>

#include "devices/board_device.h"
#include "devices/spi_nor_chip.h"

namespace zsim {

// Status bytes of the SPI requests.
constexpr uint8_t kSpiInvalid = 1;     ///< transfer: chip index not on this board (or a malformed request); control: bad subcommand
constexpr uint8_t kSpiPoweredOff = 2;  ///< the board runs on standby power only
constexpr uint8_t kSpiNoFlash = 3;     ///< control: the board has no SPI flash at all

/// The chips a board model carries by default: index and part name.
std::map<uint8_t, std::string> defaultSpiChips(uint32_t drawingNumber);

class SpiMaster : public BoardDevice {
public:
    /// The chips of the model's default, changed by the --spi-* options.
    explicit SpiMaster(BoardState& state);

    std::vector<Claim> claims() const override { return {{0x05, 0x90}, {0x05, 0x91}}; }
    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& request) override;
    bool loadState(const std::string& dir, std::string& error) override;

    /// Whether the uC accepts this chip index.
    bool carries(uint8_t index) const { return slots_.count(index) != 0; }
    /// The chip at the index, or null (not carried, or no chip fitted).
    SpiNorChip* chip(uint8_t index);
    /// Whether a lengthy SPI operation has been announced and not ended.
    bool inLengthyOperation() const { return lengthy_; }

private:
    std::vector<uint8_t> control(const std::vector<uint8_t>& rq);
    std::vector<uint8_t> transfer(const std::vector<uint8_t>& rq);
    bool powered();

    BoardState& state_;
    std::map<uint8_t, std::unique_ptr<SpiNorChip>> slots_;  // null: index valid, no chip fitted
    bool lengthy_ = false;
    bool wasPowered_ = true;
};

}  // namespace zsim
