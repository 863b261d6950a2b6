// The firmware buffers are the only allocations of the image verbs; when
// they fail the verb reports it and returns 7 before touching the uC.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "base/out.h"
#include "flash_uc.h"
#include "images/app_flash_images.h"
#include "support/failing_new.h"

namespace {

enum class Op { Update, Verify, Save };

TEST(ImageVerbsAllocation, FirmwareBuffersThatCannotBeHad) {
    const struct {
        Op op;
        ImageKind kind;
        const char* file;
        size_t fileBytes;   // 0: the verb writes the file
        size_t failFrom;    // allocations of this size or more fail
        const char* lines;  // after the length line, when there is a file
    } cases[] = {
        {Op::Update, ImageKind::Firmware, "fw.bin", 1000, 1000,
         "' length is 1000(0x3E8) byte(s).\n*** Failed to allocate firmware file buffer.\n"},
        {Op::Verify, ImageKind::BoardConfig, "cfg.bin", 300, 300,
         "' length is 300(0x12C) byte(s).\n*** Failed to allocate board config. file buffer.\n"},
        {Op::Save, ImageKind::Firmware, "saved.bin", 0, 130048, "*** Failed to buffer for firmware save data.\n"},
    };
    flashtest::InstantClock clock;
    flashtest::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        FakeUc fake;
        flashtest::FlashUc uc;
        uc.bind(fake);
        flashtest::grantAll(fake.context());
        const std::string path =
            c.fileBytes == 0 ? dir.path(c.file) : dir.writeFile(c.file, flashtest::pattern(c.fileBytes, 2));
        FailAllocations fail(c.failFrom);
        OutCapture cap;
        const Result r = c.op == Op::Update   ? updateImage(c.kind, path.c_str(), fake.context(), false)
                         : c.op == Op::Verify ? verifyImage(c.kind, path.c_str(), fake.context(), false)
                                              : saveImage(c.kind, path.c_str(), fake.context(), false);
        EXPECT_EQ(r, 7u);
        const std::string named = c.kind == ImageKind::Firmware ? "Firmware file '" : "Board config file '";
        EXPECT_EQ(cap.text(), c.fileBytes == 0 ? std::string(c.lines) : named + path + c.lines);
        EXPECT_TRUE(fake.requests().empty());
    }
}

}  // namespace
