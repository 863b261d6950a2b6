#include "base/numbers.h"

NumberWord readUnsignedWord(const char* text, uint64_t maximum, uint64_t* value) {
    uint32_t base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (*text == '\0') return NumberWord::NotANumber;
    uint64_t v = 0;
    bool tooLarge = false;
    for (; *text != '\0'; ++text) {
        const char c = *text;
        uint32_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint32_t>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<uint32_t>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<uint32_t>(c - 'A' + 10);
        else
            return NumberWord::NotANumber;
        // Keep reading past an overflow: a stray character later on still
        // makes the word no number at all.
        if (v > (maximum - digit) / base) tooLarge = true;
        if (!tooLarge) v = v * base + digit;
    }
    if (tooLarge) return NumberWord::TooLarge;
    *value = v;
    return NumberWord::Ok;
}

int parseUnsigned(const char* text, uint32_t* value) {
    uint64_t v = 0;
    if (readUnsignedWord(text, UINT32_MAX, &v) != NumberWord::Ok) return 0;
    *value = static_cast<uint32_t>(v);
    return 1;
}

int parseSigned(const char* text, int32_t* value) {
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    uint64_t magnitude = 0;
    const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
    if (readUnsignedWord(text, limit, &magnitude) != NumberWord::Ok) return 0;
    *value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
    return 1;
}

int parseUnsignedLong(const char* text, uint32_t* value) { return parseUnsigned(text, value); }

int parseByte(const char* text, uint8_t* value) {
    uint64_t v = 0;
    if (readUnsignedWord(text, 0xFF, &v) != NumberWord::Ok) return 0;
    *value = static_cast<uint8_t>(v);
    return 1;
}
