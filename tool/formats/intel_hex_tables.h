// Constant tables shared by the Intel Hex reader and writer.
#pragma once

#include <array>
#include <cstdint>

/// Hexadecimal digit values by character (either case); 0xFF for others,
/// so OR-ing the values of several digits shows any bad one in bits 7-4.
inline constexpr std::array<uint8_t, 256> kHexNibble = [] {
    std::array<uint8_t, 256> t{};
    for (auto& v : t) v = 0xFF;
    for (int i = 0; i < 10; ++i) t['0' + i] = static_cast<uint8_t>(i);
    for (int i = 0; i < 6; ++i) {
        t['A' + i] = static_cast<uint8_t>(10 + i);
        t['a' + i] = static_cast<uint8_t>(10 + i);
    }
    return t;
}();

/// The two upper-case digits of every byte value, as the writer puts them.
inline constexpr std::array<std::array<char, 2>, 256> kHexDigitPairs = [] {
    constexpr char digits[] = "0123456789ABCDEF";
    std::array<std::array<char, 2>, 256> t{};
    for (int i = 0; i < 256; ++i) t[i] = {digits[i >> 4], digits[i & 15]};
    return t;
}();

/// Record error texts, by code from 1.
inline constexpr std::array<const char*, 10> kHexErrorTexts = {
    "Bad checksum for record",
    "Record type not supported",
    "No end-of-file record was found",
    "At least one more record after end-of-file record",
    "Malformed record",
    "Record ended prematurely",
    "Extra characters after record",
    "Unexpected nonprinting characters encountered in record",
    "EOF record with nonzero length field",
    "Length field was not the expected value for given record type",
};
