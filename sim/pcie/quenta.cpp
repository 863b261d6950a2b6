// libquenta.so stand-in: the PCIe XDMA driver library's entry points,
// carried to zorvisim's simulated card over its PCIe socket.
#include <type_traits>

#include "link/quenta.h"
#include "pcie/pcie_client.h"

#ifdef _WIN32
#define QUENTA_API extern "C" __declspec(dllexport)
#else
#define QUENTA_API extern "C" __attribute__((visibility("default")))
#endif

namespace {
const zsim::pcie::StatusTexts kNames = {
    L"QUENTA_SUCCESS",       L"QUENTA_UNEXPECTED_ERROR", L"QUENTA_BAD_DRIVER",    L"QUENTA_NO_MEMORY",
    L"QUENTA_DEVICE_NOT_FOUND", L"QUENTA_INVALID_HANDLE", L"QUENTA_NULL_POINTER", L"QUENTA_TIMEOUT",
    L"QUENTA_SHORT_COMMAND", L"QUENTA_?",
};
}  // namespace

QUENTA_API QUENTA_STATUS QUENTA_OpenBC(uint32_t, uint32_t index, uint32_t, QUENTA_HANDLE* handle) {
    return zsim::pcie::openDevice(index, handle);
}

QUENTA_API QUENTA_STATUS QUENTA_CommandUC(QUENTA_HANDLE handle, uint32_t, uint32_t timeoutUs, uint32_t requestLength,
                                          const uint8_t* request, uint32_t replyCapacity, uint8_t* reply,
                                          uint32_t* replyLength) {
    return zsim::pcie::command(handle, timeoutUs, requestLength, request, replyCapacity, reply, replyLength);
}

QUENTA_API QUENTA_STATUS QUENTA_GetUCStatus(QUENTA_HANDLE handle, uint32_t* status) {
    return zsim::pcie::deviceStatus(handle, status);
}

QUENTA_API const wchar_t* QUENTA_GetStatusStringW(QUENTA_STATUS status, uint32_t selector) {
    return zsim::pcie::statusText(kNames, status, selector);
}

QUENTA_API QUENTA_STATUS QUENTA_CloseBC(QUENTA_HANDLE handle) { return zsim::pcie::closeDevice(handle); }

static_assert(std::is_same_v<decltype(&QUENTA_OpenBC), QUENTA_OpenBC_Fn>);
static_assert(std::is_same_v<decltype(&QUENTA_CommandUC), QUENTA_CommandUC_Fn>);
static_assert(std::is_same_v<decltype(&QUENTA_GetUCStatus), QUENTA_GetUCStatus_Fn>);
static_assert(std::is_same_v<decltype(&QUENTA_GetStatusStringW), QUENTA_GetStatusStringW_Fn>);
static_assert(std::is_same_v<decltype(&QUENTA_CloseBC), QUENTA_CloseBC_Fn>);
