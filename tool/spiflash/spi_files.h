// Whole binary files for the SPI verbs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/result_codes.h"

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

/// A binary input file opened and sized, not read yet: its length is
/// checked against what it is for before any of it is held in memory.
struct BinaryInput {
    std::unique_ptr<std::FILE, FileCloser> file;
    uint64_t length = 0;
};
/// Opens the file and learns its length; 44 with its message on failure.
[[nodiscard]] Result openBinaryFile(const char* path, BinaryInput& input);
/// Reads the whole opened file (nothing for length 0) and closes it; 44 with
/// its message on failure.
[[nodiscard]] Result readBinaryInput(const char* path, BinaryInput& input, std::unique_ptr<uint8_t[]>* bytes);
/// Says that the file cannot be opened for writing (errno tells why); 45.
[[nodiscard]] Result reportBinaryOpenFailed(const char* path);
/// Creates the file and writes the bytes; 45 with its message on failure.
[[nodiscard]] Result writeBinaryFile(const char* path, uint64_t length, const uint8_t* bytes);
