// Verb list-boards: the boards of this host and how to reach each.
#pragma once

#include <functional>
#include <vector>

#include "base/result_codes.h"
#include "link/board_discovery.h"
#include "link/connection.h"

/// Lists the USB serial ports of boards and the PCIe cards of both driver
/// libraries, one line each (a +json array). Unless `probe` is false each
/// board is opened and asked its product ID, firmware version and VPD
/// drawing and serial number; a board that does not answer is listed with
/// the reason. Returns 0 whatever the boards answered.
[[nodiscard]] Result listBoards(bool probe, bool verbose);

/// What to do with one board that opened: returns the board's result. What
/// it prints is kept as the board's reason when it fails.
using BoardVisit = std::function<Result(BoardEntry& board, ConnectionContext* ctx)>;

/// The boards list-boards finds, in its order. With `open`, each USB port is
/// opened and handed to `visit` (when given); a card is found by opening it,
/// so cards are always opened, and visited when `open`. A board that did not
/// open, or whose visit failed, has its result and what it printed.
std::vector<BoardEntry> visitBoards(bool open, bool verbose, const BoardVisit& visit);
