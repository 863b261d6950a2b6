// The shared field printers of the VPD display. Each line kind has its one
// literal format here; the layout tables only say which line, where and how
// to decode.
#include <cstdio>
#include <cstring>
#include <iterator>

#include "base/bytes.h"
#include "base/out.h"
#include "boardinfo/vpd.h"
#include "boardinfo/vpd_layouts.h"

namespace {

using L = VpdLine;

const char* textOf(const VpdTextTable* texts, uint32_t index) {
    const char* text = vpdTableText(texts, index);
    return text != nullptr ? text : "UNRECOGNIZED";
}

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

/// The value part of a memory size line (the label is printed by the caller).
void printSize(uint64_t size, VpdSizeRule rule) {
    // Quotients are printed as 32-bit values, as the line formats have them.
    // Decision: sizes of 2^62 bytes or more (no board comes near them; only a
    // damaged record holds such codes) print what this arithmetic gives, for
    // example 0 GiB for 2^62 bytes, rather than a message of their own.
    if (rule == VpdSizeRule::NotFittedIfZero && size == 0) {
        out("NOT FITTED\n");
    } else if (rule == VpdSizeRule::Zbt) {
        if (size >= (uint64_t{1} << 20)) {
            out("%u MiB\n", static_cast<unsigned>(size >> 20));
        } else {
            out("%u kiB\n", static_cast<unsigned>(size >> 10));
        }
    } else if (size >= (uint64_t{1} << 30)) {
        out("%u GiB\n", static_cast<unsigned>(size >> 30));
    } else {
        out("%u MiB\n", static_cast<unsigned>(size >> 20));
    }
}

/// The value part of a ranks line.
void printRanks(uint8_t ranks) {
    const unsigned dies = ranks & 0x7Fu;
    out("%s\n", vpdRanksText(ranks).c_str());
    if ((ranks & 0x80u) != 0) {
        if (dies < 2) out("*** ERROR: Multi-die flag 0x80 is present, but no. of dies < 2\n");
    } else if (dies != 1 && dies != 2) {
        // A count of 0 lands here too: it is as wrong as a count above 2.
        out("*** ERROR: Multi-die flag 0x80 is absent, but no. of dies > 2\n");
    }
}

/// An unterminated ASCII field of at most `width` bytes, up to the first NUL.
/// Bytes outside printable ASCII are shown as '.', as in the raw dump, so a
/// damaged record cannot put control sequences on the user's terminal.
struct VpdText {
    char text[9] = {};
    VpdText(const uint8_t* p, size_t width) {
        for (size_t i = 0; i < width && i < sizeof(text) - 1 && p[i] != 0; ++i) {
            text[i] = (p[i] >= 0x20 && p[i] <= 0x7E) ? static_cast<char>(p[i]) : '.';
        }
    }
};

void printFpgaIdentity(const uint8_t* p) {
    out("  FPGA stepping                      \"%s\"\n", VpdText(p, 8).text);
    out("  FPGA speed grade                   \"%s\"\n", VpdText(p + 8, 4).text);
    const unsigned device = getLe16(p + 12);
    out("  FPGA device                        %u (0x%04X) => %s\n", device, device,
        fpgaDeviceName(static_cast<uint16_t>(device)));
    const unsigned grade = p[14];
    out("  FPGA temperature grade             %u (0x%02X) => %s\n", grade, grade,
        fpgaTemperatureGradeName(static_cast<uint8_t>(grade)));
}

void printCustomBuildCode(const uint8_t* p) {
    const unsigned code = p[0];
    const unsigned revision = p[1];
    out("  Custom build code, revision        %u, %u => %s\n", code, revision,
        vpdCustomBuildText(p[0], p[1]).c_str());
}

void printChipClass(unsigned k) {
    if (const char* name = vpdChipClassName(k)) {
        out("                                     => %s (000%u)\n", name, k);
    } else {
        out("                                     => UNRECOGNISED DDR4 CHIP CLASS %u(0x%X)\n", k, k);
    }
}

void printBitLine(VpdLine line, const char* text) {
    switch (line) {
        case L::BitSw1:
            out("                                     => SW1 (DIP switch): %s\n", text);
            break;
        case L::BitRs232Converter:
            out("                                     => RS232 converter:          %s\n", text);
            break;
        case L::BitSi5328JitterAttenuator:
            out("                                     => SI5328 jitter attenuator: %s\n", text);
            break;
        case L::BitFireFlyModules:
            out("                                     => FireFly modules:          %s\n", text);
            break;
        case L::BitZqsfpModules:
            out("                                     => zQSFP modules:            %s\n", text);
            break;
        case L::BitActiveCoolingFans:
            out("                                     => Active cooling fans:      %s\n", text);
            break;
        case L::BitOptics:
            out("                                     => Optics: %s\n", text);
            break;
        case L::BitVccPsbatt:
            out("                                     => VCC_PSBATT: %s\n", text);
            break;
        case L::BitPn6Connector:
            out("                                     => Pn6 connector: %s\n", text);
            break;
        case L::BitPn4Connector:
            out("                                     => Pn4 connector: %s\n", text);
            break;
        case L::BitAdcRfTransformer:
            out("                                     => ADC RF transformer type: %s\n", text);
            break;
        case L::BitRfConnector:
            out("                                     => RF connector type: %s\n", text);
            break;
        case L::BitDacRfTransformer:
            out("                                     => DAC RF transformer type: %s\n", text);
            break;
        case L::BitXmcConnector:
            out("                                     => XMC connector type: %s\n", text);
            break;
        case L::BitFireFlyConnector:
            out("                                     => FireFly connector: %s\n", text);
            break;
        case L::BitSi5338RefClockSource:
            out("                                     => SI5338 ref. clock: %s\n", text);
            break;
        case L::BitHeatsink:
            out("                                     => Heatsink: %s\n", text);
            break;
        case L::BitFans:
            out("                                     => Fans: %s\n", text);
            break;
        case L::BitTopShroud:
            out("                                     => Top shroud: %s\n", text);
            break;
        default:
            break;
    }
}

void printBankGroup(const VpdField& field, const uint8_t* vpd) {
    for (unsigned bank = 0; bank < field.count; ++bank) {
        const uint8_t* entry = vpd + field.offset + bank * field.stride;
        const unsigned f = getLe16(entry);
        const unsigned s = entry[2];
        const unsigned r = entry[3];
        const uint64_t size = vpdMemorySize(entry[2], field.wordSize, field.sizeRule);
        switch (field.line) {
            case L::Ddr4Banks:
                out("  DDR4 SDRAM bank %u max. frequency   %u (0x%04X) => %u MHz / DDR4-%u\n", bank, f, f,
                    vpdFrequencyMhz(f), vpdDdr4DataRate(f));
                out("  DDR4 SDRAM bank %u size             %u (0x%02X) => ", bank, s, s);
                printSize(size, field.sizeRule);
                if (field.ranks) {
                    out("  DDR4 SDRAM bank %u ranks            %u (0x%02X) => ", bank, r, r);
                    printRanks(entry[3]);
                }
                break;
            case L::PlDdr4Banks:
                out("  PL DDR4 SDRAM bank %u max. freq.    %u (0x%04X) => %u MHz / DDR4-%u\n", bank, f, f,
                    vpdFrequencyMhz(f), vpdDdr4DataRate(f));
                out("  PL DDR4 SDRAM bank %u size log 2    %u (0x%02X) => ", bank, s, s);
                printSize(size, field.sizeRule);
                if (field.ranks) {
                    out("  PL DDR4 SDRAM bank %u ranks         %u (0x%02X) => ", bank, r, r);
                    printRanks(entry[3]);
                }
                break;
            case L::ZbtSsramBanks:
                out("  ZBT SSRAM bank %u max. frequency    %u (0x%04X) => %u MHz\n", bank, f, f, vpdFrequencyMhz(f));
                out("  ZBT SSRAM bank %u size              %u (0x%02X) => ", bank, s, s);
                printSize(size, field.sizeRule);
                break;
            case L::PsQspiFlashBanks: {
                // Size codes only: the entry is the code itself.
                const unsigned code = entry[0];
                out("  PS QSPI Flash bank %u size Log 2    %u (0x%02X) => ", bank, code, code);
                printSize(vpdMemorySize(entry[0], field.wordSize, field.sizeRule), field.sizeRule);
                break;
            }
            default:
                break;
        }
    }
}

void printSizeField(const VpdField& field, uint8_t code) {
    const unsigned s = code;
    switch (field.line) {
        case L::PsDdr4Size64:
            out("  PS DDR4 SDRAM 64b word size log 2  %u (0x%02X) => ", s, s);
            break;
        case L::PsDdr4Size32:
            out("  PS DDR4 SDRAM 32b word size log 2  %u (0x%02X) => ", s, s);
            break;
        case L::PsEmmcFlashSize:
            out("  PS EMMC Flash size log 2           %u (0x%02X) => ", s, s);
            break;
        case L::PsSataFlashSize:
            out("  PS SATA Flash size log 2           %u (0x%02X) => ", s, s);
            break;
        case L::PsEmmcMemorySize:
            out("  PS EMMC memory size log 2          %u (0x%02X) => ", s, s);
            break;
        case L::PsQspiFlashMemorySize:
            out("  PS QSPI flash memory size log 2    %u (0x%02X) => ", s, s);
            break;
        case L::HbmDieCapacity:
            out("  HBM die capacity                   %u (0x%02X) => ", s, s);
            break;
        default:
            return;
    }
    printSize(vpdMemorySize(code, field.wordSize, field.sizeRule), field.sizeRule);
}

}  // namespace

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

void printVpdField(const VpdField& field, const uint8_t* vpd) {
    const uint8_t* p = vpd + field.offset;
    if (vpdFieldIsBitField(field)) {
        const uint32_t value = vpdFieldValue(field, vpd);
        if (field.line == L::Ddr4ChipClass) {
            printChipClass(value);
        } else {
            printBitLine(field.line, textOf(field.texts, value));
        }
        return;
    }
    const unsigned v = vpdFieldValue(field, vpd);
    switch (field.line) {
        case L::PcbRevision:
            out("  PCB revision                       %u (0x%02X) => %u.%u\n", v, v, v >> 4, v & 0xFu);
            break;
        case L::CpldRevision:
            out("  CPLD revision                      %u (0x%02X) => %u.%u\n", v, v, v >> 4, v & 0xFu);
            break;
        case L::ModificationsByte:
            out("  Modifications bitmask              %u (0x%02X)\n", v, v);
            break;
        case L::ModificationsWide:
            out("  Modifications bitmask              %u (0x%08X)\n", v, v);
            break;
        case L::CustomBuildCode:
            printCustomBuildCode(p);
            break;
        case L::CoolingType:
            out("  Cooling type                       %u (0x%02X) => %s\n", v, v, textOf(field.texts, v));
            break;
        case L::CoatingType:
            out("  Coating type                       %u (0x%02X) => %s\n", v, v, textOf(field.texts, v));
            break;
        case L::Pn4Connector:
            out("  Pn4 connector                      %u (0x%02X) => %s\n", v, v, textOf(field.texts, v));
            break;
        case L::BoardTemperatureGrade:
            out("  Board temperature grade            %u (0x%02X) => %s\n", v, v, textOf(field.texts, v));
            break;
        case L::FpgaPackage:
            out("  FPGA package                       %u (0x%02X) => %s\n", v, v, textOf(field.texts, v));
            break;
        case L::FpgaSpaceGrade:
            out("  FPGA space grade                   %u (0x%02X) => %s\n", v, v, textOf(field.texts, v));
            break;
        case L::Si5338RefClock:
            out("  SI5338 ref. clock frequency        %u (0x%08X) Hz\n", v, v);
            break;
        case L::Si5338RefClockShort:
            out("  SI5338 ref. clock freq.            %u (0x%08X) Hz\n", v, v);
            break;
        case L::InternalSi5338RefClock:
            out("  Internal SI5338 ref. clock freq.   %u (0x%08X) Hz\n", v, v);
            break;
        case L::Si5338RefClock0:
            out("  SI5338 0 (U67) ref. clock freq.    %u (0x%08X) Hz\n", v, v);
            break;
        case L::Si5338RefClock1:
            out("  SI5338 1 (U8) ref. clock freq.     %u (0x%08X) Hz\n", v, v);
            break;
        case L::EmcclkClock:
            out("  EMCCLK clock frequency             %u (0x%08X) Hz\n", v, v);
            break;
        case L::FabricClock:
            out("  Fabric clock frequency             %u (0x%08X) Hz\n", v, v);
            break;
        case L::PsRefClock:
            out("  PS ref. clock frequency            %u (0x%08X) Hz\n", v, v);
            break;
        case L::Lmk04208RefClock:
            out("  LMK04208 ref. clock frequency      %u (0x%X) Hz\n", v, v);
            break;
        case L::Lmk04208VcxoClock:
            out("  LMK04208 VCXO clock frequency      %u (0x%X) Hz\n", v, v);
            break;
        case L::Ddr4Banks:
        case L::PlDdr4Banks:
        case L::ZbtSsramBanks:
        case L::PsQspiFlashBanks:
            printBankGroup(field, vpd);
            break;
        case L::PsDdr4Frequency:
            out("  PS DDR4 SDRAM max. frequency       %u (0x%04X) => %u MHz / DDR4-%u\n", v, v, vpdFrequencyMhz(v),
                vpdDdr4DataRate(v));
            break;
        case L::PsDdr4Ranks:
            out("  PS DDR4 SDRAM ranks                %u (0x%02X) => ", v, v);
            printRanks(p[0]);
            break;
        case L::HbmFrequency:
            out("  HBM max. frequency                 %u (0x%04X) => %u MHz\n", v, v, v / 10);
            break;
        case L::HbmDieCount:
            out("  HBM die count                      %u (0x%02X)\n", v, v);
            break;
        case L::PsDdr4Size64:
        case L::PsDdr4Size32:
        case L::PsEmmcFlashSize:
        case L::PsSataFlashSize:
        case L::PsEmmcMemorySize:
        case L::PsQspiFlashMemorySize:
        case L::HbmDieCapacity:
            printSizeField(field, p[0]);
            break;
        case L::FpgaIdentity:
            printFpgaIdentity(p);
            break;
        default:
            break;
    }
}

void printVpdLayout(const VpdLayout& layout, uint32_t drawingNumber, const uint8_t* vpd) {
    for (const VpdField& field : layout.fields) {
        if (field.models.includes(drawingNumber)) printVpdField(field, vpd);
    }
}
