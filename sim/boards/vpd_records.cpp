// Placeholder VPD records: a valid header only.
#include <cstring>

#include "boards/board_data.h"

namespace zsim {

std::vector<uint32_t> knownDrawingNumbers() {
    return {1305, 1308, 1319, 1322, 1323, 1329, 1339, 1341, 1342, 1353, 1360, 1365, 1377, 1385, 1413, 1422, 1426,
            1429, 1430, 1437, 1440, 1456, 1461, 1467, 1474, 1478, 1479, 1486, 1492, 1495, 1501, 1510, 1528, 1548};
}

void buildVpdRecord(uint32_t drawingNumber, uint32_t serialNumber, uint8_t vpd[kSimVpdSize]) {
    std::memset(vpd, 0, kSimVpdSize);
    const uint32_t length = 128;
    vpd[2] = static_cast<uint8_t>(length);
    for (int i = 0; i < 4; ++i) {
        vpd[4 + i] = static_cast<uint8_t>(drawingNumber >> (8 * i));
        vpd[8 + i] = static_cast<uint8_t>(serialNumber >> (8 * i));
    }
    uint8_t sum = 0;
    for (uint32_t i = 0; i + 1 < length; ++i) sum = static_cast<uint8_t>(sum + vpd[i]);
    vpd[length - 1] = static_cast<uint8_t>(-sum);
}

}  // namespace zsim
