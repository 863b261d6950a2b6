// Identity and link diagnostics: version, comm-test, raw, test-clobber,
// test-timeout (product-id is readProductId itself).
#include "control/identity_verbs.h"

#include <cstring>
#include <memory>
#include <new>

#include "base/bytes.h"
#include "base/out.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kCommTestMs = 2000;
constexpr uint32_t kLoopbackPayload = 32;
constexpr uint32_t kLoopbackLength = 2 + kLoopbackPayload;
constexpr uint32_t kShownLoopbackErrors = 10;

}  // namespace

Result showVersion(ConnectionContext* ctx, bool verbose) {
    const uint8_t request[2] = {0x03, 0x83};
    const uint8_t code[2] = {0x03, 0x03};
    uint8_t reply[10] = {};
    uint32_t actual = 0;
    Result r = sendUcCommand(sizeof request, ctx, verbose, 0, request, code, reply, sizeof reply, &actual);
    if (r != kOk) return r;
    out("ZORVI %s version is %u.%u.%u.%u\n", ctx->inServiceMode ? "Ignis2" : "Keeper2", getLe16(reply + 2),
        getLe16(reply + 4), getLe16(reply + 6), getLe16(reply + 8));
    return kOk;
}

Result runCommTest(ConnectionContext* ctx, bool verbose) {
    const uint32_t start = platform::tickMs();
    const uint32_t deadline = start + kCommTestMs;
    out("Measuring data rate for %u ms using Loopback32 command...\n", kCommTestMs);

    uint32_t seed = 1;
    uint32_t errors = 0;
    uint64_t linkSent = 0, linkReceived = 0, payloadSent = 0, payloadReceived = 0;
    uint32_t lastTick = start;
    const uint8_t code[2] = {0x03, 0x04};
    for (;;) {
        uint8_t request[kLoopbackLength] = {0x03, 0x84};
        for (uint32_t j = 0; j < kLoopbackPayload; ++j) request[2 + j] = static_cast<uint8_t>(seed + j);
        uint8_t reply[kLoopbackLength] = {};
        uint32_t actual = 0;
        Result r = sendUcCommand(kLoopbackLength, ctx, verbose, 0, request, code, reply, kLoopbackLength, &actual);
        if (r != kOk) return r;
        for (uint32_t j = 0; j < kLoopbackPayload; ++j) {
            const uint8_t expected = static_cast<uint8_t>(seed + j);
            if (reply[2 + j] == expected) continue;
            if (errors < kShownLoopbackErrors)
                out("*** Error in loopback32 response data byte %u: expected=0x%02X actual=0x%02X\n", j, expected,
                    reply[2 + j]);
            else if (errors == kShownLoopbackErrors)
                out("*** More errors in loopback32 response data.\n");
            ++errors;
        }
        linkSent += kLoopbackLength;
        linkReceived += kLoopbackLength;
        payloadSent += kLoopbackPayload;
        payloadReceived += kLoopbackPayload;
        if (errors != 0) break;
        seed = seed == 255 ? 1 : seed + 1;
        lastTick = platform::tickMs();
        if (static_cast<int32_t>(lastTick - deadline) >= 0) break;
    }

    const double seconds = static_cast<double>(lastTick - start) / 1000.0;
    if (seconds >= 0.01) {
        out("Link sent / received rate = %.1f / %.1f B/s\n", static_cast<double>(linkSent) / seconds,
            static_cast<double>(linkReceived) / seconds);
        out("Payload sent / received rate = %.1f / %.1f B/s\n", static_cast<double>(payloadSent) / seconds,
            static_cast<double>(payloadReceived) / seconds);
        if (errors != 0)
            out("*** NOTE: The computed data rates are not reliable because at least one error was detected in a "
                "loopback32 response payload.\n");
    } else {
        out("*** Data rates not computed because the test did not run for long enough.\n");
    }
    return kOk;
}

Result sendRaw(const uint8_t* request, uint32_t expectedLength, ConnectionContext* ctx, bool verbose,
               uint32_t requestLength) {
    std::unique_ptr<uint8_t[]> reply(new (std::nothrow) uint8_t[expectedLength == 0 ? 1 : expectedLength]);
    if (!reply) {
        out("*** Failed to allocate response buffer.\n");
        return kNoMemory;
    }
    std::memset(reply.get(), 0, expectedLength == 0 ? 1 : expectedLength);
    const uint8_t code[2] = {request[0], static_cast<uint8_t>(request[1] - 0x80)};
    uint32_t actual = 0;
    Result r = sendUcCommand(requestLength, ctx, verbose, 0, request, code, reply.get(), expectedLength, &actual);
    if (r != kOk) return r;
    out("Expected/actual response length = %u / %u\n", expectedLength, actual);
    for (uint32_t i = 0; i < expectedLength; ++i) out("%02X ", reply[i]);
    out("\n");
    return kOk;
}

Result testClobber(ConnectionContext* ctx, bool verbose) {
    if (ctx->inServiceMode) {
        out("*** The test-clobber command requires the device to not be in Service Mode.\n");
        out("    Please exit Service Mode manually using switch setting or by issuing the exit-service-mode command.\n");
        return kRefusedInServiceMode;
    }
    const uint8_t request[2] = {0x05, 0x86};
    const uint8_t code[2] = {0x05, 0x06};
    uint8_t reply[3] = {};
    uint32_t actual = 0;
    Result r = sendUcCommand(sizeof request, ctx, verbose, 0, request, code, reply, sizeof reply, &actual);
    if (r != kOk) return r;
    if (reply[2] != 0) {
        out("*** ZORVI returned status 0x%02X => %s\n", reply[2], "** UNEXPECTED ERROR CODE **");
        return kUnexpectedStatus;
    }
    return kOk;
}

Result testTimeout(ConnectionContext* ctx, bool verbose) {
    const uint8_t request[2] = {0xFF, 0x81};
    const uint8_t code[2] = {0xFF, 0x01};
    uint8_t reply[2] = {};
    uint32_t actual = 0;
    Result r = sendUcCommand(sizeof request, ctx, verbose, 0, request, code, reply, sizeof reply, &actual);
    if (r == kLinkFailure) return kOk;
    if (r == kOk) {
        out("*** Microcontroller command succeeded unexpectedly.\n");
        return kLinkFailure;
    }
    out("*** Microcontroller command failed, but not in the expected way.\n");
    return kLinkFailure;
}
