// Page-level access to the uC's application flash used by the image verbs.
// The public entry points are in app_flash_images.h; these are the forms the
// verbs need in addition.
#pragma once

#include "link/connection.h"

/// writeAppFlash that also tells whether any write request was sent, i.e.
/// whether the flash may have changed even if the write failed.
[[nodiscard]] Result writeAppFlashTracked(const uint8_t* source, ConnectionContext* ctx, bool verbose, uint32_t start,
                                          uint32_t count, bool* wroteAny);
