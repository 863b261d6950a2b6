// Number helpers for verb arguments. The whole word must be the number:
// decimal, or hexadecimal after "0x" or "0X" (as the option parser takes
// them); no sign on an unsigned argument, no white space, nothing after
// the digits, and a value that does not fit the argument is refused, never
// wrapped. A word such as "0x10O00" or "4294967296" is not read as some
// other address. Each returns 1 when the value was stored, 0 otherwise.
#pragma once

#include <cstdint>

/// How a word reads as a number of a given width.
enum class NumberWord {
    Ok,
    NotANumber,  ///< empty, a stray character, a sign where none is taken
    TooLarge,    ///< well formed, but beyond the argument's width
};

/// Reads an unsigned word whose value may be at most `maximum`.
NumberWord readUnsignedWord(const char* text, uint64_t maximum, uint64_t* value);

int parseUnsigned(const char* text, uint32_t* value);
/// An optional leading "-" or "+", then a magnitude as for parseUnsigned;
/// the value must fit a signed 32-bit number.
int parseSigned(const char* text, int32_t* value);
/// As parseUnsigned; used for frequencies in hertz.
int parseUnsignedLong(const char* text, uint32_t* value);
/// A byte value of a byte list: as parseUnsigned, at most 0xFF.
int parseByte(const char* text, uint8_t* value);
