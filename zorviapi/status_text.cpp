#include "status_text.h"

#include <iterator>

#include "zorvi.h"

namespace zorvi {
namespace {

struct StatusRow {
    uint32_t code;
    const char* name;
    const wchar_t* wideName;
    const char* text;
    const wchar_t* wideText;
};

// Each row is written once; the 8-bit and wide texts come from the same
// literal so they cannot drift apart.
#define ZORVI_STATUS_ROW_NAMED(code, name, text) {code, name, L"" name, text, L"" text}
#define ZORVI_STATUS_ROW(code, text) ZORVI_STATUS_ROW_NAMED(code, #code, text)

const StatusRow kStatusTable[] = {
    ZORVI_STATUS_ROW(ZORVI_SUCCESS, "No error"),
    ZORVI_STATUS_ROW(ZORVI_INTERNAL_ERROR, "An error in the API logic was detected"),
    ZORVI_STATUS_ROW(ZORVI_UNEXPECTED_ERROR, "An unexpected error caused the operation to fail"),
    ZORVI_STATUS_ROW(ZORVI_BAD_DRIVER, "The driver may not be correctly installed"),
    ZORVI_STATUS_ROW(ZORVI_NO_MEMORY, "Couldn't allocate memory required to complete operation"),
    ZORVI_STATUS_ROW(ZORVI_ACCESS_DENIED, "The calling process does not have permission to perform the operation"),
    ZORVI_STATUS_ROW(ZORVI_DEVICE_NOT_FOUND, "Failed to open the device with the specified index"),
    ZORVI_STATUS_ROW(ZORVI_HARDWARE_ERROR, "An error in the hardware was detected"),
    ZORVI_STATUS_ROW(ZORVI_INVALID_BUFFER, "The supplied buffer was invalid and could not be read/written"),
    ZORVI_STATUS_ROW(ZORVI_INVALID_FLAG, "A flag was invalid or not recognized"),
    ZORVI_STATUS_ROW(ZORVI_INVALID_HANDLE, "The device handle was invalid"),
    ZORVI_STATUS_ROW(ZORVI_INVALID_INDEX, "The index parameter was invalid"),
    ZORVI_STATUS_ROW(ZORVI_INVALID_REGION, "The offset and/or length parameters were invalid"),
    ZORVI_STATUS_ROW(ZORVI_NULL_POINTER, "A NULL pointer was passed where non-NULL was required"),
    ZORVI_STATUS_ROW(ZORVI_CANCELLED, "The operation was cancelled"),
    ZORVI_STATUS_ROW(ZORVI_RESOURCE_LIMIT, "A resource limit was reached"),
    ZORVI_STATUS_ROW(ZORVI_REGION_TOO_LARGE, "The specified region was too large for a single operation"),
    ZORVI_STATUS_ROW(ZORVI_WRONG_MODE, "The operation was attempted when the device was not in the proper mode"),
    ZORVI_STATUS_ROW(ZORVI_NOT_SUPPORTED, "The operation is not supported for this device"),
    ZORVI_STATUS_ROW(ZORVI_INVALID_PARAMETER, "A parameter had an illegal value"),
    ZORVI_STATUS_ROW(ZORVI_TIMEOUT, "The operation did not complete within the timeout period"),
    ZORVI_STATUS_ROW(ZORVI_SHORT_COMMAND, "The length of the command was less than 2 bytes"),
    // The baud-rate failure has a text but no symbolic name of its own.
    ZORVI_STATUS_ROW_NAMED(ZORVI_BAUD_RATE_FAILED, "ZORVI_?", "Failed to set the serial port to the requested baud rate"),
};

#undef ZORVI_STATUS_ROW
#undef ZORVI_STATUS_ROW_NAMED

// 0, 512..527 and 529..534: 528 has no row and falls to the unknown entry.
static_assert(std::size(kStatusTable) == 23, "one row per known status");

const StatusRow kUnknownStatus = {0, "ZORVI_?", L"ZORVI_?", "Unrecognized ZORVI_STATUS code",
                                  L"Unrecognized ZORVI_STATUS code"};

const StatusRow& findStatus(uint32_t status) {
    for (const StatusRow& row : kStatusTable)
        if (row.code == status) return row;
    return kUnknownStatus;
}

}  // namespace

const char* statusTextA(uint32_t status, uint32_t selector) {
    const StatusRow& row = findStatus(status);
    return selector == 0 ? row.text : row.name;
}

const wchar_t* statusTextW(uint32_t status, uint32_t selector) {
    const StatusRow& row = findStatus(status);
    return selector == 0 ? row.wideText : row.wideName;
}

}  // namespace zorvi
