// The program's entry: parse, validate, open the link, run one verb.
#pragma once

#include "base/result_codes.h"
#include "link/connection.h"

/// Runs zorviutil with a process argument vector; returns the exit code.
[[nodiscard]] Result runZorviutil(int argc, const char* const* argv);

/// Applies ZORVIUTIL_FLAGS (its text, or null when unset) to a context's
/// service-mode permissions.
void applyZorviutilFlags(ConnectionContext* ctx, const char* flags);
