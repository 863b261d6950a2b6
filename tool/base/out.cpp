#include "base/out.h"

#include <cerrno>
#include <cstdio>

#include "base/progress.h"

namespace {
OutCapture* gCapture = nullptr;
std::FILE* gStream = nullptr;  // null: standard output
bool gWriteFailed = false;
int gWriteError = 0;  // errno of the first failed write

std::FILE* stream() { return gStream != nullptr ? gStream : stdout; }

void noteWriteFailure() {
    if (gWriteFailed) return;
    gWriteFailed = true;
    gWriteError = errno;
}
}  // namespace

void vout(const char* fmt, va_list args) {
    if (gCapture == nullptr) {
        clearProgressLine();
        errno = 0;
        if (std::vfprintf(stream(), fmt, args) < 0) noteWriteFailure();
        return;
    }
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof small) {
        gCapture->text_.append(small, static_cast<size_t>(n));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), fmt, args);
    big.resize(static_cast<size_t>(n));
    gCapture->text_ += big;
}

void out(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vout(fmt, args);
    va_end(args);
}

void hint(const char* fmt, ...) {
    clearProgressLine();
    flushOut();
    va_list args;
    va_start(args, fmt);
    std::vfprintf(stderr, fmt, args);
    va_end(args);
}

void flushOut() {
    if (gCapture != nullptr) return;
    errno = 0;
    if (std::fflush(stream()) != 0) noteWriteFailure();
}

bool outputWritten(int* error) {
    flushOut();
    // The stream's error indicator also holds failures of flushes made
    // elsewhere (before a progress line is drawn).
    if (gCapture == nullptr && std::ferror(stream()) != 0) noteWriteFailure();
    *error = gWriteError;
    return !gWriteFailed;
}

std::FILE* setOutStream(std::FILE* stream) {
    std::FILE* previous = gStream;
    gStream = stream;
    gWriteFailed = false;
    gWriteError = 0;
    return previous;
}

OutCapture::OutCapture() : previous_(gCapture) { gCapture = this; }
OutCapture::~OutCapture() { gCapture = previous_; }

std::string OutCapture::take() {
    std::string s;
    s.swap(text_);
    return s;
}
