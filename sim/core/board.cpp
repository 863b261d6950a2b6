#include "core/board.h"

#include <cxxabi.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <typeinfo>
#include <utility>

namespace zsim {

std::string hexLine(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(bytes.size() * 3);
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) s.push_back(' ');
        s.push_back(digits[bytes[i] >> 4]);
        s.push_back(digits[bytes[i] & 0x0F]);
    }
    return s;
}

namespace {

// A device's class name ("zsim::SpiMaster"), for messages.
std::string deviceName(const BoardDevice& device) {
    const char* mangled = typeid(device).name();
    int status = 0;
    const std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    return status == 0 && name ? name.get() : mangled;
}

}  // namespace

Board::Board(const SimOptions& options, DeviceMaker makeDevices)
    : options_(options), state_(options_), devices_(makeDevices(state_)) {
    for (const auto& device : devices_)
        for (const Claim& c : device->claims()) {
            const auto [route, fresh] = routes_.emplace(std::tuple(c.group, c.command, c.length), device.get());
            if (fresh || !routeError_.empty()) continue;
            routeError_ = "devices " + deviceName(*route->second) + " and " + deviceName(*device) +
                          " both claim request " + hexLine({c.group, c.command}) +
                          (c.length != 0 ? " of " + std::to_string(c.length) + " bytes" : "");
        }
}

// Decision: a second claim of a request is a fault of the device list, so
// the board refuses to start, with a message, rather than asserting: an
// assert is gone from the release build (the package's zorvisim), where the
// second device would again be silently deaf, and a returned error takes
// the path of every other start failure (zorvisim names it and exits 1)
// and can be tested without a death test.
bool Board::start(std::string& error) {
    if (!routeError_.empty()) {
        error = routeError_;
        return false;
    }
    return loadState(error);
}

// Decision: the state directory keeps what a user changes that a real board
// keeps (each device saves its own part after every change). The firmware
// mode is not kept: starting zorvisim is a power-on, and a real uC boots its
// normal firmware unless its service switch is set (that switch is
// --service).
bool Board::loadState(std::string& error) {
    if (options_.stateDir.empty()) return true;
    const std::string dir = options_.stateDir;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);  // a new folder may sit in new folders
    if (ec) {
        error = "cannot create state directory '" + dir + "': " + ec.message();
        return false;
    }
    for (auto& device : devices_)
        if (!device->loadState(dir, error)) return false;
    for (auto& device : devices_)
        if (!device->stateLoaded(error)) return false;
    return true;
}

std::string Board::takeSaveError() { return std::exchange(state_.saveError, std::string()); }

BoardDevice* Board::claimant(const std::vector<uint8_t>& rq) const {
    // Requests carry bit 7 in their command byte; a claim naming the
    // request's length goes before one for any length.
    if (rq.size() < 2 || (rq[1] & 0x80) == 0) return nullptr;
    auto route = routes_.find(std::tuple(rq[0], rq[1], rq.size()));
    if (route == routes_.end()) route = routes_.find(std::tuple(rq[0], rq[1], size_t{0}));
    return route == routes_.end() ? nullptr : route->second;
}

std::optional<std::vector<uint8_t>> Board::respond(const std::vector<uint8_t>& rq) {
    // Fewer than two bytes carry no reply code to answer with.
    if (rq.size() < 2) return std::nullopt;
    const uint8_t group = rq[0];
    const uint8_t command = rq[1];
    BoardDevice* device = claimant(rq);
    if (device == nullptr) {
        if (options_.silentUnknown) return std::nullopt;
        return statusReply(group, command, kStatusUnknownCommand);
    }
    const Firmware serving = state_.service ? Firmware::Service : Firmware::Normal;
    if (device->firmware() != Firmware::Both && device->firmware() != serving)
        return statusReply(group, command, kStatusWrongMode);
    const bool wasPowered = state_.powered;
    const uint32_t starts = state_.ucStarts;
    std::optional<std::vector<uint8_t>> answer = device->handle(rq);
    for (auto& d : devices_) {
        if (!wasPowered && state_.powered) d->poweredOn();
        if (starts != state_.ucStarts) d->ucRestarted();
    }
    return answer;
}

}  // namespace zsim
