// Verb list-boards: the boards of this host and how to reach each.
#pragma once

#include "base/result_codes.h"

/// Lists the USB serial ports of boards and the PCIe cards of both driver
/// libraries, one line each (a +json array). Unless `probe` is false each
/// board is opened and asked its product ID, firmware version and VPD
/// drawing and serial number; a board that does not answer is listed with
/// the reason. Returns 0 whatever the boards answered.
[[nodiscard]] Result listBoards(bool probe, bool verbose);
