// SFDP areas of real parts, as dumped from running chips.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zsim {

extern const uint8_t kSfdpMt25qu01g[136];
extern const uint8_t kSfdpMx66l1g45g[288];
extern const uint8_t kSfdpMx66l2g45g[288];
extern const uint8_t kSfdpS28hs02gt[612];
extern const uint8_t kSfdpW25q128[192];

}  // namespace zsim
