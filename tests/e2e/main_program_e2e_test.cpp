// The main program's checks that come after the link is opened: the
// time-out range, ZORVIUTIL_FLAGS, the verbose mode line and the end of a
// run whose standard output could not be written, against the real program
// and the simulated board.
#include <gtest/gtest.h>

#include "e2e_harness.h"

namespace {

using e2e::SimBoard;
using Lines = std::vector<std::string>;

TEST(E2eMainProgram, TimeOutOutOfRangeAfterTheLinkIsOpened) {
    SimBoard board;
    ASSERT_TRUE(board.ok()) << board.error();
    for (const char* timeout : {"0", "3600001"}) {
        SCOPED_TRACE(timeout);
        board.clearRequests();
        auto r = board.run({"-usbcom", "{port}", "-timeout", timeout, "version"});
        EXPECT_EQ(r.exitCode, 109);
        EXPECT_EQ(r.out, "*** Value for '-timeout' option must be in the range 1 .. 3600000.\n");
        EXPECT_EQ(board.requests(), Lines{"03 86"});  // opened (and identified) before the check
    }
    // The port was closed again: the next run opens it.
    auto ok = board.run({"-usbcom", "{port}", "-timeout", "3600000", "version"});
    EXPECT_EQ(ok.exitCode, 0);
}

TEST(E2eMainProgram, VerboseShowsTheModeAfterTheOpenerTraffic) {
    SimBoard board({"--service"});
    ASSERT_TRUE(board.ok()) << board.error();
    auto r = board.run({"+verbose", "-usbcom", "{port}", "product-id"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "DEBUG: ZORVI command[2] = { 03 86 }\n"
              "DEBUG: ZORVI response[6] = { 03 06 D0 02 00 00 }\n"
              "Current microcontroller mode: Service Mode\n"
              "DEBUG: ZORVI command[2] = { 03 86 }\n"
              "DEBUG: ZORVI response[6] = { 03 06 D0 02 00 00 }\n"
              "ZORVI firmware Product ID is 720(0x2D0)\n");
}

TEST(E2eMainProgram, UsbLinkRefusesServiceModeWhenFlagsClearThePermission) {
    SimBoard board;
    ASSERT_TRUE(board.ok()) << board.error();
    auto refused = board.run({"-usbcom", "{port}", "enter-service-mode"});
    EXPECT_EQ(refused.exitCode, 12);
    EXPECT_EQ(refused.out, "*** Enter Service Mode via USB is not supported.\n");
    // 17 sets and then clears the permission: still refused.
    auto cleared = board.run({"-usbcom", "{port}", "enter-service-mode"}, "", {{"ZORVIUTIL_FLAGS", "17"}});
    EXPECT_EQ(cleared.exitCode, 12);
    EXPECT_EQ(board.requests(), (Lines{"03 86", "03 86"}));
}

// Standard output on a full device: a verb that prints, as text or +json,
// fails with output_not_written and one line on standard error; a run that
// failed keeps its own code.
TEST(E2eMainProgram, StandardOutputThatCannotBeWritten) {
    SimBoard board({"--spi-chip", "0=w25q128"});
    ASSERT_TRUE(board.ok()) << board.error();
    struct Case {
        Lines verb;
        int code;
    };
    const Case cases[] = {
        {{"version"}, 46},         {{"display-vpd"}, 46},       {{"display-sensors"}, 46},
        {{"spi-info", "0"}, 46},   {{"display-black-box"}, 46}, {{"write-metrics", "-"}, 46},
        {{"display-black-box", "bogus"}, 39},
    };
    e2e::RunExtras extras;
    extras.stdoutFile = "/dev/full";
    for (const Case& c : cases)
        for (const char* form : {"-json", "+json"}) {
            SCOPED_TRACE(c.verb[0] + " " + form);
            Lines args = {"-usbcom", "{port}", form};
            args.insert(args.end(), c.verb.begin(), c.verb.end());
            const auto r = board.run(args, "", {}, 60000, extras);
            EXPECT_EQ(r.exitCode, c.code);
            EXPECT_EQ(r.err.rfind("*** Standard output could not be written whole", 0), 0u) << r.err;
            EXPECT_EQ(e2e::splitLines(r.err).size(), 1u) << r.err;
        }
}

}  // namespace
