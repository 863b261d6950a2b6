// Printers of the spi-info report, one per SFDP structure, and the +json
// document of what the report read.
#pragma once

#include <cstdint>
#include <vector>

#include "base/json_out.h"
#include "spiflash/sfdp.h"

void printSfdpHeader(const uint8_t bytes[8], SfdpHeader* header);
/// Prints one parameter header; true when its ID is one of the two known.
bool printSfdpTableHeader(uint32_t index, const uint8_t bytes[8], SfdpParameterHeader* header);
/// `table` holds at least 64 bytes (zero padded); `length` is the table's own.
void printBasicParameterTable(uint32_t index, uint32_t pointer, const uint8_t* table, uint32_t length);
void printSectorMapTable(uint32_t index, const uint8_t* table, uint32_t pointer, uint32_t length);

/// What spi-info read of one chip. Discovery's choices apply: the basic
/// table of the highest revision (the first among equals), the last sector
/// map.
struct SpiInfoRecords {
    uint32_t chip = 0;
    bool haveJedecId = false;
    uint8_t jedecId[3] = {};
    bool haveHeader = false;
    SfdpHeader header;
    bool haveBasicTable = false;
    uint32_t basicRevision = 0;                    ///< major * 256 + minor
    uint8_t basicTable[kMaxBasicTableBytes] = {};  ///< zero padded
    bool haveSectorMap = false;
    std::vector<uint32_t> sectorMap;  ///< its DWORDs
};

/// The spi-info +json document: the parameters discovery takes from these
/// records (capacity, erase types, page size, addressing, software reset,
/// every sector map configuration) and why discovery would refuse the chip,
/// if it would.
Json spiInfoDocument(const SpiInfoRecords& records);
