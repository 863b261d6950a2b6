// Range operations on a scripted chip: initial image, range, the erase
// calls in order, and the contents after (the range changed, nothing else).
#include <gtest/gtest.h>

#include <filesystem>

#include "base/out.h"
#include "spi_chip.h"
#include "spiflash/spi_range.h"

namespace {

constexpr uint32_t kChipSize = 0x100000;

std::vector<uint8_t> pattern() {
    std::vector<uint8_t> m(kChipSize);
    for (uint32_t i = 0; i < kChipSize; ++i) m[i] = uint8_t(i * 7 + 3);
    return m;
}

std::vector<uint8_t> dataFor(uint32_t count) {
    std::vector<uint8_t> d(count);
    for (uint32_t i = 0; i < count; ++i) d[i] = uint8_t(0xA0 ^ i);
    return d;
}

std::vector<SpiFlashRegion> noMap() { return {}; }

struct RangeRun {
    Result result;
    std::string output;
    std::vector<std::string> erases;
    std::vector<uint8_t> memory;
    size_t requests;
};

RangeRun runRange(bool program, uint32_t address, uint32_t count, const std::vector<SpiFlashRegion>& regions,
             uint32_t failAt = 0, bool skipSame = false) {
    FakeUc uc;
    SpiChip chip(kChipSize);
    chip.memory = pattern();
    chip.failAtRequest = failAt;
    chip.attach(uc);
    SpiFlashInfo info = testInfo(kChipSize, {{0x1000, 0x20}, {0x10000, 0xD8}}, regions);
    const std::vector<uint8_t> data = dataFor(count < kChipSize ? count : kChipSize);
    OutCapture capture;
    RangeRun run;
    run.result = program ? spiProgramRange(uc.context(), false, info, 0, address, count, data.data(), skipSame)
                         : spiEraseRange(uc.context(), false, info, 0, address, count);
    run.output = capture.text();
    for (const std::string& line : chip.log)
        if (line[0] == 'E') run.erases.push_back(line);
    run.memory = chip.memory;
    run.requests = uc.requests().size();
    return run;
}

/// The image as it must read after the operation.
std::vector<uint8_t> expectedImage(bool program, uint32_t address, uint32_t count) {
    std::vector<uint8_t> m = pattern();
    const std::vector<uint8_t> data = dataFor(count);
    for (uint32_t i = 0; i < count; ++i) m[address + i] = program ? data[i] : 0xFF;
    return m;
}

}  // namespace

TEST(SpiRange, EraseAndProgramTable) {
    struct Row {
        const char* name;
        bool program;
        uint32_t address, count;
        std::vector<SpiFlashRegion> regions;
        std::vector<std::string> erases;
        const char* output;  ///< checked when given
    } rows[] = {
        {"whole 64 KiB blocks", false, 0x10000, 0x20000, noMap(), {"E 10000+10000", "E 20000+10000"},
         "Erasing 0x10000 B block at 0x10000-0x1FFFF\nErasing 0x10000 B block at 0x20000-0x2FFFF\n"},
        {"4 KiB then a tail kept", false, 0x11000, 0x1800, noMap(), {"E 11000+1000", "E 12000+1000"},
         "Erasing 0x1000 B block at 0x11000-0x11FFF\n"
         "Reading 0x800 B at 0x12800-0x12FFF into merge buffer\n"
         "Erasing 0x1000 B block at 0x12000-0x12FFF\n"
         "Restoring 0x800 B at 0x12800-0x12FFF\n"},
        {"head and tail kept", false, 0x10010, 0x10, noMap(), {"E 10000+1000"},
         "Reading 0x10 B at 0x10000-0x1000F into merge buffer\n"
         "Reading 0xFE0 B at 0x10020-0x10FFF into merge buffer\n"
         "Erasing 0x1000 B block at 0x10000-0x10FFF\n"
         "Restoring 0x10 B at 0x10000-0x1000F\n"
         "Restoring 0xFE0 B at 0x10020-0x10FFF\n"},
        {"program inside one block", true, 0x10008, 16, noMap(), {"E 10000+1000"},
         "Reading 0x8 B at 0x10000-0x10007 into merge buffer\n"
         "Reading 0xFE8 B at 0x10018-0x10FFF into merge buffer\n"
         "Erasing 0x1000 B block at 0x10000-0x10FFF\n"
         "Writing 0x1000 B block at 0x10000-0x10FFF\n"},
        {"program across blocks", true, 0xFF00, 0x11200, noMap(),
         {"E F000+1000", "E 10000+10000", "E 20000+1000", "E 21000+1000"}, nullptr},
        {"region allows 4 KiB only", false, 0, 0x10000, {{0x10000, 0x01}, {0xF0000, 0x03}},
         {"E 0+1000", "E 1000+1000", "E 2000+1000", "E 3000+1000", "E 4000+1000", "E 5000+1000", "E 6000+1000",
          "E 7000+1000", "E 8000+1000", "E 9000+1000", "E A000+1000", "E B000+1000", "E C000+1000", "E D000+1000",
          "E E000+1000", "E F000+1000"},
         nullptr},
        {"nothing", false, 0x1234, 0, noMap(), {}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const RangeRun run = runRange(row.program, row.address, row.count, row.regions);
        EXPECT_EQ(run.result, kOk);
        EXPECT_EQ(run.erases, row.erases);
        if (row.output != nullptr) {
            EXPECT_EQ(run.output, row.output);
        }
        EXPECT_TRUE(run.memory == expectedImage(row.program, row.address, row.count));
    }
}

TEST(SpiRange, RefusesWholeRangeBeforeTheFirstErase) {
    struct Row {
        const char* name;
        uint32_t address, count;
        std::vector<SpiFlashRegion> regions;
    } rows[] = {
        {"start at capacity", kChipSize, 1, noMap()},
        {"runs past the end", kChipSize - 0x2000, 0x3000, noMap()},
        {"wraps past 2^32", 0x1000, 0xFFFFF000, noMap()},
        {"runs past the sector map", 0x8000, 0x10000, {{0x10000, 0x03}}},
        {"region no erase type can erase", 0x0, 0x20000, {{0x10000, 0x03}, {0x10000, 0x0C}, {0xE0000, 0x03}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (bool program : {false, true}) {
            const RangeRun run = runRange(program, row.address, row.count, row.regions);
            EXPECT_EQ(run.result, kBadSpiAddress);
            EXPECT_EQ(run.requests, 0u);
            EXPECT_EQ(run.output.rfind("*** Bytes 0x", 0), 0u);
        }
    }
}

// However an operation is interrupted, the bytes outside the range are on
// the chip or in the recovery file it names; programming that file back
// (as the message says) leaves them as they were.
TEST(SpiRange, InterruptionAtAnyExchangeLosesNoByteOutsideTheRange) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "spi_range_recovery";
    std::filesystem::create_directories(dir);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    struct Row {
        bool program;
        uint32_t address, count;
        bool skipSame;
    } rows[] = {{false, 0x10010, 0x10, false}, {true, 0x10008, 16, false}, {false, 0x11000, 0x1800, false},
                {true, 0x10008, 16, true}};
    for (const Row& row : rows) {
        const size_t total = runRange(row.program, row.address, row.count, noMap(), 0, row.skipSame).requests;
        for (uint32_t failAt = 1; failAt <= total; ++failAt) {
            SCOPED_TRACE(testing::Message() << row.program << " " << row.address << " fails at " << failAt);
            for (const auto& entry : std::filesystem::directory_iterator(dir)) std::filesystem::remove(entry.path());
            RangeRun run = runRange(row.program, row.address, row.count, noMap(), failAt, row.skipSame);
            ASSERT_EQ(run.result, kLinkFailure);
            SCOPED_TRACE(run.output);
            for (const auto& entry : std::filesystem::directory_iterator(dir)) {
                uint32_t block = 0;
                ASSERT_EQ(std::sscanf(entry.path().filename().string().c_str(), "spi-chip0-block-0x%X.bin", &block), 1);
                EXPECT_NE(run.output.find("spi-program-bin 0 " + entry.path().filename().string()), std::string::npos);
                std::vector<uint8_t> saved;
                FILE* f = std::fopen(entry.path().string().c_str(), "rb");
                int c;
                while ((c = std::fgetc(f)) != EOF) saved.push_back(uint8_t(c));
                std::fclose(f);
                std::copy(saved.begin(), saved.end(), run.memory.begin() + block);
            }
            std::vector<uint8_t> want = pattern();
            std::copy(run.memory.begin() + row.address, run.memory.begin() + row.address + row.count,
                      want.begin() + row.address);
            ASSERT_TRUE(run.memory == want);
        }
    }
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
}

TEST(SpiRange, CompareReadsWindowsAndLimitsMismatchLines) {
    FakeUc uc;
    SpiChip chip(kChipSize);
    for (uint32_t i = 0; i < 25; ++i) chip.memory[0x10100 + i] = 0x00;
    chip.memory[0x2F000] = 0x12;
    chip.attach(uc);
    SpiFlashInfo info = testInfo(kChipSize, {{0x1000, 0x20}});
    OutCapture capture;
    uint32_t mismatches = 0;
    ASSERT_EQ(spiCompareRange(uc.context(), false, info, 0, 0xF000, 0x20100, nullptr, &mismatches), kOk);
    EXPECT_EQ(mismatches, 26u);
    std::string expected = "Reading 0x1000 B at 0xF000-0xFFFF\nReading 0x10000 B at 0x10000-0x1FFFF\n";
    for (uint32_t i = 0; i < 10; ++i) {
        char line[80];
        std::snprintf(line, sizeof line, "+++ At address 0x%08X, expected byte value 0xFF found 0x00\n", 0x10100 + i);
        expected += line;
    }
    expected += "+++ Further mismatches found.\nReading 0xF100 B at 0x20000-0x2F0FF\n+++ Further mismatches found.\n";
    EXPECT_EQ(capture.text(), expected);
}
