#include "devices/spi_nor_chip.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

namespace zsim {
namespace {

constexpr uint64_t kPage = 4096;  // memory page: erases drop whole pages

uint64_t steadyUs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

uint8_t* mapAnonymous(uint64_t size) {
    void* m = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return m == MAP_FAILED ? nullptr : static_cast<uint8_t*>(m);
}

}  // namespace

SpiNorChip::SpiNorChip(const SpiPart& part) : part_(part), nowUs_(steadyUs) {
    stored_ = mapAnonymous(part_.capacity);
    fourByte_ = part_.always4Byte;
}

SpiNorChip::~SpiNorChip() { release(); }

void SpiNorChip::release() {
    if (stored_ != nullptr) munmap(stored_, part_.capacity);
    stored_ = nullptr;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

// The image file holds every byte complemented: a new chip is a sparse
// file of the chip's size, and a later run maps it again. Writes go to the
// shared mapping, so each change reaches the file without a rewrite.
bool SpiNorChip::attachFile(const std::string& path, std::string& error) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot open '" + path + "': " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || (st.st_size != 0 && static_cast<uint64_t>(st.st_size) != part_.capacity)) {
        error = "SPI flash image '" + path + "' is not " + std::to_string(part_.capacity) + " bytes";
        ::close(fd);
        return false;
    }
    if (st.st_size == 0 && ftruncate(fd, static_cast<off_t>(part_.capacity)) != 0) {
        error = "cannot size '" + path + "': " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    void* m = mmap(nullptr, part_.capacity, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (m == MAP_FAILED) {
        error = "cannot map '" + path + "': " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    release();
    stored_ = static_cast<uint8_t*>(m);
    fd_ = fd;
    return true;
}

uint8_t SpiNorChip::statusRegister() const {
    return static_cast<uint8_t>((busy() ? kSpiStatusBusy : 0) | (wel_ ? kSpiStatusWel : 0));
}

bool SpiNorChip::busy() const { return stuckNow_ || nowUs_() < busyUntil_; }

void SpiNorChip::startBusy(uint32_t us) {
    busyUntil_ = nowUs_() + us;
    if (stuckBusy_) stuckNow_ = true;
}

void SpiNorChip::hardwareReset() {
    busyUntil_ = 0;
    softReset();
}

// Every part here leaves 4-byte mode on a reset (their SFDP areas say so
// where they have a 4-byte mode to leave); the address registers are
// volatile and clear.
void SpiNorChip::softReset() {
    fourByte_ = part_.always4Byte;
    wel_ = false;
    resetEnabled_ = false;
    bank_ = 0;
    extAddr_ = 0;
}

size_t SpiNorChip::addressBytes(bool forceFour) const { return fourByte_ || forceFour ? 4 : 3; }

// The flash address an opcode's address bytes name: 4 bytes as they are;
// 3 bytes below the bank or extended address register's 16 MiB segment.
// Addresses beyond the chip wrap, as the chip ignores the upper bits.
uint64_t SpiNorChip::address(const uint8_t* in, size_t width) const {
    uint64_t a = 0;
    for (size_t i = 0; i < width; ++i) a = a << 8 | in[i];
    if (width == 3) {
        if (part_.bankRegister) a |= static_cast<uint64_t>(bank_ & 0x7F) << 24;
        if (part_.extAddrRegister) a |= static_cast<uint64_t>(extAddr_) << 24;
    }
    return a % part_.capacity;
}

void SpiNorChip::transfer(const uint8_t* mosi, size_t writeCount, uint8_t* miso, size_t readCount) {
    // While it reads, the uC clocks out 0xFF; MISO floats high (0xFF)
    // wherever the chip does not drive it.
    const size_t n = writeCount + readCount;
    std::vector<uint8_t> in(n, 0xFF), out(n, 0xFF);
    std::copy(mosi, mosi + writeCount, in.begin());
    execute(in.data(), out.data(), n, writeCount);
    std::copy(out.begin() + static_cast<long>(writeCount), out.end(), miso);
}

// `in` holds every byte clocked in while chip select was low (n bytes),
// `out` receives what the chip drove on MISO at the same clocks. Commands
// that act when chip select rises (write enable, program, erase, register
// writes, resets) are ignored unless it rises exactly where the part
// expects, as on real chips.
void SpiNorChip::execute(const uint8_t* in, uint8_t* out, size_t n, size_t writeCount) {
    if (n == 0) return;
    const uint8_t op = in[0];
    const bool armed = std::exchange(resetEnabled_, false);
    // Busy with a program or erase, the chip answers only status reads.
    if (busy() && op != 0x05) return;
    auto drive = [&](size_t from, auto value) {
        for (size_t p = from; p < n; ++p) out[p] = value(p - from);
    };
    switch (op) {
        case 0x05: drive(1, [&](size_t) { return statusRegister(); }); return;
        case 0x06:
            if (n == 1) wel_ = true;
            return;
        case 0x04:
            if (n == 1) wel_ = false;
            return;
        case 0x9F: drive(1, [&](size_t i) { return i < 3 ? part_.jedecId[i] : uint8_t{0}; }); return;
        case 0x5A: {  // SFDP: always a 3-byte address and one dummy byte
            if (n < 5) return;
            const uint32_t a = static_cast<uint32_t>(in[1]) << 16 | static_cast<uint32_t>(in[2]) << 8 | in[3];
            drive(5, [&](size_t i) { return a + i < part_.sfdp.size() ? part_.sfdp[a + i] : uint8_t{0xFF}; });
            return;
        }
        case 0x03: {
            const size_t w = addressBytes(false);
            if (n < 1 + w) return;
            const uint64_t a = address(in + 1, w);
            drive(1 + w, [&](size_t i) { return byteAt(a + i); });
            return;
        }
        case 0x02: {
            const size_t w = addressBytes(false);
            if (n <= 1 + w || !wel_) return;
            program(address(in + 1, w), in + 1 + w, n - 1 - w);
            return;
        }
        case 0x60:
        case 0xC7:
            if (!part_.chipErase || n != 1 || !wel_) return;
            erased(0, part_.capacity);
            wel_ = false;
            startBusy(eraseUs_);
            return;
        case 0xB7:
            if (!part_.enter4ByteB7 || n != 1 || (part_.b7NeedsWriteEnable && !wel_)) return;
            fourByte_ = true;
            if (part_.b7NeedsWriteEnable) wel_ = false;
            return;
        case 0xE9:
            if (part_.enter4ByteB7 && n == 1 && !part_.always4Byte) fourByte_ = false;
            return;
        case 0x16:
            if (part_.bankRegister) drive(1, [&](size_t) { return bank_; });
            return;
        case 0x17:  // no write enable needed
            if (!part_.bankRegister || n != 2) return;
            bank_ = in[1];
            fourByte_ = part_.always4Byte || (bank_ & 0x80) != 0;
            return;
        case 0xC8:
            if (part_.extAddrRegister) drive(1, [&](size_t) { return extAddr_; });
            return;
        case 0xC5:
            if (!part_.extAddrRegister || n != 2 || !wel_) return;
            extAddr_ = in[1];
            wel_ = false;
            return;
        case 0x66:
            if (part_.reset6699 && n == 1) resetEnabled_ = true;
            return;
        case 0x99:
            if (armed && n == 1) softReset();
            return;
        case 0xF0:
            if (part_.resetF0 && n == 1) softReset();
            return;
        default: break;
    }
    for (int t = 0; t < 4; ++t) {
        const SpiEraseType& e = part_.eraseTypes[t];
        if (e.size == 0 || e.opcode != op) continue;
        const size_t w = addressBytes(e.fourByteAddress);
        if (n == 1 + w && wel_) erase(address(in + 1, w), t);
        return;
    }
    for (const SpiRegisterRead& r : part_.registers) {
        if (r.opcode != op) continue;
        const size_t w = r.addressed ? addressBytes(false) : 0;
        if (n < 1 + w + r.dummyBytes) return;
        uint32_t a = 0;
        for (size_t i = 0; i < w; ++i) a = a << 8 | in[1 + i];
        uint8_t value = 0;
        for (const SpiRegisterRead& s : part_.registers)
            if (s.opcode == op && (!s.addressed || s.address == a)) value = s.value;
        drive(1 + w + r.dummyBytes, [&](size_t) { return value; });
        return;
    }
    // The "drive ones on the data lines" resets: the uC sends zeros on
    // the data-in line while it holds the other lines high.
    if (op == 0x00 && part_.resetOnes && n == writeCount && n >= 2 &&
        std::all_of(in, in + n, [](uint8_t b) { return b == 0; }))
        softReset();
}

// A page program: the bytes go into the page buffer from the address on,
// wrapping inside the page (later bytes replace earlier ones); then each
// buffered byte can only clear bits.
void SpiNorChip::program(uint64_t address, const uint8_t* data, size_t count) {
    const uint64_t base = address - address % part_.pageSize;
    std::vector<uint8_t> page(part_.pageSize, 0xFF);
    for (size_t i = 0; i < count; ++i) page[(address - base + i) % part_.pageSize] = data[i];
    for (uint32_t i = 0; i < part_.pageSize; ++i) stored_[base + i] |= static_cast<uint8_t>(~page[i]);
    wel_ = false;
    startBusy(programUs_);
}

// The naturally aligned block of the type's size, cut to the sector-map
// region holding the address. An erase type that does not work in that
// region erases nothing.
void SpiNorChip::erase(uint64_t address, int type) {
    wel_ = false;
    uint64_t regionStart = 0, regionEnd = part_.capacity;
    uint8_t mask = 0x0F;
    if (!part_.regions.empty()) {
        uint64_t start = 0;
        for (const SpiRegion& r : part_.regions) {
            if (address < start + r.size) {
                regionStart = start, regionEnd = start + r.size, mask = r.eraseMask;
                break;
            }
            start += r.size;
        }
    }
    if ((mask & (1u << type)) == 0) return;
    const uint64_t size = part_.eraseTypes[type].size;
    const uint64_t block = address - address % size;
    const uint64_t start = std::max(block, regionStart);
    const uint64_t end = std::min(block + size, regionEnd);
    erased(start, end - start);
    startBusy(eraseUs_);
}

// Sets a range to 0xFF (stored as zeros). Whole memory pages are dropped,
// which punches holes into the image file, so erasing stays cheap.
void SpiNorChip::erased(uint64_t start, uint64_t length) {
    uint64_t end = start + length;
    uint64_t first = (start + kPage - 1) / kPage * kPage;
    uint64_t last = end / kPage * kPage;
    if (first >= last) {
        std::memset(stored_ + start, 0, length);
        return;
    }
    std::memset(stored_ + start, 0, first - start);
    std::memset(stored_ + last, 0, end - last);
    if (madvise(stored_ + first, last - first, fd_ >= 0 ? MADV_REMOVE : MADV_DONTNEED) != 0)
        std::memset(stored_ + first, 0, last - first);
}

}  // namespace zsim
