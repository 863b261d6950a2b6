// Status texts and the argument checks of the exported functions; no port
// is needed for either.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

#include "zorvi.h"

namespace {

const ZORVI_HANDLE kNoPort = 0xFFFFFFFFu;

TEST(StatusText, TextsAndNames) {
    struct Case {
        ZORVI_STATUS status;
        const char* text;
        const char* name;
    };
    const Case cases[] = {
        {0, "No error", "ZORVI_SUCCESS"},
        {512, "An error in the API logic was detected", "ZORVI_INTERNAL_ERROR"},
        {513, "An unexpected error caused the operation to fail", "ZORVI_UNEXPECTED_ERROR"},
        {516, "The calling process does not have permission to perform the operation", "ZORVI_ACCESS_DENIED"},
        {517, "Failed to open the device with the specified index", "ZORVI_DEVICE_NOT_FOUND"},
        {519, "The supplied buffer was invalid and could not be read/written", "ZORVI_INVALID_BUFFER"},
        {521, "The device handle was invalid", "ZORVI_INVALID_HANDLE"},
        {524, "A NULL pointer was passed where non-NULL was required", "ZORVI_NULL_POINTER"},
        {526, "A resource limit was reached", "ZORVI_RESOURCE_LIMIT"},
        {527, "The specified region was too large for a single operation", "ZORVI_REGION_TOO_LARGE"},
        {529, "The operation was attempted when the device was not in the proper mode", "ZORVI_WRONG_MODE"},
        {532, "The operation did not complete within the timeout period", "ZORVI_TIMEOUT"},
        {533, "The length of the command was less than 2 bytes", "ZORVI_SHORT_COMMAND"},
        // The baud-rate failure has a text but no name.
        {534, "Failed to set the serial port to the requested baud rate", "ZORVI_?"},
        // 528 is a gap in the numbering.
        {528, "Unrecognized ZORVI_STATUS code", "ZORVI_?"},
        {1, "Unrecognized ZORVI_STATUS code", "ZORVI_?"},
        {511, "Unrecognized ZORVI_STATUS code", "ZORVI_?"},
        {535, "Unrecognized ZORVI_STATUS code", "ZORVI_?"},
        {0xFFFFFFFFu, "Unrecognized ZORVI_STATUS code", "ZORVI_?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        EXPECT_STREQ(ZORVI_GetStatusStringA(c.status, 0), c.text);
        EXPECT_STREQ(ZORVI_GetStatusStringA(c.status, 1), c.name);
        EXPECT_STREQ(ZORVI_GetStatusStringA(c.status, 0xFFFFFFFFu), c.name);
        // The wide texts say the same.
        std::wstring text(c.text, c.text + strlen(c.text));
        std::wstring name(c.name, c.name + strlen(c.name));
        EXPECT_EQ(std::wstring(ZORVI_GetStatusStringW(c.status, 0)), text);
        EXPECT_EQ(std::wstring(ZORVI_GetStatusStringW(c.status, 7)), name);
    }
}

TEST(StatusText, SameTextEachCall) {
    // Constants of the library: the same pointer every time.
    EXPECT_EQ(ZORVI_GetStatusStringW(532, 0), ZORVI_GetStatusStringW(532, 0));
    EXPECT_EQ(ZORVI_GetStatusStringA(9999, 1), ZORVI_GetStatusStringA(9998, 1));
}

TEST(CommandArguments, CheckedBeforeThePort) {
    const uint8_t request[2] = {0x03, 0x86};
    uint8_t reply[8];
    uint32_t length = 77;
    struct Case {
        const char* what;
        uint32_t requestLength;
        const uint8_t* request;
        uint32_t capacity;
        uint8_t* reply;
        uint32_t* replyLength;
        ZORVI_STATUS status;
    };
    const Case cases[] = {
        {"one byte", 1, request, 8, reply, &length, ZORVI_SHORT_COMMAND},
        {"no bytes and no pointer", 0, nullptr, 8, reply, &length, ZORVI_SHORT_COMMAND},
        {"two bytes, no pointer", 2, nullptr, 8, reply, &length, ZORVI_NULL_POINTER},
        {"one byte, no pointer", 1, nullptr, 8, reply, &length, ZORVI_NULL_POINTER},
        {"reply room, no buffer", 2, request, 8, nullptr, &length, ZORVI_NULL_POINTER},
        // Writing the reply length through a null pointer would crash.
        {"no reply length", 2, request, 8, reply, nullptr, ZORVI_NULL_POINTER},
        {"no reply length, no reply wanted", 2, request, 0, nullptr, nullptr, ZORVI_NULL_POINTER},
        // All arguments fine: only now does the handle matter.
        {"handle that cannot be a port", 2, request, 8, reply, &length, ZORVI_INVALID_HANDLE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ZORVI_Command(kNoPort, 0, 1000, c.requestLength, c.request, c.capacity, c.reply, c.replyLength),
                  c.status);
    }
}

TEST(OpenArguments, NullPointers) {
    ZORVI_HANDLE handle = 0;
    EXPECT_EQ(ZORVI_OpenPortA(nullptr, &handle), ZORVI_NULL_POINTER);
    EXPECT_EQ(ZORVI_OpenPortA("/dev/null", nullptr), ZORVI_NULL_POINTER);
    EXPECT_EQ(ZORVI_OpenPortW(nullptr, &handle), ZORVI_NULL_POINTER);
    EXPECT_EQ(ZORVI_OpenPortW(L"/dev/null", nullptr), ZORVI_NULL_POINTER);
}

// Device files that are no port (on Windows a missing folder is another
// system error than a missing port).
#ifndef _WIN32
TEST(OpenArguments, NamesThatAreNoPort) {
    struct Case {
        const wchar_t* name;
        ZORVI_STATUS status;
    };
    const Case cases[] = {
        {L"/dev/zorvi-no-such-port", ZORVI_DEVICE_NOT_FOUND},
        {L"/dev/null/below-a-file", ZORVI_DEVICE_NOT_FOUND},
        // A character device, but not a tty.
        {L"/dev/null", ZORVI_DEVICE_NOT_FOUND},
        {L"/dev/tty\xDC00", ZORVI_DEVICE_NOT_FOUND},
        {L"", ZORVI_DEVICE_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<const void*>(c.name));
        ZORVI_HANDLE handle = 12345;
        EXPECT_EQ(ZORVI_OpenPortW(c.name, &handle), c.status);
    }
    ZORVI_HANDLE handle = 0;
    EXPECT_EQ(ZORVI_OpenPortA("/dev/zorvi-no-such-port", &handle), ZORVI_DEVICE_NOT_FOUND);
}
#endif

TEST(OtherCalls, BadHandles) {
    EXPECT_EQ(ZORVI_Close(kNoPort), ZORVI_INVALID_HANDLE);
    EXPECT_EQ(ZORVI_SetPortBaud(kNoPort, 115200), ZORVI_BAUD_RATE_FAILED);
}

}  // namespace
