// What the link itself asks the uC (its requests are rows of
// link/link_commands.h): the firmware product ID that tells the mode, the
// VPD, and pages of application flash (the VPD's copy in service mode).
#pragma once

#include <cstdint>

#include "link/connection.h"

/// Firmware product IDs.
bool isServiceProductId(uint32_t id);
bool isNormalProductId(uint32_t id);

/// Reads the firmware product ID; prints it unless silent.
[[nodiscard]] Result readProductId(ConnectionContext* ctx, uint32_t* productId, bool verbose, bool silent);
/// Reads the product ID and sets inServiceMode; 14 for an unknown ID.
[[nodiscard]] Result checkProductId(ConnectionContext* ctx, bool verbose);
/// Reads the 256-byte VPD record.
[[nodiscard]] Result requestVpd(ConnectionContext* ctx, uint8_t* vpd, bool verbose);
/// The board's serial number from its VPD, read once per run.
[[nodiscard]] Result readBoardSerial(ConnectionContext* ctx, bool verbose, uint32_t* serial);
/// Reads one 512-byte page of application flash (pageAddress is a byte address).
[[nodiscard]] Result readAppFlashPage(uint32_t pageAddress, uint8_t* page, ConnectionContext* ctx, bool verbose);
/// Reads any byte range of application flash, page by page.
[[nodiscard]] Result readAppFlash(uint8_t* destination, ConnectionContext* ctx, bool verbose, uint32_t start,
                                  uint32_t count);
/// Reads one page like readAppFlashPage, but only accepts a complete reply
/// (515 bytes with the right reply code): the page bytes are written back to
/// flash or saved to a file, so bytes the uC never sent must not stand in
/// for flash contents. 102 for an incomplete reply.
[[nodiscard]] Result readAppFlashPageExact(uint32_t pageAddress, uint8_t* page, ConnectionContext* ctx, bool verbose);
/// readAppFlash on top of readAppFlashPageExact.
[[nodiscard]] Result readAppFlashExact(uint8_t* destination, ConnectionContext* ctx, bool verbose, uint32_t start,
                                       uint32_t count);
