// libtobra.so stand-in: the PCIe bridge driver library's entry points,
// carried to zorvisim's simulated card over its PCIe socket.
#include <type_traits>

#include "link/tobra.h"
#include "pcie/pcie_client.h"

#ifdef _WIN32
#define TOBRA_API extern "C" __declspec(dllexport)
#else
#define TOBRA_API extern "C" __attribute__((visibility("default")))
#endif

namespace {
const zsim::pcie::StatusTexts kNames = {
    L"TOBRA_SUCCESS",       L"TOBRA_UNEXPECTED_ERROR", L"TOBRA_BAD_DRIVER",    L"TOBRA_NO_MEMORY",
    L"TOBRA_DEVICE_NOT_FOUND", L"TOBRA_INVALID_HANDLE", L"TOBRA_NULL_POINTER", L"TOBRA_TIMEOUT",
    L"TOBRA_SHORT_COMMAND", L"TOBRA_?",
};
}  // namespace

TOBRA_API TOBRA_STATUS TOBRA_Open(uint32_t index, uint32_t, uint32_t, TOBRA_HANDLE* handle) {
    return zsim::pcie::openDevice(index, handle);
}

TOBRA_API TOBRA_STATUS TOBRA_GetUniqueId(TOBRA_HANDLE handle, uint32_t words[2]) {
    return zsim::pcie::uniqueId(handle, words);
}

TOBRA_API TOBRA_STATUS TOBRA_CommandZORVI(TOBRA_HANDLE handle, uint32_t, uint32_t timeoutUs, uint32_t requestLength,
                                          const uint8_t* request, uint32_t replyCapacity, uint8_t* reply,
                                          uint32_t* replyLength) {
    return zsim::pcie::command(handle, timeoutUs, requestLength, request, replyCapacity, reply, replyLength);
}

TOBRA_API TOBRA_STATUS TOBRA_GetZORVIStatus(TOBRA_HANDLE handle, uint32_t* status) {
    return zsim::pcie::deviceStatus(handle, status);
}

TOBRA_API const wchar_t* TOBRA_GetStatusStringW(TOBRA_STATUS status, uint32_t selector) {
    return zsim::pcie::statusText(kNames, status, selector);
}

TOBRA_API TOBRA_STATUS TOBRA_Close(TOBRA_HANDLE handle) { return zsim::pcie::closeDevice(handle); }

// The exports must keep the shapes the tool binds them as.
static_assert(std::is_same_v<decltype(&TOBRA_Open), TOBRA_Open_Fn>);
static_assert(std::is_same_v<decltype(&TOBRA_GetUniqueId), TOBRA_GetUniqueId_Fn>);
static_assert(std::is_same_v<decltype(&TOBRA_CommandZORVI), TOBRA_CommandZORVI_Fn>);
static_assert(std::is_same_v<decltype(&TOBRA_GetZORVIStatus), TOBRA_GetZORVIStatus_Fn>);
static_assert(std::is_same_v<decltype(&TOBRA_GetStatusStringW), TOBRA_GetStatusStringW_Fn>);
static_assert(std::is_same_v<decltype(&TOBRA_Close), TOBRA_Close_Fn>);
