// Identity and link diagnostics: version, comm-test, raw, test-clobber,
// test-timeout and product-id.
#include "control/identity_verbs.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "base/bytes.h"
#include "base/json_out.h"
#include "base/out.h"
#include "boardinfo/board_json.h"
#include "link/board_reads.h"
#include "link/service_refusal.h"
#include "control/control_commands.h"
#include "platform/platform.h"

namespace {

constexpr uint32_t kCommTestMs = 2000;
constexpr uint32_t kLoopbackPayload = 32;
constexpr uint32_t kLoopbackLength = 2 + kLoopbackPayload;
constexpr uint32_t kShownLoopbackErrors = 10;

}  // namespace

Result readFirmwareVersion(ConnectionContext* ctx, bool verbose, std::string* name, std::string* version) {
    uint8_t words[8] = {};
    Result r = ucRequest(ctx, verbose, kGetVersion, {.payload = words, .payloadLength = sizeof words});
    if (r != kOk) return r;
    *name = ctx->inServiceMode ? "ZORVI Ignis2" : "ZORVI Keeper2";
    char text[24];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", getLe16(words), getLe16(words + 2), getLe16(words + 4),
                  getLe16(words + 6));
    *version = text;
    return kOk;
}

Result showVersion(ConnectionContext* ctx, bool verbose) {
    std::string name, version;
    Result r = readFirmwareVersion(ctx, verbose, &name, &version);
    if (r != kOk) return r;
    out("%s version is %s\n", name.c_str(), version.c_str());
    if (jsonMode()) jsonDocument(firmwareVersionJson(name, version, ctx->inServiceMode != 0));
    return kOk;
}

Result showProductId(ConnectionContext* ctx, bool verbose) {
    uint32_t id = 0;
    Result r = readProductId(ctx, &id, verbose, false);
    if (r == kOk && jsonMode()) jsonDocument(productIdJson(id));
    return r;
}

Result runCommTest(ConnectionContext* ctx, bool verbose) {
    const uint32_t start = platform::tickMs();
    const uint32_t deadline = start + kCommTestMs;
    out("Measuring data rate for %u ms using Loopback32 command...\n", kCommTestMs);

    uint32_t seed = 1;
    uint32_t errors = 0;
    uint32_t roundTrips = 0;
    uint64_t linkSent = 0, linkReceived = 0, payloadSent = 0, payloadReceived = 0;
    uint32_t lastTick = start;
    for (;;) {
        uint8_t sent[kLoopbackPayload];
        for (uint32_t j = 0; j < kLoopbackPayload; ++j) sent[j] = static_cast<uint8_t>(seed + j);
        uint8_t echoed[kLoopbackPayload] = {};
        Result r = ucRequest(ctx, verbose, kLoopback32,
                             {.args = sent, .argLength = kLoopbackPayload, .payload = echoed,
                              .payloadLength = kLoopbackPayload});
        if (r != kOk) return r;
        ++roundTrips;
        for (uint32_t j = 0; j < kLoopbackPayload; ++j) {
            const uint8_t expected = sent[j];
            if (echoed[j] == expected) continue;
            if (errors < kShownLoopbackErrors)
                out("*** Error in loopback32 response data byte %u: expected=0x%02X actual=0x%02X\n", j, expected,
                    echoed[j]);
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
    if (jsonMode()) {
        jsonDocument(commTestJson({.requestedMs = kCommTestMs,
                                   .elapsedMs = lastTick - start,
                                   .roundTrips = roundTrips,
                                   .errors = errors,
                                   .linkSent = linkSent,
                                   .linkReceived = linkReceived,
                                   .payloadSent = payloadSent,
                                   .payloadReceived = payloadReceived}));
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
    uint32_t actual = 0;
    Result r = ucRawRequest(ctx, verbose, request, requestLength, reply.get(), expectedLength, &actual);
    if (r != kOk) return r;
    out("Expected/actual response length = %u / %u\n", expectedLength, actual);
    // The dump is cut short by a stop request (Ctrl-C), as the exchanges are.
    for (uint32_t i = 0; i < expectedLength; ++i) {
        if (platform::stopRequested() != 0) {
            out("\n");
            reportStopRequest();
            return kLinkFailure;
        }
        out("%02X ", reply[i]);
    }
    out("\n");
    return kOk;
}

Result testClobber(ConnectionContext* ctx, bool verbose) {
    if (refuseInServiceMode(ctx, "test-clobber")) return kRefusedInServiceMode;
    return ucRequest(ctx, verbose, kClobberBlackBox);
}

Result testTimeout(ConnectionContext* ctx, bool verbose) {
    Result r = ucRequest(ctx, verbose, kUnansweredRequest);
    if (r == kLinkFailure) return kOk;
    if (r == kOk) {
        out("*** Microcontroller command succeeded unexpectedly.\n");
        return kLinkFailure;
    }
    out("*** Microcontroller command failed, but not in the expected way.\n");
    return kLinkFailure;
}
