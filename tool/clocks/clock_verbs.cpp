// getclk, setclk, getclknv, setclknv, setclk-regmap and setclknv-regmap.
#include "clocks/clock_verbs.h"

#include <strings.h>

#include <cstring>

#include "base/bytes.h"
#include "base/json_out.h"
#include "base/out.h"
#include "link/service_refusal.h"
#include "clocks/clock_commands.h"
#include "clocks/register_maps.h"
#include "control/board_control.h"

namespace {

constexpr uint32_t kMaxMapPayload = 1024;
constexpr uint32_t kMapChunk = 508;
constexpr uint32_t kMapChunkHeader = 5;  ///< flags, index, type, chunk length

// Flags of the register-map programming request.
constexpr uint8_t kFlagNonVolatile = 0x01;
constexpr uint8_t kFlagFactoryDefault = 0x02;
constexpr uint8_t kFlagFirstChunk = 0x40;
constexpr uint8_t kFlagLastChunk = 0x80;

bool indexInRange(uint32_t index) {
    if (index <= 255) return true;
    out("*** Clock generator index must be in the range 0 to 255.\n");
    return false;
}

enum class ClockVerb { Get, GetOverride, Set, SetOverride };

/// The common part of the four frequency verbs: checks, one exchange and
/// the status. On 0, *frequency holds reply bytes 3..6.
Result clockExchange(ClockVerb verb, const char* name, ConnectionContext* ctx, bool verbose, uint32_t index,
                     uint32_t requested, uint32_t* frequency) {
    if (!indexInRange(index)) return kBadIndexOrCount;
    if (refuseInServiceMode(ctx, name)) return kRefusedInServiceMode;
    uint8_t args[6] = {static_cast<uint8_t>(index)};
    uint32_t length = 1;
    const UcRequest* request = &kGetFrequency;
    switch (verb) {
        case ClockVerb::Get: break;
        case ClockVerb::GetOverride:
            request = &kGetOverride;
            args[length++] = kOverrideSelector;
            break;
        case ClockVerb::Set:
        case ClockVerb::SetOverride:
            request = verb == ClockVerb::Set ? &kSetFrequency : &kSetOverride;
            putLe32(args + 1, requested);
            length = 5;
            if (verb == ClockVerb::SetOverride) args[length++] = kOverrideStore;
            break;
    }
    uint8_t hz[4] = {};
    Result r = ucRequest(ctx, verbose, *request,
                         {.args = args, .argLength = length, .payload = hz, .payloadLength = sizeof hz});
    if (r != kOk) return r;
    *frequency = getLe32(hz);
    return kOk;
}

bool programsAtPowerUp(uint32_t frequency) { return frequency != 0 && frequency != 0xFFFFFFFFu; }

/// The +json fields of the four frequency verbs; an override says whether
/// it programs the generator at power-up.
Json clockFields(uint32_t index, uint32_t frequency, bool nonVolatile) {
    Json fields = {{"index", index}, {"non_volatile", nonVolatile}, {"frequency_hz", frequency}};
    if (nonVolatile) fields["programs_at_power_up"] = programsAtPowerUp(frequency);
    return fields;
}

/// The override line of getclknv ("is") and setclknv ("set to").
void printOverride(uint32_t index, uint32_t frequency, const char* verb) {
    const unsigned long hz = frequency;
    if (programsAtPowerUp(frequency))
        out("NV override frequency for clock generator %u %s %lu Hz\n", index, verb, hz);
    else
        out("NV override frequency for clock generator %u %s %lu(0x%lX), which will not result in programming at "
            "power-up.\n",
            index, verb, hz, hz);
}

/// getclk and getclknv: one read, printed as the frequency or as the override.
Result readClock(ConnectionContext* ctx, uint32_t index, bool verbose, bool nonVolatile) {
    uint32_t f = 0;
    Result r = nonVolatile ? clockExchange(ClockVerb::GetOverride, "getclknv", ctx, verbose, index, 0, &f)
                           : clockExchange(ClockVerb::Get, "getclk", ctx, verbose, index, 0, &f);
    if (r != kOk) return r;
    jsonDocument(clockFields(index, f, nonVolatile));
    if (nonVolatile)
        printOverride(index, f, "is");
    else
        out("Frequency of clock generator %u is %lu Hz\n", index, static_cast<unsigned long>(f));
    return kOk;
}

}  // namespace

Result getClockFrequency(ConnectionContext* ctx, uint32_t index, bool verbose) {
    return readClock(ctx, index, verbose, false);
}

Result getClockOverride(ConnectionContext* ctx, uint32_t index, bool verbose) {
    return readClock(ctx, index, verbose, true);
}

Result setClockFrequency(ConnectionContext* ctx, uint32_t frequency, bool verbose, uint32_t index) {
    uint32_t unused = 0;
    Result r = clockExchange(ClockVerb::Set, "setclk", ctx, verbose, index, frequency, &unused);
    if (r != kOk) return r;
    out("Frequency for clock generator %u set to %lu Hz\n", index, static_cast<unsigned long>(frequency));
    jsonSummaryFields(clockFields(index, frequency, false));
    return kOk;
}

Result setClockOverride(ConnectionContext* ctx, uint32_t frequency, bool verbose, uint32_t index) {
    uint32_t unused = 0;
    Result r = clockExchange(ClockVerb::SetOverride, "setclknv", ctx, verbose, index, frequency, &unused);
    if (r != kOk) return r;
    printOverride(index, frequency, "set to");
    jsonSummaryFields(clockFields(index, frequency, true));
    return kOk;
}

// --- register-map programming ---------------------------------------------

namespace {

const char* mapTypeName(RegisterMapType type) { return type == RegisterMapType::Lmk61e2 ? "LMK61E2" : "SI5338"; }

/// Reads the file in the type the user named, or detects it. Type names
/// are taken without regard to case, like "auto".
Result loadMap(const char* path, const char* typeText, RegisterMap& map, bool verbose) {
    RegisterMapType type = RegisterMapType::Si5338;
    const bool detect = typeText == nullptr || strcasecmp(typeText, "auto") == 0;
    if (!detect) {
        if (strcasecmp(typeText, "lmk61e2") == 0) {
            type = RegisterMapType::Lmk61e2;
        } else if (strcasecmp(typeText, "si5338") != 0) {
            out("*** Unrecognized register map file type '%s'; expecting one of: lmk61e2\n", typeText);
            return kUnknownRegisterMapType;
        }
    }
    MapText text;
    uint32_t code = loadRegisterMapText(path, detect ? nullptr : printMapDiagnostic, text);
    if (detect) {
        if (code != kMapOk) {
            out("*** Failed to read file '%s': %s (error %d)\n", path, registerMapErrorName(code),
                static_cast<int>(code));
            return kRegisterMapUnreadable;
        }
        if (Result r = detectRegisterMapText(path, text, &type); r != kOk) return r;
    }
    if (code == kMapOk) code = parseRegisterMap(type, text.bytes.get(), text.size, printMapDiagnostic, map);
    if (code != kMapOk) {
        out("*** Failed to read file '%s' in %s register map format: %s (error %d)\n", path, mapTypeName(type),
            registerMapErrorName(code), static_cast<int>(code));
        return kRegisterMapUnreadable;
    }
    out("File '%s' is an %s register map with %u register / value pair(s)\n", path, mapTypeName(type), map.count);
    if (!verbose) return kOk;
    if (type == RegisterMapType::Lmk61e2) {
        out("%u register map pair(s):\n", map.count);
        for (uint32_t i = 0; i < map.count; ++i)
            out("#%02u index=0x%02X value=0x%02X\n", i, map.entry(i)[0], map.entry(i)[1]);
    } else {
        out("%u register map entrie(s):\n", map.count);
        for (uint32_t i = 0; i < map.count; ++i) {
            const uint8_t* e = map.entry(i);
            out("#%02u index=0x%02X%02X mask=0x%02X value=0x%02X\n", i, e[1], e[0], e[2], e[3]);
        }
    }
    return kOk;
}

}  // namespace

Result programRegisterMap(bool nonVolatile, const char* typeText, ConnectionContext* ctx, bool verbose,
                          uint32_t index, const char* path) {
    RegisterMap map;
    uint8_t flags = nonVolatile ? kFlagNonVolatile : 0;
    if (path != nullptr) {
        if (Result r = loadMap(path, typeText, map, verbose); r != kOk) return r;
        const unsigned long long size = map.payloadSize();
        if (size > kMaxMapPayload) {
            out("*** Register map size of %llu(0x%llX) bytes is larger than maximum allowed size of %u(0x%X).\n",
                size, size, kMaxMapPayload, kMaxMapPayload);
            return kRegisterMapTooLarge;
        }
    } else {
        out("Register map to be used is factory default.\n");
        flags |= kFlagFactoryDefault;
    }
    if (refuseInServiceMode(ctx, nonVolatile ? "setclknv-regmap" : "setclk-regmap")) return kRefusedInServiceMode;

    const uint32_t size = map.payloadSize();
    uint32_t offset = 0;
    do {
        const uint32_t remaining = size - offset;
        const uint32_t chunk = remaining < kMapChunk ? remaining : kMapChunk;
        uint8_t args[kMapChunkHeader + kMapChunk] = {};
        args[0] = static_cast<uint8_t>(flags | (offset == 0 ? kFlagFirstChunk : 0) |
                                       (remaining <= kMapChunk ? kFlagLastChunk : 0));
        args[1] = static_cast<uint8_t>(index);
        args[2] = static_cast<uint8_t>(path != nullptr ? map.type : RegisterMapType::Si5338);
        putLe16(args + 3, static_cast<uint16_t>(chunk));
        if (chunk != 0) std::memcpy(args + kMapChunkHeader, map.payload.get() + offset, chunk);
        Result r = ucRequest(ctx, verbose, kProgramMap, {.args = args, .argLength = kMapChunkHeader + chunk});
        if (r != kOk) return r;
        offset += chunk;
    } while (offset < size);
    out("Register map write (%s) completed successfully.\n", nonVolatile ? "nonvolatile" : "volatile");
    jsonSummary("index", index);
    jsonSummary("non_volatile", nonVolatile);
    jsonSummary("file", path != nullptr ? Json(boardText(path, std::strlen(path))) : Json(nullptr));
    const char* type = map.type == RegisterMapType::Lmk61e2 ? "lmk61e2" : "si5338";
    jsonSummary("map_type", path != nullptr ? type : "factory_default");
    jsonSummary("entries", map.count);
    return kOk;
}
