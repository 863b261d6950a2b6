// The three lookup tables of the VPD display: drawing number to model name
// (with the layout letter each model uses), FPGA device code to device name,
// and FPGA temperature grade to text.
#include <array>

#include "boardinfo/vpd.h"
#include "boardinfo/vpd_layouts.h"

namespace {

// '-' marks a model that has a name but no layout: its record is decoded as
// that of an unrecognised drawing number.
constexpr VpdModel kModels[] = {
    {1305, "CARD-A30", 'K'},    {1308, "CARD-A07", 'A'}, {1319, "CARD-A08", 'A'}, {1322, "CARD-A13", 'A'},
    {1323, "CARD-A23", 'U'},    {1329, "CARD-A10", 'A'}, {1339, "CARD-A14", 'A'}, {1341, "CARD-A12", 'H'},
    {1342, "CARD-A08-FH", 'A'}, {1353, "CARD-A27", 'R'}, {1360, "CARD-A21", 'G'}, {1365, "CARD-A11", 'H'},
    {1377, "CARD-A22", 'J'},    {1385, "CARD-A15", 'B'}, {1413, "CARD-A24", 'X'}, {1422, "CARD-A16", 'B'},
    {1426, "CARD-A17", 'J'},    {1429, "CARD-A02", 'P'}, {1430, "CARD-A03", 'P'}, {1437, "CARD-A29", 'S'},
    {1440, "CARD-A31", 'K'},    {1456, "CARD-A06", '-'}, {1461, "CARD-A20", 'D'}, {1467, "CARD-A18", 'E'},
    {1474, "CARD-A01", 'E'},    {1478, "CARD-A32", 'Z'}, {1479, "CARD-A33", 'Z'}, {1486, "CARD-A05", 'M'},
    {1492, "CARD-A04", 'Q'},    {1495, "CARD-A19", 'E'}, {1501, "CARD-A26", 'X'}, {1510, "CARD-A28", 'R'},
    {1528, "CARD-A34", 'T'},    {1548, "CARD-A25", 'X'},
};

struct FpgaDevice {
    uint16_t code;
    const char* name;
};

// Searched in this order; the first row with the code wins.
constexpr FpgaDevice kFpgaDevices[] = {
    {0x141, "KU035"},  {0x142, "KU040"},  {0x143, "KU060"},  {0x146, "KU115"},  {0x147, "KU025"},
    {0x148, "KU085"},  {0x149, "KU095"},  {0x14D, "VU065"},  {0x14E, "VU080"},  {0x14F, "VU095"},
    {0x150, "VU125"},  {0x152, "VU160"},  {0x153, "VU440"},  {0x154, "VU190"},  {0x15C, "KU3P"},
    {0x15D, "KU5P"},   {0x15F, "KU9P"},   {0x160, "KU11P"},  {0x161, "KU13P"},  {0x162, "KU15P"},
    {0x169, "VU3P"},   {0x16A, "VU5P"},   {0x16B, "VU7P"},   {0x16C, "VU9P"},   {0x16D, "VU11P"},
    {0x16E, "VU13P"},  {0x16F, "VU27P"},  {0x170, "VU29P"},  {0x171, "VU31P"},  {0x172, "VU33P"},
    {0x173, "VU35P"},  {0x174, "VU37P"},  {0x175, "VU19P"},  {0x176, "VU23P"},  {0x177, "VU2P"},
    {0x179, "ZU2EG"},  {0x17A, "ZU3EG"},  {0x17B, "ZU4EV"},  {0x17C, "ZU5EV"},  {0x17D, "ZU6EG"},
    {0x17E, "ZU7EV"},  {0x180, "ZU9EG"},  {0x182, "ZU11EG"}, {0x186, "ZU15EG"}, {0x188, "ZU17EG"},
    {0x18A, "ZU19EG"}, {0x190, "ZU21DR"}, {0x191, "ZU25DR"}, {0x192, "ZU27DR"}, {0x193, "ZU28DR"},
    {0x194, "ZU29DR"}, {0x198, "ZU39DR"}, {0x1A0, "ZU46DR"}, {0x1A1, "ZU47DR"}, {0x1A2, "ZU48DR"},
    {0x1A3, "ZU49DR"}, {0x200, "VC1352"}, {0x201, "VC1502"}, {0x202, "VC1702"}, {0x203, "VC1802"},
    {0x204, "VC1902"}, {0x210, "VM1102"}, {0x211, "VM1302"}, {0x212, "VM1402"}, {0x213, "VM1502"},
    {0x214, "VM1802"}, {0x215, "VM2302"}, {0x216, "VM2502"}, {0x217, "VM2902"}, {0x220, "VP1102"},
    {0x221, "VP1202"}, {0x222, "VP1402"}, {0x223, "VP1502"}, {0x224, "VP1552"}, {0x225, "VP1702"},
    {0x226, "VP1802"},
};
static_assert(std::size(kFpgaDevices) == 76);
static_assert(std::size(kModels) == 34);

constexpr const char* kTemperatureGrades[] = {"C (Commercial)", "I (Industrial)", "E (Extended)"};

}  // namespace

std::span<const VpdModel> vpdModels() { return kModels; }

const char* drawingNumberToModel(uint32_t drawingNumber) {
    for (const VpdModel& model : kModels) {
        if (model.drawingNumber == drawingNumber) return model.name;
    }
    return "UNRECOGNIZED";
}

const char* fpgaDeviceName(uint16_t code) {
    for (const FpgaDevice& device : kFpgaDevices) {
        if (device.code == code) return device.name;
    }
    return "UNRECOGNIZED";
}

const char* fpgaTemperatureGradeName(uint8_t code) {
    return code < std::size(kTemperatureGrades) ? kTemperatureGrades[code] : "UNRECOGNIZED";
}
