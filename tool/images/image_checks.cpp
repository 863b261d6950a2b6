#include "images/image_checks.h"

#include <cstdarg>
#include <cstdio>

#include "base/bytes.h"
#include "base/out.h"

namespace {

constexpr uint32_t kFlashPageSize = 512;
constexpr uint32_t kVpdHeaderSize = 4;     // version and length
constexpr uint32_t kVpdMinLength = 5;      // header up to the drawing number, plus the checksum
constexpr uint32_t kVpdCopyLength = 0x80;  // the part of the record kept in application flash

std::string format(const char* fmt, ...) ZORVI_PRINTF(1, 2);
std::string format(const char* fmt, ...) {
    char line[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(line, sizeof line, fmt, args);
    va_end(args);
    return line;
}

}  // namespace

std::string imageWriteWarning(ImageKind kind, const uint8_t* bytes, uint32_t length) {
    if (length == 0) return "";  // nothing is written
    if (kind == ImageKind::Firmware && length < kFlashPageSize)
        return format("zorviutil: warning: the firmware image is only %u bytes, less than one flash page (%u); it "
                      "replaces the start of the uC firmware and keeps the rest\n",
                      length, kFlashPageSize);
    if (kind != ImageKind::Vpd) return "";
    if (length < kVpdHeaderSize)
        return format("zorviutil: warning: the VPD image is only %u bytes, too short for a VPD record\n", length);
    const uint32_t recordLength = getLe16(bytes + 2);
    if (recordLength < kVpdMinLength || recordLength > kVpdCopyLength || recordLength > length)
        return format("zorviutil: warning: the VPD image's length field says %u, no valid record length for a file of "
                      "%u bytes (%u at most); the board will hold a record it cannot check\n",
                      recordLength, length, length < kVpdCopyLength ? length : kVpdCopyLength);
    uint8_t sum = 0;
    for (uint32_t i = 0; i + 1 < recordLength; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
    const unsigned calculated = static_cast<uint8_t>(-sum);
    const unsigned stored = bytes[recordLength - 1];
    if (calculated != stored)
        return format("zorviutil: warning: the VPD image fails its own checksum (stored 0x%02X, calculated 0x%02X); "
                      "display-vpd will report the record as damaged\n",
                      stored, calculated);
    return "";
}
