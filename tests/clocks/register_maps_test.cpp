// The register-map readers: text in, entries and diagnostics out; the real
// vendor export and hand-made files in tests/clocks/data.
#include "clocks/register_maps.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/out.h"
#include "clock_test_support.h"

namespace {

using Lines = std::vector<std::string>;
const RegisterMapType kSi = RegisterMapType::Si5338;
const RegisterMapType kLmk = RegisterMapType::Lmk61e2;

TEST(RegisterMapReader, ReadsEachLineAsItsGrammarSays) {
    struct Case {
        RegisterMapType type;
        std::string text;
        uint32_t code;
        Lines entries;
        Lines messages;
    };
    const std::string cut32 = std::string(27, ' ') + "6,10h";  // exactly 32 characters
    const Case cases[] = {
        {kSi, "6,08H", 0, {"6/1D=08"}, {}},
        {kSi, "47,\t14h # comment\r\n", 0, {"47/3F=14"}, {}},
        {kSi, "# only a comment\n\n   \n6,8\n", 0, {"6/1D=08"}, {}},
        {kSi, "6\n6,08h", 0, {"6/1D=08"}, {"1 Line 1 of input file appears to be malformed - ignoring."}},
        {kSi, ",5\nabc,1\n6,1", 0, {"6/1D=01"},
         {"1 Line 1 of input file appears to be malformed - ignoring.",
          "1 Line 2 of input file appears to be malformed - ignoring."}},
        {kSi, "350,0x7h\n351,0", 0, {"350/00=07"},
         {"1 Out of range register index LS value 0x15F on line 2 - ignoring."}},
        {kSi, "6,256\n6,255", 0, {"6/1D=FF"}, {"1 Out of range register value 0x100 on line 1 - ignoring."}},
        // Beyond 32 bits a number saturates instead of wrapping to register 6.
        {kSi, "4294967302,5\n7,5", 0, {"7/00=05"},
         {"1 Out of range register index LS value 0xFFFFFFFF on line 1 - ignoring."}},
        {kSi, cut32, 0, {"6/1D=10"}, {}},
        // One more blank cuts "10h" to "10": the line is refused, not read as 10.
        {kSi, " " + cut32 + "\n6,1", 0, {"6/1D=01"}, {"1 Line 1 of input file appears to be malformed - ignoring."}},
        {kSi, "6,08h" + std::string(40, ' ') + "x", 0, {"6/1D=08"}, {}},
        {kSi, "6\nx,y\n", 1, {}, {}},
        {kSi, "", 1, {}, {}},
        {kLmk, "R17 0x1108", 0, {"17=08"}, {}},
        {kLmk, "  r8\t0X08b0 note\r\nR9 2305", 0, {"8=B0", "9=01"}, {}},
        {kLmk, "R17 0x1208\nR17 0x1108", 0, {"17=08"},
         {"1 Line 1 of input file appears to be malformed - ignoring."}},
        {kLmk, "R0 0x\nR0 0x0010x\nR0\n0 0x0010\nR0 0x000000010\nR0 0x0010", 0, {"0=10"},
         {"1 Line 1 of input file appears to be malformed - ignoring.",
          "1 Line 2 of input file appears to be malformed - ignoring.",
          "1 Line 3 of input file appears to be malformed - ignoring.",
          "1 Line 4 of input file appears to be malformed - ignoring.",
          "1 Line 5 of input file appears to be malformed - ignoring."}},
        {kLmk, "6,08h\n", 1, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ParsedMap p = parseText(c.type, c.text);
        EXPECT_EQ(p.code, c.code);
        EXPECT_EQ(p.entries, c.entries);
        EXPECT_EQ(p.messages, c.messages);
    }
}

TEST(RegisterMapReader, BudgetsAndCaps) {
    std::string malformed, outOfRange, lmk300, si513;
    for (int i = 0; i < 12; ++i) malformed += "bad\n";
    for (int i = 0; i < 6; ++i) outOfRange += "400,1\n6,300\n";
    for (int i = 0; i < 300; ++i) lmk300 += "R1 0x01" + std::to_string(10 + i % 90) + "\n";
    for (int i = 0; i < 513; ++i) si513 += std::to_string(i % 300) + ",1\n";
    const ParsedMap a = parseText(kSi, malformed + "6,1");
    ASSERT_EQ(a.messages.size(), 11u);
    EXPECT_EQ(a.messages[9], "1 Line 10 of input file appears to be malformed - ignoring.");
    EXPECT_EQ(a.messages[10], "0 NOTE: Further messages about malformed lines will be suppressed");
    const ParsedMap b = parseText(kSi, outOfRange + "6,1");
    ASSERT_EQ(b.messages.size(), 11u);
    EXPECT_EQ(b.messages[9], "1 Out of range register value 0x12C on line 10 - ignoring.");
    EXPECT_EQ(b.messages[10], "0 NOTE: Further messages about out of range values will be suppressed");
    const ParsedMap c = parseText(kLmk, lmk300);
    EXPECT_EQ(c.entries.size(), 255u);
    EXPECT_EQ(c.messages, Lines{"1 More than 255 register / value pairs in input file - ignoring excess 45 pair(s)."});
    const ParsedMap d = parseText(kSi, si513);
    EXPECT_EQ(d.entries.size(), 512u);
    EXPECT_EQ(d.entries.back(), "211/FF=01");
}

// Out-of-range lines are neither counted nor stored: the count is the
// entries that are there, so no unfilled entry reaches the chip.
TEST(RegisterMapReader, CountsOnlyTheEntriesItStores) {
    RegisterMap map;
    const std::string text = "351,1\n6,1\n7,300\n";
    ASSERT_EQ(parseRegisterMap(kSi, text.data(), text.size(), nullptr, map), 0u);
    EXPECT_EQ(map.count, 1u);
    EXPECT_EQ(map.payloadSize(), 4u);
    const std::string none = "351,1\n7,300\n";
    EXPECT_EQ(parseRegisterMap(kSi, none.data(), none.size(), nullptr, map), 1u);
}

TEST(RegisterMapFiles, RealAndHandMadeFiles) {
    struct Case {
        const char* file;
        RegisterMapType type;
        uint32_t count;
        Lines first;  ///< the first entries
        Lines messages;
    };
    const Case cases[] = {
        {"si5338_clockbuilder_export.txt", kSi, 235, {"6/1D=08", "27/80=00", "28/FF=16", "29/FF=90", "30/FF=B0"}, {}},
        {"lmk61e2_export.txt", kLmk, 36, {"0=10", "1=0B", "2=33", "3=02", "8=B0"}, {}},
        {"lmk61e2_edited.txt", kLmk, 12, {"0=10", "1=0B", "2=33", "3=02", "8=B0"},
         {"1 Line 1 of input file appears to be malformed - ignoring."}},
        {"si5338_diagnostics.txt", kSi, 4, {"6/1D=08", "300/00=2C", "255/FF=01", "29/FF=90"},
         {"1 Line 2 of input file appears to be malformed - ignoring.",
          "1 Line 3 of input file appears to be malformed - ignoring.",
          "1 Line 5 of input file appears to be malformed - ignoring.",
          "1 Out of range register index LS value 0x15F on line 6 - ignoring.",
          "1 Out of range register value 0x100 on line 7 - ignoring.",
          "1 Out of range register index LS value 0xFFFFFFFF on line 8 - ignoring.",
          "1 Line 11 of input file appears to be malformed - ignoring.",
          "1 Out of range register index LS value 0xFFFFFFFF on line 12 - ignoring."}},
        {"lmk61e2_diagnostics.txt", kLmk, 2, {"17=08", "10=01"},
         {"1 Line 1 of input file appears to be malformed - ignoring.",
          "1 Line 3 of input file appears to be malformed - ignoring.",
          "1 Line 4 of input file appears to be malformed - ignoring.",
          "1 Line 5 of input file appears to be malformed - ignoring.",
          "1 Line 6 of input file appears to be malformed - ignoring.",
          "1 Line 8 of input file appears to be malformed - ignoring.",
          "1 Line 9 of input file appears to be malformed - ignoring."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = dataFile(c.file);
        const ParsedMap p = readFile(c.type, path);
        ASSERT_EQ(p.code, 0u);
        EXPECT_EQ(p.entries.size(), c.count);
        EXPECT_EQ(Lines(p.entries.begin(), p.entries.begin() + static_cast<long>(c.first.size())), c.first);
        EXPECT_EQ(p.messages, c.messages);
        RegisterMapType detected{};
        OutCapture cap;
        EXPECT_EQ(detectRegisterMapType(path.c_str(), &detected), 0u);
        EXPECT_EQ(detected, c.type);
    }
    const ParsedMap real = readFile(kSi, dataFile("si5338_clockbuilder_export.txt"));
    EXPECT_EQ(real.entries.back(), "347/0F=00");
    EXPECT_EQ(real.entries[182], "230/0F=0C");
}

TEST(RegisterMapFiles, FilesThatCannotBeRead) {
    const std::string missing = dataFile("no_such_file.txt");
    RegisterMap map;
    EXPECT_EQ(readSi5338Map(nullptr, map, missing.c_str()), kMapFileNotFound);
    EXPECT_EQ(readLmk61e2Map(nullptr, map, dataFile("").c_str()), kMapAccessDenied);  // a directory
    // Refused by its size before it is read: a sparse file of 1 MiB and a byte.
    const std::string huge = (std::filesystem::temp_directory_path() / "zorvi-huge-map.txt").string();
    std::ofstream(huge).close();
    std::filesystem::resize_file(huge, kMaxMapFileBytes + 1);
    struct Remove {
        std::string path;
        ~Remove() { std::filesystem::remove(path); }
    } remove{huge};
    struct Case {
        std::string path;
        uint32_t result;
        std::string text;
    };
    const Case cases[] = {
        {missing, 114, "*** Failed to read file '" + missing + "': file not found (error 258)\n"},
        {dataFile("neither_format.txt"), 115, "*** Failed to automatically determine register map file format.\n"},
        {huge, 114, "*** Failed to read file '" + huge + "': file larger than 1 MiB (error 262)\n"},
    };
    for (const Case& c : cases) {
        OutCapture cap;
        RegisterMapType type{};
        EXPECT_EQ(detectRegisterMapType(c.path.c_str(), &type), c.result);
        EXPECT_EQ(cap.text(), c.text);
    }
    for (uint32_t code : {0u, 1u, 256u, 257u, 258u, 259u, 260u, 261u, 262u, 2u, 263u})
        EXPECT_STRNE(registerMapErrorName(code), "") << code;
    EXPECT_STREQ(registerMapErrorName(263), "unknown error");
}

TEST(RegisterMapReader, WriteMasksFollowTheTable) {
    const std::pair<uint32_t, uint8_t> samples[] = {{0, 0x00},  {6, 0x1D},   {27, 0x80},  {47, 0x3F}, {106, 0xBF},
                                                    {230, 0x0F}, {241, 0x0F}, {242, 0x02}, {255, 0xFF}, {299, 0x0F},
                                                    {300, 0x00}, {303, 0xFF}, {347, 0x0F}, {350, 0x00}, {351, 0x00}};
    for (const auto& [index, mask] : samples) EXPECT_EQ(si5338WriteMask(index), mask) << index;
}

}  // namespace
