// What the simulated board knows about each model: its VPD record, its
// sensor readings and its black box. The simulator core (sim/) serves these
// bytes; the tables here are the simulator's own, written independently of
// the tool's decoders.
#pragma once

#include <cstdint>
#include <vector>

namespace zsim {

struct SimOptions;

constexpr uint32_t kSimVpdSize = 256;
constexpr uint32_t kSimSensorPageSize = 64;
constexpr uint32_t kSimBlackBoxRecords = 31;  // 24 clobber (0..23), 7 noclobber (24..30)

/// A board model the simulator can play.
struct SimModel {
    uint32_t drawingNumber;
    const char* name;
};

/// Every model the simulator can play, by drawing number.
const std::vector<SimModel>& knownModels();
/// Their drawing numbers, in the same order.
std::vector<uint32_t> knownDrawingNumbers();

/// A plausible 256-byte VPD record for the model, valid checksum and
/// version 0. An unknown drawing number still gets a valid header.
void buildVpdRecord(uint32_t drawingNumber, uint32_t serialNumber, uint8_t vpd[kSimVpdSize]);

/// The VPD record the options describe (record options applied).
void buildOptionVpd(const SimOptions& options, uint8_t vpd[kSimVpdSize]);

/// A plausible sensor page for the model at the given elapsed time.
void buildSensorPage(uint32_t drawingNumber, uint8_t pcbRevision, uint32_t elapsedSeconds,
                     uint8_t page[kSimSensorPageSize]);

/// The 31 black-box records of the model (some erased: ETC 0xFFFFFFFF).
void buildBlackBox(uint32_t drawingNumber, uint8_t records[kSimBlackBoxRecords][kSimSensorPageSize]);

/// Whether the model has sensor channel `index` (override status 1 if not).
bool modelHasSensor(uint32_t drawingNumber, uint32_t index);

/// Puts an overriding raw value for channel `index` into a sensor page.
void applySensorOverride(uint8_t page[kSimSensorPageSize], uint32_t index, uint32_t value);

}  // namespace zsim
