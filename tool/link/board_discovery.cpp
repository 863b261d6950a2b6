#include "link/board_discovery.h"

#include <algorithm>
#include <cstdlib>

#include "base/result_code_texts.h"

namespace {

constexpr char kAcmPrefix[] = "ttyACM";
constexpr char kComPrefix[] = "COM";
constexpr char kByIdPrefix[] = "/dev/serial/by-id/";

/// The number of a <prefix><n> name, or nothing for any other.
template <size_t N>
std::optional<unsigned long> numberAfter(const char (&prefix)[N], const std::string& sysName) {
    const size_t length = N - 1;
    if (sysName.compare(0, length, prefix) != 0 || sysName.size() == length ||
        sysName.find_first_not_of("0123456789", length) != std::string::npos)
        return std::nullopt;
    return std::strtoul(sysName.c_str() + length, nullptr, 10);
}

bool namesBoard(const platform::TtyDeviceRecord& record) {
    return std::any_of(record.products.begin(), record.products.end(),
                       [](const std::string& product) { return product.find(kBoardProductMark) != std::string::npos; });
}

/// A failure's printed lines as one: line ends become blanks.
std::string oneLine(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\n' || c == '\r') {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

template <typename T>
Json orNull(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

}  // namespace

std::string byIdLink(const std::string& devLinks) {
    size_t pos = 0;
    while (pos < devLinks.size()) {
        const size_t end = std::min(devLinks.find(' ', pos), devLinks.size());
        const std::string link = devLinks.substr(pos, end - pos);
        if (link.size() > sizeof kByIdPrefix - 1 && link.compare(0, sizeof kByIdPrefix - 1, kByIdPrefix) == 0)
            return link;
        pos = end + 1;
    }
    return "";
}

std::vector<BoardEntry> boardsFromTtyRecords(const std::vector<platform::TtyDeviceRecord>& records) {
    std::vector<std::pair<unsigned long, BoardEntry>> found;
    for (const platform::TtyDeviceRecord& record : records) {
        std::optional<unsigned long> number = numberAfter(kAcmPrefix, record.sysName);
        const bool unmarked = !number;
        if (unmarked) number = numberAfter(kComPrefix, record.sysName);
        if (!number || (!unmarked && !namesBoard(record))) continue;
        BoardEntry board;
        board.link = "-usbcom";
        board.port = record.devNode;
        board.byId = byIdLink(record.devLinks);
        board.unmarked = unmarked;
        found.emplace_back(*number, std::move(board));
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<BoardEntry> boards;
    for (auto& item : found) boards.push_back(std::move(item.second));
    return boards;
}

bool keptAfterAsking(const BoardEntry& board, Result opened) {
    return !board.unmarked || opened == kOk || board.reason == "port_busy";
}

const std::string& linkValue(const BoardEntry& board) { return board.byId.empty() ? board.port : board.byId; }

std::string boardLine(const BoardEntry& board) {
    std::string line = board.link + " " + linkValue(board);
    if (!board.byId.empty()) line += " (" + board.port + ")";
    std::vector<std::string> parts;
    if (board.productId) parts.push_back("product ID " + std::to_string(*board.productId));
    if (board.serviceMode.value_or(false)) parts.push_back("service mode");
    if (board.firmware) parts.push_back("firmware " + *board.firmware);
    if (board.drawing) parts.push_back("drawing " + std::to_string(*board.drawing));
    if (board.serial) parts.push_back("serial " + std::to_string(*board.serial));
    if (board.error != kOk)
        parts.push_back("error " + std::to_string(board.error) + " (" + resultCodeName(board.error) +
                        "): " + oneLine(board.errorText));
    for (size_t i = 0; i < parts.size(); ++i) line += (i == 0 ? ": " : ", ") + parts[i];
    return line + "\n";
}

Json boardJson(const BoardEntry& board) {
    Json entry;
    entry["link"] = board.link;
    entry["port"] = boardText(board.port);
    entry["by_id"] = board.byId.empty() ? Json(nullptr) : Json(boardText(board.byId));
    entry["product_id"] = orNull(board.productId);
    entry["mode"] = board.serviceMode ? Json(*board.serviceMode ? "service" : "normal") : Json(nullptr);
    entry["firmware"] = orNull(board.firmware);
    entry["drawing"] = orNull(board.drawing);
    entry["serial"] = orNull(board.serial);
    entry["error"] = board.error == kOk ? Json(nullptr)
                                        : Json{{"code", board.error},
                                               {"name", resultCodeName(board.error)},
                                               {"message", boardText(board.errorText)}};
    return entry;
}
