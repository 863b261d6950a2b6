#include "link/service_refusal.h"

#include "base/out.h"

bool refuseInServiceMode(const ConnectionContext* ctx, const char* verb) {
    if (!ctx->inServiceMode) return false;
    out("*** The %s command requires the device to not be in Service Mode.\n", verb);
    out("    Please exit Service Mode manually using switch setting or by issuing the exit-service-mode command.\n");
    return true;
}
