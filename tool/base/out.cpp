#include "base/out.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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

namespace {
// printf into a string, for the capture and for the progress line, which
// must know whether a text ends its line.
bool format(std::string& text, const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return false;
    if (static_cast<size_t>(n) < sizeof small) {
        text.assign(small, static_cast<size_t>(n));
        return true;
    }
    text.assign(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), fmt, args);
    text.resize(static_cast<size_t>(n));
    return true;
}

bool endsLine(const std::string& text) { return !text.empty() && text.back() == '\n'; }
}  // namespace

void vout(const char* fmt, va_list args) {
    std::string text;
    if (!format(text, fmt, args)) {
        if (gCapture == nullptr) noteWriteFailure();
        return;
    }
    if (gCapture != nullptr) {
        gCapture->text_ += text;
        return;
    }
    progressBeforePrint(false);
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stream()) != text.size()) noteWriteFailure();
    progressAfterPrint(false, endsLine(text));
}

void out(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vout(fmt, args);
    va_end(args);
}

void hint(const char* fmt, ...) {
    progressBeforePrint(true);
    flushOut();
    std::string text;
    va_list args;
    va_start(args, fmt);
    const bool formatted = format(text, fmt, args);
    va_end(args);
    if (!formatted) return;
    std::fwrite(text.data(), 1, text.size(), stderr);
    progressAfterPrint(true, endsLine(text));
}

void hintErrno(int error) {
    if (error == 0) return;
    hint("zorviutil: hint: errno=%d: %s\n", error, std::strerror(error));
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
