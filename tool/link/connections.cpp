// The four links to the uC: binding the link library at run time, opening
// the port, card or device, and identifying the firmware.
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>

#include "base/bytes.h"
#include "base/out.h"
#include "base/numbers.h"
#include "link/connection.h"
#include "link/port_hints.h"
#include "link/quenta.h"
#include "link/tobra.h"
#include "link/vpd_header.h"
#include "platform/platform.h"
#include "zorvi.h"

const char* const kZorviApiLibrary = platform::kZorviApiFile;
const char* const kTobraLibrary = platform::kTobraFile;
const char* const kQuentaLibrary = platform::kQuentaFile;

namespace {

const uint32_t kServiceProductIds[] = {720, 1320, 0x2D000};
const uint32_t kNormalProductIds[] = {721, 1321, 0x2D100};

struct AllowedCard {
    uint32_t type;
    const char* model;
};
const AllowedCard kTobraAllowedModels[] = {
    {0x111, "CARD-A30"}, {0x11C, "CARD-A31"}, {0x116, "CARD-A07"},
    {0x117, "CARD-A08(-FH) / CARD-A10"}, {0x11D, "CARD-A32"}, {0x11E, "CARD-A33"},
};

// PS UART boards that keep their service-mode permissions.
const uint32_t kPsUartServiceDrawings[] = {1323, 1353, 1437, 1510, 1528};

const char* const kZorviEntries[] = {"ZORVI_Close", "ZORVI_Command", "ZORVI_GetStatusStringW", "ZORVI_OpenPortW",
                                     "ZORVI_SetPortBaud"};
const char* const kQuentaEntries[] = {"QUENTA_CloseBC", "QUENTA_CommandUC", "QUENTA_GetStatusStringW",
                                      "QUENTA_GetUCStatus", "QUENTA_OpenBC"};
const char* const kTobraEntries[] = {"TOBRA_Close",       "TOBRA_CommandZORVI", "TOBRA_GetZORVIStatus",
                                     "TOBRA_GetStatusStringW", "TOBRA_GetUniqueId", "TOBRA_Open"};

template <size_t N>
bool contains(const uint32_t (&set)[N], uint32_t value) {
    for (uint32_t v : set)
        if (v == value) return true;
    return false;
}

template <size_t N>
Result bindLibrary(const char* fileName, const char* const (&entries)[N], ApiEntry api[kApiSlots],
                   void (*reportMissing)(const char*)) {
    void* library = platform::loadLibrary(fileName);
    if (library == nullptr) {
        reportMissing(fileName);
        return kLibraryMissing;
    }
    for (size_t i = 0; i < N; ++i) {
        void* entry = platform::findSymbol(library, entries[i]);
        if (entry == nullptr) {
            out("*** Cannot find entry point '%s' in DLL '%s'. This may indicate that the DLL version is too old to run "
                "this program.\n",
                entries[i], fileName);
            platform::unloadLibrary(library);
            return kLibraryMissing;
        }
        api[i] = reinterpret_cast<ApiEntry>(entry);
    }
    // The library stays loaded until the process ends.
    return kOk;
}

void fillContext(ConnectionContext* ctx, uint32_t handle, LinkKind kind, const char* linkName, uint32_t permissions,
                 uint32_t delayMs) {
    ctx->handle = handle;
    ctx->kind = kind;
    ctx->linkName = linkName;
    ctx->canEnterServiceMode = permissions;
    ctx->canExitServiceMode = permissions;
    ctx->autoServiceMode = permissions;
    ctx->isOpen = 1;
    ctx->timeoutMicroseconds = 1000000;
    ctx->modeSwitchDelayMs = delayMs;
}

/// Reads the product ID the quiet way of the serial openers and classifies it.
Result classifySerialProductId(ConnectionContext* ctx, bool verbose, bool* serviceMode) {
    uint32_t id = 0;
    Result r = readProductId(ctx, &id, verbose, true);
    if (r != kOk) {
        out("*** Failed to get ZORVI firmware Product ID.\n");
        return r;
    }
    if (isServiceProductId(id)) {
        *serviceMode = true;
    } else if (isNormalProductId(id)) {
        *serviceMode = false;
    } else {
        out("*** ZORVI firmware Product ID %lu(0x%lX) not recognized. Aborting as a precaution against firmware "
            "corruption.\n",
            static_cast<unsigned long>(id), static_cast<unsigned long>(id));
        return kUnknownProductId;
    }
    return kOk;
}

using ContextPtr = std::unique_ptr<ConnectionContext, void (*)(ConnectionContext*)>;
ContextPtr newContext() { return ContextPtr(new (std::nothrow) ConnectionContext(), closeConnection); }

}  // namespace

std::wstring widenPortName(const char* name) {
    // Program text is UTF-8 and the library turns the wide name back into
    // UTF-8 before opening it, so decode whole characters: widening byte by
    // byte would encode a non-ASCII device name twice and open the wrong
    // path. A malformed sequence becomes U+FFFD, a name no device has.
    std::wstring wide;
    const auto* p = reinterpret_cast<const unsigned char*>(name);
    while (*p != 0) {
        const unsigned char lead = *p;
        // more: continuation bytes to follow (-1: not a valid lead byte);
        // least: the smallest value that needs this many (no overlong forms).
        int more = lead < 0x80 ? 0 : lead >= 0xC2 && lead <= 0xDF ? 1 : lead >= 0xE0 && lead <= 0xEF ? 2
                                     : lead >= 0xF0 && lead <= 0xF4 ? 3 : -1;
        const uint32_t least = more == 1 ? 0x80 : more == 2 ? 0x800 : more == 3 ? 0x10000 : 0;
        uint32_t c = more <= 0 ? lead : lead & (0x3Fu >> more);
        ++p;
        for (int i = 0; i < more; ++i, ++p) {
            if ((*p & 0xC0u) != 0x80u) {
                more = -1;
                break;
            }
            c = (c << 6) | (*p & 0x3Fu);
        }
        if (more < 0 || c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (sizeof(wchar_t) == 2 && c > 0xFFFF) {
            // Wide text is UTF-16 there: a surrogate pair.
            c -= 0x10000;
            wide.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
            wide.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
            continue;
        }
        wide.push_back(static_cast<wchar_t>(c));
    }
    return wide;
}

bool isServiceProductId(uint32_t id) { return contains(kServiceProductIds, id); }
bool isNormalProductId(uint32_t id) { return contains(kNormalProductIds, id); }

Result bindZorviApi(ApiEntry api[kApiSlots]) {
    return bindLibrary(kZorviApiLibrary, kZorviEntries, api, [](const char* name) {
        out("*** Cannot find DLL '%s'. This can be corrected by installing the ZORVI System Monitor Driver, or copying "
            "'%s' to the same folder as this program.\n",
            name, name);
    });
}

Result bindQuentaApi(ApiEntry api[kApiSlots]) {
    return bindLibrary(kQuentaLibrary, kQuentaEntries, api, [](const char* name) {
        out("*** Cannot find DLL '%s'. This can be corrected by installing the QUENTA Driver, or copying '%s' to the "
            "same folder as this program.\n",
            name, name);
    });
}

Result bindTobraApi(ApiEntry api[kApiSlots]) {
    return bindLibrary(kTobraLibrary, kTobraEntries, api, [](const char* name) {
        out("*** Cannot find DLL '%s'. This can be corrected by installing the TOBRA Driver.\n", name);
    });
}

Result checkProductId(ConnectionContext* ctx, bool verbose) {
    const uint8_t request[2] = {0x03, 0x86};
    const uint8_t code[2] = {0x03, 0x06};
    uint8_t reply[6] = {};
    uint32_t actual = 0;
    Result r = sendUcCommand(sizeof request, ctx, verbose, ctx->timeoutMicroseconds, request, code, reply, sizeof reply,
                             &actual);
    if (r != kOk) {
        out("*** Failed to get ZORVI firmware Product ID.\n");
        return r;
    }
    const uint32_t id = getLe32(reply + 2);
    if (isServiceProductId(id)) {
        ctx->inServiceMode = 1;
    } else if (isNormalProductId(id)) {
        ctx->inServiceMode = 0;
    } else {
        out("*** ZORVI firmware Product ID %u(0x%X) not recognized. Aborting as a precaution against firmware "
            "corruption.\n",
            id, id);
        return kUnknownProductId;
    }
    return kOk;
}

namespace {

Result checkTobraCardType(ConnectionContext* ctx) {
    auto getUniqueId = reinterpret_cast<TOBRA_GetUniqueId_Fn>(ctx->api[4]);
    auto statusText = reinterpret_cast<TOBRA_GetStatusStringW_Fn>(ctx->api[3]);
    uint32_t words[2] = {};
    uint32_t status = getUniqueId(ctx->handle, words);
    if (status != 0) {
        out("*** Failed to get type of card: %s\n", narrowText(statusText(status, 1)));
        return kBadCardType;
    }
    for (const AllowedCard& card : kTobraAllowedModels)
        if (card.type == words[1]) return kOk;
    out("*** TOBRA Driver connection can be used only with the following models:\n");
    out("\n");
    for (const AllowedCard& card : kTobraAllowedModels) out("  o %s\n", card.model);
    return kBadCardType;
}

}  // namespace

Result openTobraCard(uint32_t index, uint32_t serialNumber, bool serialGiven, bool verbose, ConnectionContext** result) {
    ContextPtr ctx = newContext();
    if (!ctx) return kNoMemory;
    Result r = bindTobraApi(ctx->api);
    if (r != kOk) return r;
    auto open = reinterpret_cast<TOBRA_Open_Fn>(ctx->api[5]);
    auto getUniqueId = reinterpret_cast<TOBRA_GetUniqueId_Fn>(ctx->api[4]);
    auto close = reinterpret_cast<TOBRA_Close_Fn>(ctx->api[0]);
    auto statusText = reinterpret_cast<TOBRA_GetStatusStringW_Fn>(ctx->api[3]);
    uint32_t handle = 0;
    uint32_t status = open(index, 0, 0, &handle);
    if (status == 0 && serialGiven) {
        uint32_t words[2] = {};
        status = getUniqueId(handle, words);
        if (status == 0 && words[0] != serialNumber) status = ZORVI_DEVICE_NOT_FOUND;
        if (status != 0) close(handle);
    }
    if (status != 0) {
        out("*** Failed to open card: %s\n", narrowText(statusText(status, 1)));
        return kLinkOpenFailed;
    }
    fillContext(ctx.get(), handle, LINK_TOBRA, "TOBRA Driver (PCIe)", 1, 1000);
    r = checkTobraCardType(ctx.get());
    if (r == kOk) r = checkProductId(ctx.get(), verbose);
    if (r != kOk) return r;  // the guard closes the link
    *result = ctx.release();
    return kOk;
}

Result openQuentaDevice(uint32_t index, bool verbose, ConnectionContext** result) {
    ContextPtr ctx = newContext();
    if (!ctx) return kNoMemory;
    Result r = bindQuentaApi(ctx->api);
    if (r != kOk) return r;
    auto open = reinterpret_cast<QUENTA_OpenBC_Fn>(ctx->api[4]);
    auto statusText = reinterpret_cast<QUENTA_GetStatusStringW_Fn>(ctx->api[2]);
    uint32_t handle = 0;
    uint32_t status = open(0, index, 0, &handle);
    if (status != 0) {
        out("*** Failed to open device: %s\n", narrowText(statusText(status, 1)));
        return kLinkOpenFailed;
    }
    fillContext(ctx.get(), handle, LINK_QUENTA, "QUENTA Driver (PCIe)", 1, 1000);
    r = checkProductId(ctx.get(), verbose);
    if (r != kOk) return r;
    *result = ctx.release();
    return kOk;
}

namespace {

/// Opens a serial port through zorviapi; prints the failure itself.
Result openSerialPort(ConnectionContext* ctx, const std::string& port, uint32_t* handle) {
    auto open = reinterpret_cast<ZORVI_OpenPortW_Fn>(ctx->api[3]);
    auto statusText = reinterpret_cast<ZORVI_GetStatusStringW_Fn>(ctx->api[2]);
    std::wstring wide = widenPortName(port.c_str());
    uint32_t status = open(wide.c_str(), handle);
    if (status != 0) {
        out("*** Failed to open port '%s': %s\n", port.c_str(), narrowText(statusText(status, 1)));
        reportPortHint(port, status);
        return kLinkOpenFailed;
    }
    return kOk;
}

}  // namespace

PsUartSpec splitPsUartString(const char* connection) {
    PsUartSpec spec;
    // Element texts are kept whole: device paths such as
    // /dev/serial/by-id/usb-... are far longer than a short fixed field, and
    // a cut name would open the wrong device or none.
    std::string text = connection;
    size_t pos = 0;
    int elements = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        std::string element = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        if (element.empty()) {
            // A comma at the very end adds no element; an empty element
            // anywhere else (or an empty string) makes the string bad.
            if (comma == std::string::npos && elements > 0) break;
            spec.bad = true;
            return spec;
        }
        if (elements == 2) {
            spec.extra = text.substr(pos);
            break;
        }
        if (elements == 0)
            spec.port = element;
        else {
            spec.baudText = element;
            spec.hasBaud = true;
        }
        ++elements;
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    if (elements == 0) spec.bad = true;
    return spec;
}

Result openPsUart(const char* connection, bool verbose, ConnectionContext** result) {
    PsUartSpec spec = splitPsUartString(connection);
    if (!spec.extra.empty())
        out("+++ Ignoring unexpected extra elements of '-psuart' connection string: '%s'\n", spec.extra.c_str());
    if (spec.bad) {
        out("*** Bad connection string '%s'; must be of form 'COM<n>[,baud]'\n", connection);
        return kLinkOpenFailed;
    }
    uint32_t baud = 0;
    if (spec.hasBaud && parseUnsigned(spec.baudText.c_str(), &baud) != 1) {
        out("*** Baud rate value '%s' from '-psuart' connection string not recognized as a number.\n",
            spec.baudText.c_str());
        return kBadBaudRate;
    }
    ContextPtr ctx = newContext();
    if (!ctx) return kNoMemory;
    Result r = bindZorviApi(ctx->api);
    if (r != kOk) return r;
    uint32_t handle = 0;
    r = openSerialPort(ctx.get(), spec.port, &handle);
    if (r != kOk) return r;
    if (spec.hasBaud) {
        auto setBaud = reinterpret_cast<ZORVI_SetPortBaud_Fn>(ctx->api[4]);
        auto statusText = reinterpret_cast<ZORVI_GetStatusStringW_Fn>(ctx->api[2]);
        uint32_t status = setBaud(handle, baud);
        if (status != 0) {
            out("*** Failed to set port '%s' baud rate to %u: %s\n", spec.port.c_str(), baud,
                narrowText(statusText(status, 1)));
            reinterpret_cast<ZORVI_Close_Fn>(ctx->api[0])(handle);
            return kBaudRateRefused;
        }
    }
    fillContext(ctx.get(), handle, LINK_SERIAL, "PS UART", 1, 1000);
    bool serviceMode = false;
    r = classifySerialProductId(ctx.get(), verbose, &serviceMode);
    if (r != kOk) return r;
    ctx->inServiceMode = serviceMode ? 1 : 0;

    uint8_t vpd[kVpdSize] = {};
    r = serviceMode ? readAppFlash(vpd, ctx.get(), verbose, kVpdCopyAddress, kVpdCopySize)
                    : requestVpd(ctx.get(), vpd, verbose);
    if (r != kOk) return r;
    if (!contains(kPsUartServiceDrawings, decodeVpdHeader(vpd).drawingNumber)) {
        ctx->canEnterServiceMode = 0;
        ctx->canExitServiceMode = 0;
        ctx->autoServiceMode = 0;
    }
    *result = ctx.release();
    return kOk;
}

Result openUsbCom(const char* port, bool verbose, ConnectionContext** result) {
    ContextPtr ctx = newContext();
    if (!ctx) return kNoMemory;
    Result r = bindZorviApi(ctx->api);
    if (r != kOk) return r;
    uint32_t handle = 0;
    r = openSerialPort(ctx.get(), port, &handle);
    if (r != kOk) return r;
    fillContext(ctx.get(), handle, LINK_SERIAL, "USB", 0, 5000);
    bool serviceMode = false;
    r = classifySerialProductId(ctx.get(), verbose, &serviceMode);
    if (r != kOk) return r;
    ctx->inServiceMode = serviceMode ? 1 : 0;
    if (serviceMode) {
        ctx->canEnterServiceMode = 1;
        ctx->canExitServiceMode = 1;
    }
    *result = ctx.release();
    return kOk;
}

void closeConnection(ConnectionContext* ctx) {
    if (ctx == nullptr) return;
    if (ctx->isOpen != 0) {
        reinterpret_cast<CloseEntry>(ctx->api[0])(ctx->handle);
        ctx->isOpen = 0;
    }
    delete ctx;
}
