#include "control/identity_verbs.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "base/out.h"
#include "platform/platform.h"
#include "support/fake_uc.h"

namespace {

// A clock that advances a fixed step at every reading.
uint32_t gNow = 0;
uint32_t gStep = 0;
uint32_t steppingClock() {
    uint32_t t = gNow;
    gNow += gStep;
    return t;
}

struct SteppingClock {
    platform::ClockHooks old;
    SteppingClock(uint32_t start, uint32_t step) {
        gNow = start;
        gStep = step;
        old = platform::setClockHooks({steppingClock, nullptr});
    }
    ~SteppingClock() { platform::setClockHooks(old); }
};

uint32_t echo(const Bytes& req, Bytes& reply) {
    reply = req;
    reply[1] = 0x04;
    return 0;
}

TEST(Version, NamesTheRunningFirmware) {
    for (uint32_t service : {0u, 1u}) {
        FakeUc uc;
        uc.context()->inServiceMode = service;
        uc.queueReply({0x03, 0x03, 0x04, 0x00, 0x1A, 0x00, 0x00, 0x00, 0x07, 0x00});
        OutCapture cap;
        EXPECT_EQ(showVersion(uc.context(), false), 0u);
        EXPECT_EQ(cap.text(), service ? "ZORVI Ignis2 version is 4.26.0.7\n" : "ZORVI Keeper2 version is 4.26.0.7\n");
        EXPECT_EQ(uc.requests()[0], (Bytes{0x03, 0x83}));
    }
}

TEST(CommTest, RunsForTwoSecondsWithSeedsThatSkipZero) {
    // Start at a tick near the 32-bit wrap: the deadline must still hold.
    SteppingClock clock(0xFFFFFF00u, 5);
    FakeUc uc;
    uc.onRequest(echo);
    OutCapture cap;
    EXPECT_EQ(runCommTest(uc.context(), false), 0u);
    // One tick for the start, then one per iteration until 2000 ms: 400 iterations.
    ASSERT_EQ(uc.requests().size(), 400u);
    EXPECT_EQ(uc.requests()[0][2], 1);
    EXPECT_EQ(uc.requests()[0][33], 32);
    EXPECT_EQ(uc.requests()[255], uc.requests()[0]);  // the seed runs 1..255
    EXPECT_EQ(cap.text(),
              "Measuring data rate for 2000 ms using Loopback32 command...\n"
              "Link sent / received rate = 6800.0 / 6800.0 B/s\n"
              "Payload sent / received rate = 6400.0 / 6400.0 B/s\n");
}

TEST(CommTest, AnErrorInTheFirstIterationStopsBeforeAnyRate) {
    SteppingClock clock(1000, 5);
    FakeUc uc;
    uc.onRequest([](const Bytes& req, Bytes& reply) -> uint32_t {
        echo(req, reply);
        for (int j = 0; j < 12; ++j) reply[2 + j] ^= 0xFF;
        return 0;
    });
    OutCapture cap;
    EXPECT_EQ(runCommTest(uc.context(), false), 0u);
    std::string expected = "Measuring data rate for 2000 ms using Loopback32 command...\n";
    char line[128];
    for (int j = 0; j < 10; ++j) {
        snprintf(line, sizeof line, "*** Error in loopback32 response data byte %d: expected=0x%02X actual=0x%02X\n",
                 j, 1 + j, (1 + j) ^ 0xFF);
        expected += line;
    }
    expected += "*** More errors in loopback32 response data.\n";
    expected += "*** Data rates not computed because the test did not run for long enough.\n";
    EXPECT_EQ(cap.text(), expected);
}

TEST(CommTest, LinkFailureEndsAtOnce) {
    SteppingClock clock(0, 5);
    FakeUc uc;
    uc.queueFailure(532);
    OutCapture cap;
    EXPECT_EQ(runCommTest(uc.context(), false), 102u);
    EXPECT_EQ(cap.text().find("rate"), cap.text().rfind("rate"));  // only the "Measuring data rate" line
}

TEST(Raw, PrintsTheWholeExpectedWindow) {
    FakeUc uc;
    uc.queueReply({0x03, 0x06});
    OutCapture cap;
    const uint8_t request[] = {0x03, 0x86};
    EXPECT_EQ(sendRaw(request, 3, uc.context(), false, 2), 0u);
    EXPECT_EQ(cap.text(),
              "+++ Unexpected ZORVI response length 2 bytes; expected 3 bytes.\n"
              "Expected/actual response length = 3 / 2\n03 06 00 \n");

    FakeUc wrap;
    wrap.queueReply({0xFF, 0x7F});
    const uint8_t odd[] = {0xFF, 0x00};  // byte 1 minus 0x80 wraps to 0x80
    OutCapture cap2;
    EXPECT_EQ(sendRaw(odd, 2, wrap.context(), false, 2), 0u);
    EXPECT_EQ(cap2.text(),
              "+++ Unexpected ZORVI response code { 0xFF, 0x7F }; expected { 0xFF, 0x80 }.\n"
              "Expected/actual response length = 2 / 2\nFF 7F \n");

    // A window of 0 or 1 bytes holds no whole reply code: the lengths and the
    // bytes held are shown, and no code warning is made up from beyond it.
    for (uint32_t window : {0u, 1u}) {
        SCOPED_TRACE(window);
        FakeUc small;
        small.queueReply({0x03, 0x06, 0x39});
        OutCapture cap3;
        EXPECT_EQ(sendRaw(request, window, small.context(), false, 2), 0u);
        EXPECT_EQ(cap3.text(), window == 0 ? "+++ Unexpected ZORVI response length 3 bytes; expected 0 bytes.\n"
                                             "Expected/actual response length = 0 / 3\n\n"
                                           : "+++ Unexpected ZORVI response length 3 bytes; expected 1 bytes.\n"
                                             "Expected/actual response length = 1 / 3\n03 \n");
    }
}

// A stop request that comes while the reply is on its way ends the run
// before the dump: nothing of it is printed, and the verb fails.
TEST(Raw, StopRequestCutsTheDump) {
    FakeUc uc;
    uc.onRequest([](const Bytes&, Bytes& reply) -> uint32_t {
        platform::setStopRequested(SIGTERM);
        reply = {0x03, 0x06, 0x39};
        return 0;
    });
    OutCapture cap;
    const uint8_t request[] = {0x03, 0x86};
    EXPECT_EQ(sendRaw(request, 3, uc.context(), false, 2), 102u);
    platform::setStopRequested(0);
    EXPECT_EQ(cap.text().rfind("Expected/actual response length = 3 / 3\n\n", 0), 0u) << cap.text();
}

TEST(TestClobber, StatusAndServiceMode) {
    FakeUc uc;
    uc.queueReply({0x05, 0x06, 0x00});
    uc.queueReply({0x05, 0x06, 0x03});
    OutCapture cap;
    EXPECT_EQ(testClobber(uc.context(), false), 0u);
    EXPECT_EQ(testClobber(uc.context(), false), 103u);
    EXPECT_EQ(cap.take(), "*** ZORVI returned status 0x03 => ** UNEXPECTED ERROR CODE **\n");
    uc.context()->inServiceMode = 1;
    EXPECT_EQ(testClobber(uc.context(), false), 13u);
    EXPECT_EQ(cap.take(),
              "*** The test-clobber command requires the device to not be in Service Mode.\n"
              "    Please exit Service Mode manually using switch setting or by issuing the exit-service-mode "
              "command.\n");
    EXPECT_EQ(uc.requests().size(), 2u);
}

TEST(TestTimeout, SucceedsOnlyOnALinkFailure) {
    FakeUc uc;
    uc.queueFailure(532);
    uc.queueReply({0xFF, 0x01});
    uc.queueReply({0xFF});
    OutCapture cap;
    EXPECT_EQ(testTimeout(uc.context(), false), 0u);
    EXPECT_EQ(cap.take(), "*** Failed to send command to ZORVI uC via USB: ZORVI_TIMEOUT\n");
    EXPECT_EQ(testTimeout(uc.context(), false), 102u);
    EXPECT_EQ(cap.take(), "*** Microcontroller command succeeded unexpectedly.\n");
    EXPECT_EQ(testTimeout(uc.context(), false), 102u);
    EXPECT_EQ(cap.take(),
              "+++ Unexpected ZORVI response length 1 bytes; expected 2 bytes.\n"
              "+++ ZORVI response too short to be valid.\n"
              "*** Microcontroller command failed, but not in the expected way.\n");
}

}  // namespace
