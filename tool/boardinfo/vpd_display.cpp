// The VPD verbs: display-vpd-raw and display-vpd. They only fetch the record
// and hand it to the pure printers below.
#include <cstring>

#include "base/hex_dump.h"
#include "base/out.h"
#include "boardinfo/board_json.h"
#include "boardinfo/vpd.h"
#include "boardinfo/vpd_layouts.h"
#include "boardinfo/vpd_record.h"
#include "link/board_reads.h"

namespace {

constexpr uint32_t kVpdMinLength = 5;    // header up to the drawing number, plus the checksum
constexpr uint32_t kVpdMaxLength = 128;  // the part kept in application flash
constexpr uint32_t kRawDumpBytes = 128;

void printChecksum(const VpdRecord& record) {
    const unsigned length = record.header.length;
    if (!record.checksumChecked) {
        out("*** ERROR: Unable to verify checksum because data structure length %u (0x%04X) is invalid\n", length,
            length);
        return;
    }
    const unsigned stored = record.storedChecksum;
    const unsigned calculated = record.calculatedChecksum;
    out("  Data structure checksum            %u (0x%02X)\n", stored, stored);
    if (calculated != stored) {
        out("*** ERROR: Calculated checksum %u 0x%02X does not match actual checksum %u (0x%02X)\n", calculated,
            calculated, stored, stored);
    }
}

}  // namespace

bool vpdChecksum(const uint8_t vpd[kVpdSize], uint32_t length, unsigned* stored, unsigned* calculated) {
    if (length < kVpdMinLength || length > kVpdMaxLength) return false;
    *stored = vpd[length - 1];
    uint8_t sum = 0;
    for (uint32_t i = 0; i + 1 < length; ++i) sum = static_cast<uint8_t>(sum + vpd[i]);
    *calculated = static_cast<uint8_t>(-sum);
    return true;
}

Result fetchVpdRecord(ConnectionContext* ctx, bool verbose, uint8_t vpd[kVpdSize]) {
    std::memset(vpd, 0, kVpdSize);
    if (ctx->inServiceMode != 0) return readAppFlash(vpd, ctx, verbose, kVpdCopyAddress, kVpdCopySize);
    return requestVpd(ctx, vpd, verbose);
}

void printVpdRaw(const uint8_t vpd[kVpdSize]) {
    out("Raw VPD:\n");
    printHexDump(vpd, kRawDumpBytes);
}

void printVpdHumanReadable(const VpdRecord& record) {
    const unsigned version = record.header.version;
    const unsigned length = record.header.length;
    const unsigned drawingNumber = record.drawingNumber();
    const unsigned serialNumber = record.serialNumber();

    out("Human-readable VPD:\n");
    out("  Data structure version             %u (0x%04X)\n", version, version);
    out("  Data structure length              %u (0x%04X)\n", length, length);
    out("  Drawing number                     %u (0x%08X) => %s\n", drawingNumber, drawingNumber,
        record.model != nullptr ? record.model : "UNRECOGNIZED");
    out("  Serial number                      %u (0x%08X)\n", serialNumber, serialNumber);

    // The model-specific fields sit at fixed offsets, so they are decoded
    // whatever the length field says.
    if (record.layout != nullptr) {
        printVpdItems(record);
    } else {
        out("WARNING: Unable to decode remaining data for UNRECOGNIZED drawing number.\n");
        out("         Use the 'display-vpd-raw' command in order to display raw VPD.\n");
    }

    printChecksum(record);

    if (!record.versionRecognised()) {
        out("WARNING: Data structure version %u is not recognized by this version of zorviutil.\n", version);
        out("         Highest data structure version recognised is %u.\n", kVpdVersionRecognised);
        out("         Some fields of the VPD might not be displayed.\n");
    }
}

Result displayVpdRaw(bool verbose, ConnectionContext* ctx) {
    uint8_t vpd[kVpdSize];
    Result result = fetchVpdRecord(ctx, verbose, vpd);
    if (result != kOk) return result;
    printVpdRaw(vpd);
    return kOk;
}

Result displayVpd(bool verbose, ConnectionContext* ctx) {
    uint8_t vpd[kVpdSize];
    Result result = fetchVpdRecord(ctx, verbose, vpd);
    if (result != kOk) return result;
    const VpdRecord record = decodeVpd(vpd);
    printVpdHumanReadable(record);
    if (jsonMode()) jsonDocument(vpdJson(record));
    return kOk;
}
