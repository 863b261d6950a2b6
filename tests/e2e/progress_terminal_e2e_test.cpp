// The progress line on a real terminal: a uC image save on a slow line draws
// it on standard error and clears it at the end, while standard output is
// what it is in a pipe; ZORVIUTIL_PROGRESS=0 keeps the terminal clean.
#include <gtest/gtest.h>

#include <regex>
#include <string>

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

}  // namespace
