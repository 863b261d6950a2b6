// A small scripted SPI NOR chip behind a FakeUc: answers the uC's SPI
// control and transfer requests, keeps an image and logs every erase and
// page program, so range tests can state the calls and the contents.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "spiflash/spi_flash.h"
#include "support/fake_uc.h"

struct SpiChip {
    std::vector<uint8_t> sfdp;
    std::vector<uint8_t> memory;
    std::map<uint8_t, uint32_t> eraseSizes = {{0x20, 0x1000}, {0xD8, 0x10000}};
    bool fourByte = false;
    bool writeEnabled = false;
    uint8_t extendedAddress = 0;
    bool stuckBusy = false;
    uint32_t failAtRequest = 0;  ///< the Nth request (from 1) fails on the link; 0 = never
    uint32_t requestCount = 0;
    std::vector<std::string> log;  ///< "E 10000+1000", "P 10000+80"

    explicit SpiChip(uint32_t size) : memory(size, 0xFF) {}
    /// Binds this chip as the fake's handler.
    void attach(FakeUc& uc);
    uint32_t handle(const Bytes& request, Bytes& reply);
    void act(const Bytes& request, Bytes& reply);
};

/// A 64-byte basic table; erase types as {exponent, opcode}.
struct BasicTableSpec {
    uint32_t density = 0x0FFFFFFF;  ///< 32 MiB
    uint8_t erase[4][2] = {{12, 0x20}, {16, 0xD8}, {0, 0}, {0, 0}};
    uint8_t pageExponent = 8;
    uint32_t dword16 = 0x01181000;  ///< 0xB7, resets leave 4-byte mode, 0x66 0x99
    uint32_t dword1 = 0xFFF920E5;
};
std::vector<uint8_t> basicTable(const BasicTableSpec& spec);
/// An SFDP area of revision 1.6: the basic table, then an optional sector map.
std::vector<uint8_t> sfdpArea(const std::vector<uint8_t>& table, const std::vector<uint32_t>& sectorMap = {});
/// A discovered-looking SpiFlashInfo with 3-byte addresses and 256-byte pages.
SpiFlashInfo testInfo(uint32_t capacity, std::vector<SpiEraseType> types, std::vector<SpiFlashRegion> regions = {});
/// Reads a file of /work-independent test data (the SFDP dumps).
std::vector<uint8_t> readDataFile(const std::string& name);
