// The simulator's line framing, pinned with fixed wire vectors written from
// the line format (start 0x01, end 0x04, escape 0x10 + complement).
#include <gtest/gtest.h>

#include "core/frame_codec.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(SimFrameCodec, EncodesFixedVectors) {
    struct Case {
        Bytes message;
        Bytes line;
    };
    const Case cases[] = {
        {{0x03, 0x86}, {0x01, 0x03, 0x86, 0x04}},
        {{0x05, 0x90, 0x10, 0x01}, {0x01, 0x05, 0x90, 0x10, 0xEF, 0x10, 0xFE, 0x04}},
        {{0x03, 0x06, 0x04, 0x00}, {0x01, 0x03, 0x06, 0x10, 0xFB, 0x00, 0x04}},
        {{}, {0x01, 0x04}},
        {{0xFF, 0x0F, 0x11, 0xFE}, {0x01, 0xFF, 0x0F, 0x11, 0xFE, 0x04}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.message));
        EXPECT_EQ(zsim::encodeFrame(c.message), c.line);
    }
}

TEST(SimFrameCodec, DecodesFramesFromALine) {
    struct Case {
        const char* name;
        Bytes line;
        std::vector<Bytes> messages;
    };
    const Case cases[] = {
        {"noise before the frame", {0x55, 0x01, 0x03, 0x06, 0x10, 0xFB, 0x00, 0x00, 0x00, 0x04},
         {{0x03, 0x06, 0x04, 0x00, 0x00, 0x00}}},
        {"0x01 restarts a frame", {0x01, 0x03, 0x86, 0xAA, 0x01, 0x03, 0x83, 0x04}, {{0x03, 0x83}}},
        {"end and escape bytes outside a frame are ignored", {0x04, 0x10, 0x04, 0x01, 0x03, 0x86, 0x04},
         {{0x03, 0x86}}},
        {"two frames", {0x01, 0x03, 0x86, 0x04, 0x01, 0x03, 0x83, 0x04}, {{0x03, 0x86}, {0x03, 0x83}}},
        {"escaped escape", {0x01, 0x05, 0x90, 0x10, 0xEF, 0x10, 0xFE, 0x04}, {{0x05, 0x90, 0x10, 0x01}}},
        {"unfinished frame yields nothing", {0x01, 0x03, 0x86}, {}},
        {"escape right before the end byte is dropped", {0x01, 0x03, 0x86, 0x10, 0x04}, {{0x03, 0x86}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zsim::FrameDecoder whole;
        std::vector<Bytes> got;
        whole.feed(c.line.data(), c.line.size(), got);
        EXPECT_EQ(got, c.messages);
        // Byte by byte gives the same: frames span reads.
        zsim::FrameDecoder single;
        std::vector<Bytes> gotSingle;
        for (uint8_t b : c.line) single.feed(&b, 1, gotSingle);
        EXPECT_EQ(gotSingle, c.messages);
    }
}

TEST(SimFrameCodec, EveryByteValueRoundTrips) {
    Bytes message;
    for (int i = 0; i < 256; ++i) message.push_back(static_cast<uint8_t>(i));
    Bytes line = zsim::encodeFrame(message);
    // Three escaped values: 256 bytes + 3 escapes + start + end.
    EXPECT_EQ(line.size(), 256u + 3u + 2u);
    zsim::FrameDecoder d;
    std::vector<Bytes> got;
    d.feed(line.data(), line.size(), got);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], message);
}

TEST(SimFrameCodec, OverlongFrameIsDroppedAndTheNextOneDecodes) {
    Bytes line = {0x01};
    line.insert(line.end(), zsim::FrameDecoder::kMaxMessage + 10, 0x55);
    line.push_back(0x04);  // ends nothing: the frame was abandoned
    line.insert(line.end(), {0x01, 0x03, 0x86, 0x04});
    zsim::FrameDecoder d;
    std::vector<Bytes> got;
    d.feed(line.data(), line.size(), got);
    EXPECT_EQ(got, (std::vector<Bytes>{{0x03, 0x86}}));
}

}  // namespace
