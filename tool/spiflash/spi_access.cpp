// The SPI access primitives: one uC transfer per flash command.
#include <cstring>
#include <new>

#include "base/out.h"
#include "link/board_reads.h"
#include "link/service_refusal.h"
#include "platform/platform.h"
#include "spiflash/spi_commands.h"
#include "spiflash/spi_flash.h"
#include "spiflash/spi_verb_session.h"

namespace {

constexpr uint32_t kMaxReadChunk = 252;
constexpr uint32_t kMaxProgramChunk = 128;
constexpr uint32_t kSegmentSize = 0x1000000;
constexpr uint8_t kBusyBit = 0x01;

/// Puts `address` on the bus as 3 or 4 bytes; returns the count.
uint32_t putAddress(uint8_t* p, uint32_t address, bool fourBytes) {
    uint32_t n = 0;
    if (fourBytes) p[n++] = static_cast<uint8_t>(address >> 24);
    p[n++] = static_cast<uint8_t>(address >> 16);
    p[n++] = static_cast<uint8_t>(address >> 8);
    p[n++] = static_cast<uint8_t>(address);
    return n;
}

Result sendControl(ConnectionContext* ctx, bool verbose, uint8_t subcommand) {
    const uint8_t args[5] = {subcommand, 0, 0, 0, 0};
    uint8_t unused[4];
    return ucRequest(ctx, verbose, kSpiControl,
                     {.args = args, .argLength = sizeof args, .payload = unused, .payloadLength = sizeof unused});
}

/// One transfer request. `timeoutUs` 0 is the SPI time-out; `reply`, when
/// given, receives the reply's status. The verb has checked the chip index
/// (with its message); this only keeps a larger one from going out as
/// another chip's byte.
Result transfer(ConnectionContext* ctx, bool verbose, uint32_t chip, const uint8_t* writeBytes, uint32_t writeCount,
                uint8_t* readData, uint32_t readCount, uint32_t timeoutUs = 0, ReplyInfo* reply = nullptr) {
    if (chip > 0xFF) return kBadSpiChipIndex;
    uint8_t args[3 + 255] = {static_cast<uint8_t>(chip), static_cast<uint8_t>(writeCount),
                             static_cast<uint8_t>(readCount)};
    if (writeCount > 0) std::memcpy(args + 3, writeBytes, writeCount);
    return ucRequest(ctx, verbose, kSpiTransfer,
                     {.args = args, .argLength = 3 + writeCount, .payload = readData, .payloadLength = readCount,
                      .reply = reply, .timeoutUs = timeoutUs});
}

/// Busy poll with a bound: a dead chip or one stuck busy must not hold the
/// line for ever. The bound comes from the chip's own worst-case times.
Result waitWhileBusy(ConnectionContext* ctx, bool verbose, uint32_t chip, const SpiFlashInfo& info, uint32_t limitMs) {
    const uint32_t start = platform::tickMs();
    for (;;) {
        uint8_t status = 0;
        Result r = spiReadStatus(ctx, verbose, chip, info, &status);
        if (r != kOk) return r;
        if ((status & kBusyBit) == 0) return kOk;
        const uint32_t elapsed = platform::tickMs() - start;
        if (elapsed > limitMs) {
            out("*** SPI Flash chip %u still busy (status register 0x%02X) after %u ms; giving up.\n", chip, status,
                elapsed);
            return kUnexpectedStatus;
        }
    }
}

}  // namespace

void releaseSpiFlashInfo(SpiFlashInfo* info) {
    info->regions.reset();
    info->mergeBuffer.reset();
    info->regionCount = 0;
    info->mergeBufferSize = 0;
}

Result spiResetAllChips(ConnectionContext* ctx, bool verbose) { return sendControl(ctx, verbose, kSpiResetAllChips); }

Result spiLengthyOperation(ConnectionContext* ctx, bool verbose, bool begins) {
    return sendControl(ctx, verbose, begins ? kSpiLengthyBegins : kSpiLengthyEnds);
}

Result spiTransfer(ConnectionContext* ctx, bool verbose, uint32_t chip, const uint8_t* writeBytes, uint32_t writeCount,
                   uint8_t* readData, uint32_t readCount) {
    return transfer(ctx, verbose, chip, writeBytes, writeCount, readData, readCount);
}

Result spiReadSfdp(ConnectionContext* ctx, bool verbose, uint32_t chip, uint32_t address, uint32_t count,
                   uint8_t* destination) {
    while (count != 0) {
        const uint32_t n = count < 255 ? count : 255;
        const uint8_t bus[5] = {0x5A, static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8),
                                static_cast<uint8_t>(address), 0x00};
        if (Result r = spiTransfer(ctx, verbose, chip, bus, sizeof bus, destination, n); r != kOk) return r;
        destination += n;
        address += n;
        count -= n;
    }
    return kOk;
}

Result spiReadStatus(ConnectionContext* ctx, bool verbose, uint32_t chip, const SpiFlashInfo& info, uint8_t* status) {
    return spiTransfer(ctx, verbose, chip, &info.readStatusOpcode, 1, status, 1);
}

Result spiSetWriteEnable(ConnectionContext* ctx, bool verbose, uint32_t chip, const SpiFlashInfo& info, bool enable) {
    const uint8_t opcode = enable ? info.writeEnableOpcode : info.writeDisableOpcode;
    if (enable) return spiTransfer(ctx, verbose, chip, &opcode, 1, nullptr, 0);
    // Clearing the latch makes the chip safe again: it still goes out after a stop request.
    WindDown windDown;
    return spiTransfer(ctx, verbose, chip, &opcode, 1, nullptr, 0);
}

Result spiSelectSegment(ConnectionContext* ctx, bool verbose, uint32_t chip, SpiFlashInfo& info, uint8_t segment) {
    if (info.segmentCache == segment) return kOk;
    if (Result r = spiSetWriteEnable(ctx, verbose, chip, info, true); r != kOk) return r;
    const uint8_t bus[2] = {0xC5, segment};
    if (Result r = spiTransfer(ctx, verbose, chip, bus, sizeof bus, nullptr, 0); r != kOk) return r;
    info.segmentCache = segment;
    return kOk;
}

Result spiRead(ConnectionContext* ctx, bool verbose, uint32_t chip, SpiFlashInfo& info, uint32_t address,
               uint32_t count, uint8_t* destination) {
    while (count != 0) {
        uint32_t n = kSegmentSize - (address & (kSegmentSize - 1));
        if (n > kMaxReadChunk) n = kMaxReadChunk;
        if (n > count) n = count;
        if (info.enter4ByteMethod == kEnter4ByteExtendedAddr) {
            Result r = spiSelectSegment(ctx, verbose, chip, info, static_cast<uint8_t>(address >> 24));
            if (r != kOk) return r;
        }
        uint8_t bus[5];
        bus[0] = info.readOpcode;
        const uint32_t a = putAddress(bus + 1, address, info.fourByteAddressing);
        if (Result r = spiTransfer(ctx, verbose, chip, bus, 1 + a, destination, n); r != kOk) return r;
        destination += n;
        address += n;
        count -= n;
    }
    return kOk;
}

Result spiWrite(ConnectionContext* ctx, bool verbose, uint32_t chip, SpiFlashInfo& info, uint32_t address,
                uint32_t count, const uint8_t* source, uint64_t* sent) {
    const uint32_t chunk = info.pageSize < kMaxProgramChunk ? info.pageSize : kMaxProgramChunk;
    if (count == 0) return kOk;
    if (chunk == 0) return kSfdpError;
    bool first = true;
    while (count != 0) {
        uint32_t n = chunk - address % chunk;
        if (n > count) n = count;
        if (info.enter4ByteMethod == kEnter4ByteExtendedAddr) {
            Result r = spiSelectSegment(ctx, verbose, chip, info, static_cast<uint8_t>(address >> 24));
            if (r != kOk) return r;
        }
        if (first) {
            if (Result r = waitWhileBusy(ctx, verbose, chip, info, info.programWaitMs); r != kOk) return r;
            first = false;
        }
        if (Result r = spiSetWriteEnable(ctx, verbose, chip, info, true); r != kOk) return r;
        uint8_t bus[5 + kMaxProgramChunk];
        bus[0] = info.pageProgramOpcode;
        const uint32_t a = putAddress(bus + 1, address, info.fourByteAddressing);
        std::memcpy(bus + 1 + a, source, n);
        const Result programmed = spiTransfer(ctx, verbose, chip, bus, 1 + a + n, nullptr, 0);
        if (sent != nullptr) *sent += n;
        if (programmed != kOk) return programmed;
        if (Result r = waitWhileBusy(ctx, verbose, chip, info, info.programWaitMs); r != kOk) return r;
        source += n;
        address += n;
        count -= n;
    }
    return kOk;
}

Result spiEraseBlock(ConnectionContext* ctx, bool verbose, uint32_t chip, SpiFlashInfo& info, uint32_t eraseType,
                     uint32_t blockAddress) {
    if (Result r = waitWhileBusy(ctx, verbose, chip, info, info.eraseWaitMs); r != kOk) return r;
    if (info.enter4ByteMethod == kEnter4ByteExtendedAddr) {
        Result r = spiSelectSegment(ctx, verbose, chip, info, static_cast<uint8_t>(blockAddress >> 24));
        if (r != kOk) return r;
    }
    if (Result r = spiSetWriteEnable(ctx, verbose, chip, info, true); r != kOk) return r;
    uint8_t bus[5];
    bus[0] = info.eraseTypes[eraseType & 3].opcode;
    const uint32_t a = putAddress(bus + 1, blockAddress, info.fourByteAddressing);
    if (Result r = spiTransfer(ctx, verbose, chip, bus, 1 + a, nullptr, 0); r != kOk) return r;
    return waitWhileBusy(ctx, verbose, chip, info, info.eraseWaitMs);
}

Result spiEnter4ByteMode(ConnectionContext* ctx, bool verbose, uint32_t chip, SpiFlashInfo& info) {
    switch (info.enter4ByteMethod) {
        case kEnter4ByteAlways: break;
        case kEnter4ByteOpcode:
            if (info.enter4ByteNeedsWriteEnable) {
                if (Result r = spiSetWriteEnable(ctx, verbose, chip, info, true); r != kOk) return r;
            }
            if (Result r = spiTransfer(ctx, verbose, chip, &info.enter4ByteOpcode, 1, nullptr, 0); r != kOk) return r;
            break;
        case kEnter4ByteBankRegister: {
            const SpiBankRegister& bank = info.bankRegister;
            uint8_t old = 0;
            if (Result r = spiTransfer(ctx, verbose, chip, &bank.readOpcode, 1, &old, 1); r != kOk) return r;
            const uint8_t bus[2] = {bank.writeOpcode, static_cast<uint8_t>((old & ~bank.mask) | (bank.value & bank.mask))};
            if (Result r = spiTransfer(ctx, verbose, chip, bus, sizeof bus, nullptr, 0); r != kOk) return r;
            break;
        }
        default: return kSfdpError;
    }
    info.fourByteAddressing = true;
    return kOk;
}

Result spiSoftReset(ConnectionContext* ctx, bool verbose, uint32_t chip, const SpiFlashInfo& info) {
    switch (info.softResetMethod) {
        case 1:
        case 2:
        case 3: {
            // Ones on the data lines for 8, 10 or 16 clocks: sixteen 0x00
            // bytes with the data line idle covers all three.
            const uint8_t zeros[16] = {};
            return spiTransfer(ctx, verbose, chip, zeros, sizeof zeros, nullptr, 0);
        }
        case 4: {
            const uint8_t opcode = 0xF0;
            return spiTransfer(ctx, verbose, chip, &opcode, 1, nullptr, 0);
        }
        case 5: {
            const uint8_t enable = 0x66, reset = 0x99;
            if (Result r = spiTransfer(ctx, verbose, chip, &enable, 1, nullptr, 0); r != kOk) return r;
            return spiTransfer(ctx, verbose, chip, &reset, 1, nullptr, 0);
        }
        default: return kSfdpError;
    }
}

Result spiRaw(ConnectionContext* ctx, bool verbose, uint32_t chip, uint32_t readCount, uint32_t writeCount,
              const uint8_t* writeBytes) {
    if (!spiChipInRange(chip)) return kBadSpiChipIndex;
    std::unique_ptr<uint8_t[]> readData(new (std::nothrow) uint8_t[readCount == 0 ? 1 : readCount]);
    if (!readData) {
        out("*** Failed to allocate read data buffer.\n");
        return kNoMemory;
    }
    if (refuseInServiceMode(ctx, "spi-raw")) return kRefusedInServiceMode;
    Result result = kOk;
    uint32_t written = 0, read = 0;
    while (written < writeCount || read < readCount) {
        uint32_t w = writeCount - written, n = 0;
        if (w > 255) {
            w = 255;
        } else {
            n = readCount - read < 255 ? readCount - read : 255;
        }
        // spi-raw waits the link's time-out, and ends with 103 whatever the
        // status, after showing the bytes read so far.
        ReplyInfo reply;
        Result r = transfer(ctx, verbose, chip, writeBytes + written, w, readData.get() + read, n,
                            ctx->timeoutMicroseconds, &reply);
        if (reply.status != 0) {
            result = kUnexpectedStatus;
            break;
        }
        if (r != kOk) return r;
        written += w;
        read += n;
    }
    for (uint32_t i = 0; i < read; ++i) out("%02X ", readData[i]);
    out("\n");
    return result;
}
