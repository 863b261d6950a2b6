// config-si5338: the SI5338's own programming sequence, register by register
// through the uC's one-register I2C reads and writes.
#include <cstring>

#include "base/json_out.h"
#include "base/out.h"
#include "link/service_refusal.h"
#include "clocks/clock_verbs.h"
#include "clocks/register_maps.h"
#include "control/i2c_requests.h"
#include "platform/platform.h"

namespace {

// SI5338 registers used by the sequence.
constexpr uint32_t kRevisionReg = 0;
constexpr uint32_t kBaseNumberReg = 2;
constexpr uint32_t kGradeReg = 3;
constexpr uint32_t kCodeLowReg = 4;
constexpr uint32_t kCodeHighReg = 5;
constexpr uint32_t kFcalOverrideLowReg = 45;  ///< 45, 46, 47: frequency calibration override
constexpr uint32_t kFcalOverrideMidReg = 46;
constexpr uint32_t kFcalOverrideHighReg = 47;
constexpr uint32_t kPllControlReg = 49;      ///< bit 7: use the calibration override
constexpr uint32_t kStatusReg = 218;
constexpr uint32_t kOutputsReg = 230;        ///< bit 4: all outputs off
constexpr uint32_t kFcalLowReg = 235;        ///< 235, 236, 237: calibration result
constexpr uint32_t kFcalMidReg = 236;
constexpr uint32_t kFcalHighReg = 237;
constexpr uint32_t kLossOfLockReg = 241;
constexpr uint32_t kSoftResetReg = 246;
constexpr uint32_t kPageReg = 255;

constexpr uint8_t kPauseLossOfLock = 0xE5;
constexpr uint8_t kResumeLossOfLock = 0x65;
constexpr uint8_t kSoftReset = 0x02;
constexpr uint8_t kInputClockLost = 0x04;   ///< status bit LOS_CLKIN
constexpr uint8_t kNotLocked = 0x15;        ///< SYS_CAL, LOS_CLKIN, PLL_LOL
constexpr uint32_t kPollMs = 25;
constexpr uint32_t kMaxInputClockRereads = 10;
constexpr uint32_t kMaxLockReads = 10;

/// The chip at bus/device, with the register page last selected.
class Si5338 {
public:
    Si5338(ConnectionContext* ctx, bool verbose, uint32_t bus, uint32_t device)
        : ctx_(ctx), verbose_(verbose), bus_(static_cast<uint8_t>(bus)), device_(static_cast<uint8_t>(device)) {}

    Result read(uint32_t index, uint8_t* value) {
        if (Result r = selectPage(index); r != kOk) return r;
        return i2cReadRequest(ctx_, verbose_, bus_, device_, static_cast<uint8_t>(index), 1, value);
    }

    // A write to the page register itself (the sequence's or one in the map)
    // changes the page, so it is remembered: registers after it must not be
    // written on a page the routine no longer believes selected.
    Result write(uint32_t index, uint8_t value) {
        if (index == kPageReg) {
            Result r = rawWrite(kPageReg, value);
            if (r == kOk) page_ = value & 1;
            return r;
        }
        if (Result r = selectPage(index); r != kOk) return r;
        return rawWrite(index, value);
    }

    Result writeMasked(uint8_t mask, uint32_t index, uint8_t value) {
        if (mask == 0xFF) return write(index, value);
        uint8_t old = 0;
        if (Result r = read(index, &old); r != kOk) return r;
        return write(index, static_cast<uint8_t>((value & mask) | (old & ~mask)));
    }

private:
    Result selectPage(uint32_t index) {
        const int page = static_cast<int>((index >> 8) & 1);
        if (page_ == page) return kOk;
        return write(kPageReg, static_cast<uint8_t>(page));
    }

    Result rawWrite(uint32_t index, uint8_t value) {
        return i2cWriteRequest(ctx_, verbose_, bus_, device_, static_cast<uint8_t>(index), &value, 1);
    }

    ConnectionContext* ctx_;
    bool verbose_;
    uint8_t bus_;
    uint8_t device_;
    int page_ = -1;  ///< unknown until written
};

/// Reads the identification registers; 120 for a grade other than A or B.
Result identify(Si5338& chip) {
    uint8_t rev = 0, base = 0, grade = 0, low = 0, high = 0;
    Result r = chip.write(kPageReg, 0);
    if (r == kOk) r = chip.read(kRevisionReg, &rev);
    if (r == kOk) r = chip.read(kBaseNumberReg, &base);
    if (r == kOk) r = chip.read(kGradeReg, &grade);
    if (r == kOk) r = chip.read(kCodeLowReg, &low);
    if (r == kOk) r = chip.read(kCodeHighReg, &high);
    if (r != kOk) return r;
    const char revision = static_cast<char>('A' + (rev & 0x07));
    const unsigned number = base & 0x3Fu;
    const char gradeLetter = static_cast<char>((grade >> 3) + 0x40);
    const unsigned long code = (static_cast<unsigned long>(grade & 1) << 16) | (static_cast<unsigned long>(high) << 8) | low;
    if (gradeLetter != 'A' && gradeLetter != 'B') {
        out("*** Unsupported part SI53%u%c-%c%lu\n", number, gradeLetter, revision, code);
        return kSi5338Unsupported;
    }
    out("Part is SI53%u%c-%c%lu\n", number, gradeLetter, revision, code);
    return kOk;
}

/// Waits for a valid input clock: the status is read again every 25 ms, at
/// most 10 times more.
Result waitForInputClock(Si5338& chip) {
    uint8_t status = 0;
    Result r = chip.read(kStatusReg, &status);
    uint32_t rereads = 0;
    while (r == kOk && (status & kInputClockLost) != 0 && rereads <= kMaxInputClockRereads) {
        platform::sleepMs(kPollMs);
        ++rereads;
        r = chip.read(kStatusReg, &status);
    }
    if (r != kOk) return r;
    if ((status & kInputClockLost) != 0 || rereads > kMaxInputClockRereads) {
        out("*** Timeout waiting for input clock valid\n");
        return kSi5338Timeout;
    }
    return kOk;
}

Result waitForLock(Si5338& chip, bool verbose) {
    uint8_t status = 0;
    for (uint32_t reading = 1; reading <= kMaxLockReads; ++reading) {
        platform::sleepMs(kPollMs);
        if (Result r = chip.read(kStatusReg, &status); r != kOk) return r;
        if ((status & kNotLocked) == 0) return kOk;
        if (verbose) out("LOL_STATUS=0x%02x\n", status);
    }
    out("*** Timeout waiting for PLL lock; LOL_STATUS=0x%02x\n", status);
    return kSi5338Timeout;
}

Result runSequence(Si5338& chip, const RegisterMap& map, bool verbose) {
    Result r = identify(chip);
    if (r == kOk) r = chip.writeMasked(0x10, kOutputsReg, 0x10);
    if (r == kOk) r = chip.write(kLossOfLockReg, kPauseLossOfLock);
    for (uint32_t i = 0; r == kOk && i < map.count; ++i) {
        const uint8_t* e = map.entry(i);
        r = chip.writeMasked(e[2], static_cast<uint32_t>(e[0] | (e[1] << 8)), e[3]);
    }
    if (r != kOk) return r;
    if (verbose) out("Wrote %u register map entries to SI5338\n", map.count);
    if (r = waitForInputClock(chip); r != kOk) return r;
    r = chip.writeMasked(0x80, kPllControlReg, 0x00);
    if (r == kOk) r = chip.write(kSoftResetReg, kSoftReset);
    if (r == kOk) r = chip.write(kLossOfLockReg, kResumeLossOfLock);
    if (r == kOk) r = waitForLock(chip, verbose);
    uint8_t low = 0, mid = 0, high = 0;
    if (r == kOk) r = chip.read(kFcalHighReg, &high);
    if (r == kOk) r = chip.read(kFcalMidReg, &mid);
    if (r == kOk) r = chip.read(kFcalLowReg, &low);
    if (r == kOk) r = chip.write(kFcalOverrideHighReg, static_cast<uint8_t>((high & 0x03) | 0x14));
    if (r == kOk) r = chip.write(kFcalOverrideMidReg, mid);
    if (r == kOk) r = chip.write(kFcalOverrideLowReg, low);
    if (r == kOk) r = chip.writeMasked(0x80, kPllControlReg, 0x80);
    if (r == kOk) r = chip.writeMasked(0x10, kOutputsReg, 0x00);
    return r;
}

}  // namespace

Result configureSi5338(const char* path, ConnectionContext* ctx, bool verbose, uint32_t bus, uint32_t device) {
    if (bus > 255) {
        out("*** I2C bus number be in the range 0 to 255.\n");
        return kBadI2cBus;
    }
    if (device > 127) {
        out("*** I2C device number must be in the range 0 to 127.\n");
        return kBadI2cChip;
    }
    if (refuseInServiceMode(ctx, "config-si5338")) return kRefusedInServiceMode;
    RegisterMap map;
    const uint32_t code = readSi5338Map(printMapDiagnostic, map, path);
    if (code != kMapOk) {
        out("*** Failed to read file '%s' in SI5338 register map format: %s (error %d)\n", path,
            registerMapErrorName(code), static_cast<int>(code));
        return kRegisterMapUnreadable;
    }
    out("File '%s' is an SI5338 register map with %u register / value entries(s)\n", path, map.count);
    if (verbose) {
        out("%u register map entries(s):\n", map.count);
        for (uint32_t i = 0; i < map.count; ++i) {
            const uint8_t* e = map.entry(i);
            out("#%03u index=0x%02X%02X mask=0x%02X value=0x%02X\n", i, e[1], e[0], e[2], e[3]);
        }
    }
    Si5338 chip(ctx, verbose, bus, device);
    if (Result r = runSequence(chip, map, verbose); r != kOk) return r;
    out("SI5338 configuration apparently successful.\n");
    jsonSummary("bus", bus);
    jsonSummary("chip", device);
    jsonSummary("file", boardText(path, std::strlen(path)));
    jsonSummary("entries", map.count);
    return kOk;
}
