// The raw dump shared by display-vpd-raw and display-sensors-raw.
#pragma once

#include <cstdint>

/// Prints a column header and rows of 16 bytes: "0x%02X:" with the row
/// offset, " %02X" per byte, a blank, then the bytes as characters
/// (printable ASCII as itself, anything else as "."). length is a
/// multiple of 16.
void printHexDump(const uint8_t* bytes, unsigned length);
