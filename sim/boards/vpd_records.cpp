// The simulated boards' VPD records: one builder per record layout, with the
// build facts of a typical production board of each model. Offsets are this
// file's own reading of each layout, kept apart from the tool's decoder so
// that the end-to-end tests compare two independent readings.
#include <cstring>

#include "boards/board_data.h"
#include "core/options.h"

namespace zsim {

namespace {

constexpr uint32_t kRecordLength = 128;  // bytes 0..127 meaningful, checksum at 127

/// Little-endian writer over the 256-byte record.
class Record {
public:
    explicit Record(uint8_t* bytes) : b_(bytes) {}
    void u8(uint32_t offset, uint8_t v) { b_[offset] = v; }
    void u16(uint32_t offset, uint16_t v) {
        b_[offset] = static_cast<uint8_t>(v);
        b_[offset + 1] = static_cast<uint8_t>(v >> 8);
    }
    void u32(uint32_t offset, uint32_t v) {
        for (uint32_t i = 0; i < 4; ++i) b_[offset + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    /// ASCII text in a fixed-width field, NUL-padded, not terminated when full.
    void text(uint32_t offset, uint32_t width, const char* s) {
        for (uint32_t i = 0; i < width && s[i] != '\0'; ++i) b_[offset + i] = static_cast<uint8_t>(s[i]);
    }
    /// The 15-byte FPGA identity: stepping (8), speed grade (4), device code,
    /// temperature grade.
    void fpga(uint32_t offset, const char* stepping, const char* speedGrade, uint16_t device, uint8_t tempGrade) {
        text(offset, 8, stepping);
        text(offset + 8, 4, speedGrade);
        u16(offset + 12, device);
        u8(offset + 14, tempGrade);
    }
    /// A memory bank entry: frequency in 0.1 MHz units, then log2 size code.
    void bank(uint32_t offset, uint16_t tenthsMhz, uint8_t sizeLog2) {
        u16(offset, tenthsMhz);
        u8(offset + 2, sizeLog2);
    }

private:
    uint8_t* b_;
};

// Typical values.
constexpr uint8_t kPcbRev21 = 0x21;
constexpr uint32_t kRefClock25M = 25000000;
constexpr uint32_t kEmcclk100M = 100000000;
constexpr uint16_t kDdr4_2400 = 12000;  // 1200.0 MHz
constexpr uint8_t kIndustrial = 1;
constexpr uint8_t kExtended = 2;

// FPGA device codes.
constexpr uint16_t kKU060 = 0x143, kKU115 = 0x146, kKU15P = 0x162, kVU9P = 0x16C, kVU13P = 0x16E,
                   kVU35P = 0x173, kVU37P = 0x174, kZU11EG = 0x182, kZU19EG = 0x18A, kZU27DR = 0x192,
                   kZU49DR = 0x1A3, kVC1902 = 0x204, kVM1802 = 0x214, kVP1802 = 0x226, kVU3P = 0x169;

// Layout K: 32-bit mask first, cooling/coating/Pn4, SI5338 clock, four
// DDR4 banks 8 bytes apart (4-byte words), FPGA at 0x48, PCB rev at 0x58.
void layoutK(uint32_t dn, Record& r) {
    r.u32(0x0C, dn == 1440 ? 0x1 : 0x0);  // SW1 DIP switch fitted on 1440
    r.u8(0x10, 0);                         // air-cooled commercial
    r.u8(0x11, 0);                         // no coating
    r.u8(0x12, 1);                         // Pn4 fitted
    r.u32(0x14, kRefClock25M);
    for (uint32_t i = 0; i < 4; ++i) r.bank(0x28 + 8 * i, kDdr4_2400, 28);  // 1 GiB each
    r.fpga(0x48, "1", "-2", kKU115, kIndustrial);
    r.u8(0x58, kPcbRev21);
}

// Layout A: PCB rev, byte mask (fitted options, chip class in the high
// nibble), build code, clocks, two DDR4 banks with ranks, FPGA at 0x40.
void layoutA(uint32_t dn, Record& r) {
    r.u8(0x0C, kPcbRev21);
    r.u8(0x0D, dn == 1339 ? 0x00 : 0x05);  // RS232 converter + FireFly modules, CL16 parts
    r.u8(0x0E, 0);
    r.u8(0x0F, 0);
    r.u32(0x10, kRefClock25M);
    r.u32(0x24, kEmcclk100M);
    r.u32(0x28, 300000000);  // fabric clock (models that carry one)
    if (dn != 1339) {
        for (uint32_t i = 0; i < 2; ++i) {
            r.bank(0x30 + 8 * i, kDdr4_2400, 28);  // 8-byte words: 2 GiB
            r.u8(0x30 + 8 * i + 3, 1);             // single-die
        }
    }
    r.fpga(0x40, "1", "-2", dn == 1322 ? kVU9P : kKU115, kIndustrial);
}

// Layouts B, D and E share one arrangement; D and E leave some clocks out.
void layoutBDE(uint32_t dn, Record& r, bool si5338, bool emcclk, uint16_t device) {
    r.u8(0x0C, kPcbRev21);
    r.u8(0x0D, 0);
    r.u8(0x0E, 0);
    r.u8(0x0F, 0);
    if (si5338) r.u32(0x10, kRefClock25M);
    if (emcclk) r.u32(0x14, kEmcclk100M);
    r.fpga(0x20, dn == 1474 ? "ES1" : "1", "-2", device, kExtended);
}

// Layout G: FPGA at 0x40 followed by the space-grade byte.
void layoutG(Record& r) {
    r.u8(0x0C, kPcbRev21);
    r.u8(0x0D, 0);
    r.u32(0x10, kRefClock25M);
    r.fpga(0x40, "1", "-1", kKU060, kIndustrial);
    r.u8(0x4F, 0);  // not space grade
}

// Layout H: HBM devices.
void layoutH(uint32_t dn, Record& r) {
    r.u8(0x0C, kPcbRev21);
    r.u8(0x0D, dn == 1341 ? 0x03 : 0x00);  // jitter attenuator and fans on 1341
    r.u32(0x10, kRefClock25M);
    r.u32(0x14, kEmcclk100M);
    r.u16(0x18, 9000);  // 900 MHz
    r.u8(0x1A, 8);      // dies
    r.u8(0x1B, 30);     // 1 GiB per die
    r.fpga(0x20, "1", "-2", dn == 1341 ? kVU37P : kVU35P, kExtended);
}

// Layouts J and M: cooling/coating bytes, internal clock at 0x20, banks
// 4 bytes apart (8-byte words).
void layoutJM(uint32_t dn, Record& r, uint32_t bankCount) {
    r.u8(0x0C, kPcbRev21);
    r.u8(0x0D, dn == 1377 ? 0x01 : 0x00);  // FireFly connector fitted, internal SI5338 reference
    if (dn == 1426) {
        r.u8(0x0E, 3);  // a custom build: /C3.1
        r.u8(0x0F, 1);
    }
    r.u8(0x10, 1);  // air-cooled industrial
    r.u8(0x11, 1);  // acrylic coating
    r.u32(0x20, kRefClock25M);
    r.u32(0x24, kEmcclk100M);
    for (uint32_t i = 0; i < bankCount; ++i) r.bank(0x30 + 4 * i, kDdr4_2400, 27);  // 1 GiB
    r.fpga(0x40, "1", "-2", dn == 1486 ? kVU3P : kKU115, kIndustrial);
}

// Layouts P and Q: heatsink/fans/shroud bits in the byte mask.
void layoutPQ(uint32_t dn, Record& r, bool clocks, uint32_t bankCount, uint8_t sizeLog2) {
    r.u8(0x0C, kPcbRev21);
    r.u8(0x0D, 0x06);  // 1-slot heatsink, fans and top shroud fitted
    if (clocks) {
        r.u32(0x20, kRefClock25M);
        r.u32(0x24, kEmcclk100M);
    }
    for (uint32_t i = 0; i < bankCount; ++i) r.bank(0x30 + 4 * i, kDdr4_2400, sizeLog2);
    r.fpga(0x40, "1", "-2", dn == 1492 ? kKU15P : (dn == 1430 ? kVU13P : kVU9P), kExtended);
}

// Layout R: RFSoC boards.
void layoutR(uint32_t dn, Record& r) {
    r.u32(0x0C, 0x1000);  // both connectors fitted, first transformer/connector kinds, CL16, VITA 61
    r.u8(0x12, 0);
    r.u8(0x13, 0);
    r.u32(0x14, kRefClock25M);
    r.u32(0x18, 33333333);  // PS reference
    r.u16(0x1C, kDdr4_2400);
    r.u8(0x1E, 29);  // 32-bit words: 2 GiB
    for (uint32_t i = 0; i < 2; ++i) {
        r.bank(0x20 + 4 * i, kDdr4_2400, 32);  // 1-byte words: 4 GiB
        r.u8(0x20 + 4 * i + 3, 1);             // single-die
    }
    r.u32(0x28, 10000000);   // LMK04208 reference
    r.u32(0x2C, 122880000);  // LMK04208 VCXO
    r.fpga(0x30, "1", "-2", dn == 1510 ? kZU49DR : kZU27DR, kIndustrial);
    r.u8(0x3F, 0);  // FFVE1156
    r.u8(0x40, kPcbRev21);
    r.u8(0x41, 0x10);  // CPLD 1.0
}

// Layouts S and T share everything from 0x14 on; T leaves 0x0C-0x0F unused.
void layoutST(uint32_t dn, Record& r) {
    if (dn == 1437) r.u32(0x0C, 0x4);  // both connectors fitted, VITA 61
    r.u8(0x12, dn == 1528 ? 1 : 0);
    r.u8(0x13, dn == 1528 ? 3 : 0);  // 1528 ships conformally coated (parylene)
    r.u32(0x14, kRefClock25M);
    r.u32(0x18, 33333333);
    r.u16(0x1C, kDdr4_2400);
    r.u8(0x1E, 29);  // 8-byte words: 4 GiB
    for (uint32_t i = 0; i < 2; ++i) r.bank(0x20 + 4 * i, kDdr4_2400, 29);  // 4-byte words: 2 GiB
    r.u8(0x28, 34);  // eMMC 16 GiB
    r.u8(0x2A, 27);  // QSPI 128 MiB
    r.fpga(0x30, "1", "-2", kZU19EG, kIndustrial);
    r.u8(0x40, kPcbRev21);
}

// Layout U: MPSoC board with QSPI, eMMC and SATA.
void layoutU(Record& r) {
    r.u16(0x0C, 0x0003);  // optics fitted, VCC_PSBATT enabled
    r.u32(0x10, kRefClock25M);
    r.u8(0x1C, 26);  // QSPI bank 0: 64 MiB
    r.u8(0x1E, 26);  // QSPI bank 1: 64 MiB
    r.u16(0x20, kDdr4_2400);
    r.u8(0x22, 29);  // 8-byte words: 4 GiB
    r.u8(0x23, 1);   // single-die
    r.u8(0x28, 34);  // eMMC 16 GiB
    r.u8(0x2A, 37);  // SATA 128 GiB
    r.u8(0x2C, 0);
    r.u8(0x2D, 0);
    r.fpga(0x2E, "1", "-1", kZU11EG, kIndustrial);
    r.u8(0x3E, kPcbRev21);
}

// Layout X: build code first, board temperature grade, XMC kind in the mask.
void layoutX(Record& r) {
    r.u8(0x0E, kPcbRev21);
    r.u8(0x0F, kIndustrial);
    r.u8(0x10, 0x01);  // VITA 61 XMC2
}

// Layout Z: two SI5338s on 1478, one on 1479; DDR4 and ZBT SSRAM banks.
void layoutZ(uint32_t dn, Record& r) {
    r.u32(0x0C, 0);
    r.u8(0x12, 0);
    r.u8(0x13, 0);
    r.u32(0x14, kRefClock25M);
    if (dn == 1478) r.u32(0x18, kRefClock25M);
    for (uint32_t i = 0; i < 2; ++i) r.bank(0x1C + 4 * i, kDdr4_2400, 29);  // 2 GiB
    for (uint32_t i = 0; i < 4; ++i) r.bank(0x24 + 4 * i, 2000, 20);         // 200 MHz, 4 MiB
    r.fpga(0x34, "1", "-2", kKU060, kIndustrial);
    r.u8(0x44, kPcbRev21);
}

}  // namespace

const std::vector<SimModel>& knownModels() {
    static const std::vector<SimModel> models = {
        {1305, "CARD-A30"}, {1308, "CARD-A07"}, {1319, "CARD-A08"}, {1322, "CARD-A13"}, {1323, "CARD-A23"},
        {1329, "CARD-A10"}, {1339, "CARD-A14"}, {1341, "CARD-A12"}, {1342, "CARD-A08-FH"}, {1353, "CARD-A27"},
        {1360, "CARD-A21"}, {1365, "CARD-A11"}, {1377, "CARD-A22"}, {1385, "CARD-A15"}, {1413, "CARD-A24"},
        {1422, "CARD-A16"}, {1426, "CARD-A17"}, {1429, "CARD-A02"}, {1430, "CARD-A03"}, {1437, "CARD-A29"},
        {1440, "CARD-A31"}, {1456, "CARD-A06"}, {1461, "CARD-A20"}, {1467, "CARD-A18"}, {1474, "CARD-A01"},
        {1478, "CARD-A32"}, {1479, "CARD-A33"}, {1486, "CARD-A05"}, {1492, "CARD-A04"}, {1495, "CARD-A19"},
        {1501, "CARD-A26"}, {1510, "CARD-A28"}, {1528, "CARD-A34"}, {1548, "CARD-A25"},
    };
    return models;
}

std::vector<uint32_t> knownDrawingNumbers() {
    std::vector<uint32_t> numbers;
    for (const SimModel& m : knownModels()) numbers.push_back(m.drawingNumber);
    return numbers;
}

void buildVpdRecord(uint32_t drawingNumber, uint32_t serialNumber, uint8_t vpd[kSimVpdSize]) {
    std::memset(vpd, 0, kSimVpdSize);
    Record r(vpd);
    r.u16(0x00, 0);  // version
    r.u16(0x02, static_cast<uint16_t>(kRecordLength));
    r.u32(0x04, drawingNumber);
    r.u32(0x08, serialNumber);

    switch (drawingNumber) {
        case 1305:
        case 1440:
            layoutK(drawingNumber, r);
            break;
        case 1308:
        case 1319:
        case 1322:
        case 1329:
        case 1339:
        case 1342:
            layoutA(drawingNumber, r);
            break;
        case 1385:
        case 1422:
            layoutBDE(drawingNumber, r, true, true, drawingNumber == 1422 ? kVU13P : kVU9P);
            break;
        case 1461:
            layoutBDE(drawingNumber, r, false, false, kVC1902);
            break;
        case 1467:
        case 1474:
        case 1495:
            layoutBDE(drawingNumber, r, false, true, drawingNumber == 1495 ? kVM1802 : kVP1802);
            break;
        case 1360:
            layoutG(r);
            break;
        case 1341:
        case 1365:
            layoutH(drawingNumber, r);
            break;
        case 1377:
        case 1426:
            layoutJM(drawingNumber, r, 4);
            break;
        case 1486:
            layoutJM(drawingNumber, r, 2);
            break;
        case 1429:
        case 1430:
            layoutPQ(drawingNumber, r, true, 2, 27);  // 8-byte words: 1 GiB
            break;
        case 1492:
            layoutPQ(drawingNumber, r, false, 4, 29);  // 4-byte words: 2 GiB
            break;
        case 1353:
        case 1510:
            layoutR(drawingNumber, r);
            break;
        case 1437:
        case 1528:
            layoutST(drawingNumber, r);
            break;
        case 1323:
            layoutU(r);
            break;
        case 1413:
        case 1501:
        case 1548:
            layoutX(r);
            break;
        case 1478:
        case 1479:
            layoutZ(drawingNumber, r);
            break;
        default:
            break;  // 1456 and unknown numbers: header only
    }

    uint8_t sum = 0;
    for (uint32_t i = 0; i + 1 < kRecordLength; ++i) sum = static_cast<uint8_t>(sum + vpd[i]);
    vpd[kRecordLength - 1] = static_cast<uint8_t>(0x100 - sum);
}

void buildOptionVpd(const SimOptions& options, uint8_t vpd[kSimVpdSize]) {
    buildVpdRecord(options.vpdDrawing.value_or(options.model), options.serial, vpd);
    if (options.vpdVersion) {
        vpd[0] = static_cast<uint8_t>(*options.vpdVersion);
        vpd[1] = static_cast<uint8_t>(*options.vpdVersion >> 8);
    }
    if (options.vpdLength) {
        vpd[2] = static_cast<uint8_t>(*options.vpdLength);
        vpd[3] = static_cast<uint8_t>(*options.vpdLength >> 8);
    }
    // Whatever was changed, the checksum is made right for the record's own
    // length field first, so --vpd-bad-checksum is the only way to get a
    // wrong one. A length outside 5..128 has no checksum position.
    uint32_t length = static_cast<uint32_t>(vpd[2]) | static_cast<uint32_t>(vpd[3]) << 8;
    if (length >= 5 && length <= kRecordLength) {
        uint8_t sum = 0;
        for (uint32_t i = 0; i + 1 < length; ++i) sum = static_cast<uint8_t>(sum + vpd[i]);
        vpd[length - 1] = static_cast<uint8_t>(-sum);
        if (options.vpdBadChecksum) vpd[length - 1] = static_cast<uint8_t>(vpd[length - 1] ^ 0x5A);
    } else if (options.vpdBadChecksum) {
        vpd[kRecordLength - 1] = static_cast<uint8_t>(vpd[kRecordLength - 1] ^ 0x5A);
    }
}

}  // namespace zsim
