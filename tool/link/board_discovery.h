// Finding the boards of a host (verb list-boards): the USB serial ports
// whose USB product name marks a board, and what a board told about itself.
// Turning device records into entries and entries into text or JSON is
// kept apart from the device database and the link, so it is tested on its
// own; the verb (control/list_boards.cpp) opens and asks the boards.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/json_out.h"
#include "base/result_codes.h"
#include "platform/tty_devices.h"

/// The text the board's USB product name contains; the udev rule
/// (packaging/60-zorviutil.rules) gives exactly these ports to the user.
inline constexpr char kBoardProductMark[] = "ZORVI";

/// One board found, and, once asked, its answers.
struct BoardEntry {
    std::string link;  ///< the link option: "-usbcom", "-index" or "-quenta"
    std::string port;  ///< the device file, or the card index as text
    std::string byId;  ///< the /dev/serial/by-id/ name; empty when udev gives none
    /// A port the system says nothing of (a Windows COM port): a board only
    /// when it answers as one.
    bool unmarked = false;
    std::optional<uint32_t> productId;
    std::optional<bool> serviceMode;      ///< the uC runs its service firmware
    std::optional<std::string> firmware;  ///< "a.b.c.d"
    std::optional<uint32_t> drawing;
    std::optional<uint32_t> serial;
    Result error = kOk;     ///< why the board did not answer (kOk: it did, or was not asked)
    std::string errorText;  ///< what the failure printed
    std::string reason;     ///< a serial link's reason when it failed to open or answer (port_busy, ...)
};

/// The /dev/serial/by-id/ name among a DEVLINKS value, or "".
std::string byIdLink(const std::string& devLinks);

/// The boards among the tty records: ttyACM ports with an ancestor whose
/// product name contains kBoardProductMark (the rule's ttyACM[0-9]* and
/// ATTRS{product}=="*ZORVI*"), and COM ports as unmarked entries, ordered
/// by their number.
std::vector<BoardEntry> boardsFromTtyRecords(const std::vector<platform::TtyDeviceRecord>& records);

/// Whether an unmarked port stays in the list after it was asked: it
/// answered, or it is held by another program (a board in use looks so).
bool keptAfterAsking(const BoardEntry& board, Result opened);

/// What to give the link option: the by-id name when known, else the port.
const std::string& linkValue(const BoardEntry& board);

/// The board's text line, with its line end:
///   -usbcom <by-id or port>[ (<port>)][: product ID n[, service mode], firmware v, drawing n, serial n]
///   [, error n (name): text]
std::string boardLine(const BoardEntry& board);

/// The board's object in the +json array (doc/schema/list-boards.schema.json).
Json boardJson(const BoardEntry& board);
