#include "control/i2c_verbs.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

#include "base/json_out.h"
#include "base/out.h"
#include "support/fake_uc.h"
#include "support/temp_dir.h"
#include "support/typed_verb.h"

namespace {

TEST(I2cWriteRead, TransferCountAnalysis) {
    struct Case {
        uint32_t w, r, t;
        bool more, less, writeCut, readCut, none;
        uint32_t bytesRead;
    };
    const Case cases[] = {
        {1, 2, 5, false, false, false, false, false, 2},
        {1, 2, 4, false, true, false, true, false, 1},
        {1, 2, 3, false, true, false, false, true, 0},
        {1, 2, 1, false, true, true, false, true, 0},
        {1, 2, 9, true, false, false, false, false, 2},  // taken as 5
        {0, 2, 3, false, false, false, false, false, 2},
        {0, 2, 0, false, true, false, false, true, 0},
        {2, 0, 3, false, false, false, false, false, 0},
        {2, 0, 2, false, true, true, false, false, 0},
        {0, 0, 0, false, false, false, false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "W=" << c.w << " R=" << c.r << " T=" << c.t);
        const WriteReadOutcome o = analyzeWriteRead(c.w, c.r, c.t);
        EXPECT_EQ(o.moreThanExpected, c.more);
        EXPECT_EQ(o.lessThanExpected, c.less);
        EXPECT_EQ(o.writeTruncated, c.writeCut);
        EXPECT_EQ(o.readTruncated, c.readCut);
        EXPECT_EQ(o.noneRead, c.none);
        EXPECT_EQ(o.bytesRead, c.bytesRead);
    }
}

TEST(I2cWriteRead, PrintsWarningsAndTheBytesRead) {
    const uint8_t reg = 0x10;
    struct Case {
        Bytes reply;
        Result code;
        std::string out;
    };
    const Case cases[] = {
        {{0x05, 0x14, 0x00, 0x05, 0xAA, 0xBB}, 0, "AA BB \n"},
        {{0x05, 0x14, 0x00, 0x04, 0xAA, 0x00}, 0,
         "+++ Reponse from uC indicates that it transferred less than requested number of bytes; actual 4 vs. "
         "expected 5\n+++ Reponse from uC indicates that read phase was truncated.\nAA \n"},
        {{0x05, 0x14, 0x00, 0x07, 0xAA, 0xBB}, 0,
         "+++ Reponse from uC indicates that it transferred more than requested number of bytes; actual 7 vs. "
         "expected 5\nAA BB \n"},
        {{0x05, 0x14, 0x02, 0x00, 0x00, 0x00}, 103,
         "*** ZORVI returned status 0x02 => I2C slave NACKed, or transaction timed out.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.reply));
        FakeUc uc;
        uc.queueReply(c.reply);
        OutCapture cap;
        EXPECT_EQ(i2cWriteRead(uc.context(), false, 0, 0x50, 1, 2, &reg), c.code);
        EXPECT_EQ(cap.text(), c.out);
        EXPECT_EQ(uc.requests(), (std::vector<Bytes>{{0x05, 0x94, 0x00, 0x50, 0x01, 0x02, 0x10}}));
    }
}

TEST(I2cBlock, ReadAndWriteSendOneRequest) {
    FakeUc uc;
    uc.queueReply({0x05, 0x00, 0x00, 0x01, 0x02, 0x03, 0xFE});
    uc.queueReply({0x05, 0x02, 0x00});
    uc.queueReply({0x05, 0x02, 0x01});
    const uint8_t data[2] = {0xAA, 0xBB};
    OutCapture cap;
    EXPECT_EQ(i2cRead(4, uc.context(), false, 0, 0x50, 0), 0u);
    EXPECT_EQ(i2cWrite(uc.context(), false, 1, 0x50, 0x10, data, 2), 0u);
    EXPECT_EQ(i2cWrite(uc.context(), false, 1, 0x50, 0x10, data, 2), 103u);
    EXPECT_EQ(cap.text(), "01 02 03 FE \n*** ZORVI returned status 0x01 => General failure\n");
    EXPECT_EQ(uc.requests()[0], (Bytes{0x05, 0x80, 0x00, 0x50, 0x00, 0x04}));
    EXPECT_EQ(uc.requests()[1], (Bytes{0x05, 0x82, 0x01, 0x50, 0x10, 0x02, 0xAA, 0xBB}));
}

// A device of 256 registers behind the fake uC; a read of `failAt` answers
// status 1.
struct RegisterUc {
    FakeUc uc;
    std::array<uint8_t, 256> regs{};
    int failAt = -1;
    RegisterUc() {
        for (int i = 0; i < 256; ++i) regs[i] = static_cast<uint8_t>(i ^ 0x5A);
        uc.onRequest([this](const Bytes& rq, Bytes& reply) -> uint32_t {
            const uint8_t reg = rq[4];
            const bool fail = reg == failAt;
            reply = {0x05, static_cast<uint8_t>(rq[1] & 0x7F), fail ? uint8_t{1} : uint8_t{0}};
            if (rq[1] == 0x80) reply.push_back(fail ? 0 : regs[reg]);
            if (rq[1] == 0x82 && !fail) regs[reg] = rq[6];
            return 0;
        });
    }
    ConnectionContext* ctx() { return uc.context(); }
};

struct TempDir {
    std::string path;
    TempDir() {
        path = testdir::make("zorvi-i2c");
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name, const std::string& content) const {
        std::ofstream(path + "/" + name, std::ios::binary) << content;
        return path + "/" + name;
    }
    static std::string read(const std::string& p) {
        std::ostringstream s;
        s << std::ifstream(p, std::ios::binary).rdbuf();
        return s.str();
    }
};

TEST(I2cFiles, ReadToFileWrapsTheRegisterAndKeepsTheOldFileOnFailure) {
    TempDir dir;
    const std::string path = dir.path + "/out.bin";
    RegisterUc dev;
    OutCapture cap;
    EXPECT_EQ(i2cReadToFile(path.c_str(), 0xFE, dev.ctx(), false, 0, 0x50, 4), 0u);
    EXPECT_EQ(TempDir::read(path), std::string("\xA4\xA5\x5A\x5B", 4));
    EXPECT_EQ(dev.uc.requests()[1], (Bytes{0x05, 0x80, 0x00, 0x50, 0xFF, 0x01}));

    dev.failAt = 0x12;
    EXPECT_EQ(i2cReadToFile(path.c_str(), 0x10, dev.ctx(), false, 0, 0x50, 4), 103u);
    EXPECT_EQ(TempDir::read(path), std::string("\xA4\xA5\x5A\x5B", 4));
    const std::string missing = dir.path + "/no/such.bin";
    EXPECT_EQ(i2cReadToFile(missing.c_str(), 0, dev.ctx(), false, 0, 0x50, 1), 18u);
    EXPECT_EQ(cap.text(), "*** ZORVI returned status 0x01 for byte 2 => General failure\n"
                          "+++ Nothing was saved in '" + path + "', since not all of the data could be read.\n"
                          "*** Failed to open file '" + missing + "' for writing.\n");
}

// Sizes beyond what the file verbs move are refused before anything is
// read or sent; the length line shows the whole 64-bit length.
TEST(I2cFiles, SizesAreCheckedFirst) {
    TempDir dir;
    const std::string huge = dir.file("huge.bin", "");
    std::filesystem::resize_file(huge, 5ull << 30);
    RegisterUc dev;
    const std::string line = "File '" + huge + "' length is 5368709120(0x140000000) byte(s).\n"
                             "*** File length must be in the range 0 to 65536.\n";
    struct Row {
        std::function<Result()> verb;
        std::string text;
    } rows[] = {
        {[&] { return i2cWriteFromFile(0, huge.c_str(), dev.ctx(), false, 0, 0x50); }, line},
        {[&] { return i2cVerifyWithFile(huge.c_str(), dev.ctx(), false, 0, 0x50, 0); }, line},
        {[&] { return i2cReadToFile((dir.path + "/o.bin").c_str(), 0, dev.ctx(), false, 0, 0x50, 65537); },
         "*** Byte count must be in the range 0 to 65536.\n"},
    };
    for (const Row& row : rows) {
        OutCapture cap;
        EXPECT_EQ(row.verb(), kBadI2cCount);
        EXPECT_EQ(cap.text(), row.text);
    }
    EXPECT_TRUE(dev.uc.requests().empty());
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/o.bin"));
}

TEST(I2cFiles, WriteFromFileOneRequestPerByte) {
    TempDir dir;
    const std::string path = dir.file("in.bin", "\x11\x22\x33");
    RegisterUc dev;
    dev.failAt = 0x00;
    OutCapture cap;
    EXPECT_EQ(i2cWriteFromFile(0xFE, path.c_str(), dev.ctx(), false, 1, 0x50), 103u);
    EXPECT_EQ(dev.uc.requests(), (std::vector<Bytes>{{0x05, 0x82, 0x01, 0x50, 0xFE, 0x01, 0x11},
                                                      {0x05, 0x82, 0x01, 0x50, 0xFF, 0x01, 0x22},
                                                      {0x05, 0x82, 0x01, 0x50, 0x00, 0x01, 0x33}}));
    EXPECT_EQ(dev.regs[0xFF], 0x22);
    const std::string missing = dir.path + "/none.bin";
    EXPECT_EQ(i2cWriteFromFile(0, missing.c_str(), dev.ctx(), false, 1, 0x50), 18u);
    EXPECT_EQ(cap.text(), "File '" + path + "' length is 3(0x3) byte(s).\n"
                          "*** ZORVI returned status 0x01 for byte 2 => General failure\n"
                          "*** Failed to open file '" + missing + "' for reading.\n");
}

TEST(I2cFiles, VerifyShowsTwentyMismatchesAndCountsAll) {
    TempDir dir;
    RegisterUc dev;
    std::string same, differs(25, '\0');
    for (int j = 0; j < 25; ++j) same.push_back(static_cast<char>(dev.regs[(0xF0 + j) & 0xFF]));
    OutCapture cap;
    const std::string empty = dir.file("empty.bin", "");
    EXPECT_EQ(i2cVerifyWithFile(empty.c_str(), dev.ctx(), false, 0, 0x50, 0), 0u);
    EXPECT_TRUE(dev.uc.requests().empty());
    const std::string good = dir.file("good.bin", same);
    EXPECT_EQ(i2cVerifyWithFile(good.c_str(), dev.ctx(), false, 0, 0x50, 0xF0), 0u);
    std::string expected = "File '" + empty + "' length is 0(0x0) byte(s).\nVerified OK.\n" + "File '" + good +
                           "' length is 25(0x19) byte(s).\nVerified OK.\n";
    EXPECT_EQ(cap.take(), expected);

    const std::string bad = dir.file("bad.bin", differs);
    EXPECT_EQ(i2cVerifyWithFile(bad.c_str(), dev.ctx(), false, 0, 0x50, 0xF0), 8u);
    expected = "File '" + bad + "' length is 25(0x19) byte(s).\n";
    char line[128];
    for (int j = 0; j < 20; ++j) {
        snprintf(line, sizeof line, "*** Verification error at address 0x%X; expected=0x00 actual=0x%02X\n", 0xF0 + j,
                 dev.regs[(0xF0 + j) & 0xFF]);
        expected += line;
    }
    expected += "*** More than 20 verification errors detected.\n*** Total of 25 verification errors detected.\n";
    EXPECT_EQ(cap.take(), expected);

    dev.failAt = 0xF1;
    EXPECT_EQ(i2cVerifyWithFile(bad.c_str(), dev.ctx(), false, 0, 0x50, 0xF0), 103u);
    EXPECT_EQ(cap.take(), "File '" + bad + "' length is 25(0x19) byte(s).\n"
                          "*** ZORVI returned status 0x01 for byte 1 => General failure\n");
}

}  // namespace

namespace {

// A bus where 0x03 and 0x50 answer and 0x77's status is `lastStatus`;
// every other address is not acknowledged.
void scanBus(FakeUc& uc, uint8_t lastStatus) {
    uc.onRequest([lastStatus](const Bytes& rq, Bytes& reply) -> uint32_t {
        const uint8_t status = rq[3] == 0x03 || rq[3] == 0x50 ? 0 : rq[3] == 0x77 ? lastStatus : 2;
        // A failure's reply ends at its status, as the uC sends it.
        reply = status == 0 ? Bytes{0x05, 0x14, 0, 2, 0x5A} : Bytes{0x05, 0x14, status};
        return 0;
    });
}

TEST(I2cScan, GridRefusalsAndDocument) {
    const std::string grid =
        "     0  1  2  3  4  5  6  7  8  9  a  b  c  d  e  f\n"
        "00:          03 -- -- -- -- -- -- -- -- -- -- -- --\n"
        "10: -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- --\n"
        "20: -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- --\n"
        "30: -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- --\n"
        "40: -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- --\n"
        "50: 50 -- -- -- -- -- -- -- -- -- -- -- -- -- -- --\n"
        "60: -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- --\n"
        "70: -- -- -- -- -- -- -- --\n";
    const struct {
        const char* what;
        std::vector<const char*> words;
        bool confirm, json;
        uint8_t lastStatus;
        Result code;
        std::string out;
        size_t requests;
    } rows[] = {
        {"scan", {"i2c-scan", "0"}, true, false, 2, 0, grid, 117},
        {"document", {"i2c-scan", "0"}, true, true, 2, 0, grid, 117},
        {"without +confirm", {"i2c-scan", "0"}, false, false, 2, 42,
         "*** 'i2c-scan' reads one byte at every address of the bus, which changes the state of some devices; give "
         "+confirm before the verb to scan.\n",
         0},
        {"bus out of range", {"i2c-scan", "256"}, true, false, 2, 15,
         "*** I2C bus number be in the range 0 to 255.\n", 0},
        {"another status stops the scan", {"i2c-scan", "1"}, true, false, 1, 103,
         "*** ZORVI returned status 0x01 for I2C address 0x77 of bus 1; scan stopped.\n", 117},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeUc uc;
        scanBus(uc, row.lastStatus);
        std::optional<JsonRun> json;
        if (row.json) json.emplace();
        OutCapture cap;
        EXPECT_EQ(typedVerb(row.words, row.confirm)(uc.context()), row.code);
        EXPECT_EQ(cap.text(), row.out);
        ASSERT_EQ(uc.requests().size(), row.requests);
        if (row.requests != 0) {
            EXPECT_EQ(uc.requests()[0], (Bytes{0x05, 0x94, static_cast<uint8_t>(row.words[1][0] - '0'), 0x03, 0, 1}));
            EXPECT_EQ(uc.requests().back()[3], 0x77);
        }
        if (row.json) {
            EXPECT_EQ(Json::parse(json->finish("i2c-scan", row.code, cap.text())),
                      (Json{{"bus", 0}, {"addresses", {3, 80}}}));
        }
    }
}

}  // namespace
