// Page-wise write and verify of the uC's application flash, and the checked
// page read under them. Flash is written in whole 512-byte pages; a page that
// a range covers only in part is read first so that its other bytes are
// written back unchanged.
#include <cstring>

#include "base/out.h"
#include "base/progress.h"
#include "images/app_flash_images.h"
#include "images/app_flash_pages.h"
#include "images/image_commands.h"
#include "link/board_reads.h"

namespace {

constexpr uint32_t kMaxReportedMismatches = 20;

/// The chunk of a byte range that falls into one page.
struct Chunk {
    uint32_t pageAddress;
    uint32_t offset;
    uint32_t length;
};

Chunk chunkAt(uint32_t address, uint32_t remaining) {
    Chunk c{};
    c.pageAddress = address - address % kAppFlashPageSize;
    c.offset = address - c.pageAddress;
    c.length = kAppFlashPageSize - c.offset;
    if (c.length > remaining) c.length = remaining;
    return c;
}

void putPageNumber(uint8_t* p, uint32_t pageAddress) {
    const uint32_t pageNumber = pageAddress / kAppFlashPageSize;
    p[0] = static_cast<uint8_t>(pageNumber);
    p[1] = static_cast<uint8_t>(pageNumber >> 8);
}

}  // namespace

Result writeAppFlashPage(uint32_t pageAddress, const uint8_t* page, ConnectionContext* ctx, bool verbose) {
    out("Writing Application Flash page @ 0x%lX...\n", static_cast<unsigned long>(pageAddress));
    uint8_t args[3 + kAppFlashPageSize] = {kAppFlashArea};
    putPageNumber(args + 1, pageAddress);
    std::memcpy(args + 3, page, kAppFlashPageSize);
    ReplyInfo reply;
    Result r = ucRequest(ctx, verbose, kAppFlashWrite, {.args = args, .argLength = sizeof args, .reply = &reply});
    if (r != kOk) return r;
    // A reply cut short before its status byte would otherwise pass as a
    // successful write.
    if (reply.length < 3) {
        out("*** No status in reply to Flash Application Write command for page @ 0x%lX.\n",
            static_cast<unsigned long>(pageAddress));
        return kLinkFailure;
    }
    return kOk;
}

Result writeAppFlashTracked(const uint8_t* source, ConnectionContext* ctx, bool verbose, uint32_t start,
                            uint32_t count, uint32_t* pagesWritten) {
    *pagesWritten = 0;
    uint8_t page[kAppFlashPageSize];
    Progress progress("Writing", count);
    while (count > 0) {
        const Chunk c = chunkAt(start, count);
        if (c.length < kAppFlashPageSize) {
            Result r = readAppFlashPageExact(c.pageAddress, page, ctx, verbose);
            if (r != kOk) return r;
        }
        std::memcpy(page + c.offset, source, c.length);
        ++*pagesWritten;
        Result r = writeAppFlashPage(c.pageAddress, page, ctx, verbose);
        if (r != kOk) return r;
        source += c.length;
        start += c.length;
        count -= c.length;
        progress.advance(c.length);
    }
    return kOk;
}

Result writeAppFlash(const uint8_t* source, ConnectionContext* ctx, bool verbose, uint32_t start, uint32_t count) {
    uint32_t pagesWritten = 0;
    return writeAppFlashTracked(source, ctx, verbose, start, count, &pagesWritten);
}

Result verifyAppFlash(const uint8_t* expected, ConnectionContext* ctx, bool verbose, uint32_t start, uint32_t count) {
    uint32_t mismatches = 0;
    uint8_t page[kAppFlashPageSize];
    Progress progress("Verifying", count);
    while (count > 0) {
        const Chunk c = chunkAt(start, count);
        Result r = readAppFlashPageExact(c.pageAddress, page, ctx, verbose);
        if (r != kOk) return r;
        for (uint32_t i = 0; i < c.length; ++i) {
            const uint8_t actual = page[c.offset + i];
            if (actual == expected[i]) continue;
            ++mismatches;
            if (mismatches <= kMaxReportedMismatches) {
                out("*** Verification error at address 0x%lX; expected=0x%02X actual=0x%02X\n",
                    static_cast<unsigned long>(start + i), expected[i], actual);
            } else if (mismatches == kMaxReportedMismatches + 1) {
                out("*** More than %u verification errors detected.\n", kMaxReportedMismatches);
            }
        }
        expected += c.length;
        start += c.length;
        count -= c.length;
        progress.advance(c.length);
    }
    if (mismatches != 0) {
        out("*** Total of %u verification errors detected.\n", mismatches);
        return kVerifyMismatch;
    }
    out("Verified OK.\n");
    return kOk;
}
