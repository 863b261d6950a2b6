#include "base/out.h"

#include <cstdio>

#include "base/progress.h"

namespace {
OutCapture* gCapture = nullptr;
}

void vout(const char* fmt, va_list args) {
    if (gCapture == nullptr) {
        clearProgressLine();
        std::vfprintf(stdout, fmt, args);
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
    if (gCapture == nullptr) std::fflush(stdout);
}

OutCapture::OutCapture() : previous_(gCapture) { gCapture = this; }
OutCapture::~OutCapture() { gCapture = previous_; }

std::string OutCapture::take() {
    std::string s;
    s.swap(text_);
    return s;
}
