#include "spiflash/recovery_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/temp_dir.h"

namespace {

TEST(RecoveryFile, OnlyTheProgramsOwnNamesAreRecoveryFiles) {
    const struct {
        const char* name;
        bool is;
        uint32_t chip, block;
    } rows[] = {
        {"spi-chip0-block-0x00010000.bin", true, 0, 0x10000},
        {"spi-chip12-block-0xFFFFF000.bin", true, 12, 0xFFFFF000},
        {"spi-chip01-block-0x00010000.bin", false, 0, 0},
        {"spi-chip0-block-0x0001000a.bin", false, 0, 0},
        {"spi-chip0-block-0x0001000.bin", false, 0, 0},
        {"spi-chip0-block-0x00010000.bin.part", false, 0, 0},
        {"spi-chip0-block-0x00010000.BIN", false, 0, 0},
        {"in.bin", false, 0, 0},
    };
    for (const auto& row : rows) {
        uint32_t chip = 99, block = 99;
        EXPECT_EQ(parseRecoveryFileName(row.name, &chip, &block), row.is) << row.name;
        if (row.is) {
            EXPECT_EQ(chip, row.chip);
            EXPECT_EQ(block, row.block);
        }
    }
    EXPECT_EQ(recoveryFileWarning("spi-chip1-block-0x00020000.bin", 1, 0x20000),
              "zorviutil: warning: 'spi-chip1-block-0x00020000.bin' keeps block 0x20000 of SPI chip 1 from a run that "
              "ended before restoring it; to put it back: zorviutil <link option> spi-program-bin 1 "
              "spi-chip1-block-0x00020000.bin 0x20000 (then remove the file)\n");
}

// keep writes the block and release removes it again; a file an earlier run
// left under that name may be the only copy of the block and stays as it is.
TEST(RecoveryFile, KeepsTheBlockUntilReleasedAndNeverReplacesAnEarlierFile) {
    namespace fs = std::filesystem;
    const std::string dir = testdir::make("recovery-file");
    ASSERT_FALSE(dir.empty());
    const fs::path previous = fs::current_path();
    fs::current_path(dir);
    auto content = [](const char* name) {
        std::ifstream f(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    };
    const uint8_t block[4] = {'a', 'b', 'c', 'd'};
    for (bool earlier : {false, true}) {
        if (earlier) std::ofstream("spi-chip3-block-0x00001000.bin") << "old";
        RecoveryFile file;
        file.keep(3, 0x1000, block, sizeof block);
        EXPECT_EQ(file.kept(), !earlier);
        EXPECT_EQ(content("spi-chip3-block-0x00001000.bin"), earlier ? "old" : "abcd");
        file.release();
        EXPECT_EQ(fs::exists("spi-chip3-block-0x00001000.bin"), earlier);
        EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), earlier ? 1 : 0);
    }
    fs::current_path(previous);
    fs::remove_all(dir);
}

}  // namespace
