// Which devices a simulated board carries. One line per device model.
#include "devices/board_device.h"
#include "devices/clock_generators.h"
#include "devices/i2c_controller.h"
#include "devices/si5338.h"

namespace zsim {

std::vector<std::unique_ptr<BoardDevice>> makeBoardDevices(BoardState& state) {
    std::vector<std::unique_ptr<BoardDevice>> devices;

    // The board's I2C buses and what sits on them.
    auto i2c = std::make_unique<I2cController>(state);
    i2c->addBus(0);
    i2c->addBus(1);
    auto si5338 = std::make_unique<Si5338>(state);
    Si5338* clockChip = si5338.get();
    i2c->attach(kSi5338Bus, kSi5338Address, std::move(si5338));
    devices.push_back(std::move(i2c));

    // The clock generators; the uC programs SI5338 maps into the chip above.
    devices.push_back(std::make_unique<ClockGenerators>(state, clockChip));

    return devices;
}

}  // namespace zsim
