#include "devices/spi_parts.h"

#include <iterator>

#include "devices/spi_sfdp_data.h"

namespace zsim {
namespace {

constexpr uint64_t kKiB = 1024;
constexpr uint64_t kMiB = 1024 * kKiB;

template <size_t N>
std::vector<uint8_t> bytes(const uint8_t (&a)[N]) {
    return std::vector<uint8_t>(std::begin(a), std::end(a));
}

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

// What the synthetic SFDP areas say beyond the part description.
struct SfdpLayout {
    uint8_t major = 1, minor = 6;  // header and basic table revision
    uint32_t basicDwords = 16;     // 9 for a JESD216 table
    uint32_t density = 0;          // DWORD 2
    uint32_t dword16 = 0;
    std::vector<uint32_t> sectorMap;  // DWORDs; empty: no sector map table
};

// DWORD 16 bits used below.
constexpr uint32_t kEnterB7 = 1u << 24;
constexpr uint32_t kEnterExtAddr = 1u << 26;
constexpr uint32_t kEnterBank = 1u << 27;
constexpr uint32_t kAlways4Byte = 1u << 30;
constexpr uint32_t kExtAddrDescribed = 1u << 16;
constexpr uint32_t kBankDescribed = 1u << 17;
constexpr uint32_t kHardResetExits = 1u << 19;
constexpr uint32_t kSoftResetExits = 1u << 20;
constexpr uint32_t kExitE9 = 1u << 14;
constexpr uint32_t kReset8Clocks = 1u << 8;
constexpr uint32_t kResetF0 = 1u << 11;
constexpr uint32_t kReset6699 = 1u << 12;

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
    dw[1] = l.density;
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

std::vector<SpiPart> makeParts() {
    std::vector<SpiPart> parts;

    // Real parts: what each chip does, as its SFDP area and data sheet say.
    {
        SpiPart p;
        p.name = "mt25qu01g";
        p.summary = "1 Gbit (128 MiB); 0xB7 after a write enable; real SFDP (default at index 0)";
        p.capacity = 128 * kMiB;
        p.jedecId[0] = 0x20, p.jedecId[1] = 0xBB, p.jedecId[2] = 0x21;
        p.eraseTypes[0] = {4 * kKiB, 0x20}, p.eraseTypes[1] = {64 * kKiB, 0xD8}, p.eraseTypes[2] = {32 * kKiB, 0x52};
        p.enter4ByteB7 = p.b7NeedsWriteEnable = p.extAddrRegister = true;
        p.reset6699 = p.resetF0 = p.resetOnes = true;
        p.sfdp = bytes(kSfdpMt25qu01g);
        parts.push_back(p);
    }
    for (int gbit : {1, 2}) {
        SpiPart p;
        p.name = gbit == 1 ? "mx66l1g45g" : "mx66l2g45g";
        p.summary = gbit == 1 ? "1 Gbit (128 MiB); 0xB7; real SFDP" : "2 Gbit (256 MiB); 0xB7; real SFDP";
        p.capacity = static_cast<uint64_t>(gbit) * 128 * kMiB;
        p.jedecId[0] = 0xC2, p.jedecId[1] = 0x20, p.jedecId[2] = gbit == 1 ? 0x1B : 0x1C;
        p.eraseTypes[0] = {4 * kKiB, 0x20}, p.eraseTypes[1] = {32 * kKiB, 0x52}, p.eraseTypes[2] = {64 * kKiB, 0xD8};
        p.chipErase = true;
        p.enter4ByteB7 = p.extAddrRegister = true;
        p.reset6699 = true;
        p.sfdp = gbit == 1 ? bytes(kSfdpMx66l1g45g) : bytes(kSfdpMx66l2g45g);
        parts.push_back(p);
    }
    {
        // Its SFDP advertises no way into 4-byte mode that discovery takes,
        // so discovery refuses it; it serves the report of a sector map with
        // four detection commands (which select configuration 0x0A, one
        // uniform region of 256 KiB sectors, with the registers below).
        SpiPart p;
        p.name = "s28hs02gt";
        p.summary = "2 Gbit (256 MiB) octal part with a sector map; real SFDP; discovery refuses it";
        p.capacity = 256 * kMiB;
        p.jedecId[0] = 0x34, p.jedecId[1] = 0x5B, p.jedecId[2] = 0x1C;
        p.eraseTypes[0] = {4 * kKiB, 0x21, true}, p.eraseTypes[3] = {256 * kKiB, 0xDC, true};
        p.chipErase = true;
        p.enter4ByteB7 = true;
        p.reset6699 = true;
        p.registers = {{0x65, true, 16, 0x800004, 0x08}, {0x65, true, 16, 0x800002, 0x00}};
        p.regions = {{256 * kMiB, 0xF8}};  // bits 7-4 reserved (set)
        p.sfdp = bytes(kSfdpS28hs02gt);
        parts.push_back(p);
    }
    {
        SpiPart p;
        p.name = "w25q128";
        p.summary = "128 Mbit (16 MiB); 3-byte addresses only; real SFDP (revision 1.5, 64-byte table)";
        p.capacity = 16 * kMiB;
        p.jedecId[0] = 0xEF, p.jedecId[1] = 0x40, p.jedecId[2] = 0x18;
        p.eraseTypes[0] = {4 * kKiB, 0x20}, p.eraseTypes[1] = {32 * kKiB, 0x52}, p.eraseTypes[2] = {64 * kKiB, 0xD8};
        p.chipErase = true;
        p.reset6699 = true;
        p.sfdp = bytes(kSfdpW25q128);
        parts.push_back(p);
    }

    // Synthetic parts: each SFDP area is built from the description, so it
    // says exactly what the chip does.
    {
        SpiPart p;
        p.name = "synth-bank";
        p.summary = "512 Mbit (64 MiB); bank register (0x16/0x17); reset 0xF0; synthetic";
        p.capacity = 64 * kMiB;
        p.jedecId[0] = 0xF1, p.jedecId[1] = 0x02, p.jedecId[2] = 0x1A;
        p.eraseTypes[0] = {4 * kKiB, 0x20}, p.eraseTypes[1] = {32 * kKiB, 0x52}, p.eraseTypes[2] = {64 * kKiB, 0xD8};
        p.bankRegister = true;
        p.resetF0 = true;
        SfdpLayout l;
        l.density = 512u * 1024 * 1024 - 1;
        l.dword16 = kEnterBank | kBankDescribed | kHardResetExits | kSoftResetExits | kResetF0;
        p.sfdp = buildSfdp(p, l);
        parts.push_back(p);
    }
    {
        SpiPart p;
        p.name = "synth-ear";
        p.summary = "512 Mbit (64 MiB); extended address register only; 64-byte page; 8-clock reset; synthetic";
        p.capacity = 64 * kMiB;
        p.pageSize = 64;
        p.jedecId[0] = 0xF1, p.jedecId[1] = 0x03, p.jedecId[2] = 0x1A;
        p.eraseTypes[0] = {4 * kKiB, 0x20}, p.eraseTypes[1] = {64 * kKiB, 0xD8};
        p.extAddrRegister = true;
        p.resetOnes = true;
        SfdpLayout l;
        l.density = 512u * 1024 * 1024 - 1;
        l.dword16 = kEnterExtAddr | kExtAddrDescribed | kReset8Clocks;
        p.sfdp = buildSfdp(p, l);
        parts.push_back(p);
    }
    {
        // Two detection commands pick one of four configurations: bit 1 =
        // register 4 (read with 0x65, current address width, 8 dummy bytes)
        // AND 0x08, "hybrid sectors"; bit 0 = the configuration register
        // (0x35, no address) AND 0x04, "4 KiB sectors at the top". The chip
        // is set to configuration 3: 4 KiB sectors in the top 32 KiB, then a
        // 224 KiB region that the 256 KiB erase clears alone, 256 KiB
        // sectors below. Configurations 0 and 1 are uniform, 2 is hybrid at
        // the bottom.
        SpiPart p;
        p.name = "synth-sector-map";
        p.summary = "512 Mbit (64 MiB); sector map, detection commands select configuration 3 (4 KiB sectors at "
                    "the top); 0xB7; 512-byte page; synthetic";
        p.capacity = 64 * kMiB;
        p.pageSize = 512;
        p.jedecId[0] = 0xF1, p.jedecId[1] = 0x04, p.jedecId[2] = 0x1A;
        p.eraseTypes[0] = {4 * kKiB, 0x20}, p.eraseTypes[1] = {256 * kKiB, 0xD8};
        p.enter4ByteB7 = true;
        p.reset6699 = true;
        p.registers = {{0x65, true, 8, 0x000004, 0x08}, {0x35, false, 0, 0, 0x04}};
        const SpiRegion params = {32 * kKiB, 0x01}, cut = {224 * kKiB, 0x02}, rest = {64 * kMiB - 256 * kKiB, 0x02};
        p.regions = {rest, cut, params};
        SfdpLayout l;
        l.density = 512u * 1024 * 1024 - 1;
        l.dword16 = kEnterB7 | kExitE9 | kHardResetExits | kSoftResetExits | kReset6699;
        l.sectorMap = {
            0x08C86500u, 0x00000004u,  // 0x65, address as the current mode, 8 dummy bytes, mask 0x08
            0x04003501u, 0x00000000u,  // 0x35, no address, mask 0x04, last detection command
            0x00000002u, regionDword({64 * kMiB, 0x02}),  // configuration 0: uniform
            0x00000102u, regionDword({64 * kMiB, 0x02}),  // configuration 1: uniform
            0x00020202u, regionDword(params), regionDword(cut), regionDword(rest),  // 2: hybrid, bottom
            0x00020303u, regionDword(rest), regionDword(cut), regionDword(params),  // 3: hybrid, top (last)
        };
        p.sfdp = buildSfdp(p, l);
        parts.push_back(p);
    }
    {
        // A JESD216 (revision 1.0) area: a 9-DWORD basic table without the
        // DWORD that says how to reset the chip or reach 4-byte addresses.
        SpiPart p;
        p.name = "synth-jesd216";
        p.summary = "64 Mbit (8 MiB); JESD216 header and 36-byte basic table; synthetic";
        p.capacity = 8 * kMiB;
        p.jedecId[0] = 0xF1, p.jedecId[1] = 0x05, p.jedecId[2] = 0x17;
        p.eraseTypes[0] = {4 * kKiB, 0x20}, p.eraseTypes[1] = {64 * kKiB, 0xD8};
        p.chipErase = true;
        p.reset6699 = true;
        SfdpLayout l;
        l.major = 1, l.minor = 0, l.basicDwords = 9;
        l.density = 64u * 1024 * 1024 - 1;
        p.sfdp = buildSfdp(p, l);
        parts.push_back(p);
    }
    for (int gib : {2, 4}) {
        // Parts at and beyond the 2 GiB the tool addresses: always in 4-byte
        // mode, density as 2^N bits (N = 34 and 35).
        SpiPart p;
        p.name = gib == 2 ? "synth-2gib" : "synth-4gib";
        p.summary = gib == 2 ? "16 Gbit (2 GiB); always 4-byte addresses; synthetic"
                             : "32 Gbit (4 GiB); always 4-byte addresses; synthetic";
        p.capacity = static_cast<uint64_t>(gib) * 1024 * kMiB;
        p.jedecId[0] = 0xF1, p.jedecId[1] = 0x06, p.jedecId[2] = gib == 2 ? 0x22 : 0x23;
        p.eraseTypes[0] = {4 * kKiB, 0x20}, p.eraseTypes[1] = {64 * kKiB, 0xD8};
        p.always4Byte = true;
        p.reset6699 = true;
        SfdpLayout l;
        l.density = 0x80000000u | (gib == 2 ? 34 : 35);
        l.dword16 = kAlways4Byte | kReset6699;
        p.sfdp = buildSfdp(p, l);
        parts.push_back(p);
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
