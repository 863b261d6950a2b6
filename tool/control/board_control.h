// Board control verbs: the FPGA boot mode, board and mezzanine power, and the
// uC's SMBus address.
#pragma once

#include <cstdint>

#include "base/json_out.h"
#include "link/connection.h"

/// One boot-mode name of an FPGA family.
struct BootModeName {
    int value;
    const char* name;
    const char* alias;  ///< null when the mode has one name only
};

/// A family's boot-mode names in lookup order.
struct BootModeTable {
    const BootModeName* entries;
    uint32_t count;
};

extern const BootModeTable kZynqMpBootModes;
extern const BootModeTable kVersalBootModes;

/// The boot-mode table of a board by its VPD drawing number; null when the
/// board's FPGA family has no names.
const BootModeTable* bootModeTableForDrawing(uint32_t drawingNumber);
/// The value of a boot-mode name (primary name, then alias, without regard
/// to case, in table order), or -1.
int bootModeValue(const BootModeTable& table, const char* text);
/// The primary name of a value, or "RESERVED".
const char* bootModeName(const BootModeTable& table, int value);

/// The +json document of get-boot-mode (nonVolatile false) or
/// get-boot-mode-nv from the uC's three mode bytes (driven now, at next
/// power-on, on the pins); `table` null when the board's names are unknown.
Json bootModeDocument(const uint8_t modes[3], const BootModeTable* table, bool nonVolatile);
/// The +json document of get-brd-power from the uC's three bytes (software
/// request off, hardware request off, supply off).
Json boardPowerDocument(const uint8_t power[3]);
/// The +json document of get-mez-power[-nv] from the three millivolt values
/// (requested, minimum, maximum).
Json mezzaninePowerDocument(uint32_t mezzanineIndex, bool nonVolatile, uint32_t requestedMv, uint32_t minimumMv,
                            uint32_t maximumMv);

/// Verbs set-boot-mode and set-boot-mode-nv.
[[nodiscard]] Result setBootMode(const char* modeText, ConnectionContext* ctx, bool verbose, bool nonVolatile);
/// Verbs get-boot-mode and get-boot-mode-nv.
[[nodiscard]] Result getBootMode(bool verbose, ConnectionContext* ctx, bool nonVolatile);

/// Verb set-brd-power.
[[nodiscard]] Result setBoardPower(ConnectionContext* ctx, bool on, bool verbose);
/// Verb get-brd-power.
[[nodiscard]] Result getBoardPower(ConnectionContext* ctx, bool verbose);
/// Verbs force-mez-power and force-mez-power-nv; `confirmed` is +confirm.
[[nodiscard]] Result forceMezzaninePower(uint32_t requestedMv, ConnectionContext* ctx, bool nonVolatile, bool verbose,
                                         bool confirmed, uint32_t mezzanineIndex, uint32_t minimumMv,
                                         uint32_t maximumMv);
/// Verbs get-mez-power and get-mez-power-nv.
[[nodiscard]] Result getMezzaninePower(ConnectionContext* ctx, bool nonVolatile, uint32_t mezzanineIndex,
                                       bool verbose);
/// The answer in a confirmation line: its first character after leading
/// white space, or 0 for a blank line.
char confirmationAnswer(const char* line);

