// The progress line of a long operation (an SPI erase, program, verify or
// save; a uC image; an I2C file): drawn on standard error while it is a
// terminal, so logs, pipes and scripts see nothing of it, and standard
// output stays exactly as it is.
#pragma once

#include <cstdint>
#include <string>

/// The line itself: what is being done, bytes done of total, percent, rate
/// and time left ("--" until a rate can be told).
std::string progressLine(const char* what, uint64_t done, uint64_t total, uint32_t elapsedMs);

/// Draws progressLine while an operation runs, at most five times a second
/// and only after its first second (short work shows nothing), and clears
/// it when destroyed.
class Progress {
public:
    Progress(const char* what, uint64_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    void advance(uint64_t bytes);

private:
    const char* what_;
    uint64_t total_;
    uint64_t done_ = 0;
    uint32_t startMs_;
    uint32_t drawnMs_ = 0;
    bool active_;
};

/// Removes a drawn line (out() calls it before it prints, so lines of
/// standard output never share the terminal line with it).
void clearProgressLine();

/// Whether lines are drawn; off until the program turns it on (standard
/// error a terminal, ZORVIUTIL_PROGRESS not "0").
void setProgressDrawing(bool drawing);
