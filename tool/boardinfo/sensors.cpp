// Placeholder until the sensor verbs are built.
#include "boardinfo/sensors.h"

#include "base/out.h"

static Result notBuilt() {
    out("*** The sensor commands are not built yet.\n");
    return kUnrecognisedVerb;
}
Result requestSensors(ConnectionContext*, uint8_t*, bool) { return notBuilt(); }
Result requestBlackBoxRecord(uint32_t, ConnectionContext*, bool, uint8_t*) { return notBuilt(); }
Result sendSensorOverride(ConnectionContext*, bool, uint32_t, uint32_t, bool) { return notBuilt(); }
Result displaySensors(bool, ConnectionContext*) { return notBuilt(); }
Result displaySensorsRaw(ConnectionContext*, bool) { return notBuilt(); }
Result displayBlackBox(ConnectionContext*, bool, uint32_t, uint32_t) { return notBuilt(); }
Result overrideSensor(uint32_t, ConnectionContext*, bool, uint32_t) { return notBuilt(); }
Result releaseSensor(uint32_t, ConnectionContext*, bool) { return notBuilt(); }
void printSensorPage(const uint8_t*, uint32_t, uint32_t) {}
