// The line framing on its own: pieces written for a request, and the
// decoder's choice of the reply frame among noise, echoes and other frames.
#include "frame_codec.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "port_name.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::vector<Bytes> piecesOf(const Bytes& message) {
    zorvi::FrameEncoder encoder(message.data(), message.size());
    std::vector<Bytes> pieces;
    zorvi::WritePiece piece;
    for (size_t n; (n = encoder.nextPiece(piece)) != 0;) pieces.emplace_back(piece.begin(), piece.begin() + n);
    return pieces;
}

Bytes filled(size_t count, uint8_t value) { return Bytes(count, value); }

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(FrameEncoder, PiecesOfKnownRequests) {
    struct Case {
        const char* what;
        Bytes request;
        std::vector<Bytes> pieces;
    };
    const Case cases[] = {
        {"product id request, one write", {0x03, 0x86}, {{0x01, 0x03, 0x86, 0x04}}},
        {"escapes of 0x10 and 0x01",
         {0x05, 0x90, 0x10, 0x01},
         {{0x01, 0x05, 0x90, 0x10, 0xEF, 0x10, 0xFE, 0x04}}},
        {"escape of 0x04", {0x04, 0x84}, {{0x01, 0x10, 0xFB, 0x84, 0x04}}},
        // 0x01 plus 30 bytes is 31 before the end byte: one full piece.
        {"31 bytes before the end byte", filled(30, 0x55), {concat({{0x01}, filled(30, 0x55), {0x04}})}},
        // One more byte fills the piece; the end byte goes alone.
        {"32 bytes before the end byte", filled(31, 0x55), {concat({{0x01}, filled(31, 0x55)}), {0x04}}},
        // An escape byte in the last slot: its complement opens the next piece.
        {"escape split across pieces",
         concat({filled(30, 0x55), {0x10}}),
         {concat({{0x01}, filled(30, 0x55), {0x10}}), {0xEF, 0x04}}},
        {"three pieces",
         filled(70, 0x20),
         {concat({{0x01}, filled(31, 0x20)}), filled(32, 0x20), concat({filled(7, 0x20), {0x04}})}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(piecesOf(c.request), c.pieces);
    }
}

TEST(FrameEncoder, EveryMessageSurvivesTheRoundTrip) {
    // Random messages rich in the three special values: the frame must
    // carry start and end bytes only at its ends, and decode to the message.
    std::mt19937 random(7);
    const uint8_t palette[] = {0x01, 0x04, 0x10, 0x00, 0xFE, 0xFB, 0xEF, 0x83, 0x7F, 0xFF};
    for (int round = 0; round < 500; ++round) {
        SCOPED_TRACE(round);
        Bytes message(2 + random() % 120);
        for (uint8_t& b : message) b = (random() % 3 == 0) ? static_cast<uint8_t>(random()) : palette[random() % 10];
        Bytes line;
        std::vector<Bytes> pieces = piecesOf(message);
        for (const Bytes& p : pieces) {
            ASSERT_FALSE(p.empty());
            ASSERT_LE(p.size(), zorvi::kWritePieceSize);
            line.insert(line.end(), p.begin(), p.end());
        }
        for (size_t i = 0; i + 1 < pieces.size(); ++i) ASSERT_EQ(pieces[i].size(), zorvi::kWritePieceSize);
        ASSERT_EQ(line.front(), 0x01);
        ASSERT_EQ(line.back(), 0x04);
        for (size_t i = 1; i + 1 < line.size(); ++i) ASSERT_TRUE(line[i] != 0x01 && line[i] != 0x04) << i;

        // Decoded as the reply to a request whose command byte differs in bit 7.
        Bytes reply(message.size());
        zorvi::FrameDecoder decoder(message[0], static_cast<uint8_t>(message[1] ^ 0x80), reply.data(),
                                    static_cast<uint32_t>(reply.size()));
        size_t ended = 0;
        for (size_t i = 0; i < line.size(); ++i)
            if (decoder.feed(line[i])) ended = i + 1;
        ASSERT_EQ(ended, line.size());
        ASSERT_EQ(decoder.length(), message.size());
        ASSERT_EQ(reply, message);
    }
}

TEST(FrameDecoder, PicksTheReplyFrame) {
    struct Case {
        const char* what;
        Bytes request;  // its first two bytes
        uint32_t capacity;
        Bytes line;
        int endsAt;       // index of the byte that ends the wanted frame, -1: none
        uint32_t length;  // decoded length when it ended
        Bytes stored;     // the first bytes of the reply buffer
    };
    const Case cases[] = {
        {"noise before the frame, 0x04 escaped",
         {0x03, 0x86},
         16,
         {0x55, 0x01, 0x03, 0x06, 0x10, 0xFB, 0x00, 0x00, 0x00, 0x04},
         9,
         6,
         {0x03, 0x06, 0x04, 0x00, 0x00, 0x00}},
        {"end and escape bytes outside a frame are ignored",
         {0x03, 0x86},
         16,
         {0x04, 0x10, 0x04, 0x01, 0x03, 0x06, 0x07, 0x04},
         7,
         3,
         {0x03, 0x06, 0x07}},
        {"a start byte inside a frame restarts it",
         {0x03, 0x86},
         16,
         {0x01, 0x03, 0x06, 0xAA, 0xBB, 0x01, 0x03, 0x06, 0xCC, 0x04},
         9,
         3,
         {0x03, 0x06, 0xCC}},
        {"a start byte after an escape restarts too",
         {0x03, 0x86},
         16,
         {0x01, 0x03, 0x06, 0x10, 0x01, 0x03, 0x06, 0x22, 0x04},
         8,
         3,
         {0x03, 0x06, 0x22}},
        {"wrong group byte: that frame is skipped whole",
         {0x03, 0x86},
         16,
         {0x01, 0x05, 0x06, 0x00, 0x04, 0x01, 0x03, 0x06, 0x09, 0x04},
         9,
         3,
         {0x03, 0x06, 0x09}},
        {"echo of the request (bit 7 still set) is skipped",
         {0x03, 0x86},
         16,
         {0x01, 0x03, 0x86, 0x04, 0x01, 0x03, 0x06, 0x00, 0x04},
         8,
         3,
         {0x03, 0x06, 0x00}},
        {"reply to another command only: nothing ends",
         {0x03, 0x86},
         16,
         {0x01, 0x03, 0x03, 0x00, 0x04},
         -1,
         0,
         {}},
        {"all three escapes decode",
         {0x10, 0x81},
         16,
         {0x01, 0x10, 0xEF, 0x10, 0xFE, 0x10, 0xFE, 0x10, 0xFB, 0x10, 0xEF, 0x04},
         11,
         5,
         {0x10, 0x01, 0x01, 0x04, 0x10}},
        {"longer than the buffer: counted, not stored",
         {0x03, 0x86},
         4,
         {0x01, 0x03, 0x06, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0x04},
         9,
         8,
         {0x03, 0x06, 0xA0, 0xA1}},
        {"an empty frame ends the exchange with length 0", {0x03, 0x86}, 16, {0x33, 0x01, 0x04}, 2, 0, {}},
        {"a frame without its end byte does not end", {0x03, 0x86}, 16, {0x01, 0x03, 0x06, 0x00}, -1, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // A guard zone behind the capacity catches stores past it.
        Bytes buffer(c.capacity + 8, 0xEE);
        zorvi::FrameDecoder decoder(c.request[0], c.request[1], buffer.data(), c.capacity);
        int endsAt = -1;
        for (size_t i = 0; i < c.line.size() && endsAt < 0; ++i)
            if (decoder.feed(c.line[i])) endsAt = static_cast<int>(i);
        EXPECT_EQ(endsAt, c.endsAt);
        if (c.endsAt < 0) continue;
        EXPECT_EQ(decoder.length(), c.length);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + c.stored.size()), c.stored);
        EXPECT_EQ(Bytes(buffer.begin() + c.capacity, buffer.end()), Bytes(8, 0xEE));
    }
}

TEST(FrameDecoder, CapacityZeroOnlyCounts) {
    zorvi::FrameDecoder decoder(0x03, 0x86, nullptr, 0);
    const Bytes line = {0x01, 0x03, 0x06, 0x07, 0x02, 0x04};
    bool ended = false;
    for (uint8_t b : line) ended = decoder.feed(b);
    EXPECT_TRUE(ended);
    EXPECT_EQ(decoder.length(), 4u);
}

// Wide names are UTF-32 here; the Windows library hands them to the system
// as they are.
#ifndef _WIN32
TEST(PortName, WideNamesBecomeUtf8) {
    char out[32];
    struct Case {
        const wchar_t* wide;
        zorvi::PortNameResult result;
        const char* utf8;
    };
    const Case cases[] = {
        {L"/dev/ttyUSB0", zorvi::PortNameResult::Ok, "/dev/ttyUSB0"},
        {L"/tmp/p\u00f6rt\u20ac\U0001F50C", zorvi::PortNameResult::Ok,
         "/tmp/p\xC3\xB6rt\xE2\x82\xAC\xF0\x9F\x94\x8C"},
        {L"", zorvi::PortNameResult::Ok, ""},
        {L"/dev/\xD800", zorvi::PortNameResult::Invalid, nullptr},
        {L"0123456789012345678901234567890", zorvi::PortNameResult::Ok, "0123456789012345678901234567890"},
        {L"01234567890123456789012345678901", zorvi::PortNameResult::TooLong, nullptr},
        {L"012345678901234567890123456789\u00f6", zorvi::PortNameResult::TooLong, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8 ? c.utf8 : "(no result)");
        ASSERT_EQ(zorvi::wideToUtf8(c.wide, out, sizeof out), c.result);
        if (c.utf8) {
            EXPECT_STREQ(out, c.utf8);
        }
    }
    const wchar_t beyond[] = {L'/', static_cast<wchar_t>(0x110000), 0};
    EXPECT_EQ(zorvi::wideToUtf8(beyond, out, sizeof out), zorvi::PortNameResult::Invalid);
}
#endif

}  // namespace
