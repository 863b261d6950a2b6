// The uC's SPI requests (group 0x05): control notices and the transfer that
// carries one flash command.
#pragma once

#include "link/request.h"
#include "spiflash/spi_flash.h"

inline constexpr const char* kSpiPoweredOffText =
    "The board appears to be powered off (standby power only). SPI accesses require the board to be powered on.";

inline constexpr StatusText kSpiControlTexts[] = {
    {1, "Invalid SPI control command"},
    {2, kSpiPoweredOffText, kBoardPoweredOff},
    {3, "The board has no SPI Flash that is accessible via the microcontroller.", kNoSpiFlash},
};
/// Arguments: subcommand (kSpiResetAllChips, ...), four zero bytes. Reply:
/// four bytes that are not used.
inline constexpr UcRequest kSpiControl{.group = 0x05, .command = 0x91, .texts = kSpiControlTexts,
                                      .timeoutUs = kSpiTimeoutUs};
constexpr uint8_t kSpiResetAllChips = 1;
constexpr uint8_t kSpiLengthyBegins = 2;
constexpr uint8_t kSpiLengthyEnds = 3;

inline constexpr StatusText kSpiTransferTexts[] = {
    {1, "Invalid SPI chip index", kBadSpiChipIndex},
    {2, kSpiPoweredOffText, kBoardPoweredOff},
};
/// Arguments: chip, write count, read count, the bytes to write. Reply: the
/// bytes read.
inline constexpr UcRequest kSpiTransfer{.group = 0x05, .command = 0x90, .texts = kSpiTransferTexts,
                                       .timeoutUs = kSpiTimeoutUs};
