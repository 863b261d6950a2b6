// The Intel Hex writer: sections in, text out in large blocks. Records are
// put together from a table of digit pairs, not printed byte by byte.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/out.h"
#include "base/save_file.h"
#include "formats/intel_hex.h"
#include "formats/intel_hex_tables.h"
#include "platform/platform.h"

namespace {

/// Text gathered before each write to the sink.
constexpr size_t kWriteBlock = 64 * 1024;
/// Longest line the writer produces: a data record of 16 bytes.
constexpr size_t kLongestLine = 1 + 2 * (4 + 16 + 1) + 1;

class BlockWriter {
public:
    explicit BlockWriter(HexTextSink& sink) : sink_(sink) {}

    /// Room for one more line; false when the sink has failed.
    bool makeRoom() { return used_ + kLongestLine <= kWriteBlock || flush(); }
    char* cursor() { return block_ + used_; }
    void advance(char* end) { used_ = static_cast<size_t>(end - block_); }
    bool flush() {
        if (used_ > 0 && !sink_.write(block_, used_)) return false;
        used_ = 0;
        return true;
    }

private:
    HexTextSink& sink_;
    size_t used_ = 0;
    char block_[kWriteBlock];
};

inline char* putByte(char* p, uint8_t b) {
    std::memcpy(p, kHexDigitPairs[b].data(), 2);
    return p + 2;
}

/// ":02000004" with address bits 31-16 and the checksum.
char* putUpperAddress(char* p, uint16_t upper) {
    const uint8_t hi = static_cast<uint8_t>(upper >> 8);
    const uint8_t lo = static_cast<uint8_t>(upper);
    std::memcpy(p, ":02000004", 9);
    p = putByte(p + 9, hi);
    p = putByte(p, lo);
    p = putByte(p, static_cast<uint8_t>(-(6 + hi + lo)));
    *p = '\n';
    return p + 1;
}

char* putDataRecord(char* p, uint32_t address, const uint8_t* data, uint32_t n) {
    const uint8_t hi = static_cast<uint8_t>(address >> 8);
    const uint8_t lo = static_cast<uint8_t>(address);
    unsigned sum = n + hi + lo;
    *p++ = ':';
    p = putByte(p, static_cast<uint8_t>(n));
    p = putByte(p, hi);
    p = putByte(p, lo);
    *p++ = '0';
    *p++ = '0';
    for (uint32_t i = 0; i < n; ++i) {
        p = putByte(p, data[i]);
        sum += data[i];
    }
    p = putByte(p, static_cast<uint8_t>(-sum));
    *p = '\n';
    return p + 1;
}

class StringSink : public HexTextSink {
public:
    explicit StringSink(std::string& text) : text_(text) {}
    bool write(const char* text, size_t size) override {
        text_.append(text, size);
        return true;
    }

private:
    std::string& text_;
};

class FileSink : public HexTextSink {
public:
    explicit FileSink(std::FILE* file) : file_(file) {}
    bool write(const char* text, size_t size) override { return std::fwrite(text, 1, size, file_) == size; }

private:
    std::FILE* file_;
};

}  // namespace

bool writeIntelHex(const IntelHexImage& image, HexTextSink& sink) {
    BlockWriter block(sink);
    BlockWriter* writer = &block;
    for (uint32_t s = 0; s < image.sectionCount; ++s) {
        const HexSection& section = image.sections[s];
        uint32_t address = section.address;
        const uint8_t* data = section.data;
        uint32_t remaining = section.length;
        // Every section states its upper address afresh.
        bool upperKnown = false;
        uint16_t upper = 0;
        while (remaining > 0) {
            // Records end on 16-byte address boundaries.
            uint32_t n = 16 - (address & 15);
            if (n > remaining) n = remaining;
            if (!writer->makeRoom()) return false;
            char* p = writer->cursor();
            if (!upperKnown || upper != static_cast<uint16_t>(address >> 16)) {
                upper = static_cast<uint16_t>(address >> 16);
                upperKnown = true;
                p = putUpperAddress(p, upper);
                writer->advance(p);
                if (!writer->makeRoom()) return false;
                p = writer->cursor();
            }
            writer->advance(putDataRecord(p, address, data, n));
            address += n;
            data += n;
            remaining -= n;
        }
    }
    if (!writer->makeRoom()) return false;
    char* p = writer->cursor();
    std::memcpy(p, ":00000001FF\n", 12);
    writer->advance(p + 12);
    return writer->flush();
}

bool formatIntelHexText(const IntelHexImage& image, std::string& text) {
    text.clear();
    StringSink sink(text);
    return writeIntelHex(image, sink);
}

HexWriteResult writeIntelHexFile(const char* path, const IntelHexImage& image) {
    errno = 0;
    const SaveOutcome outcome = writeSaveFileWith(
        path,
        [&image](std::FILE* file) {
            FileSink sink(file);
            return writeIntelHex(image, sink);
        },
        true);
    switch (outcome) {
        case SaveOutcome::Written: return HexWriteResult::Ok;
        case SaveOutcome::ShortWrite: return HexWriteResult::WriteFailed;
        case SaveOutcome::OpenFailed: break;
    }
    return hexOpenFailure(errno);
}

HexWriteResult hexOpenFailure(int error) {
    if (error == ENOENT || error == ENOTDIR) return HexWriteResult::PathNotFound;
    if (error == EACCES || error == EPERM || error == EROFS) return HexWriteResult::AccessDenied;
    out("%d\n", error);
    return HexWriteResult::OpenFailed;
}
