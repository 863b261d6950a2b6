// Switching the uC between its normal firmware and its service-mode
// firmware. The uC answers the enter/exit request at once but only runs the
// other firmware a moment later, so the new mode is confirmed by reading the
// product ID again after a fixed delay.
#include "link/service_mode.h"

#include "base/out.h"
#include "platform/platform.h"

namespace {

const char* commandName(bool enter) { return enter ? "Enter Service Mode" : "Exit Service Mode"; }

}  // namespace

Result switchServiceMode(ConnectionContext* ctx, bool enter, bool verbose, bool checkOnly) {
    const uint32_t permitted = enter ? ctx->canEnterServiceMode : ctx->canExitServiceMode;
    if (permitted == 0) {
        out("*** %s via %s is not supported.\n", commandName(enter), ctx->linkName);
        hint("zorviutil: hint: ZORVIUTIL_FLAGS=%u allows it on this link; or use the board's service switch (see "
             "SERVICE MODE in zorviutil(1))\n",
             enter ? 1u : 2u);
        return kServiceModeNotPermitted;
    }
    if (checkOnly) return kOk;

    if (enter) {
        out("Entering service mode: ");
    } else {
        out("Exiting service mode: ");
    }
    flushOut();  // the line stays open across the switch delay

    const uint8_t request[2] = {0x03, static_cast<uint8_t>(enter ? 0x80 : 0x82)};
    const uint8_t code[2] = {0x03, static_cast<uint8_t>(enter ? 0x00 : 0x02)};
    uint8_t reply[3] = {};
    uint32_t actual = 0;
    Result r = sendUcCommand(sizeof request, ctx, verbose, ctx->timeoutMicroseconds, request, code, reply,
                             sizeof reply, &actual);
    if (r != kOk) return r;
    if (reply[2] != 0) {
        out("*** ZORVI returned status 0x%02X for %s command\n", reply[2], commandName(enter));
        return kLinkFailure;
    }

    platform::sleepMs(ctx->modeSwitchDelayMs);

    // A failed read leaves inServiceMode as it was, which the test below
    // reports as a switch that did not happen.
    (void)checkProductId(ctx, verbose);
    if (enter && ctx->inServiceMode == 0) {
        out("*** uC did not enter Service Mode as requested.\n");
        return kServiceModeNotPermitted;
    }
    if (!enter && ctx->inServiceMode != 0) {
        out("*** uC did not exit Service Mode as requested.\n");
        return kServiceModeNotPermitted;
    }
    out("OK\n");
    return kOk;
}

Result ensureServiceMode(ConnectionContext* ctx, bool wantServiceMode, bool verbose, bool checkOnly) {
    if ((ctx->inServiceMode != 0) == wantServiceMode) return kOk;
    if (ctx->autoServiceMode == 0) {
        out("*** Automatically %s Service Mode via %s is not supported.\n", wantServiceMode ? "entering" : "exiting",
            ctx->linkName);
        if (wantServiceMode)
            hint("zorviutil: hint: ZORVIUTIL_FLAGS=7 lets the image verbs switch by themselves; or enter service mode "
                 "once (the board's service switch, or enter-service-mode with ZORVIUTIL_FLAGS=3), run them, then "
                 "exit-service-mode (see SERVICE MODE in zorviutil(1))\n");
        return kServiceModeNotPermitted;
    }
    return switchServiceMode(ctx, wantServiceMode, verbose, checkOnly);
}

Result enterServiceMode(ConnectionContext* ctx, bool verbose) {
    if (ctx->inServiceMode != 0) {
        out("Nothing to do.\n");
        return kOk;
    }
    return switchServiceMode(ctx, true, verbose, false);
}

Result exitServiceMode(ConnectionContext* ctx, bool verbose) {
    if (ctx->inServiceMode == 0) {
        out("Nothing to do.\n");
        return kOk;
    }
    return switchServiceMode(ctx, false, verbose, false);
}
