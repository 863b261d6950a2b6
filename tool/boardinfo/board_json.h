// The +json documents of the board-information verbs, built from the bytes
// the uC returned: pure functions, so the verbs only fetch and hand over.
#pragma once

#include <cstdint>

#include "base/json_out.h"

/// {"drawing": n, "model": "<model name>" or null when unknown, "serial": n}
/// (from the VPD record bytes, kVpdSize long)
Json boardIdentityJson(const uint8_t* vpd);

/// A decoded 64-byte sensor page, the same decoding printSensorPage prints:
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
/// Values are rounded to millionths of their unit, which keeps every step of
/// the converters apart (raw has the exact reading).
Json sensorPageJson(const uint8_t* page, uint32_t drawingNumber, uint32_t pcbMajorRevision);
