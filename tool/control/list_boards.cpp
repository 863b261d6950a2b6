#include "control/list_boards.h"

#include <memory>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "base/json_out.h"
#include "base/out.h"
#include "base/result_code_texts.h"
#include "boardinfo/vpd.h"
#include "control/control_commands.h"
#include "link/board_discovery.h"
#include "link/board_reads.h"
#include "link/connection.h"
#include "link/openers.h"
#include "link/vpd_header.h"
#include "platform/platform.h"
#include "platform/tty_devices.h"

namespace {

/// Card indices tried per driver library; it stops at the first it cannot open.
constexpr uint32_t kMaxCardIndex = 64;

using ContextPtr = std::unique_ptr<ConnectionContext, void (*)(ConnectionContext*)>;

/// Asks an open board its product ID, firmware version and VPD numbers.
Result askBoard(ConnectionContext* ctx, bool verbose, BoardEntry& board) {
    uint32_t productId = 0;
    Result r = readProductId(ctx, &productId, verbose, true);
    if (r != kOk) return r;
    board.productId = productId;
    board.serviceMode = ctx->inServiceMode != 0;
    uint8_t words[8] = {};
    r = ucRequest(ctx, verbose, kGetVersion, {.payload = words, .payloadLength = sizeof words});
    if (r != kOk) return r;
    board.firmware = std::to_string(getLe16(words)) + "." + std::to_string(getLe16(words + 2)) + "." +
                     std::to_string(getLe16(words + 4)) + "." + std::to_string(getLe16(words + 6));
    uint8_t vpd[kVpdSize];
    r = fetchVpdRecord(ctx, verbose, vpd);
    if (r != kOk) return r;
    const VpdHeader header = decodeVpdHeader(vpd);
    board.drawing = header.drawingNumber;
    board.serial = header.serialNumber;
    return kOk;
}

/// Opens a board with `open` and, when `visit` is given, visits it. What a
/// failure prints is kept as the board's reason rather than printed.
/// Returns the opener's result.
template <typename Open>
Result visitBoard(BoardEntry& board, const BoardVisit* visit, Open open) {
    OutCapture capture;
    ConnectionContext* raw = nullptr;
    resetLinkFailureReason();
    const Result opened = open(&raw);
    ContextPtr ctx(raw, closeConnection);
    if (const char* reason = linkFailureReason(); reason != nullptr) board.reason = reason;
    Result r = opened;
    if (r == kOk && visit != nullptr) r = (*visit)(board, ctx.get());
    if (r != kOk) {
        board.error = r;
        board.errorText = capture.take();
    }
    return opened;
}

/// The cards of one driver library, from index 0 until one does not open
/// (or the library is not installed: then quietly none).
template <typename Open>
void addCards(const char* link, const BoardVisit* visit, Open open, std::vector<BoardEntry>& boards) {
    for (uint32_t index = 0; index < kMaxCardIndex && platform::stopRequested() == 0; ++index) {
        BoardEntry board;
        board.link = link;
        board.port = std::to_string(index);
        const Result opened = visitBoard(board, visit, [&](ConnectionContext** ctx) { return open(index, ctx); });
        if (opened == kLibraryMissing || opened == kLinkOpenFailed) break;
        boards.push_back(std::move(board));
    }
}

}  // namespace

std::vector<BoardEntry> visitBoards(bool open, bool verbose, const BoardVisit& visit) {
    const BoardVisit* v = open && visit ? &visit : nullptr;
    std::vector<platform::TtyDeviceRecord> records;
    if (!platform::listTtyDevices(records))
        hint("zorviutil: warning: the device database could not be read; USB serial ports are not listed\n");
    std::vector<BoardEntry> boards = boardsFromTtyRecords(records);
    if (open) {
        std::vector<BoardEntry> asked;
        for (BoardEntry& board : boards) {
            if (platform::stopRequested() != 0) {
                asked.push_back(std::move(board));  // not asked: listed as found
                continue;
            }
            const Result opened = visitBoard(
                board, v, [&](ConnectionContext** ctx) { return openUsbCom(linkValue(board).c_str(), verbose, ctx); });
            if (keptAfterAsking(board, opened))
                asked.push_back(std::move(board));
            else
                hint("zorviutil: %s is not listed: no board answered there (error %d, %s)\n", board.port.c_str(),
                     static_cast<int>(opened), resultCodeName(opened));
        }
        boards = std::move(asked);
    }
    addCards("-index", v,
             [&](uint32_t index, ConnectionContext** ctx) { return openTobraCard(index, 0, false, verbose, ctx); },
             boards);
    addCards("-quenta", v,
             [&](uint32_t index, ConnectionContext** ctx) { return openQuentaDevice(index, verbose, ctx); }, boards);
    return boards;
}

Result listBoards(bool probe, bool verbose) {
    // A card is only known by opening it, which asks its product ID; the
    // rest is asked when probing.
    const std::vector<BoardEntry> boards =
        visitBoards(probe, verbose, [&](BoardEntry& board, ConnectionContext* ctx) { return askBoard(ctx, verbose, board); });
    Json document = Json::array();
    for (const BoardEntry& board : boards) {
        out("%s", boardLine(board).c_str());
        document.push_back(boardJson(board));
    }
    if (boards.empty()) out("No boards found.\n");
    jsonDocument(std::move(document));
    return kOk;
}
