// Page-level access to the uC's application flash used by the image verbs.
// The public entry points are in app_flash_images.h; these are the forms the
// verbs need in addition.
#pragma once

#include "link/connection.h"

/// Reads one page like readAppFlashPage, but only accepts a complete reply
/// (515 bytes with the right reply code): the page bytes are written back to
/// flash or saved to a file, so bytes the uC never sent must not stand in
/// for flash contents. 102 for an incomplete reply.
[[nodiscard]] Result readAppFlashPageExact(uint32_t pageAddress, uint8_t* page, ConnectionContext* ctx, bool verbose);

/// readAppFlash on top of readAppFlashPageExact.
[[nodiscard]] Result readAppFlashExact(uint8_t* destination, ConnectionContext* ctx, bool verbose, uint32_t start,
                                       uint32_t count);

/// writeAppFlash that also tells whether any write request was sent, i.e.
/// whether the flash may have changed even if the write failed.
[[nodiscard]] Result writeAppFlashTracked(const uint8_t* source, ConnectionContext* ctx, bool verbose, uint32_t start,
                                          uint32_t count, bool* wroteAny);
