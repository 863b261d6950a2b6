// The common header of a VPD record, the part every model shares: what the
// link layer needs to know of a board (its drawing and serial numbers) and
// where the board-information decoder starts.
#pragma once

#include <cstdint>

#include "base/bytes.h"

struct VpdHeader {
    uint16_t version = 0;        ///< data structure version
    uint16_t length = 0;         ///< meaningful bytes, the checksum byte included
    uint32_t drawingNumber = 0;  ///< the board model
    uint32_t serialNumber = 0;
};

/// The header of a record (at least its first 12 bytes).
inline VpdHeader decodeVpdHeader(const uint8_t* vpd) {
    return {getLe16(vpd), getLe16(vpd + 2), getLe32(vpd + 4), getLe32(vpd + 8)};
}
