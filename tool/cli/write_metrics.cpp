// write-metrics: one scrape of the board (VPD, firmware version, sensor
// page, black box) turned into the Prometheus text format and written where
// a collector picks it up, typically node_exporter's textfile folder.
#include "cli/write_metrics.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/json_out.h"
#include "base/out.h"
#include "base/result_code_texts.h"
#include "boardinfo/metrics_text.h"
#include "boardinfo/sensors.h"
#include "boardinfo/vpd_record.h"
#include "control/control_commands.h"
#include "control/identity_verbs.h"
#include "control/list_boards.h"
#include "link/board_reads.h"
#include "link/openers.h"
#include "link/service_refusal.h"
#include "platform/platform.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

constexpr size_t kLabelSearchBytes = 64 * 1024;

/// The beginning of the file a scrape is about to replace ("" if none).
std::string previousText(const char* path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(platform::pathOf(path), ec)) return "";
    FilePtr file(platform::openFile(path, "rb"));
    if (!file) return "";
    std::string text(kLabelSearchBytes, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file.get()));
    return text;
}

/// Why a scrape failed, as its reason label: the link's own reason when
/// it gave one, else a word for the result.
std::string scrapeFailure(Result r) {
    if (platform::stopRequested() != 0) return "stopped";
    if (r == kRefusedInServiceMode) return "service_mode";
    if (const char* reason = linkFailureReason(); reason != nullptr) return reason;
    if (const char* met = lastExchangeFailure(); met != nullptr) return met;
    return resultCodeName(r);
}

double unixNow() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
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
    // Board power, where the firmware serves it: a status (a model without
    // it) leaves the series out rather than failing the scrape.
    uint8_t power[3] = {};  // software request, hardware request, supply off
    if (Result r = ucRequest(ctx, verbose, kGetBoardPower,
                             {.payload = power, .payloadLength = sizeof power, .statusQuiet = true});
        r == kOk)
        scrape->powerOn = power[2] == 0;
    else if (r != kUnexpectedStatus)
        return r;
    uint32_t records = 0;
    if (Result r = countBlackBoxRecords(ctx, verbose, &records); r != kOk) return r;
    scrape->blackBoxRecords = records;
    return kOk;
}

const char* kindText(platform::NameKind kind) {
    switch (kind) {
        case platform::NameKind::Directory: return "a directory";
        case platform::NameKind::Device: return "a device";
        case platform::NameKind::Fifo: return "a FIFO";
        case platform::NameKind::Socket: return "a socket";
        case platform::NameKind::Link: return "a link";
        default: return "not a regular file";
    }
}

/// Where the metrics for `path` are written: the name itself when it is a
/// regular file or a new name. A link is followed once, when it is the
/// user's own (or root's) and leads to a regular file or a new name: a
/// collector's folder often links its .prom name to a file kept elsewhere,
/// and the link stays as it is, its target replaced in the target's own
/// folder. Anything else (a device, a FIFO, a directory, a socket, another
/// user's link, a link to a link) is refused with a message, so that no
/// device node or folder is ever renamed over.
bool metricsTarget(const char* path, std::string* target) {
    int error = 0;
    platform::NameKind kind = platform::nameKind(path, &error);
    *target = path;
    if (kind == platform::NameKind::Link) {
        switch (platform::trustedLinkTarget(path, *target)) {
            case platform::LinkTrust::Trusted: break;
            case platform::LinkTrust::OtherOwner:
                out("*** Metrics file '%s' is a link of another user; it is not followed.\n", path);
                return false;
            case platform::LinkTrust::NotFollowed:
                out("*** Metrics file '%s' is a link, which is not followed on this system.\n", path);
                return false;
        }
        kind = platform::nameKind(target->c_str(), &error);
        if (kind == platform::NameKind::Link) {
            out("*** Metrics file '%s' links to '%s', which is a link too; only one link is followed.\n", path,
                target->c_str());
            return false;
        }
    }
    if (kind == platform::NameKind::RegularFile || kind == platform::NameKind::Missing) return true;
    if (kind == platform::NameKind::Unreadable)
        out("*** Metrics file '%s' could not be looked up: %s.\n", target->c_str(), std::strerror(error));
    else if (*target != path)
        out("*** Metrics file '%s' links to '%s', which is %s; metrics are written only to a regular file or a new "
            "name.\n",
            path, target->c_str(), kindText(kind));
    else
        out("*** Metrics file '%s' is %s; metrics are written only to a regular file or a new name.\n", path,
            kindText(kind));
    return false;
}

/// Whether `name` is one of the temporary files of `fileName` in its
/// folder: the name, ".tmp" and digits (a process id; earlier versions
/// counted from 0).
bool isTemporaryOf(const std::string& name, const std::string& fileName) {
    const std::string stem = fileName + ".tmp";
    if (name.size() <= stem.size() || name.compare(0, stem.size(), stem) != 0) return false;
    return name.find_first_not_of("0123456789", stem.size()) == std::string::npos;
}

/// Removes the temporary files that runs which were killed left beside
/// `target` (regular files of the temporary names only). A run writing
/// the same file at this moment loses its file and fails cleanly at its
/// rename; the target is always replaced whole.
void removeStaleTemporaries(const std::string& target) {
    namespace fs = std::filesystem;
    const fs::path path = platform::pathOf(target.c_str());
    const std::string fileName = platform::utf8Of(path.filename());
    if (fileName.empty()) return;
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code kindError;
        if (isTemporaryOf(platform::utf8Of(it->path().filename()), fileName) &&
            it->symlink_status(kindError).type() == fs::file_type::regular) {
            std::error_code removeError;
            fs::remove(it->path(), removeError);
        }
    }
}

/// Writes `text` to `path` through a fresh file in the same folder that is
/// flushed to the disk and then renamed over `path`. False (with nothing
/// left behind) when any step fails.
bool replaceFileContents(const std::string& path, const std::string& text) {
    // The temporary name holds the process id, so no two running writers
    // share one; it is created exclusively (never through a link or into a
    // file that exists), and the ones of killed runs are removed first, so
    // they cannot pile up. The collector reads only names ending in .prom.
    removeStaleTemporaries(path);
    const std::string tempName = path + ".tmp" + std::to_string(platform::processId());
    FilePtr file(platform::openFile(tempName.c_str(), "wbx"));
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

namespace {

/// Writes what a scrape found, `read` its result (a failure's reason is
/// `scrape.failure` when set, else found from the result). False, with the
/// line, when the file could not be written.
bool publish(const char* path, const std::string& target, MetricsScrape& scrape, Result read) {
    const bool toStdout = std::strcmp(path, "-") == 0;
    const std::string previous = toStdout ? "" : previousText(target.c_str());
    scrape.up = read == kOk;
    if (!scrape.up && scrape.failure.empty()) scrape.failure = scrapeFailure(read);
    if (!toStdout && !scrape.vpd) {
        scrape.fallbackBoard = boardLabelIn(previous);
        if (scrape.fallbackBoard.empty()) scrape.fallbackBoard = fileNameOf(path);
    }
    if (!toStdout && scrape.link.empty()) scrape.link = linkIn(previous);
    scrape.lastSuccessSeconds = scrape.up ? std::optional<double>(unixNow()) : lastSuccessIn(previous);
    const MetricsText metrics = formatMetrics(scrape);
    if (toStdout) {
        out("%s", metrics.text.c_str());
    } else if (!replaceFileContents(target, metrics.text)) {
        out("*** Failed to write metrics file '%s'.\n", path);
        return false;
    }
    jsonSummary("file", boardText(path, std::strlen(path)));
    jsonSummary("series", metrics.series);
    return true;
}

/// Reads a board that opened; `scrape` gets what it found.
Result scrapeOpenBoard(ConnectionContext* ctx, bool verbose, MetricsScrape& scrape) {
    scrape.serviceMode = ctx->inServiceMode != 0;
    // The service firmware serves none of the readings.
    if (ctx->inServiceMode != 0) return kRefusedInServiceMode;
    const uint32_t start = platform::tickMs();
    const Result read = scrapeBoard(ctx, verbose, &scrape);
    scrape.durationSeconds = static_cast<double>(platform::tickMs() - start) / 1000.0;
    return read;
}

constexpr char kBoardFilePrefix[] = "zorvi-";
constexpr char kBoardFileSuffix[] = ".prom";

bool isBoardFile(const std::string& name) {
    return name.size() > std::strlen(kBoardFilePrefix) + std::strlen(kBoardFileSuffix) &&
           name.rfind(kBoardFilePrefix, 0) == 0 && name.ends_with(kBoardFileSuffix);
}

}  // namespace

Result writeMetrics(ConnectionContext* ctx, bool verbose, const char* path) {
    const bool toStdout = std::strcmp(path, "-") == 0;
    // The target is checked before the board is asked anything.
    std::string target;
    if (!toStdout && !metricsTarget(path, &target)) return kBinaryOutputError;
    MetricsScrape scrape;
    // In service mode: refused as ever, and the file says so.
    if (refuseInServiceMode(ctx, "write-metrics")) {
        scrape.serviceMode = true;
        (void)publish(path, target, scrape, kRefusedInServiceMode);
        return kRefusedInServiceMode;
    }
    const Result read = scrapeOpenBoard(ctx, verbose, scrape);
    if (!publish(path, target, scrape, read)) return read != kOk ? read : kBinaryOutputError;
    return read;
}

void writeMetricsWithoutLink(const char* path, Result openResult) {
    std::string target;
    if (std::strcmp(path, "-") == 0 || !metricsTarget(path, &target)) return;
    MetricsScrape scrape;
    (void)publish(path, target, scrape, openResult);
}

Result writeMetricsAll(const char* folder, bool verbose) {
    namespace fs = std::filesystem;
    int error = 0;
    if (platform::nameKind(folder, &error) != platform::NameKind::Directory) {
        out("*** Metrics folder '%s' is not a folder.\n", folder);
        return kBinaryOutputError;
    }
    const fs::path dir = platform::pathOf(folder);
    // The boards' files as this run finds them: name, and the link each
    // last reached its board by.
    std::vector<std::pair<std::string, std::string>> files;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = platform::utf8Of(it->path().filename());
        std::error_code kindError;
        if (isBoardFile(name) && it->symlink_status(kindError).type() == fs::file_type::regular)
            files.emplace_back(name, linkIn(previousText(platform::utf8Of(it->path()).c_str())));
    }
    const auto fileOfLink = [&](const std::string& link) {
        for (const auto& [name, fileLink] : files)
            if (fileLink == link) return name;
        return std::string();
    };
    std::vector<std::string> written;
    bool allWritten = true;
    const auto write = [&](const std::string& name, MetricsScrape& scrape, Result read) {
        const std::string path = platform::utf8Of(dir / platform::pathOf(name.c_str()));
        std::string target;
        const bool ok = metricsTarget(path.c_str(), &target) && publish(path.c_str(), target, scrape, read);
        allWritten = allWritten && ok;
        written.push_back(name);
    };
    // Each board to its file, named by its serial; a board that cannot be
    // read is found by the link its file names. The files are written once
    // the boards are visited: what a visit prints is kept as the board's
    // reason, and a file that cannot be written must say so.
    struct Scraped {
        std::string name;
        MetricsScrape scrape;
        Result read;
    };
    std::vector<Scraped> scraped;
    std::vector<BoardEntry> boards = visitBoards(true, verbose, [&](BoardEntry& board, ConnectionContext* ctx) {
        MetricsScrape scrape;
        scrape.link = board.link + " " + linkValue(board);
        noteExchangeFailure(nullptr);
        const Result read = scrapeOpenBoard(ctx, verbose, scrape);
        if (scrape.vpd) board.serial = scrape.vpd->serialNumber();
        std::string name = scrape.vpd ? kBoardFilePrefix + std::to_string(scrape.vpd->serialNumber()) +
                                            kBoardFileSuffix
                                      : fileOfLink(scrape.link);
        // The reasons the link and exchange layers hold are this board's now.
        if (read != kOk) scrape.failure = scrapeFailure(read);
        if (!name.empty()) scraped.push_back({std::move(name), std::move(scrape), read});
        return read;
    });
    for (Scraped& s : scraped) write(s.name, s.scrape, s.read);
    for (BoardEntry& board : boards) {
        const std::string link = board.link + " " + linkValue(board);
        const std::string name = board.serial ? kBoardFilePrefix + std::to_string(*board.serial) + kBoardFileSuffix
                                              : fileOfLink(link);
        if (board.error != kOk && !board.serial && !name.empty() &&
            std::find(written.begin(), written.end(), name) == written.end()) {
            // It did not open: the reason its link gave, else its result.
            MetricsScrape scrape;
            scrape.link = link;
            scrape.failure = !board.reason.empty() ? board.reason : resultCodeName(board.error);
            write(name, scrape, board.error);
        }
        out("%s: %s%s\n", link.c_str(), name.empty() ? "no file" : name.c_str(),
            board.error == kOk ? "" : (std::string(", zorvi_up 0 (") + resultCodeName(board.error) + ")").c_str());
    }
    // A board that is gone: zorvi_up 0 for one run, then its file goes.
    for (const auto& [name, fileLink] : files) {
        if (std::find(written.begin(), written.end(), name) != written.end()) continue;
        const std::string path = platform::utf8Of(dir / platform::pathOf(name.c_str()));
        if (previousText(path.c_str()).find("reason=\"gone\"") != std::string::npos) {
            std::error_code removeError;
            fs::remove(platform::pathOf(path.c_str()), removeError);
            out("%s: removed, its board is gone\n", name.c_str());
            continue;
        }
        MetricsScrape scrape;
        scrape.failure = "gone";
        write(name, scrape, kLinkOpenFailed);
        out("%s: zorvi_up 0 (gone)\n", name.c_str());
    }
    return allWritten ? kOk : kBinaryOutputError;
}
