// The progress line on a real terminal: a uC image save on a slow line draws
// it on standard error and clears it at the end, while standard output is
// what it is in a pipe; ZORVIUTIL_PROGRESS=0 keeps the terminal clean.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "e2e_harness.h"

namespace {

TEST(ProgressTerminal, ImageSaveDrawsAndClearsItsLine) {
    if (!e2e::windowsBinDir().empty()) GTEST_SKIP() << "a Windows console is no pseudo-terminal";
    // The same save in a pipe, on a board at full speed: the usual text.
    e2e::SimBoard fast;
    ASSERT_TRUE(fast.ok()) << fast.error();
    const std::string path = fast.tempDir() + "/fw.bin";
    const e2e::RunResult piped = fast.run({"-psuart", "{port}", "save-firmware", path});
    ASSERT_EQ(piped.exitCode, 0) << piped.out;
    // A paced line: reading the image takes seconds, whatever the machine,
    // and the first line is drawn after one.
    e2e::SimBoard slow({"--baud", "1000000"});
    ASSERT_TRUE(slow.ok()) << slow.error();
    e2e::RunExtras terminal;
    terminal.stderrOnTerminal = true;
    for (const char* setting : {"1", "0"}) {
        SCOPED_TRACE(setting);
        const e2e::RunResult r = slow.run({"-psuart", "{port}", "save-firmware", path}, "",
                                          {{"ZORVIUTIL_PROGRESS", setting}}, 120000, terminal);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, piped.out);
        if (setting == std::string("0")) {
            EXPECT_EQ(r.err, "");
            continue;
        }
        // Each drawing returns to the line's start; the last one is followed
        // by blanks over it, and nothing is drawn after them.
        static const std::regex last(
            R"(\r(Reading [0-9.]+ [KMG]?i?B of [0-9.]+ [KMG]?i?B \([0-9]+%\)[^\r]*)\r\r( +)\r$)");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(r.err, m, last)) << r.err;
        EXPECT_GE(m[2].length(), m[1].str().find_last_not_of(' ') + 1);
    }
}

// A screen of a terminal that shows both streams, as the progress line's
// user sees it: a drawing is "\r<text>\r", blanks in it clear the line, and
// any other text is a line of standard output (the terminal's "\r\n" read as
// "\n"). The program works (waits for the board) after it prints a line, so
// the screen the user looks at is the one right after each line: `shownAfter`
// counts the lines of `lines` (those after the first drawing) that the
// progress line follows at once, as it stood before them, not a newer
// drawing made once the work is done.
struct Screen {
    std::string out;
    int lines = 0;
    int shownAfter = 0;
};

Screen readScreen(std::string stream) {
    for (size_t at; (at = stream.find("\r\n")) != std::string::npos;) stream.replace(at, 2, "\n");
    Screen s;
    std::string drawn;  // the last drawing
    bool afterLine = false;
    for (size_t i = 0; i < stream.size();) {
        if (stream[i] == '\r') {
            const size_t end = stream.find('\r', i + 1);
            if (end == std::string::npos) break;
            const std::string text = stream.substr(i + 1, end - i - 1);
            const bool blank = text.find_first_not_of(' ') == std::string::npos;
            if (afterLine && !blank && text == drawn) ++s.shownAfter;
            if (!blank) drawn = text;
            afterLine = false;
            i = end + 1;
            continue;
        }
        const size_t end = std::min(stream.find_first_of("\r\n", i), stream.size() - 1);
        const bool endsLine = stream[end] == '\n';
        s.out += stream.substr(i, end - i + (endsLine ? 1 : 0));
        afterLine = endsLine && !drawn.empty();
        if (afterLine) ++s.lines;
        i = end + (endsLine ? 1 : 0);
    }
    return s;
}

// spi-program-bin prints a line per block; on a slow line the progress line
// stays below them, drawn again after each, and standard output is what a
// pipe gets, whether it shows on the terminal or goes elsewhere.
TEST(ProgressTerminal, LineStaysBelowTheBlockLines) {
    if (!e2e::windowsBinDir().empty()) GTEST_SKIP() << "a Windows console is no pseudo-terminal";
    const std::vector<std::string> sim = {"--spi-chip", "0=w25q128", "--exchange-us", "1500"};
    e2e::SimBoard piped(sim);
    ASSERT_TRUE(piped.ok()) << piped.error();
    const std::string image = piped.tempDir() + "/img.bin";
    ASSERT_TRUE(e2e::writeFile(image, std::string(12 * 4096, '\x5A')));
    const std::vector<std::string> args = {"-usbcom", "{port}", "spi-program-bin", "0", image, "0x1000"};
    const e2e::RunResult expected = piped.run(args);
    ASSERT_EQ(expected.exitCode, 0) << expected.out;
    for (bool shared : {true, false}) {
        SCOPED_TRACE(shared ? "standard output on the terminal" : "standard output in a pipe");
        e2e::SimBoard board(sim);
        ASSERT_TRUE(board.ok()) << board.error();
        e2e::RunExtras terminal;
        terminal.stderrOnTerminal = true;
        terminal.stdoutOnTerminal = shared;
        const e2e::RunResult r = board.run(args, "", {}, 120000, terminal);
        EXPECT_EQ(r.exitCode, 0);
        const Screen screen = readScreen(r.err);
        EXPECT_EQ(shared ? screen.out : r.out, expected.out);
        if (shared) {
            EXPECT_GE(screen.lines, 4) << r.err;
            // All but the lines after the operation, which end it.
            EXPECT_GE(screen.shownAfter * 4, screen.lines * 3) << r.err;
        } else {
            // Nothing clears the line but its end.
            EXPECT_EQ(screen.out, "");
            static const std::regex cleared(R"(\r +\r)");
            const auto clears = std::distance(std::sregex_iterator(r.err.begin(), r.err.end(), cleared),
                                              std::sregex_iterator());
            EXPECT_EQ(clears, 1) << r.err;
        }
    }
}

}  // namespace
