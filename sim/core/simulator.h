// The board plus its misbehaviour: counts requests, applies the fault
// options to the board's answers, and turns answers into line bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/board.h"
#include "core/frame_codec.h"
#include "core/options.h"

namespace zsim {

/// What goes back for one request.
struct Outgoing {
    bool reply = false;             ///< false: stay silent
    bool hangUp = false;            ///< drop the line (after acting, without a reply)
    uint32_t delayMs = 0;           ///< wait this long before answering
    std::vector<uint8_t> message;   ///< the reply message (after faults)
    std::vector<uint8_t> linePrefix;  ///< serial line only: noise or a half frame before the reply frame
    /// The bytes for the serial line, written at once.
    std::vector<uint8_t> lineBytes() const;
};

class Simulator {
public:
    explicit Simulator(const SimOptions& options);

    Board& board() { return board_; }
    /// Requests handled so far.
    uint32_t requestCount() const { return count_; }

    /// One request message in, what to send back out.
    Outgoing handle(const std::vector<uint8_t>& request);

    /// Serial line: feeds received line bytes; returns one Outgoing per
    /// complete request frame, and each request (for the log) in `requests`.
    std::vector<Outgoing> feedLine(const uint8_t* data, size_t length,
                                   std::vector<std::vector<uint8_t>>* requests = nullptr);

private:
    bool hits(const FaultSpec& fault, const std::vector<uint8_t>& request) const;
    /// A request the SPI master answers (counted for spiN faults).
    bool isSpiRequest(const std::vector<uint8_t>& request) const;

    SimOptions options_;
    Board board_;
    FrameDecoder decoder_;
    uint32_t count_ = 0;
    uint32_t spiCount_ = 0;
};

}  // namespace zsim
