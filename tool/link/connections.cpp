// The four links to the uC: binding the link library at run time, opening
// the port, card or device, and identifying the firmware.
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>

#include "base/bytes.h"
#include "base/json_out.h"
#include "base/out.h"
#include "base/numbers.h"
#include "link/back_end.h"
#include "link/board_reads.h"
#include "link/openers.h"
#include "link/port_hints.h"
#include "link/vpd_header.h"
#include "platform/platform.h"

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

template <size_t N>
bool contains(const uint32_t (&set)[N], uint32_t value) {
    for (uint32_t v : set)
        if (v == value) return true;
    return false;
}

/// Looks entries up by name, in order, into a back end's typed fields;
/// the first one missing is told.
class EntryBinder {
public:
    EntryBinder(void* library, const char* fileName) : library_(library), fileName_(fileName) {}
    template <typename Entry>
    bool operator()(const char* name, Entry* entry) {
        void* found = platform::findSymbol(library_, name);
        if (found == nullptr) {
            out("*** Cannot find entry point '%s' in DLL '%s'. This may indicate that the DLL version is too old to run "
                "this program.\n",
                name, fileName_);
            return false;
        }
        *entry = reinterpret_cast<Entry>(found);
        return true;
    }

private:
    void* library_;
    const char* fileName_;
};

/// Binds a library once: `bindEntries` fills the record from the loaded
/// library. The record and the library live until the process ends.
template <typename BindEntries>
Result bindLibrary(const char* fileName, LinkBackEnd* record, bool* bound, const LinkBackEnd** backEnd,
                   void (*reportMissing)(const char*), BindEntries bindEntries) {
    if (!*bound) {
        void* library = platform::loadLibrary(fileName);
        if (library == nullptr) {
            reportMissing(fileName);
            return kLibraryMissing;
        }
        LinkBackEnd entries = *record;
        EntryBinder bind(library, fileName);
        if (!bindEntries(bind, entries)) {
            platform::unloadLibrary(library);
            return kLibraryMissing;
        }
        *record = entries;
        *bound = true;
    }
    *backEnd = record;
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

Result bindZorviApi(const LinkBackEnd** backEnd) {
    static LinkBackEnd record{.exchangeFailure = "*** Failed to send command to ZORVI uC via USB"};
    static bool bound = false;
    return bindLibrary(
        kZorviApiLibrary, &record, &bound, backEnd,
        [](const char* name) {
            out("*** Cannot find DLL '%s'. This can be corrected by installing the ZORVI System Monitor Driver, or "
                "copying '%s' to the same folder as this program.\n",
                name, name);
        },
        [](EntryBinder& bind, LinkBackEnd& e) {
            return bind("ZORVI_Close", &e.close) && bind("ZORVI_Command", &e.command) &&
                   bind("ZORVI_GetStatusStringW", &e.statusText) && bind("ZORVI_OpenPortW", &e.openPort) &&
                   bind("ZORVI_SetPortBaud", &e.setPortBaud);
        });
}

Result bindQuentaApi(const LinkBackEnd** backEnd) {
    static LinkBackEnd record{.exchangeFailure = "*** Failed to send command to uC"};
    static bool bound = false;
    return bindLibrary(
        kQuentaLibrary, &record, &bound, backEnd,
        [](const char* name) {
            out("*** Cannot find DLL '%s'. This can be corrected by installing the QUENTA Driver, or copying '%s' to "
                "the same folder as this program.\n",
                name, name);
        },
        [](EntryBinder& bind, LinkBackEnd& e) {
            return bind("QUENTA_CloseBC", &e.close) && bind("QUENTA_CommandUC", &e.command) &&
                   bind("QUENTA_GetStatusStringW", &e.statusText) && bind("QUENTA_GetUCStatus", &e.deviceUcStatus) &&
                   bind("QUENTA_OpenBC", &e.openDevice);
        });
}

Result bindTobraApi(const LinkBackEnd** backEnd) {
    static LinkBackEnd record{.exchangeFailure = "*** Failed to send command to ZORVI uC"};
    static bool bound = false;
    return bindLibrary(
        kTobraLibrary, &record, &bound, backEnd,
        [](const char* name) {
            out("*** Cannot find DLL '%s'. This can be corrected by installing the TOBRA Driver.\n", name);
        },
        [](EntryBinder& bind, LinkBackEnd& e) {
            return bind("TOBRA_Close", &e.close) && bind("TOBRA_CommandZORVI", &e.command) &&
                   bind("TOBRA_GetZORVIStatus", &e.cardUcStatus) && bind("TOBRA_GetStatusStringW", &e.statusText) &&
                   bind("TOBRA_GetUniqueId", &e.cardUniqueId) && bind("TOBRA_Open", &e.openCard);
        });
}

Result checkProductId(ConnectionContext* ctx, bool verbose) {
    uint32_t id = 0;
    Result r = readProductId(ctx, &id, verbose, true);
    if (r != kOk) {
        out("*** Failed to get ZORVI firmware Product ID.\n");
        return r;
    }
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
    uint32_t words[2] = {};
    uint32_t status = ctx->backEnd->cardUniqueId(ctx->handle, words);
    if (status != 0) {
        out("*** Failed to get type of card: %s\n", narrowText(ctx->backEnd->statusText(status, 1)));
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
    Result r = bindTobraApi(&ctx->backEnd);
    if (r != kOk) return r;
    const LinkBackEnd& b = *ctx->backEnd;
    uint32_t handle = 0;
    uint32_t status = b.openCard(index, 0, 0, &handle);
    if (status == 0 && serialGiven) {
        uint32_t words[2] = {};
        status = b.cardUniqueId(handle, words);
        if (status == 0 && words[0] != serialNumber) status = ZORVI_DEVICE_NOT_FOUND;
        if (status != 0) b.close(handle);
    }
    if (status != 0) {
        out("*** Failed to open card: %s\n", narrowText(b.statusText(status, 1)));
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
    Result r = bindQuentaApi(&ctx->backEnd);
    if (r != kOk) return r;
    uint32_t handle = 0;
    uint32_t status = ctx->backEnd->openDevice(0, index, 0, &handle);
    if (status != 0) {
        out("*** Failed to open device: %s\n", narrowText(ctx->backEnd->statusText(status, 1)));
        return kLinkOpenFailed;
    }
    fillContext(ctx.get(), handle, LINK_QUENTA, "QUENTA Driver (PCIe)", 1, 1000);
    r = checkProductId(ctx.get(), verbose);
    if (r != kOk) return r;
    *result = ctx.release();
    return kOk;
}

namespace {

uint32_t gBusyWaitMs = 0;
const char* gLinkFailureReason = nullptr;

/// Records why the link failed, for the +json error document and the
/// metrics' reason label.
void noteLinkFailure(const char* reason) {
    gLinkFailureReason = reason;
    jsonFailureFields({{"reason", reason}});
}
constexpr uint32_t kBusyRetryMs = 250;

/// Opens a serial port through zorviapi; prints the failure itself. A port
/// held by another program is tried again until the busy wait is over.
Result openSerialPort(ConnectionContext* ctx, const std::string& port, uint32_t* handle) {
    std::wstring wide = widenPortName(port.c_str());
    const uint32_t start = platform::tickMs();
    for (;;) {
        const uint32_t status = ctx->backEnd->openPort(wide.c_str(), handle);
        if (status == 0) return kOk;
        const PortFacts facts = lookUpPort(port);
        const char* reason = portFailureReason(status, facts);
        // Compared by text: a constant string may have a copy in each file.
        const bool busy = reason != nullptr && std::strcmp(reason, kPortBusy) == 0;
        if (busy && platform::tickMs() - start < gBusyWaitMs && platform::stopRequested() == 0) {
            platform::sleepMs(kBusyRetryMs);
            continue;
        }
        out("*** Failed to open port '%s': %s\n", port.c_str(), narrowText(ctx->backEnd->statusText(status, 1)));
        reportPortHint(status, facts);
        if (reason != nullptr) noteLinkFailure(reason);
        return kLinkOpenFailed;
    }
}

/// After the product ID failed on an open serial port: a link failure
/// there (no answer, or not a uC's) most often means it is no board's port.
void hintSilentPort(Result r, const std::string& port) {
    if (platform::stopRequested() != 0) return;
    if (r == kLinkFailure || r == kUnexpectedStatus || r == kReplyTooShort) {
        hint("%s", silentPortHint(port).c_str());
        noteLinkFailure("no_board_reply");
    }
}

}  // namespace

void setBusyPortWait(uint32_t seconds) { gBusyWaitMs = seconds * 1000; }

const char* linkFailureReason() { return gLinkFailureReason; }
void resetLinkFailureReason() { gLinkFailureReason = nullptr; }

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
    Result r = bindZorviApi(&ctx->backEnd);
    if (r != kOk) return r;
    uint32_t handle = 0;
    r = openSerialPort(ctx.get(), spec.port, &handle);
    if (r != kOk) return r;
    if (spec.hasBaud) {
        const LinkBackEnd& b = *ctx->backEnd;
        uint32_t status = b.setPortBaud(handle, baud);
        if (status != 0) {
            out("*** Failed to set port '%s' baud rate to %u: %s\n", spec.port.c_str(), baud,
                narrowText(b.statusText(status, 1)));
            b.close(handle);
            return kBaudRateRefused;
        }
    }
    fillContext(ctx.get(), handle, LINK_SERIAL, "PS UART", 1, 1000);
    r = checkProductId(ctx.get(), verbose);
    if (r != kOk) {
        hintSilentPort(r, spec.port);
        return r;
    }
    const bool serviceMode = ctx->inServiceMode != 0;

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
    Result r = bindZorviApi(&ctx->backEnd);
    if (r != kOk) return r;
    uint32_t handle = 0;
    r = openSerialPort(ctx.get(), port, &handle);
    if (r != kOk) return r;
    fillContext(ctx.get(), handle, LINK_SERIAL, "USB", 0, 5000);
    r = checkProductId(ctx.get(), verbose);
    if (r != kOk) {
        hintSilentPort(r, port);
        return r;
    }
    if (ctx->inServiceMode != 0) {
        ctx->canEnterServiceMode = 1;
        ctx->canExitServiceMode = 1;
    }
    *result = ctx.release();
    return kOk;
}

void closeConnection(ConnectionContext* ctx) {
    if (ctx == nullptr) return;
    if (ctx->isOpen != 0) {
        ctx->backEnd->close(ctx->handle);
        ctx->isOpen = 0;
    }
    delete ctx;
}
