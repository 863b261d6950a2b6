#include "base/result_code_texts.h"

namespace {

const ResultCodeText kTexts[] = {
    {kOk, "success; also help printed, build-info, \"Nothing to do.\""},
    {kUnrecognisedVerb, "unrecognised verb, or a verb not built into this version"},
    {kTooFewArguments, "too few verb arguments, or a bad word where a keyword or a number is expected"},
    {kBadIndexOrCount, "an index or count argument not a number or out of range"},
    {kBadFrequency, "frequency argument not a number"},
    {kImageFileError, "image file could not be opened, sized or read"},
    {kImageTooLarge, "image file larger than its flash region"},
    {kNoMemory, "memory allocation failure"},
    {kVerifyMismatch, "verification or blank check found differing bytes"},
    {kBadCardType, "PCIe bridge card type unreadable or not allowed"},
    {kCommandLineError, "command-line error reported by the option parser"},
    {kServiceModeNotPermitted, "service mode not permitted on this link, or the uC did not change mode"},
    {kRefusedInServiceMode, "verb refused: the uC is in service mode"},
    {kUnknownProductId, "unknown firmware product ID"},
    {kBadI2cBus, "I2C bus number not a number or out of range"},
    {kBadI2cChip, "I2C chip address not a number or out of range"},
    {kBadI2cAddress, "I2C register address not a number or out of range"},
    {kI2cFileError, "I2C data file could not be opened, sized or read, or the output file could not be created"},
    {kI2cShortWrite, "short write to the I2C output file"},
    {kBadI2cCount, "I2C byte count not a number or above 255"},
    {kBadI2cDataByte, "I2C data byte not a number"},
    {kImageSaveError, "image save file could not be created or fully written"},
    {kBadOverrideValue, "sensor override value not a number"},
    {kSfdpError, "SFDP data missing, inconsistent or not supported"},
    {kBadSpiChipIndex, "SPI chip index not a number, out of range or refused by the uC; spi-save start address or "
                       "count not a number; mezzanine voltage not a number"},
    {kBadSpiReadCount, "SPI read count not a number"},
    {kBadSpiRawByte, "spi-raw byte not a number"},
    {kBadSpiAddress, "SPI address not a number, or outside what the chip can erase or program"},
    {kBadSpiCount, "SPI blank-check or erase count not a number"},
    {kHexInputError, "Intel Hex input file could not be read"},
    {kBadSpiProgramArgument, "SPI program or verify address, or translation, not a number"},
    {kBoardPoweredOff, "board powered off (standby power only) for SPI access"},
    {kSmbusNotSupported, "SMBus link requested (not supported)"},
    {kIpmiNotSupported, "IPMI link requested (not supported)"},
    {kNoSpiFlash, "board has no SPI flash reachable through the uC"},
    {kBadRawLength, "raw: expected response length not a number"},
    {kBadRawByte, "raw: command byte not a number"},
    {kBadBlackBoxType, "display-black-box: unknown record type"},
    {kBadBlackBoxCount, "display-black-box: record count not a number"},
    {kBadBootMode, "boot mode word could not be converted"},
    {kNotConfirmed, "force-mez-power not confirmed at the prompt"},
    {kHexOutputError, "Intel Hex output file could not be written"},
    {kBinaryInputError, "binary input file could not be read"},
    {kBinaryOutputError, "binary output file could not be written"},
    {kLinkOpenFailed, "link library open call failed (port, card or device), or bad PS UART connection string"},
    {kLinkFailure, "link failure during an exchange; non-zero status of a read, flash page or service-mode "
                   "command; test-timeout answered"},
    {kUnexpectedStatus, "non-zero or unexpected uC status for a command"},
    {kReplyTooShort, "uC reply shorter than two bytes"},
    {kLibraryMissing, "link library file or one of its entry points missing"},
    {kTooManyLinks, "more than one link option"},
    {kBadChipAddr, "-chipaddr out of range"},
    {kBadTimeout, "-timeout out of range"},
    {kBadBaudRate, "PS UART baud rate not a number"},
    {kBaudRateRefused, "serial port refused the baud rate"},
    {kBadMezzanineIndex, "mezzanine index above 255"},
    {kBadMezzanineVoltage, "mezzanine voltage above 65535"},
    {kRegisterMapUnreadable, "register map file unreadable in the chosen format"},
    {kRegisterMapUndetected, "register map format could not be detected"},
    {kRegisterMapTooLarge, "register map larger than 1024 bytes"},
    {kUnknownRegisterMapType, "unknown register map type name"},
    {kNoLink, "no link option"},
    {kSi5338Timeout, "SI5338 input clock or PLL lock time-out"},
    {kSi5338Unsupported, "unsupported SI5338 grade"},
};

}  // namespace

const ResultCodeText* resultCodeTexts(uint32_t* count) {
    *count = sizeof kTexts / sizeof kTexts[0];
    return kTexts;
}
