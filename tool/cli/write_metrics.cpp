// write-metrics: one scrape of the board (VPD, firmware version, sensor
// page, black box) turned into the Prometheus text format and written where
// a collector picks it up, typically node_exporter's textfile folder.
#include "cli/write_metrics.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "base/json_out.h"
#include "base/out.h"
#include "boardinfo/metrics_text.h"
#include "boardinfo/sensors.h"
#include "boardinfo/vpd_record.h"
#include "control/identity_verbs.h"
#include "link/service_refusal.h"
#include "platform/platform.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

constexpr size_t kLabelSearchBytes = 64 * 1024;

/// The board label in the file a scrape is about to replace ("" if none).
std::string previousBoardLabel(const char* path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(platform::pathOf(path), ec)) return "";
    FilePtr file(platform::openFile(path, "rb"));
    if (!file) return "";
    std::string text(kLabelSearchBytes, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file.get()));
    return boardLabelIn(text);
}

/// The file's name without its folder, the label of last resort: unique
/// among the files of one folder, as the collector needs.
std::string fileNameOf(const char* path) { return platform::utf8Of(platform::pathOf(path).filename()); }

/// Counts the black-box records that hold a page (their ETC is not erased).
Result countBlackBoxRecords(ConnectionContext* ctx, bool verbose, uint32_t* count) {
    *count = 0;
    for (uint32_t i = 0; i < kBlackBoxRecords; ++i) {
        uint8_t page[kSensorPageSize] = {};
        if (Result r = requestBlackBoxRecord(i, ctx, verbose, page); r != kOk) {
            out("*** Failed to read black-box record with index %u.\n", i);
            return r;
        }
        if (!isErasedBlackBoxPage(page)) ++*count;
    }
    return kOk;
}

/// Reads everything a scrape reports; stops at the first failure.
Result scrapeBoard(ConnectionContext* ctx, bool verbose, MetricsScrape* scrape) {
    uint8_t vpd[kVpdSize] = {};
    if (Result r = requestVpd(ctx, vpd, verbose); r != kOk) return r;
    const VpdRecord& record = scrape->vpd.emplace(decodeVpd(vpd));
    std::string name;
    if (Result r = readFirmwareVersion(ctx, verbose, &name, &scrape->firmware); r != kOk) return r;
    uint8_t page[kSensorPageSize] = {};
    if (Result r = requestSensors(ctx, page, verbose); r != kOk) return r;
    scrape->sensors = decodeSensorPage(page, record.drawingNumber(), record.pcbMajorRevision());
    uint32_t records = 0;
    if (Result r = countBlackBoxRecords(ctx, verbose, &records); r != kOk) return r;
    scrape->blackBoxRecords = records;
    return kOk;
}

/// Writes `text` to `path` through a fresh file in the same folder that is
/// flushed to the disk and then renamed over `path`. False (with nothing
/// left behind) when any step fails.
bool replaceFileContents(const std::string& path, const std::string& text) {
    // A fresh name beside the target, so the rename stays in one file
    // system; never one that exists (a run that was killed may have left
    // its file). The collector reads only names ending in .prom.
    std::string tempName;
    FilePtr file;
    for (int attempt = 0; attempt < 100 && !file; ++attempt) {
        tempName = path + ".tmp" + std::to_string(attempt);
        errno = 0;
        file.reset(platform::openFile(tempName.c_str(), "wbx"));
        if (!file && errno != EEXIST) break;
    }
    if (!file) return false;
    bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    written = platform::syncFile(file.get()) && written;
    written = std::fclose(file.release()) == 0 && written;
    if (written && platform::replaceFile(tempName.c_str(), path.c_str())) return true;
    std::error_code ec;
    std::filesystem::remove(platform::pathOf(tempName.c_str()), ec);
    return false;
}

}  // namespace

Result writeMetrics(ConnectionContext* ctx, bool verbose, const char* path) {
    if (refuseInServiceMode(ctx, "write-metrics")) return kRefusedInServiceMode;
    const uint32_t start = platform::tickMs();
    MetricsScrape scrape;
    const Result read = scrapeBoard(ctx, verbose, &scrape);
    scrape.up = read == kOk;
    scrape.durationSeconds = static_cast<double>(platform::tickMs() - start) / 1000.0;

    const bool toStdout = std::strcmp(path, "-") == 0;
    if (!toStdout && !scrape.vpd) {
        scrape.fallbackBoard = previousBoardLabel(path);
        if (scrape.fallbackBoard.empty()) scrape.fallbackBoard = fileNameOf(path);
    }
    const MetricsText metrics = formatMetrics(scrape);
    if (toStdout) {
        out("%s", metrics.text.c_str());
    } else if (!replaceFileContents(path, metrics.text)) {
        out("*** Failed to write metrics file '%s'.\n", path);
        return read != kOk ? read : kBinaryOutputError;
    }
    jsonSummary("file", boardText(path, std::strlen(path)));
    jsonSummary("series", metrics.series);
    return read;
}
