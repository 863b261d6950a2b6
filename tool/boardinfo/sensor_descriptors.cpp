// What each channel of a sensor page means, per board model: channel names,
// units and the factors that turn raw readings into volts, amperes or
// kelvin. Texts are shown to people exactly as they stand here, stray
// blanks and brackets included.
#include <vector>

#include "boardinfo/sensors.h"

namespace {

struct SensorRow {
    const char* name;
    const char* unit;
};

constexpr const char* V = "V";
constexpr const char* A = "A";
constexpr const char* C = "deg. C";
constexpr const char* Q = "?";

constexpr double kAdcScale = 1.0 / 4096.0;
constexpr double kTempScale = 1.0 / 16.0;
constexpr double kCoarseScale = 1.0 / 256.0;  // channels that measure above 16 V

using Table = SensorRow[kSensorChannels];

constexpr Table kTable1305 = {
    {"5V/12V XMC VPWR rail", V},        {"12V XMC power rail", V},
    {"5V XMC power rail", V},           {"3.3V XMC power rail", V},
    {"2.5V power rail", V},             {"1.8V power rail", V},
    {"0.95V power rail", V},            {"1.8V bridge VCCAux", V},
    {"1.2V DDR4 SDRAM power rail", V},  {"QVX variable VI/O rail", V},
    {"1.0V power rail", V},             {"1.2V target MGT AVCC", V},
    {"1.0V target MGT AVCC", V},        {"1.0V bridge MGT AVCC", V},
    {"uC internal temperature", C},     {"Board temp. (central)", C},
    {"Bridge FPGA int temp. diode", C}, {"Target FPGA int temp. diode", C},
};

constexpr Table kTable1308 = {
    {"12V rail (edge conn.)", V},      {"3.3V rail (edge conn.)", V},
    {"3.3V Aux rail (edge conn.)", V}, {"2.5V power", V},
    {"1.8V MGT power", V},             {"1.2V DDR4 SDRAM power", V},
    {"1.2V MGT AVTT", V},              {"1.0V MGT AVCC", V},
    {"0.95V FPGA core power", V},      {"0.6V DDR4 SDRAM VTT", V},
    {"12V current (edge conn.)", A},   {"3.3V current (edge conn.)", A},
    {"1.8V MGT current", A},           {"2.5V current", A},
    {"uC internal temperature", C},    {"FPGA temperature", C},
    {"Reserved", C},                   {"Reserved", C},
};

constexpr Table kTable1467 = {
    {"12V rail (AUX8 conn.)", V},           {"12V current (AUX8 conn.)", A},
    {"12V rail (edge conn.)", V},           {"12V current (edge conn.)", A},
    {"3.3V rail (edge conn.)", V},          {"3.3V Aux rail (edge conn.)", V},
    {"3.3V rail (internal)", V},            {"2.5V rail (internal)", V},
    {"1.8V rail (internal)", V},            {"1.8V MGT Aux rail (internal)", V},
    {"1.2V AVTT rail (internal)", V},       {"0.9V AVCC rail (internal)", V},
    {"VCCINT rail (internal)", V},          {"GND", V},
    {"uC internal temperature (U27)", C},   {"Board temperature at U19", C},
    {"Board temperature at U5", C},         {"FPGA temperature (U21)", C},
};

constexpr Table kTable1413 = {
    {"Power in (15V to 30V)", V},     {"12V rail (internal)", V},
    {"3.3V rail (internal)", V},      {"3.3V Aux. rail (internal)", V},
    {"1.8V rail (internal)", V},      {"Reserved", Q},
    {"12V rail current", A},          {"3.3V rail current", A},
    {"Reserved", Q},                  {"Reserved", Q},
    {"Reserved", Q},                  {"Reserved", Q},
    {"Reserved", Q},                  {"Reserved", Q},
    {"uC (U27) internal temp.", C},   {"Board temp. at U28", C},
    {"Reserved", C},                  {"Reserved", C},
};

constexpr Table kTable1319 = {
    {"12V rail (edge conn.)", V},      {"3.3V rail (edge conn.)", V},
    {"3.3V Aux rail (edge conn.)", V}, {"3.3V rail (internal)", V},
    {"2.5V clock power", V},           {"1.8V rail", V},
    {"1.8V MGT Aux. power", V},        {"1.2V DDR4 SDRAM power", V},
    {"1.2V MGT AVTT", V},              {"1.0V MGT AVCC", V},
    {"0.95V FPGA core rail", V},       {"0.6V DDR4 SDRAM VTT", V},
    {"12V current (edge conn.)", A},   {"3.3V current (edge conn.)", A},
    {"uC internal temperature", C},    {"FPGA temperature", C},
    {"Reserved", C},                   {"Reserved", C},
};

constexpr Table kTable1322 = {
    {"12V rail (edge conn.)", V},      {"3.3V rail (edge conn.)", V},
    {"3.3V Aux rail (edge conn.)", V}, {"2.5V (clock) power", V},
    {"1.8V MGTVCCAux power", V},       {"1.2V DDR4 SDRAM power", V},
    {"1.2V MGT AVTT", V},              {"0.9V MGT AVCC", V},
    {"FPGA core power", V},            {"0.6V DDR4 SDRAM VTT", V},
    {"12V current (edge conn.)", A},   {"3.3V current (edge conn.)", A},
    {"1.8V MGTVCCAux current", A},     {"2.5V (digital) current ", A},
    {"uC internal temperature", C},    {"Board temperature at U89", C},
    {"Board temperature at U90", C},   {"FPGA temperature", C},
};

constexpr Table kTable1323 = {
    {"5V/12V main power rail", V},       {"12V VPX power rail", V},
    {"5V VPX power rail", V},            {"3.3V VPX power rail", V},
    {"2.5V power rail (int.)", V},       {"1.8V power rail (int.)", V},
    {"FPGA core power rail (int.)", V},  {"MGT AVCCAux rail (int.)", V},
    {"1.2V DDR4 SDRAM power (int.)", V}, {"FMC VADJ power rail (int.)", V},
    {"FPGA BRAM power rail (int.)", V},  {"1.2V PL MGT AVTT (int.)", V},
    {"0.9V PL MGT AVcc (int.)", V},      {"FPGA PS power rail (int.)", V},
    {"uC internal temperature", C},      {"Board temperature at U18", C},
    {"Reserved", C},                     {"FPGA temperature", C},
};

constexpr Table kTable1339 = {
    {"12V rail (edge conn.)", V},      {"3.3V rail (edge conn.)", V},
    {"3.3V Aux rail (edge conn.)", V}, {"2.5V (clock) power", V},
    {"1.8V MGTVCCAux power", V},       {"FMC VAdj power", V},
    {"1.2V MGT AVTT", V},              {"0.9V MGT AVCC", V},
    {"FPGA core power", V},            {"FPGA core power", V},
    {"12V current (edge conn.)", A},   {"3.3V current (edge conn.)", A},
    {"1.8V MGTVCCAux current", A},     {"2.5V (digital) current", A},
    {"uC internal temperature", C},    {"Board temperature at U89", C},
    {"Board temperature at U90", C},   {"FPGA temperature", C},
};

constexpr Table kTable1341 = {
    {"12V rail (edge conn.)", V},        {"12V rail (edge conn.)", V},
    {"12V rail (J26 8-pin conn.)", V},   {"3.3V rail (edge conn.)", V},
    {"3.3V current (edge conn.)", A},    {"3.3V Aux rail (edge conn.)", V},
    {"2.5V rail (internal)", V},         {"1.8V rail (internal", V},
    {"1.8V MGT Aux rail (internal)", V}, {"1.2V rail (internal)", V},
    {"1.2V MGT AVTT (internal)", V},     {"0.9V MGT AVCC (internal)", V},
    {"FPGA I/O rail (internal)", V},     {"FPGA core rail (internal)", V},
    {"uC internal temperature", C},      {"Board temperature at U85", C},
    {"Board temperature at U1", C},      {"FPGA temperature", C},
};

constexpr Table kTable1360 = {
    {"12V rail", V},                 {"5V rail", V},
    {"3.3V rail", V},                {"FMC VI/O rail", V},
    {"2.5V rail", V},                {"1.8V rail", V},
    {"FPGA core rail", V},           {"1.8V MGT AVCCAux rail", V},
    {"1.5V DDR3 SDRAM power", V},    {"1.2V MGT AVTT", V},
    {"1V MGT AVCC", V},              {"12V current", A},
    {"5V current", A},               {"3.3V current", A},
    {"uC internal temperature", C},  {"Board temperature at U13", C},
    {"FPGA temperature", C},         {"Reserved", C},
};

constexpr Table kTable1365 = {
    {"12V rail (edge conn.)", V},        {"12V current (edge conn.)", A},
    {"3.3V rail (edge conn.)", V},       {"3.3V current (edge conn.)", A},
    {"3.3V Aux rail (edge conn.)", V},   {"3.3V rail (internal)", V},
    {"2.5V rail (internal)", V},         {"1.8V rail (internal", V},
    {"1.8V MGT Aux rail (internal)", V}, {"1.2V rail (internal)", V},
    {"1.2V MGT AVTT (internal)", V},     {"0.9V MGT AVCC (internal)", V},
    {"FPGA I/O rail (internal)", V},     {"FPGA core rail (internal)", V},
    {"uC internal temperature", C},      {"Board temperature at U27", C},
    {"Board temperature at U15", C},     {"FPGA temperature", C},
};

constexpr Table kTable1385 = {
    {"12V rail (J4 conn.)", V},        {"12V current (J4 conn.)", A},
    {"12V rail (edge conn.)", V},      {"12V current (edge conn.)", A},
    {"3.3V rail (edge conn.)", V},     {"3.3V Aux rail (edge conn.)", V},
    {"3.3V rail (internal)", V},       {"2.5V rail", V},
    {"1.8V rail", V},                  {"1.8V MGTVCCAux rail", V},
    {"1.2V MGT AVTT rail", V},         {"0.9V MGT AVCC rail", V},
    {"FPGA core power rail", V},       {"Reserved", Q},
    {"uC internal temperature", C},    {"Board temperature at U23", C},
    {"Board temperature at U3", C},    {"FPGA temperature", C},
};

constexpr Table kTable1422 = {
    {"12V rail (J4 conn.)", V},        {"12V current (J4 conn.)", A},
    {"12V rail (edge conn.)", V},      {"12V current (edge conn.)", A},
    {"3.3V rail (edge conn.)", V},     {"3.3V Aux rail (edge conn.)", V},
    {"3.3V rail (internal)", V},       {"2.5V rail", V},
    {"1.8V rail", V},                  {"1.8V MGTVCCAux rail", V},
    {"1.2V MGT AVTT rail", V},         {"0.9V MGT AVCC rail", V},
    {"FPGA core power rail", V},       {"1.5V I/O rail", V},
    {"uC internal temperature", C},    {"Board temperature at U23", C},
    {"Board temperature at U3", C},    {"FPGA temperature", C},
};

constexpr Table kTable1353 = {
    {"5V/12V VPWR rail (P5 conn.)", V},       {"12V rail (P5 conn.)", V},
    {"5V rail (int.)", V},                    {"3.3V rail (P5 conn.)", V},
    {"3.3V IC rail (int.)", V},               {"2.5V rail (int.)", V},
    {"1.8V rail (int.)", V},                  {"0.85V FPGA core power rail (int.)", V},
    {"1.8V MGT AVCCAux rail (int.)", V},      {"1.2V DDR4 SDRAM power (int.)", V},
    {"0.85V FPGA BRAM power (int.)", V},      {"1.2V PL MGT AVTT rail (int.)", V},
    {"0.9V PL MGT AVCC rail (int.)", V},      {"0.85V PS full-power rail (int.)", V},
    {"uC internal temperature", C},           {"Board temperature at U8", C},
    {"Reserved", C},                          {"FPGA temperature", C},
};

constexpr Table kTable1437 = {
    {"5V/12V VPWR rail (P5 conn.)", V},       {"12V rail (P5 conn.)", V},
    {"5V rail (int.)", V},                    {"3.3V rail (P5 conn.)", V},
    {"3.3V IC rail (int.)", V},               {"1.8V rail (int.)", V},
    {"0.85V FPGA core power rail (int.)", V}, {"1.2V SDRAM rail (int.)", V},
    {"0.6V PS SDRAM VTT rail (int.)", V},     {"2.5V rail (int.)", V},
    {"QVX variable I/O rail (int.)", V},      {"1.8V VCC_PSAUX rail (int.)", V},
    {"1.8V MGT rail (int.)", V},              {"PS_MGTAVCC rail (int.)", V},
    {"uC internal temperature", C},           {"Board temperature at U91", C},
    {"Reserved", C},                          {"FPGA temperature", C},
};

constexpr Table kTable1377 = {
    {"12V rail (VPX conn.)", V},          {"12V current (VPX conn.)", A},
    {"3.3V Aux rail (VPX conn.)", V},     {"3.3V rail (VPX conn.)", V},
    {"2.5V rail (internal)", V},          {"2.5V clock rail (internal)", V},
    {"1.8V rail (internal)", V},          {"1.8V MGT Aux rail (internal)", V},
    {"1.2V rail (internal)", V},          {"1.2V AVTT rail (internal)", V},
    {"0.9V AVCC rail (internal)", V},     {"0.85V rail (internal)", V},
    {"0.6V DRAM VTT1 (internal)", V},     {"0.6V DRAM VTT0 (internal)", V},
    {"uC internal temperature (U25)", C}, {"Board temperature at U6", C},
    {"Board temperature at U71", C},      {"FPGA temperature (U38)", C},
};

constexpr Table kTable1426 = {
    {"12V rail (AUX8 conn.)", V},         {"12V current (AUX8 conn.)", A},
    {"12V rail (edge conn.)", V},         {"12V current (edge conn.)", A},
    {"3.3V Aux rail (Edge conn.)", V},    {"3.3V rail (internal)", V},
    {"2.5V rail (internal)", V},          {"2.5V clock rail (internal)", V},
    {"1.8V rail (internal)", V},          {"0.9V AVCC rail (internal)", V},
    {"1.2V AVTT rail (internal)", V},     {"1.2V rail (internal)", V},
    {"1.8V MGT Aux rail (internal)", V},  {"VCCINT rail (internal)", V},
    {"uC internal temperature (U99)", C}, {"Board temperature at U104", C},
    {"Board temperature at U105", C},     {"FPGA temperature (U2)", C},
};

constexpr Table kTable1429 = {
    {"12V rail (AUX8 conn.)", V},         {"12V rail (edge conn.)", V},
    {"12V current (edge conn.)", A},      {"3.3V Aux rail (edge conn.)", V},
    {"3.3V rail (edge conn.)", V},        {"3.3V VCCO rail (internal)", V},
    {"1.8V rail (internal)", V},          {"1.5V rail (internal)", V},
    {"1.5V AVCCAux rail (internal)", V},  {"1.2V AVTT (internal)", V},
    {"1.2V rail (internal)", V},          {"0.88V AVCC (internal)", V},
    {"FPGA core rail (internal)", V},     {"FMC VAdj rail (internal)", V},
    {"uC internal temperature (U66)", C}, {"Board temperature at U24", C},
    {"Board temperature at U57", C},      {"FPGA temperature (U42)", C},
};

constexpr Table kTable1492 = {
    {"12V rail (AUX8 conn.)", V},          {"12V current (AUX8 conn.)", A},
    {"12V rail (edge conn.)", V},          {"12V current (edge conn.)", A},
    {"3.3V Aux rail (edge conn.)", V},     {"3.3V rail (internal)", V},
    {"1.8V SI5402 power (internal)", V},   {"1.5V rail (internal)", V},
    {"1.5V AVCCAux rail (internal)", V},   {"1.2V AVTT rail (internal)", V},
    {"1.1V rail (internal)", V},           {"0.92V AVCC (internal)", V},
    {"VCC_PMC rail (internal)", V},        {"VCC_INT rail (internal)", V},
    {"uC internal temperature (U85)", C},  {"Board temperature at U19", C},
    {"Board temperature at U5", C},        {"FPGA temperature (U73)", C},
};

constexpr Table kTable1461 = {
    {"12V rail (J5 conn.)", V},        {"12V current (J5 conn.)", A},
    {"3.3V rail (early)", V},          {"3.3V rail (main)", V},
    {"1.8V rail", V},                  {"1.8V MGTVCCAux rail", V},
    {"1.4V rail pre-regulator", V},    {"1.2V MGT AVTT rail", V},
    {"1.2V ASIC 0 rail", V},           {"1.1V rail pre-regulator", V},
    {"0.9V ASIC 0 rail", V},           {"0.9V MGT AVCC rail", V},
    {"FPGA core power rail", V},       {"0.8V ASIC VDD rail", V},
    {"uC internal temperature", C},    {"Board temperature at U52", C},
    {"Board temperature at U53", C},   {"FPGA temperature", C},
};

constexpr Table kTable1474 = {
    {"12V rail (external)", V},           {"12V current (external)", A},
    {"3.3V Aux rail (internal)", V},      {"3.3V Aux current (internal)", A},
    {"3.3V rail (internal)", V},          {"2.5V rail (internal)", V},
    {"1.8V rail (internal)", V},          {"1.8V MGT Aux rail (internal)", V},
    {"1.5V rail (internal)", V},          {"1.2V rail (internal)", V},
    {"1.2V AVTT rail (internal)", V},     {"0.9V AVCC rail (internal)", V},
    {"VCCINT rail (internal)", V},        {"0.6V VTT rail (internal)", V},
    {"uC internal temperature (U27)", C}, {"Board temperature at U85", C},
    {"Board temperature at U1", C},       {"FPGA temperature (U21)", C},
};

constexpr Table kTable1486 = {
    {"12V rail (VPX conn.)", V},          {"12V current (VPX conn.)", A},
    {"3.3V Aux rail (VPX conn.)", V},     {"3.3V Aux current (VPX conn.)", A},
    {"3.3V rail (internal)", V},          {"2.5V rail (internal)", V},
    {"1.8V rail (internal)", V},          {"1.8V MGT Aux rail (internal)", V},
    {"1.2V rail (internal)", V},          {"1.2V AVTT rail (internal)", V},
    {"0.9V AVCC rail (internal)", V},     {"VCCINT rail (internal)", V},
    {"0.6V DRAM VTT (internal)", V},      {"5V rail (VPX conn.)", V},
    {"uC internal temperature (U44)", C}, {"Board temperature at U33", C},
    {"Board temperature at U1", C},       {"FPGA temperature (U14)", C},
};

constexpr Table kTable1478 = {
    {"5V rail (CPCI conn.)", V},          {"12V rail (CPCI conn.)", V},
    {"3.3V rail (CPCI conn.)", V},        {"3.3V rail", V},
    {"2.5V rail", V},                     {"1.8V rail", V},
    {"0.95V rail", V},                    {"1.8V AVCCAux", V},
    {"1.2V DDR4 SDRAM power rail", V},    {"1.0V power rail", V},
    {"1.0V AVCC for Bridge FPGA", V},     {"1.0V AVCC for Target FPGA", V},
    {"1.2V AVCC for Bridge FPGA", V},     {"1.2V AVCC for Target FPGA", V},
    {"uC internal temperature (U23)", C}, {"Board temperature at U76", C},
    {"Target FPGA temp. diode", C},       {"Bridge FPGA temp. diode", C},
};

constexpr Table kTable1479 = {
    {"5V rail (VPX conn.)", V},           {"12V rail (VPX conn.)", V},
    {"3.3V rail (VPX conn.)", V},         {"3.3V rail", V},
    {"2.5V rail", V},                     {"1.8V rail", V},
    {"0.95V rail", V},                    {"1.8V AVCCAux", V},
    {"1.2V DDR4 SDRAM power rail", V},    {"1.0V power rail", V},
    {"1.0V AVCC for Bridge FPGA", V},     {"1.0V AVCC for Target FPGA", V},
    {"1.2V AVCC for Bridge FPGA", V},     {"1.2V AVCC for Target FPGA", V},
    {"uC internal temperature (U55)", C}, {"Board temperature at U59", C},
    {"Target FPGA temp. diode", C},       {"Bridge FPGA temp. diode", C},
};

constexpr Table kTable1528 = {
    {"5V/12V VPWR rail (P5 conn.)", V},       {"12V rail (P5 conn.)", V},
    {"5V rail (int.)", V},                    {"3.3V rail (P5 conn.)", V},
    {"3.3V IC rail (int.)", V},               {"1.8V rail (int.)", V},
    {"0.85V FPGA core power rail (int.)", V}, {"1.2V SDRAM rail (int.)", V},
    {"0.6V PS SDRAM VTT rail (int.)", V},     {"2.5V rail (int.)", V},
    {"0.9V PL MGT AVCC (int.)", V},           {"1.8V VCC_PSAUX rail (int.)", V},
    {"1.8V MGT rail (int.)", V},              {"1.2V PL MGT AVTT rail (int.)", V},
    {"uC internal temperature", C},           {"Board temperature at U91", C},
    {"Reserved", C},                          {"FPGA temperature", C},
};

constexpr Table kTable1501 = {
    {"12V rail (VPX)", V},             {"3.3V rail (int.)", V},
    {"3.3V Aux. rail (VPX)", V},       {"12V current (VPX)", A},
    {"3.3V current (int.)", A},        {"3.3V Aux. current (VPX)", A},
    {"Reserved", Q},                   {"Reserved", Q},
    {"Reserved", Q},                   {"Reserved", Q},
    {"Reserved", Q},                   {"Reserved", Q},
    {"Reserved", Q},                   {"Reserved", Q},
    {"uC (U15) internal temp.", C},    {"Board temp. at U22", C},
    {"Reserved", C},                   {"Board temp. at U21", C},
};

constexpr Table kTable1548 = {
    {"28V power in", V},               {"12V rail (internal)", V},
    {"3.3V Aux. rail (internal)", V},  {"1.8V rail (internal)", V},
    {"3.3V rail current", A},          {"12V rail current", A},
    {"Reserved", Q},                   {"Reserved", Q},
    {"Reserved", Q},                   {"Reserved", Q},
    {"Reserved", Q},                   {"Reserved", Q},
    {"Reserved", Q},                   {"Reserved", Q},
    {"uC (U8) internal temp.", C},     {"Board temp. at U11", C},
    {"Reserved", C},                   {"Reserved", C},
};

struct ModelTable {
    uint32_t drawingNumber;
    const SensorRow* rows;
};

// Models that share a board design share a table.
constexpr ModelTable kModelTables[] = {
    {1305, kTable1305}, {1440, kTable1305},
    {1308, kTable1308},
    {1319, kTable1319}, {1329, kTable1319}, {1342, kTable1319},
    {1322, kTable1322},
    {1323, kTable1323},
    {1339, kTable1339},
    {1341, kTable1341},
    {1353, kTable1353}, {1510, kTable1353},
    {1360, kTable1360},
    {1365, kTable1365},
    {1377, kTable1377},
    {1385, kTable1385},
    {1413, kTable1413},
    {1422, kTable1422},
    {1426, kTable1426},
    {1429, kTable1429}, {1430, kTable1429},
    {1437, kTable1437},
    {1461, kTable1461},
    {1467, kTable1467}, {1495, kTable1467},
    {1474, kTable1474},
    {1478, kTable1478},
    {1479, kTable1479},
    {1486, kTable1486},
    {1492, kTable1492},
    {1501, kTable1501},
    {1528, kTable1528},
    {1548, kTable1548},
};
const SensorRow* findTable(uint32_t drawingNumber) {
    for (const ModelTable& m : kModelTables) {
        if (m.drawingNumber == drawingNumber) return m.rows;
    }
    return nullptr;
}

// Channels whose divider lets them read above 16 V (or larger currents)
// report in 1/256 steps. On 1426 and 1492 the AUX8 12 V current moved to
// the coarse range with a PCB revision.
bool usesCoarseScale(uint32_t index, uint32_t drawingNumber, uint32_t pcbMajorRevision) {
    switch (drawingNumber) {
        case 1413:
        case 1548:
            return index == 0;
        case 1467:
        case 1474:
        case 1495:
            return index == 1;
        case 1492:
            return index == 0 || index == 2 || (index == 1 && pcbMajorRevision >= 3);
        case 1426:
            return index == 1 && pcbMajorRevision >= 2;
        default:
            return false;
    }
}

}  // namespace

SensorDescriptor sensorDescriptor(uint32_t index, uint32_t drawingNumber, uint32_t pcbMajorRevision) {
    SensorDescriptor d{"", "?", kAdcScale};
    if (index < kAdcChannels) {
        d.unit = "A or V";
    } else if (index < kSensorChannels) {
        d.unit = C;
        d.scale = kTempScale;
    } else {
        d.scale = kTempScale;
        if (index == 18) {
            d.name = "Elapsed time counter";
            d.unit = "s";
        } else if (index == 19) {
            d.name = "Event counter";
            d.unit = "";
        }
        return d;
    }
    if (const SensorRow* rows = findTable(drawingNumber)) {
        d.name = rows[index].name;
        d.unit = rows[index].unit;
    }
    if (usesCoarseScale(index, drawingNumber, pcbMajorRevision)) d.scale = kCoarseScale;
    return d;
}

bool hasSensorTable(uint32_t drawingNumber) { return findTable(drawingNumber) != nullptr; }

std::vector<uint32_t> sensorTableDrawingNumbers() {
    std::vector<uint32_t> numbers;
    for (const ModelTable& m : kModelTables) numbers.push_back(m.drawingNumber);
    return numbers;
}
