// The SPI flash verbs end to end: the real zorviutil against the simulated
// board's SPI chips, their images kept in the state directory. Algorithms
// and messages are unit-tested; these runs show the real path: the uC
// messages on the line, discovery of real and synthetic parts, persistence
// from one run to the next.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "e2e_harness.h"

namespace {

using e2e::SimBoard;
using Lines = std::vector<std::string>;

const std::string kReset = "05 91 01 00 00 00 00";
const std::string kBegin = "05 91 02 00 00 00 00";
const std::string kEnd = "05 91 03 00 00 00 00";

std::string pattern(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 13 + (i >> 8));
    return s;
}

/// A chip image as stored by the simulator (every byte complemented).
std::string chipImage(const SimBoard& board, const std::string& file) {
    std::string raw;
    EXPECT_TRUE(e2e::readFile(board.stateDir() + "/" + file, raw));
    for (char& c : raw) c = static_cast<char>(~c);
    return raw;
}

bool anyStartsWith(const Lines& lines, const std::string& prefix) {
    for (const std::string& l : lines)
        if (l.rfind(prefix, 0) == 0) return true;
    return false;
}

}  // namespace

TEST(SpiFlashE2e, ProgramVerifySaveEraseAndBlankCheckKeepEveryOtherByte) {
    SimBoard board;
    ASSERT_TRUE(board.ok()) << board.error();
    const std::string image = pattern(0x1234, 7);
    const std::string in = board.tempDir() + "/in.bin", saved = board.tempDir() + "/saved.bin";
    ASSERT_TRUE(e2e::writeFile(in, image));

    auto r = board.run({"-usbcom", "{port}", "spi-program-bin", "0", in, "0x1FFF0"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Writing 4660(0x1234) byte(s) from file '" + in +
                         "' at byte address 0x1FFF0 ...\n"
                         "Reading 0xFF0 B at 0x1F000-0x1FFEF into merge buffer\n"
                         "Erasing 0x1000 B block at 0x1F000-0x1FFFF\n"
                         "Writing 0x1000 B block at 0x1F000-0x1FFFF\n"
                         "Erasing 0x1000 B block at 0x20000-0x20FFF\n"
                         "Writing 0x1000 B block at 0x20000-0x20FFF\n"
                         "Reading 0xDDC B at 0x21224-0x21FFF into merge buffer\n"
                         "Erasing 0x1000 B block at 0x21000-0x21FFF\n"
                         "Writing 0x1000 B block at 0x21000-0x21FFF\n");
    Lines requests = board.requests();
    // Product ID, then the bracket; the mt25qu01g enters 4-byte mode with a
    // write enable and 0xB7, so the page programs carry 4 address bytes.
    ASSERT_GE(requests.size(), 6u);
    EXPECT_EQ(requests[1], kReset);
    EXPECT_EQ(requests[2], kBegin);
    EXPECT_EQ(requests.back(), kEnd);
    EXPECT_EQ(requests[requests.size() - 2], "05 90 00 01 00 04");
    EXPECT_TRUE(anyStartsWith(requests, "05 90 00 01 00 B7"));
    EXPECT_TRUE(anyStartsWith(requests, "05 90 00 85 00 02 00 01 F0 00 "));

    std::string chip = chipImage(board, "spi0-mt25qu01g.bin");
    ASSERT_EQ(chip.size(), 0x8000000u);
    EXPECT_EQ(chip.substr(0x1FFF0, image.size()), image);
    EXPECT_EQ(chip.substr(0x1F000, 0xFF0), std::string(0xFF0, '\xFF'));

    r = board.run({"-usbcom", "{port}", "spi-verify-bin", "0", in, "0x1FFF0"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(e2e::splitLines(r.out).back(),
              "Verification OK: The contents of the SPI Flash chip 0 matches the data in the specified file.");

    r = board.run({"-usbcom", "{port}", "spi-erase", "0", "0x20000", "0x10"});
    EXPECT_EQ(r.exitCode, 0);
    r = board.run({"-usbcom", "{port}", "spi-check-blank", "0", "0x20000", "0x10"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Reading 0x10 B at 0x20000-0x2000F\nBlank-check OK: The specified region is blank.\n");

    r = board.run({"-usbcom", "{port}", "spi-save-to-bin", "0", saved, "0x1FFF0", "0x1234"});
    EXPECT_EQ(r.exitCode, 0);
    std::string back;
    ASSERT_TRUE(e2e::readFile(saved, back));
    std::string expected = image;
    expected.replace(0x10, 0x10, std::string(0x10, '\xFF'));
    EXPECT_EQ(back, expected);

    r = board.run({"-usbcom", "{port}", "spi-verify-bin", "0", in, "0x1FFF0"});
    EXPECT_EQ(r.exitCode, 8);
    EXPECT_EQ(e2e::splitLines(r.out).back(),
              "*** Verification FAILED: A total of 16(0x10) bytes(s) were found that do not match the data in the "
              "specified file.");
}

TEST(SpiFlashE2e, IntelHexSaveProgramVerifyAndRecordErrors) {
    SimBoard board({"--spi-chip", "0=synth-ear"});
    ASSERT_TRUE(board.ok()) << board.error();
    const std::string bin = board.tempDir() + "/a.bin", mcs = board.tempDir() + "/a.mcs";
    ASSERT_TRUE(e2e::writeFile(bin, pattern(0x300, 3)));
    // Above 16 MiB on a chip with the extended address register only.
    ASSERT_EQ(board.run({"-usbcom", "{port}", "spi-program-bin", "0", bin, "0x1000000"}).exitCode, 0);
    auto r = board.run({"-usbcom", "{port}", "spi-save-to-mcs", "0", mcs, "0x1000000", "0x300"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Reading 0x300 B at 0x1000000-0x10002FF\nSaving data in '" + mcs + "' ...\n");
    EXPECT_TRUE(anyStartsWith(board.requests(), "05 90 00 02 00 C5 01"));

    r = board.run({"-usbcom", "{port}", "spi-program-mcs", "0", mcs, "0x10000"});
    EXPECT_EQ(r.exitCode, 0);
    r = board.run({"-usbcom", "{port}", "spi-verify-mcs", "0", mcs, "0x10000"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(e2e::splitLines(r.out).back(),
              "Verification OK: The contents of the SPI Flash chip 0 matches the data in the specified file.");
    EXPECT_EQ(chipImage(board, "spi0-synth-ear.bin").substr(0x1010000, 0x300), pattern(0x300, 3));

    // A damaged record: summary, refusal, no exchange beyond the product ID.
    std::string text;
    ASSERT_TRUE(e2e::readFile(mcs, text));
    text[text.find('\n') + 12] ^= 1;
    ASSERT_TRUE(e2e::writeFile(mcs, text));
    board.clearRequests();
    r = board.run({"-usbcom", "{port}", "spi-program-mcs", "0", mcs});
    EXPECT_EQ(r.exitCode, 31);
    EXPECT_EQ(e2e::splitLines(r.out).back(),
              "*** Intel Hex file '" + mcs + "' has 1 record error(s); it is not programmed. Give +confirm to program "
              "it anyway.");
    EXPECT_EQ(board.requests(), (Lines{"03 86"}));
    EXPECT_EQ(board.run({"-usbcom", "{port}", "+confirm", "spi-program-mcs", "0", mcs, "0x10000"}).exitCode, 0);
}

// 16 MiB parts take 3-byte addresses whatever DWORD 16 says; a range past
// the end is refused before anything is erased.
TEST(SpiFlashE2e, SixteenMiBPartAndRangePastTheEnd) {
    SimBoard board({"--spi-chip", "0=w25q128"});
    ASSERT_TRUE(board.ok()) << board.error();
    const std::string bin = board.tempDir() + "/a.bin";
    ASSERT_TRUE(e2e::writeFile(bin, pattern(0x100, 9)));
    auto r = board.run({"-usbcom", "{port}", "spi-program-bin", "0", bin, "0xFFFF00"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(anyStartsWith(board.requests(), "05 90 00 84 00 02 FF FF 00 "));
    EXPECT_EQ(chipImage(board, "spi0-w25q128.bin").substr(0xFFFF00), pattern(0x100, 9));

    board.clearRequests();
    r = board.run({"-usbcom", "{port}", "spi-erase", "0", "0xFFF000", "0x2000"});
    EXPECT_EQ(r.exitCode, 29);
    EXPECT_EQ(r.out,
              "*** Bytes 0xFFF000-0x1000FFF are not all within what the SPI Flash chip can erase (capacity 0x1000000 "
              "B); nothing was changed.\n*** SPI Flash erase operation failed.\n");
    for (const std::string& req : board.requests()) EXPECT_NE(req.rfind("05 90 00 01 00 06", 0), 0u) << req;
    EXPECT_EQ(chipImage(board, "spi0-w25q128.bin").substr(0xFFFF00), pattern(0x100, 9));

    // An address past 32 bits once wrapped to 0x1000; only the link's own
    // product-ID read goes out now.
    board.clearRequests();
    r = board.run({"-usbcom", "{port}", "spi-erase", "0", "0x100001000", "0x1000"});
    EXPECT_EQ(r.exitCode, 29);
    EXPECT_EQ(r.out, "*** SPI address value '0x100001000' not recognized as a number.\n");
    EXPECT_EQ(board.requests(), (std::vector<std::string>{"03 86"}));
}

TEST(SpiFlashE2e, RawAndInfo) {
    SimBoard board;
    ASSERT_TRUE(board.ok()) << board.error();
    auto r = board.run({"-usbcom", "{port}", "spi-raw", "0", "3", "0x9F"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "20 BB 21 \n");
    EXPECT_EQ(board.requests().back(), "05 90 00 01 03 9F");

    r = board.run({"-usbcom", "{port}", "spi-info", "0"});
    EXPECT_EQ(r.exitCode, 0);
    const Lines lines = e2e::splitLines(r.out);
    ASSERT_GT(lines.size(), 20u);
    EXPECT_EQ(lines[2], "  SFDP Revision Number .......... 1.6 => JESD216B");
    EXPECT_EQ(lines[5], "SFDP Table Header 0 @ 0x8:");
    EXPECT_EQ(lines.back(), "  Table pointer ................. 128(0x000080)");
}

// An erase whose exchange fails after the block was erased: the kept bytes
// are in the board's own recovery file, which the message names with the
// command that restores it. A second board programmed with the same state
// folder and working folder never reads nor removes it; a plain second run
// on the first board puts its block back by itself.
TEST(SpiFlashE2e, InterruptedEraseIsPutBackByTheNextRunOfItsBoardOnly) {
    const std::string block = pattern(0x1000, 5);
    const std::string erase[] = {"spi-erase", "0", "0x10010", "0x10"};
    auto steps = [&](SimBoard& board, const e2e::EnvList& env) {
        const std::string bin = board.tempDir() + "/block.bin";
        EXPECT_TRUE(e2e::writeFile(bin, block));
        EXPECT_EQ(board.run({"-usbcom", "{port}", "spi-program-bin", "0", bin, "0x10000"}, "", env).exitCode, 0);
        return board.run({"-usbcom", "{port}", erase[0], erase[1], erase[2], erase[3]}, "", env);
    };
    size_t failAt = 0;
    {
        SimBoard probe;
        ASSERT_TRUE(probe.ok()) << probe.error();
        ASSERT_EQ(steps(probe, {}).exitCode, 0);
        const Lines log = probe.requests();
        // The busy poll after the erase of the erase run (the last erase).
        for (size_t i = 0; i < log.size(); ++i)
            if (log[i].rfind("05 90 00 05 00 20 ", 0) == 0) failAt = i + 2;
        ASSERT_NE(failAt, 0u);
    }
    SimBoard board({"--fault", "hangup@" + std::to_string(failAt)});
    ASSERT_TRUE(board.ok()) << board.error();
    const e2e::EnvList shared = {{"ZORVIUTIL_STATE_DIR", e2e::toolPortName(board.toolStateDir())}};
    auto r = steps(board, shared);
    EXPECT_EQ(r.exitCode, 102);
    const std::string path = board.toolStateDir() + "/board100001-spi-chip0-block-0x00010000.bin";
    EXPECT_NE(r.out.find("+++     zorviutil -usbcom " + board.port() + " spi-program-bin 0 " +
                         e2e::toolPortName(path) + " 0x10000\n"),
              std::string::npos)
        << r.out;
    std::string expected = block;
    expected.replace(0x10, 0x10, std::string(0x10, '\xFF'));
    std::string saved;
    ASSERT_TRUE(e2e::readFile(path, saved));
    EXPECT_EQ(saved, expected);

    SimBoard other({"--serial", "100002"});
    ASSERT_TRUE(other.ok()) << other.error();
    EXPECT_EQ(steps(other, shared).exitCode, 0);
    EXPECT_EQ(chipImage(other, "spi0-mt25qu01g.bin").substr(0x10000, 0x1000), expected);
    std::string still;
    EXPECT_TRUE(e2e::readFile(path, still));
    EXPECT_EQ(still, expected);

    // The board's line was hung up: it comes back with its state.
    SimBoard back({"--state-dir", board.stateDir()});
    ASSERT_TRUE(back.ok()) << back.error();
    r = back.run({"-usbcom", "{port}", erase[0], erase[1], erase[2], erase[3]}, "", shared);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Putting back block 0x10000-0x10FFF of SPI chip 0 from '" + e2e::toolPortName(path) + "'"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(chipImage(back, "spi0-mt25qu01g.bin").substr(0x10000, 0x1000), expected);
    EXPECT_FALSE(e2e::readFile(path, still));
}

// +skip-same against the real chip: a second run of the same file only
// reads; then one block is page programmed without an erase (a cleared
// bit), one erased (a set bit, its tail kept) and one skipped. The board
// answers like a USB virtual COM port (a turnaround per exchange).
TEST(SpiFlashE2e, SkipSameProgramsOnlyWhatDiffers) {
    SimBoard board({"--exchange-us", "100"});
    ASSERT_TRUE(board.ok()) << board.error();
    std::string image = pattern(0x1234, 7);
    const std::string in = board.tempDir() + "/in.bin";
    ASSERT_TRUE(e2e::writeFile(in, image));
    auto r = board.run({"-usbcom", "{port}", "+json", "spi-program-bin", "0", in, "0x1FFF0"});
    EXPECT_NE(r.out.find("\"bytes\": 4660,\n  \"blocks\": 3,\n  \"message\""), std::string::npos) << r.out;

    r = board.run({"-usbcom", "{port}", "+skip-same", "spi-program-bin", "0", in, "0x1FFF0"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Writing 4660(0x1234) byte(s) from file '" + in +
                         "' at byte address 0x1FFF0 ...\n"
                         "Compared 0x10 B at 0x1FFF0-0x1FFFF\n"
                         "Skipping 0x1000 B block at 0x1F000-0x1FFFF: unchanged\n"
                         "Compared 0x1000 B at 0x20000-0x20FFF\n"
                         "Skipping 0x1000 B block at 0x20000-0x20FFF: unchanged\n"
                         "Compared 0x224 B at 0x21000-0x21223\n"
                         "Skipping 0x1000 B block at 0x21000-0x21FFF: unchanged\n"
                         "Skip-same: 3 block(s) unchanged, 0 programmed without erase, 0 erased and programmed; 0(0x0) "
                         "byte(s) sent.\n");

    image[0x1000] = 0;        // 0x20FF0
    image[0x1100] = '\xFF';   // 0x210F0
    ASSERT_TRUE(e2e::writeFile(in, image));
    r = board.run({"-usbcom", "{port}", "+json", "+skip-same", "spi-program-bin", "0", in, "0x1FFF0"});
    EXPECT_EQ(r.exitCode, 0);
    // One page, then the three pages of the erased block that are not blank.
    EXPECT_NE(r.out.find("\"blocks_unchanged\": 1,\n  \"blocks_programmed\": 1,\n  \"blocks_erased\": 1,\n"
                         "  \"bytes_sent\": 1024,\n"),
              std::string::npos)
        << r.out;
    const std::string problems = e2e::schemaProblems("summary.schema.json", r.out);
    if (problems.rfind("skip:", 0) != 0) {
        EXPECT_EQ(problems, "");
    }
    EXPECT_EQ(chipImage(board, "spi0-mt25qu01g.bin").substr(0x1FFF0, 0x2010), image + std::string(0xDDC, '\xFF'));
}

// A line that drops in the middle of a program: the +json error document
// says what reached the chip, and exactly that much of the file is there,
// the page whose exchange hung up included (the board acted on it).
TEST(SpiFlashE2e, FailedProgramSaysWhatReachedTheChip) {
    struct Row {
        const char* name;
        bool skipSame;
        unsigned erased;
    };
    const Row rows[] = {{"without erase (+skip-same on a blank chip)", true, 0}, {"erased and written", false, 1}};
    const std::string image = pattern(70000, 5);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SimBoard board({"--fault", "hangup@spi400"});
        ASSERT_TRUE(board.ok()) << board.error();
        const std::string in = board.tempDir() + "/in.bin";
        ASSERT_TRUE(e2e::writeFile(in, image));
        std::vector<std::string> args = {"-usbcom", "{port}", "+json", "spi-program-bin", "0", in, "0x10000"};
        if (row.skipSame) args.insert(args.begin() + 3, "+skip-same");
        const auto r = board.run(args);
        EXPECT_EQ(r.exitCode, 102);
        const nlohmann::json doc = nlohmann::json::parse(r.out, nullptr, false);
        ASSERT_TRUE(doc.is_object()) << r.out;
        EXPECT_EQ(doc.value("blocks_erased", 99u), row.erased) << r.out;
        const size_t sent = doc.value("bytes_sent", size_t{0});
        EXPECT_GT(sent, 0u) << r.out;
        ASSERT_LT(sent, 0x10000u) << r.out;
        const std::string chip = chipImage(board, "spi0-mt25qu01g.bin").substr(0x10000, 0x10000);
        EXPECT_TRUE(chip.substr(0, sent) == image.substr(0, sent));
        EXPECT_EQ(chip.substr(sent), std::string(0x10000 - sent, '\xFF'));
        const std::string problems = e2e::schemaProblems("error.schema.json", r.out);
        if (problems.rfind("skip:", 0) != 0) {
            EXPECT_EQ(problems, "");
        }
    }
}
