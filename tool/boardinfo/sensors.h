// Sensor pages, the black box, and sensor overrides.
#pragma once

#include <cstdint>
#include <vector>

#include "link/connection.h"

constexpr uint32_t kSensorPageSize = 64;

/// Channels of a sensor page: 14 ADC channels (0..13), then 4 temperature
/// channels (14..17).
constexpr uint32_t kAdcChannels = 14;
constexpr uint32_t kTempChannels = 4;
constexpr uint32_t kSensorChannels = kAdcChannels + kTempChannels;

/// Black-box record indices: clobber 0..23, noclobber 24..30.
constexpr uint32_t kClobberRecords = 24;
constexpr uint32_t kNoClobberRecords = 7;
constexpr uint32_t kBlackBoxRecords = kClobberRecords + kNoClobberRecords;
constexpr uint32_t kErasedEtc = 0xFFFFFFFF;

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
/// Prints "Raw Sensor Page:" and a hex and character dump of the 64 bytes.
void printSensorPageRaw(const uint8_t* page);

/// What a channel of a model is: its name, unit text and the factor that
/// turns its raw reading into the unit (kelvin for temperature channels).
struct SensorDescriptor {
    const char* name;
    const char* unit;
    double scale;
};
/// Channel 0..17 of the page, 18 the elapsed time counter, 19 the event
/// counter; anything higher has the unit "?".
SensorDescriptor sensorDescriptor(uint32_t index, uint32_t drawingNumber, uint32_t pcbMajorRevision);

/// Raw reading of channel 0..17 of a page.
unsigned sensorRaw(const uint8_t* page, uint32_t channel);
/// A channel's reading in its unit: volts or amperes for ADC channels,
/// degrees Celsius for temperature channels (which read in kelvin).
double sensorValue(unsigned raw, uint32_t channel, const SensorDescriptor& d);
/// Status nibble of channel 0..17: OK, Critical, Over, Under from bit 3 down.
unsigned sensorStatus(const uint8_t* page, uint32_t channel);
/// Whether a model has its own channel table (otherwise defaults apply).
bool hasSensorTable(uint32_t drawingNumber);
/// Every drawing number that has a channel table, in table order.
std::vector<uint32_t> sensorTableDrawingNumbers();

/// PCB major revision as the sensor scales need it: the high nibble of the
/// PCB revision byte at VPD offset 0x0C.
uint32_t pcbMajorRevisionFromVpd(const uint8_t* vpd);

/// One black-box record as read: its record index and its sensor page.
struct BlackBoxRecord {
    uint32_t index;
    uint8_t page[kSensorPageSize];
};
/// Sorts records newest (largest ETC) first, erased ones last.
void sortBlackBoxRecords(BlackBoxRecord* records, uint32_t n);
/// The printing half of display-black-box, given what was read. A type that
/// was not requested, or whose reads never started, has no section (pass
/// nullptr); count 0 means no limit.
void printBlackBox(BlackBoxRecord* clobber, uint32_t clobberRead, BlackBoxRecord* noclobber, uint32_t noclobberRead,
                   uint32_t count, uint32_t drawingNumber, uint32_t pcbMajorRevision);
