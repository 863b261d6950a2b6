// Writing a file the program produces (a saved image, data read from a
// device) without ever leaving a damaged or partial file under the name the
// user gave.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>

enum class SaveOutcome { Written, OpenFailed, ShortWrite };

/// Writes `path` through `fill`, which writes the whole contents to the
/// stream it is given and tells whether every write succeeded. A regular
/// file (new or existing) is written to a fresh file beside it that then
/// replaces it, so a failed write leaves the previous file as it was and no
/// partial file behind; an existing file that may not be written is an open
/// failure, as for a plain save. Other destinations (devices, pipes) are
/// written directly. After OpenFailed, errno tells why the open failed.
/// `text` opens the stream in text mode (line ends as the platform writes them).
SaveOutcome writeSaveFileWith(const char* path, const std::function<bool(std::FILE*)>& fill, bool text = false);

/// Whether writeSaveFileWith could open its file now, asked before the
/// data is gathered (a long read from a device), changing nothing: an
/// existing file is opened for appending and closed; for a new one a fresh
/// file beside it is created and removed again. False with errno when the
/// open would fail. Devices and pipes are not opened (that may not be
/// harmless): true.
bool saveFileCanBeOpened(const char* path);

/// writeSaveFileWith for a block of bytes.
SaveOutcome writeSaveFile(const char* path, const uint8_t* data, size_t size);

/// Says that a save whose data could not all be read wrote nothing: a file
/// with only part of the data would pass for a copy, so the old file (if
/// any) stays as it was.
void reportNothingSaved(const char* path);
