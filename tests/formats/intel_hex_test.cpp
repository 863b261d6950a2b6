// The Intel Hex reader, summary and writer on hand-written records, their
// file wrappers, and round trips through files other tools wrote.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/out.h"
#include "formats/intel_hex.h"
#include "support/failing_new.h"
#include "support/temp_dir.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Section {
    uint32_t address;
    Bytes bytes;
    bool operator==(const Section&) const = default;
};

std::string lines(std::initializer_list<std::string> records) {
    std::string text;
    for (const std::string& r : records) text += r + "\n";
    return text;
}

const std::string kEnd = ":00000001FF";

std::vector<Section> sectionsOf(const IntelHexImage& image) {
    std::vector<Section> result;
    for (uint32_t i = 0; i < image.sectionCount; ++i) {
        const HexSection& s = image.sections[i];
        result.push_back({s.address, Bytes(s.data, s.data + s.length)});
    }
    return result;
}

std::string describe(const std::vector<Section>& sections) {
    std::ostringstream o;
    for (const Section& s : sections) o << std::hex << "{0x" << s.address << ", " << std::dec << s.bytes.size() << " bytes} ";
    return o.str();
}

/// Text handed out in blocks of a given size; from the second pass on,
/// `later` if given (a file rewritten while it is read).
class BlockText : public HexTextSource {
public:
    BlockText(std::string text, size_t block, std::string later = {})
        : text_(std::move(text)), later_(std::move(later)), block_(block) {}
    bool rewind() override {
        if (passes_++ == 1 && !later_.empty()) text_ = later_;
        offset_ = 0;
        return true;
    }
    bool next(const char*& text, size_t& size) override {
        size = std::min(block_, text_.size() - offset_);
        text = text_.data() + offset_;
        offset_ += size;
        return true;
    }

private:
    std::string text_, later_;
    size_t block_;
    size_t offset_ = 0;
    int passes_ = 0;
};

struct ReadCase {
    const char* name;
    std::string text;
    std::vector<Section> sections;
    std::vector<HexError> errors;  // all of them, in file order
};

TEST(IntelHexReader, SectionsAndErrorsOfRecordLines) {
    const ReadCase cases[] = {
        {"data before any extended address lands at its 16-bit address", lines({":021000001122BB", kEnd}),
         {{0x1000, {0x11, 0x22}}}, {}},
        {"extended linear address gives bits 31-16", lines({":020000040001F9", ":02000000AABB99", kEnd}),
         {{0x10000, {0xAA, 0xBB}}}, {}},
        {"records that follow on merge, lower case too; a jump or an empty record elsewhere ends a section",
         lines({":02000000AABB99", ":02000200ccdd53", ":02010000EEFF10", ":0000000000", ":02100200334475", kEnd}),
         {{0x0000, {0xAA, 0xBB, 0xCC, 0xDD}}, {0x0100, {0xEE, 0xFF}}, {0x1002, {0x33, 0x44}}}, {}},
        {"a section runs on across a 64 KiB boundary",
         lines({":02FFFF000304F9", ":020000040001F9", ":020001000506F2", kEnd}), {{0xFFFF, {3, 4, 5, 6}}}, {}},
        {"32-bit addresses wrap at 4 GiB into a section at 0", lines({":02000004FFFFFC", ":02FFFF000304F9", kEnd}),
         {{0xFFFFFFFF, {3}}, {0, {4}}}, {}},
        {"a start linear address moves no data, before the data or after a base",
         lines({":0400000512345678E3", ":020010001122BB", ":020000040001F9", ":0400000512345678E3", ":02000000AABB99", kEnd}),
         {{0x10, {0x11, 0x22}}, {0x10000, {0xAA, 0xBB}}}, {}},
        {"bad checksum is reported and the data kept", lines({":021000001122BC", kEnd}), {{0x1000, {0x11, 0x22}}},
         {{kHexBadChecksum, 1}}},
        {"segment records unsupported, wrong lengths per type, unknown types; a bad base record changes nothing",
         lines({":020000021000EC", ":0400000300000000F9", ":03000002000000FB", ":03000004000102F6", ":03000005000102F5",
                ":0100000600F9", ":02000000AABB99", kEnd}),
         {{0, {0xAA, 0xBB}}},
         {{kHexUnsupportedType, 1}, {kHexUnsupportedType, 2}, {kHexBadLengthForType, 3}, {kHexBadLengthForType, 4},
          {kHexBadLengthForType, 5}, {kHexUnsupportedType, 6}}},
        {"end-of-file with a length; data after it is used and reported, a second end is not",
         lines({":0100000100FE", ":02000000AABB99", kEnd}), {{0, {0xAA, 0xBB}}},
         {{kHexEndWithLength, 1}, {kHexRecordAfterEnd, 2}}},
        {"no end-of-file record: reported at the last line; blank, CR LF and comment lines count",
         "; comment\r\n\r\n:021000001122BB\r\n\r\n", {{0x1000, {0x11, 0x22}}}, {{kHexNoEndOfFile, 4}}},
        {"empty text", "", {}, {{kHexNoEndOfFile, 0}}},
        {"malformed: too short, header, data (record dropped), checksum (data kept)",
         lines({":0210", ":0G1000001122BB", ":021000001G22BB", ":021000001122GB", kEnd}), {{0x1000, {0x11, 0x22}}},
         {{kHexMalformed, 1}, {kHexMalformed, 2}, {kHexMalformed, 3}, {kHexMalformed, 4}}},
        {"ended early: no data, the last two characters are the checksum; extra characters keep the data",
         lines({":0200000011", ":02000000AABB9900", kEnd}), {{0, {0xAA, 0xBB}}},
         {{kHexEndedEarly, 1}, {kHexBadChecksum, 1}, {kHexExtraCharacters, 2}}},
        {"extra characters after the longest record are reported",
         lines({":FF000000" + std::string(510, '0') + "01XX", kEnd}), {{0, Bytes(255, 0)}},
         {{kHexExtraCharacters, 1}}},
        {"a base record cut short keeps the base it lacks the bytes of",
         lines({":02000004FFFFFC", ":0200000400FA", ":02000000AABB99", kEnd}), {{0xFFFF0000, {0xAA, 0xBB}}},
         {{kHexEndedEarly, 2}}},
        {"nonprinting characters in a record are reported and dropped; alone on a line they are not",
         "\xEF\xBB\xBF:021000001122BB\n:0210\t02003344\x01" "75\n" + kEnd + "\n\x1A\n",
         {{0x1000, {0x11, 0x22, 0x33, 0x44}}}, {{kHexNonprinting, 1}, {kHexNonprinting, 2}}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        IntelHexImagePtr whole, bytewise, blockwise;
        ASSERT_EQ(parseIntelHexText(c.text, whole), HexReadResult::Ok);
        // Lines cut across the ends of blocks read the same.
        BlockText bytes(c.text, 1), blocks(c.text, 7);
        ASSERT_EQ(readIntelHex(bytes, bytewise), HexReadResult::Ok);
        ASSERT_EQ(readIntelHex(blocks, blockwise), HexReadResult::Ok);
        for (const IntelHexImage* image : {whole.get(), bytewise.get(), blockwise.get()}) {
            EXPECT_EQ(sectionsOf(*image), c.sections) << describe(sectionsOf(*image));
            ASSERT_EQ(image->errorCount, c.errors.size());
            for (size_t i = 0; i < c.errors.size(); ++i) {
                EXPECT_EQ(image->errors[i].code, c.errors[i].code) << i;
                EXPECT_EQ(image->errors[i].line, c.errors[i].line) << i;
            }
        }
    }
}

TEST(IntelHexReader, SummaryCountsEveryErrorAndListsTheFirstTen) {
    std::string text = lines({":020000040001F9", ":02000000AABB99", ":021000001122BB"});
    for (int i = 0; i < 12; ++i) text += ":0210\n";
    IntelHexImagePtr image;
    ASSERT_EQ(parseIntelHexText(text + kEnd, image), HexReadResult::Ok);
    OutCapture cap;
    printIntelHexSummary(*image);
    std::string expected =
        "  Number of sections .. 2\n"
        "  Section 0         ... Address 0x00010000, length 0x2\n"
        "  Section 1         ... Address 0x00011000, length 0x2\n"
        "  Number of errors .... 12\n";
    for (int i = 0; i < 10; ++i) {
        expected += "  Error " + std::to_string(i) + "         ..... Line " + std::to_string(4 + i) +
                    ", code 5 => Malformed record\n";
    }
    EXPECT_EQ(cap.text(), expected);
    EXPECT_STREQ(hexErrorText(0), "Unknown error code!");
    EXPECT_STREQ(hexErrorText(10), "Length field was not the expected value for given record type");
    EXPECT_STREQ(hexErrorText(11), "Unknown error code!");
}

TEST(IntelHexReader, AddressOrderWalksSectionsByAddressThenFileOrder) {
    IntelHexImagePtr image;
    ASSERT_EQ(parseIntelHexText(lines({":02100200334475", ":02000200CCDD53", ":021000001122BB", ":02000200CCDD53", kEnd}),
                                image),
              HexReadResult::Ok);
    ASSERT_EQ(image->sectionCount, 4u);
    EXPECT_EQ(std::vector<uint32_t>(image->addressOrder, image->addressOrder + 4), (std::vector<uint32_t>{1, 3, 2, 0}));
}

TEST(IntelHexReader, FirstConflictOfOverlappingSections) {
    struct Row {
        std::vector<std::string> records;
        std::optional<std::vector<uint32_t>> conflict;  // address, first, second
    } rows[] = {
        {{":02000000AABB99", ":02000200CCDD53"}, {}},  // touching, no overlap
        {{":03000000AABBCCCC", ":02000100BBCC76"}, {}},  // overlapping, same data
        {{":03000000AABBCCCC", ":02000100BBCD75"}, std::vector<uint32_t>{2, 0, 1}},
        // The lowest differing address, whatever the file order.
        {{":0100050033C7", ":06000000AABBCCDDEEFFFF", ":02000200CC0030"}, std::vector<uint32_t>{3, 1, 2}},
    };
    for (Row& row : rows) row.records.push_back(kEnd);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.records[0]);
        IntelHexImagePtr image;
        std::string text;
        for (const std::string& r : row.records) text += r + "\n";
        ASSERT_EQ(parseIntelHexText(text, image), HexReadResult::Ok);
        ASSERT_EQ(image->errorCount, 0u);
        HexConflict c{};
        const bool found = findHexConflict(*image, &c);
        EXPECT_EQ(found ? std::optional(std::vector<uint32_t>{c.address, c.first, c.second}) : std::nullopt,
                  row.conflict);
    }
}

TEST(IntelHexReader, TextThatChangesBetweenPassesIsAReadErrorNotAnOverrun) {
    BlockText source(lines({":02000000AABB99", kEnd}), 4096, lines({":04000000AABBCCDDEE", kEnd}));
    IntelHexImagePtr image;
    EXPECT_EQ(readIntelHex(source, image), HexReadResult::ReadFailed);
    EXPECT_EQ(image, nullptr);
}

TEST(IntelHexReader, DataBufferThatCannotBeHadIsResultOne) {
    IntelHexImagePtr image;
    HexReadResult r;
    {
        FailAllocations fail(255);  // the data of the one record below
        r = parseIntelHexText(lines({":FF000000" + std::string(510, '0') + "01", kEnd}), image);
    }
    EXPECT_EQ(r, HexReadResult::NoMemory);
    EXPECT_EQ(image, nullptr);
}

struct WriteCase {
    const char* name;
    std::vector<Section> sections;
    std::string text;
};

Bytes counting(uint8_t from, size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(from + i);
    return b;
}

TEST(IntelHexWriter, RecordsEndOnSixteenByteBoundariesAndEachSectionStatesItsUpperAddress) {
    const WriteCase cases[] = {
        {"no sections", {}, ":00000001FF\n"},
        {"20 bytes at 0x8", {{0x8, counting(0, 20)}},
         lines({":020000040000FA", ":080008000001020304050607D4", ":0C00100008090A0B0C0D0E0F1011121342", kEnd})},
        {"across a 64 KiB boundary", {{0xFFF8, counting(0, 16)}},
         lines({":020000040000FA", ":08FFF8000001020304050607E5", ":020000040001F9", ":0800000008090A0B0C0D0E0F9C", kEnd})},
        {"empty sections skipped, every other one starts with its upper address",
         {{0x1234, {0xA0, 0xA1, 0xA2}}, {0x5000, {}}, {0x2000, {0xB0}}},
         lines({":020000040000FA", ":03123400A0A1A2D4", ":020000040000FA", ":01200000B02F", kEnd})},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<HexSection> sections;
        std::vector<Bytes> data(c.sections.size());
        for (size_t i = 0; i < c.sections.size(); ++i) {
            data[i] = c.sections[i].bytes;
            sections.push_back({c.sections[i].address, static_cast<uint32_t>(data[i].size()), data[i].data()});
        }
        const IntelHexImage image{0, {}, static_cast<uint32_t>(sections.size()), sections.data(), nullptr, nullptr};
        std::string text;
        ASSERT_TRUE(formatIntelHexText(image, text));
        EXPECT_EQ(text, c.text);
    }
}

// ---- Files -----------------------------------------------------------

struct TempFolder {
    std::string path;
    TempFolder() {
        path = testdir::make("intel_hex_test");
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string file(const char* name) const { return path + "/" + name; }
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The failures are provoked with POSIX means (/dev/full, a mode that
// forbids reading, EISDIR's number).
#ifndef _WIN32
TEST(IntelHexFiles, OpenReadAndWriteFailures) {
    TempFolder dir;
    const IntelHexImage empty{};
    IntelHexImagePtr image;
    EXPECT_EQ(readIntelHexFile(dir.file("missing.mcs").c_str(), image), HexReadResult::NotFound);
    EXPECT_EQ(readIntelHexFile(dir.path.c_str(), image), HexReadResult::ReadFailed);  // a folder
    EXPECT_EQ(writeIntelHexFile(dir.file("no/such.mcs").c_str(), empty), HexWriteResult::PathNotFound);
    EXPECT_EQ(writeIntelHexFile("/dev/full", empty), HexWriteResult::WriteFailed);
    {
        OutCapture cap;
        EXPECT_EQ(writeIntelHexFile(dir.path.c_str(), empty), HexWriteResult::OpenFailed);
        EXPECT_EQ(cap.text(), "21\n");  // EISDIR
    }
    if (geteuid() != 0) {
        const std::string locked = dir.file("locked.mcs");
        ASSERT_EQ(writeIntelHexFile(locked.c_str(), empty), HexWriteResult::Ok);
        chmod(locked.c_str(), 0);
        EXPECT_EQ(readIntelHexFile(locked.c_str(), image), HexReadResult::AccessDenied);
        EXPECT_EQ(writeIntelHexFile(locked.c_str(), empty), HexWriteResult::AccessDenied);
    }
}

#endif

bool haveTool(const char* name) { return std::system((std::string("command -v ") + name + " >/dev/null").c_str()) == 0; }

TEST(IntelHexFiles, RoundTripsFilesOtherToolsWrote) {
    if (!haveTool("srec_cat") || !haveTool("objcopy")) GTEST_SKIP() << "srec_cat or objcopy missing (scripts/install-deps.sh)";
    TempFolder dir;
    Bytes data(3 * 65536 + 100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    const std::string bin = dir.file("image.bin");
    std::ofstream(bin, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    const std::string theirs = dir.file("srec.mcs");
    const std::string objcopied = dir.file("objcopy.hex");
    ASSERT_EQ(std::system(("srec_cat '" + bin + "' -binary -offset 0x00FF0000 -o '" + theirs +
                           "' -intel -Output_Block_Size 16").c_str()),
              0);
    ASSERT_EQ(std::system(("objcopy -I binary -O ihex --change-addresses 0x0100FFF0 '" + bin + "' '" + objcopied + "'").c_str()),
              0);
    // The same file with its start address record moved before the data, as
    // several toolchains write it.
    std::string startFirst = readFile(objcopied);
    const size_t start = startFirst.find(":04000005");
    ASSERT_NE(start, std::string::npos);
    const std::string startRecord = startFirst.substr(start, startFirst.find('\n', start) + 1 - start);
    startFirst.erase(start, startRecord.size());
    std::ofstream(dir.file("start_first.hex"), std::ios::binary) << startRecord << startFirst;

    const struct {
        std::string path;
        uint32_t address;
    } files[] = {{theirs, 0x00FF0000}, {objcopied, 0x0100FFF0}, {dir.file("start_first.hex"), 0x0100FFF0}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.path);
        IntelHexImagePtr image;
        ASSERT_EQ(readIntelHexFile(f.path.c_str(), image), HexReadResult::Ok);
        EXPECT_EQ(image->errorCount, 0u);
        EXPECT_EQ(sectionsOf(*image), (std::vector<Section>{{f.address, data}}));
    }
    // Written back, the srec_cat file comes out byte for byte.
    IntelHexImagePtr image;
    ASSERT_EQ(readIntelHexFile(theirs.c_str(), image), HexReadResult::Ok);
    const std::string ours = dir.file("ours.mcs");
    ASSERT_EQ(writeIntelHexFile(ours.c_str(), *image), HexWriteResult::Ok);
    EXPECT_EQ(readFile(ours), readFile(theirs));
}

}  // namespace
