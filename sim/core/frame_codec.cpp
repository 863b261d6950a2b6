#include "core/frame_codec.h"

namespace zsim {

std::vector<uint8_t> encodeFrame(const uint8_t* message, size_t length) {
    std::vector<uint8_t> line;
    line.reserve(length + length / 8 + 2);
    line.push_back(kFrameStart);
    for (size_t i = 0; i < length; ++i) {
        uint8_t b = message[i];
        if (b == kFrameStart || b == kFrameEnd || b == kFrameEscape) {
            line.push_back(kFrameEscape);
            line.push_back(static_cast<uint8_t>(~b));
        } else {
            line.push_back(b);
        }
    }
    line.push_back(kFrameEnd);
    return line;
}

void FrameDecoder::reset() {
    inFrame_ = false;
    escaped_ = false;
    current_.clear();
}

void FrameDecoder::feed(const uint8_t* data, size_t length, std::vector<std::vector<uint8_t>>& messages) {
    for (size_t i = 0; i < length; ++i) {
        uint8_t b = data[i];
        if (b == kFrameStart) {
            inFrame_ = true;
            escaped_ = false;
            current_.clear();
            continue;
        }
        if (!inFrame_) continue;
        if (b == kFrameEnd) {
            // An escape byte right before the end byte has nothing to
            // complement; the message ends without it.
            messages.push_back(std::move(current_));
            reset();
            continue;
        }
        if (b == kFrameEscape && !escaped_) {
            escaped_ = true;
            continue;
        }
        if (escaped_) {
            b = static_cast<uint8_t>(~b);
            escaped_ = false;
        }
        if (current_.size() >= kMaxMessage) {
            reset();
            continue;
        }
        current_.push_back(b);
    }
}

}  // namespace zsim
