// Placeholder sensor pages.
#include <cstring>

#include "boards/board_data.h"

namespace zsim {

void buildSensorPage(uint32_t, uint8_t, uint32_t elapsedSeconds, uint8_t page[kSimSensorPageSize]) {
    std::memset(page, 0, kSimSensorPageSize);
    for (int i = 0; i < 4; ++i) page[i] = static_cast<uint8_t>(elapsedSeconds >> (8 * i));
}

void buildBlackBox(uint32_t, uint8_t records[kSimBlackBoxRecords][kSimSensorPageSize]) {
    std::memset(records, 0xFF, kSimBlackBoxRecords * kSimSensorPageSize);
}

bool modelHasSensor(uint32_t, uint32_t index) { return index < 18; }

void applySensorOverride(uint8_t page[kSimSensorPageSize], uint32_t index, uint32_t value) {
    if (index < 18) {
        page[8 + 2 * index] = static_cast<uint8_t>(value);
        page[9 + 2 * index] = static_cast<uint8_t>(value >> 8);
    }
}

}  // namespace zsim
