// Warnings before an image is written: one row per image a user might
// write by mistake, and the good images that must pass silently.
#include <gtest/gtest.h>

#include <vector>

#include "images/image_checks.h"

namespace {

/// A VPD record of `length` bytes (version 0) with its checksum right.
std::vector<uint8_t> vpdRecord(uint16_t length, uint32_t fileSize) {
    std::vector<uint8_t> v(fileSize, 0);
    v[2] = static_cast<uint8_t>(length);
    v[3] = static_cast<uint8_t>(length >> 8);
    v[4] = 0x9D;  // drawing number 1437
    v[5] = 0x05;
    uint8_t sum = 0;
    for (uint32_t i = 0; i + 1 < length && i < fileSize; ++i) sum = static_cast<uint8_t>(sum + v[i]);
    if (length >= 1 && length <= fileSize) v[length - 1] = static_cast<uint8_t>(-sum);
    return v;
}

TEST(ImageWriteWarning, NamesWhatIsWrongWithTheImage) {
    std::vector<uint8_t> badSum = vpdRecord(0x30, 0x80);
    badSum[0x10] ^= 1;
    struct Case {
        const char* what;
        ImageKind kind;
        std::vector<uint8_t> bytes;
        std::string warning;
    };
    const Case cases[] = {
        {"good VPD", ImageKind::Vpd, vpdRecord(0x30, 0x80), ""},
        {"good VPD, whole copy", ImageKind::Vpd, vpdRecord(0x80, 0x80), ""},
        {"bad checksum", ImageKind::Vpd, badSum,
         "zorviutil: warning: the VPD image fails its own checksum (stored 0x2E, calculated 0x2D); display-vpd will "
         "report the record as damaged\n"},
        {"length beyond the file", ImageKind::Vpd, vpdRecord(0x40, 0x20),
         "zorviutil: warning: the VPD image's length field says 64, no valid record length for a file of 32 bytes (32 "
         "at most); the board will hold a record it cannot check\n"},
        {"length beyond the flash copy", ImageKind::Vpd, vpdRecord(0x100, 0x80),
         "zorviutil: warning: the VPD image's length field says 256, no valid record length for a file of 128 bytes "
         "(128 at most); the board will hold a record it cannot check\n"},
        {"VPD header cut", ImageKind::Vpd, std::vector<uint8_t>(3, 0),
         "zorviutil: warning: the VPD image is only 3 bytes, too short for a VPD record\n"},
        {"empty VPD writes nothing", ImageKind::Vpd, {}, ""},
        {"firmware below a page", ImageKind::Firmware, std::vector<uint8_t>(128, 0xFF),
         "zorviutil: warning: the firmware image is only 128 bytes, less than one flash page (512); it replaces the "
         "start of the uC firmware and keeps the rest\n"},
        {"firmware of one page", ImageKind::Firmware, std::vector<uint8_t>(512, 0xFF), ""},
        {"board config is not checked", ImageKind::BoardConfig, std::vector<uint8_t>(16, 0), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(imageWriteWarning(c.kind, c.bytes.data(), static_cast<uint32_t>(c.bytes.size())), c.warning);
    }
}

}  // namespace
