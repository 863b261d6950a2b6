// The range planner and the executor that runs its steps over the link.
#include "spiflash/spi_range.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/json_out.h"
#include "base/out.h"
#include "base/progress.h"
#include "link/board_reads.h"
#include "spiflash/recovery_file.h"
#include "spiflash/block_planner.h"
#include "spiflash/spi_files.h"

namespace {

constexpr uint32_t kWindow = 0x10000;
constexpr uint32_t kShownMismatches = 10;
/// +skip-same compares a block one read exchange at a time.
constexpr uint32_t kCompareChunk = 252;

}  // namespace

bool findEraseBlock(const SpiFlashInfo& info, uint32_t address, uint32_t count, EraseBlock* block) {
    if (uint64_t(address) + count > 0xFFFFFFFFull || address >= info.capacityBytes) return false;
    uint64_t regionStart = 0, regionEnd = 0xFFFFFFFFull;
    uint8_t mask = 0x0F;
    if (info.regionCount > 0) {
        bool found = false;
        uint64_t start = 0;
        for (uint32_t i = 0; i < info.regionCount && !found; ++i) {
            const uint64_t end = start + info.regions[i].size;  // exclusive
            if (address >= start && address < end) {
                regionStart = start;
                regionEnd = end - 1;
                mask = info.regions[i].eraseTypeMask;
                found = true;
            }
            start = end;
        }
        if (!found) return false;
    }
    const uint64_t last = uint64_t(address) + count - 1;
    bool chosen = false;
    uint64_t bestWaste = 0;
    for (uint32_t i = 0; i < 4; ++i) {
        const uint64_t size = info.eraseTypes[i].size;
        if ((mask & (1u << i)) == 0 || size == 0) continue;
        const uint64_t aligned = address - address % size;
        const uint64_t start = aligned < regionStart ? regionStart : aligned;
        const uint64_t end = aligned + size - 1 > regionEnd ? regionEnd : aligned + size - 1;
        const uint64_t blockSize = end - start + 1;
        const uint64_t waste = (address - start) + (last < end ? end - last : 0);
        if (!chosen || waste < bestWaste || (waste == bestWaste && blockSize > block->size)) {
            chosen = true;
            bestWaste = waste;
            *block = {i, static_cast<uint32_t>(start), static_cast<uint32_t>(blockSize)};
        }
    }
    // A region whose mask names no erase type of non-zero size cannot be
    // erased at all: such an address is outside what the chip can erase,
    // like an address past its end.
    return chosen;
}

Result checkEraseRange(const SpiFlashInfo& info, uint32_t address, uint32_t count) {
    while (count != 0) {
        EraseBlock b;
        if (!findEraseBlock(info, address, count, &b)) return kBadSpiAddress;
        const uint32_t head = address - b.start;
        const uint32_t inBlock = b.size - head < count ? b.size - head : count;
        address += inBlock;
        count -= inBlock;
    }
    return kOk;
}

namespace {

Result refuseRange(const SpiFlashInfo& info, uint32_t address, uint32_t count, Result r) {
    if (r != kOk)
        out("*** Bytes 0x%llX-0x%llX are not all within what the SPI Flash chip can erase (capacity 0x%X B); nothing "
            "was changed.\n",
            static_cast<unsigned long long>(address), static_cast<unsigned long long>(address) + count - 1,
            info.capacityBytes);
    return r;
}

}  // namespace

Result refuseUnerasableRange(const SpiFlashInfo& info, uint32_t address, uint32_t count) {
    return refuseRange(info, address, count, checkEraseRange(info, address, count));
}

Result refuseRangePastEnd(const SpiFlashInfo& info, uint32_t address, uint32_t count) {
    const bool within = uint64_t{address} + count <= info.capacityBytes;
    return refuseRange(info, address, count, within ? kOk : kBadSpiAddress);
}

Result planBlock(const SpiFlashInfo& info, bool program, uint32_t address, uint32_t count, BlockPlan* plan) {
    *plan = BlockPlan{};
    EraseBlock& b = plan->block;
    if (!findEraseBlock(info, address, count, &b)) return kBadSpiAddress;
    const uint32_t type = b.type;
    plan->head = address - b.start;
    plan->inBlock = b.size - plan->head < count ? b.size - plan->head : count;
    const uint32_t tailOffset = plan->head + plan->inBlock;
    const uint32_t tailLength = b.size - tailOffset;
    auto add = [plan, type](RangeStep::Kind kind, uint32_t at, uint32_t length, uint32_t offset) {
        plan->steps[plan->stepCount++] = {kind, static_cast<uint8_t>(type), at, length, offset};
    };
    if (plan->head != 0) add(RangeStep::Read, b.start, plan->head, 0);
    if (tailLength != 0) add(RangeStep::Read, address + plan->inBlock, tailLength, tailOffset);
    add(RangeStep::Erase, b.start, b.size, 0);
    if (program) {
        add(RangeStep::Write, b.start, b.size, 0);
    } else {
        if (plan->head != 0) add(RangeStep::Restore, b.start, plan->head, 0);
        if (tailLength != 0) add(RangeStep::Restore, address + plan->inBlock, tailLength, tailOffset);
    }
    return kOk;
}

namespace {

/// The lines that say where a block's kept bytes are and how to put them back.
void printRestoreHint(const RecoveryScope& scope, const std::string& path, uint32_t blockStart) {
    out("+++ The whole block as it should read is saved in '%s'. To put it back, run:\n", path.c_str());
    out("+++     %s\n", scope.restoreCommand(path, blockStart).c_str());
    hint("zorviutil: hint: the next spi-erase or spi-program-* run on this board's chip %u puts it back by itself\n",
         scope.chip);
}

/// After a failure between an erase and its restore: the block's kept bytes
/// are in its recovery file, written before the erase.
void saveRecovery(const RecoveryScope& scope, const BlockPlan& plan, const std::string& path) {
    const EraseBlock& b = plan.block;
    const uint32_t first = b.start + plan.head;
    out("*** Block 0x%X-0x%X was erased, but its bytes outside the requested range 0x%X-0x%X were not restored.\n",
        b.start, b.start + b.size - 1, first, first + plan.inBlock - 1);
    printRestoreHint(scope, path, b.start);
}

/// Where a run keeps the blocks it erases. Which board the run talks to
/// costs a VPD request, so it is asked only once a block must be kept or
/// an earlier run's file may be this board's.
class RecoveryPlace {
public:
    RecoveryPlace(ConnectionContext* ctx, bool verbose, uint32_t chip) : ctx_(ctx), verbose_(verbose) {
        scope_.folder = recoveryFolder();
        scope_.chip = chip;
        scope_.link = ctx->linkOption;
    }
    /// The scope, the board read first if need be.
    [[nodiscard]] Result get(const RecoveryScope** scope) {
        if (!known_) {
            if (Result r = readBoardSerial(ctx_, verbose_, &scope_.board); r != kOk) {
                out("*** Failed to identify the board whose SPI Flash blocks are to be kept.\n");
                return r;
            }
            known_ = true;
        }
        *scope = &scope_;
        return kOk;
    }
    const std::string& folder() const { return scope_.folder; }
    uint32_t chip() const { return scope_.chip; }

private:
    ConnectionContext* ctx_;
    bool verbose_;
    RecoveryScope scope_;
    bool known_ = false;
};

/// Page programs of `runs` from the block image `block` (starting at
/// `blockStart`); adds the bytes sent to `stats`.
Result programRuns(ConnectionContext* ctx, bool verbose, SpiFlashInfo& info, uint32_t chip,
                   const std::vector<ProgramRun>& runs, const uint8_t* block, uint32_t blockStart, const char* how,
                   SpiRangeStats* stats) {
    for (const ProgramRun& run : runs) {
        out("Writing 0x%X B at 0x%X-0x%X%s\n", run.length, run.address, run.address + run.length - 1, how);
        Result r = spiWrite(ctx, verbose, chip, info, run.address, run.length, block + (run.address - blockStart),
                            &stats->sent);
        if (r != kOk) return r;
    }
    return kOk;
}

/// +skip-same, before a block's steps: reads what the chip holds in the
/// range part into `held` and decides. An unchanged block or one that page
/// programs alone can change are done here; an erase is left to the steps.
/// The read stops at the first bytes that need an erase: the rest of them
/// cannot change the decision, and an erased block is programmed from the
/// new bytes alone.
Result compareBlock(ConnectionContext* ctx, bool verbose, SpiFlashInfo& info, uint32_t chip, const BlockPlan& plan,
                    uint8_t* held, SpiRangeStats* stats, BlockChange* change) {
    const EraseBlock& b = plan.block;
    const uint32_t first = b.start + plan.head;
    const uint8_t* merge = info.mergeBuffer.get();
    const uint8_t* wanted = merge + plan.head;
    uint32_t done = 0;
    *change = BlockChange::Unchanged;
    while (done < plan.inBlock && *change != BlockChange::Erase) {
        const uint32_t n = plan.inBlock - done < kCompareChunk ? plan.inBlock - done : kCompareChunk;
        if (Result r = spiRead(ctx, verbose, chip, info, first + done, n, held + done); r != kOk) return r;
        if (classifyBlock(held + done, wanted + done, n) == BlockChange::Erase) *change = BlockChange::Erase;
        done += n;
    }
    out("Compared 0x%X B at 0x%X-0x%X\n", done, first, first + done - 1);
    if (*change == BlockChange::Erase) return kOk;  // counted when the erase goes out
    const SkipPlan skip = planSkipBlock(held, merge, b.start, b.size, first, plan.inBlock, info.pageSize);
    *change = skip.change;
    if (skip.change == BlockChange::Unchanged) {
        out("Skipping 0x%X B block at 0x%X-0x%X: unchanged\n", b.size, b.start, b.start + b.size - 1);
        ++stats->unchanged;
        return kOk;
    }
    ++stats->programmed;
    return programRuns(ctx, verbose, info, chip, skip.programs, merge, b.start, " without erase", stats);
}

Result runRange(ConnectionContext* ctx, bool verbose, SpiFlashInfo& info, uint32_t chip, bool program,
                uint32_t address, uint32_t count, const uint8_t* data, bool skipSame, SpiRangeStats* stats,
                RecoveryPlace& place) {
    if (Result r = refuseUnerasableRange(info, address, count); r != kOk) return r;
    SpiRangeStats unused;
    if (stats == nullptr) stats = &unused;
    stats->bytes += count;
    // +skip-same: what the chip holds in a block's range part.
    std::unique_ptr<uint8_t[]> held;
    if (skipSame) {
        held.reset(new (std::nothrow) uint8_t[info.mergeBufferSize]);
        if (!held) {
            out("*** Failed to allocate SPI Flash compare buffer of 0x%X bytes.\n", info.mergeBufferSize);
            return kNoMemory;
        }
    }
    Progress progress(program ? "Programming" : "Erasing", count);
    while (count != 0) {
        BlockPlan plan;
        if (Result r = planBlock(info, program, address, count, &plan); r != kOk) return r;
        ++stats->blocks;
        uint8_t* merge = info.mergeBuffer.get();
        if (program) {
            std::memcpy(merge + plan.head, data, plan.inBlock);
        } else {
            // The range itself reads as erased, so the buffer is the whole
            // block as it must end up (the recovery file uses it).
            std::memset(merge + plan.head, 0xFF, plan.inBlock);
        }
        const bool partial = plan.inBlock != plan.block.size;
        RecoveryFile recovery;
        BlockChange change = BlockChange::Erase;
        if (held) {
            if (Result r = compareBlock(ctx, verbose, info, chip, plan, held.get(), stats, &change); r != kOk)
                return r;
        }
        if (change != BlockChange::Erase) plan.stepCount = 0;  // done by compareBlock
        bool erased = false;
        for (uint32_t i = 0; i < plan.stepCount; ++i) {
            const RangeStep& s = plan.steps[i];
            const uint32_t last = s.address + s.length - 1;
            Result r = kOk;
            // Before the erase: the kept bytes go to the disk, or the block
            // is not erased at all.
            if (s.kind == RangeStep::Erase && partial) {
                const RecoveryScope* scope = nullptr;
                if (Result got = place.get(&scope); got != kOk) return got;
                if (!recovery.keep(*scope, plan.block.start, merge, plan.block.size)) return kBinaryOutputError;
            }
            switch (s.kind) {
                case RangeStep::Read:
                    out("Reading 0x%X B at 0x%X-0x%X into merge buffer\n", s.length, s.address, last);
                    r = spiRead(ctx, verbose, chip, info, s.address, s.length, merge + s.bufferOffset);
                    break;
                case RangeStep::Erase:
                    out("Erasing 0x%X B block at 0x%X-0x%X\n", s.length, s.address, last);
                    r = spiEraseBlock(ctx, verbose, chip, info, s.eraseType, s.address);
                    break;
                case RangeStep::Write:
                    if (held) {
                        // Pages that read erased already are left out.
                        const std::vector<ProgramRun> runs =
                            planPrograms(nullptr, merge, s.address, s.length, info.pageSize);
                        r = programRuns(ctx, verbose, info, chip, runs, merge, s.address, "", stats);
                        break;
                    }
                    out("Writing 0x%X B block at 0x%X-0x%X\n", s.length, s.address, last);
                    r = spiWrite(ctx, verbose, chip, info, s.address, s.length, merge, &stats->sent);
                    break;
                case RangeStep::Restore:
                    out("Restoring 0x%X B at 0x%X-0x%X\n", s.length, s.address, last);
                    r = spiWrite(ctx, verbose, chip, info, s.address, s.length, merge + s.bufferOffset, &stats->sent);
                    break;
            }
            // The erase command may have reached the chip even when its
            // exchange (or the busy wait after it) failed.
            if (s.kind == RangeStep::Erase) {
                erased = true;
                ++stats->erased;
            }
            if (r != kOk) {
                const RecoveryScope* scope = nullptr;
                if (erased && partial && place.get(&scope) == kOk) saveRecovery(*scope, plan, recovery.path());
                return r;
            }
        }
        // Restored: the file is no longer needed.
        recovery.release();
        if (program) data += plan.inBlock;
        address += plan.inBlock;
        count -= plan.inBlock;
        progress.advance(plan.inBlock);
    }
    return kOk;
}

/// Before an erase or program: every block an earlier run on this board's
/// chip kept is put back from its file, verified, and only then its file
/// goes. A file is the truth for its block, whatever the chip reads now
/// (erased, half restored, or untouched when the run died before its
/// erase); the operation then starts from the board as it should be.
Result putBackKeptBlocks(ConnectionContext* ctx, bool verbose, SpiFlashInfo& info, RecoveryPlace& place) {
    // No file of this chip at all: no board has anything to put back, and
    // the board need not be asked who it is.
    if (!anyRecoveryFiles(place.folder(), place.chip())) return kOk;
    const RecoveryScope* scope = nullptr;
    if (Result r = place.get(&scope); r != kOk) return r;
    for (uint32_t start : keptBlocks(*scope)) {
        const std::string path = scope->pathOf(start);
        const uint64_t size = keptBlockSize(path);
        EraseBlock block;
        if (size == 0 || size > info.mergeBufferSize || !findEraseBlock(info, start, static_cast<uint32_t>(size), &block) ||
            block.start != start || block.size != size) {
            out("*** Recovery file '%s' does not hold an erase block of SPI chip %u; it is left as it is and the chip "
                "was not changed.\n",
                path.c_str(), scope->chip);
            return kBinaryInputError;
        }
        std::vector<uint8_t> bytes;
        if (Result r = readKeptBlock(path, block.size, &bytes); r != kOk) return r;
        out("Putting back block 0x%X-0x%X of SPI chip %u from '%s', kept by an earlier run\n", start,
            start + block.size - 1, scope->chip, path.c_str());
        SpiRangeStats stats;
        Result r = runRange(ctx, verbose, info, scope->chip, true, start, block.size, bytes.data(), false, &stats, place);
        uint32_t mismatches = 0;
        if (r == kOk) r = spiCompareRange(ctx, verbose, info, scope->chip, start, block.size, bytes.data(), &mismatches);
        if (r == kOk && mismatches != 0) {
            out("*** Block 0x%X-0x%X does not read back as '%s'.\n", start, start + block.size - 1, path.c_str());
            r = kVerifyMismatch;
        }
        if (r != kOk) {
            printRestoreHint(*scope, path, start);
            return r;
        }
        removeKeptBlock(path);
    }
    return kOk;
}

uint32_t windowLength(uint32_t address, uint32_t count) {
    const uint32_t n = kWindow - address % kWindow;
    return n < count ? n : count;
}

}  // namespace

namespace {

Result changeRange(ConnectionContext* ctx, bool verbose, SpiFlashInfo& info, uint32_t chip, bool program,
                   uint32_t address, uint32_t count, const uint8_t* data, bool skipSame, SpiRangeStats* stats) {
    if (Result r = refuseUnerasableRange(info, address, count); r != kOk) return r;
    warnAboutLegacyRecoveryFiles(chip, ctx->linkOption);
    RecoveryPlace place(ctx, verbose, chip);
    if (Result r = putBackKeptBlocks(ctx, verbose, info, place); r != kOk) return r;
    return runRange(ctx, verbose, info, chip, program, address, count, data, skipSame, stats, place);
}

}  // namespace

Result spiEraseRange(ConnectionContext* ctx, bool verbose, SpiFlashInfo& info, uint32_t chip, uint32_t address,
                     uint32_t count, SpiRangeStats* stats) {
    return changeRange(ctx, verbose, info, chip, false, address, count, nullptr, false, stats);
}

Result spiProgramRange(ConnectionContext* ctx, bool verbose, SpiFlashInfo& info, uint32_t chip, uint32_t address,
                       uint32_t count, const uint8_t* data, bool skipSame, SpiRangeStats* stats) {
    return changeRange(ctx, verbose, info, chip, true, address, count, data, skipSame, stats);
}

Result spiCompareRange(ConnectionContext* ctx, bool verbose, SpiFlashInfo& info, uint32_t chip, uint32_t address,
                       uint32_t count, const uint8_t* expected, uint32_t* mismatches, SpiRangeStats* stats) {
    *mismatches = 0;
    // Past the chip's end the address would wrap to its start: a blank
    // check or a verify would pass on bytes that do not exist.
    if (Result r = refuseRangePastEnd(info, address, count); r != kOk) return r;
    SpiRangeStats unused;
    if (stats == nullptr) stats = &unused;
    stats->bytes += count;
    Progress progress(expected != nullptr ? "Verifying" : "Blank-checking", count);
    while (count != 0) {
        const uint32_t n = windowLength(address, count);
        out("Reading 0x%X B at 0x%X-0x%X\n", n, address, address + n - 1);
        ++stats->blocks;
        uint8_t* window = info.mergeBuffer.get() + address % kWindow;
        if (Result r = spiRead(ctx, verbose, chip, info, address, n, window); r != kOk) return r;
        bool furtherShown = false;
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t want = expected != nullptr ? expected[i] : 0xFF;
            if (window[i] == want) continue;
            if (*mismatches < kShownMismatches) {
                out("+++ At address 0x%08X, expected byte value 0x%02X found 0x%02X\n", address + i, want, window[i]);
            } else if (!furtherShown) {
                out("+++ Further mismatches found.\n");
                furtherShown = true;
            }
            ++*mismatches;
        }
        if (expected != nullptr) expected += n;
        address += n;
        count -= n;
        progress.advance(n);
    }
    return kOk;
}

Result spiReadRange(ConnectionContext* ctx, bool verbose, SpiFlashInfo& info, uint32_t chip, uint32_t address,
                    uint32_t count, uint8_t* destination, SpiRangeStats* stats) {
    // A save past the end would hold the chip's first bytes again.
    if (Result r = refuseRangePastEnd(info, address, count); r != kOk) return r;
    SpiRangeStats unused;
    if (stats == nullptr) stats = &unused;
    stats->bytes += count;
    Progress progress("Reading", count);
    while (count != 0) {
        const uint32_t n = windowLength(address, count);
        out("Reading 0x%X B at 0x%X-0x%X\n", n, address, address + n - 1);
        ++stats->blocks;
        if (Result r = spiRead(ctx, verbose, chip, info, address, n, destination); r != kOk) return r;
        destination += n;
        address += n;
        count -= n;
        progress.advance(n);
    }
    return kOk;
}

void spiRangeJsonSummary(const SpiRangeStats& stats, bool skipSame) {
    jsonSummary("bytes", stats.bytes);
    jsonSummary("blocks", stats.blocks);
    if (!skipSame) return;
    jsonSummary("blocks_unchanged", stats.unchanged);
    jsonSummary("blocks_programmed", stats.programmed);
    jsonSummary("blocks_erased", stats.erased);
    jsonSummary("bytes_sent", stats.sent);
}

void spiRangeJsonFailure(const SpiRangeStats& stats) {
    jsonFailureFields({{"bytes_sent", stats.sent}, {"blocks_erased", stats.erased}});
}

void printSkipSameSummary(const SpiRangeStats& s) {
    out("Skip-same: %u block(s) unchanged, %u programmed without erase, %u erased and programmed; %llu(0x%llX) "
        "byte(s) sent.\n",
        s.unchanged, s.programmed, s.erased, static_cast<unsigned long long>(s.sent),
        static_cast<unsigned long long>(s.sent));
}
