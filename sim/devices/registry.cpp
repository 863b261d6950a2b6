// Which devices a simulated board carries. One line per device model.
#include "devices/board_device.h"

namespace zsim {

std::vector<std::unique_ptr<BoardDevice>> makeBoardDevices(BoardState& state) {
    (void)state;
    std::vector<std::unique_ptr<BoardDevice>> devices;
    return devices;
}

}  // namespace zsim
