// The FPGA boot mode the uC drives onto the boot-mode pins, now or from the
// next power-on, by number or by the FPGA family's names.
#include <strings.h>

#include "base/bytes.h"
#include "base/numbers.h"
#include "base/out.h"
#include "link/board_reads.h"
#include "link/service_refusal.h"
#include "link/vpd_header.h"
#include "boardinfo/vpd.h"
#include "control/board_control.h"
#include "control/control_commands.h"

namespace {

constexpr BootModeName kZynqMp[] = {
    {0, "jtag", nullptr},   {1, "qspi24", nullptr}, {2, "qspi32", nullptr}, {3, "sd0", "sd0_v2"},
    {4, "nand", nullptr},   {5, "sd1_v2", nullptr}, {6, "emmc", nullptr},   {7, "usb0", nullptr},
    {8, "pjtag0", nullptr}, {9, "pjtag1", nullptr}, {14, "sd1_ls", "sd1_v3"},
};
constexpr BootModeName kVersal[] = {
    {0, "jtag", nullptr}, {1, "qspi24", nullptr}, {2, "qspi32", nullptr},      {3, "sd0_v3", "sd0"},
    {5, "sd1_v2", nullptr}, {6, "emmc1", nullptr}, {8, "ospi", nullptr}, {10, "selectmap", "smap"},
    {14, "sd1_v3", nullptr},
};

constexpr uint8_t kSwitches = 0xFF;  ///< mode byte: the board's switches decide
constexpr uint8_t kVolatileFlag = 1;
constexpr uint8_t kNonVolatileFlag = 2;

/// What the board's VPD tells about its boot-mode names.
struct BoardFamily {
    bool vpdRead = false;
    const char* product = "";
    const BootModeTable* table = nullptr;  ///< null: names unknown
};

// A VPD that cannot be read only costs the names: the verb goes on.
BoardFamily readBoardFamily(ConnectionContext* ctx, bool verbose) {
    BoardFamily family;
    uint8_t vpd[kVpdSize] = {};
    if (requestVpd(ctx, vpd, verbose) != kOk) return family;
    const uint32_t drawing = decodeVpdHeader(vpd).drawingNumber;
    family.vpdRead = true;
    family.product = drawingNumberToModel(drawing);
    family.table = bootModeTableForDrawing(drawing);
    return family;
}

const BootModeName* findBootMode(const BootModeTable& table, int value) {
    for (uint32_t i = 0; i < table.count; ++i)
        if (table.entries[i].value == value) return &table.entries[i];
    return nullptr;
}

/// A mode number's name for +json: null when the board's names are unknown,
/// "reserved" when its family has none for the number.
Json modeName(uint8_t mode, const BootModeTable* table) {
    if (table == nullptr) return nullptr;
    const BootModeName* entry = findBootMode(*table, mode);
    return entry != nullptr ? entry->name : "reserved";
}

/// One mode setting for +json: who decides the mode, its number and name.
Json describeMode(uint8_t mode, const BootModeTable* table) {
    if (mode == kSwitches) return {{"source", "switches"}, {"mode", nullptr}, {"name", nullptr}};
    return {{"source", "setting"}, {"mode", mode}, {"name", modeName(mode, table)}};
}

const char* displayName(const BoardFamily& family, int value) {
    return family.table != nullptr ? bootModeName(*family.table, value) : "UNKNOWN";
}

void printSymbolicHint() {
    out("    If you know the boot mode value, try using the literal value instead of its symbolic name.\n");
}

/// The mode a word names, or -1 after printing why it names none.
int convertBootMode(const char* text, const BoardFamily& family) {
    uint32_t number = 0;
    if (parseUnsigned(text, &number) == 1) return static_cast<int>(number);
    if (strcasecmp(text, "switch") == 0) return kSwitches;
    if (!family.vpdRead) {
        out("*** Failed to get VPD for determining FPGA family; cannot convert boot mode of '%s' to a number.\n", text);
        printSymbolicHint();
        return -1;
    }
    const int value = family.table != nullptr ? bootModeValue(*family.table, text) : -1;
    if (value < 0) {
        out("*** '%s' not recognized as a valid boot mode for product '%s'.\n", text, family.product);
        printSymbolicHint();
    }
    return value;
}

}  // namespace

const BootModeTable kZynqMpBootModes = {kZynqMp, sizeof kZynqMp / sizeof kZynqMp[0]};
const BootModeTable kVersalBootModes = {kVersal, sizeof kVersal / sizeof kVersal[0]};

const BootModeTable* bootModeTableForDrawing(uint32_t drawingNumber) {
    switch (drawingNumber) {
        case 1429:
        case 1430:
        case 1456:
        case 1492: return &kVersalBootModes;
        case 1437:
        case 1528: return &kZynqMpBootModes;
        default: return nullptr;
    }
}

int bootModeValue(const BootModeTable& table, const char* text) {
    for (uint32_t i = 0; i < table.count; ++i) {
        const BootModeName& e = table.entries[i];
        if (strcasecmp(text, e.name) == 0 || (e.alias != nullptr && strcasecmp(text, e.alias) == 0)) return e.value;
    }
    return -1;
}

const char* bootModeName(const BootModeTable& table, int value) {
    const BootModeName* entry = findBootMode(table, value);
    return entry != nullptr ? entry->name : "RESERVED";
}

Json bootModeDocument(const uint8_t modes[3], const BootModeTable* table, bool nonVolatile) {
    Json doc = {{"non_volatile", nonVolatile}};
    doc.update(describeMode(nonVolatile ? modes[1] : modes[0], table));
    if (!nonVolatile) {
        // The pins always carry a number, whoever drives them.
        doc["pins"] = {{"mode", modes[2]}, {"name", modeName(modes[2], table)}};
    }
    return doc;
}

Result setBootMode(const char* modeText, ConnectionContext* ctx, bool verbose, bool nonVolatile) {
    // The mode travels as one byte: a larger number would reach the uC as a
    // different, possibly valid, mode (256 as jtag), so it is refused like
    // any out-of-range argument, before anything else. Numbers up to 255 are
    // left for the uC to judge.
    uint64_t number = 0;
    switch (readUnsignedWord(modeText, UINT32_MAX, &number)) {
        case NumberWord::Ok:
            if (number <= 0xFF) break;
            out("*** Boot mode value %u is not valid; maximum allowed value is %u.\n", static_cast<unsigned>(number),
                0xFFu);
            return kBadBootMode;
        case NumberWord::TooLarge:
            out("*** Boot mode value %s is not valid; maximum allowed value is %u.\n", modeText, 0xFFu);
            return kBadBootMode;
        case NumberWord::NotANumber: break;
    }
    if (refuseInServiceMode(ctx, nonVolatile ? "set-boot-mode-nv" : "set-boot-mode")) return kRefusedInServiceMode;
    const BoardFamily family = readBoardFamily(ctx, verbose);
    const int mode = convertBootMode(modeText, family);
    if (mode < 0) return kBadBootMode;

    const uint8_t args[2] = {static_cast<uint8_t>(mode), nonVolatile ? kNonVolatileFlag : kVolatileFlag};
    if (Result r = ucRequest(ctx, verbose, kSetBootMode, {.args = args, .argLength = sizeof args}); r != kOk)
        return r;
    if (mode == kSwitches) {
        if (nonVolatile)
            out("Boot Mode at next power-on will be entirely under control of switches.\n");
        else
            out("Boot Mode is now entirely under control of switches.\n");
    } else if (nonVolatile) {
        out("Boot Mode at next power-on will be '%s' (0x%X).\n", displayName(family, mode), static_cast<unsigned>(mode));
    } else {
        out("Boot Mode is now '%s' (0x%X).\n", displayName(family, mode), static_cast<unsigned>(mode));
    }
    jsonSummary("non_volatile", nonVolatile);
    jsonSummaryFields(describeMode(static_cast<uint8_t>(mode), family.table));
    return kOk;
}

Result getBootMode(bool verbose, ConnectionContext* ctx, bool nonVolatile) {
    if (refuseInServiceMode(ctx, nonVolatile ? "get-boot-mode-nv" : "get-boot-mode")) return kRefusedInServiceMode;
    const BoardFamily family = readBoardFamily(ctx, verbose);
    uint8_t modes[3] = {};  // driven now, at next power-on, the pins
    if (Result r = ucRequest(ctx, verbose, kGetBootMode, {.payload = modes, .payloadLength = sizeof modes}); r != kOk)
        return r;
    jsonDocument(bootModeDocument(modes, family.table, nonVolatile));
    if (nonVolatile) {
        const uint8_t next = modes[1];
        if (next == kSwitches)
            out("Boot mode at next power-on is entirely under control of switches.\n");
        else
            out("Boot mode at next power-on is '%s' (0x%X).\n", displayName(family, next), next);
        return kOk;
    }
    const uint8_t driven = modes[0];
    if (driven == kSwitches)
        out("Boot mode currently entirely under control of switches.\n");
    else
        out("Boot mode currently driven is '%s' (0x%X).\n", displayName(family, driven), driven);
    out("Actual boot mode pins are '%s' (0x%X).\n", displayName(family, modes[2]), modes[2]);
    return kOk;
}
