#include "base/numbers.h"

#include <cmath>
#include <cstdlib>

NumberWord readUnsignedWord(const char* text, uint64_t maximum, uint64_t* value, NumberForm form) {
    const bool prefixed = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    uint32_t base = form == NumberForm::Hex ? 16 : 10;
    if (prefixed && form != NumberForm::Decimal) {
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
        if (digit > maximum || v > (maximum - digit) / base) tooLarge = true;
        if (!tooLarge) v = v * base + digit;
    }
    if (tooLarge) return NumberWord::TooLarge;
    *value = v;
    return NumberWord::Ok;
}

NumberWord readSignedWord(const char* text, int64_t minimum, int64_t maximum, int64_t* value, NumberForm form) {
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    // The magnitude of the minimum, computed without overflowing INT64_MIN.
    const uint64_t limit = negative ? static_cast<uint64_t>(-(minimum + 1)) + 1 : static_cast<uint64_t>(maximum);
    uint64_t magnitude = 0;
    const NumberWord read = readUnsignedWord(text, limit, &magnitude, form);
    if (read != NumberWord::Ok) return read;
    *value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return NumberWord::Ok;
}

NumberWord readRealWord(const char* text, double maximum, double* value) {
    const char* p = text;
    if (*p == '-' || *p == '+') ++p;
    bool digits = false, point = false;
    for (; (*p >= '0' && *p <= '9') || (*p == '.' && !point); ++p) {
        if (*p == '.')
            point = true;
        else
            digits = true;
    }
    if (!digits) return NumberWord::NotANumber;
    if (*p == 'e' || *p == 'E') {
        ++p;
        if (*p == '-' || *p == '+') ++p;
        if (*p < '0' || *p > '9') return NumberWord::NotANumber;
        while (*p >= '0' && *p <= '9') ++p;
    }
    if (*p != '\0') return NumberWord::NotANumber;
    // The text is now known to be a decimal number, all of which strtod reads.
    const double v = std::strtod(text, nullptr);
    if (std::isinf(v) || std::fabs(v) > maximum) return NumberWord::TooLarge;
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
    int64_t v = 0;
    if (readSignedWord(text, INT32_MIN, INT32_MAX, &v) != NumberWord::Ok) return 0;
    *value = static_cast<int32_t>(v);
    return 1;
}

int parseUnsignedLong(const char* text, uint32_t* value) { return parseUnsigned(text, value); }

int parseByte(const char* text, uint8_t* value) {
    uint64_t v = 0;
    if (readUnsignedWord(text, 0xFF, &v) != NumberWord::Ok) return 0;
    *value = static_cast<uint8_t>(v);
    return 1;
}
