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
#include "boardinfo/vpd_record.h"

namespace {

uint32_t etcOf(const BlackBoxRecord& r) { return getLe32(r.page); }

BlackBoxSection decodeSection(const BlackBoxRecord* read, uint32_t n, bool noclobber, uint32_t count,
                              uint32_t drawingNumber, uint32_t pcbMajorRevision) {
    BlackBoxSection section;
    section.noclobber = noclobber;
    BlackBoxRecord sorted[kBlackBoxRecords];
    const uint32_t limit = noclobber ? kNoClobberRecords : kClobberRecords;
    if (n > limit) n = limit;
    std::memcpy(sorted, read, n * sizeof *read);
    sortBlackBoxRecords(sorted, n);
    // The records with data, newest first (erased ones sort last).
    for (uint32_t i = 0; i < n && (count == 0 || i < count); ++i) {
        if (isErasedBlackBoxPage(sorted[i].page)) break;
        section.records.push_back({sorted[i].index, decodeSensorPage(sorted[i].page, drawingNumber, pcbMajorRevision)});
    }
    for (uint32_t i = 0; i < n && count == 0; ++i) {
        if (isErasedBlackBoxPage(sorted[i].page)) section.erased.push_back(sorted[i].index);
    }
    return section;
}

// Prints one record type; returns how many records were printed.
size_t printSection(const BlackBoxSection& section, bool blankBeforeFirst) {
    const char* type = section.noclobber ? "noclobber" : "clobber";
    for (size_t i = 0; i < section.records.size(); ++i) {
        if (i == 0) {
            if (blankBeforeFirst) out("\n");
            out("-------------------------------------------------------------------------------\n");
        }
        out("Black box %s record (page %u):\n", type, section.records[i].index);
        printSensorPage(section.records[i].page);
        out("-------------------------------------------------------------------------------\n");
    }
    if (section.records.empty()) out("No black box %s records found.\n", type);
    return section.records.size();
}

/// Reads the records of one type in index order; the first failure stops it.
Result readRecordType(ConnectionContext* ctx, bool verbose, bool noclobber, BlackBoxRecord* records, uint32_t* read) {
    const uint32_t first = noclobber ? kClobberRecords : 0;
    const uint32_t n = noclobber ? kNoClobberRecords : kClobberRecords;
    for (uint32_t i = 0; i < n; ++i) {
        records[i].index = first + i;
        if (Result r = requestBlackBoxRecord(first + i, ctx, verbose, records[i].page); r != kOk) {
            out("*** Failed to read black-box %s record with index %u.\n", noclobber ? "noclobber" : "clobber",
                first + i);
            return r;
        }
        ++*read;
    }
    return kOk;
}

}  // namespace

bool isErasedBlackBoxPage(const uint8_t* page) { return getLe32(page) == kErasedEtc; }

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

BlackBox decodeBlackBox(const BlackBoxRecord* clobber, uint32_t clobberRead, const BlackBoxRecord* noclobber,
                        uint32_t noclobberRead, uint32_t count, uint32_t drawingNumber, uint32_t pcbMajorRevision) {
    BlackBox box;
    if (clobber != nullptr)
        box.clobber = decodeSection(clobber, clobberRead, false, count, drawingNumber, pcbMajorRevision);
    if (noclobber != nullptr)
        box.noclobber = decodeSection(noclobber, noclobberRead, true, count, drawingNumber, pcbMajorRevision);
    return box;
}

void printBlackBox(const BlackBox& box) {
    const size_t clobberPrinted = box.clobber ? printSection(*box.clobber, false) : 0;
    if (box.noclobber) printSection(*box.noclobber, clobberPrinted > 0);
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
    if (wantClobber) r = readRecordType(ctx, verbose, false, clobber, &clobberRead);
    if (wantNoclobber && r == kOk) {
        noclobberStarted = true;
        r = readRecordType(ctx, verbose, true, noclobber, &noclobberRead);
    }

    const VpdRecord record = decodeVpd(vpd);
    const BlackBox box = decodeBlackBox(wantClobber ? clobber : nullptr, clobberRead,
                                        noclobberStarted ? noclobber : nullptr, noclobberRead, count,
                                        record.drawingNumber(), record.pcbMajorRevision());
    printBlackBox(box);
    if (r == kOk && jsonMode()) jsonDocument(blackBoxJson(record, box));
    return r;
}
