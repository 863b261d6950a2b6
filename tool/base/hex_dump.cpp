#include "base/hex_dump.h"

#include "base/out.h"

void printHexDump(const uint8_t* bytes, unsigned length) {
    out("     ");
    for (unsigned column = 0; column < 16; ++column) out(" +%X", column);
    out("\n");
    for (unsigned row = 0; row + 16 <= length; row += 16) {
        out("0x%02X:", row);
        for (unsigned i = 0; i < 16; ++i) out(" %02X", bytes[row + i]);
        out(" ");
        for (unsigned i = 0; i < 16; ++i) {
            const uint8_t c = bytes[row + i];
            out("%c", (c >= 0x20 && c <= 0x7E) ? static_cast<char>(c) : '.');
        }
        out("\n");
    }
}
