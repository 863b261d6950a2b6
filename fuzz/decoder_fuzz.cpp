// Fuzz target for the line framing. Input: request group byte, request
// command byte, reply capacity, then the bytes on the line.
//
// - Decoding never writes past the reply buffer (the buffer is exactly the
//   capacity, so the address sanitizer sees any overrun) and whatever frame
//   it accepts starts with the expected code bytes.
// - The line bytes, taken as a message, survive encoding and decoding, and
//   their frame is cut into proper write pieces.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "frame_codec.h"

namespace {

void require(bool condition) {
    if (!condition) abort();
}

void checkDecoder(uint8_t group, uint8_t command, size_t capacity, const uint8_t* line, size_t size) {
    std::vector<uint8_t> storage(capacity);
    uint8_t* reply = capacity ? storage.data() : nullptr;
    zorvi::FrameDecoder decoder(group, command, reply, static_cast<uint32_t>(capacity));
    for (size_t i = 0; i < size; ++i) {
        if (!decoder.feed(line[i])) continue;
        uint32_t length = decoder.length();
        require(length <= i);  // never more decoded bytes than line bytes
        if (length >= 1 && capacity >= 1) require(reply[0] == group);
        if (length >= 2 && capacity >= 2) require(reply[1] == static_cast<uint8_t>(command ^ 0x80));
    }
}

void checkRoundTrip(const uint8_t* message, size_t size) {
    if (size < 2) return;
    std::vector<uint8_t> line;
    zorvi::FrameEncoder encoder(message, size);
    zorvi::WritePiece piece;
    size_t pieces = 0, lastSize = 0;
    for (size_t n; (n = encoder.nextPiece(piece)) != 0;) {
        require(n <= zorvi::kWritePieceSize);
        require(pieces == 0 || lastSize == zorvi::kWritePieceSize);  // only the last piece is short
        line.insert(line.end(), piece.begin(), piece.begin() + n);
        ++pieces;
        lastSize = n;
    }
    require(line.size() >= size + 2 && line.size() <= 2 * size + 2);
    std::vector<uint8_t> decoded(size);
    zorvi::FrameDecoder decoder(message[0], static_cast<uint8_t>(message[1] ^ 0x80), decoded.data(),
                                static_cast<uint32_t>(size));
    size_t endedAt = 0;
    for (size_t i = 0; i < line.size(); ++i)
        if (decoder.feed(line[i])) {
            require(endedAt == 0);
            endedAt = i + 1;
        }
    require(endedAt == line.size());
    require(decoder.length() == size);
    require(decoded == std::vector<uint8_t>(message, message + size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    checkDecoder(data[0], data[1], data[2], data + 3, size - 3);
    checkRoundTrip(data + 3, size - 3);
    return 0;
}
