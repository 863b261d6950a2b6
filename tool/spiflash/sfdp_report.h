// Printers of the spi-info report, one per SFDP structure.
#pragma once

#include <cstdint>

#include "spiflash/sfdp.h"

void printSfdpHeader(const uint8_t bytes[8], SfdpHeader* header);
/// Prints one parameter header; true when its ID is one of the two known.
bool printSfdpTableHeader(uint32_t index, const uint8_t bytes[8], SfdpParameterHeader* header);
/// `table` holds at least 64 bytes (zero padded); `length` is the table's own.
void printBasicParameterTable(uint32_t index, uint32_t pointer, const uint8_t* table, uint32_t length);
void printSectorMapTable(uint32_t index, const uint8_t* table, uint32_t pointer, uint32_t length);
