// Register map files exported by the clock chips' configuration tools: the
// LMK61E2 format ("R<register> <value>" lines) and the SI5338 format
// ("<index>,<value>[h]" lines, "#" comments). The readers turn text into the
// payload the uC (or the SI5338 programming sequence) takes and report what
// they ignored through an optional printer; they never print themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

/// Map types, numbered as the register-map programming request carries them.
enum class RegisterMapType : uint8_t { Si5338 = 0, Lmk61e2 = 1 };

/// Reader result codes (registerMapErrorName gives their texts).
enum : uint32_t {
    kMapOk = 0,
    kMapBadFile = 1,  ///< no valid line for the format (format detection relies on it)
    kMapNoMemory = 256,
    kMapAccessDenied = 257,
    kMapFileNotFound = 258,
    kMapOpenError = 259,
    kMapSeekError = 260,
    kMapReadError = 261,
    kMapFileTooLarge = 262,  ///< larger than kMaxMapFileBytes: refused before it is read
};

/// The largest register map file read. A map holds at most a few hundred
/// registers, a file of any real use a few kilobytes even with comments;
/// the limit keeps a wrong or huge file from being read whole into memory.
constexpr uint64_t kMaxMapFileBytes = 1024 * 1024;

/// Text of a reader result code ("unknown error" for codes not listed).
const char* registerMapErrorName(uint32_t code);

/// Diagnostic severities passed to a MapPrinter.
enum : uint32_t { kMapInfo = 0, kMapWarning = 1, kMapError = 2 };
/// Receives one diagnostic of a reader (text without line end, severity).
using MapPrinter = void (*)(const char* text, uint32_t severity);
/// The verbs' printer: "%s: %s\n" with "Info", "Warning" or "Error".
void printMapDiagnostic(const char* text, uint32_t severity);

constexpr uint32_t kLmk61e2MaxPairs = 255;
constexpr uint32_t kSi5338MaxEntries = 512;
constexpr uint32_t kSi5338LastRegister = 350;

/// A register map as read: `count` entries of 2 bytes (LMK61E2: register,
/// value) or 4 bytes (SI5338: index low, index high, write mask, value).
/// The payload is exactly what the uC receives.
struct RegisterMap {
    RegisterMapType type = RegisterMapType::Si5338;
    uint32_t count = 0;
    std::unique_ptr<uint8_t[]> payload;

    uint32_t entrySize() const { return type == RegisterMapType::Lmk61e2 ? 2u : 4u; }
    uint32_t payloadSize() const { return count * entrySize(); }
    const uint8_t* entry(uint32_t i) const { return payload.get() + i * entrySize(); }
};

/// Write mask of SI5338 register `index` (0..350); 0 beyond.
uint8_t si5338WriteMask(uint32_t index);

/// Parses the text of a register map file in the given format. `printer`
/// may be null. Returns kMapOk with `map` filled, kMapBadFile, or
/// kMapNoMemory.
[[nodiscard]] uint32_t parseRegisterMap(RegisterMapType type, const char* text, size_t size, MapPrinter printer,
                                        RegisterMap& map);

/// A register map file's bytes, read whole.
struct MapText {
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
};

/// Reads a file for the readers: kMapOk, or 256..261 (seek and allocation
/// failures are also reported to `printer`, when given).
[[nodiscard]] uint32_t loadRegisterMapText(const char* path, MapPrinter printer, MapText& text);

/// The readers over a file (load, then parse).
[[nodiscard]] uint32_t readLmk61e2Map(MapPrinter printer, RegisterMap& map, const char* path);
[[nodiscard]] uint32_t readSi5338Map(MapPrinter printer, RegisterMap& map, const char* path);

/// Which format a file's text is in: LMK61E2 when it reads as such,
/// otherwise SI5338. 0, or 115 (neither) / 114 (a reader failed otherwise)
/// after printing its message.
[[nodiscard]] uint32_t detectRegisterMapText(const char* path, const MapText& text, RegisterMapType* type);
/// detectRegisterMapType over a file: 0, 114 (unreadable) or 115.
[[nodiscard]] uint32_t detectRegisterMapType(const char* path, RegisterMapType* type);
