// Conversion of a wide port name into the byte string the system opens.
#pragma once

#include <cstddef>

namespace zorvi {

/// Room for a device path: the system's own limit, terminator included.
inline constexpr size_t kPortNameCapacity = 4096;

enum class PortNameResult { Ok, Invalid, TooLong };

/// Writes `wide` as UTF-8 into `out` (capacity `outSize`, terminated).
/// Invalid: a value that is no Unicode scalar value (a surrogate, a
/// negative value or one above 0x10FFFF) cannot name any file.
PortNameResult wideToUtf8(const wchar_t* wide, char* out, size_t outSize);

}  // namespace zorvi
