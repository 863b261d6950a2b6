#include "devices/boot_mode.h"

namespace zsim {
namespace {

constexpr uint8_t kBootModeSwitches = 0xFF;
const char* const kBootModeFile = "boot_mode.txt";  // one line: the mode for the next power-on

// Set Boot Mode statuses.
constexpr uint8_t kBootModeBadRequest = 1;  // wrong length (the firmware cannot parse it)
constexpr uint8_t kBadMode = 2;
constexpr uint8_t kBadFlag = 3;

bool validMode(uint32_t mode) { return mode <= 15 || mode == kBootModeSwitches; }

}  // namespace

BootModeDevice::BootModeDevice(BoardState& state)
    : state_(state), mode_(state, kBootModeFile, "boot mode", validMode, kBootModeSwitches) {}

uint8_t BootModeDevice::pins() const { return driven() == kBootModeSwitches ? state_.options.bootSwitches : driven(); }

std::optional<std::vector<uint8_t>> BootModeDevice::handle(const std::vector<uint8_t>& rq) {
    std::vector<uint8_t> reply = {0x05, static_cast<uint8_t>(rq[1] & 0x7F)};
    if (rq[1] == 0x96) {
        reply.insert(reply.end(), {0, driven(), next(), pins()});
        return reply;
    }
    // Set Boot Mode: mode, flag (1 volatile, 2 non-volatile).
    if (rq.size() != 4) {
        reply.push_back(kBootModeBadRequest);
    } else if (!validMode(rq[2])) {
        reply.push_back(kBadMode);
    } else if (rq[3] == 1) {
        mode_.set(rq[2]);
        reply.push_back(0);
    } else if (rq[3] == 2) {
        mode_.keep(rq[2]);
        reply.push_back(0);
    } else {
        reply.push_back(kBadFlag);
    }
    return reply;
}

}  // namespace zsim
