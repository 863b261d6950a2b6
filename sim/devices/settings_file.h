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

/// A one-byte setting the uC keeps in a file of the state directory for
/// its next start, beside the value in force now.
class KeptSetting {
public:
    /// `what` names the setting in the error for a bad file; `valid` checks it.
    KeptSetting(BoardState& state, const char* file, const char* what, bool (*valid)(uint32_t), uint8_t initial)
        : state_(state), file_(file), what_(what), valid_(valid), now_(initial), next_(initial) {}
    /// Reads the kept value, puts it in force (a start is a power-on) and
    /// writes the file; false with `error` for a bad file.
    bool load(const std::string& dir, std::string& error);
    uint8_t now() const { return now_; }
    uint8_t next() const { return next_; }
    /// Volatile: in force now, until the next start.
    void set(uint8_t value) { now_ = value; }
    /// Non-volatile: kept for the next start.
    void keep(uint8_t value);
    /// The next start: the kept value takes effect.
    void apply() { now_ = next_; }

private:
    BoardState& state_;
    const char* file_;
    const char* what_;
    bool (*valid_)(uint32_t);
    std::string dir_;
    uint8_t now_;
    uint8_t next_;
};

/// Replaces DIR/name with the rows (written beside it, then renamed, so a
/// failed save never leaves half a file); a failure goes to state.saveError.
void saveSettingRows(BoardState& state, const std::string& dir, const char* name, const SettingRows& rows);

}  // namespace zsim
