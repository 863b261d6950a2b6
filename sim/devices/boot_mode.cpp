#include "devices/boot_mode.h"

#include "devices/settings_file.h"

namespace zsim {
namespace {

const char* const kBootModeFile = "boot_mode.txt";  // one line: the mode for the next power-on

// Set Boot Mode statuses.
constexpr uint8_t kBootModeBadRequest = 1;  // wrong length (the firmware cannot parse it)
constexpr uint8_t kBadMode = 2;
constexpr uint8_t kBadFlag = 3;

bool validMode(uint32_t mode) { return mode <= 15 || mode == kBootModeSwitches; }

}  // namespace

BootModeDevice::BootModeDevice(BoardState& state) : state_(state) {}

uint8_t BootModeDevice::pins() const { return driven_ == kBootModeSwitches ? state_.options.bootSwitches : driven_; }

bool BootModeDevice::loadState(const std::string& dir, std::string& error) {
    dir_ = dir;
    SettingRows rows;
    if (!loadSettingRows(dir, kBootModeFile, rows, error)) return false;
    if (!rows.empty()) {
        if (rows[0].size() != 1 || !validMode(rows[0][0])) {
            error = "bad boot mode in '" + dir + "/" + kBootModeFile + "'";
            return false;
        }
        next_ = static_cast<uint8_t>(rows[0][0]);
    }
    // Starting the simulator is a power-on.
    driven_ = next_;
    saveSettingRows(state_, dir_, kBootModeFile, {{next_}});
    return true;
}

std::optional<std::vector<uint8_t>> BootModeDevice::handle(const std::vector<uint8_t>& rq) {
    std::vector<uint8_t> reply = {0x05, static_cast<uint8_t>(rq[1] & 0x7F)};
    if (rq[1] == 0x96) {
        reply.insert(reply.end(), {0, driven_, next_, pins()});
        return reply;
    }
    // Set Boot Mode: mode, flag (1 volatile, 2 non-volatile).
    if (rq.size() != 4) {
        reply.push_back(kBootModeBadRequest);
    } else if (!validMode(rq[2])) {
        reply.push_back(kBadMode);
    } else if (rq[3] == 1) {
        driven_ = rq[2];
        reply.push_back(0);
    } else if (rq[3] == 2) {
        next_ = rq[2];
        if (!dir_.empty()) saveSettingRows(state_, dir_, kBootModeFile, {{next_}});
        reply.push_back(0);
    } else {
        reply.push_back(kBadFlag);
    }
    return reply;
}

}  // namespace zsim
