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

/// Fetches the record into a 256-byte buffer, zeroed first: Request VPD in
/// normal mode; in service mode the 128-byte copy in application flash at
/// 0x1FF00 (bytes 128 to 255 stay zero). Returns the retrieval's result.
[[nodiscard]] Result fetchVpdRecord(ConnectionContext* ctx, bool verbose, uint8_t vpd[kVpdSize]);

/// Highest data structure version this program knows all fields of.
constexpr uint32_t kVpdVersionRecognised = 0;
/// The checksum byte a record holds at length - 1 and the one its bytes
/// give; false when the length is outside 5..128 and there is none to check.
bool vpdChecksum(const uint8_t vpd[kVpdSize], uint32_t length, unsigned* stored, unsigned* calculated);

/// The raw dump of the first 128 bytes of a record ("Raw VPD:" on).
void printVpdRaw(const uint8_t vpd[kVpdSize]);
struct VpdRecord;
/// The human-readable display of a decoded record: header, the model's
/// layout, checksum and version checks ("Human-readable VPD:" on).
void printVpdHumanReadable(const VpdRecord& record);
