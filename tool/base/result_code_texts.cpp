#include "base/result_code_texts.h"

namespace {

const ResultCodeText kTexts[] = {
    {kOk, "ok", "success; also help printed, build-info, \"Nothing to do.\""},
    {kUnrecognisedVerb, "unrecognised_verb", "unrecognised verb, or a verb not built into this version"},
    {kTooFewArguments, "too_few_arguments", "too few verb arguments, or a bad word where a keyword or a number is expected"},
    {kBadIndexOrCount, "bad_index_or_count", "an index or count argument not a number or out of range"},
    {kBadFrequency, "bad_frequency", "frequency argument not a number"},
    {kImageFileError, "image_file_error", "image file could not be opened, sized or read"},
    {kImageTooLarge, "image_too_large", "image file larger than its flash region"},
    {kNoMemory, "no_memory", "memory allocation failure"},
    {kVerifyMismatch, "verify_mismatch", "verification or blank check found differing bytes"},
    {kBadCardType, "bad_card_type", "PCIe bridge card type unreadable or not allowed"},
    {kCommandLineError, "command_line_error", "command-line error reported by the option parser"},
    {kServiceModeNotPermitted, "service_mode_not_permitted", "service mode not permitted on this link, or the uC did not change mode"},
    {kRefusedInServiceMode, "refused_in_service_mode", "verb refused: the uC is in service mode"},
    {kUnknownProductId, "unknown_product_id", "unknown firmware product ID"},
    {kBadI2cBus, "bad_i2c_bus", "I2C bus number not a number or out of range"},
    {kBadI2cChip, "bad_i2c_chip", "I2C chip address not a number or out of range"},
    {kBadI2cAddress, "bad_i2c_address", "I2C register address not a number or out of range"},
    {kI2cFileError, "i2c_file_error", "I2C data file could not be opened, sized or read, or the output file could not be created"},
    {kI2cShortWrite, "i2c_short_write", "short write to the I2C output file"},
    {kBadI2cCount, "bad_i2c_count", "I2C byte count not a number or above 255"},
    {kBadI2cDataByte, "bad_i2c_data_byte", "I2C data byte not a number"},
    {kImageSaveError, "image_save_error", "image save file could not be created or fully written"},
    {kBadOverrideValue, "bad_override_value", "sensor override value not a number"},
    {kSfdpError, "sfdp_error", "SFDP data missing, inconsistent or not supported"},
    {kBadSpiChipIndex, "bad_spi_chip_index", "SPI chip index not a number, out of range or refused by the uC; spi-save start address or "
                       "count not a number; mezzanine voltage not a number"},
    {kBadSpiReadCount, "bad_spi_read_count", "SPI read count not a number"},
    {kBadSpiRawByte, "bad_spi_raw_byte", "spi-raw byte not a number"},
    {kBadSpiAddress, "bad_spi_address", "SPI address not a number, or outside what the chip can erase or program"},
    {kBadSpiCount, "bad_spi_count", "SPI blank-check or erase count not a number"},
    {kHexInputError, "hex_input_error", "Intel Hex input file could not be read"},
    {kBadSpiProgramArgument, "bad_spi_program_argument", "SPI program or verify address, or translation, not a number"},
    {kBoardPoweredOff, "board_powered_off", "board powered off (standby power only) for SPI access"},
    {kSmbusNotSupported, "smbus_not_supported", "SMBus link requested (not supported)"},
    {kIpmiNotSupported, "ipmi_not_supported", "IPMI link requested (not supported)"},
    {kNoSpiFlash, "no_spi_flash", "board has no SPI flash reachable through the uC"},
    {kBadRawLength, "bad_raw_length", "raw: expected response length not a number or above 515"},
    {kBadRawByte, "bad_raw_byte", "raw: command byte not a number"},
    {kBadBlackBoxType, "bad_black_box_type", "display-black-box: unknown record type"},
    {kBadBlackBoxCount, "bad_black_box_count", "display-black-box: record count not a number"},
    {kBadBootMode, "bad_boot_mode", "boot mode word could not be converted"},
    {kNotConfirmed, "not_confirmed", "force-mez-power not confirmed at the prompt"},
    {kHexOutputError, "hex_output_error", "Intel Hex output file could not be written"},
    {kBinaryInputError, "binary_input_error", "binary input file could not be read"},
    {kBinaryOutputError, "binary_output_error", "binary output file could not be written"},
    {kOutputNotWritten, "output_not_written", "standard output could not be written whole (a full disk, a closed pipe "
                        "or device) by a run that otherwise succeeded"},
    {kLinkOpenFailed, "link_open_failed", "link library open call failed (port, card or device), or bad PS UART connection string"},
    {kLinkFailure, "link_failure", "link failure during an exchange; non-zero status of a read, flash page or service-mode "
                   "command; test-timeout answered"},
    {kUnexpectedStatus, "unexpected_status", "non-zero or unexpected uC status for a command"},
    {kReplyTooShort, "reply_too_short", "uC reply shorter than two bytes"},
    {kLibraryMissing, "library_missing", "link library file or one of its entry points missing"},
    {kTooManyLinks, "too_many_links", "more than one link option"},
    {kBadChipAddr, "bad_chip_addr", "-chipaddr out of range"},
    {kBadTimeout, "bad_timeout", "-timeout out of range"},
    {kBadBaudRate, "bad_baud_rate", "PS UART baud rate not a number"},
    {kBaudRateRefused, "baud_rate_refused", "serial port refused the baud rate"},
    {kBadMezzanineIndex, "bad_mezzanine_index", "mezzanine index above 255"},
    {kBadMezzanineVoltage, "bad_mezzanine_voltage", "mezzanine voltage above 65535"},
    {kRegisterMapUnreadable, "register_map_unreadable", "register map file unreadable in the chosen format"},
    {kRegisterMapUndetected, "register_map_undetected", "register map format could not be detected"},
    {kRegisterMapTooLarge, "register_map_too_large", "register map larger than 1024 bytes"},
    {kUnknownRegisterMapType, "unknown_register_map_type", "unknown register map type name"},
    {kNoLink, "no_link", "no link option"},
    {kSi5338Timeout, "si5338_timeout", "SI5338 input clock or PLL lock time-out"},
    {kSi5338Unsupported, "si5338_unsupported", "unsupported SI5338 grade"},
};

}  // namespace

const ResultCodeText* resultCodeTexts(uint32_t* count) {
    *count = sizeof kTexts / sizeof kTexts[0];
    return kTexts;
}

const char* resultCodeName(Result code) {
    for (const ResultCodeText& t : kTexts)
        if (t.code == code) return t.name;
    return "unknown";
}
