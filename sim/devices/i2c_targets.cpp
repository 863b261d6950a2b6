#include "devices/i2c_targets.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace zsim {

I2cEeprom::I2cEeprom(BoardState& state, std::string fileName) : state_(state), fileName_(std::move(fileName)) {
    bytes_.fill(0xFF);
    // A locally administered node ID: 02 5A 00 and the serial's low 24 bits.
    const uint32_t serial = state_.options.serial;
    const uint8_t id[6] = {0x02, 0x5A, 0x00, static_cast<uint8_t>(serial >> 16), static_cast<uint8_t>(serial >> 8),
                           static_cast<uint8_t>(serial)};
    std::memcpy(&bytes_[kSize - sizeof id], id, sizeof id);
}

int I2cEeprom::writeAcked(const uint8_t* data, size_t count) {
    if (count == 0) return 0;
    pointer_ = data[0];
    size_t acked = 1;
    bool changed = false;
    for (; acked < count; ++acked) {
        if (pointer_ >= kProtectedFrom) break;
        bytes_[pointer_] = data[acked];
        pointer_ = static_cast<uint8_t>(pointer_ + 1);
        changed = true;
    }
    if (changed) save();
    return static_cast<int>(acked);
}

bool I2cEeprom::write(const uint8_t* data, size_t count) {
    return writeAcked(data, count) == static_cast<int>(count);
}

bool I2cEeprom::read(uint8_t* data, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        data[i] = bytes_[pointer_];
        pointer_ = static_cast<uint8_t>(pointer_ + 1);
    }
    return true;
}

bool I2cEeprom::loadState(const std::string& dir, std::string& error) {
    path_ = dir + "/" + fileName_;
    std::ifstream f(path_, std::ios::binary);
    if (f) {
        std::array<uint8_t, kSize + 1> saved{};
        f.read(reinterpret_cast<char*>(saved.data()), static_cast<std::streamsize>(saved.size()));
        if (f.gcount() != static_cast<std::streamsize>(kSize)) {
            error = "saved EEPROM image '" + path_ + "' is not " + std::to_string(kSize) + " bytes";
            return false;
        }
        // The protected quarter is the chip's own, whatever the file says.
        std::memcpy(bytes_.data(), saved.data(), kProtectedFrom);
    }
    save();
    return true;
}

void I2cEeprom::save() {
    if (path_.empty()) return;
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        state_.saveError = "cannot open '" + path_ + "': " + std::strerror(errno);
        return;
    }
    // Rewritten in place: the file never gets shorter than the image.
    if (pwrite(fd, bytes_.data(), kSize, 0) != static_cast<ssize_t>(kSize)) state_.saveError = "short write to '" + path_ + "'";
    ::close(fd);
}

}  // namespace zsim
