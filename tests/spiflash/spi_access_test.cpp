// The access primitives: which transfers each sends, status mapping, the
// bounded busy wait and spi-raw's splitting.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "base/out.h"
#include "platform/platform.h"
#include "spi_chip.h"

namespace {

/// A transfer as "bus bytes (at most 4) wW rR"; control requests as "ctl N".
std::vector<std::string> describe(const std::vector<Bytes>& requests) {
    std::vector<std::string> lines;
    for (const Bytes& r : requests) {
        char text[64];
        if (r[1] == 0x91) {
            std::snprintf(text, sizeof text, "ctl %u", r[2]);
        } else {
            std::string bus;
            for (size_t i = 5; i < r.size() && i < 9; ++i) {
                std::snprintf(text, sizeof text, "%02X ", r[i]);
                bus += text;
            }
            std::snprintf(text, sizeof text, "%sw%u r%u", bus.c_str(), r[3], r[4]);
        }
        lines.push_back(text);
    }
    return lines;
}

using Op = std::function<Result(ConnectionContext*, SpiFlashInfo&)>;

}  // namespace

TEST(SpiAccess, TransfersOfEachPrimitive) {
    uint8_t buffer[600] = {};
    struct Row {
        const char* name;
        uint8_t method;
        uint32_t pageSize;
        bool fourByte;
        Op op;
        std::vector<std::string> expected;
    } rows[] = {
        {"read across 16 MiB", kEnter4ByteNotNeeded, 256, false,
         [&](ConnectionContext* c, SpiFlashInfo& i) { return spiRead(c, false, 0, i, 0xFFFF80, 300, buffer); },
         {"03 FF FF 80 w4 r128", "03 00 00 00 w4 r172"}},
        {"read across 16 MiB, extended address register", kEnter4ByteExtendedAddr, 256, false,
         [&](ConnectionContext* c, SpiFlashInfo& i) { return spiRead(c, false, 0, i, 0xFFFF80, 300, buffer); },
         {"06 w1 r0", "C5 00 w2 r0", "03 FF FF 80 w4 r128", "06 w1 r0", "C5 01 w2 r0", "03 00 00 00 w4 r172"}},
        {"read in 252-byte chunks", kEnter4ByteNotNeeded, 256, false,
         [&](ConnectionContext* c, SpiFlashInfo& i) { return spiRead(c, false, 0, i, 0, 600, buffer); },
         {"03 00 00 00 w4 r252", "03 00 00 FC w4 r252", "03 00 01 F8 w4 r96"}},
        {"4-byte read", kEnter4ByteAlways, 256, true,
         [&](ConnectionContext* c, SpiFlashInfo& i) { return spiRead(c, false, 0, i, 0x1000010, 16, buffer); },
         {"03 01 00 00 w5 r16"}},
        {"write split at 128-byte chunks", kEnter4ByteNotNeeded, 256, false,
         [&](ConnectionContext* c, SpiFlashInfo& i) { return spiWrite(c, false, 0, i, 0x7C, 10, buffer); },
         {"05 w1 r1", "06 w1 r0", "02 00 00 7C w8 r0", "05 w1 r1", "06 w1 r0", "02 00 00 80 w10 r0", "05 w1 r1"}},
        {"write with 1-byte pages", kEnter4ByteNotNeeded, 1, false,
         [&](ConnectionContext* c, SpiFlashInfo& i) { return spiWrite(c, false, 0, i, 5, 2, buffer); },
         {"05 w1 r1", "06 w1 r0", "02 00 00 05 w5 r0", "05 w1 r1", "06 w1 r0", "02 00 00 06 w5 r0", "05 w1 r1"}},
        {"write of nothing", kEnter4ByteNotNeeded, 256, false,
         [&](ConnectionContext* c, SpiFlashInfo& i) { return spiWrite(c, false, 0, i, 5, 0, buffer); },
         {}},
        {"erase", kEnter4ByteAlways, 256, true,
         [&](ConnectionContext* c, SpiFlashInfo& i) { return spiEraseBlock(c, false, 0, i, 1, 0x2010000); },
         {"05 w1 r1", "06 w1 r0", "D8 02 01 00 w5 r0", "05 w1 r1"}},
        {"enter 4-byte mode after write enable", kEnter4ByteOpcode, 256, false,
         [&](ConnectionContext* c, SpiFlashInfo& i) {
             i.enter4ByteNeedsWriteEnable = true;
             i.enter4ByteOpcode = 0xB7;
             return spiEnter4ByteMode(c, false, 0, i);
         },
         {"06 w1 r0", "B7 w1 r0"}},
        {"enter 4-byte mode by bank register", kEnter4ByteBankRegister, 256, false,
         [&](ConnectionContext* c, SpiFlashInfo& i) { return spiEnter4ByteMode(c, false, 0, i); },
         {"16 w1 r1", "17 FF w2 r0"}},
        {"soft reset by ones on the data lines", kEnter4ByteNotNeeded, 256, false,
         [&](ConnectionContext* c, SpiFlashInfo& i) {
             i.softResetMethod = 2;
             return spiSoftReset(c, false, 0, i);
         },
         {"00 00 00 00 w16 r0"}},
        {"soft reset 0x66 0x99", kEnter4ByteNotNeeded, 256, false,
         [&](ConnectionContext* c, SpiFlashInfo& i) { return spiSoftReset(c, false, 0, i); },
         {"66 w1 r0", "99 w1 r0"}},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeUc uc;
        SpiChip chip(0x100000);  // addresses wrap: small is enough
        chip.attach(uc);
        SpiFlashInfo info = testInfo(0x4000000, {{0x1000, 0x20}, {0x10000, 0xD8}});
        info.enter4ByteMethod = row.method;
        info.pageSize = row.pageSize;
        info.fourByteAddressing = row.fourByte;
        OutCapture capture;
        EXPECT_EQ(row.op(uc.context(), info), kOk);
        EXPECT_EQ(describe(uc.requests()), row.expected);
        for (uint32_t timeout : uc.timeouts()) EXPECT_EQ(timeout, kSpiTimeoutUs);
    }
}

TEST(SpiAccess, StatusBytesOfTransferAndControl) {
    struct Row {
        bool control;
        uint8_t status;
        Result result;
        const char* output;
    } rows[] = {
        {false, 1, kBadSpiChipIndex, "*** ZORVI returned status 0x01 => Invalid SPI chip index\n"},
        {false, 2, kBoardPoweredOff,
         "*** ZORVI returned status 0x02 => The board appears to be powered off (standby power only). SPI accesses "
         "require the board to be powered on.\n"},
        {false, 3, kUnexpectedStatus, "*** ZORVI returned status 0x03 => ** UNEXPECTED ERROR CODE **\n"},
        {true, 1, kUnexpectedStatus, "*** ZORVI returned status 0x01 => Invalid SPI control command\n"},
        {true, 3, kNoSpiFlash,
         "*** ZORVI returned status 0x03 => The board has no SPI Flash that is accessible via the microcontroller.\n"},
        {true, 9, kUnexpectedStatus, "*** ZORVI returned status 0x09 => ** UNEXPECTED ERROR CODE **\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.control << " " << int(row.status));
        FakeUc uc;
        uc.queueReply(row.control ? Bytes{0x05, 0x11, row.status, 0, 0, 0, 0} : Bytes{0x05, 0x10, row.status, 0});
        OutCapture capture;
        SpiFlashInfo info = testInfo(0x1000000, {{0x1000, 0x20}});
        uint8_t status = 0;
        const Result r = row.control ? spiResetAllChips(uc.context(), false)
                                     : spiReadStatus(uc.context(), false, 0, info, &status);
        EXPECT_EQ(r, row.result);
        EXPECT_EQ(capture.text(), row.output);
    }
}

TEST(SpiAccess, ChipIndexAbove255SendsNothing) {
    FakeUc uc;
    SpiFlashInfo info = testInfo(0x1000000, {{0x1000, 0x20}});
    uint8_t byte = 0;
    EXPECT_EQ(spiRead(uc.context(), false, 256, info, 0, 1, &byte), kBadSpiChipIndex);
    EXPECT_EQ(spiEraseBlock(uc.context(), false, 256, info, 0, 0), kBadSpiChipIndex);
    EXPECT_TRUE(uc.requests().empty());
}

// A chip that never leaves busy (or a dead one reading 0xFF) must not hold
// the line for ever: the wait ends with a message and a failure.
TEST(SpiAccess, BusyWaitIsBounded) {
    static uint32_t now = 0;
    platform::ClockHooks previous = platform::setClockHooks({[] { return now += 1000; }, [](uint32_t) {}});
    FakeUc uc;
    SpiChip chip(0x100000);
    chip.stuckBusy = true;
    chip.attach(uc);
    SpiFlashInfo info = testInfo(0x100000, {{0x1000, 0x20}});
    OutCapture capture;
    EXPECT_EQ(spiEraseBlock(uc.context(), false, 0, info, 0, 0), kUnexpectedStatus);
    platform::setClockHooks(previous);
    EXPECT_THAT(capture.text(),
                testing::AnyOf("*** SPI Flash chip 0 still busy (status register 0x03) after 60000 ms; giving up.\n",
                               "*** SPI Flash chip 0 still busy (status register 0x03) after 61000 ms; giving up.\n"));
    EXPECT_EQ(uc.requests().size(), 61u);
    EXPECT_TRUE(chip.log.empty());
}

TEST(SpiRaw, SplitsTransfersAndPrintsWhatWasRead) {
    std::vector<uint8_t> many(300, 0xAB);
    struct Row {
        const char* name;
        uint32_t readCount;
        std::vector<uint8_t> write;
        uint8_t failStatusAt;  ///< transfer number (from 1) answering status 1
        std::vector<std::string> expected;
        size_t printedBytes;
        Result result;
    } rows[] = {
        {"long write, short read", 10, many, 0, {"AB AB AB AB w255 r0", "AB AB AB AB w45 r10"}, 10, kOk},
        {"long read", 600, {}, 0, {"w0 r255", "w0 r255", "w0 r90"}, 600, kOk},
        {"nothing", 0, {}, 0, {}, 0, kOk},
        {"status ends the loop", 600, {}, 2, {"w0 r255", "w0 r255"}, 255, kUnexpectedStatus},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeUc uc;
        uint32_t n = 0;
        uc.onRequest([&](const Bytes& req, Bytes& reply) -> uint32_t {
            reply.assign(3 + req[4], 0x5C);
            reply[0] = 0x05, reply[1] = 0x10, reply[2] = ++n == row.failStatusAt ? 1 : 0;
            return 0;
        });
        OutCapture capture;
        EXPECT_EQ(spiRaw(uc.context(), false, 0, row.readCount, uint32_t(row.write.size()), row.write.data()),
                  row.result);
        EXPECT_EQ(describe(uc.requests()), row.expected);
        std::string printed = row.failStatusAt ? "*** ZORVI returned status 0x01 => Invalid SPI chip index\n" : "";
        for (size_t i = 0; i < row.printedBytes; ++i) printed += "5C ";
        EXPECT_EQ(capture.text(), printed + "\n");
        for (uint32_t timeout : uc.timeouts()) EXPECT_EQ(timeout, uc.context()->timeoutMicroseconds);
    }
}
