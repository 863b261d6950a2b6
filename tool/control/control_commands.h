// The requests of the identity, board-control and I2C verbs, with the texts
// of the statuses each answers with.
#pragma once

#include "link/request.h"

// --- identity and link diagnostics (group 0x03) ----------------------------

/// Reply: four 16-bit version words.
inline constexpr UcRequest kGetVersion{.group = 0x03, .command = 0x83, .line = StatusLine::None};
/// Reply: the 32 payload bytes sent.
inline constexpr UcRequest kLoopback32{.group = 0x03, .command = 0x84, .line = StatusLine::None};
/// A request no firmware answers: test-timeout expects the time-out.
inline constexpr UcRequest kUnansweredRequest{.group = 0xFF, .command = 0x81, .line = StatusLine::None};
/// Overwrites the black box's clobber records.
inline constexpr UcRequest kClobberBlackBox{.group = 0x05, .command = 0x86};

// --- boot mode (group 0x05) ------------------------------------------------

inline constexpr StatusText kSetBootModeTexts[] = {
    {1, "Set Boot Mode message not supported by device."},
    {2, "Device reports invalid boot mode."},
    {3, "Device reports invalid volatile / nonvolatile flag."},
};
/// Arguments: mode, 1 (volatile) or 2 (non-volatile).
inline constexpr UcRequest kSetBootMode{.group = 0x05, .command = 0x95, .texts = kSetBootModeTexts};
inline constexpr StatusText kGetBootModeTexts[] = {{1, "Get Boot Mode message not supported by device."}};
/// Reply: mode driven now, mode at next power-on, boot-mode pins.
inline constexpr UcRequest kGetBootMode{.group = 0x05, .command = 0x96, .texts = kGetBootModeTexts};

// --- board and mezzanine power ---------------------------------------------

inline constexpr StatusText kSetBoardPowerTexts[] = {{1, "SetBrdPower message not supported by device."}};
/// Argument: 0 on, 1 off.
inline constexpr UcRequest kSetBoardPower{.group = 0x05, .command = 0x97, .texts = kSetBoardPowerTexts};
inline constexpr StatusText kGetBoardPowerTexts[] = {{1, "GetBrdPower message not supported by device."}};
inline constexpr UcRequest kGetBoardPower{.group = 0x05, .command = 0x98, .texts = kGetBoardPowerTexts};

inline constexpr StatusText kForceMezzanineTexts[] = {
    {1, "Mezzanine index not valid for device."},
    {2, "Force mezzanine voltage feature not supported by device."},
    {3, "Requested voltage range is not valid."},
};
/// Arguments: requested, minimum, maximum mV (16 bits each), mezzanine index.
inline constexpr UcRequest kForceMezzanine{.group = 0x05, .command = 0x8B, .texts = kForceMezzanineTexts};
inline constexpr UcRequest kForceMezzanineNv{.group = 0x05, .command = 0x99, .texts = kForceMezzanineTexts};
inline constexpr StatusText kGetMezzanineTexts[] = {
    {1, "Mezzanine index not valid for device."},
    {2, "Force mezzanine voltage feature not supported by device."},
};
/// Argument: mezzanine index. Reply: requested, minimum, maximum mV.
inline constexpr UcRequest kGetMezzanine{.group = 0x05, .command = 0x96, .texts = kGetMezzanineTexts};
inline constexpr UcRequest kGetMezzanineNv{.group = 0x05, .command = 0x9A, .texts = kGetMezzanineTexts};

// --- the uC's SMBus address ------------------------------------------------

inline constexpr StatusText kSetSmbusAddressTexts[] = {{1, "Invalid SMBUS chip address"}};
/// Arguments: 1 (volatile) or 2 (non-volatile), address.
inline constexpr UcRequest kSetSmbusAddress{
    .group = 0x05, .command = 0x92, .line = StatusLine::ErrorText, .texts = kSetSmbusAddressTexts};
/// Arguments: 1 (volatile) or 2 (non-volatile), 0. Reply: the address.
inline constexpr UcRequest kGetSmbusAddress{.group = 0x05, .command = 0x93, .line = StatusLine::ErrorText};

// --- I2C, the uC as bus master ---------------------------------------------

inline constexpr StatusText kI2cTexts[] = {{1, "General failure"}};
/// Arguments: bus, device, register, count. Reply: the bytes read.
inline constexpr UcRequest kI2cRead{.group = 0x05, .command = 0x80, .texts = kI2cTexts};
/// Arguments: bus, device, register, count, the bytes.
inline constexpr UcRequest kI2cWrite{.group = 0x05, .command = 0x82, .texts = kI2cTexts};
inline constexpr StatusText kI2cWriteReadTexts[] = {
    {1, "Invalid I2C bus number"},
    {2, "I2C slave NACKed, or transaction timed out."},
    {3, "Invalid write byte count."},
    {4, "Invalid read byte count."},
};
/// Arguments: bus, device, write count, read count, the bytes to write.
/// Reply: bytes transferred, the bytes read.
inline constexpr UcRequest kI2cWriteRead{.group = 0x05, .command = 0x94, .texts = kI2cWriteReadTexts};
/// The same request for a bus scan, whose caller reads the status itself
/// (not acknowledged is an answer there, not a failure). Reply payload:
/// status, bytes transferred, the bytes read; a failure's reply may end at
/// its status.
inline constexpr UcRequest kI2cProbe{
    .group = 0x05, .command = 0x94, .line = StatusLine::None, .failureEndsAtStatus = true};
