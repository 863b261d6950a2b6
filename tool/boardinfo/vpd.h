// The VPD record: retrieval, raw and human-readable display, lookup tables.
#pragma once

#include <cstdint>

#include "link/connection.h"

/// Verb display-vpd-raw.
[[nodiscard]] Result displayVpdRaw(bool verbose, ConnectionContext* ctx);
/// Verb display-vpd.
[[nodiscard]] Result displayVpd(bool verbose, ConnectionContext* ctx);

/// Model name of a drawing number, or "UNRECOGNIZED".
const char* drawingNumberToModel(uint32_t drawingNumber);
/// FPGA device name of a device code, or "UNRECOGNIZED".
const char* fpgaDeviceName(uint16_t code);
/// FPGA temperature grade text, or "UNRECOGNIZED".
const char* fpgaTemperatureGradeName(uint8_t code);
