// Shared helpers of the clock tests: maps as readable entry lists with the
// diagnostics they printed, and the test data folder.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "clocks/register_maps.h"
#include "support/temp_dir.h"

struct ParsedMap {
    uint32_t code = 0;
    std::vector<std::string> entries;   ///< "index/mask=value" (SI5338) or "register=value" (LMK61E2)
    std::vector<std::string> messages;  ///< "<severity> <text>"
};

inline std::vector<std::string>& collectedMessages() {
    static std::vector<std::string> messages;
    return messages;
}

inline void collectMessage(const char* text, uint32_t severity) {
    collectedMessages().push_back(std::to_string(severity) + " " + text);
}

inline ParsedMap describe(uint32_t code, const RegisterMap& map) {
    ParsedMap p;
    p.code = code;
    p.messages = collectedMessages();
    for (uint32_t i = 0; code == 0 && i < map.count; ++i) {
        const uint8_t* e = map.entry(i);
        char line[32];
        if (map.type == RegisterMapType::Si5338)
            std::snprintf(line, sizeof line, "%u/%02X=%02X", e[0] | (e[1] << 8), e[2], e[3]);
        else
            std::snprintf(line, sizeof line, "%u=%02X", e[0], e[1]);
        p.entries.push_back(line);
    }
    return p;
}

inline ParsedMap parseText(RegisterMapType type, const std::string& text) {
    collectedMessages().clear();
    RegisterMap map;
    const uint32_t code = parseRegisterMap(type, text.data(), text.size(), collectMessage, map);
    return describe(code, map);
}

inline ParsedMap readFile(RegisterMapType type, const std::string& path) {
    collectedMessages().clear();
    RegisterMap map;
    const uint32_t code = type == RegisterMapType::Si5338 ? readSi5338Map(collectMessage, map, path.c_str())
                                                          : readLmk61e2Map(collectMessage, map, path.c_str());
    return describe(code, map);
}

/// A file of tests/clocks/data (the folder itself for "").
inline std::string dataFile(const std::string& name) { return std::string(ZORVI_CLOCKS_TEST_DATA "/") + name; }

/// Writes `content` to a fresh file in a private temporary folder and
/// returns its path.
inline std::string writeTempFile(const std::string& name, const std::string& content) {
    static std::string dir;
    if (dir.empty()) {
        dir = testdir::make("zorvi-clocks");
    }
    const std::string path = dir + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    return path;
}

inline bool readWholeFile(const std::string& path, std::string& content) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    char buffer[4096];
    content.clear();
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) content.append(buffer, n);
    std::fclose(f);
    return true;
}

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}
