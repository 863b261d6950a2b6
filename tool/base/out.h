// The program's one output sink. Everything zorviutil prints, errors
// included, goes through out() to standard output; tests redirect it to a
// string so they can compare whole outputs.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

#include "base/no_copy.h"

#define ZORVI_PRINTF(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))

/// Prints a printf-style message to the current sink.
void out(const char* fmt, ...) ZORVI_PRINTF(1, 2);
/// vprintf form of out().
void vout(const char* fmt, va_list args) ZORVI_PRINTF(1, 0);
/// Prints a hint or warning for the user on standard error (after flushing
/// standard output, so that it shows after the lines it refers to). The
/// documented output on standard output never changes; help beyond it goes
/// here.
void hint(const char* fmt, ...) ZORVI_PRINTF(1, 2);
/// After a line that gives an errno as a number ("errno=2"): the system's
/// words for it as a hint, so the line itself stays as it is.
void hintErrno(int error);
/// Flushes standard output (no-op while captured); used before waits so a
/// started line shows.
void flushOut();
/// Settles standard output at the end of a run: flushes it and tells whether
/// everything printed reached it whole (true while captured). A failed write
/// is remembered from the first one on, so a later success does not hide
/// it; `error` gets that write's errno (0 when the system did not say).
[[nodiscard]] bool outputWritten(int* error);
/// For tests: out() writes to `stream` instead of standard output (null:
/// standard output again), with no write failure remembered. Returns the
/// stream used before.
std::FILE* setOutStream(std::FILE* stream);

/// Redirects out() into a string for as long as the object lives.
class OutCapture : NoCopy {
public:
    OutCapture();
    ~OutCapture();
    /// Everything printed since construction (or the last take()).
    const std::string& text() const { return text_; }
    /// Returns the captured text and clears it.
    std::string take();

private:
    friend void vout(const char*, va_list);
    std::string text_;
    OutCapture* previous_;
};
