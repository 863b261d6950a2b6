#include "spiflash/recovery_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/temp_dir.h"

namespace {

TEST(RecoveryFile, OnlyTheProgramsOwnNamesAreRecoveryFiles) {
    for (const char* other : {"spi-chip01-block-0x00010000.bin", "spi-chip0-block-0x0001000a.bin",
                              "spi-chip0-block-0x0001000.bin", "spi-chip0-block-0x00010000.bin.part", "in.bin"}) {
        uint32_t chip = 0, block = 0;
        EXPECT_FALSE(parseRecoveryFileName(other, &chip, &block)) << other;
    }
    uint32_t chip = 0, block = 0;
    EXPECT_TRUE(parseRecoveryFileName("spi-chip12-block-0xFFFFF000.bin", &chip, &block));
    EXPECT_EQ(chip, 12u);
    EXPECT_EQ(block, 0xFFFFF000u);
}

// keep writes the block and release removes it; a file an earlier run left
// under that name may be the only copy of the block and stays as it is.
TEST(RecoveryFile, KeepsTheBlockUntilReleasedAndNeverReplacesAnEarlierFile) {
    namespace fs = std::filesystem;
    const std::string dir = testdir::make("recovery-file");
    ASSERT_FALSE(dir.empty());
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    const char* name = "spi-chip3-block-0x00001000.bin";
    for (bool earlier : {false, true}) {
        if (earlier) std::ofstream(name) << "old";
        RecoveryFile file;
        file.keep(3, 0x1000, reinterpret_cast<const uint8_t*>("abcd"), 4);
        {
            std::ifstream kept(name, std::ios::binary);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), earlier ? "old" : "abcd");
        }
        file.release();
        EXPECT_EQ(fs::exists(name), earlier);
    }
    fs::current_path(previous);
    fs::remove_all(dir);
}

}  // namespace
