#include "devices/spi_master.h"

#include <algorithm>

namespace zsim {

// Decision: every model carries its FPGA configuration flash at index 0, a
// 1 Gbit part of the kind such boards use; the larger boards (drawing
// numbers from 1400 on) carry a second, 2 Gbit flash at index 1.
std::map<uint8_t, std::string> defaultSpiChips(uint32_t drawingNumber) {
    std::map<uint8_t, std::string> chips = {{0, "mt25qu01g"}};
    if (drawingNumber >= 1400) chips[1] = "mx66l2g45g";
    return chips;
}

SpiMaster::SpiMaster(BoardState& state) : state_(state) {
    const SimOptions& o = state.options;
    std::map<uint8_t, std::string> chips = defaultSpiChips(o.model);
    for (const auto& [index, part] : o.spiChips) {
        if (part == "none")
            chips.erase(index);
        else
            chips[index] = part;
    }
    for (const auto& [index, name] : chips) {
        const SpiPart* part = findSpiPart(name);
        std::unique_ptr<SpiNorChip>& slot = slots_[index];
        if (part == nullptr) continue;  // "absent"
        slot = std::make_unique<SpiNorChip>(*part);
        if (!slot->usable()) {
            state_.saveError = "no memory for SPI flash chip " + std::to_string(index) + "; it does not answer";
            slot.reset();
            continue;
        }
        slot->setBusyTimes(o.spiProgramUs, o.spiEraseUs);
        slot->setStuckBusy(std::find(o.spiStuckBusy.begin(), o.spiStuckBusy.end(), index) != o.spiStuckBusy.end());
    }
}

SpiNorChip* SpiMaster::chip(uint8_t index) {
    auto it = slots_.find(index);
    return it == slots_.end() ? nullptr : it->second.get();
}

bool SpiMaster::loadState(const std::string& dir, std::string& error) {
    for (auto& [index, chip] : slots_)
        if (chip && !chip->attachFile(dir + "/spi" + std::to_string(index) + "-" + chip->part().name + ".bin", error))
            return false;
    return true;
}

// The chips sit on the board's main power: when it comes back they start
// as from power-up (a program or erase that was running is lost).
bool SpiMaster::powered() {
    const bool on = state_.powered && !state_.options.spiPoweredOff;
    if (on && !wasPowered_)
        for (auto& [index, chip] : slots_)
            if (chip) chip->hardwareReset();
    wasPowered_ = on;
    return on;
}

std::optional<std::vector<uint8_t>> SpiMaster::handle(const std::vector<uint8_t>& rq) {
    return rq[1] == 0x91 ? control(rq) : transfer(rq);
}

// Control: 05 91 sub 0 0 0 0, answered 05 11 status 0 0 0 0.
std::vector<uint8_t> SpiMaster::control(const std::vector<uint8_t>& rq) {
    std::vector<uint8_t> reply = {0x05, 0x11, 0, 0, 0, 0, 0};
    const uint8_t sub = rq.size() == 7 ? rq[2] : 0;
    if (sub < 1 || sub > 3)
        reply[2] = kSpiInvalid;
    else if (slots_.empty())
        reply[2] = kSpiNoFlash;
    else if (!powered())
        reply[2] = kSpiPoweredOff;
    else if (sub == 1)
        for (auto& [index, chip] : slots_) {
            if (chip) chip->hardwareReset();
        }
    else
        lengthy_ = sub == 2;
    return reply;
}

// Transfer: 05 90 chip W R + W bytes, answered 05 10 status + R bytes. A
// failed transfer still answers 3 + R bytes (zeros after the status), the
// reply layout the request asked for.
std::vector<uint8_t> SpiMaster::transfer(const std::vector<uint8_t>& rq) {
    const size_t r = rq.size() >= 5 ? rq[4] : 0;
    std::vector<uint8_t> reply(3 + r, 0);
    reply[0] = 0x05;
    reply[1] = 0x10;
    if (rq.size() < 5 || rq.size() != 5u + rq[3] || !carries(rq[2])) {
        reply[2] = kSpiInvalid;
        return reply;
    }
    if (!powered()) {
        reply[2] = kSpiPoweredOff;
        return reply;
    }
    SpiNorChip* c = chip(rq[2]);
    if (c == nullptr)
        std::fill(reply.begin() + 3, reply.end(), 0xFF);  // nothing drives MISO: the pull-up reads ones
    else
        c->transfer(rq.data() + 5, rq[3], reply.data() + 3, r);
    return reply;
}

}  // namespace zsim
