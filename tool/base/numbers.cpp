#include "base/numbers.h"

#include <cstdio>
#include <cstring>

int parseUnsigned(const char* text, uint32_t* value) {
    // Only a lower-case "0x" selects hexadecimal: "0X10" reads as decimal 0.
    unsigned int v = 0;
    int n;
    if (std::strlen(text) >= 2 && text[0] == '0' && text[1] == 'x')
        n = std::sscanf(text + 2, "%x", &v);
    else
        n = std::sscanf(text, "%u", &v);
    if (n == 1) *value = v;
    return n == EOF ? 0 : n;
}

int parseSigned(const char* text, int32_t* value) {
    bool negative = false;
    if (*text == '-' || *text == '+') {
        negative = *text == '-';
        ++text;
    }
    uint32_t magnitude = 0;
    int n = parseUnsigned(text, &magnitude);
    if (n >= 1) *value = negative ? static_cast<int32_t>(0u - magnitude) : static_cast<int32_t>(magnitude);
    return n;
}

int parseUnsignedLong(const char* text, uint32_t* value) {
    unsigned long v = 0;
    int n;
    if (std::strlen(text) >= 2 && text[0] == '0' && text[1] == 'x')
        n = std::sscanf(text + 2, "%lx", &v);
    else
        n = std::sscanf(text, "%lu", &v);
    // A long is 32 bits on the platform these rules came from; keep that width.
    if (n == 1) *value = static_cast<uint32_t>(v);
    return n == EOF ? 0 : n;
}
