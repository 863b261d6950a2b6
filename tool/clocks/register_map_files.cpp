// The file side of the register-map readers: reading a map file whole,
// the readers over a path, and the detection of a file's format.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>

#include "base/out.h"
#include "base/result_codes.h"
#include "clocks/register_maps.h"
#include "platform/platform.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

void printMapDiagnostic(const char* text, uint32_t severity) {
    const char* word = severity == kMapInfo ? "Info" : severity == kMapWarning ? "Warning"
                     : severity == kMapError ? "Error" : "";
    out("%s: %s\n", word, text);
}

// The whole file is read once and both passes of a reader (and the format
// detection) run over the same bytes, so a file that changes while it is
// read cannot give a map sized by one version and filled from another.
uint32_t loadRegisterMapText(const char* path, MapPrinter printer, MapText& text) {
    // A folder opens for reading here but not on Windows, where the open is
    // refused as access denied; report it the same way on both.
    std::error_code ec;
    if (std::filesystem::is_directory(platform::pathOf(path), ec)) return kMapAccessDenied;
    errno = 0;
    FilePtr file(platform::openFile(path, "rb"));
    if (!file) {
        if (errno == ENOENT) return kMapFileNotFound;
        if (errno == EACCES) return kMapAccessDenied;
        return kMapOpenError;
    }
    char message[128];
    uint64_t end = 0;
    if (platform::fileLength(file.get(), &end) != platform::FileLength::Ok) {
        if (printer != nullptr) {
            std::snprintf(message, sizeof message, "Failed to seek to beginning of input file; errno=%d", errno);
            printer(message, kMapError);
        }
        return kMapSeekError;
    }
    if (end > kMaxMapFileBytes) return kMapFileTooLarge;
    const size_t size = static_cast<size_t>(end);
    text.bytes.reset(new (std::nothrow) char[size == 0 ? 1 : size]);
    if (!text.bytes) {
        if (printer != nullptr) {
            std::snprintf(message, sizeof message,
                          "Failed to allocate %llu (0x%llX) bytes for holding register map data; errno=%d",
                          static_cast<unsigned long long>(size), static_cast<unsigned long long>(size), ENOMEM);
            printer(message, kMapError);
        }
        return kMapNoMemory;
    }
    if (std::fread(text.bytes.get(), 1, size, file.get()) != size || std::ferror(file.get())) return kMapReadError;
    text.size = size;
    return kMapOk;
}

namespace {

uint32_t readMap(RegisterMapType type, MapPrinter printer, RegisterMap& map, const char* path) {
    MapText text;
    const uint32_t code = loadRegisterMapText(path, printer, text);
    if (code != kMapOk) return code;
    return parseRegisterMap(type, text.bytes.get(), text.size, printer, map);
}

}  // namespace

uint32_t readLmk61e2Map(MapPrinter printer, RegisterMap& map, const char* path) {
    return readMap(RegisterMapType::Lmk61e2, printer, map, path);
}

uint32_t readSi5338Map(MapPrinter printer, RegisterMap& map, const char* path) {
    return readMap(RegisterMapType::Si5338, printer, map, path);
}

namespace {

Result unreadable(const char* path, uint32_t code) {
    out("*** Failed to read file '%s': %s (error %d)\n", path, registerMapErrorName(code), static_cast<int>(code));
    return kRegisterMapUnreadable;
}

}  // namespace

uint32_t detectRegisterMapText(const char* path, const MapText& text, RegisterMapType* type) {
    for (RegisterMapType candidate : {RegisterMapType::Lmk61e2, RegisterMapType::Si5338}) {
        RegisterMap map;
        const uint32_t code = parseRegisterMap(candidate, text.bytes.get(), text.size, nullptr, map);
        if (code == kMapOk) {
            *type = candidate;
            return kOk;
        }
        if (code != kMapBadFile) return unreadable(path, code);
    }
    out("*** Failed to automatically determine register map file format.\n");
    return kRegisterMapUndetected;
}

uint32_t detectRegisterMapType(const char* path, RegisterMapType* type) {
    MapText text;
    const uint32_t code = loadRegisterMapText(path, nullptr, text);
    if (code != kMapOk) return unreadable(path, code);
    return detectRegisterMapText(path, text, type);
}
