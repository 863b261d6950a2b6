// The spi-info verb: the chip's SFDP data decoded field by field for people,
// and with +json the parameters discovery would take from it. It reads the
// SFDP area (and with +json the JEDEC ID) and changes nothing on the chip.
#include <cstring>
#include <new>

#include "base/bytes.h"
#include "base/out.h"
#include "spiflash/sfdp.h"
#include "spiflash/sfdp_report.h"
#include "spiflash/spi_commands.h"
#include "spiflash/spi_verb_session.h"

namespace {

constexpr uint8_t kReadJedecId = 0x9F;

/// Bits of a density DWORD; 0 when its exponent has no 64-bit bit count.
uint64_t densityBits(uint32_t d2) {
    if ((d2 & 0x80000000u) == 0) return uint64_t(d2) + 1;
    return (d2 & 0x7FFFFFFF) > 63 ? 0 : uint64_t(1) << (d2 & 0x7FFFFFFF);
}

const char* flag(uint32_t value, uint32_t bit) { return (value >> bit) & 1 ? "SUPPORTED" : "NOT SUPPORTED"; }
uint32_t tableDword(const uint8_t* table, uint32_t number) { return getLe32(table + 4 * (number - 1)); }

void printFastRead(const char* mode, const uint8_t* table, uint32_t capabilityAt) {
    const uint8_t cap = table[capabilityAt];
    out("  %s Fast Read capabilities .. 0x%02X => %u wait state(s), %u mode bit(s)\n", mode, cap, cap & 0x1F, cap >> 5);
    out("  %s Fast Read opcode ........ 0x%02X\n", mode, table[capabilityAt + 1]);
}

void printDword15(uint32_t d) {
    out("  Quad enable / hold cap. ....... 0x%08X\n", d);
    if (d & (1u << 0)) out("    => Opcode 0xFF exits 4-4-4 Mode\n");
    if (d & (1u << 1)) out("    => Opcode 0xF5 exits 4-4-4 Mode\n");
    if (d & (1u << 2)) {
        out("    => Read-modify-write (volatile) exits 4-4-4 Mode:\n");
        out("       (a) Read config. (opcode 0x65) to address 0x800003, (b) clear bit 6,\n");
        out("       (c) Write config. back (opcode 0x71) to address 0x800003\n");
    }
    if (d & (1u << 3)) out("    => Soft reset exits 4-4-4 Mode: opcode 0x66 then opcode 0x99\n");
    if (d & (1u << 4)) out("    => Set Quad Enable, then opcode 0x38 to enter 4-4-4 Mode\n");
    if (d & (1u << 5)) out("    => Opcode 0x38 enters 4-4-4 Mode\n");
    if (d & (1u << 6)) out("    => Opcode 0x35 enters 4-4-4 Mode\n");
    if (d & (1u << 7)) {
        out("    => RMW sequence (volatile) exits 4-4-4 Mode:\n");
        out("       (a) Read config. (opcode 0x65 address 0x800003), (b) set bit 6,\n");
        out("       (c) Write config. back (opcode 0x71 address 0x800003)\n");
    }
    if (d & (1u << 8)) {
        out("    => RMW sequence (volatile) enters/exits 4-4-4 Mode:\n");
        out("       (a) Read config. (opcode 0x65 no address), (b) set/clear bit 7,\n");
        out("       (c) Write config. back (opcode 0x71 no address)\n");
    }
    out("    => 0-4-4 Mode is %s\n", flag(d, 9));
    if (d & (1u << 10)) out("    => If mode bits [7:0] = 0, exits 0-4-4 Mode at end of current read\n");
    if (d & (1u << 11)) {
        out("    => If 3-byte address mode, drive 1s on DQ for 8 clocks to exit 0-4-4 Mode\n");
        out("       If 4-byte address mode, drive 1s on DQ for 10 clocks to exit 0-4-4 Mode\n");
    }
    if (d & (1u << 13)) out("    => Drive 1s on DQ for 8 clocks to exit 0-4-4 Mode\n");
    if (d & (1u << 14)) out("    => Mode bits [7:4] != 0xA exits 0-4-4 Mode\n");
    if (d & (1u << 16)) out("    => Mode bits [7:0] = 0xA5 enters 0-4-4 Mode (requires Quad Enable)\n");
    if (d & (1u << 17)) {
        out("    => RMW sequence (volatile) enters/exits 0-4-4 Mode:\n");
        out("       (a) Read config. (opcode 0x85 no address), (b) set/clear bit 3 (XIP),\n");
        out("       (c) Write config. back (opcode 0x81 no address),\n");
        out("       (d) Set mode bits [7:0] to 0x01\n");
    }
    if (d & (1u << 12)) out("    => Mode bits [7:4] = 0xA enters 0-4-4 Mode\n");
    switch ((d >> 20) & 7) {
        case 0: out("    => No QE bit; detects 1-1-4 and 1-4-4 based on opcode (refer to JESD216B)\n"); break;
        case 1: out("    => QE is status reg. 2 bit 2 (refer to JESD216B)\n"); break;
        case 2: out("    => QE is status reg. 1 bit 6 (refer to JESD216B)\n"); break;
        case 3: out("    => QE is status reg. 2 bit 7 (refer to JESD216B)\n"); break;
        case 4: out("    => QE is status reg. 2 bit 1 (2 byte read/write; refer to JESD216B)\n"); break;
        case 5: out("    => QE is status reg. 2 bit 1 (1 byte read, 2 byte write; refer to JESD216B)\n"); break;
        default: out("    => Unknown QE requirements code (%u), not defined by JESD216B\n", (d >> 20) & 7); break;
    }
    if (d & (1u << 23))
        out("    => Set bit 4 of NV ext. config. reg. to 0 to disable HOLD / RESET\n");
    else
        out("    => HOLD / RESET disable function is NOT SUPPORTED\n");
}

void printDword16(uint32_t d) {
    out("  Miscellanous capabilities ..... 0x%08X\n", d);
    if (d & (1u << 0)) out("    => Nonvolatile status register 1, opcode 0x60 to write\n");
    if (d & (1u << 1)) out("    => Volatile status register 1, powers up with 1s, opcode 0x06 to write\n");
    if (d & (1u << 2)) out("    => Volatile status register 1, powers up with 1s, opcode 0x50 to write\n");
    if (d & (1u << 3)) out("    => NV/Volatile status register 1, opcode 0x06 to write volatile, 0x50 to write NV\n");
    if (d & (1u << 4)) out("    => Status register 1 has mix of volatile and NV bits, opcode 0x06 to write\n");
    if ((d & (0x1Fu << 8)) == 0) out("    => No software reset function\n");
    if (d & (1u << 8)) out("    => Drive 1s on all 4 data wires for 8 clocks to soft-reset\n");
    if (d & (1u << 9)) out("    => Drive 1s on all 4 data wires for 10 clocks, if in 4-byte address mode, to soft-reset\n");
    if (d & (1u << 10)) out("    => Drive 1s on all 4 data wires for 16 clocks to soft-reset\n");
    if (d & (1u << 11)) out("    => Opcode 0xF0 performs soft-reset\n");
    if (d & (1u << 12)) out("    => Issue opcode 0x66 (reset enable) followed by opcode 0x99 to soft-reset\n");
    if (d & (1u << 13)) out("    => Exit from 0-4-4 mode required before reset sequence\n");
    if (d & (1u << 14)) out("    => Opcode 0xE9 exits 4-byte address mode\n");
    if (d & (1u << 15)) out("    => Opcode 0x06 (write enable) then opcode 0xE9 exits 4-byte address mode\n");
    if (d & ((1u << 16) | (1u << 26))) {
        out("    => Addr. [31:24] in extended address register\n");
        out("       Read & write register (volatile) using opcodes 0xC8 & 0xC5 (1 data byte)\n");
    }
    if (d & ((1u << 17) | (1u << 27))) {
        out("    => Bank register bit 7 = 0 => bank register [6:0] = address bits [30:24]\n");
        out("       Bank register bit 7 = 1 => 4-byte address mode\n");
        out("       Read & write register (volatile) using opcodes 0x16 & 0x17 (1 data byte)\n");
    }
    if (d & ((1u << 18) | (1u << 28))) {
        out("    => 16-bit config. register bit 0 = 0 => 3-byte address mode\n");
        out("       16-bit config. register bit 0 = 1 => 4-byte address mode\n");
        out("       Write register (NV) using opcode 0xB1 (2 data bytes)\n");
    }
    if (d & (1u << 19)) out("    => Hardware reset exits 4-byte address mode\n");
    if (d & (1u << 20)) out("    => Software reset exits 4-byte address mode\n");
    if (d & (1u << 21)) out("    => Power cycle exits 4-byte address mode\n");
    if (d & (1u << 24)) out("    => Opcode 0xB7 enters 4-byte address mode\n");
    if (d & (1u << 25)) out("    => Opcode 0x06 (write enable) then opcode 0xB7 enters 4-byte address mode\n");
    if (d & (1u << 29)) out("    => Has vendor-specific opcode set for 4-byte reads and writes\n");
    if (d & (1u << 30)) out("    => Always operates in 4-byte address mode\n");
}

}  // namespace

void printSfdpHeader(const uint8_t bytes[8], SfdpHeader* header) {
    const SfdpHeader h = decodeSfdpHeader(bytes);
    const char* name = h.major == 0 ? "Predates JESD216" : h.expectedBasicLength == 36 ? "JESD216" : "JESD216B";
    out("SFDP Header @ 0x%X:\n", 0u);
    out("  SFDP Signature ................ 0x%08X => %c%c%c%c\n", h.signature, bytes[0], bytes[1], bytes[2], bytes[3]);
    out("  SFDP Revision Number .......... %u.%u => %s\n", h.major, h.minor, name);
    out("  Number of Parameter Headers ... %u\n", h.headerCount);
    out("  Unused byte ................... %u(0x%02X)\n", h.access, h.access);
    if (h.signature != kSfdpSignature)
        out("+++ Signature 0x%08X in header is not expected value 0x%08X. Following records may be nonsense.\n",
            h.signature, kSfdpSignature);
    *header = h;
}

bool printSfdpTableHeader(uint32_t index, const uint8_t bytes[8], SfdpParameterHeader* header) {
    const SfdpParameterHeader p = decodeSfdpParameterHeader(bytes);
    const bool known = p.id == kBasicTableId || p.id == kSectorMapId;
    const char* name = p.id == kBasicTableId ? "Std. Parameter Table"
                       : p.id == kSectorMapId ? "Std. Sector Map"
                                              : "Unknown Table type";
    const unsigned msb = bytes[7], lsb = bytes[0];
    out("SFDP Table Header %u @ 0x%X:\n", index, 8 + 8 * index);
    out("  ID MSB, LSB ................... %u, %u (0x%02X, 0x%02X) => %s\n", msb, lsb, msb, lsb, name);
    out("  Revision Number ............... %u.%u\n", p.major, p.minor);
    out("  Table length (DWORDs) ......... %u(0x%02X)\n", p.dwords, p.dwords);
    out("  Table pointer ................. %u(0x%06X)\n", p.pointer, p.pointer);
    *header = p;
    return known;
}

void printBasicParameterTable(uint32_t index, uint32_t pointer, const uint8_t* table, uint32_t length) {
    out("SFDP Table %u @ 0x%X is a Standard Parameter Table:\n", index, pointer);
    const uint32_t d1 = tableDword(table, 1);
    static const char* const kErase[4] = {"** Reserved value (0) **", "4 kiB erase", "** Reserved value (2) **",
                                          "4 kiB erase unavailable **"};
    out("  Erase and write capabilities .. 0x%02X\n", d1 & 0xFF);
    out("    => %s\n", kErase[d1 & 3]);
    out("    => %s\n", d1 & 4 ? "Buffer-programmable >= 64 bytes" : "1 byte write granularity / buffer-programmable < 64 bytes");
    out("    => %s\n", d1 & 8 ? "Requires 0x00 written to status register to allow writes and erases" : "Nonvolatile status bit");
    out("    => %s\n", d1 & 16 ? "Opcode is 0x06 for status register write" : "Opcode is 0x50 for status register write");
    out("  Erase opcode .................. 0x%02X\n", (d1 >> 8) & 0xFF);
    static const char* const kAddressing[4] = {"3-byte addressing only", "3 or 4 byte addressing, depending on mode",
                                               "4-byte addressing onlys", "** Reserved value (3) **"};
    out("  Fast Read support 1 ........... 0x%04X\n", d1 >> 16);
    out("    => 1-1-2 Fast Read %s\n", flag(d1, 16));
    out("    => %s\n", kAddressing[(d1 >> 17) & 3]);
    out("    => Double transfer rate (DTR) clocking %s\n", flag(d1, 19));
    out("    => 1-2-2 Fast Read %s\n", flag(d1, 20));
    out("    => 1-4-4 Fast Read %s\n", flag(d1, 21));
    out("    => 1-1-4 Fast Read %s\n", flag(d1, 22));
    const uint32_t d2 = tableDword(table, 2);
    // An exponent above 63 has no 64-bit bit count: the line shows 0 bits.
    const uint64_t bits = densityBits(d2);
    out("  Density ....................... 0x%08X => 0x%llX b / 0x%llX B\n", d2, static_cast<unsigned long long>(bits),
        static_cast<unsigned long long>(bits / 8));
    printFastRead("1-4-4", table, 8);
    printFastRead("1-1-4", table, 10);
    printFastRead("1-1-2", table, 12);
    printFastRead("1-2-2", table, 14);
    if (length >= 36) {
        const uint32_t d5 = tableDword(table, 5);
        out("  Fast read support 2 ........... 0x%08X\n", d5);
        out("    => 2-2-2 Fast Read %s\n", flag(d5, 0));
        out("    => 4-4-4 Fast Read %s\n", flag(d5, 4));
        printFastRead("2-2-2", table, 22);
        printFastRead("4-4-4", table, 26);
        for (uint32_t type = 1; type <= 4; ++type) {
            const uint8_t exponent = table[28 + 2 * (type - 1)];
            out("  Sector Type %u size ............ %u(0x%02X) => ", type, exponent, exponent);
            if (exponent == 0)
                out("NOT SUPPORTED\n");
            else
                out("0x%llX B\n", exponent > 63 ? 0ull : 1ull << exponent);
            out("  Sector Type %u erase opcode .... 0x%02X\n", type, table[29 + 2 * (type - 1)]);
        }
    }
    if (length < 64) return;
    const uint32_t d10 = tableDword(table, 10);
    out("  Erase times ................... 0x%08X\n", d10);
    out("    => Worst case multiplier = %u\n", 2 * (d10 & 0xF) + 2);
    for (uint32_t type = 1; type <= 4; ++type) {
        out("    => Sector Type %u erase time (typ.) = ", type);
        if (table[28 + 2 * (type - 1)] != 0)
            out("%u ms\n", ((d10 >> (4 + 7 * (type - 1))) & 0x1F) + 1);
        else
            out("N/A\n");
    }
    const uint32_t d11 = tableDword(table, 11);
    static const uint32_t kChipEraseUnit[4] = {16, 256, 128, 1000};
    out("  Program times ................. 0x%08X\n", d11);
    out("    => Worst case multiplier = %u\n", 2 * (d11 & 0xF) + 2);
    out("    => Program page size = %u B\n", 1u << ((d11 >> 4) & 0xF));
    out("    => Program page time (typ.) = %u us\n", (((d11 >> 8) & 0x1F) + 1) * (d11 & (1u << 13) ? 64 : 8));
    out("    => Program byte time (typ.) = %u us\n", (((d11 >> 14) & 0xF) + 1) * (d11 & (1u << 18) ? 8 : 1));
    out("    => Program byte additional time (typ.) = %u us\n", (((d11 >> 19) & 0xF) + 1) * (d11 & (1u << 23) ? 8 : 1));
    out("    => Erase chip time (typ.) = %u ms\n", (((d11 >> 24) & 0x1F) + 1) * kChipEraseUnit[(d11 >> 29) & 3]);
    out("  Suspend capabilities .......... 0x%08X\n", tableDword(table, 12));
    out("  Suspend opcodes ............... 0x%08X\n", tableDword(table, 13));
    const uint32_t d14 = tableDword(table, 14);
    out("  Powerdown / status cap. ....... 0x%08X\n", d14);
    if (d14 & 4) out("    => Legacy polling using opcode 0x05, WIP bit (0)\n");
    if (d14 & 8) out("    => Poll device busy via status register bit 7 using opcode 0x70\n");
    printDword15(tableDword(table, 15));
    printDword16(tableDword(table, 16));
}

void printSectorMapTable(uint32_t index, const uint8_t* table, uint32_t pointer, uint32_t length) {
    static const char* const kAddressLength[4] = {"none", "3-byte", "4-byte", "variable"};
    out("SFDP Table %u @ 0x%X is a Sector Map:\n", index, pointer);
    out("Pos.  DWORD val.    Human-readable interpretation\n");
    out("-------------------------------------------------------------------------------\n");
    uint32_t p = 0;
    while (p < length) {
        const uint32_t d = getLe32(table + p);
        if (d & 2) {
            const uint32_t regions = ((d >> 16) & 0xFF) + 1;
            out("0x%03X 0x%08X => Map Descriptor; last=%-5s nRgn=%u configID=%u\n", p, d, d & 1 ? "TRUE" : "FALSE",
                regions, (d >> 8) & 0xFF);
            p += 4;
            for (uint32_t k = 0; k < regions && p < length; ++k, p += 4) {
                const uint32_t r = getLe32(table + p);
                out("0x%03X 0x%08X => RgnSize=0x%09llX Type1=%-3s Type2=%-3s Type3=%-3s Type4=%-3s\n", p, r,
                    static_cast<unsigned long long>((uint64_t((r >> 8) & 0xFFFFFF) + 1) * 256), r & 1 ? "yes" : "no",
                    r & 2 ? "yes" : "no", r & 4 ? "yes" : "no", r & 8 ? "yes" : "no");
            }
        } else {
            out("0x%03X 0x%08X => Configuration Detection Descriptor; last=%-5s\n", p, d, d & 1 ? "TRUE" : "FALSE");
            const uint32_t latency = (d >> 16) & 0xF;
            char latencyText[12];
            if (latency == 15)
                std::strcpy(latencyText, "variable");
            else
                std::snprintf(latencyText, sizeof latencyText, "%u", latency);
            out("                    Mask=0x%02X addrLen=%s latency=%s opcode=0x%02X\n", d >> 24,
                kAddressLength[(d >> 22) & 3], latencyText, (d >> 8) & 0xFF);
            if (p + 4 < length) {
                const uint32_t a = getLe32(table + p + 4);
                out("0x%03X 0x%08X => Address=0x%08X\n", p + 4, a, a);
            }
            p += 8;
        }
    }
}

namespace {

/// Keeps a table spi-info read if discovery would use it.
void keepForDocument(SpiInfoRecords& records, const SfdpParameterHeader& p, const uint8_t* table, uint32_t length) {
    if (p.id == kSectorMapId) {
        records.haveSectorMap = true;
        records.sectorMap.resize(length / 4);
        for (uint32_t i = 0; i < length / 4; ++i) records.sectorMap[i] = getLe32(table + 4 * i);
        return;
    }
    const uint32_t revision = p.major * 256u + p.minor;
    if (revision <= records.basicRevision) return;
    records.haveBasicTable = true;
    records.basicRevision = revision;
    std::memset(records.basicTable, 0, sizeof records.basicTable);
    std::memcpy(records.basicTable, table, length < kMaxBasicTableBytes ? length : kMaxBasicTableBytes);
}

}  // namespace

Result spiInfo(ConnectionContext* ctx, bool verbose, uint32_t chip) {
    if (!spiChipInRange(chip)) return kBadSpiChipIndex;
    if (refuseInServiceMode(ctx, "spi-info")) return kRefusedInServiceMode;
    // The session ends the lengthy operation on every path, after a stop
    // request too.
    SpiVerbSession session(ctx, verbose, chip);
    if (Result r = session.announce(); r != kOk) return r;
    SpiInfoRecords records;
    records.chip = chip;
    // The JEDEC ID is not part of the report; only the document asks for it.
    if (jsonMode()) {
        if (Result r = spiTransfer(ctx, verbose, chip, &kReadJedecId, 1, records.jedecId, 3); r != kOk) return r;
        records.haveJedecId = true;
    }
    Result result = kOk;
    uint8_t raw[8];
    result = spiReadSfdp(ctx, verbose, chip, 0, 8, raw);
    if (result != kOk) {
        out("*** Failed to read SPI Flash SFDP Header.\n");
    } else {
        SfdpHeader& header = records.header;
        records.haveHeader = true;
        printSfdpHeader(raw, &header);
        for (uint32_t i = 0; i <= header.headerCount; ++i) {
            result = spiReadSfdp(ctx, verbose, chip, 8 + 8 * i, 8, raw);
            if (result != kOk) {
                out("+++ Failed to read SPI Flash SFDP Table Header %u.\n", i);
                continue;
            }
            SfdpParameterHeader p;
            if (!printSfdpTableHeader(i, raw, &p)) continue;
            const uint32_t length = p.dwords * 4u;
            const uint32_t size = length > header.expectedBasicLength ? length : header.expectedBasicLength;
            std::unique_ptr<uint8_t[]> table(new (std::nothrow) uint8_t[size]());
            if (!table) {
                out("*** Failed to allocate 0x%llX bytes for SFDP Parameter Table %u.\n",
                    static_cast<unsigned long long>(size), i);
                result = kNoMemory;
                break;
            }
            if (length < header.expectedBasicLength)
                out("+++ SPI Flash SFDP Table %u is less than expected %u DWORDs in length; padding with zeroes.\n", i,
                    header.expectedBasicLength / 4);
            result = spiReadSfdp(ctx, verbose, chip, p.pointer, length, table.get());
            if (result != kOk) {
                out("+++ Failed to read SPI Flash SFDP Table %u.\n", i);
                continue;
            }
            if (p.id == kBasicTableId)
                printBasicParameterTable(i, p.pointer, table.get(), length);
            else
                printSectorMapTable(i, table.get(), p.pointer, length);
            keepForDocument(records, p, table.get(), length);
        }
    }
    if (jsonMode()) jsonDocument(spiInfoDocument(records));
    return result;
}

// --- the +json document ------------------------------------------------------

namespace {

/// Why discovery refuses a basic table; null when it takes it.
const char* refusalName(BasicTableStatus status) {
    switch (status) {
        case BasicTableStatus::Ok: break;
        case BasicTableStatus::CapacityOver2p63: return "capacity_over_2p63_bits";
        case BasicTableStatus::NoEraseTypes: return "no_erase_types";
        case BasicTableStatus::BlockTooLarge: return "block_larger_than_capacity";
        case BasicTableStatus::No4ByteMethod: return "no_four_byte_method";
        case BasicTableStatus::NoResetExit: return "four_byte_mode_survives_reset";
        case BasicTableStatus::NoSoftReset: return "no_soft_reset";
    }
    return nullptr;
}

const char* fourByteMethodName(const SpiFlashInfo& info) {
    switch (info.enter4ByteMethod) {
        case kEnter4ByteAlways: return "always";
        case kEnter4ByteOpcode: return info.enter4ByteNeedsWriteEnable ? "write_enable_then_opcode_b7" : "opcode_b7";
        case kEnter4ByteBankRegister: return "bank_register";
        case kEnter4ByteExtendedAddr: return "extended_address_register";
        default: return "not_needed";
    }
}

const char* softResetName(uint8_t method) {
    switch (method) {
        case 1: return "ones_8_clocks";
        case 2: return "ones_10_clocks";
        case 3: return "ones_16_clocks";
        case 4: return "opcode_f0";
        default: return "opcodes_66_99";
    }
}

/// Every configuration the map describes, by ID, with its regions.
Json sectorMapConfigurations(const std::vector<uint32_t>& dwords) {
    Json configurations = Json::array();
    const uint32_t count = static_cast<uint32_t>(dwords.size());
    for (uint32_t id = 0; id <= 0xFF; ++id) {
        const uint32_t n = sectorMapRegions(dwords.data(), count, static_cast<uint8_t>(id), nullptr);
        if (n == 0) continue;
        std::vector<SpiFlashRegion> regions(n);
        sectorMapRegions(dwords.data(), count, static_cast<uint8_t>(id), regions.data());
        Json list = Json::array();
        for (const SpiFlashRegion& region : regions) {
            Json types = Json::array();
            for (uint32_t type = 1; type <= 4; ++type)
                if (region.eraseTypeMask & (1u << (type - 1))) types.push_back(type);
            list.push_back({{"size_bytes", region.size}, {"erase_types", types}});
        }
        configurations.push_back({{"configuration", id}, {"regions", list}});
    }
    return configurations;
}

}  // namespace

Json spiInfoDocument(const SpiInfoRecords& records) {
    Json doc = {{"chip", records.chip}};
    doc["jedec_id"] = records.haveJedecId ? Json(std::vector<uint8_t>(records.jedecId, records.jedecId + 3)) : Json();
    doc["sfdp_revision"] =
        records.haveHeader ? Json{{"major", records.header.major}, {"minor", records.header.minor}} : Json();

    // Discovery's own order of refusals: the header, the basic table, then
    // the table's fields.
    const char* refusal = nullptr;
    SpiFlashInfo info;
    BasicTableStatus status = BasicTableStatus::Ok;
    if (!records.haveHeader || records.header.signature != kSfdpSignature) {
        refusal = "bad_signature";
    } else if (records.header.major == 0) {
        refusal = "predates_jesd216";
    } else if (!records.haveBasicTable) {
        refusal = "no_basic_table";
    } else {
        status = decodeBasicTable(records.basicTable, &info).status;
        refusal = refusalName(status);
    }
    const bool decoded = records.haveBasicTable && refusal == nullptr;
    // A refusal on the way to 4-byte mode or the reset still leaves the
    // fields decoded before it.
    const bool addressing = records.haveBasicTable && (decoded || status == BasicTableStatus::NoResetExit ||
                                                       status == BasicTableStatus::NoSoftReset);
    doc["usable"] = refusal == nullptr;
    doc["refusal"] = refusal != nullptr ? Json(refusal) : Json();

    const uint64_t bits = records.haveBasicTable ? densityBits(getLe32(records.basicTable + 4)) : 0;
    doc["capacity_bytes"] = bits != 0 ? Json(bits / 8) : Json();
    doc["page_size_bytes"] = decoded ? Json(info.pageSize) : Json();
    Json eraseTypes = Json::array();
    for (uint32_t i = 0; i < 4; ++i) {
        const SpiEraseType& type = info.eraseTypes[i];
        if (type.size != 0) eraseTypes.push_back({{"type", i + 1}, {"size_bytes", type.size}, {"opcode", type.opcode}});
    }
    doc["erase_types"] = eraseTypes;
    const bool threeBytes =
        info.enter4ByteMethod == kEnter4ByteNotNeeded || info.enter4ByteMethod == kEnter4ByteExtendedAddr;
    doc["address_bytes"] = addressing ? Json(threeBytes ? 3 : 4) : Json();
    doc["four_byte_method"] = addressing ? Json(fourByteMethodName(info)) : Json();
    doc["reset_method"] = decoded ? Json(softResetName(info.softResetMethod)) : Json();
    doc["sector_map"] = records.haveSectorMap ? sectorMapConfigurations(records.sectorMap) : Json();
    return doc;
}
