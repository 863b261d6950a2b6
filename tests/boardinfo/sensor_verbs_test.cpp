// The sensor verbs against a scripted uC: messages sent, refusals, status
// handling and what reaches the screen.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "base/out.h"
#include "boardinfo/sensor_test_board.h"
#include "boardinfo/sensors.h"

namespace {

using sensortest::SensorTestBoard;
using sensortest::skeleton;

const char* const kExitHint =
    "    Please exit Service Mode manually using switch setting or by issuing the exit-service-mode command.\n";

TEST(SensorVerbs, EveryVerbRefusesInServiceModeWithoutAnyExchange) {
    struct Case {
        const char* verb;
        std::function<Result(ConnectionContext*)> run;
    };
    const Case cases[] = {
        {"display-sensors", [](ConnectionContext* c) { return displaySensors(false, c); }},
        {"display-sensors-raw", [](ConnectionContext* c) { return displaySensorsRaw(c, false); }},
        {"display-black-box", [](ConnectionContext* c) { return displayBlackBox(c, false, 3, 0); }},
        {"override-sensor", [](ConnectionContext* c) { return overrideSensor(4, c, false, 100); }},
        {"release-sensor", [](ConnectionContext* c) { return releaseSensor(4, c, false); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verb);
        FakeUc uc;
        SensorTestBoard board;
        board.attach(uc);
        uc.context()->inServiceMode = 1;
        OutCapture cap;
        EXPECT_EQ(c.run(uc.context()), 13u);
        EXPECT_EQ(cap.text(), std::string("*** The ") + c.verb +
                                  " command requires the device to not be in Service Mode.\n" + kExitHint);
        EXPECT_TRUE(uc.requests().empty());
    }
}

TEST(SensorVerbs, DisplaySensorsReadsVpdThenPageAndDecodesForTheModel) {
    FakeUc uc;
    SensorTestBoard board;
    board.setModel(1492, 0x30);
    board.sensors[0x0A] = 0x00;  // channel 1 = 0x0600
    board.sensors[0x0B] = 0x06;
    board.attach(uc);
    OutCapture cap;
    EXPECT_EQ(displaySensors(false, uc.context()), 0u);
    ASSERT_EQ(uc.requests().size(), 2u);
    EXPECT_EQ(uc.requests()[0], (Bytes{0x05, 0x8C}));
    EXPECT_EQ(uc.requests()[1], (Bytes{0x05, 0x89}));
    const std::string text = cap.text();
    EXPECT_EQ(text.rfind("Human-readable Sensor Page:\n  ETC         = { 0x00 0x00 0x00 0x00 } => 0 (0x00000000)\n", 0),
              0u)
        << text;
    // PCB revision 3.0 of this model reads channel 1 at 1/256.
    EXPECT_NE(text.find("  ADC01 (#01) = { 0x00 0x06 }           => 0x0600 => 6.000 A [12V current (AUX8 conn.)]\n"),
              std::string::npos)
        << text;

    // Revision 2.1: the same reading at 1/4096.
    board.setModel(1492, 0x21);
    cap.take();
    EXPECT_EQ(displaySensors(false, uc.context()), 0u);
    EXPECT_NE(cap.text().find("=> 0x0600 => 0.375 A [12V current (AUX8 conn.)]\n"), std::string::npos) << cap.text();
}

TEST(SensorVerbs, DisplaySensorsStopsAtTheFirstFailure) {
    {
        SCOPED_TRACE("VPD status");
        FakeUc uc;
        SensorTestBoard board;
        board.vpdStatus = 2;
        board.attach(uc);
        OutCapture cap;
        EXPECT_EQ(displaySensors(false, uc.context()), 102u);
        EXPECT_EQ(cap.text(), "*** ZORVI returned status 0x02 for Request VPD command\n");
        EXPECT_EQ(uc.requests().size(), 1u);
    }
    {
        SCOPED_TRACE("sensor status");
        FakeUc uc;
        SensorTestBoard board;
        board.sensorStatus = 0x11;
        board.attach(uc);
        OutCapture cap;
        EXPECT_EQ(displaySensors(false, uc.context()), 102u);
        EXPECT_EQ(cap.text(), "*** ZORVI returned status 0x11 for Request Sensors command\n");
    }
    {
        SCOPED_TRACE("link failure");
        FakeUc uc;  // default handler: every request times out
        OutCapture cap;
        EXPECT_EQ(displaySensorsRaw(uc.context(), false), 102u);
        EXPECT_EQ(cap.text(), "*** Failed to send command to ZORVI uC via USB: ZORVI_TIMEOUT\n");
    }
}

TEST(SensorVerbs, DisplaySensorsRawNeedsNoVpd) {
    FakeUc uc;
    SensorTestBoard board;
    for (int i = 0; i < 64; ++i) board.sensors[i] = static_cast<uint8_t>(0x41 + i % 26);
    board.attach(uc);
    OutCapture cap;
    EXPECT_EQ(displaySensorsRaw(uc.context(), false), 0u);
    ASSERT_EQ(uc.requests().size(), 1u);
    EXPECT_EQ(uc.requests()[0], (Bytes{0x05, 0x89}));
    EXPECT_EQ(cap.text(),
              "Raw Sensor Page:\n"
              "      +0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F\n"
              "0x00: 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 ABCDEFGHIJKLMNOP\n"
              "0x10: 51 52 53 54 55 56 57 58 59 5A 41 42 43 44 45 46 QRSTUVWXYZABCDEF\n"
              "0x20: 47 48 49 4A 4B 4C 4D 4E 4F 50 51 52 53 54 55 56 GHIJKLMNOPQRSTUV\n"
              "0x30: 57 58 59 5A 41 42 43 44 45 46 47 48 49 4A 4B 4C WXYZABCDEFGHIJKL\n");
}

TEST(SensorVerbs, OverrideAndReleaseMessages) {
    FakeUc uc;
    SensorTestBoard board;
    board.attach(uc);
    OutCapture cap;
    EXPECT_EQ(overrideSensor(255, uc.context(), false, 0x12345678), 0u);
    EXPECT_EQ(overrideSensor(3, uc.context(), false, 0xC000), 0u);
    EXPECT_EQ(releaseSensor(17, uc.context(), false), 0u);
    EXPECT_EQ(cap.text(), "");
    ASSERT_EQ(uc.requests().size(), 3u);
    EXPECT_EQ(uc.requests()[0], (Bytes{0x05, 0x81, 0xFF, 0x78, 0x56, 0x34, 0x12, 0x01}));
    EXPECT_EQ(uc.requests()[1], (Bytes{0x05, 0x81, 0x03, 0x00, 0xC0, 0x00, 0x00, 0x01}));
    EXPECT_EQ(uc.requests()[2], (Bytes{0x05, 0x81, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00}));
}

TEST(SensorVerbs, SensorIndexAbove255IsRefusedFirst) {
    for (uint32_t serviceMode : {0u, 1u}) {
        SCOPED_TRACE(serviceMode);
        FakeUc uc;
        SensorTestBoard board;
        board.attach(uc);
        uc.context()->inServiceMode = serviceMode;
        OutCapture cap;
        EXPECT_EQ(overrideSensor(256, uc.context(), false, 1), 3u);
        EXPECT_EQ(releaseSensor(0xFFFFFFFF, uc.context(), false), 3u);
        EXPECT_EQ(cap.text(),
                  "*** Sensor index must be in the range 0 to 255.\n"
                  "*** Sensor index must be in the range 0 to 255.\n");
        EXPECT_TRUE(uc.requests().empty());
    }
}

TEST(SensorVerbs, OverrideStatusIsReportedAs103) {
    struct Case {
        uint8_t status;
        const char* line;
    };
    const Case cases[] = {
        {1, "*** ZORVI returned status 0x01 => Invalid sensor index\n"},
        {2, "*** ZORVI returned status 0x02 => ** UNEXPECTED ERROR CODE **\n"},
        {0xFF, "*** ZORVI returned status 0xFF => ** UNEXPECTED ERROR CODE **\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.status));
        FakeUc uc;
        SensorTestBoard board;
        board.overrideStatus = c.status;
        board.attach(uc);
        OutCapture cap;
        EXPECT_EQ(overrideSensor(40, uc.context(), false, 7), 103u);
        EXPECT_EQ(releaseSensor(40, uc.context(), false), 103u);
        EXPECT_EQ(cap.text(), std::string(c.line) + c.line);
    }
}

TEST(SensorVerbs, ShortReplyLeavesNoStaleBytes) {
    // A reply that stops after the status byte must not show old buffer
    // contents as readings: the page comes out as zeros.
    FakeUc uc;
    uc.queueReply(Bytes{0x05, 0x09, 0x00});
    uint8_t page[64];
    std::memset(page, 0xAB, sizeof page);
    OutCapture cap;
    EXPECT_EQ(requestSensors(uc.context(), page, false), 0u);
    EXPECT_EQ(cap.text(), "+++ Unexpected ZORVI response length 3 bytes; expected 67 bytes.\n");
    for (uint8_t b : page) EXPECT_EQ(b, 0u);
}

}  // namespace
