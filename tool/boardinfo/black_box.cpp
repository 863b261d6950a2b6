// The black box: up to 31 saved sensor pages (24 clobber records that the
// uC overwrites, 7 noclobber records that it keeps), read one by one and
// printed newest first.
#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "base/out.h"
#include "link/board_reads.h"
#include "link/service_refusal.h"
#include "boardinfo/board_json.h"
#include "boardinfo/sensors.h"

namespace {

uint32_t etcOf(const BlackBoxRecord& r) { return getLe32(r.page); }

// Prints one record type in sorted order; returns how many were printed.
uint32_t printRecordType(const BlackBoxRecord* records, uint32_t n, bool noclobber, bool blankBeforeFirst,
                         uint32_t count, uint32_t drawingNumber, uint32_t pcbMajorRevision) {
    const uint32_t limit = noclobber ? kNoClobberRecords : kClobberRecords;
    uint32_t printed = 0;
    for (uint32_t i = 0; i < n && i < limit; ++i) {
        if (count != 0 && printed == count) break;
        if (etcOf(records[i]) == kErasedEtc) break;
        if (printed == 0) {
            if (blankBeforeFirst) out("\n");
            out("-------------------------------------------------------------------------------\n");
        }
        if (noclobber) {
            out("Black box noclobber record (page %u):\n", records[i].index);
        } else {
            out("Black box clobber record (page %u):\n", records[i].index);
        }
        printSensorPage(records[i].page, drawingNumber, pcbMajorRevision);
        out("-------------------------------------------------------------------------------\n");
        ++printed;
    }
    if (printed == 0) {
        if (noclobber) {
            out("No black box noclobber records found.\n");
        } else {
            out("No black box clobber records found.\n");
        }
    }
    return printed;
}

}  // namespace

void sortBlackBoxRecords(BlackBoxRecord* records, uint32_t n) {
    // Exchange sort over positions: newest (largest ETC) first, erased
    // records after all others. A plain exchange sort, deliberately: it is
    // not stable, so records with equal ETCs may change places.
    for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t j = i + 1; j < n; ++j) {
            const uint32_t ei = etcOf(records[i]);
            const uint32_t ej = etcOf(records[j]);
            if (ej != kErasedEtc && (ei == kErasedEtc || ei < ej)) std::swap(records[i], records[j]);
        }
    }
}

void printBlackBox(BlackBoxRecord* clobber, uint32_t clobberRead, BlackBoxRecord* noclobber, uint32_t noclobberRead,
                   uint32_t count, uint32_t drawingNumber, uint32_t pcbMajorRevision) {
    uint32_t clobberPrinted = 0;
    if (clobber != nullptr) {
        sortBlackBoxRecords(clobber, clobberRead);
        clobberPrinted = printRecordType(clobber, clobberRead, false, false, count, drawingNumber, pcbMajorRevision);
    }
    if (noclobber != nullptr) {
        sortBlackBoxRecords(noclobber, noclobberRead);
        printRecordType(noclobber, noclobberRead, true, clobberPrinted > 0, count, drawingNumber, pcbMajorRevision);
    }
}

Result displayBlackBox(ConnectionContext* ctx, bool verbose, uint32_t recordTypes, uint32_t count) {
    if (refuseInServiceMode(ctx, "display-black-box")) return kRefusedInServiceMode;
    uint8_t vpd[kVpdSize] = {};
    Result r = requestVpd(ctx, vpd, verbose);
    if (r != kOk) return r;

    const bool wantClobber = (recordTypes & 1u) != 0;
    const bool wantNoclobber = (recordTypes & 2u) != 0;
    BlackBoxRecord clobber[kClobberRecords] = {};
    BlackBoxRecord noclobber[kNoClobberRecords] = {};
    uint32_t clobberRead = 0;
    uint32_t noclobberRead = 0;
    bool noclobberStarted = false;

    // A failed read stops all reading. Decision for what follows: the
    // records read before the failure are still sorted and printed; the
    // records never read hold no data and are left out, as if absent. A type
    // whose reading never started (noclobber after a clobber failure) gets
    // no section at all, so that "No ... records found." is only said of a
    // type that was actually looked at.
    if (wantClobber) {
        for (uint32_t i = 0; i < kClobberRecords; ++i) {
            clobber[i].index = i;
            r = requestBlackBoxRecord(i, ctx, verbose, clobber[i].page);
            if (r != kOk) {
                out("*** Failed to read black-box clobber record with index %u.\n", i);
                break;
            }
            ++clobberRead;
        }
    }
    if (wantNoclobber && r == kOk) {
        noclobberStarted = true;
        for (uint32_t i = 0; i < kNoClobberRecords; ++i) {
            const uint32_t index = kClobberRecords + i;
            noclobber[i].index = index;
            r = requestBlackBoxRecord(index, ctx, verbose, noclobber[i].page);
            if (r != kOk) {
                out("*** Failed to read black-box noclobber record with index %u.\n", index);
                break;
            }
            ++noclobberRead;
        }
    }

    printBlackBox(wantClobber ? clobber : nullptr, clobberRead, noclobberStarted ? noclobber : nullptr,
                  noclobberRead, count, getLe32(vpd + 0x04), pcbMajorRevisionFromVpd(vpd));
    if (r == kOk && jsonMode()) {
        jsonDocument(blackBoxJson(vpd, wantClobber ? clobber : nullptr, clobberRead,
                                  noclobberStarted ? noclobber : nullptr, noclobberRead, count));
    }
    return r;
}
