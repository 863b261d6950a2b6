// Page-level access to the uC's application flash used by the image verbs.
// The public entry points are in app_flash_images.h; these are the forms the
// verbs need in addition.
#pragma once

#include "link/connection.h"

/// writeAppFlash that also counts the page write requests it sent, the one
/// that failed included: the pages the flash may hold anew even if the
/// write failed.
[[nodiscard]] Result writeAppFlashTracked(const uint8_t* source, ConnectionContext* ctx, bool verbose, uint32_t start,
                                          uint32_t count, uint32_t* pagesWritten);
