// Which devices a simulated board carries. Each model lives in a file of
// its own under sim/devices and claims its requests; the board routes them
// to it. The list below wires the devices that hold or reach one another;
// a device that needs only the board's state registers itself in its own
// file (ZSIM_BOARD_DEVICE) and is not listed here.
#include <algorithm>
#include <cstring>

#include "devices/app_flash.h"
#include "devices/board_device.h"
#include "devices/board_power.h"
#include "devices/boot_mode.h"
#include "devices/clock_generators.h"
#include "devices/i2c_controller.h"
#include "devices/i2c_targets.h"
#include "devices/mezzanine_power.h"
#include "devices/sensors.h"
#include "devices/si5338.h"
#include "devices/spi_master.h"
#include "devices/uc_firmware.h"
#include "devices/vpd_request.h"

namespace zsim {
namespace {

struct Registered {
    const char* name;
    DeviceFactory make;
};

// A function's static, so that registrations from other files' static
// initialisers find it made whatever their order.
std::vector<Registered>& registered() {
    static std::vector<Registered> devices;
    return devices;
}

}  // namespace

bool registerBoardDevice(const char* name, DeviceFactory make) {
    registered().push_back({name, make});
    return true;
}

std::vector<std::unique_ptr<BoardDevice>> makeBoardDevices(BoardState& state) {
    std::vector<std::unique_ptr<BoardDevice>> devices;

    // The uC itself: its firmware, its application flash (first, so that a
    // bad saved image is the error a start reports), what it reads from it.
    auto flash = std::make_unique<ApplicationFlash>(state);
    const ApplicationFlash& flashImage = *flash;
    devices.push_back(std::move(flash));
    devices.push_back(std::make_unique<UcFirmware>(state));
    devices.push_back(std::make_unique<VpdRequest>(state, flashImage));
    devices.push_back(std::make_unique<SensorMonitor>(state));

    // The board's I2C buses and what sits on them.
    auto i2c = std::make_unique<I2cController>(state);
    i2c->addBus(0);
    i2c->addBus(1);
    i2c->attach(0, 0x50, std::make_unique<I2cEeprom>(state, "i2c_eeprom_0_50.bin"));
    i2c->attach(1, 0x21, std::make_unique<I2cSilentDevice>());
    auto si5338 = std::make_unique<Si5338>(state);
    Si5338* clockChip = si5338.get();
    i2c->attach(kSi5338Bus, kSi5338Address, std::move(si5338));
    devices.push_back(std::move(i2c));

    // The SPI flash chips behind the uC's SPI master.
    devices.push_back(std::make_unique<SpiMaster>(state));
    devices.push_back(std::make_unique<BootModeDevice>(state));
    devices.push_back(std::make_unique<BoardPowerDevice>(state));
    devices.push_back(std::make_unique<MezzaninePowerDevice>(state));
    // The clock generators; the uC programs SI5338 maps into the chip above.
    devices.push_back(std::make_unique<ClockGenerators>(state, clockChip));

    // The self-registered ones, by name: static initialisers run in an
    // order the linker picks, and routing and state loading should not.
    std::vector<Registered> own = registered();
    std::sort(own.begin(), own.end(),
              [](const Registered& a, const Registered& b) { return std::strcmp(a.name, b.name) < 0; });
    for (const Registered& r : own) devices.push_back(r.make(state));
    return devices;
}

}  // namespace zsim
