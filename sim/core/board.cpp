#include "core/board.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zsim {
namespace {

void put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

std::vector<uint8_t> statusReply(uint8_t group, uint8_t command, uint8_t status) {
    return {group, static_cast<uint8_t>(command & 0x7F), status};
}

// Small deterministic generator for plausible flash contents.
struct XorShift {
    uint32_t s;
    uint32_t next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
};

const char* const kFlashFile = "appflash.bin";
const char* const kOverridesFile = "overrides.txt";

}  // namespace

uint32_t normalProductId(ProductIdSet set) {
    switch (set) {
        case ProductIdSet::Alt: return 1321;
        case ProductIdSet::Xdma: return 0x2D100;
        case ProductIdSet::Standard: break;
    }
    return 721;
}

uint32_t serviceProductId(ProductIdSet set) {
    switch (set) {
        case ProductIdSet::Alt: return 1320;
        case ProductIdSet::Xdma: return 0x2D000;
        case ProductIdSet::Standard: break;
    }
    return 720;
}

void buildOptionVpd(const SimOptions& options, uint8_t vpd[kSimVpdSize]) {
    buildVpdRecord(options.vpdDrawing.value_or(options.model), options.serial, vpd);
    if (options.vpdVersion) {
        vpd[0] = static_cast<uint8_t>(*options.vpdVersion);
        vpd[1] = static_cast<uint8_t>(*options.vpdVersion >> 8);
    }
    if (options.vpdLength) {
        vpd[2] = static_cast<uint8_t>(*options.vpdLength);
        vpd[3] = static_cast<uint8_t>(*options.vpdLength >> 8);
    }
    // Whatever was changed, the checksum is made right for the record's own
    // length field first, so --vpd-bad-checksum is the only way to get a
    // wrong one. A length outside 5..128 has no checksum position.
    uint32_t length = static_cast<uint32_t>(vpd[2]) | static_cast<uint32_t>(vpd[3]) << 8;
    if (length >= 5 && length <= 128) {
        uint8_t sum = 0;
        for (uint32_t i = 0; i + 1 < length; ++i) sum = static_cast<uint8_t>(sum + vpd[i]);
        vpd[length - 1] = static_cast<uint8_t>(-sum);
        if (options.vpdBadChecksum) vpd[length - 1] = static_cast<uint8_t>(vpd[length - 1] ^ 0x5A);
    } else if (options.vpdBadChecksum) {
        vpd[kVpdCopySize - 1] = static_cast<uint8_t>(vpd[kVpdCopySize - 1] ^ 0x5A);
    }
}

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

Board::Board(const SimOptions& options)
    : options_(options), service_(options.service), flash_(kAppFlashSize, 0xFF), state_(options_) {
    devices_ = makeBoardDevices(state_);
    buildOptionVpd(options_, vpdRecord_);
    initialFlash();
    auto start = std::chrono::steady_clock::now();
    clock_ = [start] {
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count());
    };
}

void Board::initialFlash() {
    std::fill(flash_.begin(), flash_.end(), 0xFF);
    // Firmware: a vector table (initial stack pointer, reset handler with
    // the Thumb bit) and about 100 KiB of code-like bytes; the rest of the
    // firmware region is erased.
    XorShift rng{0x2545F491u ^ options_.model};
    std::vector<uint8_t> head;
    put32(head, 0x20008000);
    for (int i = 0; i < 47; ++i) put32(head, 0x00000201u + 0x10u * static_cast<uint32_t>(i));
    std::copy(head.begin(), head.end(), flash_.begin());
    for (uint32_t a = static_cast<uint32_t>(head.size()); a < 100 * 1024; ++a)
        flash_[a] = static_cast<uint8_t>(rng.next() >> 24);
    // Board configuration: a small tagged block, erased after it.
    const char tag[] = "BRDCFG01";
    std::memcpy(&flash_[kBrdCfgAddress], tag, 8);
    std::vector<uint8_t> cfg;
    put32(cfg, options_.model);
    put16(cfg, 0x0001);  // layout version
    put16(cfg, 0x0048);  // SMBus address
    for (int i = 0; i < 48; ++i) cfg.push_back(static_cast<uint8_t>(rng.next() >> 24));
    std::copy(cfg.begin(), cfg.end(), flash_.begin() + kBrdCfgAddress + 8);
    // VPD copy: the first 128 bytes of the record.
    std::memcpy(&flash_[kVpdCopyAddress], vpdRecord_, kVpdCopySize);
}

// Decision: the state directory keeps what a user changes that a real board
// keeps — the application flash and the sensor overrides — and is saved
// after every change. The firmware mode is not kept: starting zorvisim is a
// power-on, and a real uC boots its normal firmware unless its service
// switch is set (that switch is --service). When the command line names the
// board's identity (--model, --serial, --vpd-*), the VPD copy in flash is
// rebuilt from it even over a saved flash image, since that is what the
// user asked for on this run.
bool Board::loadState(std::string& error) {
    if (options_.stateDir.empty()) return true;
    const std::string dir = options_.stateDir;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);  // a new folder may sit in new folders
    if (ec) {
        error = "cannot create state directory '" + dir + "': " + ec.message();
        return false;
    }
    const std::string flashPath = dir + "/" + kFlashFile;
    {
        std::ifstream f(flashPath, std::ios::binary);
        if (f) {
            std::vector<uint8_t> saved(kAppFlashSize + 1);
            f.read(reinterpret_cast<char*>(saved.data()), static_cast<std::streamsize>(saved.size()));
            if (f.gcount() != static_cast<std::streamsize>(kAppFlashSize)) {
                error = "saved flash image '" + flashPath + "' is not " + std::to_string(kAppFlashSize) + " bytes";
                return false;
            }
            saved.resize(kAppFlashSize);
            flash_ = std::move(saved);
            if (options_.identityGiven) std::memcpy(&flash_[kVpdCopyAddress], vpdRecord_, kVpdCopySize);
        }
    }
    {
        std::ifstream f(dir + "/" + kOverridesFile);
        uint32_t index = 0, value = 0;
        while (f >> index >> value) overrides_[index] = value;
    }
    for (auto& device : devices_)
        if (!device->loadState(dir, error)) return false;
    // Write the whole image once so that later saves can patch pages in place.
    std::ofstream f(flashPath, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(flash_.data()), static_cast<std::streamsize>(flash_.size()));
    f.close();
    if (!f) {
        error = "cannot write '" + flashPath + "'";
        return false;
    }
    return true;
}

void Board::savePage(uint32_t page) {
    if (options_.stateDir.empty()) return;
    const std::string path = options_.stateDir + "/" + kFlashFile;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        saveError_ = "cannot open '" + path + "': " + std::strerror(errno);
        return;
    }
    ssize_t w = pwrite(fd, &flash_[page * kAppFlashPage], kAppFlashPage, static_cast<off_t>(page) * kAppFlashPage);
    if (w != static_cast<ssize_t>(kAppFlashPage)) saveError_ = "short write to '" + path + "'";
    ::close(fd);
}

void Board::saveOverrides() {
    if (options_.stateDir.empty()) return;
    const std::string path = options_.stateDir + "/" + kOverridesFile;
    const std::string tmp = path + ".tmp";
    {
        std::ofstream f(tmp, std::ios::trunc);
        for (const auto& [index, value] : overrides_) f << index << ' ' << value << '\n';
        f.close();
        if (!f) {
            saveError_ = "cannot write '" + tmp + "'";
            return;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) saveError_ = "cannot rename '" + tmp + "'";
}

std::string Board::takeSaveError() {
    std::string error = std::exchange(saveError_, std::string());
    if (error.empty()) error = std::exchange(state_.saveError, std::string());
    return error;
}

uint32_t Board::productId() const {
    if (options_.productIdOverride) return *options_.productIdOverride;
    return service_ ? serviceProductId(options_.productIds) : normalProductId(options_.productIds);
}

std::optional<std::vector<uint8_t>> Board::respond(const std::vector<uint8_t>& rq) {
    // Fewer than two bytes carry no reply code to answer with.
    if (rq.size() < 2) return std::nullopt;
    const uint8_t group = rq[0];
    const uint8_t command = rq[1];
    std::vector<uint8_t> reply;
    if (group == 0x05 && (command & 0x80) != 0) {
        for (auto& device : devices_) {
            if (!device->accepts(rq)) continue;
            // The service firmware only maintains flash (and a few settings).
            if (service_ && !device->servesInServiceMode()) return statusReply(0x05, command, kStatusWrongMode);
            const bool wasPowered = state_.powered;
            auto answer = device->handle(rq);
            if (!wasPowered && state_.powered)
                for (auto& d : devices_) d->poweredOn();
            return answer;
        }
    }
    if ((command & 0x80) != 0) {
        switch (group) {
            case 0x03: reply = identity(rq); break;
            case 0x05: reply = boardFunction(rq); break;
            case 0x06: reply = appFlashCommand(rq); break;
            case 0xFF:
                // Diagnostics: test-timeout is the request that is never answered.
                if (command == 0x81) return std::nullopt;
                break;
            default: break;
        }
    }
    if (reply.empty()) {
        if (options_.silentUnknown) return std::nullopt;
        return statusReply(group, command, kStatusUnknownCommand);
    }
    return reply;
}

std::vector<uint8_t> Board::identity(const std::vector<uint8_t>& rq) {
    const uint8_t command = rq[1];
    std::vector<uint8_t> reply = {0x03, static_cast<uint8_t>(command & 0x7F)};
    switch (command) {
        case 0x86:  // product ID: no status byte
            put32(reply, productId());
            return reply;
        case 0x83: {  // firmware version
            const FirmwareVersion& v = service_ ? kServiceFirmwareVersion : kNormalFirmwareVersion;
            for (uint16_t part : v.part) put16(reply, part);
            return reply;
        }
        case 0x84:  // Loopback32: the data come back as they are
            reply.insert(reply.end(), rq.begin() + 2, rq.end());
            return reply;
        case 0x80:    // enter service mode
        case 0x82: {  // exit service mode
            if (options_.refuseSwitchStatus != 0) {
                reply.push_back(options_.refuseSwitchStatus);
                return reply;
            }
            if (!options_.switchNoEffect) {
                // Switching firmware restarts the uC.
                service_ = (command == 0x80);
                for (auto& device : devices_) device->ucRestarted();
            }
            reply.push_back(kStatusOk);
            return reply;
        }
        default: return {};
    }
}

std::vector<uint8_t> Board::boardFunction(const std::vector<uint8_t>& rq) {
    const uint8_t command = rq[1];
    const uint8_t code = static_cast<uint8_t>(command & 0x7F);
    std::vector<uint8_t> reply = {0x05, code};
    const bool known = command == 0x86 || command == 0x8C || command == 0x89 || command == 0x8A || command == 0x81;
    if (!known) return {};
    // The service firmware only maintains flash; board functions belong to
    // the normal firmware.
    if (service_) return statusReply(0x05, command, kStatusWrongMode);
    switch (command) {
        case 0x86:  // test-clobber
            reply.push_back(kStatusOk);
            return reply;
        case 0x8C:  // Request VPD: the flash copy, then the rest of the record
            reply.push_back(kStatusOk);
            reply.insert(reply.end(), flash_.begin() + kVpdCopyAddress,
                         flash_.begin() + kVpdCopyAddress + kVpdCopySize);
            reply.insert(reply.end(), vpdRecord_ + kVpdCopySize, vpdRecord_ + kSimVpdSize);
            return reply;
        case 0x89: {  // Request Sensors
            uint8_t page[kSimSensorPageSize];
            buildSensorPage(options_.model, vpdRecord_[0x0C], clock_(), page);
            for (const auto& [index, value] : overrides_) applySensorOverride(page, index, value);
            reply.push_back(kStatusOk);
            reply.insert(reply.end(), page, page + kSimSensorPageSize);
            return reply;
        }
        case 0x8A: {  // Request Black Box record
            if (rq.size() < 3 || rq[2] >= kSimBlackBoxRecords) return statusReply(0x05, command, kStatusBadParameter);
            uint8_t records[kSimBlackBoxRecords][kSimSensorPageSize];
            buildBlackBox(options_.model, records);
            reply.push_back(kStatusOk);
            reply.insert(reply.end(), records[rq[2]], records[rq[2]] + kSimSensorPageSize);
            return reply;
        }
        case 0x81: {  // Override / release sensor
            if (rq.size() < 8) return statusReply(0x05, command, kStatusBadParameter);
            const uint32_t index = rq[2];
            const uint32_t value = get32(&rq[3]);
            const uint8_t action = rq[7];
            if (!modelHasSensor(options_.model, index) || action > 1)
                return statusReply(0x05, command, kStatusBadParameter);
            if (action == 1)
                overrides_[index] = value;
            else
                overrides_.erase(index);
            saveOverrides();
            reply.push_back(kStatusOk);
            return reply;
        }
        default: return {};
    }
}

std::vector<uint8_t> Board::appFlashCommand(const std::vector<uint8_t>& rq) {
    const uint8_t command = rq[1];
    if (command != 0x80 && command != 0x82) return {};
    // Only the service firmware can touch its own application flash.
    if (!service_) return statusReply(0x06, command, kStatusWrongMode);
    if (rq.size() < 5 || rq[2] != 0x09) return statusReply(0x06, command, kStatusBadParameter);
    const uint32_t page = static_cast<uint32_t>(rq[3]) | static_cast<uint32_t>(rq[4]) << 8;
    if (page >= kAppFlashPages) return statusReply(0x06, command, kStatusBadParameter);
    if (command == 0x80) {
        std::vector<uint8_t> reply = {0x06, 0x00, kStatusOk};
        reply.insert(reply.end(), flash_.begin() + page * kAppFlashPage, flash_.begin() + (page + 1) * kAppFlashPage);
        return reply;
    }
    if (rq.size() != 5 + kAppFlashPage) return statusReply(0x06, command, kStatusBadParameter);
    if (options_.pageWriteFailPage && (*options_.pageWriteFailPage == page || *options_.pageWriteFailPage == 0xFFFFFFFFu))
        return statusReply(0x06, command, options_.pageWriteFailStatus);
    std::copy(rq.begin() + 5, rq.end(), flash_.begin() + page * kAppFlashPage);
    savePage(page);
    return {0x06, 0x02, kStatusOk};
}

}  // namespace zsim
