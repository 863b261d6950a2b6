// Number helpers for verb arguments: decimal, or hexadecimal after a
// lower-case "0x". Each returns the number of fields converted; callers
// accept the value only when the result is exactly 1.
#pragma once

#include <cstdint>

int parseUnsigned(const char* text, uint32_t* value);
int parseSigned(const char* text, int32_t* value);
/// As parseUnsigned; used for frequencies in hertz.
int parseUnsignedLong(const char* text, uint32_t* value);
