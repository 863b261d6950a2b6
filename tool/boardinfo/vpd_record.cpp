// The VPD decoder: a record's bytes into its header, model, layout lines and
// checksum, and the value helpers of the lines.
#include "boardinfo/vpd_record.h"

#include <cstdio>
#include <cstring>
#include <iterator>

#include "base/bytes.h"
#include "boardinfo/vpd.h"

namespace {

using L = VpdLine;

uint32_t readValue(const uint8_t* p, uint8_t width) {
    switch (width) {
        case 2:
            return getLe16(p);
        case 4:
            return getLe32(p);
        default:
            return p[0];
    }
}

/// A name of the lookup tables, or null for their "UNRECOGNIZED".
const char* knownName(const char* name) { return std::strcmp(name, "UNRECOGNIZED") == 0 ? nullptr : name; }

VpdItem item(VpdLine line, unsigned offset, uint32_t value) {
    VpdItem i;
    i.line = line;
    i.offset = static_cast<uint8_t>(offset);
    i.value = value;
    return i;
}

VpdItem sizeItem(VpdLine line, unsigned offset, uint8_t code, const VpdField& f) {
    VpdItem i = item(line, offset, code);
    i.size = vpdMemorySize(code, f.wordSize, f.sizeRule);
    i.sizeRule = f.sizeRule;
    return i;
}

VpdItem bytesItem(VpdLine line, unsigned offset, const uint8_t* p, uint8_t n) {
    VpdItem i = item(line, offset, p[0]);
    std::memcpy(i.bytes, p, n);
    i.byteCount = n;
    return i;
}

/// The lines of one bank entry. ZBT SSRAM entries have no ranks byte and PS
/// QSPI entries hold only a size code: their rows repeat the size line in
/// the places that are never read.
struct BankLines {
    VpdLine group, frequency, size, ranks;
};
constexpr BankLines kBankLines[] = {
    {L::Ddr4Banks, L::Ddr4BankFrequency, L::Ddr4BankSize, L::Ddr4BankRanks},
    {L::PlDdr4Banks, L::PlDdr4BankFrequency, L::PlDdr4BankSize, L::PlDdr4BankRanks},
    {L::ZbtSsramBanks, L::ZbtSsramBankFrequency, L::ZbtSsramBankSize, L::ZbtSsramBankSize},
    {L::PsQspiFlashBanks, L::PsQspiFlashBankSize, L::PsQspiFlashBankSize, L::PsQspiFlashBankSize},
};

void decodeBanks(const VpdField& f, const uint8_t* vpd, std::vector<VpdItem>& items) {
    const BankLines* lines = nullptr;
    for (const BankLines& b : kBankLines) {
        if (b.group == f.line) lines = &b;
    }
    for (unsigned bank = 0; bank < f.count; ++bank) {
        const unsigned offset = f.offset + bank * f.stride;
        const uint8_t* e = vpd + offset;
        const size_t first = items.size();
        if (f.line == L::PsQspiFlashBanks) {
            // Size codes only: the entry is the code itself.
            items.push_back(sizeItem(lines->size, offset, e[0], f));
        } else {
            items.push_back(item(lines->frequency, offset, getLe16(e)));
            items.push_back(sizeItem(lines->size, offset + 2, e[2], f));
            if (f.ranks) items.push_back(item(lines->ranks, offset + 3, e[3]));
        }
        for (size_t i = first; i < items.size(); ++i) items[i].bank = static_cast<uint8_t>(bank);
    }
}

void decodeFpgaIdentity(unsigned offset, const uint8_t* p, std::vector<VpdItem>& items) {
    items.push_back(bytesItem(L::FpgaStepping, offset, p, 8));
    items.push_back(bytesItem(L::FpgaSpeedGrade, offset + 8, p + 8, 4));
    VpdItem device = item(L::FpgaDevice, offset + 12, getLe16(p + 12));
    device.text = knownName(fpgaDeviceName(static_cast<uint16_t>(device.value)));
    items.push_back(device);
    VpdItem grade = item(L::FpgaTemperatureGrade, offset + 14, p[14]);
    grade.text = knownName(fpgaTemperatureGradeName(p[14]));
    items.push_back(grade);
}

void decodeField(const VpdField& f, const uint8_t* vpd, std::vector<VpdItem>& items) {
    const uint8_t* p = vpd + f.offset;
    if (f.count != 0) return decodeBanks(f, vpd, items);
    if (f.line == L::FpgaIdentity) return decodeFpgaIdentity(f.offset, p, items);
    VpdItem i = item(f.line, f.offset, vpdFieldValue(f, vpd));
    switch (vpdLineRow(f.line).show) {
        case VpdShow::Choice:
        case VpdShow::Bit:
            i.text = vpdTableText(f.texts, i.value);
            break;
        case VpdShow::ChipClass:
            i.text = vpdChipClassName(i.value);
            break;
        case VpdShow::BuildCode:
            i = bytesItem(f.line, f.offset, p, 2);
            break;
        case VpdShow::Size:
            i = sizeItem(f.line, f.offset, p[0], f);
            break;
        default:
            break;
    }
    items.push_back(i);
}

}  // namespace

bool VpdRecord::versionRecognised() const { return header.version <= kVpdVersionRecognised; }

bool VpdRecord::pcbRevision(uint8_t* revision) const {
    for (const VpdItem& i : items) {
        if (i.line != L::PcbRevision) continue;
        *revision = static_cast<uint8_t>(i.value);
        return true;
    }
    return false;
}

uint32_t VpdRecord::pcbMajorRevision() const {
    uint8_t revision = 0;
    return pcbRevision(&revision) ? revision >> 4u : 0;
}

VpdRecord decodeVpd(const uint8_t* vpd) {
    VpdRecord r;
    r.header = decodeVpdHeader(vpd);
    r.model = knownName(drawingNumberToModel(r.header.drawingNumber));
    r.layout = vpdLayoutFor(r.header.drawingNumber);
    if (r.layout != nullptr) {
        for (const VpdField& field : r.layout->fields) {
            if (field.models.includes(r.header.drawingNumber)) decodeField(field, vpd, r.items);
        }
    }
    r.checksumChecked = vpdChecksum(vpd, r.header.length, &r.storedChecksum, &r.calculatedChecksum);
    return r;
}

std::string vpdItemName(const char* pattern, const VpdItem& item) {
    std::string name;
    for (const char* c = pattern; *c != 0; ++c) {
        if (*c == '#') {
            name += std::to_string(item.bank);
        } else {
            name += *c;
        }
    }
    return name;
}

uint64_t vpdMemorySize(uint8_t sizeCode, uint8_t wordSize, VpdSizeRule rule) {
    if (rule == VpdSizeRule::ThirtyTwoBit) {
        // Layout U's QSPI sizes are 32-bit quantities. Codes of 32 or more
        // cannot be meant; like 2^S for S >= 64 in 64 bits, 2^S is taken as
        // 0 there, so the line shows 0 MiB instead of an arbitrary number.
        if (sizeCode >= 32) return 0;
        return static_cast<uint32_t>(uint32_t{wordSize} << sizeCode);
    }
    if (sizeCode >= 64) return 0;
    return uint64_t{wordSize} << sizeCode;  // wraps modulo 2^64, as 64-bit arithmetic does
}

uint32_t vpdFieldValue(const VpdField& field, const uint8_t* vpd) {
    const uint32_t value = readValue(vpd + field.offset, field.width);
    if (!vpdFieldIsBitField(field)) return value;
    return (value >> field.bitShift) & ((1u << field.bitCount) - 1u);
}

const char* vpdTableText(const VpdTextTable* texts, uint32_t index) {
    if (texts == nullptr || index >= texts->count) return nullptr;
    return texts->texts[index];
}

const char* vpdChipClassName(uint32_t chipClass) {
    constexpr const char* kNames[] = {"DDR4-2400 CL16", "DDR4-2400 CL17"};
    return chipClass < std::size(kNames) ? kNames[chipClass] : nullptr;
}

std::string vpdRanksText(uint8_t ranks) {
    const unsigned dies = ranks & 0x7Fu;
    char text[40];
    if ((ranks & 0x80u) != 0) {
        std::snprintf(text, sizeof text, "multi-die, %u dies", dies);
    } else if (dies == 1) {
        return "single-die";
    } else if (dies == 2) {
        return "traditional twin-die";
    } else {
        std::snprintf(text, sizeof text, "traditional %u dies", dies);
    }
    return text;
}

std::string vpdCustomBuildText(uint8_t code, uint8_t revision) {
    if (code == 0) return "Standard build";
    char text[16];
    std::snprintf(text, sizeof text, "/C%u.%u", code, revision);
    return text;
}
