// Fuzz target for the Intel Hex reader and writer. The input is read as
// text in blocks, each an exact-size heap copy, so a read past one trips the
// address sanitizer. Writing the image and reading the text back must give
// no errors and the same data in the same order (touching sections may
// merge).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/out.h"
#include "formats/intel_hex.h"

namespace {

class BlockSource : public HexTextSource {
public:
    BlockSource(const uint8_t* data, size_t size, size_t block) : data_(data), size_(size), block_(block) {}
    bool rewind() override {
        offset_ = 0;
        return true;
    }
    bool next(const char*& text, size_t& size) override {
        size = size_ - offset_ < block_ ? size_ - offset_ : block_;
        copy_.reset(new char[size]);
        std::memcpy(copy_.get(), data_ + offset_, size);
        offset_ += size;
        text = copy_.get();
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t block_;
    size_t offset_ = 0;
    std::unique_ptr<char[]> copy_;
};

void check(bool ok) {
    if (!ok) std::abort();
}

std::string allData(const IntelHexImage& image) {
    std::string bytes;
    for (uint32_t i = 0; i < image.sectionCount; ++i)
        bytes.append(reinterpret_cast<const char*>(image.sections[i].data), image.sections[i].length);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the block size: 0 the whole text in one block,
    // else 4 to 1020 bytes, so that lines cross block ends.
    const size_t block = size == 0 || data[0] == 0 ? size + 1 : size_t{data[0]} * 4;
    BlockSource blocks(data, size, block);
    IntelHexImagePtr image;
    check(readIntelHex(blocks, image) == HexReadResult::Ok);

    OutCapture sink;
    printIntelHexSummary(*image);

    std::string written;
    check(formatIntelHexText(*image, written));
    IntelHexImagePtr back;
    check(parseIntelHexText(written, back) == HexReadResult::Ok);
    check(back->errorCount == 0);
    check(allData(*back) == allData(*image));
    return 0;
}
