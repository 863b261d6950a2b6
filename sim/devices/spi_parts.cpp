#include "devices/spi_parts.h"

#include <algorithm>
#include <iterator>

#include "devices/spi_sfdp_dumps.h"

namespace zsim {
namespace {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kMiB = 1024 * kKiB;

void put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

uint32_t log2of(uint64_t x) {
    uint32_t n = 0;
    while ((uint64_t{1} << n) < x) ++n;
    return n;
}

// A typical time as JESD216B's 7-bit field: a count of 1..32 units of 1 ms,
// 16 ms, 128 ms or 1 s (the smallest unit that fits).
uint32_t eraseTimeField(uint32_t ms) {
    const uint32_t units[] = {1, 16, 128, 1000};
    for (uint32_t u = 0; u < 4; ++u) {
        uint32_t count = (ms + units[u] - 1) / units[u];
        if (count <= 32) return u << 5 | (count == 0 ? 0 : count - 1);
    }
    return 3u << 5 | 31;
}

uint32_t eraseTimeMs(uint32_t size) {
    if (size <= 4 * kKiB) return 48;
    if (size <= 32 * kKiB) return 150;
    if (size <= 64 * kKiB) return 200;
    return 1000;
}

// What a synthetic SFDP area says beyond the part's row.
struct SfdpLayout {
    uint8_t major = 1, minor = 6;  // header and basic table revision
    uint32_t basicDwords = 16;     // 9 for a JESD216 table
    uint32_t dword16 = 0;
    std::vector<uint32_t> sectorMap = {};  // DWORDs; empty (a row may leave it out): no sector map table
};

// DWORD 16 bits used below: how 4-byte addressing is entered, which
// register the table describes, what leaves it, how the part is reset.
constexpr uint32_t kDw16EnterB7 = 1u << 24, kDw16EnterExtAddr = 1u << 26, kDw16EnterBank = 1u << 27,
                   kDw16Always4Byte = 1u << 30;
constexpr uint32_t kDw16ExtAddrDescribed = 1u << 16, kDw16BankDescribed = 1u << 17;
constexpr uint32_t kDw16HardResetExits = 1u << 19, kDw16SoftResetExits = 1u << 20, kDw16ExitE9 = 1u << 14;
constexpr uint32_t kDw16Reset8Clocks = 1u << 8, kDw16ResetF0 = 1u << 11, kDw16Reset6699 = 1u << 12;

// Builds an SFDP area: the header, a basic parameter table header, a sector
// map table header when there is a map, then the tables in that order.
std::vector<uint8_t> buildSfdp(const SpiPart& p, const SfdpLayout& l) {
    const uint32_t headers = l.sectorMap.empty() ? 1 : 2;
    const uint32_t basicAt = 8 + 8 * headers;
    const uint32_t mapAt = basicAt + 4 * l.basicDwords;
    std::vector<uint8_t> s = {'S', 'F', 'D', 'P', l.minor, l.major, static_cast<uint8_t>(headers - 1), 0xFF};
    auto header = [&s](uint8_t idLsb, uint8_t minor, uint8_t major, uint32_t dwords, uint32_t at) {
        const uint8_t h[8] = {idLsb, minor, major, static_cast<uint8_t>(dwords), static_cast<uint8_t>(at),
                              static_cast<uint8_t>(at >> 8), static_cast<uint8_t>(at >> 16), 0xFF};
        // Byte by byte: GCC 12 at -O3 misreads a range insert here (array-bounds).
        for (uint8_t b : h) s.push_back(b);
    };
    header(0x00, l.minor, l.major, l.basicDwords, basicAt);
    if (!l.sectorMap.empty()) header(0x81, 0, 1, static_cast<uint32_t>(l.sectorMap.size()), mapAt);

    uint8_t fourK = 0;
    for (const SpiEraseType& e : p.eraseTypes)
        if (e.size == 4 * kKiB) fourK = e.opcode;
    const uint32_t addressBytes = p.always4Byte ? 2 : p.capacity > 16 * kMiB ? 1 : 0;
    uint32_t dw[16] = {};
    // DWORD 1: 4 KiB erase, buffered writes, 3/4-byte addressing, no fast reads.
    dw[0] = 0xFF800000u | addressBytes << 17 | (fourK != 0 ? 0xE5u | uint32_t{fourK} << 8 : 0xFFE7u);
    // DWORD 2: the density in bits, minus one up to 4 Gbit, else as 2^N bits.
    const uint64_t bits = p.capacity * 8;
    dw[1] = bits <= uint64_t{1} << 32 ? static_cast<uint32_t>(bits - 1) : 0x80000000u | log2of(bits);
    dw[4] = 0xFFFFFFEEu;  // no 2-2-2 or 4-4-4 reads
    dw[5] = 0x0000FFFFu;
    dw[6] = 0x0000FFFFu;
    dw[9] = 3;  // erase times, worst case 8 x typical
    for (uint32_t i = 0; i < 4; ++i) {
        const SpiEraseType& e = p.eraseTypes[i];
        if (e.size == 0) continue;
        const uint32_t byte = 28 + 2 * i;
        dw[byte / 4] |= (log2of(e.size) | uint32_t{e.opcode} << 8) << (8 * (byte % 4));
        dw[9] |= eraseTimeField(eraseTimeMs(e.size)) << (4 + 7 * i);
    }
    // Page 2^N, page time 512 us, byte time 4 us, chip erase 128 s.
    dw[10] = 3u | log2of(p.pageSize) << 4 | 7u << 8 | 1u << 13 | 3u << 14 | 1u << 24 | 3u << 29;
    dw[11] = 0x80000000u;  // no suspend
    dw[13] = 0x80000004u;  // status polling: legacy WIP bit of 0x05
    dw[15] = l.dword16;
    for (uint32_t i = 0; i < l.basicDwords; ++i) put32(s, dw[i]);
    for (uint32_t d : l.sectorMap) put32(s, d);
    return s;
}

// A sector map region DWORD: size in 256-byte units minus one, erase types.
uint32_t regionDword(const SpiRegion& r) {
    return static_cast<uint32_t>((r.size / 256 - 1) << 8) | r.eraseMask;
}

// What a part does beyond its sizes, as bits of its row.
enum PartTrait : uint32_t {
    kChipErase = 1u << 0,           // 0x60 / 0xC7 erase the whole chip
    kAlways4Byte = 1u << 1,         // every address is 4 bytes, always
    kEnterB7 = 1u << 2,             // 0xB7 enters, 0xE9 leaves 4-byte mode
    kB7AfterWriteEnable = 1u << 3,  // 0xB7 only with the write enable latch set
    kBankRegister = 1u << 4,        // 0x16 / 0x17
    kExtAddrRegister = 1u << 5,     // 0xC8 / 0xC5
    kReset6699 = 1u << 6,
    kResetF0 = 1u << 7,
    kResetOnes = 1u << 8,           // an all-zero transfer of 16 clocks or more
};

// One part. A real part's SFDP area is its dump; a synthetic part's is
// built from the row, so it says exactly what the chip does.
struct PartRow {
    const char* name;
    uint64_t capacity;
    uint32_t pageSize;
    uint8_t jedecId[3];
    SpiEraseType eraseTypes[4];
    uint32_t traits;  // PartTrait bits
    const char* dump;  // the real part's SFDP dump (spi_sfdp_dumps.h); null: synthetic, from `layout`
    SfdpLayout layout;
    std::vector<SpiRegisterRead> registers;
    std::vector<SpiRegion> regions;
    const char* summary;
};

// synth-sector-map's configuration 3: 4 KiB sectors in the top 32 KiB, then
// a 224 KiB region that the 256 KiB erase clears alone, 256 KiB sectors
// below.
constexpr SpiRegion kTopSectors = {32 * kKiB, 0x01}, kTopCut = {224 * kKiB, 0x02},
                    kTopRest = {64 * kMiB - 256 * kKiB, 0x02};

std::vector<uint8_t> dumpBytes(const char* file) {
    for (const SfdpDump& d : sfdpDumps())
        if (std::string(d.file) == file) return std::vector<uint8_t>(d.bytes, d.bytes + d.size);
    return {};  // no such dump: no SFDP area (the part tests catch it)
}

std::vector<SpiPart> makeParts() {
    const PartRow rows[] = {
        // name, capacity, page size, JEDEC ID (0x9F), erase types 1-4, traits,
        // SFDP dump, synthetic SFDP layout, detection registers, regions, summary.

        // Real parts: what each chip does, as its SFDP area and data sheet say.
        {"mt25qu01g", 128 * kMiB, 256, {0x20, 0xBB, 0x21}, {{4 * kKiB, 0x20}, {64 * kKiB, 0xD8}, {32 * kKiB, 0x52}},
         kEnterB7 | kB7AfterWriteEnable | kExtAddrRegister | kReset6699 | kResetF0 | kResetOnes, "mt25qu01g.sfdp", {},
         {}, {}, "1 Gbit (128 MiB); 0xB7 after a write enable; real SFDP (default at index 0)"},
        {"mx66l1g45g", 128 * kMiB, 256, {0xC2, 0x20, 0x1B}, {{4 * kKiB, 0x20}, {32 * kKiB, 0x52}, {64 * kKiB, 0xD8}},
         kChipErase | kEnterB7 | kExtAddrRegister | kReset6699, "mx66l1g45g.sfdp", {}, {}, {},
         "1 Gbit (128 MiB); 0xB7; real SFDP"},
        {"mx66l2g45g", 256 * kMiB, 256, {0xC2, 0x20, 0x1C}, {{4 * kKiB, 0x20}, {32 * kKiB, 0x52}, {64 * kKiB, 0xD8}},
         kChipErase | kEnterB7 | kExtAddrRegister | kReset6699, "mx66l2g45g.sfdp", {}, {}, {},
         "2 Gbit (256 MiB); 0xB7; real SFDP"},
        // Its SFDP advertises no way into 4-byte mode that discovery takes,
        // so discovery refuses it; it serves the report of a sector map with
        // four detection commands (which select configuration 0x0A, one
        // uniform region of 256 KiB sectors, with the registers below; bits
        // 7-4 of the region's erase types are reserved, set).
        {"s28hs02gt", 256 * kMiB, 256, {0x34, 0x5B, 0x1C}, {{4 * kKiB, 0x21, true}, {}, {}, {256 * kKiB, 0xDC, true}},
         kChipErase | kEnterB7 | kReset6699, "s28hs02gt.sfdp", {},
         {{0x65, true, 16, 0x800004, 0x08}, {0x65, true, 16, 0x800002, 0x00}}, {{256 * kMiB, 0xF8}},
         "2 Gbit (256 MiB) octal part with a sector map; real SFDP; discovery refuses it"},
        {"w25q128", 16 * kMiB, 256, {0xEF, 0x40, 0x18}, {{4 * kKiB, 0x20}, {32 * kKiB, 0x52}, {64 * kKiB, 0xD8}},
         kChipErase | kReset6699, "w25q128_sfdp15.sfdp", {}, {}, {},
         "128 Mbit (16 MiB); 3-byte addresses only; real SFDP (revision 1.5, 64-byte table)"},

        // Synthetic parts, for the discovery paths no real dump covers.
        {"synth-bank", 64 * kMiB, 256, {0xF1, 0x02, 0x1A}, {{4 * kKiB, 0x20}, {32 * kKiB, 0x52}, {64 * kKiB, 0xD8}},
         kBankRegister | kResetF0, nullptr,
         {.dword16 = kDw16EnterBank | kDw16BankDescribed | kDw16HardResetExits | kDw16SoftResetExits | kDw16ResetF0},
         {}, {}, "512 Mbit (64 MiB); bank register (0x16/0x17); reset 0xF0; synthetic"},
        {"synth-ear", 64 * kMiB, 64, {0xF1, 0x03, 0x1A}, {{4 * kKiB, 0x20}, {64 * kKiB, 0xD8}},
         kExtAddrRegister | kResetOnes, nullptr,
         {.dword16 = kDw16EnterExtAddr | kDw16ExtAddrDescribed | kDw16Reset8Clocks}, {}, {},
         "512 Mbit (64 MiB); extended address register only; 64-byte page; 8-clock reset; synthetic"},
        // Two detection commands pick one of four configurations: bit 1 =
        // register 4 (read with 0x65, current address width, 8 dummy bytes)
        // AND 0x08, "hybrid sectors"; bit 0 = the configuration register
        // (0x35, no address) AND 0x04, "4 KiB sectors at the top". The chip
        // is set to configuration 3 (kTop...). Configurations 0 and 1 are
        // uniform, 2 is hybrid at the bottom.
        {"synth-sector-map", 64 * kMiB, 512, {0xF1, 0x04, 0x1A}, {{4 * kKiB, 0x20}, {256 * kKiB, 0xD8}},
         kEnterB7 | kReset6699, nullptr,
         {.dword16 = kDw16EnterB7 | kDw16ExitE9 | kDw16HardResetExits | kDw16SoftResetExits | kDw16Reset6699,
          .sectorMap =
              {
                  0x08C86500u, 0x00000004u,  // 0x65, address as the current mode, 8 dummy bytes, mask 0x08
                  0x04003501u, 0x00000000u,  // 0x35, no address, mask 0x04, last detection command
                  0x00000002u, regionDword({64 * kMiB, 0x02}),  // configuration 0: uniform
                  0x00000102u, regionDword({64 * kMiB, 0x02}),  // configuration 1: uniform
                  0x00020202u, regionDword(kTopSectors), regionDword(kTopCut), regionDword(kTopRest),  // 2: bottom
                  0x00020303u, regionDword(kTopRest), regionDword(kTopCut), regionDword(kTopSectors),  // 3 (last)
              }},
         {{0x65, true, 8, 0x000004, 0x08}, {0x35, false, 0, 0, 0x04}}, {kTopRest, kTopCut, kTopSectors},
         "512 Mbit (64 MiB); sector map, detection commands select configuration 3 (4 KiB sectors at the top); 0xB7; "
         "512-byte page; synthetic"},
        // A JESD216 (revision 1.0) area: a 9-DWORD basic table without the
        // DWORD that says how to reset the chip or reach 4-byte addresses.
        {"synth-jesd216", 8 * kMiB, 256, {0xF1, 0x05, 0x17}, {{4 * kKiB, 0x20}, {64 * kKiB, 0xD8}},
         kChipErase | kReset6699, nullptr, {.major = 1, .minor = 0, .basicDwords = 9}, {}, {},
         "64 Mbit (8 MiB); JESD216 header and 36-byte basic table; synthetic"},
        // Parts at and beyond the 2 GiB the tool addresses: always in 4-byte
        // mode, density as 2^N bits.
        {"synth-2gib", 2048 * kMiB, 256, {0xF1, 0x06, 0x22}, {{4 * kKiB, 0x20}, {64 * kKiB, 0xD8}},
         kAlways4Byte | kReset6699, nullptr, {.dword16 = kDw16Always4Byte | kDw16Reset6699}, {}, {},
         "16 Gbit (2 GiB); always 4-byte addresses; synthetic"},
        {"synth-4gib", 4096 * kMiB, 256, {0xF1, 0x06, 0x23}, {{4 * kKiB, 0x20}, {64 * kKiB, 0xD8}},
         kAlways4Byte | kReset6699, nullptr, {.dword16 = kDw16Always4Byte | kDw16Reset6699}, {}, {},
         "32 Gbit (4 GiB); always 4-byte addresses; synthetic"},
    };

    std::vector<SpiPart> parts;
    for (const PartRow& r : rows) {
        SpiPart p;
        p.name = r.name;
        p.summary = r.summary;
        p.capacity = r.capacity;
        p.pageSize = r.pageSize;
        std::copy(std::begin(r.jedecId), std::end(r.jedecId), p.jedecId);
        std::copy(std::begin(r.eraseTypes), std::end(r.eraseTypes), p.eraseTypes);
        p.chipErase = (r.traits & kChipErase) != 0;
        p.always4Byte = (r.traits & kAlways4Byte) != 0;
        p.enter4ByteB7 = (r.traits & kEnterB7) != 0;
        p.b7NeedsWriteEnable = (r.traits & kB7AfterWriteEnable) != 0;
        p.bankRegister = (r.traits & kBankRegister) != 0;
        p.extAddrRegister = (r.traits & kExtAddrRegister) != 0;
        p.reset6699 = (r.traits & kReset6699) != 0;
        p.resetF0 = (r.traits & kResetF0) != 0;
        p.resetOnes = (r.traits & kResetOnes) != 0;
        p.registers = r.registers;
        p.regions = r.regions;
        p.sfdp = r.dump != nullptr ? dumpBytes(r.dump) : buildSfdp(p, r.layout);
        parts.push_back(std::move(p));
    }
    return parts;
}

}  // namespace

const std::vector<SpiPart>& spiParts() {
    static const std::vector<SpiPart> parts = makeParts();
    return parts;
}

const SpiPart* findSpiPart(const std::string& name) {
    for (const SpiPart& p : spiParts())
        if (p.name == name) return &p;
    return nullptr;
}

}  // namespace zsim
