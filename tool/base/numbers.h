// Number helpers for verb arguments, option values and environment values.
// The whole word must be the number: decimal, or hexadecimal after "0x" or
// "0X"; no sign on an unsigned number, no white space, nothing after the
// digits, and a value that does not fit is refused, never wrapped. A word
// such as "0x10O00" or "4294967296" is not read as some other address.
// Each parse* helper returns 1 when the value was stored, 0 otherwise.
#pragma once

#include <cstdint>

/// How a word reads as a number of a given width.
enum class NumberWord {
    Ok,
    NotANumber,  ///< empty, a stray character, a sign where none is taken
    TooLarge,    ///< well formed, but beyond the number's range
};

/// The spellings a number may take.
enum class NumberForm {
    DecimalOrHex,  ///< decimal, or hexadecimal after "0x"/"0X"
    Decimal,       ///< decimal digits only
    Hex,           ///< hexadecimal digits, "0x"/"0X" before them allowed
};

/// Reads an unsigned word whose value may be at most `maximum`.
NumberWord readUnsignedWord(const char* text, uint64_t maximum, uint64_t* value,
                            NumberForm form = NumberForm::DecimalOrHex);
/// An optional leading "-" or "+", then a magnitude as readUnsignedWord
/// reads it; the value must lie from `minimum` (at most 0) to `maximum`.
NumberWord readSignedWord(const char* text, int64_t minimum, int64_t maximum, int64_t* value,
                          NumberForm form = NumberForm::DecimalOrHex);
/// A decimal real number: an optional sign, digits with at most one point
/// among them, an optional exponent ("e" or "E", optional sign, digits).
/// "inf", "nan" and hexadecimal forms are no numbers here; a magnitude
/// above `maximum` is TooLarge.
NumberWord readRealWord(const char* text, double maximum, double* value);

int parseUnsigned(const char* text, uint32_t* value);
/// An optional leading "-" or "+", then a magnitude as for parseUnsigned;
/// the value must fit a signed 32-bit number.
int parseSigned(const char* text, int32_t* value);
/// As parseUnsigned; used for frequencies in hertz.
int parseUnsignedLong(const char* text, uint32_t* value);
/// A byte value of a byte list: as parseUnsigned, at most 0xFF.
int parseByte(const char* text, uint8_t* value);
