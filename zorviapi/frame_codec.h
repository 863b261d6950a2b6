// Line framing of the serial link: pure encoding and decoding, no I/O.
//
// A frame is 0x01, the escaped message bytes, 0x04. A message byte equal to
// 0x01, 0x04 or 0x10 travels as 0x10 followed by its bitwise complement.
// There is no length field and no checksum; a reply is recognised by its
// first two bytes (the request's group byte, and its command byte with
// bit 7 inverted).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zorvi {

inline constexpr uint8_t kFrameStart = 0x01;
inline constexpr uint8_t kFrameEnd = 0x04;
inline constexpr uint8_t kFrameEscape = 0x10;

/// A request frame goes to the port in writes of at most this many bytes.
inline constexpr size_t kWritePieceSize = 32;

using WritePiece = std::array<uint8_t, kWritePieceSize>;

/// True for the three byte values that must be escaped inside a frame.
constexpr bool needsEscape(uint8_t b) { return b == kFrameStart || b == kFrameEnd || b == kFrameEscape; }

/// Cuts the frame of one message into write pieces. Only the first piece
/// carries the start byte; a piece is handed out as soon as it is full, and
/// the last one ends with the end byte. No piece is empty.
class FrameEncoder {
public:
    /// `message` must stay valid while pieces are taken.
    FrameEncoder(const uint8_t* message, size_t length) : message_(message), length_(length) {}

    /// Fills `piece` with the next part of the frame and returns its length;
    /// 0 once the whole frame has been handed out.
    size_t nextPiece(WritePiece& piece);

private:
    enum class Stage { Start, Body, Done };
    const uint8_t* message_;
    size_t length_;
    size_t next_ = 0;            // index of the next message byte to encode
    Stage stage_ = Stage::Start;
    bool complementDue_ = false;  // an escape byte went out; its complement is next
};

/// Decodes the reply stream one byte at a time and picks out the frame that
/// answers a given request. Bytes outside frames, frames whose first two
/// bytes do not match, and frames cut short by a new start byte are skipped.
class FrameDecoder {
public:
    /// `requestGroup` and `requestCommand` are bytes 0 and 1 of the request;
    /// the wanted reply starts with the group byte and the command byte with
    /// bit 7 inverted. Decoded bytes go to `reply` up to `capacity`.
    FrameDecoder(uint8_t requestGroup, uint8_t requestCommand, uint8_t* reply, uint32_t capacity)
        : expected_{requestGroup, static_cast<uint8_t>(requestCommand ^ 0x80u)}, reply_(reply), capacity_(capacity) {}

    /// Takes one line byte; true when it ended the wanted frame. Feeding on
    /// afterwards simply looks for another frame.
    bool feed(uint8_t byte);

    /// Decoded length of the current (or just ended) frame. It counts the
    /// bytes dropped beyond the capacity too, so a caller can tell that its
    /// buffer was too small.
    uint32_t length() const { return count_; }

private:
    uint8_t expected_[2];
    uint8_t* reply_;
    uint32_t capacity_;
    uint32_t count_ = 0;
    bool inFrame_ = false;
    bool escaped_ = false;
};

}  // namespace zorvi
