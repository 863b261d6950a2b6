#include "boardinfo/board_json.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/bytes.h"
#include "boardinfo/sensors.h"
#include "boardinfo/vpd.h"
#include "link/board_reads.h"

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
    for (uint32_t c = 0; c < kSensorChannels; ++c)
        sensors.push_back(sensorJson(page, c, drawingNumber, pcbMajorRevision));
    Json mezzanines = Json::array();
    for (unsigned i = 0; i < 4; ++i) mezzanines.push_back(mezzanineJson(i, page[0x2C + i]));

    Json registers;
    registers["crd_stat0"] = registerJson(page[0x30], kCrdStat0Bits);
    registers["crd_stat1"] = registerJson(page[0x31], kCrdStat1Bits);
    registers["crd_stat2"] = registerJson(page[0x32], kCrdStat2Bits);
    registers["crd_stat2"]["geographic_address"] = page[0x32] & 0x1Fu;
    registers["crd_stat3"] = {{"raw", page[0x33]}};
    registers["si5338_stat"] = registerJson(page[0x34], kSi5338StatBits);
    const unsigned err = page[0x35];
    registers["si5338_err"] = {{"raw", err}, {"error_type", err >> 4u}, {"error_code", err & 0x0Fu}};
    registers["reserved63"] = {{"raw", page[0x3F]}};

    Json doc;
    doc["elapsed_time_counter"] = getLe32(page);
    doc["event_counter"] = getLe32(page + 4);
    doc["sensors"] = std::move(sensors);
    doc["mezzanines"] = std::move(mezzanines);
    doc["status_registers"] = std::move(registers);
    return doc;
}

Json sensorsJson(const uint8_t* vpd, const uint8_t* page) {
    Json doc;
    doc["board"] = boardIdentityJson(vpd);
    Json decoded = sensorPageJson(page, getLe32(vpd + 0x04), pcbMajorRevisionFromVpd(vpd));
    for (auto& item : decoded.items()) doc[item.key()] = std::move(item.value());
    return doc;
}

namespace {

void appendRecords(Json& records, const BlackBoxRecord* read, uint32_t n, bool noclobber, uint32_t count,
                   uint32_t drawingNumber, uint32_t pcbMajorRevision) {
    if (read == nullptr) return;
    BlackBoxRecord sorted[kBlackBoxRecords];
    const uint32_t limit = noclobber ? kNoClobberRecords : kClobberRecords;
    if (n > limit) n = limit;
    std::memcpy(sorted, read, n * sizeof *read);
    sortBlackBoxRecords(sorted, n);
    const char* type = noclobber ? "noclobber" : "clobber";
    // The records with data, newest first (erased ones sort last).
    for (uint32_t i = 0; i < n && (count == 0 || i < count); ++i) {
        if (getLe32(sorted[i].page) == kErasedEtc) break;
        Json record = {{"type", type}, {"index", sorted[i].index}, {"erased", false}};
        Json decoded = sensorPageJson(sorted[i].page, drawingNumber, pcbMajorRevision);
        for (auto& item : decoded.items()) record[item.key()] = std::move(item.value());
        records.push_back(std::move(record));
    }
    // Then, when all were asked for, the empty slots in index order.
    for (uint32_t i = 0; i < n && count == 0; ++i) {
        if (getLe32(read[i].page) == kErasedEtc)
            records.push_back({{"type", type}, {"index", read[i].index}, {"erased", true}});
    }
}

}  // namespace

Json blackBoxJson(const uint8_t* vpd, const BlackBoxRecord* clobber, uint32_t clobberRead,
                  const BlackBoxRecord* noclobber, uint32_t noclobberRead, uint32_t count) {
    const uint32_t drawingNumber = getLe32(vpd + 0x04);
    const uint32_t pcbMajor = pcbMajorRevisionFromVpd(vpd);
    Json records = Json::array();
    appendRecords(records, clobber, clobberRead, false, count, drawingNumber, pcbMajor);
    appendRecords(records, noclobber, noclobberRead, true, count, drawingNumber, pcbMajor);
    return {{"board", boardIdentityJson(vpd)}, {"records", std::move(records)}};
}

// ---- VPD -------------------------------------------------------------------

namespace {

using L = VpdLine;

Json entry(const std::string& name, unsigned offset, Json raw, Json value, Json unit = nullptr) {
    return {{"name", name}, {"offset", offset}, {"raw", std::move(raw)}, {"value", std::move(value)},
            {"unit", std::move(unit)}};
}

Json bytesJson(const uint8_t* p, size_t n) {
    Json a = Json::array();
    for (size_t i = 0; i < n; ++i) a.push_back(p[i]);
    return a;
}

Json tableText(const VpdTextTable* texts, uint32_t index) {
    const char* t = vpdTableText(texts, index);
    return t != nullptr ? text(t) : Json(nullptr);
}

/// An ASCII field of the record up to its first NUL, as the board wrote it.
Json recordText(const uint8_t* p, size_t width) {
    size_t n = 0;
    while (n < width && p[n] != 0) ++n;
    return boardText(p, n);
}

std::string revisionText(unsigned v) { return std::to_string(v >> 4) + "." + std::to_string(v & 0xFu); }

void appendFrequency(Json& fields, const std::string& prefix, unsigned offset, unsigned word, bool ddr4) {
    fields.push_back(entry(prefix + "max_frequency", offset, word, vpdFrequencyMhz(word), "MHz"));
    if (ddr4) fields.push_back(entry(prefix + "data_rate", offset, word, vpdDdr4DataRate(word), "MT/s"));
}

Json sizeEntry(const std::string& name, unsigned offset, uint8_t code, const VpdField& f) {
    return entry(name, offset, code, vpdMemorySize(code, f.wordSize, f.sizeRule), "bytes");
}

void appendBankGroup(const VpdField& f, const uint8_t* vpd, const char* kind, Json& fields) {
    for (unsigned bank = 0; bank < f.count; ++bank) {
        const unsigned offset = f.offset + bank * f.stride;
        const uint8_t* e = vpd + offset;
        const std::string prefix = std::string(kind) + "_bank" + std::to_string(bank) + "_";
        if (f.line == L::PsQspiFlashBanks) {
            fields.push_back(sizeEntry(prefix + "size", offset, e[0], f));
            continue;
        }
        appendFrequency(fields, prefix, offset, getLe16(e), f.line != L::ZbtSsramBanks);
        fields.push_back(sizeEntry(prefix + "size", offset + 2, e[2], f));
        if (f.ranks) fields.push_back(entry(prefix + "ranks", offset + 3, e[3], vpdRanksText(e[3])));
    }
}

}  // namespace

void appendVpdFieldJson(const VpdField& f, const uint8_t* vpd, Json& fields) {
    const uint8_t* p = vpd + f.offset;
    const uint32_t v = vpdFieldValue(f, vpd);
    const char* name = nullptr;   // a number of its own, without unit
    const char* clock = nullptr;  // a frequency word in Hz
    const char* choice = nullptr; // an enumerated value or a bit line
    const char* size = nullptr;   // a memory size code
    // Every line is named here; a new one without a case is a compiler warning.
    switch (f.line) {
        case L::PcbRevision:
            fields.push_back(entry("pcb_revision", f.offset, v, revisionText(v)));
            return;
        case L::CpldRevision:
            fields.push_back(entry("cpld_revision", f.offset, v, revisionText(v)));
            return;
        case L::ModificationsByte:
        case L::ModificationsWide: name = "modifications_bitmask"; break;
        case L::HbmDieCount: name = "hbm_die_count"; break;
        case L::CustomBuildCode:
            fields.push_back(entry("custom_build_code", f.offset, bytesJson(p, 2), vpdCustomBuildText(p[0], p[1])));
            return;
        case L::CoolingType: choice = "cooling_type"; break;
        case L::CoatingType: choice = "coating_type"; break;
        case L::Pn4Connector: choice = "pn4_connector"; break;
        case L::BoardTemperatureGrade: choice = "board_temperature_grade"; break;
        case L::FpgaPackage: choice = "fpga_package"; break;
        case L::FpgaSpaceGrade: choice = "fpga_space_grade"; break;
        case L::Si5338RefClock:
        case L::Si5338RefClockShort: clock = "si5338_ref_clock_frequency"; break;
        case L::InternalSi5338RefClock: clock = "internal_si5338_ref_clock_frequency"; break;
        case L::Si5338RefClock0: clock = "si5338_0_ref_clock_frequency"; break;
        case L::Si5338RefClock1: clock = "si5338_1_ref_clock_frequency"; break;
        case L::EmcclkClock: clock = "emcclk_clock_frequency"; break;
        case L::FabricClock: clock = "fabric_clock_frequency"; break;
        case L::PsRefClock: clock = "ps_ref_clock_frequency"; break;
        case L::Lmk04208RefClock: clock = "lmk04208_ref_clock_frequency"; break;
        case L::Lmk04208VcxoClock: clock = "lmk04208_vcxo_clock_frequency"; break;
        case L::BitSw1: choice = "sw1_dip_switch"; break;
        case L::BitRs232Converter: choice = "rs232_converter"; break;
        case L::BitSi5328JitterAttenuator: choice = "si5328_jitter_attenuator"; break;
        case L::BitFireFlyModules: choice = "firefly_modules"; break;
        case L::BitZqsfpModules: choice = "zqsfp_modules"; break;
        case L::BitActiveCoolingFans: choice = "active_cooling_fans"; break;
        case L::BitOptics: choice = "optics"; break;
        case L::BitVccPsbatt: choice = "vcc_psbatt"; break;
        case L::BitPn6Connector: choice = "pn6_connector"; break;
        case L::BitPn4Connector: choice = "pn4_connector"; break;
        case L::BitAdcRfTransformer: choice = "adc_rf_transformer_type"; break;
        case L::BitRfConnector: choice = "rf_connector_type"; break;
        case L::BitDacRfTransformer: choice = "dac_rf_transformer_type"; break;
        case L::BitXmcConnector: choice = "xmc_connector_type"; break;
        case L::BitFireFlyConnector: choice = "firefly_connector"; break;
        case L::BitSi5338RefClockSource: choice = "si5338_ref_clock_source"; break;
        case L::BitHeatsink: choice = "heatsink"; break;
        case L::BitFans: choice = "fans"; break;
        case L::BitTopShroud: choice = "top_shroud"; break;
        case L::Ddr4ChipClass: {
            const char* chip = vpdChipClassName(v);
            fields.push_back(entry("ddr4_chip_class", f.offset, v, chip != nullptr ? Json(chip) : Json(nullptr)));
            return;
        }
        case L::Ddr4Banks: appendBankGroup(f, vpd, "ddr4", fields); return;
        case L::PlDdr4Banks: appendBankGroup(f, vpd, "pl_ddr4", fields); return;
        case L::ZbtSsramBanks: appendBankGroup(f, vpd, "zbt_ssram", fields); return;
        case L::PsQspiFlashBanks: appendBankGroup(f, vpd, "ps_qspi_flash", fields); return;
        case L::PsDdr4Frequency: appendFrequency(fields, "ps_ddr4_", f.offset, v, true); return;
        case L::PsDdr4Size64:
        case L::PsDdr4Size32: size = "ps_ddr4_size"; break;
        case L::PsDdr4Ranks:
            fields.push_back(entry("ps_ddr4_ranks", f.offset, v, vpdRanksText(p[0])));
            return;
        case L::PsEmmcFlashSize: size = "ps_emmc_flash_size"; break;
        case L::PsSataFlashSize: size = "ps_sata_flash_size"; break;
        case L::PsEmmcMemorySize: size = "ps_emmc_memory_size"; break;
        case L::PsQspiFlashMemorySize: size = "ps_qspi_flash_memory_size"; break;
        case L::HbmFrequency:
            fields.push_back(entry("hbm_max_frequency", f.offset, v, v / 10, "MHz"));
            return;
        case L::HbmDieCapacity: size = "hbm_die_capacity"; break;
        case L::FpgaIdentity: {
            const unsigned device = getLe16(p + 12);
            const char* deviceName = fpgaDeviceName(static_cast<uint16_t>(device));
            const char* grade = fpgaTemperatureGradeName(p[14]);
            const bool known = std::strcmp(deviceName, "UNRECOGNIZED") != 0;
            fields.push_back(entry("fpga_stepping", f.offset, bytesJson(p, 8), recordText(p, 8)));
            fields.push_back(entry("fpga_speed_grade", f.offset + 8u, bytesJson(p + 8, 4), recordText(p + 8, 4)));
            fields.push_back(entry("fpga_device", f.offset + 12u, device, known ? text(deviceName) : Json(nullptr)));
            fields.push_back(entry("fpga_temperature_grade", f.offset + 14u, p[14],
                                   std::strcmp(grade, "UNRECOGNIZED") != 0 ? text(grade) : Json(nullptr)));
            return;
        }
    }
    if (name != nullptr) fields.push_back(entry(name, f.offset, v, v));
    if (clock != nullptr) fields.push_back(entry(clock, f.offset, v, v, "Hz"));
    if (choice != nullptr) fields.push_back(entry(choice, f.offset, v, tableText(f.texts, v)));
    if (size != nullptr) fields.push_back(sizeEntry(size, f.offset, p[0], f));
}

Json vpdJson(const uint8_t* vpd) {
    const uint32_t version = getLe16(vpd + 0);
    const uint32_t length = getLe16(vpd + 2);
    const uint32_t drawingNumber = getLe32(vpd + 0x04);
    const VpdLayout* layout = vpdLayoutFor(drawingNumber);
    Json fields = Json::array();
    if (layout != nullptr) {
        for (const VpdField& field : layout->fields) {
            if (field.models.includes(drawingNumber)) appendVpdFieldJson(field, vpd, fields);
        }
    }
    Json checksum = nullptr;
    unsigned stored = 0, calculated = 0;
    if (vpdChecksum(vpd, length, &stored, &calculated)) {
        checksum = {{"offset", length - 1}, {"stored", stored}, {"calculated", calculated},
                    {"valid", stored == calculated}};
    }
    return {{"board", boardIdentityJson(vpd)},
            {"version", version},
            {"version_recognised", version <= kVpdVersionRecognised},
            {"length", length},
            {"layout", layout != nullptr ? Json(std::string(1, layout->letter)) : Json(nullptr)},
            {"fields", std::move(fields)},
            {"checksum", std::move(checksum)}};
}

// ---- Identity and link -----------------------------------------------------

Json firmwareVersionJson(const std::string& name, const std::string& version, bool serviceMode) {
    Json doc = {{"name", boardText(name)}, {"version", boardText(version)}};
    unsigned part[4] = {};
    if (std::sscanf(version.c_str(), "%u.%u.%u.%u", &part[0], &part[1], &part[2], &part[3]) == 4) {
        doc["major"] = part[0];
        doc["minor"] = part[1];
        doc["patch"] = part[2];
        doc["build"] = part[3];
    }
    doc["mode"] = serviceMode ? "service" : "normal";
    return doc;
}

Json productIdJson(uint32_t productId) {
    const char* firmware = isServiceProductId(productId)  ? "service"
                           : isNormalProductId(productId) ? "normal"
                                                          : "unknown";
    return {{"product_id", productId}, {"firmware", firmware}};
}

Json commTestJson(const CommTestCounts& c) {
    const double seconds = c.elapsedMs / 1000.0;
    const bool rated = seconds >= 0.01;
    auto rate = [&](uint64_t bytes) -> Json {
        if (!rated) return nullptr;
        return std::round(static_cast<double>(bytes) / seconds * 10.0) / 10.0;
    };
    auto side = [&](uint64_t sent, uint64_t received) -> Json {
        return {{"sent_bytes", sent},
                {"received_bytes", received},
                {"sent_bytes_per_second", rate(sent)},
                {"received_bytes_per_second", rate(received)}};
    };
    return {{"requested_ms", c.requestedMs},
            {"elapsed_ms", c.elapsedMs},
            {"round_trips", c.roundTrips},
            {"errors", c.errors},
            {"link", side(c.linkSent, c.linkReceived)},
            {"payload", side(c.payloadSent, c.payloadReceived)},
            {"rates_reliable", rated && c.errors == 0}};
}
