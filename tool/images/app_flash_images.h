// The uC's application flash images: firmware, board configuration and VPD.
#pragma once

#include "link/connection.h"

enum class ImageKind { Firmware, BoardConfig, Vpd };

/// Writes one 512-byte page (pageAddress is a byte address, page aligned).
[[nodiscard]] Result writeAppFlashPage(uint32_t pageAddress, const uint8_t* page, ConnectionContext* ctx, bool verbose);
/// Writes any byte range, reading back partial pages first.
[[nodiscard]] Result writeAppFlash(const uint8_t* source, ConnectionContext* ctx, bool verbose, uint32_t start,
                                   uint32_t count);
/// Compares a byte range with the expected bytes; 8 when they differ.
[[nodiscard]] Result verifyAppFlash(const uint8_t* expected, ConnectionContext* ctx, bool verbose, uint32_t start,
                                    uint32_t count);

/// Verbs update-*, verify-*, save-* for one image; path is the file named on
/// the command line.
[[nodiscard]] Result updateImage(ImageKind kind, const char* path, ConnectionContext* ctx, bool verbose);
[[nodiscard]] Result verifyImage(ImageKind kind, const char* path, ConnectionContext* ctx, bool verbose);
[[nodiscard]] Result saveImage(ImageKind kind, const char* path, ConnectionContext* ctx, bool verbose);
