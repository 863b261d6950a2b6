// Switching the uC between its normal firmware and its service-mode
// firmware. The uC answers the enter/exit request at once but only runs the
// other firmware a moment later, so the new mode is confirmed by reading the
// product ID again after a fixed delay.
#include "link/service_mode.h"

#include "base/out.h"
#include "link/board_reads.h"
#include "link/link_commands.h"
#include "platform/platform.h"

namespace {

const char* commandName(bool enter) {
    return enter ? kEnterServiceModeRequest.name : kExitServiceModeRequest.name;
}

/// Sends Enter or Exit Service Mode, waits, and reads the new mode back
/// (inServiceMode follows what the uC says). *unconfirmed tells that it
/// failed without the uC having shown which firmware it runs: the request
/// went out, but its exchange, its status byte or the product-ID check after
/// it failed, so the uC may have switched all the same.
Result requestSwitch(ConnectionContext* ctx, bool enter, bool verbose, bool* unconfirmed) {
    // After a stop request nothing more goes out (but hand-back steps).
    *unconfirmed = platform::stopRequested() == 0;
    Result r = ucRequest(ctx, verbose, enter ? kEnterServiceModeRequest : kExitServiceModeRequest);
    if (r != kOk) return r;

    platform::sleepMs(ctx->modeSwitchDelayMs);

    // A failed read leaves inServiceMode as it was, which the test below
    // reports as a switch that did not happen.
    *unconfirmed = checkProductId(ctx, verbose) != kOk;
    return (ctx->inServiceMode != 0) == enter ? kOk : kServiceModeNotPermitted;
}

/// switchServiceMode with what requestSwitch tells about a failure.
Result switchMode(ConnectionContext* ctx, bool enter, bool verbose, bool checkOnly, bool* unconfirmed) {
    *unconfirmed = false;
    const uint32_t permitted = enter ? ctx->canEnterServiceMode : ctx->canExitServiceMode;
    if (permitted == 0) {
        out("*** %s via %s is not supported.\n", commandName(enter), ctx->linkName);
        hint("zorviutil: hint: ZORVIUTIL_FLAGS=%u allows it on this link; or use the board's service switch (see "
             "SERVICE MODE in zorviutil(1))\n",
             enter ? 1u : 2u);
        return kServiceModeNotPermitted;
    }
    if (checkOnly) return kOk;
    // Leaving service mode as a hand-back step on a line found gone.
    if (skipHandBack(ctx)) return kLinkFailure;

    if (enter) {
        out("Entering service mode: ");
    } else {
        out("Exiting service mode: ");
    }
    flushOut();  // the line stays open across the switch delay

    const Result r = requestSwitch(ctx, enter, verbose, unconfirmed);
    if (r == kServiceModeNotPermitted) out("*** uC did not %s Service Mode as requested.\n", enter ? "enter" : "exit");
    if (r != kOk) return r;
    out("OK\n");
    return kOk;
}

/// After an automatic entry into service mode failed unconfirmed: the uC
/// may run its service-mode firmware all the same, the board's application
/// firmware stopped, though the verb gives up. Looks once more after the
/// switch delay and, if so, switches back; one warning line tells it. This
/// is a hand-back step: it goes out after a stop request, and not on a line
/// found gone.
void handBackUnconfirmedEntry(ConnectionContext* ctx, bool verbose) {
    WindDown windDown;
    if (skipHandBack(ctx)) return;
    platform::sleepMs(ctx->modeSwitchDelayMs);
    if (checkProductId(ctx, verbose) != kOk || ctx->inServiceMode == 0) return;
    bool unconfirmed = false;
    if (ctx->canExitServiceMode != 0 && requestSwitch(ctx, false, verbose, &unconfirmed) == kOk) {
        hint("zorviutil: warning: the uC entered service mode all the same; it was switched back to its normal "
             "firmware\n");
        return;
    }
    hint("zorviutil: warning: the uC entered service mode all the same and was not switched back; exit-service-mode "
         "does it (see SERVICE MODE in zorviutil(1))\n");
}

}  // namespace

Result switchServiceMode(ConnectionContext* ctx, bool enter, bool verbose, bool checkOnly) {
    bool unconfirmed = false;
    return switchMode(ctx, enter, verbose, checkOnly, &unconfirmed);
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
    bool unconfirmed = false;
    const Result r = switchMode(ctx, wantServiceMode, verbose, checkOnly, &unconfirmed);
    // A verb that switches by itself must not leave the board in service
    // mode when it gives up; the enter-service-mode verb asked for it.
    if (r != kOk && unconfirmed && wantServiceMode) handBackUnconfirmedEntry(ctx, verbose);
    return r;
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
