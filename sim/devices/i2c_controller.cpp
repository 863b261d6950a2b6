#include "devices/i2c_controller.h"

namespace zsim {

I2cDevice* I2cController::device(uint8_t bus, uint8_t address) {
    auto b = buses_.find(bus);
    if (b == buses_.end()) return nullptr;
    auto d = b->second.find(address);
    return d == b->second.end() ? nullptr : d->second.get();
}

bool I2cController::loadState(const std::string& dir, std::string& error) {
    for (auto& [bus, devices] : buses_)
        for (auto& [address, dev] : devices)
            if (!dev->loadState(dir, error)) return false;
    return true;
}

std::optional<std::vector<uint8_t>> I2cController::handle(const std::vector<uint8_t>& rq) {
    const uint8_t command = rq[1];
    std::vector<uint8_t> reply = {0x05, static_cast<uint8_t>(command & 0x7F)};
    const bool busExists = rq.size() > 2 && buses_.count(rq[2]) != 0;
    // Devices sit on the board's main power: with it off nothing answers.
    I2cDevice* dev = (rq.size() > 3 && state_.powered) ? device(rq[2], rq[3]) : nullptr;

    if (command == 0x80) {  // read: bus, device, register, count
        const uint8_t count = rq.size() >= 6 ? rq[5] : 0;
        const uint8_t reg = rq.size() >= 5 ? rq[4] : 0;
        if (rq.size() != 6 || !busExists || dev == nullptr || dev->writeAcked(&reg, 1) != 1) {
            reply.push_back(kI2cGeneralFailure);
            return reply;
        }
        std::vector<uint8_t> data(count);
        if (count != 0 && !dev->read(data.data(), count)) {
            reply.push_back(kI2cGeneralFailure);
            return reply;
        }
        reply.push_back(0);
        reply.insert(reply.end(), data.begin(), data.end());
        return reply;
    }
    if (command == 0x82) {  // write: bus, device, register, count, data
        if (rq.size() < 6 || rq.size() != 6u + rq[5] || !busExists || dev == nullptr) {
            reply.push_back(kI2cGeneralFailure);
            return reply;
        }
        std::vector<uint8_t> bytes(rq.begin() + 4, rq.begin() + 5);
        bytes.insert(bytes.end(), rq.begin() + 6, rq.end());
        const bool acked = dev->writeAcked(bytes.data(), bytes.size()) == static_cast<int>(bytes.size());
        reply.push_back(acked ? 0 : kI2cGeneralFailure);
        return reply;
    }
    // write-read: bus, device, write count, read count, write bytes. Byte 3
    // of the reply counts the bytes that crossed the bus, address bytes
    // included. A device that refuses its address at the very start fails
    // the transaction (status 2); a refusal later on stops the transfer
    // there and the count tells how far it got (status 0).
    if (rq.size() < 6 || !busExists) {
        reply.push_back(kI2cBadBus);
        return reply;
    }
    const uint8_t w = rq[4];
    const uint8_t r = rq[5];
    if (rq.size() != 6u + w) {
        reply.push_back(kI2cBadWriteCount);
        return reply;
    }
    uint32_t transferred = 0;
    std::vector<uint8_t> data(r);
    bool stopped = false;
    if (w > 0) {
        const int acked = dev != nullptr ? dev->writeAcked(rq.data() + 6, w) : -1;
        if (acked < 0) {
            reply.push_back(kI2cNack);
            return reply;
        }
        transferred = 1u + static_cast<uint32_t>(acked);
        stopped = acked < w;
    }
    if (r > 0 && !stopped) {
        if (dev != nullptr && dev->read(data.data(), r)) {
            transferred += r + 1u;
        } else if (transferred == 0) {
            reply.push_back(kI2cNack);
            return reply;
        }
    }
    reply.push_back(0);
    // The count is one byte: a longer transaction reports 255.
    reply.push_back(static_cast<uint8_t>(transferred > 0xFF ? 0xFF : transferred));
    reply.insert(reply.end(), data.begin(), data.end());
    return reply;
}

}  // namespace zsim
