// Byte-exact range operations on one chip. An erase or program of a range
// that does not cover whole erase blocks keeps every byte outside it: the
// planner chooses, block by block, the erase block that disturbs the fewest
// bytes and lists the read / erase / write / restore steps; the executor
// runs them through the merge buffer.
#pragma once

#include <cstdint>
#include <string>

#include "spiflash/spi_flash.h"

struct EraseBlock {
    uint32_t type = 0;
    uint32_t start = 0;
    uint32_t size = 0;
};

/// The least-waste erase block containing `address` for a request of
/// `count` bytes; false when the address cannot be erased.
bool findEraseBlock(const SpiFlashInfo& info, uint32_t address, uint32_t count, EraseBlock* block);

/// 29 unless every byte of the range lies in an erasable block; checked
/// before the first erase, so a refused range changes nothing.
[[nodiscard]] Result checkEraseRange(const SpiFlashInfo& info, uint32_t address, uint32_t count);

/// checkEraseRange, saying on a refusal which bytes and that nothing changed.
[[nodiscard]] Result refuseUnerasableRange(const SpiFlashInfo& info, uint32_t address, uint32_t count);
/// A range to be read must lie within the chip: past its end the address
/// would wrap to the chip's start again. 29 with the same message.
[[nodiscard]] Result refuseRangePastEnd(const SpiFlashInfo& info, uint32_t address, uint32_t count);

struct RangeStep {
    enum Kind : uint8_t {
        Read,     ///< chip [address, +length) into the merge buffer at bufferOffset
        Erase,    ///< erase block `address` of `length` bytes with `eraseType`
        Write,    ///< the whole merged block back (program)
        Restore,  ///< merge buffer at bufferOffset back to [address, +length) (erase)
    };
    Kind kind;
    uint8_t eraseType;
    uint32_t address;
    uint32_t length;
    uint32_t bufferOffset;
};

/// The steps for the first block of a range.
struct BlockPlan {
    EraseBlock block;
    uint32_t head = 0;      ///< kept bytes before the range inside the block
    uint32_t inBlock = 0;   ///< bytes of the range inside the block
    RangeStep steps[5];
    uint32_t stepCount = 0;
};

/// Plans the block holding `address`: for an erase the kept head and tail
/// are read, the block erased and both restored; for a program the block
/// is read around the range, erased and written whole. 29 when no block.
[[nodiscard]] Result planBlock(const SpiFlashInfo& info, bool program, uint32_t address, uint32_t count, BlockPlan* plan);

/// What range operations did, added up over a verb's ranges.
struct SpiRangeStats {
    uint64_t bytes = 0;       ///< bytes of the ranges
    uint32_t blocks = 0;      ///< erase blocks touched (reads: windows read)
    // +skip-same only:
    uint32_t unchanged = 0;   ///< blocks that held the data already
    uint32_t programmed = 0;  ///< blocks programmed without an erase
    // Counted as the requests go out, also when their exchange then fails,
    // so a failed run still tells what may have reached the chip:
    uint32_t erased = 0;      ///< blocks erased (and programmed where not blank)
    uint64_t sent = 0;        ///< bytes sent in page programs (restores too)
};

/// `stats`, when given, is added to.
[[nodiscard]] Result spiEraseRange(ConnectionContext* ctx, bool verbose, SpiFlashInfo& info, uint32_t chip,
                                   uint32_t address, uint32_t count, SpiRangeStats* stats = nullptr);
/// With `skipSame` each block's bytes in the range are read first and only
/// what differs is erased and programmed (see block_planner.h); `stats`,
/// when given, is added to.
[[nodiscard]] Result spiProgramRange(ConnectionContext* ctx, bool verbose, SpiFlashInfo& info, uint32_t chip,
                                     uint32_t address, uint32_t count, const uint8_t* data, bool skipSame = false,
                                     SpiRangeStats* stats = nullptr);
/// Without `expected` every byte should be 0xFF (blank check).
[[nodiscard]] Result spiCompareRange(ConnectionContext* ctx, bool verbose, SpiFlashInfo& info, uint32_t chip,
                                     uint32_t address, uint32_t count, const uint8_t* expected, uint32_t* mismatches,
                                     SpiRangeStats* stats = nullptr);
[[nodiscard]] Result spiReadRange(ConnectionContext* ctx, bool verbose, SpiFlashInfo& info, uint32_t chip,
                                  uint32_t address, uint32_t count, uint8_t* destination,
                                  SpiRangeStats* stats = nullptr);

/// The +json summary fields of `stats`: "bytes" and "blocks", and with
/// +skip-same also "blocks_unchanged", "blocks_programmed", "blocks_erased"
/// and "bytes_sent".
void spiRangeJsonSummary(const SpiRangeStats& stats, bool skipSame);
/// The fields the +json error document of an erase or program verb
/// carries: "bytes_sent" and "blocks_erased" as counted so far.
void spiRangeJsonFailure(const SpiRangeStats& stats);
/// With +skip-same: the one summary line of a program verb (on stdout).
void printSkipSameSummary(const SpiRangeStats& stats);

