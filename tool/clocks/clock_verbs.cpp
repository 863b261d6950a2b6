// getclk, setclk, getclknv, setclknv, setclk-regmap and setclknv-regmap.
#include "clocks/clock_verbs.h"

#include <strings.h>

#include <cstring>

#include "base/bytes.h"
#include "base/out.h"
#include "clocks/register_maps.h"

namespace {

constexpr uint8_t kClockGroup = 0x05;
constexpr uint8_t kGetFrequency = 0x8F;
constexpr uint8_t kSetFrequency = 0x8E;
constexpr uint8_t kGetOverride = 0x84;
constexpr uint8_t kSetOverride = 0x83;
constexpr uint8_t kProgramMap = 0x9B;
constexpr uint8_t kOverrideSelector = 0x01;  ///< last byte of the getclknv request
constexpr uint8_t kOverrideStore = 0x03;     ///< last byte of the setclknv request

constexpr uint32_t kFrequencyReplyLength = 7;
constexpr uint32_t kMaxMapPayload = 1024;
constexpr uint32_t kMapChunk = 508;
constexpr uint32_t kMapRequestHeader = 7;

// Flags of the register-map programming request.
constexpr uint8_t kFlagNonVolatile = 0x01;
constexpr uint8_t kFlagFactoryDefault = 0x02;
constexpr uint8_t kFlagFirstChunk = 0x40;
constexpr uint8_t kFlagLastChunk = 0x80;

constexpr const char* kUnexpected = "** UNEXPECTED ERROR CODE **";
constexpr const char* kBadIndex = "Invalid clock generator index";
constexpr const char* kNoSimple = "Simple clock generator programming not supported for this model.";

void printServiceHint() {
    out("    Please exit Service Mode manually using switch setting or by issuing the exit-service-mode command.\n");
}

bool indexInRange(uint32_t index) {
    if (index <= 255) return true;
    out("*** Clock generator index must be in the range 0 to 255.\n");
    return false;
}

enum class ClockVerb { Get, GetOverride, Set, SetOverride };

const char* statusText(ClockVerb verb, uint8_t status) {
    switch (status) {
        case 1: return kBadIndex;
        case 2:
            return verb == ClockVerb::SetOverride ? "Clock generator frequency cannot be overridden" : kNoSimple;
        case 3: return verb == ClockVerb::SetOverride ? kNoSimple : kUnexpected;
        case 0x11: return verb == ClockVerb::Set ? "Requested frequency is out of range" : kUnexpected;
        case 0x21: return verb == ClockVerb::Set ? "Microcontroller failed to communicate with SI5338" : kUnexpected;
        default: return kUnexpected;
    }
}

/// The common part of the four frequency verbs: checks, one exchange and
/// the status. On 0, *frequency holds reply bytes 3..6.
Result clockExchange(ClockVerb verb, const char* name, ConnectionContext* ctx, bool verbose, uint32_t index,
                     uint32_t requested, uint32_t* frequency) {
    if (!indexInRange(index)) return kBadIndexOrCount;
    if (ctx->inServiceMode) {
        out("*** The %s command requires the device to not be in Service Mode.\n", name);
        printServiceHint();
        return kRefusedInServiceMode;
    }
    uint8_t request[8] = {kClockGroup, 0, static_cast<uint8_t>(index)};
    uint32_t length = 3;
    switch (verb) {
        case ClockVerb::Get: request[1] = kGetFrequency; break;
        case ClockVerb::GetOverride:
            request[1] = kGetOverride;
            request[length++] = kOverrideSelector;
            break;
        case ClockVerb::Set:
        case ClockVerb::SetOverride:
            request[1] = verb == ClockVerb::Set ? kSetFrequency : kSetOverride;
            putLe32(request + 3, requested);
            length = 7;
            if (verb == ClockVerb::SetOverride) request[length++] = kOverrideStore;
            break;
    }
    const uint8_t code[2] = {kClockGroup, static_cast<uint8_t>(request[1] & 0x7F)};
    uint8_t reply[kFrequencyReplyLength] = {};
    uint32_t actual = 0;
    Result r = sendUcCommand(length, ctx, verbose, 0, request, code, reply, sizeof reply, &actual);
    if (r != kOk) return r;
    const uint8_t status = reply[2];
    if (status != 0) {
        if (verb == ClockVerb::Get || verb == ClockVerb::GetOverride)
            out("*** ZORVI returned error status 0x%02X => %s\n", status, statusText(verb, status));
        else
            out("*** ZORVI returned status 0x%02X => %s\n", status, statusText(verb, status));
        return kUnexpectedStatus;
    }
    *frequency = getLe32(reply + 3);
    return kOk;
}

bool programsAtPowerUp(uint32_t frequency) { return frequency != 0 && frequency != 0xFFFFFFFFu; }

}  // namespace

Result getClockFrequency(ConnectionContext* ctx, uint32_t index, bool verbose) {
    uint32_t frequency = 0;
    Result r = clockExchange(ClockVerb::Get, "getclk", ctx, verbose, index, 0, &frequency);
    if (r != kOk) return r;
    out("Frequency of clock generator %u is %lu Hz\n", index, static_cast<unsigned long>(frequency));
    return kOk;
}

Result getClockOverride(ConnectionContext* ctx, uint32_t index, bool verbose) {
    uint32_t f = 0;
    Result r = clockExchange(ClockVerb::GetOverride, "getclknv", ctx, verbose, index, 0, &f);
    if (r != kOk) return r;
    const unsigned long hz = f;
    if (programsAtPowerUp(f))
        out("NV override frequency for clock generator %u is %lu Hz\n", index, hz);
    else
        out("NV override frequency for clock generator %u is %lu(0x%lX), which will not result in programming at "
            "power-up.\n",
            index, hz, hz);
    return kOk;
}

Result setClockFrequency(ConnectionContext* ctx, uint32_t frequency, bool verbose, uint32_t index) {
    uint32_t unused = 0;
    Result r = clockExchange(ClockVerb::Set, "setclk", ctx, verbose, index, frequency, &unused);
    if (r != kOk) return r;
    out("Frequency for clock generator %u set to %lu Hz\n", index, static_cast<unsigned long>(frequency));
    return kOk;
}

Result setClockOverride(ConnectionContext* ctx, uint32_t frequency, bool verbose, uint32_t index) {
    uint32_t unused = 0;
    Result r = clockExchange(ClockVerb::SetOverride, "setclknv", ctx, verbose, index, frequency, &unused);
    if (r != kOk) return r;
    const unsigned long hz = frequency;
    if (programsAtPowerUp(frequency))
        out("NV override frequency for clock generator %u set to %lu Hz\n", index, hz);
    else
        out("NV override frequency for clock generator %u set to %lu(0x%lX), which will not result in programming "
            "at power-up.\n",
            index, hz, hz);
    return kOk;
}

// --- register-map programming ---------------------------------------------

namespace {

const char* mapTypeName(RegisterMapType type) { return type == RegisterMapType::Lmk61e2 ? "LMK61E2" : "SI5338"; }

const char* mapStatusText(uint8_t status) {
    switch (status) {
        case 1: return "Register map clock generator programming not supported for this model";
        case 2: return kBadIndex;
        case 3: return "Invalid flag";
        case 4: return "Invalid register map";
        default: return kUnexpected;
    }
}

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
    if (ctx->inServiceMode) {
        out("*** The setclk%s-regmap command requires the device to not be in Service Mode.\n",
            nonVolatile ? "nv" : "");
        printServiceHint();
        return kRefusedInServiceMode;
    }

    const uint32_t size = map.payloadSize();
    const uint8_t code[2] = {kClockGroup, kProgramMap & 0x7F};
    uint32_t offset = 0;
    do {
        const uint32_t remaining = size - offset;
        const uint32_t chunk = remaining < kMapChunk ? remaining : kMapChunk;
        uint8_t request[kMapRequestHeader + kMapChunk] = {kClockGroup, kProgramMap};
        request[2] = static_cast<uint8_t>(flags | (offset == 0 ? kFlagFirstChunk : 0) |
                                          (remaining <= kMapChunk ? kFlagLastChunk : 0));
        request[3] = static_cast<uint8_t>(index);
        request[4] = static_cast<uint8_t>(path != nullptr ? map.type : RegisterMapType::Si5338);
        putLe16(request + 5, static_cast<uint16_t>(chunk));
        if (chunk != 0) std::memcpy(request + kMapRequestHeader, map.payload.get() + offset, chunk);
        uint8_t reply[3] = {};
        uint32_t actual = 0;
        Result r = sendUcCommand(kMapRequestHeader + chunk, ctx, verbose, 0, request, code, reply, sizeof reply, &actual);
        if (r != kOk) return r;
        const uint8_t status = reply[2];
        if (status >= 0x80) {
            out("*** ZORVI returned status 0x%02X => chip-specific error 0x%X\n", status, status & 0x7Fu);
            return kUnexpectedStatus;
        }
        if (status != 0) {
            out("*** ZORVI returned status 0x%02X => %s\n", status, mapStatusText(status));
            return kUnexpectedStatus;
        }
        offset += chunk;
    } while (offset < size);
    out("Register map write (%s) completed successfully.\n", nonVolatile ? "nonvolatile" : "volatile");
    return kOk;
}
