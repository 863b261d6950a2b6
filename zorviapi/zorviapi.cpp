// Placeholder until the serial library is built.
#include "zorvi.h"

extern "C" {
ZORVI_STATUS ZORVI_OpenPortA(const char*, ZORVI_HANDLE*) { return ZORVI_UNEXPECTED_ERROR; }
ZORVI_STATUS ZORVI_OpenPortW(const wchar_t*, ZORVI_HANDLE*) { return ZORVI_UNEXPECTED_ERROR; }
ZORVI_STATUS ZORVI_SetPortBaud(ZORVI_HANDLE, uint32_t) { return ZORVI_BAUD_RATE_FAILED; }
ZORVI_STATUS ZORVI_Command(ZORVI_HANDLE, uint32_t, uint32_t, uint32_t, const uint8_t*, uint32_t, uint8_t*, uint32_t*) {
    return ZORVI_UNEXPECTED_ERROR;
}
ZORVI_STATUS ZORVI_Close(ZORVI_HANDLE) { return ZORVI_SUCCESS; }
const char* ZORVI_GetStatusStringA(ZORVI_STATUS, uint32_t) { return "ZORVI_?"; }
const wchar_t* ZORVI_GetStatusStringW(ZORVI_STATUS, uint32_t) { return L"ZORVI_?"; }
}
