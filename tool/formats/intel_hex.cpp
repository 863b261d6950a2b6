// The Intel Hex reader: text blocks in, an IntelHexImage out.
//
// Two passes over the text. The layout pass learns where every section
// starts and how long it is; then the image and one data buffer for all
// sections are allocated; the fill pass copies the data and records the
// errors. So an image costs its data and a small table, never the text.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/out.h"
#include "formats/intel_hex.h"
#include "formats/intel_hex_tables.h"
#include "platform/platform.h"

namespace {

/// Printable characters kept of a line: one more than the longest
/// well-formed record (N = 255), so a longer line is still seen as longer.
constexpr size_t kMaxStoredLine = 11 + 2 * 255 + 1;
/// Text block size of the file reader.
constexpr size_t kReadBlock = 1 << 20;

enum : uint8_t {
    kTypeData = 0x00,
    kTypeEndOfFile = 0x01,
    kTypeSegmentBase = 0x02,
    kTypeSegmentStart = 0x03,
    kTypeLinearBase = 0x04,
    kTypeLinearStart = 0x05,
};

inline bool isPrintable(unsigned char c) { return c >= 0x20 && c < 0x7F; }

/// One line of text with carriage returns and nonprinting characters
/// dropped.
struct HexLine {
    const char* text;
    size_t length;
    bool nonprinting;
};

/// Cuts the source's blocks into lines: in place where a line is clean and
/// inside one block (nearly always), else through a small buffer.
class LineReader {
public:
    explicit LineReader(HexTextSource& source) : source_(source) {}

    bool rewind() {
        pos_ = end_ = nullptr;
        atEnd_ = false;
        return source_.rewind();
    }

    /// The next line, in `line`; `got` false at the end of the text. A last
    /// line without a line feed counts; nothing after a final line feed does.
    HexReadResult readHexLine(HexLine& line, bool& got) {
        got = false;
        stored_ = 0;
        bool nonprinting = false;
        bool any = false;  // a character of this line seen (a CR counts)
        for (;;) {
            if (pos_ == end_) {
                if (atEnd_) break;
                size_t size = 0;
                if (!source_.next(pos_, size)) return HexReadResult::ReadFailed;
                end_ = pos_ + size;
                if (size == 0) {
                    atEnd_ = true;
                    pos_ = end_ = nullptr;
                    break;
                }
            }
            const char* newline = static_cast<const char*>(std::memchr(pos_, '\n', static_cast<size_t>(end_ - pos_)));
            const char* stop = newline != nullptr ? newline : end_;
            if (!any && newline != nullptr && takeInPlace(pos_, newline, line)) {
                pos_ = newline + 1;
                got = true;
                return HexReadResult::Ok;
            }
            any = any || stop != pos_;
            for (const char* p = pos_; p != stop; ++p) {
                const unsigned char c = static_cast<unsigned char>(*p);
                if (isPrintable(c)) {
                    if (stored_ < kMaxStoredLine) buffer_[stored_++] = static_cast<char>(c);
                } else if (c != '\r') {
                    nonprinting = true;
                }
            }
            if (newline != nullptr) {
                pos_ = newline + 1;
                any = true;
                break;
            }
            pos_ = end_;
        }
        if (!any) return HexReadResult::Ok;
        line = {buffer_, stored_, nonprinting};
        got = true;
        return HexReadResult::Ok;
    }

private:
    /// A line that needs no cleaning (a final CR aside) is used where it is.
    static bool takeInPlace(const char* begin, const char* newline, HexLine& line) {
        const char* stop = newline;
        if (stop != begin && stop[-1] == '\r') --stop;
        unsigned bad = 0;
        for (const char* p = begin; p != stop; ++p) bad |= !isPrintable(static_cast<unsigned char>(*p));
        if (bad != 0) return false;
        line = {begin, static_cast<size_t>(stop - begin), false};
        return true;
    }

    HexTextSource& source_;
    const char* pos_ = nullptr;
    const char* end_ = nullptr;
    bool atEnd_ = false;
    size_t stored_ = 0;
    char buffer_[kMaxStoredLine];
};

/// One record line taken apart (nothing applied yet).
struct HexRecord {
    uint8_t count;     // N
    uint8_t type;
    uint16_t address;  // the 16-bit address field
    uint32_t parsed;   // D: data bytes present before the checksum
    uint32_t lengthError;  // 0, kHexEndedEarly or kHexExtraCharacters
    bool dataMalformed;    // a data byte is not hexadecimal: the record is skipped
    bool checksumMalformed;
    bool checksumBad;
    uint8_t data[255];
};

inline uint8_t nibble(char c) { return kHexNibble[static_cast<unsigned char>(c)]; }

/// Takes a record line apart. False for a malformed header (error 5:
/// shorter than 11 characters or a non-hexadecimal count, address or type).
bool parseRecord(const char* s, size_t length, HexRecord& r) {
    if (length < 11) return false;
    uint8_t head[4];
    unsigned bad = 0;
    for (int i = 0; i < 4; ++i) {
        const uint8_t hi = nibble(s[1 + 2 * i]);
        const uint8_t lo = nibble(s[2 + 2 * i]);
        bad |= hi | lo;
        head[i] = static_cast<uint8_t>((hi << 4) | (lo & 0x0F));
    }
    if (bad & 0xF0) return false;
    r.count = head[0];
    r.address = static_cast<uint16_t>((head[1] << 8) | head[2]);
    r.type = head[3];
    const size_t expected = 11 + 2 * static_cast<size_t>(r.count);
    r.lengthError = length < expected ? uint32_t{kHexEndedEarly} : length > expected ? uint32_t{kHexExtraCharacters} : 0u;
    // Data bytes only while two characters are left for the checksum.
    const size_t fit = (length - 11) / 2;
    r.parsed = static_cast<uint32_t>(fit < r.count ? fit : r.count);
    unsigned sum = head[0] + head[1] + head[2] + head[3];
    bad = 0;
    const char* p = s + 9;
    for (uint32_t i = 0; i < r.parsed; ++i, p += 2) {
        const uint8_t hi = nibble(p[0]);
        const uint8_t lo = nibble(p[1]);
        bad |= hi | lo;
        r.data[i] = static_cast<uint8_t>((hi << 4) | (lo & 0x0F));
        sum += r.data[i];
    }
    r.dataMalformed = (bad & 0xF0) != 0;
    uint8_t checksum = 0;
    r.checksumMalformed = !parseHexByte(p, checksum);
    r.checksumBad = !r.checksumMalformed && ((sum + checksum) & 0xFF) != 0;
    return true;
}

/// Section bounds learned by the layout pass: a growing table.
struct Layout {
    HexSection* sections = nullptr;
    uint64_t* lengths = nullptr;  // exact lengths, checked against 32 bits at the end
    size_t count = 0;
    size_t capacity = 0;
    ~Layout() {
        std::free(sections);
        std::free(lengths);
    }
    bool grow() {
        const size_t capacity2 = capacity == 0 ? 64 : capacity * 2;
        auto* s = static_cast<HexSection*>(std::realloc(sections, capacity2 * sizeof(HexSection)));
        if (s == nullptr) return false;
        sections = s;
        auto* l = static_cast<uint64_t*>(std::realloc(lengths, capacity2 * sizeof(uint64_t)));
        if (l == nullptr) return false;
        lengths = l;
        capacity = capacity2;
        return true;
    }
};

/// One pass over the text. The layout pass (image null) records section
/// bounds; the fill pass (image set) copies data into the sections the
/// layout pass found and records the errors.
class Pass {
public:
    Pass(Layout& layout, IntelHexImage* image) : layout_(layout), image_(image) {}

    HexReadResult run(LineReader& lines) {
        if (!lines.rewind()) return HexReadResult::SeekFailed;
        HexLine line{};
        for (;;) {
            bool got = false;
            const HexReadResult r = lines.readHexLine(line, got);
            if (r != HexReadResult::Ok) return r;
            if (!got) break;
            ++lineNumber_;
            if (line.length == 0 || line.text[0] != ':') continue;
            // Settled here: a record line with nonprinting characters is
            // reported once, and still used as its printable characters
            // read (they keep their own checks, the checksum included): a
            // stray control character does not lose data the record holds.
            if (line.nonprinting) error(kHexNonprinting);
            if (!record(line)) return failure_;
        }
        if (!finishSection()) return failure_;
        if (image_ != nullptr) {
            if (!endOfFileSeen_) error(kHexNoEndOfFile);
            const uint32_t seen = sectionIndex_ + (currentLength_ > 0 ? 1 : 0);
            if (seen != image_->sectionCount) return HexReadResult::ReadFailed;
        }
        return HexReadResult::Ok;
    }

private:
    void error(uint32_t code) {
        if (image_ == nullptr) return;
        if (image_->errorCount < kHexStoredErrors) image_->errors[image_->errorCount] = {code, lineNumber_};
        ++image_->errorCount;
    }

    /// Applies one record; false on a failure that ends the read.
    bool record(const HexLine& line) {
        if (!parseRecord(line.text, line.length, rec_)) {
            error(kHexMalformed);
            return true;
        }
        if (rec_.lengthError != 0) error(rec_.lengthError);
        if (rec_.dataMalformed) {
            error(kHexMalformed);
            return true;
        }
        bool unsupported = false;
        switch (rec_.type) {
        case kTypeData: {
            const uint32_t absolute = base_ + rec_.address;
            // Linear addresses wrap at 4 GiB: bytes that would lie beyond
            // 0xFFFFFFFF continue at address 0, in a section of their own.
            const uint64_t room = (uint64_t{1} << 32) - absolute;
            const uint32_t first = rec_.parsed < room ? rec_.parsed : static_cast<uint32_t>(room);
            if (!place(absolute, rec_.data, first)) return false;
            if (first < rec_.parsed && !place(0, rec_.data + first, rec_.parsed - first)) return false;
            break;
        }
        case kTypeEndOfFile:
            if (rec_.count != 0) error(kHexEndWithLength);
            endOfFileSeen_ = true;
            break;
        case kTypeSegmentBase:
        case kTypeSegmentStart:
            error(rec_.count != (rec_.type == kTypeSegmentBase ? 2 : 4) ? kHexBadLengthForType : kHexUnsupportedType);
            return true;
        case kTypeLinearBase:
            if (rec_.count != 2) {
                error(kHexBadLengthForType);
                return true;
            }
            // A record cut short lacks the bytes of the new base: keep the
            // old one rather than make one up (it is reported as ended
            // prematurely).
            if (rec_.parsed == 2) base_ = (uint32_t{rec_.data[0]} << 24) | (uint32_t{rec_.data[1]} << 16) | (base_ & 0xFFFF);
            break;
        case kTypeLinearStart:
            // The start (execution) address of the program, not a base for
            // data: data records go on using the extended linear address.
            // Several toolchains write this record before the data.
            if (rec_.count != 4) {
                error(kHexBadLengthForType);
                return true;
            }
            break;
        default:
            unsupported = true;
            break;
        }
        if (rec_.checksumMalformed) error(kHexMalformed);
        else if (rec_.checksumBad) error(kHexBadChecksum);
        if (unsupported) error(kHexUnsupportedType);
        else if (endOfFileSeen_ && rec_.type != kTypeEndOfFile) error(kHexRecordAfterEnd);
        return true;
    }

    /// Appends bytes at an absolute address to the current section, or
    /// starts a new one where they do not follow on.
    bool place(uint32_t address, const uint8_t* data, uint32_t n) {
        if (address != nextExpected_ && currentLength_ > 0) {
            if (!finishSection()) return false;
            ++sectionIndex_;
            currentLength_ = 0;
        }
        // A section's address is where its first byte goes.
        if (currentLength_ == 0) currentAddress_ = address;
        if (image_ != nullptr && n > 0) {
            // The text must be the one the layout pass saw; a file changed
            // in between must not write past the buffers.
            if (sectionIndex_ >= image_->sectionCount) return fail(HexReadResult::ReadFailed);
            const HexSection& s = image_->sections[sectionIndex_];
            if (s.address != currentAddress_ || s.length - currentLength_ < n) return fail(HexReadResult::ReadFailed);
            std::memcpy(s.data + currentLength_, data, n);
        }
        currentLength_ += n;
        nextExpected_ = uint64_t{address} + n;
        return true;
    }

    /// Closes the current section if it holds bytes.
    bool finishSection() {
        if (currentLength_ == 0) return true;
        if (image_ != nullptr) {
            if (image_->sections[sectionIndex_].length != currentLength_) return fail(HexReadResult::ReadFailed);
            return true;
        }
        if (layout_.count == layout_.capacity && !layout_.grow()) return fail(HexReadResult::NoMemory);
        layout_.sections[layout_.count] = {currentAddress_, 0, nullptr};
        layout_.lengths[layout_.count] = currentLength_;
        ++layout_.count;
        return true;
    }

    bool fail(HexReadResult r) {
        failure_ = r;
        return false;
    }

    Layout& layout_;
    IntelHexImage* image_;
    HexReadResult failure_ = HexReadResult::Ok;
    uint32_t lineNumber_ = 0;
    uint32_t base_ = 0;
    uint64_t nextExpected_ = 0;
    uint32_t currentAddress_ = 0;
    uint64_t currentLength_ = 0;
    uint32_t sectionIndex_ = 0;
    bool endOfFileSeen_ = false;
    HexRecord rec_;
};

/// Allocates the image for the sections the layout pass found: one block
/// for the record, the section table and the address order, one buffer for
/// the data. Null when either cannot be had.
IntelHexImage* allocateImage(const Layout& layout) {
    uint64_t total = 0;
    for (size_t i = 0; i < layout.count; ++i) {
        // A section of 4 GiB or more cannot be described by 32-bit lengths.
        if (layout.lengths[i] > UINT32_MAX) return nullptr;
        total += layout.lengths[i];
    }
    if (layout.count > UINT32_MAX || total > SIZE_MAX) return nullptr;
    const size_t n = layout.count;
    const size_t bytes = sizeof(IntelHexImage) + n * sizeof(HexSection) + n * sizeof(uint32_t);
    void* block = ::operator new(bytes, std::nothrow);
    if (block == nullptr) return nullptr;
    uint8_t* data = nullptr;
    if (total > 0) {
        data = new (std::nothrow) uint8_t[static_cast<size_t>(total)];
        if (data == nullptr) {
            ::operator delete(block);
            return nullptr;
        }
    }
    auto* image = new (block) IntelHexImage{};
    auto* sections = reinterpret_cast<HexSection*>(static_cast<uint8_t*>(block) + sizeof(IntelHexImage));
    auto* order = reinterpret_cast<uint32_t*>(sections + n);
    image->sectionCount = static_cast<uint32_t>(n);
    image->sections = sections;
    image->addressOrder = order;
    image->ownedData = data;
    uint8_t* next = data;
    for (size_t i = 0; i < n; ++i) {
        sections[i] = {layout.sections[i].address, static_cast<uint32_t>(layout.lengths[i]), next};
        next += layout.lengths[i];
        order[i] = static_cast<uint32_t>(i);
    }
    std::sort(order, order + n, [sections](uint32_t a, uint32_t b) {
        return sections[a].address != sections[b].address ? sections[a].address < sections[b].address : a < b;
    });
    return image;
}

/// Text held in memory: one block, read where it lies.
class MemorySource : public HexTextSource {
public:
    explicit MemorySource(std::string_view text) : text_(text) {}
    bool rewind() override {
        done_ = false;
        return true;
    }
    bool next(const char*& text, size_t& size) override {
        text = text_.data();
        size = done_ ? 0 : text_.size();
        done_ = true;
        return true;
    }

private:
    std::string_view text_;
    bool done_ = false;
};

/// A file read in large blocks.
class FileSource : public HexTextSource {
public:
    FileSource(std::FILE* file, char* buffer) : file_(file), buffer_(buffer) {}
    bool rewind() override { return std::fseek(file_, 0, SEEK_SET) == 0; }
    bool next(const char*& text, size_t& size) override {
        size = std::fread(buffer_, 1, kReadBlock, file_);
        text = buffer_;
        return size > 0 || !std::ferror(file_);
    }

private:
    std::FILE* file_;
    char* buffer_;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

bool parseHexByte(const char* twoCharacters, uint8_t& byte) {
    const uint8_t hi = nibble(twoCharacters[0]);
    const uint8_t lo = nibble(twoCharacters[1]);
    if ((hi | lo) & 0xF0) return false;
    byte = static_cast<uint8_t>((hi << 4) | lo);
    return true;
}

void freeIntelHexImage(IntelHexImage* image) {
    if (image == nullptr) return;
    delete[] image->ownedData;
    ::operator delete(static_cast<void*>(image));
}

HexReadResult readIntelHex(HexTextSource& source, IntelHexImagePtr& image) {
    image.reset();
    LineReader lines(source);
    Layout layout;
    HexReadResult r = Pass(layout, nullptr).run(lines);
    if (r != HexReadResult::Ok) return r;
    IntelHexImagePtr made(allocateImage(layout));
    if (made == nullptr) return HexReadResult::NoMemory;
    r = Pass(layout, made.get()).run(lines);
    if (r != HexReadResult::Ok) return r;
    image = std::move(made);
    return HexReadResult::Ok;
}

HexReadResult parseIntelHexText(std::string_view text, IntelHexImagePtr& image) {
    MemorySource source(text);
    return readIntelHex(source, image);
}

HexReadResult readIntelHexFile(const char* path, IntelHexImagePtr& image) {
    image.reset();
    errno = 0;
    std::unique_ptr<std::FILE, FileCloser> file(platform::openFile(path, "rb"));
    if (file == nullptr) {
        if (errno == ENOENT || errno == ENOTDIR) return HexReadResult::NotFound;
        if (errno == EACCES || errno == EPERM) return HexReadResult::AccessDenied;
        return HexReadResult::OpenFailed;
    }
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kReadBlock]);
    if (buffer == nullptr) return HexReadResult::NoMemory;
    FileSource source(file.get(), buffer.get());
    return readIntelHex(source, image);
}

const char* hexErrorText(uint32_t code) {
    if (code >= 1 && code <= kHexErrorTexts.size()) return kHexErrorTexts[code - 1];
    return "Unknown error code!";
}

void printIntelHexSummary(const IntelHexImage& image) {
    const char* prefix = "  ";
    out("%sNumber of sections .. %llu\n", prefix, static_cast<unsigned long long>(image.sectionCount));
    for (uint32_t i = 0; i < image.sectionCount; ++i) {
        const HexSection& s = image.sections[i];
        out("%sSection %-9llu ... Address 0x%08X, length 0x%X\n", prefix, static_cast<unsigned long long>(i), s.address,
            s.length);
    }
    out("%sNumber of errors .... %llu\n", prefix, static_cast<unsigned long long>(image.errorCount));
    const uint32_t stored = image.errorCount < kHexStoredErrors ? image.errorCount : kHexStoredErrors;
    for (uint32_t i = 0; i < stored; ++i) {
        const HexError& e = image.errors[i];
        out("%sError %-9llu ..... Line %u, code %u => %s\n", prefix, static_cast<unsigned long long>(i), e.line, e.code,
            hexErrorText(e.code));
    }
}

bool findHexConflict(const IntelHexImage& image, HexConflict* conflict) {
    bool found = false;
    // Sections by ascending start: a section can only overlap those that
    // start before it ends, so each inner walk stops at the first that
    // starts at or past its end.
    for (uint32_t k = 0; k < image.sectionCount; ++k) {
        const HexSection& a = image.sections[image.addressOrder[k]];
        const uint64_t aEnd = uint64_t{a.address} + a.length;
        for (uint32_t m = k + 1; m < image.sectionCount; ++m) {
            const HexSection& b = image.sections[image.addressOrder[m]];
            if (b.address >= aEnd || (found && b.address >= conflict->address)) break;
            const uint64_t end = std::min<uint64_t>(aEnd, uint64_t{b.address} + b.length);
            for (uint64_t at = b.address; at < end; ++at) {
                if (a.data[at - a.address] == b.data[at - b.address]) continue;
                if (!found || at < conflict->address) {
                    found = true;
                    const uint32_t i = image.addressOrder[k], j = image.addressOrder[m];
                    *conflict = {static_cast<uint32_t>(at), std::min(i, j), std::max(i, j)};
                }
                break;
            }
        }
    }
    return found;
}
