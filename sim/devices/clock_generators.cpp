#include "devices/clock_generators.h"

#include <cstdio>
#include <fstream>

namespace zsim {
namespace {

// The command bytes of the requests (group 0x05).
enum ClockCommand : uint8_t {
    kGetFrequency = 0x8F, kSetFrequency = 0x8E, kGetOverride = 0x84, kSetOverride = 0x83, kProgramMap = 0x9B
};
constexpr uint32_t kNoOverride = 0xFFFFFFFFu;
constexpr size_t kFrequencyReply = 7;  ///< every frequency reply, statuses included

constexpr uint8_t kFlagNonVolatile = 0x01;
constexpr uint8_t kFlagFactory = 0x02;
constexpr uint8_t kFlagFirst = 0x40;
constexpr uint8_t kFlagLast = 0x80;
constexpr uint8_t kKnownFlags = kFlagNonVolatile | kFlagFactory | kFlagFirst | kFlagLast;
constexpr uint8_t kTypeSi5338 = 0;
constexpr uint8_t kTypeLmk61e2 = 1;
constexpr size_t kMaxMap = 1024;

const char* const kClockOverridesFile = "clock-overrides.txt";

uint32_t clockGet32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

bool programsAtPowerUp(uint32_t hz) { return hz != 0 && hz != kNoOverride; }

std::string nvMapFile(const std::string& dir, uint8_t index) {
    return dir + "/clock-nvmap-" + std::to_string(index) + ".bin";
}

}  // namespace

// Boards of the first layout carry fixed oscillators only; the 1413 has one
// SI5338 whose frequency the uC sets but no register maps; every other
// board has an SI5338 (index 0) and an LMK61E2 (index 1).
ClockModel clockModelFor(uint32_t drawingNumber) {
    switch (drawingNumber) {
        case 1308:
        case 1319:
        case 1322:
        case 1329:
        case 1339:
        case 1342: return {false, false, {}};
        case 1413: return {true, false, {{0, ClockChip::Si5338, 5000000, 350000000, 100000000, false}}};
        default:
            return {true,
                    true,
                    {{0, ClockChip::Si5338, 1000000, 350000000, 100000000, true},
                     {1, ClockChip::Lmk61e2, 10000000, 1000000000, 156250000, true}}};
    }
}

ClockGenerators::ClockGenerators(BoardState& state, I2cDevice* si5338)
    : state_(state), si5338_(si5338), model_(clockModelFor(state.options.model)) {
    for (const ClockGeneratorSpec& g : model_.generators) frequency_[g.index] = g.defaultHz;
}

std::vector<Claim> ClockGenerators::claims() const {
    return {{0x05, kGetFrequency}, {0x05, kSetFrequency}, {0x05, kGetOverride}, {0x05, kSetOverride},
            {0x05, kProgramMap}};
}

const ClockGeneratorSpec* ClockGenerators::generator(uint8_t index) const {
    for (const ClockGeneratorSpec& g : model_.generators)
        if (g.index == index) return &g;
    return nullptr;
}

uint32_t ClockGenerators::frequency(uint8_t index) const {
    auto f = frequency_.find(index);
    return f == frequency_.end() ? 0 : f->second;
}

uint32_t ClockGenerators::overrideFrequency(uint8_t index) const {
    auto f = override_.find(index);
    return f == override_.end() ? kNoOverride : f->second;
}

// Power-up: a generator with a stored override that the uC can program
// starts at it.
bool ClockGenerators::loadState(const std::string& dir, std::string& error) {
    (void)error;
    dir_ = dir;
    std::ifstream f(dir + "/" + kClockOverridesFile);
    uint32_t index = 0, hz = 0;
    while (f >> index >> hz) {
        const ClockGeneratorSpec* g = index <= 0xFF ? generator(static_cast<uint8_t>(index)) : nullptr;
        if (g == nullptr) continue;
        override_[g->index] = hz;
        if (programsAtPowerUp(hz) && hz >= g->minHz && hz <= g->maxHz) frequency_[g->index] = hz;
    }
    return true;
}

void ClockGenerators::saveOverrides() {
    if (dir_.empty()) return;
    const std::string path = dir_ + "/" + kClockOverridesFile;
    std::ofstream f(path, std::ios::trunc);
    for (const auto& [index, hz] : override_) f << static_cast<unsigned>(index) << ' ' << hz << '\n';
    f.close();
    if (!f) state_.saveError = "cannot write '" + path + "'";
}

std::optional<std::vector<uint8_t>> ClockGenerators::handle(const std::vector<uint8_t>& rq) {
    if (rq[1] == kProgramMap) return std::vector<uint8_t>{0x05, kProgramMap & 0x7F, mapChunk(rq)};
    return frequencyRequest(rq);
}

std::vector<uint8_t> ClockGenerators::frequencyRequest(const std::vector<uint8_t>& rq) {
    const uint8_t command = rq[1];
    std::vector<uint8_t> reply = {0x05, static_cast<uint8_t>(command & 0x7F), 0};
    auto finish = [&](uint8_t status, uint32_t hz) {
        reply[2] = status;
        for (int i = 0; i < 4; ++i) reply.push_back(static_cast<uint8_t>(status == 0 ? hz >> (8 * i) : 0));
        return reply;
    };
    const size_t length = command == kGetFrequency ? 3 : command == kGetOverride ? 4 : command == kSetFrequency ? 7 : 8;
    if (rq.size() != length || (command == kGetOverride && rq[3] != 0x01) || (command == kSetOverride && rq[7] != 0x03))
        return finish(kClockBadIndex, 0);
    if (!model_.simple) return finish(command == kSetOverride ? kClockNoSimpleOverride : kClockNoSimple, 0);
    const ClockGeneratorSpec* g = generator(rq[2]);
    if (g == nullptr) return finish(kClockBadIndex, 0);
    const bool chipSilent = g->chip == ClockChip::Si5338 && !state_.powered;
    switch (command) {
        case kGetFrequency: return chipSilent ? finish(kClockSi5338Silent, 0) : finish(0, frequency_[g->index]);
        case kGetOverride: return finish(0, overrideFrequency(g->index));
        case kSetFrequency: {
            const uint32_t hz = clockGet32(&rq[3]);
            if (hz < g->minHz || hz > g->maxHz) return finish(kClockOutOfRange, 0);
            if (chipSilent) return finish(kClockSi5338Silent, 0);
            frequency_[g->index] = hz;
            return finish(0, 0);
        }
        default: {  // set override
            const uint32_t hz = clockGet32(&rq[3]);
            if (!g->overridable) return finish(kClockNoOverride, 0);
            if (programsAtPowerUp(hz) && (hz < g->minHz || hz > g->maxHz)) return finish(kClockOutOfRange, 0);
            override_[g->index] = hz;
            saveOverrides();
            return finish(0, 0);
        }
    }
}

// A map arrives as chunks: the first one (flag 0x40) starts it and fixes
// its flags, generator and type; later chunks must repeat them; the last
// one (flag 0x80) has the whole map checked and applied. Any refusal drops
// the map received so far.
uint8_t ClockGenerators::mapChunk(const std::vector<uint8_t>& rq) {
    const uint8_t status = [&]() -> uint8_t {
        if (rq.size() < 7 || rq.size() != 7u + (rq[5] | rq[6] << 8)) return kMapBadMap;
        const uint8_t flags = rq[2];
        const uint8_t index = rq[3];
        const uint8_t type = rq[4];
        if (!model_.registerMaps) return kMapNotSupported;
        const ClockGeneratorSpec* g = generator(index);
        if (g == nullptr) return kMapBadIndex;
        if ((flags & ~kKnownFlags) != 0) return kMapBadFlags;
        const uint8_t kind = flags & (kFlagNonVolatile | kFlagFactory);
        if ((flags & kFlagFirst) != 0) {
            receiving_ = true;
            flags_ = kind;
            index_ = index;
            type_ = type;
            payload_.clear();
        } else if (!receiving_ || kind != flags_ || index != index_ || type != type_) {
            return kMapBadFlags;
        }
        const bool factory = (kind & kFlagFactory) != 0;
        if (factory && (rq.size() != 7 || (flags & kFlagLast) == 0)) return kMapBadFlags;
        const uint8_t expectedType = factory || g->chip == ClockChip::Si5338 ? kTypeSi5338 : kTypeLmk61e2;
        if (type != expectedType) return kMapBadMap;
        payload_.insert(payload_.end(), rq.begin() + 7, rq.end());
        if (payload_.size() > kMaxMap) return kMapBadMap;
        if ((flags & kFlagLast) == 0) return 0;
        receiving_ = false;
        return applyMap(*g, (kind & kFlagNonVolatile) != 0, factory);
    }();
    if (status != 0) receiving_ = false;
    return status;
}

uint8_t ClockGenerators::applyMap(const ClockGeneratorSpec& g, bool nonVolatile, bool factory) {
    const size_t entry = g.chip == ClockChip::Si5338 ? 4 : 2;
    if (!factory && (payload_.empty() || payload_.size() % entry != 0)) return kMapBadMap;
    for (size_t i = 0; g.chip == ClockChip::Si5338 && i < payload_.size(); i += 4)
        if ((payload_[i] | payload_[i + 1] << 8) > 350) return kMapBadMap;
    if (nonVolatile) {
        // Stored for the next power-up; the factory default removes it.
        if (!dir_.empty()) {
            const std::string path = nvMapFile(dir_, g.index);
            if (factory) {
                std::remove(path.c_str());
            } else {
                std::ofstream f(path, std::ios::binary | std::ios::trunc);
                f.write(reinterpret_cast<const char*>(payload_.data()), static_cast<std::streamsize>(payload_.size()));
                f.close();
                if (!f) state_.saveError = "cannot write '" + path + "'";
            }
        }
        lastMap_[g.index] = payload_;
        return 0;
    }
    if (factory) {
        frequency_[g.index] = g.defaultHz;
        lastMap_[g.index].clear();
        return 0;
    }
    lastMap_[g.index] = payload_;
    if (g.chip != ClockChip::Si5338) return 0;
    if (si5338_ == nullptr || !state_.powered) return kMapChipSilent;
    return programSi5338(*si5338_, payload_);
}

namespace {

/// The chip seen through its bus interface, with the page last selected.
class Chip {
public:
    explicit Chip(I2cDevice& device) : device_(device) {}
    bool write(uint32_t index, uint8_t value) {
        if (index != 255 && !page(index)) return false;
        const uint8_t bytes[2] = {static_cast<uint8_t>(index), value};
        if (!device_.write(bytes, 2)) return false;
        if (index == 255) page_ = value & 1;
        return true;
    }
    bool read(uint32_t index, uint8_t& value) {
        const uint8_t address = static_cast<uint8_t>(index);
        return page(index) && device_.write(&address, 1) && device_.read(&value, 1);
    }
    bool masked(uint32_t index, uint8_t mask, uint8_t value) {
        if (mask == 0xFF) return write(index, value);
        uint8_t old = 0;
        return read(index, old) && write(index, static_cast<uint8_t>((value & mask) | (old & ~mask)));
    }

private:
    bool page(uint32_t index) {
        const int wanted = static_cast<int>(index >> 8);
        return page_ == wanted || write(255, static_cast<uint8_t>(wanted));
    }
    I2cDevice& device_;
    int page_ = -1;
};

}  // namespace

uint8_t programSi5338(I2cDevice& device, const std::vector<uint8_t>& entries) {
    Chip chip(device);
    uint8_t status = 0;
    bool ok = chip.write(255, 0) && chip.masked(230, 0x10, 0x10) && chip.write(241, 0xE5);
    for (size_t i = 0; ok && i < entries.size(); i += 4)
        ok = chip.masked(static_cast<uint32_t>(entries[i] | entries[i + 1] << 8), entries[i + 2], entries[i + 3]);
    // Input clock: a first reading and up to 10 more.
    ok = ok && chip.read(218, status);
    for (int again = 0; ok && (status & 0x04) != 0 && again < 10; ++again) ok = chip.read(218, status);
    if (!ok) return kMapChipSilent;
    if ((status & 0x04) != 0) return kMapNoInputClock;
    ok = chip.masked(49, 0x80, 0x00) && chip.write(246, 0x02) && chip.write(241, 0x65);
    status = 0x15;
    for (int reading = 0; ok && (status & 0x15) != 0 && reading < 10; ++reading) ok = chip.read(218, status);
    if (!ok) return kMapChipSilent;
    if ((status & 0x15) != 0) return kMapNoLock;
    uint8_t low = 0, mid = 0, high = 0;
    ok = chip.read(237, high) && chip.read(236, mid) && chip.read(235, low) &&
         chip.write(47, static_cast<uint8_t>((high & 0x03) | 0x14)) && chip.write(46, mid) && chip.write(45, low) &&
         chip.masked(49, 0x80, 0x80) && chip.masked(230, 0x10, 0x00);
    return ok ? 0 : kMapChipSilent;
}

}  // namespace zsim
