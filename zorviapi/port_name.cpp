#include "port_name.h"

#include <cstdint>

namespace zorvi {

PortNameResult wideToUtf8(const wchar_t* wide, char* out, size_t outSize) {
    if (outSize == 0) return PortNameResult::TooLong;
    size_t used = 0;
    for (; *wide != L'\0'; ++wide) {
        // wchar_t is a signed 32-bit type here; negative values are caught
        // as values above the Unicode range.
        uint32_t c = static_cast<uint32_t>(*wide);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return PortNameResult::Invalid;
        unsigned char bytes[4];
        size_t n;
        if (c < 0x80) {
            bytes[0] = static_cast<unsigned char>(c);
            n = 1;
        } else if (c < 0x800) {
            bytes[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
            bytes[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            n = 2;
        } else if (c < 0x10000) {
            bytes[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
            bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            n = 3;
        } else {
            bytes[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
            bytes[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
            bytes[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            bytes[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            n = 4;
        }
        if (outSize - used <= n) return PortNameResult::TooLong;  // keep room for the terminator
        for (size_t i = 0; i < n; ++i) out[used++] = static_cast<char>(bytes[i]);
    }
    out[used] = '\0';
    return PortNameResult::Ok;
}

}  // namespace zorvi
