// Sensor pages, the black box, and sensor overrides.
#pragma once

#include <cstdint>

#include "link/connection.h"

constexpr uint32_t kSensorPageSize = 64;

[[nodiscard]] Result requestSensors(ConnectionContext* ctx, uint8_t* page, bool verbose);
[[nodiscard]] Result requestBlackBoxRecord(uint32_t index, ConnectionContext* ctx, bool verbose, uint8_t* page);
[[nodiscard]] Result sendSensorOverride(ConnectionContext* ctx, bool verbose, uint32_t sensorIndex, uint32_t value,
                                        bool override);

/// Verb display-sensors.
[[nodiscard]] Result displaySensors(bool verbose, ConnectionContext* ctx);
/// Verb display-sensors-raw.
[[nodiscard]] Result displaySensorsRaw(ConnectionContext* ctx, bool verbose);
/// Verb display-black-box; recordTypes bit 0 clobber, bit 1 noclobber;
/// count 0 means no limit.
[[nodiscard]] Result displayBlackBox(ConnectionContext* ctx, bool verbose, uint32_t recordTypes, uint32_t count);
/// Verbs override-sensor and release-sensor.
[[nodiscard]] Result overrideSensor(uint32_t sensorIndex, ConnectionContext* ctx, bool verbose, uint32_t value);
[[nodiscard]] Result releaseSensor(uint32_t sensorIndex, ConnectionContext* ctx, bool verbose);

/// Prints a decoded sensor page for a model.
void printSensorPage(const uint8_t* page, uint32_t drawingNumber, uint32_t pcbMajorRevision);
