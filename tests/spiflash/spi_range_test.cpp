// Range operations on a scripted chip: initial image, range, the erase
// calls in order, and the contents after (the range changed, nothing else).
#include <gtest/gtest.h>

#include <filesystem>

#include "base/out.h"
#include "spi_chip.h"
#include "spiflash/recovery_file.h"
#include "spiflash/spi_range.h"
#include "platform/platform.h"

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
             uint32_t failAt = 0, bool skipSame = false, const std::vector<uint8_t>* memory = nullptr) {
    FakeUc uc;
    SpiChip chip(kChipSize);
    chip.memory = memory != nullptr ? *memory : pattern();
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
// the chip or in the recovery file it names, and a plain second run of the
// same operation puts the chip right without help.
TEST(SpiRange, InterruptionAtAnyExchangeLosesNoByteOutsideTheRange) {
    { FakeUc setUp; }  // points the tool's state folder at the test's own
    std::string dir;
    ASSERT_TRUE(platform::getEnv("ZORVIUTIL_STATE_DIR", dir));
    // The chip as it reads once every recovery file is programmed back.
    auto fromFiles = [&dir](std::vector<uint8_t> memory, const std::string& output) {
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            uint32_t board = 0, chip = 0, block = 0;
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(parseRecoveryFileName(name, &board, &chip, &block)) << name;
            EXPECT_NE(output.find("spi-program-bin 0 " + entry.path().string()), std::string::npos);
            std::vector<uint8_t> saved;
            EXPECT_EQ(readKeptBlock(entry.path().string(), 0x1000, &saved), kOk);
            std::copy(saved.begin(), saved.end(), memory.begin() + block);
        }
        return memory;
    };
    struct Row {
        bool program;
        uint32_t address, count;
        bool skipSame;
    } rows[] = {{false, 0x10010, 0x10, false}, {true, 0x10008, 16, false}, {false, 0x11000, 0x1800, false},
                {true, 0x10008, 16, true}};
    for (const Row& row : rows) {
        const size_t total = runRange(row.program, row.address, row.count, noMap(), 0, row.skipSame).requests;
        const std::vector<uint8_t> want = expectedImage(row.program, row.address, row.count);
        // Outside the range the chip (with the files laid over it) is as before.
        auto keptOutside = [&](std::vector<uint8_t> memory) {
            std::copy(want.begin() + row.address, want.begin() + row.address + row.count, memory.begin() + row.address);
            return memory == want;
        };
        for (uint32_t failAt = 1; failAt <= total; ++failAt) {
            SCOPED_TRACE(testing::Message() << row.program << " " << row.address << " fails at " << failAt);
            RangeRun run = runRange(row.program, row.address, row.count, noMap(), failAt, row.skipSame);
            ASSERT_EQ(run.result, kLinkFailure);
            SCOPED_TRACE(run.output);
            ASSERT_TRUE(keptOutside(fromFiles(run.memory, run.output)));
            // A second run failing at the same exchange keeps what the first
            // kept (one that puts the block back sooner may succeed).
            run = runRange(row.program, row.address, row.count, noMap(), failAt, row.skipSame, &run.memory);
            ASSERT_TRUE(run.result == kOk ? run.memory == want : keptOutside(fromFiles(run.memory, run.output)));
            // The same operation again, on the chip as the failures left it.
            const RangeRun again = runRange(row.program, row.address, row.count, noMap(), 0, row.skipSame, &run.memory);
            ASSERT_EQ(again.result, kOk) << again.output;
            ASSERT_TRUE(again.memory == want) << again.output;
            EXPECT_TRUE(std::filesystem::is_empty(dir));
        }
    }
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
