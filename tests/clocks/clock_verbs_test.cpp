// The frequency verbs and register-map programming against a scripted uC.
#include "clocks/clock_verbs.h"

#include <gtest/gtest.h>

#include <string>

#include "base/out.h"
#include "clock_test_support.h"
#include "support/fake_uc.h"

namespace {

const std::string kHint =
    "    Please exit Service Mode manually using switch setting or by issuing the exit-service-mode command.\n";

Result runFrequencyVerb(const std::string& verb, ConnectionContext* ctx, uint32_t index, uint32_t hz) {
    if (verb == "getclk") return getClockFrequency(ctx, index, false);
    if (verb == "getclknv") return getClockOverride(ctx, index, false);
    if (verb == "setclk") return setClockFrequency(ctx, hz, false, index);
    return setClockOverride(ctx, hz, false, index);
}

TEST(ClockFrequencyVerbs, RequestsRepliesAndStatuses) {
    struct Case {
        std::string verb;
        uint32_t index;
        uint32_t hz;
        Bytes reply;    ///< zero-padded to 7 bytes; empty: no exchange expected
        Bytes request;
        std::string out;
        Result code;
    };
    const std::string noPowerUp = ", which will not result in programming at power-up.\n";
    const Case cases[] = {
        {"getclk", 255, 0, {5, 0x0F, 0, 0x00, 0xE1, 0xF5, 0x05}, {5, 0x8F, 0xFF},
         "Frequency of clock generator 255 is 100000000 Hz\n", 0},
        {"getclk", 256, 0, {}, {}, "*** Clock generator index must be in the range 0 to 255.\n", 3},
        {"getclk", 1, 0, {5, 0x0F, 0x11}, {5, 0x8F, 1}, "*** ZORVI returned error status 0x11 => ** UNEXPECTED ERROR CODE **\n", 103},
        {"getclk", 1, 0, {5, 0x0F, 0x02}, {5, 0x8F, 1},
         "*** ZORVI returned error status 0x02 => Simple clock generator programming not supported for this model.\n", 103},
        {"setclk", 1, 100000000, {5, 0x0E, 0, 0, 0, 0, 0}, {5, 0x8E, 1, 0x00, 0xE1, 0xF5, 0x05},
         "Frequency for clock generator 1 set to 100000000 Hz\n", 0},
        {"setclk", 1, 1, {5, 0x0E, 0x11}, {5, 0x8E, 1, 1, 0, 0, 0},
         "*** ZORVI returned status 0x11 => Requested frequency is out of range\n", 103},
        {"setclk", 1, 1, {5, 0x0E, 0x21}, {5, 0x8E, 1, 1, 0, 0, 0},
         "*** ZORVI returned status 0x21 => Microcontroller failed to communicate with SI5338\n", 103},
        {"getclknv", 2, 0, {5, 0x04, 0, 0xFF, 0xFF, 0xFF, 0xFF}, {5, 0x84, 2, 1},
         "NV override frequency for clock generator 2 is 4294967295(0xFFFFFFFF)" + noPowerUp, 0},
        {"getclknv", 2, 0, {5, 0x04, 0, 0x40, 0x59, 0x73, 0x07}, {5, 0x84, 2, 1},
         "NV override frequency for clock generator 2 is 125000000 Hz\n", 0},
        {"getclknv", 2, 0, {5, 0x04, 0x03}, {5, 0x84, 2, 1},
         "*** ZORVI returned error status 0x03 => ** UNEXPECTED ERROR CODE **\n", 103},
        {"setclknv", 0, 0, {5, 0x03, 0, 0, 0, 0, 0}, {5, 0x83, 0, 0, 0, 0, 0, 3},
         "NV override frequency for clock generator 0 set to 0(0x0)" + noPowerUp, 0},
        {"setclknv", 0, 156250000, {5, 0x03, 0, 0, 0, 0, 0}, {5, 0x83, 0, 0x90, 0x2F, 0x50, 0x09, 3},
         "NV override frequency for clock generator 0 set to 156250000 Hz\n", 0},
        {"setclknv", 0, 5, {5, 0x03, 0x02}, {5, 0x83, 0, 5, 0, 0, 0, 3},
         "*** ZORVI returned status 0x02 => Clock generator frequency cannot be overridden\n", 103},
        {"setclknv", 0, 5, {5, 0x03, 0x03}, {5, 0x83, 0, 5, 0, 0, 0, 3},
         "*** ZORVI returned status 0x03 => Simple clock generator programming not supported for this model.\n", 103},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verb + " " + c.out);
        FakeUc uc;
        Bytes reply = c.reply;
        reply.resize(7);  // the uC always answers 7 bytes
        if (!c.reply.empty()) uc.queueReply(reply);
        OutCapture cap;
        EXPECT_EQ(runFrequencyVerb(c.verb, uc.context(), c.index, c.hz), c.code);
        EXPECT_EQ(cap.text(), c.out);
        EXPECT_EQ(uc.requests(), c.reply.empty() ? std::vector<Bytes>{} : std::vector<Bytes>{c.request});
    }
    for (const char* verb : {"getclk", "getclknv", "setclk", "setclknv"}) {
        FakeUc uc;
        uc.context()->inServiceMode = 1;
        OutCapture cap;
        EXPECT_EQ(runFrequencyVerb(verb, uc.context(), 0, 1), 13u);
        EXPECT_EQ(cap.text(), "*** The " + std::string(verb) + " command requires the device to not be in Service Mode.\n" + kHint);
        EXPECT_TRUE(uc.requests().empty());
    }
}

/// Lines of a map file: LMK61E2 pairs or SI5338 entries, `n` of them.
std::string lmkLines(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += "R1 0x01" + std::to_string(10 + i % 90) + "\n";
    return text;
}
std::string siLines(int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += std::to_string(28 + i % 100) + "," + std::to_string(i % 200) + "\n";
    return text;
}

uint32_t okMapReply(const Bytes&, Bytes& reply) {
    reply = {5, 0x1B, 0};
    return 0;
}

TEST(RegisterMapProgramming, ChunksFlagsAndMessages) {
    struct Case {
        const char* name;
        bool nonVolatile;
        const char* type;
        std::string text;     ///< no file when empty
        bool verbose;
        std::vector<Bytes> heads;  ///< per request: flags, map type, length low and high byte
        std::string out;      ///< "{f}" stands for the file path
        Result code;
    };
    const std::string lmkFile = "File '{f}' is an LMK61E2 register map with ";
    const Case cases[] = {
        {"lmk300", false, nullptr, lmkLines(300), false, {{0x40, 1, 0xFC, 1}, {0x80, 1, 2, 0}},
         "Warning: More than 255 register / value pairs in input file - ignoring excess 45 pair(s).\n" + lmkFile +
             "255 register / value pair(s)\nRegister map write (volatile) completed successfully.\n", 0},
        {"si256", true, "SI5338", siLines(256), false,
         {{0x41, 0, 0xFC, 1}, {0x01, 0, 0xFC, 1}, {0x81, 0, 8, 0}},
         "File '{f}' is an SI5338 register map with 256 register / value pair(s)\n"
         "Register map write (nonvolatile) completed successfully.\n", 0},
        {"factory", true, nullptr, "", false, {{0xC3, 0, 0, 0}},
         "Register map to be used is factory default.\nRegister map write (nonvolatile) completed successfully.\n", 0},
        {"verbose", false, "lmk61e2", "R17 0x1108\n", true, {{0xC0, 1, 2, 0}},
         lmkFile + "1 register / value pair(s)\n1 register map pair(s):\n#00 index=0x11 value=0x08\n"
         "DEBUG: ZORVI command[9] = { 05 9B C0 03 01 02 00 11 08 }\nDEBUG: ZORVI response[3] = { 05 1B 00 }\n"
         "Register map write (volatile) completed successfully.\n", 0},
        {"si257", false, "auto", siLines(257), false, {},
         "File '{f}' is an SI5338 register map with 257 register / value pair(s)\n"
         "*** Register map size of 1028(0x404) bytes is larger than maximum allowed size of 1024(0x400).\n", 116},
        {"neither", false, nullptr, "neither\n", false, {},
         "*** Failed to automatically determine register map file format.\n", 115},
        {"typed", false, "si5338", "neither\n", false, {},
         "*** Failed to read file '{f}' in SI5338 register map format: bad register map file (error 1)\n", 114},
        {"unknown", false, "xyz", "6,1\n", false, {},
         "*** Unrecognized register map file type 'xyz'; expecting one of: lmk61e2\n", 117},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = writeTempFile(std::string(c.name) + ".txt", c.text);
        FakeUc uc;
        uc.onRequest(okMapReply);
        OutCapture cap;
        EXPECT_EQ(programRegisterMap(c.nonVolatile, c.type, uc.context(), c.verbose, 3,
                                     c.text.empty() ? nullptr : path.c_str()),
                  c.code);
        std::string out = c.out;
        if (size_t at = out.find("{f}"); at != std::string::npos) out.replace(at, 3, path);
        EXPECT_EQ(cap.text(), out);
        std::vector<Bytes> heads;
        for (const Bytes& rq : uc.requests()) {
            ASSERT_EQ(rq.size(), 7u + rq[5] + rq[6] * 256u);
            EXPECT_EQ(rq[3], 3);
            heads.push_back({rq[2], rq[4], rq[5], rq[6]});
        }
        EXPECT_EQ(heads, c.heads);
    }
}

TEST(RegisterMapProgramming, StatusesStopAtTheFailingChunk) {
    const std::string path = writeTempFile("lmk300.txt", lmkLines(300));
    struct Case {
        uint8_t status;
        std::string line;
    };
    const Case cases[] = {
        {0x85, "*** ZORVI returned status 0x85 => chip-specific error 0x5\n"},
        {0x01, "*** ZORVI returned status 0x01 => Register map clock generator programming not supported for this model\n"},
        {0x02, "*** ZORVI returned status 0x02 => Invalid clock generator index\n"},
        {0x03, "*** ZORVI returned status 0x03 => Invalid flag\n"},
        {0x04, "*** ZORVI returned status 0x04 => Invalid register map\n"},
        {0x09, "*** ZORVI returned status 0x09 => ** UNEXPECTED ERROR CODE **\n"},
    };
    for (const Case& c : cases) {
        FakeUc uc;
        uc.queueReply({5, 0x1B, c.status});
        OutCapture cap;
        EXPECT_EQ(programRegisterMap(false, "lmk61e2", uc.context(), false, 0, path.c_str()), 103u);
        EXPECT_EQ(cap.text().substr(cap.text().find("***")), c.line);
        EXPECT_EQ(uc.requests().size(), 1u);
    }
    // In service mode the file is read and sized, then nothing is sent.
    FakeUc uc;
    uc.context()->inServiceMode = 1;
    OutCapture cap;
    EXPECT_EQ(programRegisterMap(true, nullptr, uc.context(), false, 0, nullptr), 13u);
    EXPECT_EQ(cap.text(), "Register map to be used is factory default.\n"
                          "*** The setclknv-regmap command requires the device to not be in Service Mode.\n" + kHint);
    EXPECT_TRUE(uc.requests().empty());
}

}  // namespace
