// SPI flash chips behind the uC. The uC is the SPI bus master: every flash
// command (read, page program, erase, status poll, mode changes, resets) is
// built here byte by byte and carried inside one uC transfer request. All
// flash addresses on the bus go most significant byte first.
#pragma once

#include <cstdint>
#include <memory>

#include "link/connection.h"

/// `enter4ByteMethod` values.
enum : uint8_t {
    kEnter4ByteAlways = 0,       ///< the chip always takes 4-byte addresses
    kEnter4ByteOpcode = 1,       ///< `enter4ByteOpcode`, maybe after a write enable
    kEnter4ByteBankRegister = 2, ///< bit 7 of the bank register
    kEnter4ByteExtendedAddr = 3, ///< 3-byte addresses plus the extended address register
    kEnter4ByteNotNeeded = 4,    ///< 16 MiB or less: 3-byte addresses reach every byte
};

struct SpiEraseType {
    uint32_t size = 0;  ///< bytes, a power of two; 0 = absent
    uint8_t opcode = 0;
};

struct SpiFlashRegion {
    uint64_t size = 0;
    uint8_t eraseTypeMask = 0;  ///< bit i: erase type i may be used
};

struct SpiBankRegister {
    uint8_t readOpcode = 0x16;
    uint8_t writeOpcode = 0x17;
    uint8_t value = 0x80;
    uint8_t mask = 0x80;
};

/// What discovery learned of one chip; lives for one verb run.
struct SpiFlashInfo {
    uint32_t capacityBytes = 0;
    uint8_t enter4ByteMethod = 0;
    bool enter4ByteNeedsWriteEnable = false;
    SpiBankRegister bankRegister;
    uint8_t enter4ByteOpcode = 0;
    uint8_t softResetMethod = 0;
    uint8_t readStatusOpcode = 0;
    uint8_t readOpcode = 0;
    uint8_t writeEnableOpcode = 0;
    uint8_t writeDisableOpcode = 0;
    uint8_t pageProgramOpcode = 0;
    uint32_t pageSize = 0;
    SpiEraseType eraseTypes[4];
    bool fourByteAddressing = false;
    uint16_t segmentCache = 0xFFFF;
    std::unique_ptr<uint8_t[]> mergeBuffer;
    uint32_t mergeBufferSize = 0;
    uint32_t regionCount = 0;
    uint8_t configurationId = 0;
    std::unique_ptr<SpiFlashRegion[]> regions;
    /// Longest wait for the busy flag after an erase / a page program.
    uint32_t eraseWaitMs = 0;
    uint32_t programWaitMs = 0;
};

/// Frees `regions` and `mergeBuffer`.
void releaseSpiFlashInfo(SpiFlashInfo* info);

/// Time-out of every SPI flash exchange but spi-raw's.
constexpr uint32_t kSpiTimeoutUs = 1000000;
/// Busy waits never end sooner than this, whatever the chip advertises.
constexpr uint32_t kMinBusyWaitMs = 60000;

[[nodiscard]] Result spiResetAllChips(ConnectionContext* ctx, bool verbose);
[[nodiscard]] Result spiLengthyOperation(ConnectionContext* ctx, bool verbose, bool begins);
/// One transfer of `writeCount` bus bytes then `readCount` read bytes into
/// `readData` (may be null when readCount is 0). The verb checks `chip`
/// once, before its first exchange; a chip above 255 reaching this (or any
/// primitive below) gives 25 without a message and sends nothing.
[[nodiscard]] Result spiTransfer(ConnectionContext* ctx, bool verbose, uint32_t chip, const uint8_t* writeBytes,
                                 uint32_t writeCount, uint8_t* readData, uint32_t readCount);
[[nodiscard]] Result spiReadSfdp(ConnectionContext* ctx, bool verbose, uint32_t chip, uint32_t address, uint32_t count,
                                 uint8_t* destination);
[[nodiscard]] Result spiReadStatus(ConnectionContext* ctx, bool verbose, uint32_t chip, const SpiFlashInfo& info,
                                   uint8_t* status);
[[nodiscard]] Result spiSetWriteEnable(ConnectionContext* ctx, bool verbose, uint32_t chip, const SpiFlashInfo& info,
                                       bool enable);
[[nodiscard]] Result spiSelectSegment(ConnectionContext* ctx, bool verbose, uint32_t chip, SpiFlashInfo& info,
                                      uint8_t segment);
[[nodiscard]] Result spiRead(ConnectionContext* ctx, bool verbose, uint32_t chip, SpiFlashInfo& info, uint32_t address,
                             uint32_t count, uint8_t* destination);
/// Programs bytes that are erased already. `sent`, when given, is added
/// each page program's bytes as the request goes out, also when its
/// exchange then fails: the chip may have taken them all the same.
[[nodiscard]] Result spiWrite(ConnectionContext* ctx, bool verbose, uint32_t chip, SpiFlashInfo& info, uint32_t address,
                              uint32_t count, const uint8_t* source, uint64_t* sent = nullptr);
[[nodiscard]] Result spiEraseBlock(ConnectionContext* ctx, bool verbose, uint32_t chip, SpiFlashInfo& info,
                                   uint32_t eraseType, uint32_t blockAddress);
[[nodiscard]] Result spiEnter4ByteMode(ConnectionContext* ctx, bool verbose, uint32_t chip, SpiFlashInfo& info);
[[nodiscard]] Result spiSoftReset(ConnectionContext* ctx, bool verbose, uint32_t chip, const SpiFlashInfo& info);

/// Verb spi-raw.
[[nodiscard]] Result spiRaw(ConnectionContext* ctx, bool verbose, uint32_t chip, uint32_t readCount,
                            uint32_t writeCount, const uint8_t* writeBytes);
