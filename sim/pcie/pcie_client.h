// The client side of the PCIe stand-in libraries: a table of open handles,
// each a connection to zorvisim's PCIe socket, and the one exchange.
// Compiled into libtobra.so and libquenta.so alike; only the exported
// entry points of each library differ.
#pragma once

#include <cstdint>

namespace zsim::pcie {

// Status numbering of both stand-ins (their own choice; 0 is success).
// 517 matches the status the tool itself reports for a serial-number
// mismatch on the bridge link.
enum : uint32_t {
    kSuccess = 0,
    kUnexpectedError = 513,  ///< the connection to the simulator broke
    kBadDriver = 514,        ///< the simulator's socket cannot be reached
    kNoMemory = 515,
    kDeviceNotFound = 517,   ///< no card/device with that index (only index 0 exists)
    kInvalidHandle = 521,
    kNullPointer = 524,
    kTimeout = 532,
    kShortCommand = 533,     ///< request shorter than 2 bytes
};

/// Texts of a status: selector 0 the description, any other the symbolic
/// name with the library's prefix ("TOBRA_", "QUENTA_").
struct StatusTexts {
    const wchar_t* success;
    const wchar_t* unexpectedError;
    const wchar_t* badDriver;
    const wchar_t* noMemory;
    const wchar_t* deviceNotFound;
    const wchar_t* invalidHandle;
    const wchar_t* nullPointer;
    const wchar_t* timeout;
    const wchar_t* shortCommand;
    const wchar_t* unknown;
};
const wchar_t* statusText(const StatusTexts& names, uint32_t status, uint32_t selector);

uint32_t openDevice(uint32_t index, uint32_t* handle);
uint32_t closeDevice(uint32_t handle);
uint32_t uniqueId(uint32_t handle, uint32_t words[2]);
uint32_t command(uint32_t handle, uint32_t timeoutUs, uint32_t requestLength, const uint8_t* request,
                 uint32_t replyCapacity, uint8_t* reply, uint32_t* replyLength);
uint32_t deviceStatus(uint32_t handle, uint32_t* status);

}  // namespace zsim::pcie
