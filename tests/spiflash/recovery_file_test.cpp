#include "spiflash/recovery_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/out.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(RecoveryFile, OnlyTheProgramsOwnNamesAreRecoveryFiles) {
    struct Row {
        const char* name;
        bool ours, legacy;
        uint32_t board, chip, block;
    } rows[] = {
        {"board100001-spi-chip12-block-0xFFFFF000.bin", true, false, 100001, 12, 0xFFFFF000},
        {"spi-chip3-block-0x00010000.bin", false, true, 0, 3, 0x10000},
        {"board01-spi-chip0-block-0x00010000.bin", false, false, 0, 0, 0},
        {"board1-spi-chip0-block-0x0001000a.bin", false, false, 0, 0, 0},
        {"board1-spi-chip0-block-0x00010000.bin.part", false, false, 0, 0, 0},
        {"spi-chip01-block-0x00010000.bin", false, false, 0, 0, 0},
        {"spi-chip0-block-0x0001000.bin", false, false, 0, 0, 0},
        {"in.bin", false, false, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        uint32_t board = 0, chip = 0, block = 0;
        EXPECT_EQ(parseRecoveryFileName(row.name, &board, &chip, &block), row.ours);
        if (row.ours) {
            EXPECT_EQ(recoveryFileName(board, chip, block), row.name);
        }
        uint32_t legacyChip = 0, legacyBlock = 0;
        EXPECT_EQ(parseLegacyRecoveryFileName(row.name, &legacyChip, &legacyBlock), row.legacy);
        if (row.ours || row.legacy) {
            EXPECT_EQ(row.ours ? chip : legacyChip, row.chip);
            EXPECT_EQ(row.ours ? block : legacyBlock, row.block);
            EXPECT_EQ(board, row.board);
        }
    }
}

// keep writes the block and release removes it. Whatever already stands
// under the file's name or its part name (an earlier run's file, a link) is
// never replaced nor written through, and the erase is refused; only a
// part file of ours, left by a run that died before its erase, gives way.
TEST(RecoveryFile, KeepsOnlyAFreshCopyAndNeverReplacesOrFollows) {
    const std::string dir = testdir::make("recovery-file");
    ASSERT_FALSE(dir.empty());
    const RecoveryScope scope{dir + "/state", 100001, 3, "-usbcom /dev/ttyACM0"};
    const fs::path file = scope.pathOf(0x1000), part = file.string() + ".part", target = fs::path(dir) / "target";
    enum Setup { Nothing, EarlierFile, LinkAtName, LinkAtPart, StalePart, NoFolder };
    struct Row {
        const char* name;
        Setup setup;
        bool kept;
    } rows[] = {
        {"fresh", Nothing, true},          {"an earlier run's file", EarlierFile, false},
        {"a link at its name", LinkAtName, false}, {"a link at its part name", LinkAtPart, false},
        {"a part file of ours", StalePart, true}, {"a folder that cannot be made", NoFolder, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(scope.folder);
        fs::create_directories(scope.folder);
        std::ofstream(target) << "target";
        std::error_code ec;
        if (row.setup == EarlierFile) std::ofstream(file) << "old";
        if (row.setup == StalePart) std::ofstream(part) << "half";
        if (row.setup == NoFolder) {
            fs::remove_all(scope.folder);
            std::ofstream(scope.folder) << "a file";
        }
        if (row.setup == LinkAtName) fs::create_symlink(target, file, ec);
        if (row.setup == LinkAtPart) fs::create_symlink(target, part, ec);
        if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
        RecoveryFile recovery;
        OutCapture capture;
        EXPECT_EQ(recovery.keep(scope, 0x1000, reinterpret_cast<const uint8_t*>("abcd"), 4), row.kept);
        EXPECT_EQ(contents(target), "target");
        if (row.kept) {
            EXPECT_EQ(contents(file), "abcd");
            EXPECT_FALSE(fs::exists(part));
            recovery.release();
            EXPECT_FALSE(fs::exists(file));
        } else {
            EXPECT_EQ(capture.text().rfind("*** Block 0x1000-0x1003 of SPI chip 3 was not erased", 0), 0u);
            EXPECT_TRUE(fs::exists(fs::symlink_status(file)) || row.setup == LinkAtPart || row.setup == NoFolder);
            if (row.setup == EarlierFile) {
                EXPECT_EQ(contents(file), "old");
            }
        }
    }
    fs::remove_all(dir);
}

TEST(RecoveryFile, RestoreCommandNamesTheLinkAndTheWholePath) {
    const RecoveryScope scope{"/home/u/.local/state/zorviutil", 7, 1, "-usbcom /dev/ttyACM0"};
    const std::string path = scope.pathOf(0x20000);
    EXPECT_EQ(scope.restoreCommand(path, 0x20000),
              "zorviutil -usbcom /dev/ttyACM0 spi-program-bin 1 " + path + " 0x20000");
}

}  // namespace
