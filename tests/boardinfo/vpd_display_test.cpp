// display-vpd and display-vpd-raw: the common header, checksum and version
// checks, the raw dump, the lookup tables, and the two ways of fetching the
// record (Request VPD, or the flash copy in service mode).
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>
#include <set>
#include <string>

#include "base/out.h"
#include "boardinfo/board_json.h"
#include "boardinfo/vpd.h"
#include "boardinfo/vpd_layouts.h"
#include "boardinfo/vpd_record.h"
#include "support/fake_uc.h"
#include "vpd_test_record.h"

namespace {

std::string humanReadable(const VpdTestRecord& record) {
    OutCapture cap;
    printVpdHumanReadable(decodeVpd(record.bytes));
    return cap.text();
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(VpdHumanReadable, AllZeroRecord) {
    EXPECT_EQ(humanReadable(VpdTestRecord()),
              "Human-readable VPD:\n"
              "  Data structure version             0 (0x0000)\n"
              "  Data structure length              0 (0x0000)\n"
              "  Drawing number                     0 (0x00000000) => UNRECOGNIZED\n"
              "  Serial number                      0 (0x00000000)\n"
              "WARNING: Unable to decode remaining data for UNRECOGNIZED drawing number.\n"
              "         Use the 'display-vpd-raw' command in order to display raw VPD.\n"
              "*** ERROR: Unable to verify checksum because data structure length 0 (0x0000) is invalid\n");
}

TEST(VpdHumanReadable, NamedModelWithoutLayout) {
    // Bytes 0x80 + 0xB0 + 0x05 sum to 0x35; the checksum is 0xCB.
    VpdTestRecord r(1456, 0);
    r.u8(127, 0xCB);
    EXPECT_EQ(humanReadable(r),
              "Human-readable VPD:\n"
              "  Data structure version             0 (0x0000)\n"
              "  Data structure length              128 (0x0080)\n"
              "  Drawing number                     1456 (0x000005B0) => CARD-A06\n"
              "  Serial number                      0 (0x00000000)\n"
              "WARNING: Unable to decode remaining data for UNRECOGNIZED drawing number.\n"
              "         Use the 'display-vpd-raw' command in order to display raw VPD.\n"
              "  Data structure checksum            203 (0xCB)\n");
}

// Layout X with a 20-byte record of version 1: bytes 0..18 sum to 429, so
// the checksum at byte 19 is 83.
VpdTestRecord shortVersion1Record() {
    VpdTestRecord r;
    r.u16(0x00, 1).u16(0x02, 20).u32(0x04, 1413).u32(0x08, 1000);
    r.u8(0x0E, 0x21).u8(0x0F, 1).u8(0x10, 1).u8(19, 83);
    r.u8(0x40, 0x55);  // beyond the length: not part of the checksum
    return r;
}

TEST(VpdHumanReadable, VersionWarningComesAfterTheChecksum) {
    EXPECT_EQ(humanReadable(shortVersion1Record()),
              "Human-readable VPD:\n"
              "  Data structure version             1 (0x0001)\n"
              "  Data structure length              20 (0x0014)\n"
              "  Drawing number                     1413 (0x00000585) => CARD-A24\n"
              "  Serial number                      1000 (0x000003E8)\n"
              "  Custom build code, revision        0, 0 => Standard build\n"
              "  PCB revision                       33 (0x21) => 2.1\n"
              "  Board temperature grade            1 (0x01) => I (Industrial)\n"
              "  Modifications bitmask              1 (0x01)\n"
              "                                     => XMC connector type: VITA 61 XMC2\n"
              "  Data structure checksum            83 (0x53)\n"
              "WARNING: Data structure version 1 is not recognized by this version of zorviutil.\n"
              "         Highest data structure version recognised is 0.\n"
              "         Some fields of the VPD might not be displayed.\n");
}

TEST(VpdHumanReadable, ChangedByteGivesMismatchWithCalculatedThenStored) {
    VpdTestRecord r = shortVersion1Record();
    r.u8(0x0E, 0x22);
    const std::string text = humanReadable(r);
    EXPECT_TRUE(contains(text,
                         "  Data structure checksum            83 (0x53)\n"
                         "*** ERROR: Calculated checksum 82 0x52 does not match actual checksum 83 (0x53)\n"
                         "WARNING: Data structure version 1"))
        << text;
}

TEST(VpdHumanReadable, ChecksumRangeFollowsTheLength) {
    const std::string mismatch = "*** ERROR: Calculated checksum";
    const struct {
        const char* name;
        uint16_t length;
        size_t changedByte;  // 0xFF: none
        bool valid;
        bool matches;
    } cases[] = {
        {"length 5 covers bytes 0 to 3 plus byte 4", 5, 0xFF, true, true},
        {"length 5 ignores byte 5", 5, 5, true, true},
        {"length 5 sees byte 0", 5, 0, true, false},
        {"length 128 covers byte 126", 128, 126, true, false},
        {"length 128 ignores byte 128", 128, 128, true, true},
        {"length 4 is invalid", 4, 0xFF, false, false},
        {"length 129 is invalid", 129, 0xFF, false, false},
        {"length 0xFFFF is invalid", 0xFFFF, 0xFF, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VpdTestRecord r(0x12345678, 0x9ABCDEF0);
        r.u16(0x02, c.length);
        for (size_t i = 12; i < kVpdSize; ++i) r.bytes[i] = static_cast<uint8_t>(i * 7);
        if (c.valid) r.seal(c.length);
        if (c.changedByte != 0xFF) r.bytes[c.changedByte] ^= 0x10;
        const std::string text = humanReadable(r);
        if (!c.valid) {
            char line[120];
            std::snprintf(line, sizeof line,
                          "*** ERROR: Unable to verify checksum because data structure length %u (0x%04X) is invalid\n",
                          c.length, c.length);
            EXPECT_TRUE(contains(text, line)) << text;
            EXPECT_FALSE(contains(text, "  Data structure checksum")) << text;
        } else {
            EXPECT_TRUE(contains(text, "  Data structure checksum")) << text;
            EXPECT_EQ(contains(text, mismatch), !c.matches) << text;
        }
    }
}

TEST(VpdHumanReadable, ModelFieldsAreDecodedWhateverTheLength) {
    VpdTestRecord r(1413, 1);
    r.u16(0x02, 5).u8(0x0E, 0x42);
    EXPECT_TRUE(contains(humanReadable(r), "  PCB revision                       66 (0x42) => 4.2\n"));
}

TEST(VpdRaw, ShowsOnlyTheFirst128BytesWithPrintableCharacters) {
    VpdTestRecord r;
    for (size_t i = 0; i < kVpdSize; ++i) r.bytes[i] = static_cast<uint8_t>(i);
    OutCapture cap;
    printVpdRaw(r.bytes);
    EXPECT_EQ(cap.text(),
              "Raw VPD:\n"
              "      +0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F\n"
              "0x00: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ................\n"
              "0x10: 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F ................\n"
              "0x20: 20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F  !\"#$%&'()*+,-./\n"
              "0x30: 30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F 0123456789:;<=>?\n"
              "0x40: 40 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F @ABCDEFGHIJKLMNO\n"
              "0x50: 50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E 5F PQRSTUVWXYZ[\\]^_\n"
              "0x60: 60 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E 6F `abcdefghijklmno\n"
              "0x70: 70 71 72 73 74 75 76 77 78 79 7A 7B 7C 7D 7E 7F pqrstuvwxyz{|}~.\n");
}

// ---- Lookup tables ----------------------------------------------------------

TEST(VpdTables, DrawingNumbersDevicesAndGrades) {
    EXPECT_STREQ(drawingNumberToModel(1305), "CARD-A30");
    EXPECT_STREQ(drawingNumberToModel(1342), "CARD-A08-FH");
    EXPECT_STREQ(drawingNumberToModel(1548), "CARD-A25");
    EXPECT_STREQ(drawingNumberToModel(1456), "CARD-A06");
    EXPECT_STREQ(drawingNumberToModel(1457), "UNRECOGNIZED");
    EXPECT_STREQ(drawingNumberToModel(0xFFFFFFFF), "UNRECOGNIZED");
    EXPECT_STREQ(fpgaDeviceName(0x141), "KU035");
    EXPECT_STREQ(fpgaDeviceName(0x177), "VU2P");
    EXPECT_STREQ(fpgaDeviceName(0x1A3), "ZU49DR");
    EXPECT_STREQ(fpgaDeviceName(0x226), "VP1802");
    EXPECT_STREQ(fpgaDeviceName(0x151), "UNRECOGNIZED");
    EXPECT_STREQ(fpgaDeviceName(0), "UNRECOGNIZED");
    EXPECT_STREQ(fpgaTemperatureGradeName(0), "C (Commercial)");
    EXPECT_STREQ(fpgaTemperatureGradeName(1), "I (Industrial)");
    EXPECT_STREQ(fpgaTemperatureGradeName(2), "E (Extended)");
    EXPECT_STREQ(fpgaTemperatureGradeName(3), "UNRECOGNIZED");
}

TEST(VpdTables, EveryModelWithALetterHasThatLayoutAndOnly1456HasNone) {
    std::set<uint32_t> seen;
    for (const VpdModel& model : vpdModels()) {
        SCOPED_TRACE(model.drawingNumber);
        EXPECT_TRUE(seen.insert(model.drawingNumber).second) << "duplicate drawing number";
        const VpdLayout* layout = vpdLayoutFor(model.drawingNumber);
        if (model.layout == '-') {
            EXPECT_EQ(layout, nullptr);
            EXPECT_EQ(model.drawingNumber, 1456u);
        } else {
            ASSERT_NE(layout, nullptr);
            EXPECT_EQ(layout->letter, model.layout);
        }
    }
    EXPECT_EQ(seen.size(), 34u);
    EXPECT_EQ(vpdLayoutFor(0), nullptr);
}

// Walks every layout as each of its models sees it: every field inside the
// model-specific bytes (0x0C up to the checksum of a 128-byte record), no two
// fields sharing a byte, and every bit field inside a mask printed before it,
// with no two bit fields sharing a bit.
TEST(VpdTables, LayoutFieldsStayInsideTheRecordAndDoNotOverlap) {
    std::set<char> usedLetters;
    for (const VpdModel& model : vpdModels()) {
        const VpdLayout* layout = vpdLayoutFor(model.drawingNumber);
        if (layout == nullptr) continue;
        usedLetters.insert(layout->letter);
        SCOPED_TRACE(model.drawingNumber);
        int owner[128];
        std::fill(std::begin(owner), std::end(owner), -1);
        uint32_t bitsUsed[128] = {};
        bool maskPrinted[128] = {};
        for (size_t i = 0; i < layout->fields.size(); ++i) {
            const VpdField& field = layout->fields[i];
            if (!field.models.includes(model.drawingNumber)) continue;
            SCOPED_TRACE(i);
            const size_t extent = vpdFieldExtent(field);
            ASSERT_GE(field.offset, 0x0C);
            ASSERT_LE(field.offset + extent, 127u);
            if (vpdFieldIsBitField(field)) {
                EXPECT_TRUE(maskPrinted[field.offset]) << "bit field before its mask";
                const uint32_t bits = ((1u << field.bitCount) - 1u) << field.bitShift;
                EXPECT_LE(field.bitShift + field.bitCount, 8u * field.width);
                EXPECT_EQ(bitsUsed[field.offset] & bits, 0u) << "bit fields overlap";
                bitsUsed[field.offset] |= bits;
                continue;
            }
            if (field.line == VpdLine::ModificationsByte || field.line == VpdLine::ModificationsWide) {
                maskPrinted[field.offset] = true;
            }
            if (field.count != 0) {
                // Bank groups: check each entry's bytes.
                const size_t entry = vpdFieldExtent(field) - static_cast<size_t>(field.count - 1) * field.stride;
                ASSERT_LE(entry, field.stride) << "bank entries overlap";
                for (size_t bank = 0; bank < field.count; ++bank) {
                    for (size_t b = 0; b < entry; ++b) {
                        const size_t at = field.offset + bank * field.stride + b;
                        EXPECT_EQ(owner[at], -1) << "byte " << at << " used twice";
                        owner[at] = static_cast<int>(i);
                    }
                }
                continue;
            }
            for (size_t b = 0; b < extent; ++b) {
                EXPECT_EQ(owner[field.offset + b], -1) << "byte " << field.offset + b << " used twice";
                owner[field.offset + b] = static_cast<int>(i);
            }
        }
    }
    EXPECT_EQ(usedLetters.size(), vpdLayouts().size()) << "a layout no model uses";
}

// The line table: a row per line in enumerator order, every label inside the
// value column, and no model's record giving two document entries one name.
TEST(VpdTables, LineTableRowsAndDocumentNames) {
    for (size_t i = 0; i < kVpdLineCount; ++i) {
        const VpdLineRow& row = vpdLineRows()[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(static_cast<size_t>(row.line), i);
        EXPECT_EQ(row.rateKey != nullptr, row.show == VpdShow::Ddr4Frequency);
        EXPECT_EQ(*row.key == 0, row.show == VpdShow::Group);
        EXPECT_LE(std::strlen(row.label), 35u);
    }
    for (const VpdModel& model : vpdModels()) {
        SCOPED_TRACE(model.drawingNumber);
        const Json doc = vpdJson(decodeVpd(VpdTestRecord(model.drawingNumber, 1).bytes));
        std::set<std::string> names;
        for (const Json& field : doc["fields"]) EXPECT_TRUE(names.insert(field["name"]).second) << field["name"];
    }
}

// ---- The verbs --------------------------------------------------------------

Bytes vpdReply(uint8_t status, const VpdTestRecord& record) {
    Bytes reply(3 + kVpdSize);
    reply[0] = 0x05;
    reply[1] = 0x0C;
    reply[2] = status;
    std::copy(record.bytes, record.bytes + kVpdSize, reply.begin() + 3);
    return reply;
}

TEST(VpdVerbs, NormalModeSendsRequestVpdAndDumps) {
    FakeUc uc;
    VpdTestRecord r;
    for (size_t i = 0; i < kVpdSize; ++i) r.bytes[i] = static_cast<uint8_t>(0x41 + i % 16);
    uc.queueReply(vpdReply(0, r));
    OutCapture cap;
    EXPECT_EQ(displayVpdRaw(false, uc.context()), kOk);
    ASSERT_EQ(uc.requests().size(), 1u);
    EXPECT_EQ(uc.requests()[0], (Bytes{0x05, 0x8C}));
    std::string expected =
        "Raw VPD:\n"
        "      +0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F\n";
    for (const char* row : {"0x00", "0x10", "0x20", "0x30", "0x40", "0x50", "0x60", "0x70"}) {
        expected += std::string(row) + ": 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50 ABCDEFGHIJKLMNOP\n";
    }
    EXPECT_EQ(cap.text(), expected);
}

TEST(VpdVerbs, DisplayVpdDecodesTheFetchedRecord) {
    FakeUc uc;
    uc.queueReply(vpdReply(0, shortVersion1Record()));
    OutCapture cap;
    EXPECT_EQ(displayVpd(false, uc.context()), kOk);
    EXPECT_EQ(cap.text(), humanReadable(shortVersion1Record()));
}

TEST(VpdVerbs, FetchFailuresReturnAtOnceAndPrintNothingOfTheRecord) {
    for (bool raw : {false, true}) {
        SCOPED_TRACE(raw ? "display-vpd-raw" : "display-vpd");
        {
            FakeUc uc;
            uc.queueReply(vpdReply(0x07, VpdTestRecord(1413, 1)));
            OutCapture cap;
            EXPECT_EQ(raw ? displayVpdRaw(false, uc.context()) : displayVpd(false, uc.context()), kLinkFailure);
            EXPECT_EQ(cap.text(), "*** ZORVI returned status 0x07 for Request VPD command\n");
        }
        {
            FakeUc uc;  // default handler: every request times out
            OutCapture cap;
            EXPECT_EQ(raw ? displayVpdRaw(false, uc.context()) : displayVpd(false, uc.context()), kLinkFailure);
            EXPECT_EQ(cap.text(), "*** Failed to send command to ZORVI uC via USB: ZORVI_TIMEOUT\n");
        }
    }
}

// Service mode: the 128-byte copy at 0x1FF00, the middle quarter of page 255.
struct ServiceModeUc {
    FakeUc uc;
    explicit ServiceModeUc(const VpdTestRecord& record) {
        uc.context()->inServiceMode = 1;
        Bytes page(512, 0xEE);
        std::memcpy(page.data() + 0x100, record.bytes, 128);
        uc.onRequest([page](const Bytes& request, Bytes& reply) -> uint32_t {
            if (request != Bytes{0x06, 0x80, 0x09, 0xFF, 0x00}) return 532;
            reply = {0x06, 0x00, 0x00};
            reply.insert(reply.end(), page.begin(), page.end());
            return 0;
        });
    }
};

TEST(VpdVerbs, ServiceModeReadsTheFlashCopyAndZeroesTheRest) {
    VpdTestRecord r = shortVersion1Record();
    ServiceModeUc sm(r);
    uint8_t vpd[kVpdSize];
    std::memset(vpd, 0xA5, sizeof vpd);
    {
        OutCapture cap;
        ASSERT_EQ(fetchVpdRecord(sm.uc.context(), false, vpd), kOk);
        EXPECT_EQ(cap.text(), "Reading Application Flash page @ 0x1FE00...\n");
    }
    EXPECT_EQ(0, std::memcmp(vpd, r.bytes, 128));
    for (size_t i = 128; i < kVpdSize; ++i) ASSERT_EQ(vpd[i], 0) << i;

    OutCapture cap;
    EXPECT_EQ(displayVpd(false, sm.uc.context()), kOk);
    EXPECT_EQ(cap.text(), "Reading Application Flash page @ 0x1FE00...\n" + humanReadable(r));
    for (const Bytes& request : sm.uc.requests()) EXPECT_NE(request[0], 0x05) << "Request VPD sent in service mode";
}

TEST(VpdVerbs, ServiceModeFlashReadFailure) {
    ServiceModeUc sm(VpdTestRecord(1413, 1));
    sm.uc.onRequest([](const Bytes&, Bytes& reply) -> uint32_t {
        reply = Bytes(515, 0);
        reply[0] = 0x06;
        reply[2] = 0x03;
        return 0;
    });
    OutCapture cap;
    EXPECT_EQ(displayVpdRaw(false, sm.uc.context()), kLinkFailure);
    EXPECT_EQ(cap.text(),
              "Reading Application Flash page @ 0x1FE00...\n"
              "*** ZORVI returned status 0x03 for Flash Application Read command\n");
}

}  // namespace
