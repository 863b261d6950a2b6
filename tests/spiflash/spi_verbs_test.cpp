// The SPI verbs around their range operations: checks before the first
// exchange, the bracketing notices, the save buffer and the hex file refusal.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>

#include "base/out.h"
#include "spi_chip.h"
#include "spiflash/spi_files.h"
#include "spiflash/spi_verbs.h"

namespace {

struct VerbFixture {
    FakeUc uc;
    SpiChip chip{0x1000000};
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "spi_verbs_test";
    VerbFixture() {
        BasicTableSpec spec;
        spec.density = 0x07FFFFFF;  // 16 MiB: 3-byte addresses
        chip.sfdp = sfdpArea(basicTable(spec));
        chip.attach(uc);
        std::filesystem::create_directories(dir);
    }
    ~VerbFixture() { std::filesystem::remove_all(dir); }
    std::string file(const char* name, const std::string& content) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    std::vector<uint8_t> controls() const {
        std::vector<uint8_t> c;
        for (const Bytes& r : uc.requests())
            if (r[1] == 0x91) c.push_back(r[2]);
        return c;
    }
};

}  // namespace

TEST(SpiVerbs, ProgramBinBracketsDiscoversAndDisablesWrites) {
    VerbFixture f;
    const std::string path = f.file("a.bin", "hello");
    OutCapture capture;
    ASSERT_EQ(spiProgramBin(f.uc.context(), false, 0, path.c_str(), 0x2001), kOk);
    EXPECT_EQ(capture.text(), "Writing 5(0x5) byte(s) from file '" + path +
                                  "' at byte address 0x2001 ...\n"
                                  "Reading 0x1 B at 0x2000-0x2000 into merge buffer\n"
                                  "Reading 0xFFA B at 0x2006-0x2FFF into merge buffer\n"
                                  "Erasing 0x1000 B block at 0x2000-0x2FFF\n"
                                  "Writing 0x1000 B block at 0x2000-0x2FFF\n");
    EXPECT_EQ(std::string(f.chip.memory.begin() + 0x2001, f.chip.memory.begin() + 0x2006), "hello");
    EXPECT_EQ(f.controls(), (std::vector<uint8_t>{1, 2, 3}));
    const Bytes& disable = f.uc.requests()[f.uc.requests().size() - 2];
    EXPECT_EQ(disable, (Bytes{0x05, 0x90, 0, 1, 0, 0x04}));
}

TEST(SpiVerbs, RefusalsBeforeAnyExchange) {
    VerbFixture f;
    const std::string empty = f.file("empty.bin", "");
    const std::string bad = f.file("bad.mcs", ":020000040000FA\n:0400000001020304F0\n:00000001FF\n");
    // Sparse files: their size is refused before a byte of them is read.
    const std::string huge = f.file("huge.bin", "");
    std::filesystem::resize_file(huge, 5ull << 30);
    const std::string small = f.file("small.bin", "0123");
    const std::string nowhere = (f.dir / "missing" / "x.bin").string();
    struct Row {
        const char* name;
        std::function<Result()> verb;
        bool serviceMode;
        Result result;
        std::string output;
    } rows[] = {
        {"chip 256", [&] { return spiErase(f.uc.context(), false, 256, 0, 1); }, false, kBadSpiChipIndex,
         "*** SPI chip index must be in the range 0 to 255.\n"},
        {"empty file, even in service mode",
         [&] { return spiProgramBin(f.uc.context(), false, 0, empty.c_str(), 0); }, true, kOk,
         "*** File '" + empty + "' appears to have length of 0. Nothing to do.\n"},
        {"service mode", [&] { return spiCheckBlank(f.uc.context(), false, 0, 0, 1); }, true, kRefusedInServiceMode,
         "*** The spi-check-blank command requires the device to not be in Service Mode.\n"
         "    Please exit Service Mode manually using switch setting or by issuing the exit-service-mode command.\n"},
        {"5 GiB file", [&] { return spiProgramBin(f.uc.context(), false, 0, huge.c_str(), 0); }, false,
         kBadSpiAddress,
         "*** File '" + huge + "' holds 5368709120(0x140000000) byte(s); from byte address 0x0 they run past the end of "
         "the 4 GiB SPI Flash address space; nothing was changed.\n"},
        {"past 4 GiB from the address", [&] { return spiVerifyBin(f.uc.context(), false, 0, small.c_str(), 0xFFFFFFFE); },
         false, kBadSpiAddress,
         "*** File '" + small + "' holds 4(0x4) byte(s); from byte address 0xFFFFFFFE they run past the end of the 4 "
         "GiB SPI Flash address space; nothing was changed.\n"},
        // A file that cannot be created is said before the chip is read.
        {"save into a missing folder", [&] { return spiSaveToBin(f.uc.context(), false, 0, nowhere.c_str(), 0, 0x1000); },
         false, kBinaryOutputError,
         "Saving 4096(0x1000) bytes of data in '" + nowhere + "' ...\n*** Failed to open file '" + nowhere +
             "' for writing; errno=2.\n"},
        {"hex save into a missing folder",
         [&] { return spiSaveToMcs(f.uc.context(), false, 0, nowhere.c_str(), 0, 0x1000); }, false, kHexOutputError,
         "Saving data in '" + nowhere + "' ...\n*** Failed to write file '" + nowhere +
             "' in Intel Hex format: path not found.\n"},
        // A hex file with a bad record is not programmed unless confirmed.
        {"hex record errors", [&] { return spiProgramMcs(f.uc.context(), false, 0, bad.c_str(), 0, false); }, false,
         kHexInputError,
         "Intel Hex file '" + bad +
             "':\n"
             "  Number of sections .. 1\n"
             "  Section 0         ... Address 0x00000000, length 0x4\n"
             "  Number of errors .... 1\n"
             "  Error 0         ..... Line 2, code 1 => Bad checksum for record\n"
             "*** Intel Hex file '" + bad +
             "' has 1 record error(s); it is not programmed. Give +confirm to program it anyway.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        f.uc.context()->inServiceMode = row.serviceMode;
        OutCapture capture;
        EXPECT_EQ(row.verb(), row.result);
        EXPECT_EQ(capture.text(), row.output);
        EXPECT_TRUE(f.uc.requests().empty());
    }
    f.uc.context()->inServiceMode = 0;
    OutCapture capture;
    EXPECT_EQ(spiProgramMcs(f.uc.context(), false, 0, bad.c_str(), 0, true), kOk);
    EXPECT_EQ(f.chip.memory[3], 0x04);
}

// A range past the chip's end would wrap to its start: verify, blank
// check and save refuse it once the capacity is known, before any read
// (and before the verify's file is read).
TEST(SpiVerbs, ReadsPastTheChipsEndAreRefused) {
    VerbFixture f;
    const std::string big = f.file("big.bin", "");
    std::filesystem::resize_file(big, 0x1000001);
    const std::string saved = (f.dir / "saved.bin").string();
    const std::string refusal = "*** Bytes 0x0-0x1000000 are not all within what the SPI Flash chip can erase "
                                "(capacity 0x1000000 B); nothing was changed.\n";
    struct Row {
        std::function<Result()> verb;
        std::string text;
    } rows[] = {
        {[&] { return spiVerifyBin(f.uc.context(), false, 0, big.c_str(), 0); },
         "Verifying 16777217(0x1000001) byte(s) from file '" + big + "' at byte address 0x0 ...\n" + refusal +
             "*** SPI Flash verify operation failed.\n"},
        {[&] { return spiCheckBlank(f.uc.context(), false, 0, 0, 0x1000001); },
         refusal + "*** SPI Flash blank-check operation failed.\n"},
        {[&] { return spiSaveToBin(f.uc.context(), false, 0, saved.c_str(), 0, 0x1000001); },
         refusal + "*** Failed to read data from SPI Flash chip 0.\n+++ Nothing was saved in '" + saved +
             "', since not all of the data could be read.\n"},
    };
    for (const Row& row : rows) {
        OutCapture capture;
        EXPECT_EQ(row.verb(), kBadSpiAddress);
        EXPECT_EQ(capture.text(), row.text);
    }
    for (const Bytes& r : f.uc.requests())
        EXPECT_FALSE(r.size() > 5 && r[1] == 0x90 && (r[5] == 0x03 || r[5] == 0x0B || r[5] == 0x13)) << "a read was sent";
    EXPECT_FALSE(std::filesystem::exists(saved));
}

// A save whose discovery fails sends the end notice and writes no file: a
// full-length file would pass for a copy of the chip.
TEST(SpiVerbs, SaveAfterFailedDiscoveryWritesNoFile) {
    VerbFixture f;
    f.chip.sfdp.clear();
    const std::string path = (f.dir / "out.bin").string();
    OutCapture capture;
    EXPECT_EQ(spiSaveToBin(f.uc.context(), false, 0, path.c_str(), 0x100, 64), kSfdpError);
    EXPECT_EQ(capture.text(),
              "*** Signature 0xFFFFFFFF in SPI Flash SFDP Header is not expected value 0x50444653.\n"
              "*** Failed to discover parameters of SPI Flash chip 0.\n"
              "+++ Nothing was saved in '" + path + "', since not all of the data could be read.\n");
    EXPECT_EQ(f.controls(), (std::vector<uint8_t>{1, 2, 3}));
    // Nor the file that showed the folder takes one.
    EXPECT_TRUE(std::filesystem::is_empty(f.dir)) << std::filesystem::directory_iterator(f.dir)->path();
}

// A file whose second section lies past the chip is refused before its first
// section is written.
TEST(SpiVerbs, ProgramMcsChecksEverySectionFirst) {
    VerbFixture f;
    const std::string hex =
        f.file("two.mcs", ":0400000001020304F2\n:020000040100F9\n:0400000005060708E2\n:00000001FF\n");
    const std::vector<uint8_t> before = f.chip.memory;
    OutCapture capture;
    EXPECT_EQ(spiProgramMcs(f.uc.context(), false, 0, hex.c_str(), 0, false), kBadSpiAddress);
    EXPECT_EQ(f.chip.memory, before);
    EXPECT_NE(capture.text().find("*** Bytes 0x1000000-0x1000003 are not all within what the SPI Flash chip can "
                                  "erase (capacity 0x1000000 B); nothing was changed.\n"
                                  "*** SPI Flash program operation failed.\n"),
              std::string::npos);
    EXPECT_EQ(capture.text().find("Writing section"), std::string::npos);
}

// A write that fails only when the buffered data reaches the device still
// fails the save.
TEST(SpiVerbs, BinaryFileWriteFailureIsReported) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP();
    const uint8_t bytes[16] = {};
    OutCapture capture;
    EXPECT_EQ(writeBinaryFile("/dev/full", sizeof bytes, bytes), kBinaryOutputError);
    EXPECT_EQ(capture.text(), "*** Failed to write all 16(0x10) byte(s) to file '/dev/full'.\n");
}
