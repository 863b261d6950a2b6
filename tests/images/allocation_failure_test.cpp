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

TEST(ImageVerbsAllocation, FirmwareBuffersThatCannotBeHad) {
    flashtest::InstantClock clock;
    flashtest::TempDir dir;
    {
        FakeUc fake;
        flashtest::FlashUc uc;
        uc.bind(fake);
        flashtest::grantAll(fake.context());
        const std::string path = dir.writeFile("fw.bin", flashtest::pattern(1000, 2));
        FailAllocations fail(1000);
        OutCapture cap;
        EXPECT_EQ(updateImage(ImageKind::Firmware, path.c_str(), fake.context(), false), 7u);
        EXPECT_EQ(cap.text(), "Firmware file '" + path +
                                  "' length is 1000(0x3E8) byte(s).\n"
                                  "*** Failed to allocate firmware file buffer.\n");
        EXPECT_TRUE(fake.requests().empty());
    }
    {
        FakeUc fake;
        flashtest::FlashUc uc;
        uc.bind(fake);
        flashtest::grantAll(fake.context());
        const std::string path = dir.writeFile("cfg.bin", flashtest::pattern(300, 2));
        FailAllocations fail(300);
        OutCapture cap;
        EXPECT_EQ(verifyImage(ImageKind::BoardConfig, path.c_str(), fake.context(), false), 7u);
        EXPECT_EQ(cap.text(), "Board config file '" + path +
                                  "' length is 300(0x12C) byte(s).\n"
                                  "*** Failed to allocate board config. file buffer.\n");
        EXPECT_TRUE(fake.requests().empty());
    }
    {
        FakeUc fake;
        flashtest::FlashUc uc;
        uc.bind(fake);
        flashtest::grantAll(fake.context());
        const std::string path = dir.path("saved.bin");
        FailAllocations fail(130048);
        OutCapture cap;
        EXPECT_EQ(saveImage(ImageKind::Firmware, path.c_str(), fake.context(), false), 7u);
        EXPECT_EQ(cap.text(), "*** Failed to buffer for firmware save data.\n");
        EXPECT_TRUE(fake.requests().empty());
    }
}

}  // namespace
