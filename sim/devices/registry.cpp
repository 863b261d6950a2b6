// Which devices a simulated board carries. One line per device model.
#include "devices/board_device.h"
#include "devices/i2c_controller.h"
#include "devices/spi_master.h"

namespace zsim {

std::vector<std::unique_ptr<BoardDevice>> makeBoardDevices(BoardState& state) {
    std::vector<std::unique_ptr<BoardDevice>> devices;

    // The board's I2C buses and what sits on them.
    auto i2c = std::make_unique<I2cController>(state);
    i2c->addBus(0);
    i2c->addBus(1);
    devices.push_back(std::move(i2c));

    // The SPI flash chips behind the uC's SPI master.
    devices.push_back(std::make_unique<SpiMaster>(state));

    return devices;
}

}  // namespace zsim
