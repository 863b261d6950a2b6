// The VPD layouts by model: one table per layout letter, rows in printing
// order (which is not always the order of their offsets). Per-model
// differences inside a layout are rows restricted to some drawing numbers.
#include "boardinfo/vpd_layouts.h"

#include <array>

#include "boardinfo/vpd.h"

namespace {

// ---- Text tables -----------------------------------------------------------

// "commerical" is misspelt, but it is the text users and their scripts know.
constexpr const char* kCoolingLongTexts[] = {"Air-cooled commerical", "/AC1 - air-cooled industrial",
                                             "/CC1 - conduction-cooled industrial"};
constexpr const char* kCoolingShortTexts[] = {"Air-cooled commerical", "Air-cooled industrial",
                                              "Conduction-cooled industrial"};
constexpr const char* kCoatingNamedTexts[] = {"No coating", "/A - Acrylic (Humiseal 1B31)",
                                              "/P - Polyurethane (Conathane CE-1155)"};
constexpr const char* kCoatingCodedTexts[] = {"No coating", "/A - Acrylic", "/P - Polyurethane"};
constexpr const char* kCoatingFourTexts[] = {"No coating", "Acrylic", "Polyurethane", "Parylene"};
constexpr const char* kPn4FittingTexts[] = {"NOT FITTED", "FITTED"};
constexpr const char* kXmcMixedTexts[] = {"Vita 42 (XMC)", "Vita 61 (XMC2)", "Vita 88 (XMC+)"};
constexpr const char* kXmcUpperTexts[] = {"VITA 42 XMC", "VITA 61 XMC2", "VITA 88 XMC+"};
constexpr const char* kRfTransformerThreeTexts[] = {"MiniCircuits TCM2-43X+", "MiniCircuits TCM2-672X+",
                                                    "MiniCircuits TCM2-63WX+"};
constexpr const char* kRfTransformerOneTexts[] = {"Macom MABA-011118"};
constexpr const char* kRfConnectorPinsTexts[] = {"Right-angle Nicomatic (part CMM342D000F51-0020-240002)",
                                                 "Straight Nicomatic pins (part 22-1300-12)", "Not fitted"};
constexpr const char* kRfConnectorCoaxialTexts[] = {"Right-Angle Rosenberger 23C25H-40ML5", "Reserved",
                                                    "Not fitted"};
constexpr const char* kFpgaPackageTexts[] = {"FFVE1156", "FFSE1156"};
constexpr const char* kBoardTemperatureGradeTexts[] = {"C (Commercial)", "I (Industrial)", "E (Extended)"};
constexpr const char* kSpaceGradeTexts[] = {"Not space grade", "Space grade"};
// Two-text bit lines, indexed by the bit: clear first, set second.
constexpr const char* kSetFittedTexts[] = {"NOT FITTED", "FITTED"};
constexpr const char* kSetNotFittedTexts[] = {"FITTED", "NOT FITTED"};
constexpr const char* kHeatsinkTexts[] = {"1-SLOT", "2-SLOT"};
constexpr const char* kClockSourceTexts[] = {"Internal", "From VPX conn."};
constexpr const char* kEnabledTexts[] = {"DISABLED", "ENABLED"};

template <size_t N>
constexpr VpdTextTable table(const char* const (&texts)[N]) {
    return {texts, static_cast<uint8_t>(N)};
}

constexpr VpdTextTable kCoolingLong = table(kCoolingLongTexts);
constexpr VpdTextTable kCoolingShort = table(kCoolingShortTexts);
constexpr VpdTextTable kCoatingNamed = table(kCoatingNamedTexts);
constexpr VpdTextTable kCoatingCoded = table(kCoatingCodedTexts);
constexpr VpdTextTable kCoatingFour = table(kCoatingFourTexts);
constexpr VpdTextTable kPn4Fitting = table(kPn4FittingTexts);
constexpr VpdTextTable kXmcMixed = table(kXmcMixedTexts);
constexpr VpdTextTable kXmcUpper = table(kXmcUpperTexts);
constexpr VpdTextTable kRfTransformerThree = table(kRfTransformerThreeTexts);
constexpr VpdTextTable kRfTransformerOne = table(kRfTransformerOneTexts);
constexpr VpdTextTable kRfConnectorPins = table(kRfConnectorPinsTexts);
constexpr VpdTextTable kRfConnectorCoaxial = table(kRfConnectorCoaxialTexts);
constexpr VpdTextTable kFpgaPackage = table(kFpgaPackageTexts);
constexpr VpdTextTable kBoardTemperatureGrade = table(kBoardTemperatureGradeTexts);
constexpr VpdTextTable kSpaceGrade = table(kSpaceGradeTexts);
constexpr VpdTextTable kSetFitted = table(kSetFittedTexts);
constexpr VpdTextTable kSetNotFitted = table(kSetNotFittedTexts);
constexpr VpdTextTable kHeatsink = table(kHeatsinkTexts);
constexpr VpdTextTable kClockSource = table(kClockSourceTexts);
constexpr VpdTextTable kEnabled = table(kEnabledTexts);

// ---- Row builders ----------------------------------------------------------

using L = VpdLine;

/// A plain field: revision, mask, clock word, frequency, custom build code,
/// FPGA identity group, ranks or die count.
constexpr VpdField at(VpdLine line, uint8_t offset, uint8_t width = 1) {
    VpdField f{line};
    f.offset = offset;
    f.width = width;
    return f;
}
/// An enumerated byte.
constexpr VpdField enumerated(VpdLine line, uint8_t offset, const VpdTextTable& texts) {
    VpdField f = at(line, offset);
    f.texts = &texts;
    return f;
}
/// A bit line (or chip class) from the mask at maskOffset of maskWidth bytes.
constexpr VpdField bits(VpdLine line, uint8_t maskOffset, uint8_t maskWidth, uint8_t shift, uint8_t count,
                        const VpdTextTable* texts) {
    VpdField f = at(line, maskOffset, maskWidth);
    f.bitShift = shift;
    f.bitCount = count;
    f.texts = texts;
    return f;
}
/// A single memory size code.
constexpr VpdField sizeCode(VpdLine line, uint8_t offset, uint8_t wordSize,
                            VpdSizeRule rule = VpdSizeRule::Plain) {
    VpdField f = at(line, offset);
    f.wordSize = wordSize;
    f.sizeRule = rule;
    return f;
}
/// A group of bank entries.
constexpr VpdField banks(VpdLine line, uint8_t offset, uint8_t count, uint8_t stride, uint8_t wordSize,
                         bool ranks, VpdSizeRule rule = VpdSizeRule::Plain) {
    VpdField f = sizeCode(line, offset, wordSize, rule);
    f.count = count;
    f.stride = stride;
    f.ranks = ranks;
    return f;
}
constexpr VpdField only(VpdField f, uint16_t a, uint16_t b = 0, uint16_t c = 0) {
    f.models = {VpdModels::Only, {a, b, c}};
    return f;
}
constexpr VpdField except(VpdField f, uint16_t a, uint16_t b = 0, uint16_t c = 0) {
    f.models = {VpdModels::Except, {a, b, c}};
    return f;
}

// ---- Layouts ---------------------------------------------------------------

constexpr VpdField kLayoutK[] = {
    at(L::ModificationsWide, 0x0C, 4),
    only(bits(L::BitSw1, 0x0C, 4, 0, 1, &kSetFitted), 1440),
    enumerated(L::CoolingType, 0x10, kCoolingLong),
    enumerated(L::CoatingType, 0x11, kCoatingNamed),
    enumerated(L::Pn4Connector, 0x12, kPn4Fitting),
    at(L::Si5338RefClock, 0x14, 4),
    banks(L::Ddr4Banks, 0x28, 4, 8, 4, false),
    at(L::FpgaIdentity, 0x48),
    at(L::PcbRevision, 0x58),
};

constexpr VpdField kLayoutA[] = {
    at(L::PcbRevision, 0x0C),
    at(L::ModificationsByte, 0x0D),
    except(bits(L::BitRs232Converter, 0x0D, 1, 0, 1, &kSetFitted), 1322, 1339),
    only(bits(L::BitZqsfpModules, 0x0D, 1, 1, 1, &kSetFitted), 1308),
    only(bits(L::BitSi5328JitterAttenuator, 0x0D, 1, 1, 1, &kSetFitted), 1319, 1329, 1342),
    except(bits(L::BitFireFlyModules, 0x0D, 1, 2, 1, &kSetFitted), 1322, 1339),
    except(bits(L::Ddr4ChipClass, 0x0D, 1, 4, 4, nullptr), 1339),
    except(at(L::CustomBuildCode, 0x0E), 1308),
    at(L::Si5338RefClock, 0x10, 4),
    at(L::EmcclkClock, 0x24, 4),
    only(at(L::FabricClock, 0x28, 4), 1319, 1329, 1342),
    except(banks(L::Ddr4Banks, 0x30, 2, 8, 8, true), 1339),
    at(L::FpgaIdentity, 0x40),
};

constexpr VpdField kLayoutB[] = {
    at(L::PcbRevision, 0x0C),     at(L::ModificationsByte, 0x0D), at(L::CustomBuildCode, 0x0E),
    at(L::Si5338RefClock, 0x10, 4), at(L::EmcclkClock, 0x14, 4),  at(L::FpgaIdentity, 0x20),
};

constexpr VpdField kLayoutD[] = {
    at(L::PcbRevision, 0x0C),
    at(L::ModificationsByte, 0x0D),
    at(L::CustomBuildCode, 0x0E),
    at(L::FpgaIdentity, 0x20),
};

constexpr VpdField kLayoutE[] = {
    at(L::PcbRevision, 0x0C),  at(L::ModificationsByte, 0x0D), at(L::CustomBuildCode, 0x0E),
    at(L::EmcclkClock, 0x14, 4), at(L::FpgaIdentity, 0x20),
};

constexpr VpdField kLayoutG[] = {
    at(L::PcbRevision, 0x0C),
    at(L::ModificationsByte, 0x0D),
    at(L::CustomBuildCode, 0x0E),
    at(L::Si5338RefClock, 0x10, 4),
    at(L::FpgaIdentity, 0x40),
    enumerated(L::FpgaSpaceGrade, 0x4F, kSpaceGrade),
};

constexpr VpdField kLayoutH[] = {
    at(L::PcbRevision, 0x0C),
    at(L::ModificationsByte, 0x0D),
    only(bits(L::BitSi5328JitterAttenuator, 0x0D, 1, 0, 1, &kSetFitted), 1341),
    only(bits(L::BitActiveCoolingFans, 0x0D, 1, 1, 1, &kSetFitted), 1341),
    at(L::CustomBuildCode, 0x0E),
    at(L::Si5338RefClock, 0x10, 4),
    at(L::EmcclkClock, 0x14, 4),
    at(L::HbmFrequency, 0x18, 2),
    sizeCode(L::HbmDieCapacity, 0x1B, 1),
    at(L::HbmDieCount, 0x1A),  // printed after the capacity
    at(L::FpgaIdentity, 0x20),
};

constexpr VpdField kLayoutJ[] = {
    at(L::PcbRevision, 0x0C),
    at(L::ModificationsWide, 0x0D, 1),  // one byte, eight-digit format
    only(bits(L::BitFireFlyConnector, 0x0D, 1, 0, 1, &kSetFitted), 1377),
    only(bits(L::BitSi5338RefClockSource, 0x0D, 1, 1, 1, &kClockSource), 1377),
    at(L::CustomBuildCode, 0x0E),
    enumerated(L::CoolingType, 0x10, kCoolingLong),
    enumerated(L::CoatingType, 0x11, kCoatingNamed),
    at(L::InternalSi5338RefClock, 0x20, 4),
    at(L::EmcclkClock, 0x24, 4),
    banks(L::Ddr4Banks, 0x30, 4, 4, 8, false),
    at(L::FpgaIdentity, 0x40),
};

constexpr VpdField kLayoutM[] = {
    at(L::PcbRevision, 0x0C),
    at(L::ModificationsByte, 0x0D),
    at(L::CustomBuildCode, 0x0E),
    enumerated(L::CoolingType, 0x10, kCoolingLong),
    enumerated(L::CoatingType, 0x11, kCoatingNamed),
    at(L::InternalSi5338RefClock, 0x20, 4),
    at(L::EmcclkClock, 0x24, 4),
    banks(L::Ddr4Banks, 0x30, 2, 4, 8, false),
    at(L::FpgaIdentity, 0x40),
};

constexpr VpdField kLayoutP[] = {
    at(L::PcbRevision, 0x0C),
    at(L::ModificationsByte, 0x0D),
    bits(L::BitHeatsink, 0x0D, 1, 0, 1, &kHeatsink),
    bits(L::BitFans, 0x0D, 1, 1, 1, &kSetFitted),
    bits(L::BitTopShroud, 0x0D, 1, 2, 1, &kSetFitted),
    at(L::CustomBuildCode, 0x0E),
    at(L::InternalSi5338RefClock, 0x20, 4),
    at(L::EmcclkClock, 0x24, 4),
    banks(L::Ddr4Banks, 0x30, 2, 4, 8, false),
    at(L::FpgaIdentity, 0x40),
};

constexpr VpdField kLayoutQ[] = {
    at(L::PcbRevision, 0x0C),
    at(L::ModificationsByte, 0x0D),
    bits(L::BitHeatsink, 0x0D, 1, 0, 1, &kHeatsink),
    bits(L::BitFans, 0x0D, 1, 1, 1, &kSetFitted),
    bits(L::BitTopShroud, 0x0D, 1, 2, 1, &kSetFitted),
    at(L::CustomBuildCode, 0x0E),
    banks(L::Ddr4Banks, 0x30, 4, 4, 4, false),
    at(L::FpgaIdentity, 0x40),
};

// 1353 and 1510 differ in the RF parts fitted, so their transformer and
// connector fields index different tables.
constexpr VpdField kLayoutR[] = {
    at(L::ModificationsWide, 0x0C, 4),
    bits(L::BitPn6Connector, 0x0C, 4, 0, 1, &kSetNotFitted),
    bits(L::BitPn4Connector, 0x0C, 4, 1, 1, &kSetNotFitted),
    only(bits(L::BitAdcRfTransformer, 0x0C, 4, 2, 2, &kRfTransformerThree), 1353),
    only(bits(L::BitAdcRfTransformer, 0x0C, 4, 2, 2, &kRfTransformerOne), 1510),
    only(bits(L::BitRfConnector, 0x0C, 4, 4, 2, &kRfConnectorPins), 1353),
    only(bits(L::BitRfConnector, 0x0C, 4, 4, 2, &kRfConnectorCoaxial), 1510),
    bits(L::Ddr4ChipClass, 0x0C, 4, 6, 4, nullptr),
    only(bits(L::BitDacRfTransformer, 0x0C, 4, 10, 2, &kRfTransformerThree), 1353),
    only(bits(L::BitDacRfTransformer, 0x0C, 4, 10, 2, &kRfTransformerOne), 1510),
    bits(L::BitXmcConnector, 0x0C, 4, 12, 2, &kXmcMixed),
    at(L::CustomBuildCode, 0x10),
    enumerated(L::CoolingType, 0x12, kCoolingLong),
    enumerated(L::CoatingType, 0x13, kCoatingCoded),
    at(L::Si5338RefClock, 0x14, 4),
    at(L::PsRefClock, 0x18, 4),
    at(L::PsDdr4Frequency, 0x1C, 2),
    sizeCode(L::PsDdr4Size32, 0x1E, 4),
    banks(L::PlDdr4Banks, 0x20, 2, 4, 1, true),
    at(L::Lmk04208RefClock, 0x28, 4),
    at(L::Lmk04208VcxoClock, 0x2C, 4),
    at(L::FpgaIdentity, 0x30),
    enumerated(L::FpgaPackage, 0x3F, kFpgaPackage),
    at(L::PcbRevision, 0x40),
    at(L::CpldRevision, 0x41),
};

// Layout S's fields from the SI5338 clock on; layout T shares them.
#define ZORVI_LAYOUT_S_TAIL                                                     \
    at(L::Si5338RefClock, 0x14, 4), at(L::PsRefClock, 0x18, 4),                 \
        at(L::PsDdr4Frequency, 0x1C, 2), sizeCode(L::PsDdr4Size32, 0x1E, 8),    \
        banks(L::PlDdr4Banks, 0x20, 2, 4, 4, false),                            \
        sizeCode(L::PsEmmcMemorySize, 0x28, 1, VpdSizeRule::NotFittedIfZero),   \
        sizeCode(L::PsQspiFlashMemorySize, 0x2A, 1), at(L::FpgaIdentity, 0x30), \
        at(L::PcbRevision, 0x40)

constexpr VpdField kLayoutS[] = {
    at(L::ModificationsWide, 0x0C, 4),
    bits(L::BitPn6Connector, 0x0C, 4, 0, 1, &kSetNotFitted),
    bits(L::BitPn4Connector, 0x0C, 4, 1, 1, &kSetNotFitted),
    bits(L::BitXmcConnector, 0x0C, 4, 2, 2, &kXmcMixed),
    at(L::CustomBuildCode, 0x10),
    enumerated(L::CoolingType, 0x12, kCoolingLong),
    enumerated(L::CoatingType, 0x13, kCoatingCoded),
    ZORVI_LAYOUT_S_TAIL,
};

// Bytes 0x0C to 0x0F are not printed.
constexpr VpdField kLayoutT[] = {
    at(L::CustomBuildCode, 0x10),
    enumerated(L::CoolingType, 0x12, kCoolingShort),
    enumerated(L::CoatingType, 0x13, kCoatingFour),
    ZORVI_LAYOUT_S_TAIL,
};
#undef ZORVI_LAYOUT_S_TAIL

constexpr VpdField kLayoutU[] = {
    at(L::ModificationsWide, 0x0C, 2),
    bits(L::BitOptics, 0x0C, 2, 0, 1, &kSetFitted),
    bits(L::BitVccPsbatt, 0x0C, 2, 1, 1, &kEnabled),
    at(L::CustomBuildCode, 0x0E),
    at(L::Si5338RefClock, 0x10, 4),
    banks(L::PsQspiFlashBanks, 0x1C, 2, 2, 1, false, VpdSizeRule::ThirtyTwoBit),
    at(L::PsDdr4Frequency, 0x20, 2),
    sizeCode(L::PsDdr4Size64, 0x22, 8),
    at(L::PsDdr4Ranks, 0x23),
    sizeCode(L::PsEmmcFlashSize, 0x28, 1),
    sizeCode(L::PsSataFlashSize, 0x2A, 1),
    enumerated(L::CoolingType, 0x2C, kCoolingLong),
    enumerated(L::CoatingType, 0x2D, kCoatingNamed),
    at(L::FpgaIdentity, 0x2E),
    at(L::PcbRevision, 0x3E),
};

constexpr VpdField kLayoutX[] = {
    at(L::CustomBuildCode, 0x0C),
    at(L::PcbRevision, 0x0E),
    enumerated(L::BoardTemperatureGrade, 0x0F, kBoardTemperatureGrade),
    at(L::ModificationsByte, 0x10),
    bits(L::BitXmcConnector, 0x10, 1, 0, 2, &kXmcUpper),
};

constexpr VpdField kLayoutZ[] = {
    at(L::CustomBuildCode, 0x10),  // printed first
    at(L::ModificationsWide, 0x0C, 4),
    enumerated(L::CoolingType, 0x12, kCoolingLong),
    enumerated(L::CoatingType, 0x13, kCoatingCoded),
    only(at(L::Si5338RefClock0, 0x14, 4), 1478),
    only(at(L::Si5338RefClockShort, 0x14, 4), 1479),
    only(at(L::Si5338RefClock1, 0x18, 4), 1478),
    banks(L::Ddr4Banks, 0x1C, 2, 4, 4, false),
    banks(L::ZbtSsramBanks, 0x24, 4, 4, 4, false, VpdSizeRule::Zbt),
    at(L::FpgaIdentity, 0x34),
    at(L::PcbRevision, 0x44),
};

// ---- Lines -----------------------------------------------------------------

using S = VpdShow;

// One row per line, in enumerator order (the self-check test holds it to
// that): the label the text prints and the name the document gives.
constexpr VpdLineRow kLines[] = {
    {L::PcbRevision, S::Revision, "PCB revision", "pcb_revision"},
    {L::CpldRevision, S::Revision, "CPLD revision", "cpld_revision"},
    {L::ModificationsByte, S::Byte, "Modifications bitmask", "modifications_bitmask"},
    {L::ModificationsWide, S::Word, "Modifications bitmask", "modifications_bitmask"},
    {L::CustomBuildCode, S::BuildCode, "Custom build code, revision", "custom_build_code"},
    {L::CoolingType, S::Choice, "Cooling type", "cooling_type"},
    {L::CoatingType, S::Choice, "Coating type", "coating_type"},
    {L::Pn4Connector, S::Choice, "Pn4 connector", "pn4_connector"},
    {L::BoardTemperatureGrade, S::Choice, "Board temperature grade", "board_temperature_grade"},
    {L::FpgaPackage, S::Choice, "FPGA package", "fpga_package"},
    {L::FpgaSpaceGrade, S::Choice, "FPGA space grade", "fpga_space_grade"},
    {L::Si5338RefClock, S::Clock, "SI5338 ref. clock frequency", "si5338_ref_clock_frequency"},
    {L::Si5338RefClockShort, S::Clock, "SI5338 ref. clock freq.", "si5338_ref_clock_frequency"},
    {L::InternalSi5338RefClock, S::Clock, "Internal SI5338 ref. clock freq.", "internal_si5338_ref_clock_frequency"},
    {L::Si5338RefClock0, S::Clock, "SI5338 0 (U67) ref. clock freq.", "si5338_0_ref_clock_frequency"},
    {L::Si5338RefClock1, S::Clock, "SI5338 1 (U8) ref. clock freq.", "si5338_1_ref_clock_frequency"},
    {L::EmcclkClock, S::Clock, "EMCCLK clock frequency", "emcclk_clock_frequency"},
    {L::FabricClock, S::Clock, "Fabric clock frequency", "fabric_clock_frequency"},
    {L::PsRefClock, S::Clock, "PS ref. clock frequency", "ps_ref_clock_frequency"},
    {L::Lmk04208RefClock, S::ShortClock, "LMK04208 ref. clock frequency", "lmk04208_ref_clock_frequency"},
    {L::Lmk04208VcxoClock, S::ShortClock, "LMK04208 VCXO clock frequency", "lmk04208_vcxo_clock_frequency"},
    {L::BitSw1, S::Bit, "SW1 (DIP switch): ", "sw1_dip_switch"},
    {L::BitRs232Converter, S::Bit, "RS232 converter:          ", "rs232_converter"},
    {L::BitSi5328JitterAttenuator, S::Bit, "SI5328 jitter attenuator: ", "si5328_jitter_attenuator"},
    {L::BitFireFlyModules, S::Bit, "FireFly modules:          ", "firefly_modules"},
    {L::BitZqsfpModules, S::Bit, "zQSFP modules:            ", "zqsfp_modules"},
    {L::BitActiveCoolingFans, S::Bit, "Active cooling fans:      ", "active_cooling_fans"},
    {L::BitOptics, S::Bit, "Optics: ", "optics"},
    {L::BitVccPsbatt, S::Bit, "VCC_PSBATT: ", "vcc_psbatt"},
    {L::BitPn6Connector, S::Bit, "Pn6 connector: ", "pn6_connector"},
    {L::BitPn4Connector, S::Bit, "Pn4 connector: ", "pn4_connector"},
    {L::BitAdcRfTransformer, S::Bit, "ADC RF transformer type: ", "adc_rf_transformer_type"},
    {L::BitRfConnector, S::Bit, "RF connector type: ", "rf_connector_type"},
    {L::BitDacRfTransformer, S::Bit, "DAC RF transformer type: ", "dac_rf_transformer_type"},
    {L::BitXmcConnector, S::Bit, "XMC connector type: ", "xmc_connector_type"},
    {L::BitFireFlyConnector, S::Bit, "FireFly connector: ", "firefly_connector"},
    {L::BitSi5338RefClockSource, S::Bit, "SI5338 ref. clock: ", "si5338_ref_clock_source"},
    {L::BitHeatsink, S::Bit, "Heatsink: ", "heatsink"},
    {L::BitFans, S::Bit, "Fans: ", "fans"},
    {L::BitTopShroud, S::Bit, "Top shroud: ", "top_shroud"},
    {L::Ddr4ChipClass, S::ChipClass, "", "ddr4_chip_class"},
    {L::Ddr4Banks, S::Group, "", ""},
    {L::PlDdr4Banks, S::Group, "", ""},
    {L::ZbtSsramBanks, S::Group, "", ""},
    {L::PsQspiFlashBanks, S::Group, "", ""},
    {L::PsDdr4Frequency, S::Ddr4Frequency, "PS DDR4 SDRAM max. frequency", "ps_ddr4_max_frequency",
     "ps_ddr4_data_rate"},
    {L::PsDdr4Size64, S::Size, "PS DDR4 SDRAM 64b word size log 2", "ps_ddr4_size"},
    {L::PsDdr4Size32, S::Size, "PS DDR4 SDRAM 32b word size log 2", "ps_ddr4_size"},
    {L::PsDdr4Ranks, S::Ranks, "PS DDR4 SDRAM ranks", "ps_ddr4_ranks"},
    {L::PsEmmcFlashSize, S::Size, "PS EMMC Flash size log 2", "ps_emmc_flash_size"},
    {L::PsSataFlashSize, S::Size, "PS SATA Flash size log 2", "ps_sata_flash_size"},
    {L::PsEmmcMemorySize, S::Size, "PS EMMC memory size log 2", "ps_emmc_memory_size"},
    {L::PsQspiFlashMemorySize, S::Size, "PS QSPI flash memory size log 2", "ps_qspi_flash_memory_size"},
    {L::HbmFrequency, S::HbmFrequency, "HBM max. frequency", "hbm_max_frequency"},
    {L::HbmDieCapacity, S::Size, "HBM die capacity", "hbm_die_capacity"},
    {L::HbmDieCount, S::Byte, "HBM die count", "hbm_die_count"},
    {L::FpgaIdentity, S::Group, "", ""},
    {L::Ddr4BankFrequency, S::Ddr4Frequency, "DDR4 SDRAM bank # max. frequency", "ddr4_bank#_max_frequency",
     "ddr4_bank#_data_rate"},
    {L::Ddr4BankSize, S::Size, "DDR4 SDRAM bank # size", "ddr4_bank#_size"},
    {L::Ddr4BankRanks, S::Ranks, "DDR4 SDRAM bank # ranks", "ddr4_bank#_ranks"},
    {L::PlDdr4BankFrequency, S::Ddr4Frequency, "PL DDR4 SDRAM bank # max. freq.", "pl_ddr4_bank#_max_frequency",
     "pl_ddr4_bank#_data_rate"},
    {L::PlDdr4BankSize, S::Size, "PL DDR4 SDRAM bank # size log 2", "pl_ddr4_bank#_size"},
    {L::PlDdr4BankRanks, S::Ranks, "PL DDR4 SDRAM bank # ranks", "pl_ddr4_bank#_ranks"},
    {L::ZbtSsramBankFrequency, S::Frequency, "ZBT SSRAM bank # max. frequency", "zbt_ssram_bank#_max_frequency"},
    {L::ZbtSsramBankSize, S::Size, "ZBT SSRAM bank # size", "zbt_ssram_bank#_size"},
    {L::PsQspiFlashBankSize, S::Size, "PS QSPI Flash bank # size Log 2", "ps_qspi_flash_bank#_size"},
    {L::FpgaStepping, S::Text, "FPGA stepping", "fpga_stepping"},
    {L::FpgaSpeedGrade, S::Text, "FPGA speed grade", "fpga_speed_grade"},
    {L::FpgaDevice, S::WideChoice, "FPGA device", "fpga_device"},
    {L::FpgaTemperatureGrade, S::Choice, "FPGA temperature grade", "fpga_temperature_grade"},
};
static_assert(std::size(kLines) == kVpdLineCount);

constexpr VpdLayout kLayouts[] = {
    {'A', kLayoutA}, {'B', kLayoutB}, {'D', kLayoutD}, {'E', kLayoutE}, {'G', kLayoutG}, {'H', kLayoutH},
    {'J', kLayoutJ}, {'K', kLayoutK}, {'M', kLayoutM}, {'P', kLayoutP}, {'Q', kLayoutQ}, {'R', kLayoutR},
    {'S', kLayoutS}, {'T', kLayoutT}, {'U', kLayoutU}, {'X', kLayoutX}, {'Z', kLayoutZ},
};

}  // namespace

bool VpdModels::includes(uint32_t drawingNumber) const {
    if (mode == All) return true;
    bool listed = false;
    for (uint16_t n : numbers) listed = listed || (n != 0 && n == drawingNumber);
    return mode == Only ? listed : !listed;
}

std::span<const VpdLayout> vpdLayouts() { return kLayouts; }

std::span<const VpdLineRow> vpdLineRows() { return kLines; }

const VpdLayout* vpdLayoutFor(uint32_t drawingNumber) {
    for (const VpdModel& model : vpdModels()) {
        if (model.drawingNumber != drawingNumber) continue;
        for (const VpdLayout& layout : kLayouts) {
            if (layout.letter == model.layout) return &layout;
        }
        return nullptr;
    }
    return nullptr;
}

bool vpdFieldIsBitField(const VpdField& field) { return field.bitCount != 0; }

size_t vpdFieldExtent(const VpdField& field) {
    switch (field.line) {
        case L::CustomBuildCode:
            return 2;
        case L::FpgaIdentity:
            return 15;
        case L::Ddr4Banks:
        case L::PlDdr4Banks:
        case L::ZbtSsramBanks:
            return static_cast<size_t>(field.count - 1) * field.stride + (field.ranks ? 4 : 3);
        case L::PsQspiFlashBanks:
            return static_cast<size_t>(field.count - 1) * field.stride + 1;
        default:
            return field.width;
    }
}
