// The refusal of a verb that needs the uC's normal firmware, written once.
// A verb calls it where its own checks of arguments and files end (their
// order is part of what the verb prints); the verb table marks the verbs
// that refuse, and a test holds the two together.
#pragma once

#include "link/connection.h"

/// In service mode: prints "*** The <verb> command requires the device to
/// not be in Service Mode." and how to leave it, and returns true (the verb
/// then ends with kRefusedInServiceMode).
bool refuseInServiceMode(const ConnectionContext* ctx, const char* verb);
