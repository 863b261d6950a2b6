// Placeholder until service mode is built.
#include "link/service_mode.h"

#include "base/out.h"

Result switchServiceMode(ConnectionContext*, bool, bool, bool) { return kServiceModeNotPermitted; }
Result ensureServiceMode(ConnectionContext*, bool, bool, bool) { return kServiceModeNotPermitted; }
Result enterServiceMode(ConnectionContext*, bool) {
    out("*** The 'enter-service-mode' command is not built yet.\n");
    return kUnrecognisedVerb;
}
Result exitServiceMode(ConnectionContext*, bool) {
    out("*** The 'exit-service-mode' command is not built yet.\n");
    return kUnrecognisedVerb;
}
