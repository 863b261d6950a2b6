#include "frame_codec.h"

#include <limits>

namespace zorvi {

size_t FrameEncoder::nextPiece(WritePiece& piece) {
    size_t used = 0;
    while (used < piece.size() && stage_ != Stage::Done) {
        if (stage_ == Stage::Start) {
            piece[used++] = kFrameStart;
            stage_ = Stage::Body;
        } else if (complementDue_) {
            // The escape byte may have filled the previous piece; the
            // complement then opens this one.
            piece[used++] = static_cast<uint8_t>(~message_[next_++]);
            complementDue_ = false;
        } else if (next_ < length_) {
            uint8_t b = message_[next_];
            if (needsEscape(b)) {
                piece[used++] = kFrameEscape;
                complementDue_ = true;
            } else {
                piece[used++] = b;
                ++next_;
            }
        } else {
            piece[used++] = kFrameEnd;
            stage_ = Stage::Done;
        }
    }
    return used;
}

bool FrameDecoder::feed(uint8_t byte) {
    if (byte == kFrameStart) {
        // A start byte begins a new frame wherever it appears, even inside a
        // frame or right after an escape byte: the sender restarted.
        inFrame_ = true;
        escaped_ = false;
        count_ = 0;
        return false;
    }
    if (!inFrame_) return false;
    if (byte == kFrameEnd) {
        inFrame_ = false;
        escaped_ = false;
        return true;
    }
    if (byte == kFrameEscape) {
        escaped_ = true;
        return false;
    }
    if (escaped_) {
        byte = static_cast<uint8_t>(~byte);
        escaped_ = false;
    }
    if (count_ < 2 && byte != expected_[count_]) {
        // An echo, a reply to another request or noise: skip to the next
        // start byte.
        inFrame_ = false;
        return false;
    }
    if (count_ < capacity_) reply_[count_] = byte;
    // The count goes on past the capacity; it only stops at the top of its
    // range, where wrapping would bring positions 0 and 1 back into play.
    if (count_ < std::numeric_limits<uint32_t>::max()) ++count_;
    return false;
}

}  // namespace zorvi
