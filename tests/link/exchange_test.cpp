#include <gtest/gtest.h>

#include <string>

#include "base/out.h"
#include "link/board_reads.h"
#include "link/connection.h"
#include "link/openers.h"
#include "platform/platform.h"
#include "support/fake_uc.h"

namespace {

const uint8_t kIdRequest[2] = {0x03, 0x86};
const uint8_t kIdCode[2] = {0x03, 0x06};

struct Exchange {
    Result code;
    std::string text;
    uint8_t reply[6];
    uint32_t actual;
};

Exchange exchange(FakeUc& uc, bool verbose, uint32_t timeoutUs = 0) {
    Exchange e{};
    OutCapture cap;
    e.code = sendUcCommand(2, uc.context(), verbose, timeoutUs, kIdRequest, kIdCode, e.reply, 6, &e.actual);
    e.text = cap.text();
    return e;
}

TEST(SendUcCommand, RepliesAndTheirWarnings) {
    struct Case {
        const char* name;
        Bytes reply;
        Result code;
        std::string text;
    };
    const Case cases[] = {
        {"exact", {0x03, 0x06, 0x39, 0x30, 0x00, 0x00}, 0, ""},
        {"one byte", {0x03}, 104,
         "+++ Unexpected ZORVI response length 1 bytes; expected 6 bytes.\n+++ ZORVI response too short to be valid.\n"},
        {"wrong code", {0x03, 0x07, 0, 0, 0, 0}, 0,
         "+++ Unexpected ZORVI response code { 0x03, 0x07 }; expected { 0x03, 0x06 }.\n"},
        {"long", {0x03, 0x06, 1, 2, 3, 4, 5, 6}, 0, "+++ Unexpected ZORVI response length 8 bytes; expected 6 bytes.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeUc uc;
        uc.queueReply(c.reply);
        Exchange e = exchange(uc, false);
        EXPECT_EQ(e.code, c.code);
        EXPECT_EQ(e.text, c.text);
    }
}

TEST(SendUcCommand, VerboseDumpsShowOnlyTheBuffer) {
    FakeUc uc;
    uc.queueReply({0x03, 0x06, 0xD1, 0x02, 0x00, 0x00, 0xAA, 0xBB});
    Exchange e = exchange(uc, true);
    EXPECT_EQ(e.code, 0u);
    EXPECT_EQ(e.text,
              "DEBUG: ZORVI command[2] = { 03 86 }\n"
              "DEBUG: ZORVI response[6] = { 03 06 D1 02 00 00 }\n"
              "DEBUG: 2 extra unexpected characters of actual ZORVI response were discarded.\n"
              "+++ Unexpected ZORVI response length 8 bytes; expected 6 bytes.\n");

    FakeUc empty;
    empty.queueReply({});
    Exchange z = exchange(empty, true);
    EXPECT_EQ(z.code, 104u);
    EXPECT_NE(z.text.find("DEBUG: ZORVI response[0] = { }\n"), std::string::npos);
}

// A reply window smaller than the reply code (raw with an expected length of
// 0 or 1): only the window is the caller's, so the code is not checked from
// bytes beyond it. The sentinels stand for memory past the window.
TEST(SendUcCommand, WindowSmallerThanTheCodeIsNeverReadBeyond) {
    struct Case {
        uint32_t window;
        std::string text;
    };
    const Case cases[] = {
        {0, "+++ Unexpected ZORVI response length 2 bytes; expected 0 bytes.\n"},
        {1, "+++ Unexpected ZORVI response length 2 bytes; expected 1 bytes.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.window);
        FakeUc uc;
        uc.queueReply({0x03, 0x06});
        uint8_t reply[2] = {0xEE, 0xEE};
        uint32_t actual = 0;
        OutCapture cap;
        EXPECT_EQ(sendUcCommand(2, uc.context(), false, 0, kIdRequest, kIdCode, reply, c.window, &actual), 0u);
        EXPECT_EQ(cap.text(), c.text);
        EXPECT_EQ(reply[1], 0xEE);
    }
}

TEST(SendUcCommand, LinkFailureAndTimeOut) {
    FakeUc uc;
    uc.queueFailure(532);
    Exchange e = exchange(uc, false);
    EXPECT_EQ(e.code, 102u);
    EXPECT_EQ(e.text, "*** Failed to send command to ZORVI uC via USB: ZORVI_TIMEOUT\n");
    // Time-out 0 means the context's own.
    EXPECT_EQ(uc.timeouts()[0], 1000000u);
    uc.queueReply({0x03, 0x06, 0, 0, 0, 0});
    exchange(uc, false, 250);
    EXPECT_EQ(uc.timeouts()[1], 250u);
}

// After a stop request nothing goes out but the hand-back steps; the
// refusal is reported once per run.
TEST(SendUcCommand, StopRequestRefusesAllButWindDown) {
    FakeUc uc;
    platform::setStopRequested(2);
    const Exchange first = exchange(uc, false);
    const Exchange second = exchange(uc, false);
    uc.queueReply({0x03, 0x06, 0, 0, 0, 0});
    Exchange windingDown;
    {
        WindDown windDown;
        windingDown = exchange(uc, false);
    }
    platform::setStopRequested(0);
    EXPECT_EQ(first.code, 102u);
    EXPECT_EQ(first.text, std::string("*** Stopped by ") + platform::stopRequestName(2) +
                              "; no further commands are sent to the uC.\n");
    EXPECT_EQ(second.code, 102u);
    EXPECT_EQ(second.text, "");
    EXPECT_EQ(windingDown.code, 0u);
    EXPECT_EQ(uc.requests().size(), 1u);
}

// Once an exchange found the line gone (a failed line, a closed handle),
// the hand-back steps fail at once, with one warning for all of them; a
// time-out is no sign of it, and the verb's own exchanges still go out.
TEST(SendUcCommand, HandBackSkippedOnceTheLineIsGone) {
    for (const uint32_t status : {513u, 521u, 532u}) {
        SCOPED_TRACE(status);
        const bool gone = status != 532;
        FakeUc uc;
        uc.queueFailure(status);
        exchange(uc, false);
        testing::internal::CaptureStderr();
        {
            WindDown windDown;
            for (int i = 0; i < 2; ++i) EXPECT_EQ(exchange(uc, false).text.empty(), gone);
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  gone ? "zorviutil: warning: the line to the uC is gone; the remaining steps that hand the board "
                         "back are skipped\n"
                       : "");
        exchange(uc, false);  // not a hand-back step
        EXPECT_EQ(uc.requests().size(), gone ? 2u : 4u);
    }
}

TEST(IdentityReads, ProductIdVpdAndFlashPages) {
    FakeUc uc;
    uc.queueReply({0x03, 0x06, 0x39, 0x30, 0x00, 0x00});
    OutCapture cap;
    uint32_t id = 0;
    EXPECT_EQ(readProductId(uc.context(), &id, false, false), 0u);
    EXPECT_EQ(id, 12345u);
    EXPECT_EQ(cap.take(), "ZORVI firmware Product ID is 12345(0x3039)\n");

    Bytes vpdReply(259, 0);
    vpdReply[0] = 0x05;
    vpdReply[1] = 0x0C;
    vpdReply[2] = 0x07;
    uc.queueReply(vpdReply);
    uint8_t vpd[256];
    std::fill(std::begin(vpd), std::end(vpd), 0x5A);
    EXPECT_EQ(requestVpd(uc.context(), vpd, false), 102u);
    EXPECT_EQ(cap.take(), "*** ZORVI returned status 0x07 for Request VPD command\n");
    EXPECT_EQ(vpd[0], 0x5A);  // nothing copied on a failed status

    // 600 bytes from 0x1FE80: the last 384 bytes of one page, the first 216 of the next.
    uc.onRequest([](const Bytes& req, Bytes& reply) -> uint32_t {
        reply.assign(515, 0);
        reply[0] = 0x06;
        for (int i = 0; i < 512; ++i) reply[3 + i] = static_cast<uint8_t>(req[3] + i);
        return 0;
    });
    uint8_t data[600];
    EXPECT_EQ(readAppFlash(data, uc.context(), false, 0x1FE80, 600), 0u);
    EXPECT_EQ(cap.take(),
              "Reading Application Flash page @ 0x1FE00...\nReading Application Flash page @ 0x20000...\n");
    ASSERT_EQ(uc.requests().size(), 4u);
    EXPECT_EQ(uc.requests()[2], (Bytes{0x06, 0x80, 0x09, 0xFF, 0x00}));
    EXPECT_EQ(uc.requests()[3], (Bytes{0x06, 0x80, 0x09, 0x00, 0x01}));
    EXPECT_EQ(data[0], static_cast<uint8_t>(0xFF + 0x80));
    EXPECT_EQ(data[384], 0x00);
    EXPECT_EQ(data[599], static_cast<uint8_t>(215));
}

TEST(CheckProductId, ClassifiesFirmware) {
    struct Case {
        uint32_t id;
        Result code;
        uint32_t service;
    };
    const Case cases[] = {{720, 0, 1}, {1320, 0, 1}, {0x2D000, 0, 1}, {721, 0, 0}, {1321, 0, 0}, {0x2D100, 0, 0},
                          {722, 14, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        FakeUc uc;
        uc.context()->inServiceMode = 1;
        uc.queueReply({0x03, 0x06, static_cast<uint8_t>(c.id), static_cast<uint8_t>(c.id >> 8),
                       static_cast<uint8_t>(c.id >> 16), 0});
        OutCapture cap;
        EXPECT_EQ(checkProductId(uc.context(), false), c.code);
        EXPECT_EQ(uc.context()->inServiceMode, c.service);
        if (c.code == 14) {
            EXPECT_EQ(cap.text(),
                      "*** ZORVI firmware Product ID 722(0x2D2) not recognized. Aborting as a precaution against "
                      "firmware corruption.\n");
        }
    }
}

TEST(PsUartString, SplitsPortAndBaud) {
    struct Case {
        const char* text;
        bool bad;
        const char* port;
        bool hasBaud;
        const char* baud;
        const char* extra;
    };
    const Case cases[] = {
        {"COM4", false, "COM4", false, "", ""},
        {"COM4,", false, "COM4", false, "", ""},
        {",9600", true, "", false, "", ""},
        {"COM4,,9600", true, "COM4", false, "", ""},
        {"", true, "", false, "", ""},
        {"COM4,9600,8N1", false, "COM4", true, "9600", "8N1"},
        {"COM4,9600,8N1,x", false, "COM4", true, "9600", "8N1,x"},
        {"/dev/serial/by-id/usb-Board_Management_Controller_0123456789-if00,171428", false,
         "/dev/serial/by-id/usb-Board_Management_Controller_0123456789-if00", true, "171428", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        PsUartSpec s = splitPsUartString(c.text);
        EXPECT_EQ(s.bad, c.bad);
        if (c.bad) continue;
        EXPECT_EQ(s.port, c.port);
        EXPECT_EQ(s.hasBaud, c.hasBaud);
        EXPECT_EQ(s.baudText, c.baud);
        EXPECT_EQ(s.extra, c.extra);
    }
}

// The port name reaches ZORVI_OpenPortW as whole characters, so the library's
// own UTF-8 form of it is the name the user typed.
TEST(PortName, WidensWholeUtf8Characters) {
    struct Case {
        const char* name;
        std::wstring wide;
    };
    const Case cases[] = {
        {"/dev/ttyACM0", L"/dev/ttyACM0"},
        {"/dev/serial/by-id/usb-P\xC3\xB6rt", L"/dev/serial/by-id/usb-P\u00F6rt"},  // 2-byte form
        {"a\xE2\x82\xAC" "b", L"a\u20ACb"},                                         // 3-byte form
        {"\xF0\x9F\x94\x8C", L"\U0001F50C"},                                        // 4-byte form
        {"x\xFFy", L"x\uFFFDy"},                                                     // not a lead byte
        {"x\xC3y", L"x\uFFFDy"},                                                     // cut short
        {"x\xC0\xAF", L"x\uFFFD\uFFFD"},                                             // overlong '/'
        {"\xED\xA0\x80", L"\uFFFD"},                                                 // surrogate
        {"end\xE2\x82", L"end\uFFFD"},                                               // cut at the end
        {"", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(widenPortName(c.name) == c.wide);
    }
}

TEST(CloseConnection, ClosesOnlyAnOpenHandle) {
    closeConnection(nullptr);
    FakeUc uc;
    auto* ctx = new ConnectionContext(*uc.context());
    closeConnection(ctx);
    EXPECT_EQ(uc.closeCalls(), 1);
    auto* unopened = new ConnectionContext(*uc.context());
    unopened->isOpen = 0;
    closeConnection(unopened);
    EXPECT_EQ(uc.closeCalls(), 1);
}

}  // namespace
