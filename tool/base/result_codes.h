// Result codes: every routine and verb returns one; the program exits with it.
#pragma once

#include <cstdint>

using Result = uint32_t;

enum : Result {
    kOk = 0,
    kUnrecognisedVerb = 1,
    kTooFewArguments = 2,          // also a bad keyword / number for some reading verbs
    kBadIndexOrCount = 3,
    kBadFrequency = 4,
    kImageFileError = 5,
    kImageTooLarge = 6,
    kNoMemory = 7,
    kVerifyMismatch = 8,
    kBadCardType = 9,
    kCommandLineError = 10,
    kServiceModeNotPermitted = 12,  // also: the uC did not change mode
    kRefusedInServiceMode = 13,
    kUnknownProductId = 14,
    kBadI2cBus = 15,
    kBadI2cChip = 16,
    kBadI2cAddress = 17,
    kI2cFileError = 18,
    kI2cShortWrite = 19,
    kBadI2cCount = 20,
    kBadI2cDataByte = 21,
    kImageSaveError = 22,
    kBadOverrideValue = 23,
    kSfdpError = 24,
    kBadSpiChipIndex = 25,
    kBadSpiSaveArgument = 25,       // an spi-save start address or count not a number
    kBadVoltageWord = 25,           // a force-mez-power voltage not a number
    kBadSpiReadCount = 26,
    kBadSpiRawByte = 28,
    kBadSpiAddress = 29,
    kBadSpiCount = 30,
    kHexInputError = 31,
    kBadSpiProgramArgument = 32,
    kBoardPoweredOff = 33,
    kSmbusNotSupported = 34,
    kIpmiNotSupported = 35,
    kNoSpiFlash = 36,
    kBadRawLength = 37,
    kBadRawByte = 38,
    kBadBlackBoxType = 39,
    kBadBlackBoxCount = 40,
    kBadBootMode = 41,
    kNotConfirmed = 42,
    kHexOutputError = 43,
    kBinaryInputError = 44,
    kBinaryOutputError = 45,
    kOutputNotWritten = 46,         // standard output could not be written whole
    kLinkOpenFailed = 100,          // also a bad PS UART connection string
    kLinkFailure = 102,
    kUnexpectedStatus = 103,
    kReplyTooShort = 104,
    kLibraryMissing = 105,
    kTooManyLinks = 106,
    kBadChipAddr = 107,
    kBadTimeout = 109,
    kBadBaudRate = 110,
    kBaudRateRefused = 111,
    kBadMezzanineIndex = 112,
    kBadMezzanineVoltage = 113,
    kRegisterMapUnreadable = 114,
    kRegisterMapUndetected = 115,
    kRegisterMapTooLarge = 116,
    kUnknownRegisterMapType = 117,
    kNoLink = 118,
    kSi5338Timeout = 119,
    kSi5338Unsupported = 120,
};
