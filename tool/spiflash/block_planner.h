// What +skip-same does with one erase block: the chip's bytes in the range
// are compared with the new ones first. A block that holds them already is
// left alone; one the new bytes only clear bits of is programmed where it
// differs, without an erase; any other is erased and its pages programmed,
// except those that read as erased anyway. Pure: bytes in, steps out.
#pragma once

#include <cstdint>
#include <vector>

enum class BlockChange : uint8_t {
    Unchanged,    ///< the chip holds the new bytes already
    ProgramOnly,  ///< page programs alone get there: they only clear bits
    Erase,        ///< bits must be set again: erase, then program
};

/// Compares `length` bytes the chip holds with the bytes wanted there.
BlockChange classifyBlock(const uint8_t* held, const uint8_t* wanted, uint32_t length);

/// One page program run: `length` bytes from `address`, a whole number of
/// pages clipped to the span asked about.
struct ProgramRun {
    uint32_t address;
    uint32_t length;
};

/// The runs of pages of [address, +length) worth programming: those where a
/// wanted byte differs from what the chip holds (`held`, or 0xFF everywhere
/// when null: just erased). Adjacent pages are joined into one run.
std::vector<ProgramRun> planPrograms(const uint8_t* held, const uint8_t* wanted, uint32_t address, uint32_t length,
                                     uint32_t pageSize);

/// The steps for one block with +skip-same.
struct SkipPlan {
    BlockChange change = BlockChange::Unchanged;
    std::vector<ProgramRun> programs;  ///< after the erase, if there is one
};

/// Plans the block [blockStart, +blockSize) for the range part
/// [rangeStart, +rangeLength) inside it. `heldRange` is what the chip holds
/// in the range part, `wantedBlock` the whole block as it must end up (the
/// kept head and tail around the new bytes; only the range part is looked
/// at unless an erase is needed).
SkipPlan planSkipBlock(const uint8_t* heldRange, const uint8_t* wantedBlock, uint32_t blockStart, uint32_t blockSize,
                       uint32_t rangeStart, uint32_t rangeLength, uint32_t pageSize);
