// +skip-same's plan for one block, row by row: what the chip holds, the new
// bytes and the range give the steps, and running those steps leaves the
// block exactly as the plain read-erase-write would.
#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "spiflash/block_planner.h"

namespace {

constexpr uint32_t kStart = 0x100, kSize = 16, kPage = 4;

/// A block of `fill` bytes with a few set apart (offsets into the block).
std::vector<uint8_t> block(uint8_t fill, std::initializer_list<std::pair<uint32_t, uint8_t>> set = {}) {
    std::vector<uint8_t> b(kSize, fill);
    for (const auto& [at, value] : set) b[at] = value;
    return b;
}

}  // namespace

TEST(BlockPlanner, StepsAndContentsTable) {
    using C = BlockChange;
    struct Row {
        const char* name;
        std::vector<uint8_t> held;    // the whole block on the chip
        std::vector<uint8_t> wanted;  // new bytes; only the range part is new
        uint32_t offset, length;      // the range inside the block
        BlockChange change;
        std::vector<std::string> programs;  // "address+length"
    } rows[] = {
        {"identical", block(0x5A, {{3, 0x11}}), block(0x5A, {{3, 0x11}}), 0, kSize, C::Unchanged, {}},
        {"clears bits in two pages apart", block(0x0F), block(0x0F, {{1, 0x0E}, {12, 0x00}}), 0, kSize,
         C::ProgramOnly, {"100+4", "10C+4"}},
        {"last and first byte of adjacent pages", block(0x0F), block(0x0F, {{7, 0x00}, {8, 0x00}}), 0, kSize,
         C::ProgramOnly, {"104+8"}},
        {"last byte of the first page", block(0xFF), block(0xFF, {{3, 0x7F}}), 0, kSize, C::ProgramOnly, {"100+4"}},
        {"clears bits, head and tail kept: runs clipped to the range", block(0x0F), block(0x00), 6, 5,
         C::ProgramOnly, {"106+5"}},
        {"sets a bit: erase, every page written", block(0x0F), block(0x0F, {{9, 0xF0}}), 0, kSize, C::Erase,
         {"100+10"}},
        {"erase leaves out pages that read erased", block(0x00), block(0xFF, {{1, 0x12}, {13, 0x34}}), 0, kSize,
         C::Erase, {"100+4", "10C+4"}},
        {"all 0xFF over data: erase only", block(0x5A), block(0xFF), 0, kSize, C::Erase, {}},
        {"all 0xFF over erased", block(0xFF), block(0xFF), 0, kSize, C::Unchanged, {}},
        {"head and tail kept through the erase", block(0x00, {{0, 0x55}, {15, 0xAA}}), block(0xFF, {{6, 0x01}}),
         4, 8, C::Erase, {"100+8", "10C+4"}},
        {"a page as the range: only the kept page written", block(0xFF, {{2, 0x11}, {9, 0x00}}), block(0xFF), 8, 4,
         C::Erase, {"100+4"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // What the plain algorithm leaves: the old block, the range replaced.
        std::vector<uint8_t> plain = row.held;
        std::copy(row.wanted.begin() + row.offset, row.wanted.begin() + row.offset + row.length,
                  plain.begin() + row.offset);
        const SkipPlan plan = planSkipBlock(row.held.data() + row.offset, plain.data(), kStart, kSize,
                                            kStart + row.offset, row.length, kPage);
        EXPECT_EQ(plan.change, row.change);
        std::vector<std::string> programs;
        std::vector<uint8_t> chip = row.held;
        if (plan.change == C::Erase) chip.assign(kSize, 0xFF);
        for (const ProgramRun& run : plan.programs) {
            char text[32];
            std::snprintf(text, sizeof text, "%X+%X", run.address, run.length);
            programs.push_back(text);
            for (uint32_t i = run.address - kStart; i < run.address - kStart + run.length; ++i) chip[i] &= plain[i];
        }
        EXPECT_EQ(programs, row.programs);
        EXPECT_EQ(chip, plain);
    }
}
