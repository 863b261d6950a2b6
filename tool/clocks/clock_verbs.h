// The clock-generator verbs: frequencies set by the uC itself ("simple"
// programming), now or as the non-volatile override applied at power-up,
// register-map programming through the uC, and SI5338 programming over I2C.
#pragma once

#include <cstdint>

#include "link/connection.h"

/// getclk: the generator's current frequency.
[[nodiscard]] Result getClockFrequency(ConnectionContext* ctx, uint32_t index, bool verbose);
/// getclknv: the non-volatile override frequency.
[[nodiscard]] Result getClockOverride(ConnectionContext* ctx, uint32_t index, bool verbose);
/// setclk: sets the current frequency (Hz).
[[nodiscard]] Result setClockFrequency(ConnectionContext* ctx, uint32_t frequency, bool verbose, uint32_t index);
/// setclknv: stores the override frequency (0 and 0xFFFFFFFF: none).
[[nodiscard]] Result setClockOverride(ConnectionContext* ctx, uint32_t frequency, bool verbose, uint32_t index);

/// setclk-regmap (nonVolatile false) and setclknv-regmap: hands the map in
/// `path` (or, with a null path, the request to use the factory default
/// map) to the uC in chunks. `typeText`: null, "auto", "lmk61e2" or
/// "si5338".
[[nodiscard]] Result programRegisterMap(bool nonVolatile, const char* typeText, ConnectionContext* ctx, bool verbose,
                                        uint32_t index, const char* path);

/// config-si5338: programs an SI5338 on an I2C bus from its register map
/// file, the uC acting as I2C master only.
[[nodiscard]] Result configureSi5338(const char* path, ConnectionContext* ctx, bool verbose, uint32_t bus,
                                     uint32_t device);
