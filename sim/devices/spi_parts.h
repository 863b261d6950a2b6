// The SPI NOR flash parts the simulated board can carry: what each chip is
// (size, page, erase types, how it reaches addresses above 16 MiB, how it
// resets, its registers) and the SFDP area it hands out, one table row per
// part (spi_parts.cpp). The real parts' SFDP areas are their dumps, built
// in from fuzz/corpus/sfdp (spi_sfdp_dumps.h); the synthetic parts have
// tables built from their rows for the discovery paths no real dump covers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zsim {

/// One erase type, in the order of the SFDP erase types 1 to 4 (a sector
/// map's erase-type bits index this order). Size 0: the type is absent.
struct SpiEraseType {
    uint32_t size = 0;
    uint8_t opcode = 0;
    /// The opcode always takes a 4-byte address, whatever the address mode.
    bool fourByteAddress = false;
};

/// A register that a configuration-detection command reads. `addressed`:
/// the opcode is followed by an address of the chip's current address
/// width; then `dummyBytes` dummy bytes, then the value (repeated).
struct SpiRegisterRead {
    uint8_t opcode = 0;
    bool addressed = false;
    uint8_t dummyBytes = 0;
    uint32_t address = 0;
    uint8_t value = 0;
};

/// One region of the chip's sector layout: its size and the erase types
/// (bit i = eraseTypes[i]) that work in it.
struct SpiRegion {
    uint64_t size = 0;
    uint8_t eraseMask = 0;
};

struct SpiPart {
    std::string name;
    std::string summary;  ///< one line for --help and the README
    uint64_t capacity = 0;
    uint32_t pageSize = 256;
    uint8_t jedecId[3] = {0, 0, 0};  ///< answer to 0x9F
    SpiEraseType eraseTypes[4];
    bool chipErase = false;  ///< 0x60 / 0xC7 erase the whole chip

    // Addresses above 16 MiB.
    bool always4Byte = false;        ///< every address is 4 bytes, always
    bool enter4ByteB7 = false;       ///< 0xB7 enters, 0xE9 leaves 4-byte mode
    bool b7NeedsWriteEnable = false; ///< 0xB7 only with the write enable latch set
    bool bankRegister = false;       ///< 0x16 / 0x17: bit 7 = 4-byte mode, bits 6-0 = address bits 30-24
    bool extAddrRegister = false;    ///< 0xC8 / 0xC5 (after a write enable): address bits 31-24

    // Software resets.
    bool reset6699 = false;   ///< 0x66 then 0x99
    bool resetF0 = false;     ///< 0xF0
    bool resetOnes = false;   ///< an all-zero transfer of 16 clocks or more (the uC drives the other lines high)

    std::vector<SpiRegisterRead> registers;
    /// The sector layout of the configuration the registers select; empty:
    /// one region over the whole chip where every erase type works.
    std::vector<SpiRegion> regions;

    std::vector<uint8_t> sfdp;  ///< the SFDP area from address 0; 0xFF beyond it
};

/// Every part, real ones first.
const std::vector<SpiPart>& spiParts();
/// The part of that name, or null.
const SpiPart* findSpiPart(const std::string& name);

}  // namespace zsim
