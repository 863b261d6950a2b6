// Small settings files in the state directory: rows of decimal numbers, one
// row a line. Devices keep their non-volatile settings in them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "devices/board_device.h"

namespace zsim {

using SettingRows = std::vector<std::vector<uint32_t>>;

/// Reads DIR/name. A missing file gives no rows and true; a line that is not
/// all numbers gives false with `error`.
bool loadSettingRows(const std::string& dir, const char* name, SettingRows& rows, std::string& error);

/// Replaces DIR/name with the rows (written beside it, then renamed, so a
/// failed save never leaves half a file); a failure goes to state.saveError.
void saveSettingRows(BoardState& state, const std::string& dir, const char* name, const SettingRows& rows);

}  // namespace zsim
