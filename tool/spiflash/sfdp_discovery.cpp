// SFDP discovery: the pure decoding of the basic table and the sector map,
// and the read sequence that feeds it.
#include <algorithm>
#include <cstring>
#include <new>

#include "base/bytes.h"
#include "base/out.h"
#include "spiflash/sfdp.h"

namespace {

uint32_t dword(const uint8_t* table, uint32_t number) { return getLe32(table + 4 * (number - 1)); }

constexpr uint32_t kSixteenMiB = 0x1000000;
constexpr uint32_t kTwoGiB = 0x80000000u;
constexpr uint32_t kMinMergeBuffer = 0x10000;

/// Worst-case time of the slowest erase type from DWORD 10, in ms.
uint64_t worstEraseMs(const uint8_t* table, const SpiFlashInfo& info) {
    static const uint32_t kUnitMs[4] = {1, 16, 128, 1000};
    const uint32_t d10 = dword(table, 10);
    const uint32_t multiplier = 2 * ((d10 & 0xF) + 1);
    uint64_t worst = 0;
    for (uint32_t i = 0; i < 4; ++i) {
        if (info.eraseTypes[i].size == 0) continue;
        const uint32_t field = d10 >> (4 + 7 * i);
        worst = std::max<uint64_t>(worst, uint64_t((field & 0x1F) + 1) * kUnitMs[(field >> 5) & 3] * multiplier);
    }
    return worst;
}

}  // namespace

SfdpHeader decodeSfdpHeader(const uint8_t bytes[8]) {
    SfdpHeader h;
    h.signature = getLe32(bytes);
    h.minor = bytes[4];
    h.major = bytes[5];
    h.headerCount = bytes[6];
    h.access = bytes[7];
    h.expectedBasicLength = h.major == 0 ? 16 : (h.major == 1 && h.minor < 6) ? 36 : 64;
    return h;
}

SfdpParameterHeader decodeSfdpParameterHeader(const uint8_t bytes[8]) {
    SfdpParameterHeader p;
    p.id = static_cast<uint32_t>(bytes[7] << 8 | bytes[0]);
    p.minor = bytes[1];
    p.major = bytes[2];
    p.dwords = bytes[3];
    p.pointer = static_cast<uint32_t>(bytes[4] | bytes[5] << 8 | bytes[6] << 16);
    return p;
}

BasicTableDecode decodeBasicTable(const uint8_t table[kMaxBasicTableBytes], SpiFlashInfo* info) {
    BasicTableDecode d;
    auto fail = [&d](BasicTableStatus s) {
        d.status = s;
        return d;
    };
    const uint32_t density = dword(table, 2);
    uint64_t bits;
    if (density & 0x80000000u) {
        const uint32_t n = density & 0x7FFFFFFF;
        if (n > 63) return fail(BasicTableStatus::CapacityOver2p63);
        bits = uint64_t(1) << n;
    } else {
        bits = uint64_t(density) + 1;
    }
    uint64_t bytes = bits / 8;
    if (bytes > kTwoGiB) {
        d.notes[d.noteCount++] = {BasicTableNoteKind::CapacityClamped, 0};
        bytes = kTwoGiB;
    }
    info->capacityBytes = static_cast<uint32_t>(bytes);

    for (uint32_t i = 0; i < 4; ++i) {
        const uint8_t exponent = table[28 + 2 * i];
        info->eraseTypes[i] = {};
        if (exponent == 0) continue;
        if (exponent > 31) {
            d.notes[d.noteCount++] = {BasicTableNoteKind::IgnoredSectorSize, exponent};
            continue;
        }
        info->eraseTypes[i] = {uint32_t(1) << exponent, table[29 + 2 * i]};
        d.largestBlock = std::max(d.largestBlock, info->eraseTypes[i].size);
    }
    if (d.largestBlock == 0) {
        const uint32_t d1 = dword(table, 1);
        if ((d1 & 3) != 1) return fail(BasicTableStatus::NoEraseTypes);
        info->eraseTypes[0] = {4096, static_cast<uint8_t>(d1 >> 8)};
        d.largestBlock = 4096;
    }
    if (d.largestBlock > info->capacityBytes) return fail(BasicTableStatus::BlockTooLarge);

    const uint32_t d16 = dword(table, 16);
    const uint32_t enter = d16 >> 24;
    info->fourByteAddressing = false;
    info->enter4ByteNeedsWriteEnable = false;
    if (info->capacityBytes <= kSixteenMiB) {
        // Three address bytes reach every byte of such a chip. Many small
        // chips advertise no entry method or fill DWORD 16 with ones, which
        // would read as "always 4-byte": neither may decide how we address.
        info->enter4ByteMethod = kEnter4ByteNotNeeded;
    } else {
        if (enter & 0x40) {
            info->enter4ByteMethod = kEnter4ByteAlways;
            info->fourByteAddressing = true;
        } else if (enter & 0x01) {
            info->enter4ByteMethod = kEnter4ByteOpcode;
            info->enter4ByteOpcode = 0xB7;
        } else if (enter & 0x02) {
            info->enter4ByteMethod = kEnter4ByteOpcode;
            info->enter4ByteOpcode = 0xB7;
            info->enter4ByteNeedsWriteEnable = true;
        } else if (enter & 0x08) {
            info->enter4ByteMethod = kEnter4ByteBankRegister;
            info->bankRegister = SpiBankRegister{};
        } else if (enter & 0x04) {
            info->enter4ByteMethod = kEnter4ByteExtendedAddr;
        } else {
            return fail(BasicTableStatus::No4ByteMethod);
        }
        if ((info->enter4ByteMethod == kEnter4ByteOpcode || info->enter4ByteMethod == kEnter4ByteBankRegister) &&
            (d16 & (3u << 19)) == 0)
            return fail(BasicTableStatus::NoResetExit);
    }

    if (d16 & (1u << 12)) info->softResetMethod = 5;
    else if (d16 & (1u << 11)) info->softResetMethod = 4;
    else if (d16 & (1u << 8)) info->softResetMethod = 1;
    else if (d16 & (1u << 9)) info->softResetMethod = 2;
    else if (d16 & (1u << 10)) info->softResetMethod = 3;
    else return fail(BasicTableStatus::NoSoftReset);

    info->readStatusOpcode = 0x05;
    info->readOpcode = 0x03;
    info->writeEnableOpcode = 0x06;
    info->writeDisableOpcode = 0x04;
    info->pageProgramOpcode = 0x02;
    const uint32_t pageExponent = (dword(table, 11) >> 4) & 0xF;
    info->pageSize = uint32_t(1) << pageExponent;
    if (pageExponent == 0) d.notes[d.noteCount++] = {BasicTableNoteKind::PageSizeOne, 0};
    info->segmentCache = 0xFFFF;
    // Busy waits: four times the chip's own worst case, never under a minute
    // (a program never sends a chip erase, the slowest command of all).
    info->eraseWaitMs = static_cast<uint32_t>(std::clamp<uint64_t>(4 * worstEraseMs(table, *info), kMinBusyWaitMs, 3600000));
    info->programWaitMs = kMinBusyWaitMs;
    return d;
}

std::vector<std::pair<uint32_t, uint32_t>> sectorMapDetectionCommands(const uint32_t* dwords, uint32_t count) {
    std::vector<std::pair<uint32_t, uint32_t>> commands;
    uint64_t i = 0;
    while (i < count) {
        const uint32_t d = dwords[i];
        if (d & 2) {
            i += 2 + ((d >> 16) & 0xFF);
            continue;
        }
        if (i + 1 >= count) break;
        commands.emplace_back(d, dwords[i + 1]);
        if (d & 1) break;
        i += 2;
    }
    return commands;
}

uint32_t sectorMapRegions(const uint32_t* dwords, uint32_t count, uint8_t configId, SpiFlashRegion* regions) {
    uint32_t total = 0;
    uint64_t i = 0;
    while (i < count) {
        const uint32_t d = dwords[i];
        if ((d & 2) == 0) {
            i += 2;
            continue;
        }
        const uint32_t n = ((d >> 16) & 0xFF) + 1;
        if (((d >> 8) & 0xFF) == configId) {
            for (uint32_t k = 0; k < n; ++k) {
                const uint64_t at = i + 1 + k;
                if (regions != nullptr && at < count) {
                    regions[total + k].size = (uint64_t((dwords[at] >> 8) & 0xFFFFFF) + 1) * 256;
                    regions[total + k].eraseTypeMask = static_cast<uint8_t>(dwords[at]);
                }
            }
            total += n;
        }
        if (d & 1) break;
        i += 1 + n;
    }
    return total;
}

Result SfdpAreaSource::readSfdp(uint32_t address, uint32_t count, uint8_t* destination) {
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t at = uint64_t(address) + i;
        destination[i] = at < size_ ? area_[at] : 0xFF;
    }
    return kOk;
}

Result SfdpAreaSource::runDetection(uint32_t first, uint32_t, bool, uint8_t* configId) {
    const bool set = (detectionByte_ & (first >> 24)) != 0;
    *configId = static_cast<uint8_t>(*configId * 2 + (set ? 1 : 0));
    return kOk;
}

Result discoverSpiFlashFrom(SfdpSource& source, bool verbose, uint32_t chip, SpiFlashInfo* info) {
    uint8_t table[kMaxBasicTableBytes] = {};
    uint8_t raw[8];
    if (Result r = source.readSfdp(0, 8, raw); r != kOk) {
        out("*** Failed to read SPI Flash SFDP Header.\n");
        return r;
    }
    const SfdpHeader header = decodeSfdpHeader(raw);
    if (header.signature != kSfdpSignature) {
        out("*** Signature 0x%08X in SPI Flash SFDP Header is not expected value 0x%08X.\n", header.signature,
            kSfdpSignature);
        return kSfdpError;
    }
    if (header.major == 0) {
        out("*** SPI Flash SFDP Header version %u.%u indicates that this SPI Flash chip predates JESD216.\n",
            header.major, header.minor);
        return kSfdpError;
    }
    bool haveBasic = false, haveMap = false;
    uint32_t bestRevision = 0, bestIndex = 0;
    SfdpParameterHeader best, map;
    for (uint32_t i = 0; i <= header.headerCount; ++i) {
        if (Result r = source.readSfdp(8 + 8 * i, 8, raw); r != kOk) {
            out("*** Failed to read SPI Flash SFDP Table Header %u.\n", i);
            return r;
        }
        const SfdpParameterHeader p = decodeSfdpParameterHeader(raw);
        if (p.id == kBasicTableId) {
            const uint32_t revision = p.major * 256u + p.minor;
            if (revision > bestRevision) {
                bestRevision = revision;
                bestIndex = i;
                best = p;
                haveBasic = true;
            }
        } else if (p.id == kSectorMapId) {
            map = p;
            haveMap = true;
        }
    }
    if (!haveBasic) {
        out("+++ Failed to find a standard SFDP Table Header in SPI Flash chip.\n");
        return kSfdpError;
    }
    uint32_t length = best.dwords * 4u;
    if (verbose && length != header.expectedBasicLength) {
        out("+++ SPI Flash SFDP Table %u length (%u B) is inconsistent with expected length (%u B) implied by SFDP "
            "version %u.%u.\n",
            bestIndex, length, header.expectedBasicLength, header.major, header.minor);
    }
    if (length > kMaxBasicTableBytes) {
        out("+++ SPI Flash SFDP Table %u length (%u B) is more than maximum expected (%u B); extra data will be "
            "ignored.\n",
            bestIndex, length, kMaxBasicTableBytes);
        length = kMaxBasicTableBytes;
    }
    if (Result r = source.readSfdp(best.pointer, length, table); r != kOk) {
        out("*** Failed to read SPI Flash SFDP Table %u.\n", bestIndex);
        return r;
    }

    const BasicTableDecode d = decodeBasicTable(table, info);
    for (uint32_t i = 0; i < d.noteCount; ++i) {
        switch (d.notes[i].kind) {
            case BasicTableNoteKind::CapacityClamped:
                out("+++ SPI Flash SFDP Table %u indicates capacity of more than 2 GiB. This program can access only "
                    "the lowest 2 GiB.\n",
                    bestIndex);
                break;
            case BasicTableNoteKind::IgnoredSectorSize:
                out("+++ Ignoring SPI Flash SFDP sector size of 2^%u.\n", d.notes[i].value);
                break;
            case BasicTableNoteKind::PageSizeOne:
                out("+++ SPI Flash SFDP advertises a program page size of 1 byte; programming and/or erasing will be "
                    "extremely slow.\n");
                break;
        }
    }
    switch (d.status) {
        case BasicTableStatus::Ok: break;
        case BasicTableStatus::CapacityOver2p63:
            out("*** SPI Flash SFDP Table %u indicates capacity of more than 2^63 bits.\n", bestIndex);
            return kSfdpError;
        case BasicTableStatus::NoEraseTypes:
            out("*** SPI Flash SFDP Table %u does not advertise any valid sector/subsector sizes.\n", bestIndex);
            return kSfdpError;
        case BasicTableStatus::BlockTooLarge:
            out("*** SPI Flash SFDP Table %u largest block size (0x%X B) is inconsistent with capacity (0x%X B).\n",
                bestIndex, d.largestBlock, info->capacityBytes);
            return kSfdpError;
        case BasicTableStatus::No4ByteMethod:
            out("*** SPI Flash chip does advertise any of the methods for entering 4-byte address mode that this "
                "program supports.\n");
            return kSfdpError;
        case BasicTableStatus::NoResetExit:
            out("*** SPI Flash chip does not exit 4-byte address mode on hardware or software reset.\n");
            return kSfdpError;
        case BasicTableStatus::NoSoftReset:
            out("*** SPI Flash chip does advertise any of the methods for performing software reset that this program "
                "supports.\n");
            return kSfdpError;
    }

    const uint32_t mergeSize = std::max(d.largestBlock, kMinMergeBuffer);
    info->mergeBuffer.reset(new (std::nothrow) uint8_t[mergeSize]);
    if (!info->mergeBuffer) {
        out("*** Failed to allocate SPI Flash merge buffer of 0x%llX bytes.\n", static_cast<unsigned long long>(mergeSize));
        return kNoMemory;
    }
    info->mergeBufferSize = mergeSize;
    auto failed = [info](Result r) {
        releaseSpiFlashInfo(info);
        return r;
    };
    if (Result r = source.softReset(*info); r != kOk) return failed(r);
    if (!haveMap) return kOk;

    const uint32_t mapBytes = map.dwords * 4u;
    std::unique_ptr<uint8_t[]> mapRaw(new (std::nothrow) uint8_t[mapBytes == 0 ? 1 : mapBytes]);
    if (!mapRaw) {
        out("*** Failed to allocate buffer to read SFDP Sector Map of 0x%X bytes.\n", mapBytes);
        return failed(kNoMemory);
    }
    if (Result r = source.readSfdp(map.pointer, mapBytes, mapRaw.get()); r != kOk) {
        out("*** Failed to read SFDP Sector Map.\n");
        return failed(r);
    }
    std::vector<uint32_t> dwords(map.dwords);
    for (uint32_t i = 0; i < map.dwords; ++i) dwords[i] = getLe32(mapRaw.get() + 4 * i);

    uint8_t configId = 0;
    for (const auto& [first, second] : sectorMapDetectionCommands(dwords.data(), map.dwords)) {
        if (Result r = source.runDetection(first, second, info->fourByteAddressing, &configId); r != kOk)
            return failed(r);
    }
    const uint32_t total = sectorMapRegions(dwords.data(), map.dwords, configId, nullptr);
    if (total == 0) {
        out("*** Cannot find any Configuration Map Descriptors for current configuration of SPI chip %u.\n", chip);
        return failed(kSfdpError);
    }
    info->regions.reset(new (std::nothrow) SpiFlashRegion[total]());
    if (!info->regions) {
        out("*** Failed to allocate sector map array of 0x%llX bytes.\n",
            static_cast<unsigned long long>(total) * sizeof(SpiFlashRegion));
        return failed(kNoMemory);
    }
    sectorMapRegions(dwords.data(), map.dwords, configId, info->regions.get());
    info->regionCount = total;
    info->configurationId = configId;
    return kOk;
}

namespace {

/// The chip behind the uC as an SFDP source.
class LinkSource : public SfdpSource {
public:
    LinkSource(ConnectionContext* ctx, bool verbose, uint32_t chip) : ctx_(ctx), verbose_(verbose), chip_(chip) {}
    Result readSfdp(uint32_t address, uint32_t count, uint8_t* destination) override {
        return spiReadSfdp(ctx_, verbose_, chip_, address, count, destination);
    }
    Result runDetection(uint32_t first, uint32_t second, bool fourByte, uint8_t* configId) override {
        return spiRunDetectionCommand(ctx_, verbose_, chip_, fourByte, first, second, configId);
    }
    Result softReset(const SpiFlashInfo& info) override { return spiSoftReset(ctx_, verbose_, chip_, info); }

private:
    ConnectionContext* ctx_;
    bool verbose_;
    uint32_t chip_;
};

}  // namespace

Result discoverSpiFlash(ConnectionContext* ctx, bool verbose, uint32_t chip, SpiFlashInfo* info) {
    LinkSource source(ctx, verbose, chip);
    return discoverSpiFlashFrom(source, verbose, chip, info);
}

Result spiRunDetectionCommand(ConnectionContext* ctx, bool verbose, uint32_t chip, bool fourByteAddressing,
                              uint32_t first, uint32_t second, uint8_t* configId) {
    const uint32_t code = (first >> 22) & 3;
    const uint32_t addressBytes = code == 0 ? 0 : code == 1 ? 3 : code == 2 ? 4 : fourByteAddressing ? 4 : 3;
    const uint32_t latency = (first >> 16) & 0xF;
    const uint32_t dummies = latency == 15 ? 16 : latency;
    uint8_t bus[1 + 4 + 16] = {};
    bus[0] = static_cast<uint8_t>(first >> 8);
    for (uint32_t i = 0; i < addressBytes; ++i) bus[1 + i] = static_cast<uint8_t>(second >> (8 * (addressBytes - 1 - i)));
    uint8_t byte = 0;
    if (Result r = spiTransfer(ctx, verbose, chip, bus, 1 + addressBytes + dummies, &byte, 1); r != kOk) return r;
    *configId = static_cast<uint8_t>(*configId * 2 + ((byte & (first >> 24)) != 0 ? 1 : 0));
    return kOk;
}
