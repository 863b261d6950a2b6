// Sensor pages: the Request Sensors and Override Sensor messages, the page
// decoder and the verbs display-sensors, display-sensors-raw,
// override-sensor and release-sensor.
#include "boardinfo/sensors.h"

#include <cstring>

#include "base/bytes.h"
#include "base/hex_dump.h"
#include "base/out.h"
#include "link/board_reads.h"
#include "link/service_refusal.h"
#include "boardinfo/board_json.h"
#include "boardinfo/boardinfo_commands.h"

namespace {

char flag(uint8_t byte, unsigned bit) { return (byte >> bit) & 1u ? '+' : '-'; }

// Where the readings and the status nibbles of the two channel kinds start.
constexpr uint32_t kAdcReadings = 0x08;
constexpr uint32_t kTempReadings = 0x24;
constexpr uint32_t kAdcStatus = 0x36;
constexpr uint32_t kTempStatus = 0x3D;

const uint8_t* readingBytes(const uint8_t* page, uint32_t channel) {
    return channel < kAdcChannels ? page + kAdcReadings + 2 * channel
                                  : page + kTempReadings + 2 * (channel - kAdcChannels);
}

}  // namespace

unsigned sensorRaw(const uint8_t* page, uint32_t channel) { return getLe16(readingBytes(page, channel)); }

double sensorValue(unsigned raw, uint32_t channel, const SensorDescriptor& d) {
    return channel < kAdcChannels ? raw * d.scale : raw * d.scale - 273.15;
}

unsigned sensorStatus(const uint8_t* page, uint32_t channel) {
    // Packed two to a byte, even channel of each kind in the low nibble.
    const uint32_t n = channel < kAdcChannels ? channel : channel - kAdcChannels;
    const uint8_t b = page[(channel < kAdcChannels ? kAdcStatus : kTempStatus) + n / 2];
    return n % 2 == 0 ? (b & 0x0Fu) : (b >> 4);
}

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

void printSensorPage(const uint8_t* page, uint32_t drawingNumber, uint32_t pcbMajorRevision) {
    out("  ETC         = { 0x%02X 0x%02X 0x%02X 0x%02X } => %u (0x%08X)\n", page[0], page[1], page[2], page[3],
        getLe32(page), getLe32(page));
    out("  EC          = { 0x%02X 0x%02X 0x%02X 0x%02X } => %u (0x%08X)\n", page[4], page[5], page[6], page[7],
        getLe32(page + 4), getLe32(page + 4));
    for (unsigned c = 0; c < kSensorChannels; ++c) {
        const uint8_t* p = readingBytes(page, c);
        const unsigned raw = sensorRaw(page, c);
        const SensorDescriptor d = sensorDescriptor(c, drawingNumber, pcbMajorRevision);
        const bool adc = c < kAdcChannels;
        out("  %s%02u (#%02u) = { 0x%02X 0x%02X }           => 0x%04X => %.3f %s [%s]\n", adc ? "ADC" : "TMP",
            adc ? c : c - kAdcChannels, c, p[0], p[1], raw, sensorValue(raw, c, d), d.unit, d.name);
    }
    for (unsigned i = 0; i < 4; ++i) {
        const uint8_t b = page[0x2C + i];
        out("  MEZ_STAT%u   = 0x%02X                    => F/PresC%c PresB%c DataErr%c CsumErr%c I2cFail%c PwrOK%c "
            "VIOEn%c PresA%c\n",
            i, b, flag(b, 7), flag(b, 6), flag(b, 5), flag(b, 4), flag(b, 3), flag(b, 2), flag(b, 1), flag(b, 0));
    }
    uint8_t b = page[0x30];
    out("  CRD_STAT0   = 0x%02X                    => PSU7OK%c PSU6OK%c PSU5OK%c PSU4OK%c PSU3OK%c PSU2OK%c PSU1OK%c "
        "PSU0OK%c\n",
        b, flag(b, 7), flag(b, 6), flag(b, 5), flag(b, 4), flag(b, 3), flag(b, 2), flag(b, 1), flag(b, 0));
    b = page[0x31];
    out("  CRD_STAT1   = 0x%02X                    => PSUOffReq%c PSU_AUX%c Resvd5%c BrdCfgVal%c DONE3%c DONE2%c "
        "DONE1%c DONE0%c\n",
        b, flag(b, 7), flag(b, 6), flag(b, 5), flag(b, 4), flag(b, 3), flag(b, 2), flag(b, 1), flag(b, 0));
    b = page[0x32];
    out("  CRD_STAT2   = 0x%02X                    => HostRst%c USBCon%c GAP%c GA=%u(0x%x)\n", b, flag(b, 7),
        flag(b, 6), flag(b, 5), b & 0x1Fu, b & 0x1Fu);
    out("  CRD_STAT3   = 0x%02X                       (reserved)\n", page[0x33]);
    b = page[0x34];
    out("  SI5338_STAT = 0x%02X                    => CFG3OK%c CFG2OK%c CFG1OK%c CFG0OK%c Resvd3%c Resvd2%c IntRegd%c "
        "InitOK%c\n",
        b, flag(b, 7), flag(b, 6), flag(b, 5), flag(b, 4), flag(b, 3), flag(b, 2), flag(b, 1), flag(b, 0));
    b = page[0x35];
    out("  SI5338_ERR  = 0x%02X                    => ErrType=%u ErrCode=%u\n", b, b >> 4u, b & 0x0Fu);
    for (unsigned c = 0; c < kSensorChannels; ++c) {
        const uint8_t n = static_cast<uint8_t>(sensorStatus(page, c));
        const bool adc = c < kAdcChannels;
        out("  %s_STAT%02u  = 0x%X                     => OK%c Critical%c Over%c Under%c\n", adc ? "ADC" : "TMP",
            adc ? c : c - kAdcChannels, n, flag(n, 3), flag(n, 2), flag(n, 1), flag(n, 0));
    }
    out("  RESVD63     = 0x%02X                       (reserved)\n", page[0x3F]);
}

void printSensorPageRaw(const uint8_t* page) {
    out("Raw Sensor Page:\n");
    printHexDump(page, kSensorPageSize);
}

Result displaySensors(bool verbose, ConnectionContext* ctx) {
    if (refuseInServiceMode(ctx, "display-sensors")) return kRefusedInServiceMode;
    uint8_t vpd[kVpdSize] = {};
    Result r = requestVpd(ctx, vpd, verbose);
    if (r != kOk) return r;
    uint8_t page[kSensorPageSize] = {};
    r = requestSensors(ctx, page, verbose);
    if (r != kOk) return r;
    out("Human-readable Sensor Page:\n");
    printSensorPage(page, getLe32(vpd + 0x04), pcbMajorRevisionFromVpd(vpd));
    if (jsonMode()) jsonDocument(sensorsJson(vpd, page));
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
