#include "boardinfo/board_json.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/bytes.h"
#include "boardinfo/sensors.h"
#include "boardinfo/vpd.h"

namespace {

bool bit(unsigned byte, unsigned n) { return ((byte >> n) & 1u) != 0; }

/// Text of ours or of a table, as a JSON string.
Json text(const char* s) { return boardText(s, std::strlen(s)); }

/// The unit field of a channel: null when the model does not say.
Json unitJson(const char* unit) {
    if (std::strcmp(unit, "V") == 0 || std::strcmp(unit, "A") == 0) return unit;
    if (std::strcmp(unit, "deg. C") == 0) return "celsius";
    return nullptr;
}

/// An 8-bit register: its raw value and named bits, bit 0 first; a null
/// name leaves the bit out.
Json registerJson(unsigned raw, const char* const (&names)[8]) {
    Json bits = Json::object();
    for (unsigned i = 0; i < 8; ++i) {
        if (names[i] != nullptr) bits[names[i]] = bit(raw, i);
    }
    return {{"raw", raw}, {"bits", bits}};
}

Json sensorJson(const uint8_t* page, uint32_t c, uint32_t drawingNumber, uint32_t pcbMajorRevision) {
    const bool adc = c < kAdcChannels;
    char label[8];
    std::snprintf(label, sizeof label, "%s%02u", adc ? "ADC" : "TMP", adc ? c : c - kAdcChannels);
    const SensorDescriptor d = sensorDescriptor(c, drawingNumber, pcbMajorRevision);
    const unsigned raw = sensorRaw(page, c);
    const unsigned status = sensorStatus(page, c);
    return {{"index", c},
            {"label", label},
            {"description", text(d.name)},
            {"raw", raw},
            {"value", std::round(sensorValue(raw, c, d) * 1e6) / 1e6},
            {"unit", unitJson(d.unit)},
            {"reserved", std::strcmp(d.name, "Reserved") == 0},
            {"status",
             {{"raw", status},
              {"ok", bit(status, 3)},
              {"critical", bit(status, 2)},
              {"over", bit(status, 1)},
              {"under", bit(status, 0)}}}};
}

Json mezzanineJson(unsigned index, unsigned b) {
    return {{"index", index},           {"raw", b},
            {"fpga_present_c", bit(b, 7)}, {"present_b", bit(b, 6)},
            {"data_error", bit(b, 5)},  {"checksum_error", bit(b, 4)},
            {"i2c_fail", bit(b, 3)},    {"power_ok", bit(b, 2)},
            {"vio_enabled", bit(b, 1)}, {"present_a", bit(b, 0)}};
}

constexpr const char* kCrdStat0Bits[8] = {"psu0_ok", "psu1_ok", "psu2_ok", "psu3_ok",
                                          "psu4_ok", "psu5_ok", "psu6_ok", "psu7_ok"};
constexpr const char* kCrdStat1Bits[8] = {"done0",     "done1",   "done2", "done3", "board_config_valid",
                                          "reserved5", "psu_aux", "psu_off_request"};
constexpr const char* kCrdStat2Bits[8] = {nullptr, nullptr, nullptr, nullptr, nullptr,
                                          "gap",   "usb_connected", "host_reset"};
constexpr const char* kSi5338StatBits[8] = {"init_ok", "int_regd", "reserved2", "reserved3",
                                            "cfg0_ok", "cfg1_ok",  "cfg2_ok",   "cfg3_ok"};

}  // namespace

Json boardIdentityJson(const uint8_t* vpd) {
    const uint32_t drawingNumber = getLe32(vpd + 0x04);
    const char* model = drawingNumberToModel(drawingNumber);
    return {{"drawing", drawingNumber},
            {"model", std::strcmp(model, "UNRECOGNIZED") == 0 ? Json(nullptr) : text(model)},
            {"serial", getLe32(vpd + 0x08)}};
}

Json sensorPageJson(const uint8_t* page, uint32_t drawingNumber, uint32_t pcbMajorRevision) {
    Json sensors = Json::array();
    for (uint32_t c = 0; c < kSensorChannels; ++c) sensors.push_back(sensorJson(page, c, drawingNumber, pcbMajorRevision));
    Json mezzanines = Json::array();
    for (unsigned i = 0; i < 4; ++i) mezzanines.push_back(mezzanineJson(i, page[0x2C + i]));

    Json registers;
    registers["crd_stat0"] = registerJson(page[0x30], kCrdStat0Bits);
    registers["crd_stat1"] = registerJson(page[0x31], kCrdStat1Bits);
    registers["crd_stat2"] = registerJson(page[0x32], kCrdStat2Bits);
    registers["crd_stat2"]["geographic_address"] = page[0x32] & 0x1Fu;
    registers["crd_stat3"] = {{"raw", page[0x33]}};
    registers["si5338_stat"] = registerJson(page[0x34], kSi5338StatBits);
    registers["si5338_err"] = {{"raw", page[0x35]}, {"error_type", page[0x35] >> 4u}, {"error_code", page[0x35] & 0x0Fu}};
    registers["reserved63"] = {{"raw", page[0x3F]}};

    Json doc;
    doc["elapsed_time_counter"] = getLe32(page);
    doc["event_counter"] = getLe32(page + 4);
    doc["sensors"] = std::move(sensors);
    doc["mezzanines"] = std::move(mezzanines);
    doc["status_registers"] = std::move(registers);
    return doc;
}
