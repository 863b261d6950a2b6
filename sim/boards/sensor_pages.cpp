// What the simulated boards measure: per model, the nominal value of every
// sensor channel, the ADC range it is read with, and a black box with a
// history of saved pages. Readings wander a little around their nominal
// values, reproducibly, so that repeated runs show the same bytes.
#include <cmath>
#include <cstring>

#include "boards/board_data.h"

namespace zsim {
namespace {

constexpr uint32_t kChannels = 18;  // 14 ADC channels, then 4 temperatures
constexpr uint32_t kAdcChannels = 14;
constexpr uint32_t kErased = 0xFFFFFFFF;

// One channel: 'V' a rail in volts, 'A' a current in amperes, 'G' a ground
// reference (reads about 0 V), 'T' a temperature in degrees Celsius, '-'
// nothing fitted.
struct Channel {
    char kind;
    double nominal;
};

// Channels read through the high-range divider report in 1/256 steps
// instead of 1/4096; bit i is channel i.
struct SensorBoard {
    uint32_t drawings[3];
    Channel ch[kChannels];
    uint32_t coarseMask;
    // AUX8 current sensing moved to the high range from this PCB major
    // revision on (0: never).
    uint32_t coarseCh1FromRevision;
};

constexpr Channel N = {'-', 0.0};
constexpr Channel v(double x) { return {'V', x}; }
constexpr Channel a(double x) { return {'A', x}; }
constexpr Channel t(double x) { return {'T', x}; }

constexpr SensorBoard kSensorBoards[] = {
    {{1305, 1440, 0},
     {v(12.0), v(12.0), v(5.0), v(3.3), v(2.5), v(1.8), v(0.95), v(1.8), v(1.2), v(1.8), v(1.0), v(1.2), v(1.0),
      v(1.0), t(41), t(45), t(52), t(57)},
     0, 0},
    {{1308, 0, 0},
     {v(12.0), v(3.3), v(3.3), v(2.5), v(1.8), v(1.2), v(1.2), v(1.0), v(0.95), v(0.6), a(2.1), a(1.4), a(0.6),
      a(0.35), t(40), t(55), N, N},
     0, 0},
    {{1319, 1329, 1342},
     {v(12.0), v(3.3), v(3.3), v(3.3), v(2.5), v(1.8), v(1.8), v(1.2), v(1.2), v(1.0), v(0.95), v(0.6), a(2.4),
      a(1.1), t(42), t(56), N, N},
     0, 0},
    {{1322, 0, 0},
     {v(12.0), v(3.3), v(3.3), v(2.5), v(1.8), v(1.2), v(1.2), v(0.9), v(0.85), v(0.6), a(3.2), a(1.0), a(0.7),
      a(0.4), t(40), t(44), t(46), t(58)},
     0, 0},
    {{1323, 0, 0},
     {v(12.0), v(12.0), v(5.0), v(3.3), v(2.5), v(1.8), v(0.85), v(1.8), v(1.2), v(1.8), v(0.85), v(1.2), v(0.9),
      v(0.85), t(43), t(47), N, t(59)},
     0, 0},
    {{1339, 0, 0},
     {v(12.0), v(3.3), v(3.3), v(2.5), v(1.8), v(1.8), v(1.2), v(0.9), v(0.85), v(0.85), a(2.8), a(0.9), a(0.6),
      a(0.3), t(40), t(44), t(46), t(55)},
     0, 0},
    {{1341, 0, 0},
     {v(12.0), v(12.0), v(12.0), v(3.3), a(1.2), v(3.3), v(2.5), v(1.8), v(1.8), v(1.2), v(1.2), v(0.9), v(1.8),
      v(0.85), t(39), t(45), t(47), t(60)},
     0, 0},
    {{1353, 1510, 0},
     {v(12.0), v(12.0), v(5.0), v(3.3), v(3.3), v(2.5), v(1.8), v(0.85), v(1.8), v(1.2), v(0.85), v(1.2), v(0.9),
      v(0.85), t(42), t(48), N, t(58)},
     0, 0},
    {{1360, 0, 0},
     {v(12.0), v(5.0), v(3.3), v(2.5), v(2.5), v(1.8), v(1.0), v(1.8), v(1.5), v(1.2), v(1.0), a(1.9), a(0.8),
      a(1.2), t(41), t(46), t(54), N},
     0, 0},
    {{1365, 0, 0},
     {v(12.0), a(3.5), v(3.3), a(1.3), v(3.3), v(3.3), v(2.5), v(1.8), v(1.8), v(1.2), v(1.2), v(0.9), v(1.8),
      v(0.85), t(40), t(45), t(48), t(58)},
     0, 0},
    {{1377, 0, 0},
     {v(12.0), a(3.0), v(3.3), v(3.3), v(2.5), v(2.5), v(1.8), v(1.8), v(1.2), v(1.2), v(0.9), v(0.85), v(0.6),
      v(0.6), t(41), t(45), t(47), t(59)},
     0, 0},
    {{1385, 0, 0},
     {v(12.0), a(4.1), v(12.0), a(2.2), v(3.3), v(3.3), v(3.3), v(2.5), v(1.8), v(1.8), v(1.2), v(0.9), v(0.85), N,
      t(41), t(46), t(49), t(57)},
     0, 0},
    {{1413, 0, 0},
     {v(24.0), v(12.0), v(3.3), v(3.3), v(1.8), N, a(2.5), a(1.4), N, N, N, N, N, N, t(39), t(44), N, N},
     0x0001, 0},
    {{1422, 0, 0},
     {v(12.0), a(4.1), v(12.0), a(2.2), v(3.3), v(3.3), v(3.3), v(2.5), v(1.8), v(1.8), v(1.2), v(0.9), v(0.85),
      v(1.5), t(41), t(46), t(49), t(57)},
     0, 0},
    {{1426, 0, 0},
     {v(12.0), a(4.5), v(12.0), a(2.5), v(3.3), v(3.3), v(2.5), v(2.5), v(1.8), v(0.9), v(1.2), v(1.2), v(1.8),
      v(0.85), t(40), t(46), t(48), t(60)},
     0, 2},
    {{1429, 1430, 0},
     {v(12.0), v(12.0), a(2.7), v(3.3), v(3.3), v(3.3), v(1.8), v(1.5), v(1.5), v(1.2), v(1.2), v(0.88), v(0.8),
      v(1.8), t(41), t(45), t(47), t(57)},
     0, 0},
    {{1437, 0, 0},
     {v(12.0), v(12.0), v(5.0), v(3.3), v(3.3), v(1.8), v(0.85), v(1.2), v(0.6), v(2.5), v(1.8), v(1.8), v(1.8),
      v(0.85), t(42), t(47), N, t(56)},
     0, 0},
    {{1461, 0, 0},
     {v(12.0), a(5.0), v(3.3), v(3.3), v(1.8), v(1.8), v(1.4), v(1.2), v(1.2), v(1.1), v(0.9), v(0.9), v(0.85),
      v(0.8), t(43), t(48), t(50), t(58)},
     0, 0},
    {{1467, 1495, 0},
     {v(12.0), a(6.0), v(12.0), a(2.4), v(3.3), v(3.3), v(3.3), v(2.5), v(1.8), v(1.8), v(1.2), v(0.9), v(0.85),
      {'G', 0.0}, t(41), t(46), t(48), t(59)},
     0x0002, 0},
    {{1474, 0, 0},
     {v(12.0), a(5.5), v(3.3), a(0.4), v(3.3), v(2.5), v(1.8), v(1.8), v(1.5), v(1.2), v(1.2), v(0.9), v(0.85),
      v(0.6), t(40), t(45), t(47), t(57)},
     0x0002, 0},
    {{1478, 1479, 0},
     {v(5.0), v(12.0), v(3.3), v(3.3), v(2.5), v(1.8), v(0.95), v(1.8), v(1.2), v(1.0), v(1.0), v(1.0), v(1.2),
      v(1.2), t(41), t(46), t(55), t(50)},
     0, 0},
    {{1486, 0, 0},
     {v(12.0), a(3.8), v(3.3), a(0.3), v(3.3), v(2.5), v(1.8), v(1.8), v(1.2), v(1.2), v(0.9), v(0.85), v(0.6),
      v(5.0), t(42), t(46), t(48), t(58)},
     0, 0},
    {{1492, 0, 0},
     {v(12.0), a(5.2), v(12.0), a(2.6), v(3.3), v(3.3), v(1.8), v(1.5), v(1.5), v(1.2), v(1.1), v(0.92), v(0.8),
      v(0.8), t(42), t(47), t(49), t(59)},
     0x0005, 3},
    {{1501, 0, 0},
     {v(12.0), v(3.3), v(3.3), a(2.9), a(1.1), a(0.2), N, N, N, N, N, N, N, N, t(39), t(44), N, t(45)},
     0, 0},
    {{1528, 0, 0},
     {v(12.0), v(12.0), v(5.0), v(3.3), v(3.3), v(1.8), v(0.85), v(1.2), v(0.6), v(2.5), v(0.9), v(1.8), v(1.8),
      v(1.2), t(42), t(47), N, t(57)},
     0, 0},
    {{1548, 0, 0},
     {v(28.0), v(12.0), v(3.3), v(1.8), a(1.6), a(2.2), N, N, N, N, N, N, N, N, t(38), t(43), N, N},
     0x0001, 0},
};

// Models the simulator knows nothing particular about (1456 among them)
// get a generic card with every channel fitted.
constexpr SensorBoard kGenericSensorBoard = {
    {0, 0, 0},
    {v(12.0), v(3.3), v(3.3), v(2.5), v(1.8), v(1.8), v(1.2), v(1.2), v(1.0), v(0.9), v(0.85), v(0.6), a(2.0),
     a(1.0), t(40), t(45), t(50), t(55)},
    0, 0};

const SensorBoard& boardOf(uint32_t drawingNumber) {
    for (const SensorBoard& b : kSensorBoards) {
        for (uint32_t d : b.drawings) {
            if (d != 0 && d == drawingNumber) return b;
        }
    }
    return kGenericSensorBoard;
}

bool coarse(const SensorBoard& b, uint32_t channel, uint32_t pcbMajor) {
    if ((b.coarseMask >> channel) & 1u) return true;
    return channel == 1 && b.coarseCh1FromRevision != 0 && pcbMajor >= b.coarseCh1FromRevision;
}

// A small reproducible spread: returns a value in [-1, 1).
double wobble(uint32_t a1, uint32_t a2, uint32_t a3) {
    uint32_t x = a1 * 0x9E3779B1u ^ (a2 + 0x7F4A7C15u) * 0x85EBCA77u ^ (a3 + 1u) * 0xC2B2AE3Du;
    x ^= x >> 15;
    x *= 0x2C1B3C6Du;
    x ^= x >> 12;
    return static_cast<double>(x % 2000u) / 1000.0 - 1.0;
}

uint16_t clampRaw(double raw) {
    if (raw < 0.0) return 0;
    if (raw > 65535.0) return 65535;
    return static_cast<uint16_t>(std::lround(raw));
}

void putU16(uint8_t* p, uint16_t x) {
    p[0] = static_cast<uint8_t>(x);
    p[1] = static_cast<uint8_t>(x >> 8);
}

void putU32(uint8_t* p, uint32_t x) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(x >> (8 * i));
}

void setChannelStatus(uint8_t* page, uint32_t channel, uint8_t nibble) {
    uint8_t* b = channel < kAdcChannels ? page + 0x36 + channel / 2 : page + 0x3D + (channel - kAdcChannels) / 2;
    const uint32_t slot = channel < kAdcChannels ? channel : channel - kAdcChannels;
    if (slot % 2 == 0) {
        *b = static_cast<uint8_t>((*b & 0xF0) | nibble);
    } else {
        *b = static_cast<uint8_t>((*b & 0x0F) | (nibble << 4));
    }
}

// Raw reading of a channel whose physical value is `value`.
uint16_t rawOf(const SensorBoard& b, uint32_t channel, double value, uint32_t pcbMajor) {
    if (channel >= kAdcChannels) return clampRaw((value + 273.15) * 16.0);  // 1/16 K steps
    return clampRaw(value * (coarse(b, channel, pcbMajor) ? 256.0 : 4096.0));
}

void fillPage(const SensorBoard& b, uint32_t pcbMajor, uint32_t etc, uint32_t eventCount, uint32_t seed, uint8_t* page) {
    std::memset(page, 0, kSimSensorPageSize);
    putU32(page + 0x00, etc);
    putU32(page + 0x04, eventCount);
    for (uint32_t c = 0; c < kChannels; ++c) {
        const Channel& ch = b.ch[c];
        if (ch.kind == '-') continue;
        double value = ch.nominal;
        switch (ch.kind) {
            case 'V': value *= 1.0 + 0.004 * wobble(b.drawings[0], c, seed); break;
            case 'A': value *= 1.0 + 0.05 * wobble(b.drawings[0], c, seed); break;
            case 'G': value = 0.002 * (1.0 + wobble(b.drawings[0], c, seed)); break;
            case 'T': value += 1.5 * wobble(b.drawings[0], c, seed); break;
            default: break;
        }
        uint8_t* p = c < kAdcChannels ? page + 0x08 + 2 * c : page + 0x24 + 2 * (c - kAdcChannels);
        putU16(p, rawOf(b, c, value, pcbMajor));
        setChannelStatus(page, c, 0x8);  // OK
    }
    page[0x2C] = 0x07;  // mezzanine site 0: present, VIO enabled, power good
    page[0x30] = 0x0F;  // PSUs 0 to 3 good
    page[0x31] = 0x11;  // board config valid, FPGA 0 done
    page[0x32] = 0x40;  // USB connected, geographic address 0
    page[0x34] = 0x13;  // clock generator initialised, registers loaded, config 0 good
}

// The PCB revision byte of the model's VPD (offset 0x0C on the models whose
// sensor scaling depends on it).
uint32_t pcbMajorOf(uint32_t drawingNumber) {
    uint8_t vpd[kSimVpdSize];
    buildVpdRecord(drawingNumber, 0, vpd);
    return vpd[0x0C] >> 4;
}

// Saved pages: elapsed seconds when each record was written. Clobber records
// are a ring the uC reuses, so their times are in no particular order; some
// slots were never written (erased flash).
constexpr uint32_t kClobberEtc[24] = {
    412733, 415020, 398812, kErased, 420155, 401337, 409904, 423871, kErased, 395210, 418452, 404626,
    426008, kErased, 399975, 410118, 421734, kErased, kErased, kErased, kErased, 407262, kErased, kErased,
};
constexpr uint32_t kNoClobberEtc[7] = {1207, 88, kErased, 36015, 5230, kErased, 271};

}  // namespace

void buildSensorPage(uint32_t drawingNumber, uint8_t pcbRevision, uint32_t elapsedSeconds,
                     uint8_t page[kSimSensorPageSize]) {
    fillPage(boardOf(drawingNumber), pcbRevision >> 4u, elapsedSeconds, 3, elapsedSeconds, page);
}

void buildBlackBox(uint32_t drawingNumber, uint8_t records[kSimBlackBoxRecords][kSimSensorPageSize]) {
    const SensorBoard& b = boardOf(drawingNumber);
    const uint32_t pcbMajor = pcbMajorOf(drawingNumber);
    for (uint32_t r = 0; r < kSimBlackBoxRecords; ++r) {
        const uint32_t etc = r < 24 ? kClobberEtc[r] : kNoClobberEtc[r - 24];
        uint8_t* page = records[r];
        if (etc == kErased) {
            std::memset(page, 0xFF, kSimSensorPageSize);
            continue;
        }
        fillPage(b, pcbMajor, etc, r + 1, etc, page);
        // Each saved page records an excursion: one fitted channel out of
        // its window, flagged over (or, every third record, under) with the
        // reading moved accordingly.
        uint32_t c = (r * 7u) % kChannels;
        while (b.ch[c].kind == '-') c = (c + 1) % kChannels;
        const bool under = r % 3 == 2 && b.ch[c].kind != 'T';
        const double factor = under ? 0.85 : 1.12;
        double value = b.ch[c].kind == 'T' ? b.ch[c].nominal + 30.0 : b.ch[c].nominal * factor;
        if (b.ch[c].kind == 'G') value = 0.25;
        uint8_t* p = c < kAdcChannels ? page + 0x08 + 2 * c : page + 0x24 + 2 * (c - kAdcChannels);
        putU16(p, rawOf(b, c, value, pcbMajor));
        setChannelStatus(page, c, under ? 0x1 : (r % 4 == 0 ? 0x6 : 0x2));
        page[0x31] = r % 5 == 0 ? 0x91 : 0x11;  // some were saved on a power-off request
    }
}

bool modelHasSensor(uint32_t drawingNumber, uint32_t index) {
    return index < kChannels && boardOf(drawingNumber).ch[index].kind != '-';
}

void applySensorOverride(uint8_t page[kSimSensorPageSize], uint32_t index, uint32_t value) {
    // A channel reading is 16 bits wide: the uC keeps the low half of the
    // 32-bit override value.
    if (index >= kChannels) return;
    uint8_t* p = index < kAdcChannels ? page + 0x08 + 2 * index : page + 0x24 + 2 * (index - kAdcChannels);
    putU16(p, static_cast<uint16_t>(value));
}

}  // namespace zsim
