// zorvisim's options: what the board is, how it misbehaves, where it keeps
// its state and how it is served. Parsed here (not in main) so that the
// unit tests pin the option syntax: one row per option (option_rows.cpp)
// gives the parser and, laid out by help_layout.cpp, the --help text; the
// faults' grammar is fault_grammar.cpp's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/fault_grammar.h"

namespace zsim {

/// Firmware product-ID pairs a board can report.
enum class ProductIdSet { Standard, Alt, Xdma };

struct SimOptions {
    // The board.
    uint32_t model = 1353;           ///< drawing number
    uint32_t serial = 100001;        ///< board serial number (VPD)
    bool service = false;            ///< start in service mode
    ProductIdSet productIds = ProductIdSet::Standard;
    std::optional<uint32_t> productIdOverride;  ///< report this ID in both modes (an unknown firmware)
    bool silentUnknown = false;      ///< unknown commands get no reply at all
    std::optional<uint32_t> sensorSeconds;  ///< readings frozen at this time since power-on
    bool identityGiven = false;      ///< --model, --serial or a --vpd-* option was given
    uint8_t bootSwitches = 1;        ///< boot mode the board's switches select

    // VPD record options.
    bool vpdBadChecksum = false;
    std::optional<uint16_t> vpdVersion;
    std::optional<uint16_t> vpdLength;
    std::optional<uint32_t> vpdDrawing;

    // Service-mode faults.
    std::optional<uint32_t> pageWriteFailPage;  ///< page number; 0xFFFFFFFF = every page
    uint8_t pageWriteFailStatus = 0x07;
    uint8_t refuseSwitchStatus = 0;  ///< non-zero: enter/exit answer this status and do nothing
    bool switchNoEffect = false;     ///< enter/exit answer 0 but the mode stays

    std::vector<FaultSpec> faults;

    // The SI5338 on I2C bus 1: readings of its status register 218 that
    // still show no input clock, and (after the soft reset) no lock;
    // nullopt: the bit never clears.
    std::optional<uint32_t> si5338ClkinReads = 1;
    std::optional<uint32_t> si5338LockReads = 2;

    // PCIe stand-ins.
    std::string pcieSocket;          ///< empty: the default path
    bool noPcie = false;
    std::optional<uint16_t> pcieTcpPort;  ///< also listen on 127.0.0.1 (0: a free port); the Windows stand-ins
    uint32_t cardType = 0x117;
    uint32_t cardSerial = 100001;

    // SPI flash chips behind the uC (devices/spi_master).
    std::vector<std::pair<uint8_t, std::string>> spiChips;  ///< --spi-chip INDEX=PART, over the model's default
    uint32_t spiProgramUs = 0;          ///< busy time after a page program
    uint32_t spiEraseUs = 0;            ///< busy time after an erase
    bool spiPoweredOff = false;         ///< SPI requests find the board powered off
    std::vector<uint8_t> spiStuckBusy;  ///< chips that stay busy from their first program or erase on

    // Serving.
    std::string stateDir;
    std::string logFile;
    uint32_t baud = 0;  ///< the pty carries this many bits per second (10 per byte); 0: unpaced
    uint32_t exchangeUs = 0;  ///< a pty reply leaves no sooner than this after its request arrived
    std::vector<std::string> runCommand;  ///< --run CMD ARGS...
    bool help = false;
    bool version = false;                 ///< --version
    bool listModels = false;              ///< --list-models
};

constexpr const char* kDefaultPcieSocket = "/tmp/zorvisim-pcie.sock";
constexpr const char* kPcieSocketEnv = "ZORVISIM_PCIE_SOCKET";
/// The Windows stand-ins (tobra.dll, quenta.dll) reach the simulator over
/// TCP on the loopback interface: the port is in this variable, or the
/// default.
constexpr const char* kPcieTcpPortEnv = "ZORVISIM_PCIE_PORT";
constexpr uint16_t kDefaultPcieTcpPort = 47386;

/// Parses argv[1..]; false with `error` set on a bad option (option_rows.cpp).
bool parseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error);

/// The --help text (help_layout.cpp).
const char* usageText();

}  // namespace zsim
