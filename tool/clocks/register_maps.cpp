// The pure part of the register-map readers: lines as the readers see them,
// the two line grammars, and the two passes that size and fill the map.
#include "clocks/register_maps.h"

#include <cerrno>
#include <cstdio>
#include <new>

namespace {

constexpr size_t kKeptLineChars = 32;   ///< longer lines are cut
constexpr size_t kKeptFieldChars = 15;  ///< SI5338 fields are cut
constexpr size_t kKeptDigits = 8;       ///< longest LMK61E2 number
constexpr uint32_t kMessageBudget = 10; ///< per kind of line problem

const uint8_t kSi5338WriteMasks[kSi5338LastRegister + 1] = {
    /*   0 */ 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    /*  16 */ 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0xFF,
    /*  32 */ 0xFF, 0xFF, 0xFF, 0xFF, 0x1F, 0x1F, 0x1F, 0x1F, 0xFF, 0x7F, 0x3F, 0x00, 0x00, 0xFF, 0xFF, 0x3F,
    /*  48 */ 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x3F, 0x7F,
    /*  64 */ 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x3F, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    /*  80 */ 0xFF, 0xFF, 0xFF, 0xFF, 0x3F, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x3F,
    /*  96 */ 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xBF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF,
    /* 112 */ 0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    /* 128 */ 0xFF, 0x0F, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    /* 144 */ 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x0F,
    /* 160 */ 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    /* 176 */ 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    /* 192 */ 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF,
    /* 208 */ 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    /* 224 */ 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    /* 240 */ 0x00, 0x0F, 0x02, 0x00, 0x00, 0x00, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF,
    /* 256 */ 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    /* 272 */ 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF,
    /* 288 */ 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x00, 0x00, 0x00, 0xFF,
    /* 304 */ 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x00, 0x00, 0x00, 0xFF,
    /* 320 */ 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x00, 0x00, 0x00, 0xFF,
    /* 336 */ 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x00, 0x00, 0x00,
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

int digitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/// Splits text into numbered lines: carriage returns and non-printable
/// characters other than white space dropped, at most 32 characters kept,
/// and (SI5338) everything from a "#" on dropped. Every line counts in the
/// numbering, empty ones included.
class LineScanner {
public:
    LineScanner(const char* text, size_t size, bool hashComments)
        : text_(text), size_(size), hashComments_(hashComments) {}

    bool next() {
        if (pos_ >= size_) return false;
        ++number_;
        length_ = 0;
        cut_ = cutInToken_ = false;
        bool comment = false;
        while (pos_ < size_) {
            const char c = text_[pos_++];
            if (c == '\n') break;
            const unsigned char u = static_cast<unsigned char>(c);
            const bool kept = (u >= 0x20 && u <= 0x7E) || c == '\t' || c == '\v' || c == '\f';
            if (!kept) continue;
            if (hashComments_ && c == '#') comment = true;
            if (comment) continue;
            if (length_ == kKeptLineChars) {
                if (!cut_) cutInToken_ = !isSeparator(c) && !isSeparator(line_[length_ - 1]);
                cut_ = true;
                continue;
            }
            line_[length_++] = c;
        }
        return true;
    }
    const char* line() const { return line_; }
    size_t length() const { return length_; }
    uint32_t number() const { return number_; }
    /// The line was cut at 32 characters in the middle of a word.
    bool cutInToken() const { return cutInToken_; }
    /// Words (split at blanks, and commas for SI5338) in the kept part.
    uint32_t tokens() const {
        uint32_t count = 0;
        for (size_t i = 0; i < length_; ++i)
            if (!isSeparator(line_[i]) && (i == 0 || isSeparator(line_[i - 1]))) ++count;
        return count;
    }

private:
    bool isSeparator(char c) const { return isBlank(c) || (hashComments_ && c == ','); }

    const char* text_;
    size_t size_;
    bool hashComments_;
    size_t pos_ = 0;
    uint32_t number_ = 0;
    char line_[kKeptLineChars];
    size_t length_ = 0;
    bool cut_ = false;
    bool cutInToken_ = false;
};

enum class LineKind { Empty, Valid, Malformed, IndexOutOfRange, ValueOutOfRange };
struct LineResult {
    LineKind kind;
    uint32_t index = 0;
    uint32_t value = 0;
};

/// One to eight digits from s[p]. A longer number is refused rather than
/// read from its first eight digits, which would give another value.
bool readLmkNumber(const char* s, size_t n, size_t& p, bool hex, uint32_t& value) {
    size_t digits = 0;
    value = 0;
    for (int d; p < n && (d = digitValue(s[p], hex)) >= 0; ++p, ++digits)
        if (digits < kKeptDigits) value = value * (hex ? 16u : 10u) + static_cast<uint32_t>(d);
    return digits != 0 && digits <= kKeptDigits;
}

/// [blanks] R|r <decimal> <blanks> [0x|0X] <value> (end | blank ...); the
/// value's bits 8..15 repeat the register number.
LineResult lmk61e2Line(const char* s, size_t n) {
    const LineResult malformed{LineKind::Malformed};
    size_t p = 0;
    while (p < n && isBlank(s[p])) ++p;
    if (p == n || (s[p] != 'R' && s[p] != 'r')) return malformed;
    ++p;
    uint32_t reg = 0;
    if (!readLmkNumber(s, n, p, false, reg)) return malformed;
    if (p == n || !isBlank(s[p])) return malformed;
    while (p < n && isBlank(s[p])) ++p;
    bool hex = false;
    if (p + 1 < n && s[p] == '0' && (s[p + 1] == 'x' || s[p + 1] == 'X')) {
        hex = true;
        p += 2;
    }
    uint32_t value = 0;
    if (!readLmkNumber(s, n, p, hex, value)) return malformed;
    if (p < n && !isBlank(s[p])) return malformed;
    if (((value >> 8) & 0xFFu) != reg) return malformed;
    return {LineKind::Valid, reg, value & 0xFFu};
}

/// A field read as the standard "%x" (field ending in "h", which is
/// removed) or "%u" conversion reads it: optional sign, for hexadecimal an
/// optional "0x", then digits; what follows the digits is ignored. Unlike
/// those conversions, a number beyond 32 bits reads as 0xFFFFFFFF instead
/// of wrapping: a 15-digit field must not alias a small register index.
bool si5338FieldNumber(const char* f, size_t n, uint32_t& value) {
    const bool hex = n != 0 && f[n - 1] == 'h';
    if (hex) --n;
    size_t p = 0;
    bool negative = false;
    if (p < n && (f[p] == '+' || f[p] == '-')) negative = f[p++] == '-';
    if (hex && p + 2 < n && f[p] == '0' && f[p + 1] == 'x' && digitValue(f[p + 2], true) >= 0) p += 2;
    uint64_t v = 0;
    size_t digits = 0;
    for (int d; p < n && (d = digitValue(f[p], hex)) >= 0; ++p, ++digits) {
        v = v * (hex ? 16u : 10u) + static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFu) v = 0x100000000u;  // saturated
    }
    if (digits == 0) return false;
    if (v > 0xFFFFFFFFu)
        value = 0xFFFFFFFFu;
    else
        value = negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(v)) : static_cast<uint32_t>(v);
    return true;
}

/// Up to two fields split at blanks and commas: index, value.
LineResult si5338Line(const char* s, size_t n) {
    char fields[2][kKeptFieldChars];
    size_t lengths[2] = {0, 0};
    bool cut = false;
    int count = 0;
    size_t p = 0;
    while (count < 2) {
        while (p < n && isBlank(s[p])) ++p;
        if (p == n) break;
        size_t length = 0;
        for (; p < n && !isBlank(s[p]) && s[p] != ','; ++p) {
            char c = s[p];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (length < kKeptFieldChars)
                fields[count][length++] = c;
            else
                cut = true;
        }
        if (p < n && s[p] == ',') ++p;
        lengths[count++] = length;
    }
    if (count == 0) return {LineKind::Empty};
    uint32_t index = 0, value = 0;
    if (count == 1 || cut || !si5338FieldNumber(fields[0], lengths[0], index) ||
        !si5338FieldNumber(fields[1], lengths[1], value))
        return {LineKind::Malformed};
    if (index > kSi5338LastRegister) return {LineKind::IndexOutOfRange, index, value};
    if (value > 0xFF) return {LineKind::ValueOutOfRange, index, value};
    return {LineKind::Valid, index, value};
}

// Numbers are never read shortened: a line cut at 32 characters inside one
// of the words the grammar reads, a field cut at 15 characters or an LMK61E2
// number of more than 8 digits is malformed (and reported), where reading
// the kept part would silently give another register or value ("6,10h" cut
// to "6,10" reads decimal 10).
LineResult classify(RegisterMapType type, const LineScanner& s) {
    if (s.length() == 0) return {LineKind::Empty};
    if (s.cutInToken() && s.tokens() <= 2) return {LineKind::Malformed};
    return type == RegisterMapType::Lmk61e2 ? lmk61e2Line(s.line(), s.length()) : si5338Line(s.line(), s.length());
}

/// Reports a problem while its kind's budget lasts; the last one in the
/// budget is followed by the note that the rest are suppressed.
class Budget {
public:
    Budget(MapPrinter printer, const char* suppressedNote) : printer_(printer), note_(suppressedNote) {}
    void report(const char* text) {
        if (printer_ == nullptr || used_ == kMessageBudget) return;
        printer_(text, kMapWarning);
        if (++used_ == kMessageBudget) printer_(note_, kMapInfo);
    }

private:
    MapPrinter printer_;
    const char* note_;
    uint32_t used_ = 0;
};

}  // namespace

const char* registerMapErrorName(uint32_t code) {
    switch (code) {
        case kMapOk: return "no error";
        case kMapBadFile: return "bad register map file";
        case kMapNoMemory: return "unable to allocate memory";
        case kMapAccessDenied: return "access denied";
        case kMapFileNotFound: return "file not found";
        case kMapOpenError: return "unexpected error opening file";
        case kMapSeekError: return "seek error while reading file";
        case kMapReadError: return "error while reading file";
        case kMapFileTooLarge: return "file larger than 1 MiB";
        default: return "unknown error";
    }
}

uint8_t si5338WriteMask(uint32_t index) { return index <= kSi5338LastRegister ? kSi5338WriteMasks[index] : 0; }

// Both passes classify lines the same way, so the entry count always equals
// the entries stored: a line that the second pass would drop (an index or
// value out of range) is not counted by the first either. Sizing the map by
// lines that merely have two numbers would leave unfilled entries in it,
// sent to the chip as registers.
uint32_t parseRegisterMap(RegisterMapType type, const char* text, size_t size, MapPrinter printer,
                          RegisterMap& map) {
    const bool si5338 = type == RegisterMapType::Si5338;
    uint32_t valid = 0;
    for (LineScanner s(text, size, si5338); s.next();)
        if (classify(type, s).kind == LineKind::Valid) ++valid;
    if (valid == 0) return kMapBadFile;

    char message[128];
    const uint32_t cap = si5338 ? kSi5338MaxEntries : kLmk61e2MaxPairs;
    if (valid > cap) {
        if (printer != nullptr) {
            std::snprintf(message, sizeof message,
                          "More than %u register / value pairs in input file - ignoring excess %u pair(s).", cap,
                          valid - cap);
            printer(message, kMapWarning);
        }
        valid = cap;
    }

    map.type = type;
    map.count = 0;
    const unsigned long long bytes = static_cast<unsigned long long>(valid) * map.entrySize();
    map.payload.reset(new (std::nothrow) uint8_t[bytes]);
    if (!map.payload) {
        if (printer != nullptr) {
            std::snprintf(message, sizeof message,
                          "Failed to allocate %llu (0x%llX) bytes for holding register map data; errno=%d", bytes,
                          bytes, errno);
            printer(message, kMapError);
        }
        return kMapNoMemory;
    }

    Budget malformed(printer, "NOTE: Further messages about malformed lines will be suppressed");
    Budget outOfRange(printer, "NOTE: Further messages about out of range values will be suppressed");
    for (LineScanner s(text, size, si5338); s.next();) {
        const LineResult line = classify(type, s);
        switch (line.kind) {
            case LineKind::Empty: break;
            case LineKind::Malformed:
                std::snprintf(message, sizeof message, "Line %u of input file appears to be malformed - ignoring.",
                              s.number());
                malformed.report(message);
                break;
            case LineKind::IndexOutOfRange:
                std::snprintf(message, sizeof message,
                              "Out of range register index LS value 0x%X on line %u - ignoring.", line.index,
                              s.number());
                outOfRange.report(message);
                break;
            case LineKind::ValueOutOfRange:
                std::snprintf(message, sizeof message, "Out of range register value 0x%X on line %u - ignoring.",
                              line.value, s.number());
                outOfRange.report(message);
                break;
            case LineKind::Valid: {
                if (map.count == valid) break;
                uint8_t* e = map.payload.get() + map.count * map.entrySize();
                if (si5338) {
                    e[0] = static_cast<uint8_t>(line.index);
                    e[1] = static_cast<uint8_t>(line.index >> 8);
                    e[2] = si5338WriteMask(line.index);
                    e[3] = static_cast<uint8_t>(line.value);
                } else {
                    e[0] = static_cast<uint8_t>(line.index);
                    e[1] = static_cast<uint8_t>(line.value);
                }
                ++map.count;
                break;
            }
        }
    }
    return kMapOk;
}
