// Writing a saved image to its file without ever leaving a damaged file under
// the name the user gave.
#pragma once

#include <cstddef>
#include <cstdint>

enum class SaveOutcome { Written, OpenFailed, ShortWrite };

/// Writes `size` bytes to `path`. A regular file (new or existing) is
/// written to a fresh file beside it that then replaces it, so a failed write
/// leaves the previous file as it was and no partial file behind; an
/// existing file that may not be written is an open failure, as for a plain
/// save. Other destinations (devices, pipes) are written directly.
SaveOutcome writeSaveFile(const char* path, const uint8_t* data, size_t size);
