// Which devices a simulated board carries: the one list to edit when a
// device is added (its model lives in a file of its own under sim/devices
// and claims its requests; the board routes them to it).
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
#include "devices/smbus_address.h"
#include "devices/spi_master.h"
#include "devices/uc_firmware.h"
#include "devices/vpd_request.h"

namespace zsim {

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
    devices.push_back(std::make_unique<SmbusAddressDevice>(state));
    // The clock generators; the uC programs SI5338 maps into the chip above.
    devices.push_back(std::make_unique<ClockGenerators>(state, clockChip));

    return devices;
}

}  // namespace zsim
