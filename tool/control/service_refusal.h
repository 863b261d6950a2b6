// The end of every board-control verb's refusal while the uC runs its
// service firmware. The verb prints the first line, which names it.
#pragma once

#include "base/out.h"
#include "base/result_codes.h"

/// Prints the "Please exit Service Mode" line; returns 13.
[[nodiscard]] inline Result refusedInServiceMode() {
    out("    Please exit Service Mode manually using switch setting or by issuing the exit-service-mode command.\n");
    return kRefusedInServiceMode;
}
