#include "devices/settings_file.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace zsim {

bool loadSettingRows(const std::string& dir, const char* name, SettingRows& rows, std::string& error) {
    rows.clear();
    const std::string path = dir + "/" + name;
    std::ifstream f(path);
    if (!f) return true;
    std::string line;
    while (std::getline(f, line)) {
        std::istringstream words(line);
        std::vector<uint32_t> row;
        std::string word;
        while (words >> word) {
            char* end = nullptr;
            const unsigned long v = std::strtoul(word.c_str(), &end, 10);
            if (*end != '\0' || word[0] == '-' || v > 0xFFFFFFFFul) {
                error = "bad number '" + word + "' in '" + path + "'";
                return false;
            }
            row.push_back(static_cast<uint32_t>(v));
        }
        if (!row.empty()) rows.push_back(row);
    }
    return true;
}

void saveSettingRows(BoardState& state, const std::string& dir, const char* name, const SettingRows& rows) {
    const std::string path = dir + "/" + name;
    const std::string tmp = path + ".tmp";
    {
        std::ofstream f(tmp, std::ios::trunc);
        for (const auto& row : rows) {
            for (size_t i = 0; i < row.size(); ++i) f << (i == 0 ? "" : " ") << row[i];
            f << '\n';
        }
        f.close();
        if (!f) {
            state.saveError = "cannot write '" + tmp + "'";
            return;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) state.saveError = "cannot rename '" + tmp + "'";
}

bool KeptSetting::load(const std::string& dir, std::string& error) {
    dir_ = dir;
    SettingRows rows;
    if (!loadSettingRows(dir, file_, rows, error)) return false;
    if (!rows.empty()) {
        if (rows[0].size() != 1 || !valid_(rows[0][0])) {
            error = std::string("bad ") + what_ + " in '" + dir + "/" + file_ + "'";
            return false;
        }
        next_ = static_cast<uint8_t>(rows[0][0]);
    }
    now_ = next_;
    saveSettingRows(state_, dir_, file_, {{next_}});
    return true;
}

void KeptSetting::keep(uint8_t value) {
    next_ = value;
    if (!dir_.empty()) saveSettingRows(state_, dir_, file_, {{next_}});
}

}  // namespace zsim
