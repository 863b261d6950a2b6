// The simulated board-management microcontroller: routes each request
// message to the device that claims it (devices/registry.cpp lists them),
// and keeps the board state the devices share.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "core/options.h"
#include "devices/board_device.h"

namespace zsim {

/// Makes a board's devices (makeBoardDevices; a test hands its own).
using DeviceMaker = std::vector<std::unique_ptr<BoardDevice>> (*)(BoardState& state);

class Board {
public:
    explicit Board(const SimOptions& options, DeviceMaker makeDevices = makeBoardDevices);
    // The devices keep references into the board.
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    /// The board's start: false with `error` when two devices claim the
    /// same request (naming both and the request), else loadState().
    bool start(std::string& error);
    /// Loads the saved state from options.stateDir (if any) and creates the
    /// state files; false with `error` when the directory is unusable.
    bool loadState(std::string& error);

    /// The uC's answer to one request message; nullopt = no answer at all.
    std::optional<std::vector<uint8_t>> respond(const std::vector<uint8_t>& request);

    /// The device that claims this request, or null.
    BoardDevice* claimant(const std::vector<uint8_t>& request) const;
    /// The board's devices, in the registry's order.
    const std::vector<std::unique_ptr<BoardDevice>>& devices() const { return devices_; }
    /// The board's device of type T, or null.
    template <class T>
    T* device() const {
        for (const auto& d : devices_)
            if (auto* t = dynamic_cast<T*>(d.get())) return t;
        return nullptr;
    }

    bool inServiceMode() const { return state_.service; }
    /// The last state-saving failure since the previous call (empty when
    /// all saves worked); the server reports it.
    std::string takeSaveError();
    /// Board-wide state shared with the devices (power, save errors).
    BoardState& state() { return state_; }

private:
    SimOptions options_;
    BoardState state_;
    std::vector<std::unique_ptr<BoardDevice>> devices_;
    std::map<std::tuple<uint8_t, uint8_t, size_t>, BoardDevice*> routes_;
    std::string routeError_;  ///< the first request two devices claim, for start()
};

/// One request as a log line: upper-case hex bytes separated by blanks.
std::string hexLine(const std::vector<uint8_t>& bytes);

}  // namespace zsim
