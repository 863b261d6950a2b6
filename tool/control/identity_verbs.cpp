#include "control/identity_verbs.h"

Result showVersion(ConnectionContext*, bool) { return kOk; }
Result runCommTest(ConnectionContext*, bool) { return kOk; }
Result sendRaw(const uint8_t*, uint32_t, ConnectionContext*, bool, uint32_t) { return kOk; }
Result testClobber(ConnectionContext*, bool) { return kOk; }
Result testTimeout(ConnectionContext*, bool) { return kOk; }
