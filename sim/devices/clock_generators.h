// The board's programmable clock generators as the uC drives them: the
// frequency requests (0x8F get, 0x8E set, 0x84 get override, 0x83 set
// override) and register-map programming (0x9B, accepted chunk by chunk).
// Which generators a board has, their frequency ranges and what the uC can
// do with them depends on the board model. The uC programs a volatile
// SI5338 map into the board's SI5338 over its own I2C bus with the chip's
// programming sequence.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "devices/board_device.h"

namespace zsim {

enum class ClockChip { Si5338, Lmk61e2 };

struct ClockGeneratorSpec {
    uint8_t index;
    ClockChip chip;
    uint32_t minHz;
    uint32_t maxHz;
    uint32_t defaultHz;
    bool overridable;  ///< a non-volatile override frequency can be stored
};

struct ClockModel {
    bool simple;        ///< the uC sets frequencies itself
    bool registerMaps;  ///< the uC takes register maps
    std::vector<ClockGeneratorSpec> generators;
};

/// The clock generators of a board model.
ClockModel clockModelFor(uint32_t drawingNumber);

// Statuses of the frequency requests.
constexpr uint8_t kClockBadIndex = 0x01;
constexpr uint8_t kClockNoSimple = 0x02;          ///< 0x83: kClockNoOverride
constexpr uint8_t kClockNoOverride = 0x02;
constexpr uint8_t kClockNoSimpleOverride = 0x03;  ///< 0x83 only
constexpr uint8_t kClockOutOfRange = 0x11;
constexpr uint8_t kClockSi5338Silent = 0x21;
// Statuses of register-map programming; 0x80 and above are the chip's own.
constexpr uint8_t kMapNotSupported = 0x01;
constexpr uint8_t kMapBadIndex = 0x02;
constexpr uint8_t kMapBadFlags = 0x03;
constexpr uint8_t kMapBadMap = 0x04;
constexpr uint8_t kMapChipSilent = 0x81;       ///< the SI5338 did not answer on I2C
constexpr uint8_t kMapNoInputClock = 0x82;     ///< its input clock never became valid
constexpr uint8_t kMapNoLock = 0x83;           ///< its PLL never locked

class ClockGenerators : public BoardDevice {
public:
    /// `si5338`: the chip behind the SI5338 generator (owned by the I2C
    /// controller), null when the board has none.
    ClockGenerators(BoardState& state, I2cDevice* si5338);

    std::vector<Claim> claims() const override;
    std::optional<std::vector<uint8_t>> handle(const std::vector<uint8_t>& request) override;
    bool loadState(const std::string& dir, std::string& error) override;

    uint32_t frequency(uint8_t index) const;
    uint32_t overrideFrequency(uint8_t index) const;
    /// The last map programmed into a generator (volatile or not), payload bytes.
    const std::vector<uint8_t>& lastMap(uint8_t index) { return lastMap_[index]; }

private:
    const ClockGeneratorSpec* generator(uint8_t index) const;
    std::vector<uint8_t> frequencyRequest(const std::vector<uint8_t>& rq);
    uint8_t mapChunk(const std::vector<uint8_t>& rq);
    uint8_t applyMap(const ClockGeneratorSpec& g, bool nonVolatile, bool factory);
    void saveOverrides();

    BoardState& state_;
    I2cDevice* si5338_;
    ClockModel model_;
    std::map<uint8_t, uint32_t> frequency_;
    std::map<uint8_t, uint32_t> override_;
    std::map<uint8_t, std::vector<uint8_t>> lastMap_;
    std::string dir_;
    // The map being received: header bytes of its first chunk and the payload so far.
    bool receiving_ = false;
    uint8_t flags_ = 0;
    uint8_t index_ = 0;
    uint8_t type_ = 0;
    std::vector<uint8_t> payload_;
};

/// The uC's SI5338 programming sequence over the chip's bus interface:
/// entries of 4 bytes (index low, index high, mask, value). 0 or a
/// register-map status (kMapChipSilent, kMapNoInputClock, kMapNoLock).
uint8_t programSi5338(I2cDevice& chip, const std::vector<uint8_t>& entries);

}  // namespace zsim
