// The single request/reply exchange and the identity reads built on it.
#include <cstring>
#include <cwchar>
#include <string>

#include "base/bytes.h"
#include "base/out.h"
#include "link/connection.h"

const char* narrowText(const wchar_t* text) {
    // Status texts are short ASCII constants; keep the last one converted.
    static thread_local std::string buffer;
    buffer.clear();
    if (text == nullptr) return "";
    for (; *text != L'\0'; ++text) buffer.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
    return buffer.c_str();
}

Result sendUcCommand(uint32_t requestLength, ConnectionContext* ctx, bool verbose, uint32_t timeoutUs,
                     const uint8_t* request, const uint8_t expectedCode[2], uint8_t* reply, uint32_t expectedLength,
                     uint32_t* actualLength) {
    if (timeoutUs == 0) timeoutUs = ctx->timeoutMicroseconds;
    if (verbose) {
        out("DEBUG: ZORVI command[%lu] = { ", static_cast<unsigned long>(requestLength));
        for (uint32_t i = 0; i < requestLength; ++i) out("%02X ", request[i]);
        out("}\n");
    }

    if (ctx->kind == LINK_TOBRA || ctx->kind == LINK_SERIAL || ctx->kind == LINK_QUENTA) {
        auto command = reinterpret_cast<CommandEntry>(ctx->api[1]);
        const uint32_t status =
            command(ctx->handle, 0, timeoutUs, requestLength, request, expectedLength, reply, actualLength);
        if (status != 0) {
            // The status-text entry is slot 3 for the PCIe bridge library, slot 2 otherwise.
            auto text = reinterpret_cast<StatusTextEntry>(ctx->api[ctx->kind == LINK_TOBRA ? 3 : 2]);
            const char* statusText = narrowText(text(status, 1));
            if (ctx->kind == LINK_TOBRA)
                out("*** Failed to send command to ZORVI uC: %s\n", statusText);
            else if (ctx->kind == LINK_SERIAL)
                out("*** Failed to send command to ZORVI uC via USB: %s\n", statusText);
            else
                out("*** Failed to send command to uC: %s\n", statusText);
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
    if (actual != expectedLength) {
        out("+++ Unexpected ZORVI response length %lu bytes; expected %lu bytes.\n", static_cast<unsigned long>(actual),
            static_cast<unsigned long>(expectedLength));
    }
    if (actual < 2) {
        out("+++ ZORVI response too short to be valid.\n");
        return kReplyTooShort;
    }
    if (reply[0] != expectedCode[0] || reply[1] != expectedCode[1]) {
        out("+++ Unexpected ZORVI response code { 0x%02X, 0x%02X }; expected { 0x%02X, 0x%02X }.\n", reply[0], reply[1],
            expectedCode[0], expectedCode[1]);
    }
    return kOk;
}

Result readProductId(ConnectionContext* ctx, uint32_t* productId, bool verbose, bool silent) {
    const uint8_t request[2] = {0x03, 0x86};
    const uint8_t code[2] = {0x03, 0x06};
    uint8_t reply[6] = {};
    uint32_t actual = 0;
    Result r = sendUcCommand(sizeof request, ctx, verbose, 0, request, code, reply, sizeof reply, &actual);
    if (r != kOk) return r;
    uint32_t id = getLe32(reply + 2);
    if (!silent) out("ZORVI firmware Product ID is %lu(0x%lX)\n", static_cast<unsigned long>(id), static_cast<unsigned long>(id));
    if (productId != nullptr) *productId = id;
    return kOk;
}

Result requestVpd(ConnectionContext* ctx, uint8_t* vpd, bool verbose) {
    const uint8_t request[2] = {0x05, 0x8C};
    const uint8_t code[2] = {0x05, 0x0C};
    uint8_t reply[3 + kVpdSize] = {};
    uint32_t actual = 0;
    Result r = sendUcCommand(sizeof request, ctx, verbose, 0, request, code, reply, sizeof reply, &actual);
    if (r != kOk) return r;
    if (reply[2] != 0) {
        out("*** ZORVI returned status 0x%02X for Request VPD command\n", reply[2]);
        return kLinkFailure;
    }
    std::memcpy(vpd, reply + 3, kVpdSize);
    return kOk;
}

Result readAppFlashPage(uint32_t pageAddress, uint8_t* page, ConnectionContext* ctx, bool verbose) {
    out("Reading Application Flash page @ 0x%lX...\n", static_cast<unsigned long>(pageAddress));
    const uint32_t pageNumber = pageAddress / kAppFlashPageSize;
    const uint8_t request[5] = {0x06, 0x80, 0x09, static_cast<uint8_t>(pageNumber), static_cast<uint8_t>(pageNumber >> 8)};
    const uint8_t code[2] = {0x06, 0x00};
    uint8_t reply[3 + kAppFlashPageSize] = {};
    uint32_t actual = 0;
    Result r = sendUcCommand(sizeof request, ctx, verbose, 0, request, code, reply, sizeof reply, &actual);
    if (r != kOk) return r;
    if (reply[2] != 0) {
        out("*** ZORVI returned status 0x%02X for Flash Application Read command\n", reply[2]);
        return kLinkFailure;
    }
    std::memcpy(page, reply + 3, kAppFlashPageSize);
    return kOk;
}

Result readAppFlash(uint8_t* destination, ConnectionContext* ctx, bool verbose, uint32_t start, uint32_t count) {
    uint8_t page[kAppFlashPageSize];
    while (count > 0) {
        const uint32_t pageAddress = start - start % kAppFlashPageSize;
        const uint32_t offset = start - pageAddress;
        uint32_t chunk = kAppFlashPageSize - offset;
        if (chunk > count) chunk = count;
        Result r = readAppFlashPage(pageAddress, page, ctx, verbose);
        if (r != kOk) return r;
        std::memcpy(destination, page + offset, chunk);
        destination += chunk;
        start += chunk;
        count -= chunk;
    }
    return kOk;
}
