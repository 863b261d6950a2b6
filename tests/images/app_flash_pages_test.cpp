// Page write, range write and range verify of the application flash.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/out.h"
#include "flash_uc.h"
#include "images/app_flash_images.h"

namespace {

using flashtest::FlashUc;
using flashtest::summary;
using Words = std::vector<std::string>;

struct Rig {
    FakeUc fake;
    FlashUc uc;
    Rig() {
        uc.service = true;
        uc.bind(fake);
        fake.context()->inServiceMode = 1;
    }
    ConnectionContext* ctx() { return fake.context(); }
};

TEST(WriteAppFlashPage, SendsPageNumberAndBytes) {
    Rig rig;
    Bytes page = flashtest::pattern(512, 9);
    OutCapture cap;
    EXPECT_EQ(writeAppFlashPage(0x1FC00, page.data(), rig.ctx(), false), 0u);
    EXPECT_EQ(cap.text(), "Writing Application Flash page @ 0x1FC00...\n");
    ASSERT_EQ(rig.fake.requests().size(), 1u);
    const Bytes& req = rig.fake.requests()[0];
    ASSERT_EQ(req.size(), 517u);
    EXPECT_EQ(Bytes(req.begin(), req.begin() + 5), (Bytes{0x06, 0x82, 0x09, 0xFE, 0x00}));
    EXPECT_EQ(Bytes(req.begin() + 5, req.end()), page);
}

TEST(WriteAppFlashPage, FailedAndStatuslessReplies) {
    Bytes page(512, 0xAA);
    {
        Rig rig;
        rig.uc.failWritePage = 3;
        OutCapture cap;
        EXPECT_EQ(writeAppFlashPage(0x600, page.data(), rig.ctx(), false), 102u);
        EXPECT_EQ(cap.text(),
                  "Writing Application Flash page @ 0x600...\n"
                  "*** ZORVI returned status 0x03 for Flash Application Write command\n");
    }
    {
        // A reply that stops before its status byte is no proof of a write.
        Rig rig;
        rig.uc.writeReplyWithoutStatus = true;
        OutCapture cap;
        EXPECT_EQ(writeAppFlashPage(0x600, page.data(), rig.ctx(), false), 102u);
        EXPECT_EQ(cap.text(),
                  "Writing Application Flash page @ 0x600...\n"
                  "+++ Unexpected ZORVI response length 2 bytes; expected 3 bytes.\n"
                  "*** No status in reply to Flash Application Write command for page @ 0x600.\n");
    }
}

TEST(WriteAppFlash, ReadsOnlyPagesItCoversInPart) {
    struct Case {
        const char* name;
        uint32_t start, count;
        Words requests;
    };
    const Case cases[] = {
        {"nothing", 0x200, 0, {}},
        {"one whole page", 0x400, 512, {"W2"}},
        {"two whole pages", 0, 1024, {"W0", "W1"}},
        {"inside one page", 0x1FF00, 8, {"R255", "W255"}},
        {"partial, whole, whole, partial", 0x100, 0x600, {"R0", "W0", "W1", "W2", "R3", "W3"}},
        {"ends on a page boundary", 0x300, 0x300, {"R1", "W1", "W2"}},
        {"whole firmware region", 0, 0x1FC00, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        const Bytes before = rig.uc.flash;
        const Bytes source = flashtest::pattern(c.count, 0x5A);
        OutCapture cap;
        EXPECT_EQ(writeAppFlash(source.data(), rig.ctx(), false, c.start, c.count), 0u);

        Bytes expected = before;
        std::copy(source.begin(), source.end(), expected.begin() + c.start);
        EXPECT_TRUE(rig.uc.flash == expected) << "flash outside the range changed, or the range is wrong";

        Words words = summary(rig.fake.requests());
        if (std::string(c.name) == "whole firmware region") {
            ASSERT_EQ(words.size(), 254u);
            for (size_t i = 0; i < words.size(); ++i) EXPECT_EQ(words[i], "W" + std::to_string(i));
        } else {
            EXPECT_EQ(words, c.requests);
        }
    }
}

TEST(WriteAppFlash, PatchOfVpdPrintsEachPageStep) {
    Rig rig;
    Bytes vpd = flashtest::pattern(8, 1);
    OutCapture cap;
    EXPECT_EQ(writeAppFlash(vpd.data(), rig.ctx(), false, 0x1FF00, 8), 0u);
    EXPECT_EQ(cap.text(),
              "Reading Application Flash page @ 0x1FE00...\n"
              "Writing Application Flash page @ 0x1FE00...\n");
    // The written page is the read page with bytes 0x100..0x107 replaced.
    const Bytes& write = rig.fake.requests().at(1);
    Bytes page(write.begin() + 5, write.end());
    for (uint32_t i = 0; i < 512; ++i) {
        const uint8_t want = (i >= 0x100 && i < 0x108) ? vpd[i - 0x100] : static_cast<uint8_t>((0x1FE00 + i) * 7 + 255);
        ASSERT_EQ(page[i], want) << "offset " << i;
    }
}

TEST(WriteAppFlash, StopsAtTheFirstFailureWithoutWritingUnreadPages) {
    struct Case {
        const char* name;
        void (*fault)(FlashUc&);
        Words requests;
        const char* lastLine;
    };
    const Case cases[] = {
        {"write refused", [](FlashUc& uc) { uc.failWritePage = 1; }, {"R0", "W0", "W1"},
         "*** ZORVI returned status 0x03 for Flash Application Write command\n"},
        {"read of a partial page refused", [](FlashUc& uc) { uc.failReadPage = 3; },
         {"R0", "W0", "W1", "W2", "R3"}, "*** ZORVI returned status 0x04 for Flash Application Read command\n"},
        // A cut-off page must not be completed with zeros and written back.
        {"read of a partial page cut short", [](FlashUc& uc) { uc.shortReadPage = 0; }, {"R0"},
         "*** Incomplete reply to Flash Application Read command for page @ 0x0.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        c.fault(rig.uc);
        const Bytes before = rig.uc.flash;
        const Bytes source = flashtest::pattern(0x600, 3);
        OutCapture cap;
        EXPECT_EQ(writeAppFlash(source.data(), rig.ctx(), false, 0x100, 0x600), 102u);
        EXPECT_EQ(summary(rig.fake.requests()), c.requests);
        const std::string text = cap.text();
        ASSERT_GE(text.size(), std::string(c.lastLine).size());
        EXPECT_EQ(text.substr(text.size() - std::string(c.lastLine).size()), c.lastLine);
        // Page 3 (0x600..0x7FF) keeps its contents in every case.
        EXPECT_TRUE(std::equal(before.begin() + 0x600, before.begin() + 0x800, rig.uc.flash.begin() + 0x600));
    }
}

TEST(VerifyAppFlash, ReportsTwentyMismatchesThenCounts) {
    Rig rig;
    // 25 differing bytes across a page boundary: 0x3F0..0x3FF and 0x400..0x408.
    Bytes expected(rig.uc.flash.begin() + 0x300, rig.uc.flash.begin() + 0x500);
    for (uint32_t a = 0x3F0; a < 0x409; ++a) expected[a - 0x300] ^= 0xFF;
    OutCapture cap;
    EXPECT_EQ(verifyAppFlash(expected.data(), rig.ctx(), false, 0x300, 0x200), 8u);

    std::string want = "Reading Application Flash page @ 0x200...\n";
    char line[128];
    for (uint32_t a = 0x3F0; a < 0x404; ++a) {
        if (a == 0x400) want += "Reading Application Flash page @ 0x400...\n";
        const uint8_t actual = rig.uc.flash[a];
        std::snprintf(line, sizeof line, "*** Verification error at address 0x%X; expected=0x%02X actual=0x%02X\n", a,
                      actual ^ 0xFF, actual);
        want += line;
    }
    want += "*** More than 20 verification errors detected.\n";
    want += "*** Total of 25 verification errors detected.\n";
    EXPECT_EQ(cap.text(), want);
}

TEST(VerifyAppFlash, ExactRunsAndEdges) {
    {
        Rig rig;
        OutCapture cap;
        EXPECT_EQ(verifyAppFlash(nullptr, rig.ctx(), false, 0x1FF00, 0), 0u);
        EXPECT_EQ(cap.text(), "Verified OK.\n");
        EXPECT_TRUE(rig.fake.requests().empty());
    }
    {
        Rig rig;
        Bytes expected(rig.uc.flash.begin() + 0x1FF00, rig.uc.flash.begin() + 0x1FF80);
        expected[0x7F] ^= 1;
        OutCapture cap;
        EXPECT_EQ(verifyAppFlash(expected.data(), rig.ctx(), false, 0x1FF00, 0x80), 8u);
        char line[128];
        std::snprintf(line, sizeof line, "*** Verification error at address 0x1FF7F; expected=0x%02X actual=0x%02X\n",
                      expected[0x7F], rig.uc.flash[0x1FF7F]);
        EXPECT_EQ(cap.text(), std::string("Reading Application Flash page @ 0x1FE00...\n") + line +
                                  "*** Total of 1 verification errors detected.\n");
    }
    {
        // A cut-off reply must not pass for flash contents, even when the
        // expected bytes happen to be the zeros it would leave.
        Rig rig;
        rig.uc.shortReadPage = 0;
        std::fill(rig.uc.flash.begin(), rig.uc.flash.begin() + 512, 0);
        Bytes expected(512, 0);
        OutCapture cap;
        EXPECT_EQ(verifyAppFlash(expected.data(), rig.ctx(), false, 0, 512), 102u);
        EXPECT_EQ(cap.text(),
                  "Reading Application Flash page @ 0x0...\n"
                  "+++ Unexpected ZORVI response length 100 bytes; expected 515 bytes.\n"
                  "*** Incomplete reply to Flash Application Read command for page @ 0x0.\n");
    }
}

}  // namespace
