#include "boardinfo/board_json.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "boardinfo/vpd.h"
#include "link/board_reads.h"

namespace {

/// Text of ours or of a table, as a JSON string.
Json text(const char* s) { return boardText(s, std::strlen(s)); }
Json textOrNull(const char* s) { return s != nullptr ? text(s) : Json(nullptr); }

Json unitJson(SensorUnit unit) {
    switch (unit) {
        case SensorUnit::Volts:
            return "V";
        case SensorUnit::Amperes:
            return "A";
        case SensorUnit::Celsius:
            return "celsius";
        case SensorUnit::Unknown:
            break;
    }
    return nullptr;
}

/// The named bits of a status byte, added to `object` in the table's order.
void addBits(Json& object, unsigned byte, std::span<const SensorBit> bits) {
    for (const SensorBit& b : bits) object[b.key] = sensorBitSet(byte, b);
}

Json channelJson(const SensorChannel& ch) {
    Json status = {{"raw", ch.status}};
    addBits(status, ch.status, channelStatusBits());
    return {{"index", ch.index},
            {"label", ch.label},
            {"description", text(ch.descriptor.name)},
            {"raw", ch.raw},
            {"value", ch.reportedValue()},
            {"unit", unitJson(ch.unit)},
            {"reserved", ch.reserved},
            {"status", std::move(status)}};
}

Json registerJson(const SensorRegister& reg, unsigned b) {
    Json j = {{"raw", b}};
    switch (reg.kind) {
        case SensorRegisterKind::Flags:
        case SensorRegisterKind::FlagsAndAddress:
            j["bits"] = Json::object();
            addBits(j["bits"], b, reg.bits);
            if (reg.kind == SensorRegisterKind::FlagsAndAddress) j["geographic_address"] = b & 0x1Fu;
            break;
        case SensorRegisterKind::Error:
            j["error_type"] = b >> 4u;
            j["error_code"] = b & 0x0Fu;
            break;
        case SensorRegisterKind::Reserved:
            break;
    }
    return j;
}

/// `doc` with every field of `more` appended.
void append(Json& doc, Json more) {
    for (auto& item : more.items()) doc[item.key()] = std::move(item.value());
}

}  // namespace

Json boardIdentityJson(const VpdRecord& vpd) {
    return {{"drawing", vpd.drawingNumber()}, {"model", textOrNull(vpd.model)}, {"serial", vpd.serialNumber()}};
}

Json sensorPageJson(const SensorPage& page) {
    Json sensors = Json::array();
    for (const SensorChannel& ch : page.channels) sensors.push_back(channelJson(ch));
    Json mezzanines = Json::array();
    for (uint32_t i = 0; i < kMezzanines; ++i) {
        Json m = {{"index", i}, {"raw", page.mezzanines[i]}};
        addBits(m, page.mezzanines[i], mezzanineBits());
        mezzanines.push_back(std::move(m));
    }
    Json registers;
    for (uint32_t i = 0; i < kSensorRegisters; ++i) {
        const SensorRegister& reg = sensorRegisters()[i];
        registers[reg.key] = registerJson(reg, page.registers[i]);
    }
    Json doc;
    doc["elapsed_time_counter"] = page.elapsedTimeCounter;
    doc["event_counter"] = page.eventCounter;
    doc["sensors"] = std::move(sensors);
    doc["mezzanines"] = std::move(mezzanines);
    doc["status_registers"] = std::move(registers);
    return doc;
}

Json sensorsJson(const VpdRecord& vpd, const SensorPage& page) {
    Json doc;
    doc["board"] = boardIdentityJson(vpd);
    append(doc, sensorPageJson(page));
    return doc;
}

namespace {

void appendSection(Json& records, const std::optional<BlackBoxSection>& section) {
    if (!section) return;
    const char* type = section->noclobber ? "noclobber" : "clobber";
    for (const BlackBoxEntry& entry : section->records) {
        Json record = {{"type", type}, {"index", entry.index}, {"erased", false}};
        append(record, sensorPageJson(entry.page));
        records.push_back(std::move(record));
    }
    for (uint32_t index : section->erased) records.push_back({{"type", type}, {"index", index}, {"erased", true}});
}

}  // namespace

Json blackBoxJson(const VpdRecord& vpd, const BlackBox& box) {
    Json records = Json::array();
    appendSection(records, box.clobber);
    appendSection(records, box.noclobber);
    return {{"board", boardIdentityJson(vpd)}, {"records", std::move(records)}};
}

// ---- VPD -------------------------------------------------------------------

namespace {

Json entry(const std::string& name, unsigned offset, Json raw, Json value, Json unit = nullptr) {
    return {{"name", name}, {"offset", offset}, {"raw", std::move(raw)}, {"value", std::move(value)},
            {"unit", std::move(unit)}};
}

Json bytesJson(const VpdItem& item) {
    Json a = Json::array();
    for (size_t i = 0; i < item.byteCount; ++i) a.push_back(item.bytes[i]);
    return a;
}

/// A text field of the record up to its first NUL, as the board wrote it.
Json recordText(const VpdItem& item) {
    size_t n = 0;
    while (n < item.byteCount && item.bytes[n] != 0) ++n;
    return boardText(item.bytes, n);
}

std::string revisionText(unsigned v) { return std::to_string(v >> 4) + "." + std::to_string(v & 0xFu); }

void appendItemJson(const VpdItem& item, Json& fields) {
    const VpdLineRow& row = vpdLineRow(item.line);
    const std::string name = vpdItemName(row.key, item);
    const unsigned v = item.value;
    switch (row.show) {
        case VpdShow::Revision:
            fields.push_back(entry(name, item.offset, v, revisionText(v)));
            break;
        case VpdShow::Byte:
        case VpdShow::Word:
            fields.push_back(entry(name, item.offset, v, v));
            break;
        case VpdShow::BuildCode:
            fields.push_back(entry(name, item.offset, bytesJson(item), vpdCustomBuildText(item.bytes[0], item.bytes[1])));
            break;
        case VpdShow::Choice:
        case VpdShow::WideChoice:
        case VpdShow::Bit:
        case VpdShow::ChipClass:
            fields.push_back(entry(name, item.offset, v, textOrNull(item.text)));
            break;
        case VpdShow::Clock:
        case VpdShow::ShortClock:
            fields.push_back(entry(name, item.offset, v, v, "Hz"));
            break;
        case VpdShow::Ddr4Frequency:
            fields.push_back(entry(name, item.offset, v, vpdFrequencyMhz(v), "MHz"));
            fields.push_back(entry(vpdItemName(row.rateKey, item), item.offset, v, vpdDdr4DataRate(v), "MT/s"));
            break;
        case VpdShow::Frequency:
            fields.push_back(entry(name, item.offset, v, vpdFrequencyMhz(v), "MHz"));
            break;
        case VpdShow::HbmFrequency:
            fields.push_back(entry(name, item.offset, v, v / 10, "MHz"));
            break;
        case VpdShow::Size:
            fields.push_back(entry(name, item.offset, v, item.size, "bytes"));
            break;
        case VpdShow::Ranks:
            fields.push_back(entry(name, item.offset, v, vpdRanksText(static_cast<uint8_t>(v))));
            break;
        case VpdShow::Text:
            fields.push_back(entry(name, item.offset, bytesJson(item), recordText(item)));
            break;
        case VpdShow::Group:
            break;
    }
}

}  // namespace

Json vpdJson(const VpdRecord& vpd) {
    Json fields = Json::array();
    for (const VpdItem& item : vpd.items) appendItemJson(item, fields);
    Json checksum = nullptr;
    if (vpd.checksumChecked) {
        checksum = {{"offset", vpd.header.length - 1},
                    {"stored", vpd.storedChecksum},
                    {"calculated", vpd.calculatedChecksum},
                    {"valid", vpd.storedChecksum == vpd.calculatedChecksum}};
    }
    return {{"board", boardIdentityJson(vpd)},
            {"version", vpd.header.version},
            {"version_recognised", vpd.versionRecognised()},
            {"length", vpd.header.length},
            {"layout", vpd.layout != nullptr ? Json(std::string(1, vpd.layout->letter)) : Json(nullptr)},
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
