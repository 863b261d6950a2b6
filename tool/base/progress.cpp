#include "base/progress.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <chrono>

namespace {

bool gDrawing = false;
bool gSharedTerminal = false;  // standard output is the terminal of the line
bool gShown = false;
size_t gShownLength = 0;
// The line of the live operation, drawn again below each line printed over
// it; empty until its first drawing.
std::string gLine;
bool gStdoutMidLine = false;  // on a shared terminal: a started line of standard output

void draw() {
    // Pad over a longer line drawn before, then return to the line's start.
    const size_t pad = gShownLength > gLine.size() ? gShownLength - gLine.size() : 0;
    std::fprintf(stderr, "\r%s%*s\r", gLine.c_str(), static_cast<int>(pad), "");
    std::fflush(stderr);
    gShown = true;
    gShownLength = gLine.size();
}

constexpr uint32_t kFirstDrawMs = 1000;  // short work shows nothing
constexpr uint32_t kRedrawMs = 200;

uint32_t nowMs() {
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::string size(uint64_t bytes) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB"};
    double v = static_cast<double>(bytes);
    size_t unit = 0;
    while (v >= 1024 && unit + 1 < std::size(kUnits)) {
        v /= 1024;
        ++unit;
    }
    char text[32];
    if (unit == 0)
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    else
        std::snprintf(text, sizeof text, "%.1f %s", v, kUnits[unit]);
    return text;
}

}  // namespace

std::string progressLine(const char* what, uint64_t done, uint64_t total, uint32_t elapsedMs) {
    const unsigned percent = total == 0 ? 100 : static_cast<unsigned>(done * 100 / total);
    std::string line = std::string(what) + " " + size(done) + " of " + size(total) + " (" + std::to_string(percent) +
                       "%)";
    if (done == 0 || elapsedMs == 0) return line + ", --/s, -- left";
    const double rate = static_cast<double>(done) * 1000.0 / elapsedMs;
    const uint64_t leftS = static_cast<uint64_t>(static_cast<double>(total - done) / rate + 0.5);
    char left[32];
    if (leftS >= 3600)
        std::snprintf(left, sizeof left, "%llu:%02llu:%02llu", static_cast<unsigned long long>(leftS / 3600),
                      static_cast<unsigned long long>(leftS / 60 % 60), static_cast<unsigned long long>(leftS % 60));
    else
        std::snprintf(left, sizeof left, "%llu:%02llu", static_cast<unsigned long long>(leftS / 60),
                      static_cast<unsigned long long>(leftS % 60));
    return line + ", " + size(static_cast<uint64_t>(rate)) + "/s, " + left + " left";
}

Progress::Progress(const char* what, uint64_t total)
    : what_(what), total_(total), startMs_(nowMs()), active_(gDrawing) {}

Progress::~Progress() {
    clearProgressLine();
    gLine.clear();
}

void Progress::advance(uint64_t bytes) {
    done_ += bytes;
    if (!active_) return;
    const uint32_t now = nowMs();
    const uint32_t elapsed = now - startMs_;
    if (elapsed < kFirstDrawMs || (gShown && now - drawnMs_ < kRedrawMs)) return;
    // A started line of standard output would be drawn over: the line
    // waits for its end.
    if (gSharedTerminal && gStdoutMidLine) return;
    drawnMs_ = now;
    std::fflush(stdout);
    gLine = progressLine(what_, done_, total_, elapsed);
    draw();
}

void clearProgressLine() {
    if (!gShown) return;
    std::fprintf(stderr, "\r%*s\r", static_cast<int>(gShownLength), "");
    std::fflush(stderr);
    gShown = false;
    gShownLength = 0;
}

void progressBeforePrint(bool onStderr) {
    if (onStderr || gSharedTerminal) clearProgressLine();
}

void progressAfterPrint(bool onStderr, bool endsLine) {
    if (!onStderr && gSharedTerminal) gStdoutMidLine = !endsLine;
    if (gLine.empty() || gShown || !endsLine || gStdoutMidLine) return;
    std::fflush(stdout);
    draw();
}

void setProgressDrawing(bool drawing, bool stdoutOnSameTerminal) {
    gDrawing = drawing;
    gSharedTerminal = stdoutOnSameTerminal;
}
