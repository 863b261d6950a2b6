// Switching the uC between its normal and its service-mode firmware.
#pragma once

#include "link/connection.h"

/// Sends Enter (enter=true) or Exit Service Mode, waits, and checks the new
/// mode. With checkOnly, only the permission is checked.
[[nodiscard]] Result switchServiceMode(ConnectionContext* ctx, bool enter, bool verbose, bool checkOnly);
/// Makes the uC run in the wanted mode (true = service mode) if the link
/// allows automatic switching.
[[nodiscard]] Result ensureServiceMode(ConnectionContext* ctx, bool wantServiceMode, bool verbose, bool checkOnly);

/// Verbs enter-service-mode and exit-service-mode.
[[nodiscard]] Result enterServiceMode(ConnectionContext* ctx, bool verbose);
[[nodiscard]] Result exitServiceMode(ConnectionContext* ctx, bool verbose);
