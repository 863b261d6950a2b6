// Whole binary files for the SPI verbs.
#pragma once

#include <cstdint>
#include <memory>

#include "base/result_codes.h"

/// Reads a whole file; 44 with its message on failure. An empty file gives
/// length 0 and no buffer.
[[nodiscard]] Result readBinaryFile(const char* path, std::unique_ptr<uint8_t[]>* bytes, uint64_t* length);
/// Creates the file and writes the bytes; 45 with its message on failure.
[[nodiscard]] Result writeBinaryFile(const char* path, uint64_t length, const uint8_t* bytes);
