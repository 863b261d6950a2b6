#include "spiflash/spi_files.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <new>

#include "base/out.h"
#include "base/save_file.h"
#include "platform/platform.h"

Result openBinaryFile(const char* path, BinaryInput& input) {
    input.length = 0;
    input.file.reset(platform::openFile(path, "rb"));
    if (!input.file) {
        const int error = errno;
        out("*** Failed to open file '%s' for reading; errno=%d.\n", path, error);
        hintErrno(error);
        return kBinaryInputError;
    }
    const platform::FileLength got = platform::fileLength(input.file.get(), &input.length);
    const int error = errno;
    switch (got) {
        case platform::FileLength::Ok: return kOk;
        case platform::FileLength::SeekEndFailed:
            out("*** Failed to seek to end of file '%s'; errno=%d.\n", path, error);
            break;
        case platform::FileLength::TellFailed:
            out("*** Failed to determine size of file '%s'; errno=%d.\n", path, error);
            break;
        case platform::FileLength::SeekStartFailed:
            out("*** Failed to seek to start of file '%s'; errno=%d.\n", path, error);
            break;
    }
    hintErrno(error);
    return kBinaryInputError;
}

Result readBinaryInput(const char* path, BinaryInput& input, std::unique_ptr<uint8_t[]>* bytes) {
    const unsigned long long n = input.length;
    if (n == 0) return kOk;
    bytes->reset(n > SIZE_MAX ? nullptr : new (std::nothrow) uint8_t[n]);
    if (!*bytes) {
        out("*** Failed to allocate %llu(0x%llX) byte(s) for reading file '%s' into buffer; errno=%d.\n", n, n, path,
            ENOMEM);
        hintErrno(ENOMEM);
        return kBinaryInputError;
    }
    const bool complete = std::fread(bytes->get(), 1, n, input.file.get()) == n;
    input.file.reset();
    if (complete) return kOk;
    out("*** Failed to read all %llu(0x%llX) byte(s) of file '%s'.\n", n, n, path);
    bytes->reset();
    return kBinaryInputError;
}

Result reportBinaryOpenFailed(const char* path) {
    const int error = errno;
    out("*** Failed to open file '%s' for writing; errno=%d.\n", path, error);
    hintErrno(error);
    return kBinaryOutputError;
}

Result writeBinaryFile(const char* path, uint64_t length, const uint8_t* bytes) {
    const unsigned long long n = length;
    errno = 0;
    switch (writeSaveFile(path, bytes, static_cast<size_t>(n))) {
        case SaveOutcome::Written: return kOk;
        case SaveOutcome::OpenFailed: return reportBinaryOpenFailed(path);
        case SaveOutcome::ShortWrite: break;
    }
    out("*** Failed to write all %llu(0x%llX) byte(s) to file '%s'.\n", n, n, path);
    return kBinaryOutputError;
}
