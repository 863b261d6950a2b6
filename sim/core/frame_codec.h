// The simulator's own serial line framing, written apart from the serial
// library so that one misreading of the line format cannot pass on both
// sides: a frame is 0x01, the message bytes, 0x04; a message byte 0x01,
// 0x04 or 0x10 travels as 0x10 followed by its complement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zsim {

constexpr uint8_t kFrameStart = 0x01;
constexpr uint8_t kFrameEnd = 0x04;
constexpr uint8_t kFrameEscape = 0x10;

/// The line bytes of one frame carrying `message`.
std::vector<uint8_t> encodeFrame(const uint8_t* message, size_t length);
inline std::vector<uint8_t> encodeFrame(const std::vector<uint8_t>& message) {
    return encodeFrame(message.data(), message.size());
}

/// Splits a byte stream into messages. 0x01 starts a frame wherever it
/// occurs (a half-received frame is dropped), bytes outside a frame are
/// ignored, and a frame that grows beyond the limit is dropped as noise.
class FrameDecoder {
public:
    static constexpr size_t kMaxMessage = 8192;

    /// Feeds line bytes; each completed message is appended to `messages`.
    void feed(const uint8_t* data, size_t length, std::vector<std::vector<uint8_t>>& messages);
    void reset();
    bool inFrame() const { return inFrame_; }

private:
    bool inFrame_ = false;
    bool escaped_ = false;
    std::vector<uint8_t> current_;
};

}  // namespace zsim
