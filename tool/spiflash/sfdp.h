// SFDP discovery: what a chip says of itself (capacity, erase types, page
// size, 4-byte addressing, software reset, sector map) becomes a
// SpiFlashInfo. The decoding is pure; discovery reads the SFDP area through
// an SfdpSource, which is the chip behind the uC in a verb and a byte array
// in the tests and the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "spiflash/spi_flash.h"

constexpr uint32_t kSfdpSignature = 0x50444653;
constexpr uint32_t kBasicTableId = 0xFF00;
constexpr uint32_t kSectorMapId = 0xFF81;
constexpr uint32_t kMaxBasicTableBytes = 64;

struct SfdpHeader {
    uint32_t signature = 0;
    uint8_t minor = 0, major = 0, headerCount = 0, access = 0;
    uint32_t expectedBasicLength = 0;  ///< 16, 36 or 64 bytes by revision
};
SfdpHeader decodeSfdpHeader(const uint8_t bytes[8]);

struct SfdpParameterHeader {
    uint32_t id = 0;
    uint8_t minor = 0, major = 0, dwords = 0;
    uint32_t pointer = 0;
};
SfdpParameterHeader decodeSfdpParameterHeader(const uint8_t bytes[8]);

/// Outcome of decoding a basic flash parameter table.
enum class BasicTableStatus { Ok, CapacityOver2p63, NoEraseTypes, BlockTooLarge, No4ByteMethod, NoResetExit, NoSoftReset };
enum class BasicTableNoteKind { CapacityClamped, IgnoredSectorSize, PageSizeOne };
struct BasicTableNote {
    BasicTableNoteKind kind;
    uint32_t value;  ///< the ignored exponent
};
struct BasicTableDecode {
    BasicTableStatus status = BasicTableStatus::Ok;
    BasicTableNote notes[6] = {};  ///< warnings in the order they arise
    uint32_t noteCount = 0;
    uint32_t largestBlock = 0;
};

/// Decodes the 64-byte basic table (missing DWORDs zero) into the fields of
/// `info` it governs; stops at the first refusal.
BasicTableDecode decodeBasicTable(const uint8_t table[kMaxBasicTableBytes], SpiFlashInfo* info);

/// Sector map walks over `count` DWORDs. The detection commands of walk 1,
/// in the order to run them (first and second DWORD each).
std::vector<std::pair<uint32_t, uint32_t>> sectorMapDetectionCommands(const uint32_t* dwords, uint32_t count);
/// Walks 2 and 3: the number of regions of configuration `configId`, and
/// when `regions` is given (that many entries, zeroed) their sizes and masks.
uint32_t sectorMapRegions(const uint32_t* dwords, uint32_t count, uint8_t configId, SpiFlashRegion* regions);

/// Where discovery reads the SFDP area and runs its chip commands.
class SfdpSource {
public:
    virtual ~SfdpSource() = default;
    virtual Result readSfdp(uint32_t address, uint32_t count, uint8_t* destination) = 0;
    /// Runs one configuration detection command and shifts its bit into *configId.
    virtual Result runDetection(uint32_t first, uint32_t second, bool fourByteAddressing, uint8_t* configId) = 0;
    virtual Result softReset(const SpiFlashInfo& info) = 0;
};

/// An SFDP area held in memory; addresses past its end read 0xFF, as on a
/// chip. Detection commands read `detectionByte`.
class SfdpAreaSource : public SfdpSource {
public:
    SfdpAreaSource(const uint8_t* area, size_t size, uint8_t detectionByte = 0)
        : area_(area), size_(size), detectionByte_(detectionByte) {}
    Result readSfdp(uint32_t address, uint32_t count, uint8_t* destination) override;
    Result runDetection(uint32_t first, uint32_t second, bool fourByteAddressing, uint8_t* configId) override;
    Result softReset(const SpiFlashInfo&) override { return kOk; }

private:
    const uint8_t* area_;
    size_t size_;
    uint8_t detectionByte_;
};

/// Discovery over any source; prints its messages. The caller zeroes `info`
/// before and releases it after, whatever the result.
[[nodiscard]] Result discoverSpiFlashFrom(SfdpSource& source, bool verbose, uint32_t chip, SpiFlashInfo* info);
/// Discovery of a chip behind the uC.
[[nodiscard]] Result discoverSpiFlash(ConnectionContext* ctx, bool verbose, uint32_t chip, SpiFlashInfo* info);

/// Shifts the outcome of one detection command into *configId.
[[nodiscard]] Result spiRunDetectionCommand(ConnectionContext* ctx, bool verbose, uint32_t chip, bool fourByteAddressing,
                                            uint32_t first, uint32_t second, uint8_t* configId);

/// Verb spi-info: the SFDP report.
[[nodiscard]] Result spiInfo(ConnectionContext* ctx, bool verbose, uint32_t chip);
