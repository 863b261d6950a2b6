#include "spiflash/block_planner.h"

#include <cstring>

BlockChange classifyBlock(const uint8_t* held, const uint8_t* wanted, uint32_t length) {
    if (std::memcmp(held, wanted, length) == 0) return BlockChange::Unchanged;
    for (uint32_t i = 0; i < length; ++i)
        if ((held[i] & wanted[i]) != wanted[i]) return BlockChange::Erase;
    return BlockChange::ProgramOnly;
}

std::vector<ProgramRun> planPrograms(const uint8_t* held, const uint8_t* wanted, uint32_t address, uint32_t length,
                                     uint32_t pageSize) {
    std::vector<ProgramRun> runs;
    if (pageSize == 0) pageSize = 1;
    for (uint32_t at = 0; at < length;) {
        uint32_t n = pageSize - (address + at) % pageSize;
        if (n > length - at) n = length - at;
        bool differs = false;
        for (uint32_t i = at; i < at + n && !differs; ++i) differs = wanted[i] != (held != nullptr ? held[i] : 0xFF);
        if (differs) {
            if (!runs.empty() && runs.back().address + runs.back().length == address + at)
                runs.back().length += n;
            else
                runs.push_back({address + at, n});
        }
        at += n;
    }
    return runs;
}

SkipPlan planSkipBlock(const uint8_t* heldRange, const uint8_t* wantedBlock, uint32_t blockStart, uint32_t blockSize,
                       uint32_t rangeStart, uint32_t rangeLength, uint32_t pageSize) {
    SkipPlan plan;
    const uint8_t* wantedRange = wantedBlock + (rangeStart - blockStart);
    plan.change = classifyBlock(heldRange, wantedRange, rangeLength);
    switch (plan.change) {
        case BlockChange::Unchanged: break;
        case BlockChange::ProgramOnly:
            // No erase: the bytes outside the range stay as they are.
            plan.programs = planPrograms(heldRange, wantedRange, rangeStart, rangeLength, pageSize);
            break;
        case BlockChange::Erase:
            plan.programs = planPrograms(nullptr, wantedBlock, blockStart, blockSize, pageSize);
            break;
    }
    return plan;
}
