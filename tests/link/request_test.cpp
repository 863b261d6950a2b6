// ucRequest: the request built from its description, the reply code derived
// from it, and each form of status line.
#include <gtest/gtest.h>

#include <string>

#include "base/out.h"
#include "link/board_reads.h"
#include "link/request.h"
#include "support/fake_uc.h"

namespace {

constexpr StatusText kTexts[] = {{1, "One"}, {2, "Two", kBoardPoweredOff}};
constexpr UcRequest kText{.group = 0x05, .command = 0x95, .texts = kTexts};
constexpr UcRequest kError{.group = 0x05, .command = 0x93, .line = StatusLine::ErrorText, .texts = kTexts};
constexpr UcRequest kNamed{.group = 0x06, .command = 0x82, .line = StatusLine::CommandName, .name = "Named"};
constexpr UcRequest kChip{.group = 0x05, .command = 0x9B, .texts = kTexts, .chipErrorsFrom = 0x80};
constexpr UcRequest kNoStatus{.group = 0x03, .command = 0x83, .line = StatusLine::None};

struct Case {
    const char* name;
    const UcRequest& request;
    Bytes reply;
    int64_t byteIndex;
    Result result;
    std::string text;
    Bytes payload;  ///< the two payload bytes afterwards
};

TEST(UcRequest, StatusLinesPayloadAndReplyCode) {
    const std::string unexpected = "** UNEXPECTED ERROR CODE **";
    const Case cases[] = {
        {"status 0", kText, {0x05, 0x15, 0, 0xAB, 0xCD}, -1, kOk, "", {0xAB, 0xCD}},
        {"known status", kText, {0x05, 0x15, 1, 0, 0}, -1, kUnexpectedStatus,
         "*** ZORVI returned status 0x01 => One\n", {0xEE, 0xEE}},
        {"its own result", kText, {0x05, 0x15, 2, 0, 0}, -1, kBoardPoweredOff,
         "*** ZORVI returned status 0x02 => Two\n", {0xEE, 0xEE}},
        {"unknown status", kText, {0x05, 0x15, 9, 0, 0}, -1, kUnexpectedStatus,
         "*** ZORVI returned status 0x09 => " + unexpected + "\n", {0xEE, 0xEE}},
        {"for a byte", kText, {0x05, 0x15, 1, 0, 0}, 7, kUnexpectedStatus,
         "*** ZORVI returned status 0x01 for byte 7 => One\n", {0xEE, 0xEE}},
        {"error status", kError, {0x05, 0x13, 2, 0, 0}, -1, kBoardPoweredOff,
         "*** ZORVI returned error status 0x02 => Two\n", {0xEE, 0xEE}},
        {"command name", kNamed, {0x06, 0x02, 1, 0, 0}, -1, kLinkFailure,
         "*** ZORVI returned status 0x01 for Named command\n", {0xEE, 0xEE}},
        {"chip error", kChip, {0x05, 0x1B, 0x83, 0, 0}, -1, kUnexpectedStatus,
         "*** ZORVI returned status 0x83 => chip-specific error 0x3\n", {0xEE, 0xEE}},
        {"no status byte", kNoStatus, {0x03, 0x03, 0x12, 0x34}, -1, kOk, "", {0x12, 0x34}},
        {"short reply", kText, {0x05, 0x15, 0, 0xAB}, -1, kOk,
         "+++ Unexpected ZORVI response length 4 bytes; expected 5 bytes.\n", {0xAB, 0x00}},
        {"wrong code", kText, {0x05, 0x95, 0, 1, 2}, -1, kOk,
         "+++ Unexpected ZORVI response code { 0x05, 0x95 }; expected { 0x05, 0x15 }.\n", {1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeUc uc;
        uc.queueReply(c.reply);
        const uint8_t args[2] = {0x11, 0x22};
        uint8_t payload[2] = {0xEE, 0xEE};
        ReplyInfo info;
        OutCapture capture;
        const Result r = ucRequest(uc.context(), false, c.request,
                                   {.args = args, .argLength = 2, .payload = payload, .payloadLength = 2,
                                    .reply = &info, .byteIndex = c.byteIndex});
        EXPECT_EQ(r, c.result);
        EXPECT_EQ(capture.text(), c.text);
        EXPECT_EQ(Bytes(payload, payload + 2), c.payload);
        EXPECT_EQ(uc.requests().at(0), (Bytes{c.request.group, c.request.command, 0x11, 0x22}));
        EXPECT_EQ(info.length, c.reply.size());
        EXPECT_EQ(info.status, c.request.line == StatusLine::None ? 0 : c.reply[2]);
    }
}

TEST(UcRequest, TimeOutOfTheRequestOrTheCall) {
    constexpr UcRequest kSlow{.group = 0x05, .command = 0x91, .timeoutUs = 250000};
    FakeUc uc;
    uc.queueReply({0x05, 0x11, 0});
    uc.queueReply({0x05, 0x11, 0});
    uc.queueReply({0x05, 0x15, 0});
    EXPECT_EQ(ucRequest(uc.context(), false, kSlow), kOk);
    EXPECT_EQ(ucRequest(uc.context(), false, kSlow, {.timeoutUs = 7000}), kOk);
    EXPECT_EQ(ucRequest(uc.context(), false, kText), kOk);
    EXPECT_EQ(uc.timeouts(), (std::vector<uint32_t>{250000, 7000, uc.context()->timeoutMicroseconds}));
}

TEST(UcRequest, RawRequestTakesTheCodeAsTyped) {
    FakeUc uc;
    uc.queueReply({0x05, 0x85});
    const uint8_t request[2] = {0x05, 0x05};
    uint8_t reply[2] = {};
    uint32_t actual = 0;
    OutCapture capture;
    EXPECT_EQ(ucRawRequest(uc.context(), false, request, 2, reply, 2, &actual), kOk);
    EXPECT_EQ(capture.text(), "");  // 0x05 - 0x80 is 0x85: no warning
}

}  // namespace
