// The +json documents of the board-information verbs, built from the
// decoded records: pure functions, so the verbs only fetch, decode and hand
// over.
#pragma once

#include <cstdint>
#include <string>

#include "base/json_out.h"
#include "boardinfo/sensors.h"
#include "boardinfo/vpd_record.h"

/// {"drawing": n, "model": "<model name>" or null when unknown, "serial": n}
Json boardIdentityJson(const VpdRecord& vpd);

/// A decoded sensor page:
/// {"elapsed_time_counter": n, "event_counter": n,
///  "sensors": [ 18 entries: {"index": 0..17, "label": "ADC00".."ADC13","TMP00".."TMP03",
///               "description": "<channel name of the model>", "raw": n, "value": <number, temperature in celsius>,
///               "unit": "V"|"A"|"celsius"|null, "reserved": <true when the channel's name is "Reserved">,
///               "status": {"raw": n, "ok": b, "critical": b, "over": b, "under": b}} ],
///  "mezzanines": [ 4 entries: {"index": i, "raw": n, "fpga_present_c": b, "present_b": b, "data_error": b,
///               "checksum_error": b, "i2c_fail": b, "power_ok": b, "vio_enabled": b, "present_a": b} ],
///  "status_registers": {"crd_stat0": {"raw": n, "bits": {"psu0_ok": b .. "psu7_ok": b}},
///                       "crd_stat1": {"raw": n, "bits": {"done0".."done3", "board_config_valid", "reserved5", "psu_aux", "psu_off_request"}},
///                       "crd_stat2": {"raw": n, "bits": {"gap", "usb_connected", "host_reset"}, "geographic_address": n},
///                       "crd_stat3": {"raw": n},
///                       "si5338_stat": {"raw": n, "bits": {"init_ok", "int_regd", "reserved2", "reserved3", "cfg0_ok".."cfg3_ok"}},
///                       "si5338_err": {"raw": n, "error_type": n, "error_code": n},
///                       "reserved63": {"raw": n}}}
/// Values are SensorChannel::reportedValue (raw has the exact reading).
Json sensorPageJson(const SensorPage& page);

/// display-sensors: {"board": boardIdentityJson(vpd), then every field of
/// sensorPageJson}.
Json sensorsJson(const VpdRecord& vpd, const SensorPage& page);

/// display-black-box: {"board": ..., "records": [...]}. Each section in the
/// order the text shows it (clobber, then noclobber; newest first), a record
/// {"type": "clobber"|"noclobber", "index": n, "erased": false, then every
/// field of sensorPageJson}; then the section's erased slots as {"type",
/// "index", "erased": true}.
Json blackBoxJson(const VpdRecord& vpd, const BlackBox& box);

/// display-vpd: {"board": ..., "version": n, "version_recognised": b,
/// "length": n, "layout": "A".."Z" or null, "fields": [...], "checksum":
/// {"offset", "stored", "calculated", "valid"} or null when the length
/// leaves none to check}. The fields are the record's items, named by the
/// line table: {"name", "offset", "raw": number or array of bytes,
/// "value": decoded (null when the record's value has no meaning), "unit"}.
Json vpdJson(const VpdRecord& vpd);

/// version: {"name", "version", "major", "minor", "patch", "build",
/// "mode": "normal"|"service"}.
Json firmwareVersionJson(const std::string& name, const std::string& version, bool serviceMode);
/// product-id: {"product_id": n, "firmware": "normal"|"service"|"unknown"}.
Json productIdJson(uint32_t productId);

/// What a comm-test run counted.
struct CommTestCounts {
    uint32_t requestedMs = 0;
    uint32_t elapsedMs = 0;
    uint32_t roundTrips = 0;
    uint32_t errors = 0;  ///< echoed bytes that differed
    uint64_t linkSent = 0, linkReceived = 0, payloadSent = 0, payloadReceived = 0;
};
/// comm-test: {"requested_ms", "elapsed_ms", "round_trips", "errors",
/// "link": {"sent_bytes", "received_bytes", "sent_bytes_per_second",
/// "received_bytes_per_second"}, "payload": {...the same}, "rates_reliable"}.
/// Rates are null when the run was too short to give them (under 10 ms).
Json commTestJson(const CommTestCounts& counts);
