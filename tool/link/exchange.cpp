// The single request/reply exchange and the identity reads built on it.
#include <cstring>
#include <cwchar>
#include <string>

#include "base/bytes.h"
#include "base/out.h"
#include "base/progress.h"
#include "link/back_end.h"
#include "link/board_reads.h"
#include "link/link_commands.h"
#include "link/vpd_header.h"
#include "platform/platform.h"

const char* narrowText(const wchar_t* text) {
    // Status texts are short ASCII constants; keep the last one converted.
    static thread_local std::string buffer;
    buffer.clear();
    if (text == nullptr) return "";
    for (; *text != L'\0'; ++text) buffer.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
    return buffer.c_str();
}

namespace {
int gWindDown = 0;
bool gStopReported = false;
}  // namespace

WindDown::WindDown() { ++gWindDown; }
WindDown::~WindDown() { --gWindDown; }

namespace {
// Link statuses that tell the line itself is gone, in the numbering the
// serial library and both PCIe driver libraries share: 513, the line failed
// (a hang-up, a broken connection, an unplugged device), and 521, a handle
// the library no longer knows (a closed port). A time-out is no such sign:
// the uC may only be slow, and the next exchange may well get through.
constexpr uint32_t kLineFailedStatus = 513;
constexpr uint32_t kClosedHandleStatus = 521;
}  // namespace

bool skipHandBack(ConnectionContext* ctx) {
    if (ctx->lineGone == 0 || gWindDown == 0) return false;
    if (ctx->lineGone == 1)
        hint("zorviutil: warning: the line to the uC is gone; the remaining steps that hand the board back are "
             "skipped\n");
    ctx->lineGone = 2;
    return true;
}

void reportStopRequest() {
    const int stop = platform::stopRequested();
    if (stop == 0 || gStopReported) return;
    out("*** Stopped by %s; no further commands are sent to the uC.\n", platform::stopRequestName(stop));
    gStopReported = true;
}

namespace {
const char* gLastExchangeFailure = nullptr;
}  // namespace

const char* lastExchangeFailure() { return gLastExchangeFailure; }
void noteExchangeFailure(const char* what) { gLastExchangeFailure = what; }

Result sendUcCommand(uint32_t requestLength, ConnectionContext* ctx, bool verbose, uint32_t timeoutUs,
                     const uint8_t* request, const uint8_t expectedCode[2], uint8_t* reply, uint32_t expectedLength,
                     uint32_t* actualLength, bool failureEndsAtStatus) {
    // A stop request lets the exchange under way finish; the next one is
    // refused, so the verb takes its normal failure path.
    if (platform::stopRequested() != 0 && gWindDown == 0) {
        reportStopRequest();
        return kLinkFailure;
    }
    if (skipHandBack(ctx)) return kLinkFailure;
    if (timeoutUs == 0) timeoutUs = ctx->timeoutMicroseconds;
    if (verbose) {
        out("DEBUG: ZORVI command[%lu] = { ", static_cast<unsigned long>(requestLength));
        for (uint32_t i = 0; i < requestLength; ++i) out("%02X ", request[i]);
        out("}\n");
    }

    if (const LinkBackEnd* b = ctx->backEnd; b != nullptr) {
        const uint32_t status =
            b->command(ctx->handle, 0, timeoutUs, requestLength, request, expectedLength, reply, actualLength);
        if (status != 0) {
            const bool gone = status == kLineFailedStatus || status == kClosedHandleStatus;
            if (gone && ctx->lineGone == 0) ctx->lineGone = 1;
            noteExchangeFailure(gone ? "line_failed" : "no_reply");
            out("%s: %s\n", b->exchangeFailure, narrowText(b->statusText(status, 1)));
            return kLinkFailure;
        }
    }

    const uint32_t actual = *actualLength;
    if (verbose) {
        uint32_t shown = actual < expectedLength ? actual : expectedLength;
        out("DEBUG: ZORVI response[%lu] = { ", static_cast<unsigned long>(shown));
        for (uint32_t i = 0; i < shown; ++i) out("%02X ", reply[i]);
        out("}\n");
        if (actual > expectedLength) {
            out("DEBUG: %lu extra unexpected characters of actual ZORVI response were discarded.\n",
                static_cast<unsigned long>(actual - expectedLength));
        }
    }
    const bool wholeFailure = failureEndsAtStatus && actual == 3 && reply[2] != 0;
    if (actual != expectedLength && !wholeFailure) {
        out("+++ Unexpected ZORVI response length %lu bytes; expected %lu bytes.\n", static_cast<unsigned long>(actual),
            static_cast<unsigned long>(expectedLength));
    }
    if (actual < 2) {
        out("+++ ZORVI response too short to be valid.\n");
        noteExchangeFailure("short_reply");
        return kReplyTooShort;
    }
    // The code bytes can only be checked when the buffer holds them: with a
    // reply window under 2 bytes (raw with an expected length of 0 or 1) the
    // link stored fewer bytes than arrived, and reply[1] is not ours to read.
    if (expectedLength >= 2 && (reply[0] != expectedCode[0] || reply[1] != expectedCode[1])) {
        out("+++ Unexpected ZORVI response code { 0x%02X, 0x%02X }; expected { 0x%02X, 0x%02X }.\n", reply[0], reply[1],
            expectedCode[0], expectedCode[1]);
    }
    return kOk;
}

Result readProductId(ConnectionContext* ctx, uint32_t* productId, bool verbose, bool silent) {
    uint8_t id[4] = {};
    if (Result r = ucRequest(ctx, verbose, kProductIdRequest, {.payload = id, .payloadLength = sizeof id}); r != kOk)
        return r;
    const uint32_t value = getLe32(id);
    if (!silent) out("ZORVI firmware Product ID is %lu(0x%lX)\n", static_cast<unsigned long>(value), static_cast<unsigned long>(value));
    if (productId != nullptr) *productId = value;
    return kOk;
}

Result requestVpd(ConnectionContext* ctx, uint8_t* vpd, bool verbose) {
    return ucRequest(ctx, verbose, kVpdRequest, {.payload = vpd, .payloadLength = kVpdSize});
}

Result readBoardSerial(ConnectionContext* ctx, bool verbose, uint32_t* serial) {
    if (!ctx->boardSerialKnown) {
        uint8_t vpd[kVpdSize] = {};
        if (Result r = requestVpd(ctx, vpd, verbose); r != kOk) return r;
        // The serial number as stored, whatever the record's checksum says:
        // the same board reads the same bytes on every run.
        ctx->boardSerial = decodeVpdHeader(vpd).serialNumber;
        ctx->boardSerialKnown = true;
    }
    *serial = ctx->boardSerial;
    return kOk;
}

namespace {

Result readPage(uint32_t pageAddress, uint8_t* page, ConnectionContext* ctx, bool verbose, bool requireComplete) {
    out("Reading Application Flash page @ 0x%lX...\n", static_cast<unsigned long>(pageAddress));
    const uint32_t pageNumber = pageAddress / kAppFlashPageSize;
    // The area byte of the application flash (0x09) and the page number.
    const uint8_t args[3] = {0x09, static_cast<uint8_t>(pageNumber), static_cast<uint8_t>(pageNumber >> 8)};
    // Read into a cleared page of our own so that a refused reply leaves the
    // caller's buffer untouched.
    uint8_t received[kAppFlashPageSize] = {};
    ReplyInfo info;
    Result r = ucRequest(ctx, verbose, kAppFlashRead,
                         {.args = args, .argLength = sizeof args, .payload = received,
                          .payloadLength = kAppFlashPageSize, .reply = &info});
    if (r != kOk) return r;
    // The exchange only warns about a short reply; its missing bytes would
    // read as zeros and end up in flash or in a saved file.
    if (requireComplete && (info.length != 3 + kAppFlashPageSize || !info.codeMatched)) {
        out("*** Incomplete reply to Flash Application Read command for page @ 0x%lX.\n",
            static_cast<unsigned long>(pageAddress));
        return kLinkFailure;
    }
    std::memcpy(page, received, kAppFlashPageSize);
    return kOk;
}

Result readRange(uint8_t* destination, ConnectionContext* ctx, bool verbose, uint32_t start, uint32_t count,
                 bool requireComplete) {
    uint8_t page[kAppFlashPageSize];
    Progress progress("Reading", count);
    while (count > 0) {
        const uint32_t pageAddress = start - start % kAppFlashPageSize;
        const uint32_t offset = start - pageAddress;
        uint32_t chunk = kAppFlashPageSize - offset;
        if (chunk > count) chunk = count;
        Result r = readPage(pageAddress, page, ctx, verbose, requireComplete);
        if (r != kOk) return r;
        std::memcpy(destination, page + offset, chunk);
        destination += chunk;
        start += chunk;
        count -= chunk;
        progress.advance(chunk);
    }
    return kOk;
}

}  // namespace

Result readAppFlashPage(uint32_t pageAddress, uint8_t* page, ConnectionContext* ctx, bool verbose) {
    return readPage(pageAddress, page, ctx, verbose, false);
}

Result readAppFlashPageExact(uint32_t pageAddress, uint8_t* page, ConnectionContext* ctx, bool verbose) {
    return readPage(pageAddress, page, ctx, verbose, true);
}

Result readAppFlash(uint8_t* destination, ConnectionContext* ctx, bool verbose, uint32_t start, uint32_t count) {
    return readRange(destination, ctx, verbose, start, count, false);
}

Result readAppFlashExact(uint8_t* destination, ConnectionContext* ctx, bool verbose, uint32_t start, uint32_t count) {
    return readRange(destination, ctx, verbose, start, count, true);
}
