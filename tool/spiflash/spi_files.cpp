#include "spiflash/spi_files.h"

#include <cerrno>
#include <cstdio>
#include <new>

#include "base/out.h"
#include "base/save_file.h"
#include "platform/platform.h"

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;
}  // namespace

Result readBinaryFile(const char* path, std::unique_ptr<uint8_t[]>* bytes, uint64_t* length) {
    *length = 0;
    File file(platform::openFile(path, "rb"));
    if (!file) {
        out("*** Failed to open file '%s' for reading; errno=%d.\n", path, errno);
        return kBinaryInputError;
    }
    if (std::fseek(file.get(), 0, SEEK_END) != 0) {
        out("*** Failed to seek to end of file '%s'; errno=%d.\n", path, errno);
        return kBinaryInputError;
    }
    const long size = std::ftell(file.get());
    if (size < 0) {
        out("*** Failed to determine size of file '%s'; errno=%d.\n", path, errno);
        return kBinaryInputError;
    }
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
        out("*** Failed to seek to start of file '%s'; errno=%d.\n", path, errno);
        return kBinaryInputError;
    }
    const unsigned long long n = static_cast<unsigned long long>(size);
    if (n == 0) return kOk;
    bytes->reset(new (std::nothrow) uint8_t[n]);
    if (!*bytes) {
        out("*** Failed to allocate %llu(0x%llX) byte(s) for reading file '%s' into buffer; errno=%d.\n", n, n, path,
            ENOMEM);
        return kBinaryInputError;
    }
    if (std::fread(bytes->get(), 1, n, file.get()) != n) {
        out("*** Failed to read all %llu(0x%llX) byte(s) of file '%s'.\n", n, n, path);
        bytes->reset();
        return kBinaryInputError;
    }
    *length = n;
    return kOk;
}

Result writeBinaryFile(const char* path, uint64_t length, const uint8_t* bytes) {
    const unsigned long long n = length;
    errno = 0;
    switch (writeSaveFile(path, bytes, static_cast<size_t>(n))) {
        case SaveOutcome::Written: return kOk;
        case SaveOutcome::OpenFailed:
            out("*** Failed to open file '%s' for writing; errno=%d.\n", path, errno);
            return kBinaryOutputError;
        case SaveOutcome::ShortWrite: break;
    }
    out("*** Failed to write all %llu(0x%llX) byte(s) to file '%s'.\n", n, n, path);
    return kBinaryOutputError;
}
