#include "devices/app_flash.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace zsim {
namespace {

void put32(std::vector<uint8_t>& v, uint32_t x, int bytes = 4) {
    for (int i = 0; i < bytes; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

const char* const kFlashFile = "appflash.bin";
constexpr uint32_t kAppFlashSize = 128 * 1024;
constexpr uint32_t kAppFlashPage = 512;
constexpr uint32_t kBrdCfgAddress = 0x1FC00;  // the board configuration block
constexpr uint32_t kVpdCopyAddress = 0x1FF00;

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

}  // namespace

ApplicationFlash::ApplicationFlash(BoardState& state) : state_(state), flash_(kAppFlashSize, 0xFF) {
    const uint32_t model = state.options.model;
    // Firmware: a vector table (initial stack pointer, reset handler with
    // the Thumb bit) and about 100 KiB of code-like bytes; the rest of the
    // firmware region is erased.
    XorShift rng{0x2545F491u ^ model};
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
    put32(cfg, model);
    put32(cfg, 0x0001, 2);  // layout version
    put32(cfg, 0x0048, 2);  // SMBus address
    for (int i = 0; i < 48; ++i) cfg.push_back(static_cast<uint8_t>(rng.next() >> 24));
    std::copy(cfg.begin(), cfg.end(), flash_.begin() + kBrdCfgAddress + 8);
    // VPD copy: the first 128 bytes of the record.
    std::memcpy(&flash_[kVpdCopyAddress], state.vpdRecord, kVpdCopySize);
}

const uint8_t* ApplicationFlash::vpdCopy() const { return &flash_[kVpdCopyAddress]; }

// Decision: the state directory keeps the application flash, saved after
// every change. When the command line names the board's identity (--model,
// --serial, --vpd-*), the VPD copy in flash is rebuilt from it even over a
// saved flash image, since that is what the user asked for on this run.
bool ApplicationFlash::loadState(const std::string& dir, std::string& error) {
    dir_ = dir;
    const std::string flashPath = dir + "/" + kFlashFile;
    std::ifstream f(flashPath, std::ios::binary);
    if (!f) return true;
    std::vector<uint8_t> saved(kAppFlashSize + 1);
    f.read(reinterpret_cast<char*>(saved.data()), static_cast<std::streamsize>(saved.size()));
    if (f.gcount() != static_cast<std::streamsize>(kAppFlashSize)) {
        error = "saved flash image '" + flashPath + "' is not " + std::to_string(kAppFlashSize) + " bytes";
        return false;
    }
    saved.resize(kAppFlashSize);
    flash_ = std::move(saved);
    if (state_.options.identityGiven) std::memcpy(&flash_[kVpdCopyAddress], state_.vpdRecord, kVpdCopySize);
    return true;
}

// The whole image is written once so that later saves can patch pages in place.
bool ApplicationFlash::stateLoaded(std::string& error) {
    if (dir_.empty()) return true;
    const std::string flashPath = dir_ + "/" + kFlashFile;
    std::ofstream f(flashPath, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(flash_.data()), static_cast<std::streamsize>(flash_.size()));
    f.close();
    if (!f) {
        error = "cannot write '" + flashPath + "'";
        return false;
    }
    return true;
}

void ApplicationFlash::savePage(uint32_t page) {
    if (dir_.empty()) return;
    const std::string path = dir_ + "/" + kFlashFile;
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        state_.saveError = "cannot open '" + path + "': " + std::strerror(errno);
        return;
    }
    ssize_t w = pwrite(fd, &flash_[page * kAppFlashPage], kAppFlashPage, static_cast<off_t>(page) * kAppFlashPage);
    if (w != static_cast<ssize_t>(kAppFlashPage)) state_.saveError = "short write to '" + path + "'";
    ::close(fd);
}

// Page read 06 80 09 lo hi, page write 06 82 09 lo hi + 512 bytes.
std::optional<std::vector<uint8_t>> ApplicationFlash::handle(const std::vector<uint8_t>& rq) {
    const uint8_t command = rq[1];
    if (rq.size() < 5 || rq[2] != 0x09) return statusReply(0x06, command, kStatusBadParameter);
    const uint32_t page = static_cast<uint32_t>(rq[3]) | static_cast<uint32_t>(rq[4]) << 8;
    if (page >= kAppFlashSize / kAppFlashPage) return statusReply(0x06, command, kStatusBadParameter);
    if (command == 0x80) {
        std::vector<uint8_t> reply = {0x06, 0x00, kStatusOk};
        reply.insert(reply.end(), flash_.begin() + page * kAppFlashPage, flash_.begin() + (page + 1) * kAppFlashPage);
        return reply;
    }
    const SimOptions& o = state_.options;
    if (rq.size() != 5 + kAppFlashPage) return statusReply(0x06, command, kStatusBadParameter);
    if (o.pageWriteFailPage && (*o.pageWriteFailPage == page || *o.pageWriteFailPage == 0xFFFFFFFFu))
        return statusReply(0x06, command, o.pageWriteFailStatus);
    std::copy(rq.begin() + 5, rq.end(), flash_.begin() + page * kAppFlashPage);
    savePage(page);
    return std::vector<uint8_t>{0x06, 0x02, kStatusOk};
}

}  // namespace zsim
