// The simulated board-management microcontroller: what a real uC answers to
// each request message, and the board state behind the answers.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "boards/board_data.h"
#include "core/options.h"
#include "devices/board_device.h"

namespace zsim {

constexpr uint32_t kAppFlashSize = 128 * 1024;
constexpr uint32_t kAppFlashPage = 512;
constexpr uint32_t kAppFlashPages = kAppFlashSize / kAppFlashPage;
constexpr uint32_t kFirmwareAddress = 0x00000;
constexpr uint32_t kBrdCfgAddress = 0x1FC00;
constexpr uint32_t kVpdCopyAddress = 0x1FF00;
constexpr uint32_t kVpdCopySize = 128;

// Status bytes of this uC's replies. The real firmware's numbering beyond 0
// is not published; these are the simulator's choice.
constexpr uint8_t kStatusOk = 0x00;
constexpr uint8_t kStatusBadParameter = 0x01;  ///< bad index, page, action or request length
constexpr uint8_t kStatusWrongMode = 0x02;     ///< flash commands in normal firmware, board functions in service firmware
constexpr uint8_t kStatusUnknownCommand = 0xFF;

/// Firmware versions the two firmwares report (0x03 0x83).
struct FirmwareVersion {
    uint16_t part[4];
};
constexpr FirmwareVersion kNormalFirmwareVersion = {{4, 26, 0, 7}};
constexpr FirmwareVersion kServiceFirmwareVersion = {{1, 3, 0, 2}};

uint32_t normalProductId(ProductIdSet set);
uint32_t serviceProductId(ProductIdSet set);

/// The VPD record the options describe (record options applied).
void buildOptionVpd(const SimOptions& options, uint8_t vpd[kSimVpdSize]);

class Board {
public:
    explicit Board(const SimOptions& options);
    // The devices keep references into the board.
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    /// Loads the saved state from options.stateDir (if any) and creates the
    /// state files; false with `error` when the directory is unusable.
    bool loadState(std::string& error);

    /// The uC's answer to one request message; nullopt = no answer at all.
    std::optional<std::vector<uint8_t>> respond(const std::vector<uint8_t>& request);

    // Inspection (tests, the server).
    bool inServiceMode() const { return service_; }
    uint32_t productId() const;
    const std::vector<uint8_t>& appFlash() const { return flash_; }
    const std::map<uint32_t, uint32_t>& overrides() const { return overrides_; }
    /// Seconds since power-on, as the sensor page's elapsed-time counter shows.
    void setClock(std::function<uint32_t()> secondsSincePowerOn) { clock_ = std::move(secondsSincePowerOn); }
    /// The last state-saving failure since the previous call (empty when
    /// all saves worked); the server reports it.
    std::string takeSaveError();
    /// Board-wide state shared with the devices (power, save errors).
    BoardState& state() { return state_; }

private:
    std::vector<uint8_t> identity(const std::vector<uint8_t>& rq);
    std::vector<uint8_t> boardFunction(const std::vector<uint8_t>& rq);
    std::vector<uint8_t> appFlashCommand(const std::vector<uint8_t>& rq);
    void savePage(uint32_t page);
    void saveOverrides();
    void initialFlash();

    SimOptions options_;
    bool service_;
    std::vector<uint8_t> flash_;
    uint8_t vpdRecord_[kSimVpdSize];
    std::map<uint32_t, uint32_t> overrides_;
    std::function<uint32_t()> clock_;
    std::string saveError_;
    BoardState state_;
    std::vector<std::unique_ptr<BoardDevice>> devices_;
};

/// One request as a log line: upper-case hex bytes separated by blanks.
std::string hexLine(const std::vector<uint8_t>& bytes);

}  // namespace zsim
