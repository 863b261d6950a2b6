// Sensor pages: the Request Sensors and Override Sensor messages and the
// verbs display-sensors, display-sensors-raw, override-sensor and
// release-sensor.
#include "boardinfo/sensors.h"

#include "base/bytes.h"
#include "base/out.h"
#include "link/board_reads.h"
#include "link/service_refusal.h"
#include "boardinfo/board_json.h"
#include "boardinfo/boardinfo_commands.h"
#include "boardinfo/vpd_record.h"

Result requestSensors(ConnectionContext* ctx, uint8_t* page, bool verbose) {
    return ucRequest(ctx, verbose, kRequestSensors, {.payload = page, .payloadLength = kSensorPageSize});
}

Result requestBlackBoxRecord(uint32_t index, ConnectionContext* ctx, bool verbose, uint8_t* page) {
    const uint8_t record = static_cast<uint8_t>(index);
    return ucRequest(ctx, verbose, kRequestBlackBoxRecord,
                     {.args = &record, .argLength = 1, .payload = page, .payloadLength = kSensorPageSize});
}

Result sendSensorOverride(ConnectionContext* ctx, bool verbose, uint32_t sensorIndex, uint32_t value, bool override) {
    uint8_t args[6] = {static_cast<uint8_t>(sensorIndex), 0, 0, 0, 0, override ? uint8_t{1} : uint8_t{0}};
    putLe32(args + 1, value);
    return ucRequest(ctx, verbose, kOverrideSensor, {.args = args, .argLength = sizeof args});
}

Result displaySensors(bool verbose, ConnectionContext* ctx) {
    if (refuseInServiceMode(ctx, "display-sensors")) return kRefusedInServiceMode;
    uint8_t vpd[kVpdSize] = {};
    Result r = requestVpd(ctx, vpd, verbose);
    if (r != kOk) return r;
    uint8_t page[kSensorPageSize] = {};
    r = requestSensors(ctx, page, verbose);
    if (r != kOk) return r;
    const VpdRecord record = decodeVpd(vpd);
    const SensorPage decoded = decodeSensorPage(page, record.drawingNumber(), record.pcbMajorRevision());
    out("Human-readable Sensor Page:\n");
    printSensorPage(decoded);
    if (jsonMode()) jsonDocument(sensorsJson(record, decoded));
    return kOk;
}

Result displaySensorsRaw(ConnectionContext* ctx, bool verbose) {
    if (refuseInServiceMode(ctx, "display-sensors-raw")) return kRefusedInServiceMode;
    uint8_t page[kSensorPageSize] = {};
    Result r = requestSensors(ctx, page, verbose);
    if (r != kOk) return r;
    printSensorPageRaw(page);
    return kOk;
}

namespace {

// The uC message carries the sensor index in one byte, so a larger index is
// refused before anything else, service mode included.
bool sensorIndexInRange(uint32_t sensorIndex) {
    if (sensorIndex <= 255) return true;
    out("*** Sensor index must be in the range 0 to 255.\n");
    return false;
}

}  // namespace

Result overrideSensor(uint32_t sensorIndex, ConnectionContext* ctx, bool verbose, uint32_t value) {
    if (!sensorIndexInRange(sensorIndex)) return kBadIndexOrCount;
    if (refuseInServiceMode(ctx, "override-sensor")) return kRefusedInServiceMode;
    return sendSensorOverride(ctx, verbose, sensorIndex, value, true);
}

Result releaseSensor(uint32_t sensorIndex, ConnectionContext* ctx, bool verbose) {
    if (!sensorIndexInRange(sensorIndex)) return kBadIndexOrCount;
    if (refuseInServiceMode(ctx, "release-sensor")) return kRefusedInServiceMode;
    return sendSensorOverride(ctx, verbose, sensorIndex, 0, false);
}
