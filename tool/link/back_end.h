// A link library's entry points: bound by name once per library into a
// record of named, typed entries, which the context of an open link points
// at. The exchange, close and status-text entries have one shape in all
// three libraries; the openers use the others.
#pragma once

#include <cstdint>

#include "base/result_codes.h"
#include "link/quenta.h"
#include "link/tobra.h"
#include "zorvi.h"

/// One exchange (ZORVI_Command, TOBRA_CommandZORVI, QUENTA_CommandUC).
using CommandEntry = uint32_t (*)(uint32_t handle, uint32_t flags, uint32_t timeoutUs, uint32_t requestLength,
                                  const uint8_t* request, uint32_t replyCapacity, uint8_t* reply,
                                  uint32_t* replyLength);
using CloseEntry = uint32_t (*)(uint32_t handle);
using StatusTextEntry = const wchar_t* (*)(uint32_t status, uint32_t selector);

struct LinkBackEnd {
    CloseEntry close = nullptr;
    CommandEntry command = nullptr;
    StatusTextEntry statusText = nullptr;
    /// What a failed exchange prints before ": <status text>".
    const char* exchangeFailure = "";
    // The serial library.
    ZORVI_OpenPortW_Fn openPort = nullptr;
    ZORVI_SetPortBaud_Fn setPortBaud = nullptr;
    // The TOBRA card library.
    TOBRA_Open_Fn openCard = nullptr;
    TOBRA_GetUniqueId_Fn cardUniqueId = nullptr;
    TOBRA_GetZORVIStatus_Fn cardUcStatus = nullptr;
    // The QUENTA device library.
    QUENTA_OpenBC_Fn openDevice = nullptr;
    QUENTA_GetUCStatus_Fn deviceUcStatus = nullptr;
};

/// Library file names as loaded ("libzorviapi.so", "zorviapi.dll", ...).
extern const char* const kZorviApiLibrary;
extern const char* const kTobraLibrary;
extern const char* const kQuentaLibrary;

/// Loads the library and binds every entry (the first time; the record and
/// the library live until the process ends). Prints what is missing.
[[nodiscard]] Result bindZorviApi(const LinkBackEnd** backEnd);
[[nodiscard]] Result bindQuentaApi(const LinkBackEnd** backEnd);
[[nodiscard]] Result bindTobraApi(const LinkBackEnd** backEnd);
