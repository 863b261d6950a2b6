// The progress line of a long operation (an SPI erase, program, verify or
// save; a uC image; an I2C file): drawn on standard error while it is a
// terminal, so logs, pipes and scripts see nothing of it, and standard
// output stays exactly as it is.
#pragma once

#include <cstdint>
#include <string>

#include "base/no_copy.h"

/// The line itself: what is being done, bytes done of total, percent, rate
/// and time left ("--" until a rate can be told).
std::string progressLine(const char* what, uint64_t done, uint64_t total, uint32_t elapsedMs);

/// Draws progressLine while an operation runs, at most five times a second
/// and only after its first second (short work shows nothing), and clears
/// it when destroyed.
class Progress : NoCopy {
public:
    Progress(const char* what, uint64_t total);
    ~Progress();
    void advance(uint64_t bytes);

private:
    const char* what_;
    uint64_t total_;
    uint64_t done_ = 0;
    uint32_t startMs_;
    uint32_t drawnMs_ = 0;
    bool active_;
};

/// Removes a drawn line.
void clearProgressLine();

/// out() and hint() call these around what they print, so the line stays
/// below the text as on a package manager's screen: taken off before text
/// for its terminal (standard error; standard output only when it is the
/// same terminal), drawn again once that text has ended its line.
void progressBeforePrint(bool onStderr);
void progressAfterPrint(bool onStderr, bool endsLine);

/// Whether lines are drawn, and whether standard output shows on the same
/// terminal; off until the program turns it on (standard error a terminal,
/// ZORVIUTIL_PROGRESS not "0").
void setProgressDrawing(bool drawing, bool stdoutOnSameTerminal);
