// A fresh private folder for a test's files, on every system.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace testdir {

/// Creates <temp>/<prefix>-<random> and returns its path; empty on failure.
inline std::string make(const char* prefix) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) return "";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path path = base / (std::string(prefix) + "-" + std::to_string(random()));
        if (fs::create_directory(path, ec)) return path.string();
    }
    return "";
}

}  // namespace testdir
