// The verbs of zorviutil in dispatch order: each row names the verb, the
// least number of positional words it needs (the verb included), the
// message printed when fewer are given, and the function that checks the
// remaining words and carries the verb out.
#include "cli/verb_table.h"

#include <strings.h>

#include <memory>
#include <new>

#include "base/numbers.h"
#include "base/out.h"
#include "boardinfo/sensors.h"
#include "boardinfo/vpd.h"
#include "cli/option_parser.h"
#include "control/board_control.h"
#include "control/i2c_verbs.h"
#include "clocks/clock_verbs.h"
#include "control/identity_verbs.h"
#include "images/app_flash_images.h"
#include "link/service_mode.h"
#include "spiflash/sfdp.h"
#include "spiflash/spi_flash.h"
#include "spiflash/spi_verbs.h"

namespace {

constexpr uint32_t kMaxSpiRawRead = 65536;

bool number(const VerbCall& c, uint32_t i, uint32_t* value) { return parseUnsigned(c.words[i], value) == 1; }

// --- shared argument checks (each prints its message with the word) -------

bool clockIndex(const VerbCall& c, uint32_t* index) {
    if (number(c, 1, index)) return true;
    out("*** Clock generator index value '%s' not recognized as a number.\n", c.words[1]);
    return false;
}

bool clockIndexInRange(const VerbCall& c, uint32_t* index) {
    if (!clockIndex(c, index)) return false;
    if (*index > 255) {
        out("*** Clock generator index must be in the range 0 to 255.\n");
        return false;
    }
    return true;
}

bool i2cBus(const VerbCall& c, uint32_t i, uint32_t* v) {
    if (number(c, i, v)) return true;
    out("*** I2C bus number value '%s' not recognized as a number.\n", c.words[i]);
    return false;
}
bool i2cChip(const VerbCall& c, uint32_t i, uint32_t* v) {
    if (number(c, i, v)) return true;
    out("*** I2C chip address value '%s' not recognized as a number.\n", c.words[i]);
    return false;
}
bool i2cAddress(const VerbCall& c, uint32_t i, uint32_t* v) {
    if (number(c, i, v)) return true;
    out("*** Address value '%s' not recognized as a number.\n", c.words[i]);
    return false;
}
bool i2cCount(const VerbCall& c, uint32_t i, uint32_t* v) {
    if (number(c, i, v)) return true;
    out("*** Count value '%s' not recognized as a number.\n", c.words[i]);
    return false;
}
bool spiChip(const VerbCall& c, uint32_t* v) {
    if (number(c, 1, v)) return true;
    out("*** SPI chip index value '%s' not recognized as a number.\n", c.words[1]);
    return false;
}
bool spiAddress(const VerbCall& c, uint32_t i, uint32_t* v) {
    if (number(c, i, v)) return true;
    out("*** SPI address value '%s' not recognized as a number.\n", c.words[i]);
    return false;
}
bool sensorIndex(const VerbCall& c, uint32_t* v) {
    if (number(c, 1, v)) return true;
    out("*** Sensor index value '%s' not recognized as a number.\n", c.words[1]);
    return false;
}
bool mezzanineIndex(const VerbCall& c, uint32_t i, uint32_t* v) {
    if (number(c, i, v)) return true;
    out("*** Mezzanine index value '%s' not recognized as an unsigned integer.\n", c.words[i]);
    return false;
}

/// The bytes of a byte-list verb: words[first..] converted, each at most 0xFF.
struct ByteList {
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t count = 0;
};

enum class AllocMessage { Byte, WriteByte, Write };

/// Converts words[first..wordCount-1] into a buffer of exactly that many
/// bytes. Returns 0, or the failure code after printing its message.
Result byteList(const VerbCall& c, uint32_t first, Result badByte, AllocMessage allocMessage, ByteList& list) {
    const uint32_t n = c.wordCount > first ? c.wordCount - first : 0;
    list.bytes.reset(new (std::nothrow) uint8_t[n == 0 ? 1 : n]);
    if (!list.bytes) {
        switch (allocMessage) {
            case AllocMessage::Byte: out("*** Failed to allocate byte buffer of %u byte(s).\n", n); break;
            case AllocMessage::WriteByte: out("*** Failed to allocate write byte buffer of %u byte(s).\n", n); break;
            case AllocMessage::Write: out("*** Failed to allocate write buffer of %u byte(s).\n", n); break;
        }
        return kNoMemory;
    }
    for (uint32_t i = first; i < c.wordCount; ++i) {
        // A value above 0xFF is refused like a word that is no number: its
        // low byte would go out as a byte the user never typed.
        uint8_t v = 0;
        if (parseByte(c.words[i], &v) != 1) {
            if (badByte == kBadRawByte)
                out("*** Command byte value '%s' not recognized as a number.\n", c.words[i]);
            else
                out("*** Byte value '%s' not recognized as a number.\n", c.words[i]);
            return badByte;
        }
        list.bytes[list.count++] = v;
    }
    return kOk;
}

// --- verbs ---------------------------------------------------------------

Result verbSetSmbusAddr(const VerbCall& c) {
    uint32_t address = 0;
    if (!number(c, 1, &address)) {
        out("*** SMBUS chip address value '%s' not recognized as a number.\n", c.words[1]);
        return kTooFewArguments;
    }
    return setSmbusAddress(address, strcasecmp(c.words[0], "set-smbus-addr-nv") == 0, c.ctx, c.verbose);
}

Result verbGetClk(const VerbCall& c, bool overrideFrequency) {
    uint32_t index = 0;
    if (!clockIndex(c, &index)) return kTooFewArguments;
    return overrideFrequency ? getClockOverride(c.ctx, index, c.verbose) : getClockFrequency(c.ctx, index, c.verbose);
}

Result verbSetClk(const VerbCall& c, bool overrideFrequency) {
    uint32_t index = 0;
    if (!clockIndexInRange(c, &index)) return kBadIndexOrCount;
    uint32_t hz = 0;
    if (parseUnsignedLong(c.words[2], &hz) != 1) {
        if (overrideFrequency)
            out("*** Override frequency value '%s' not recognized as a number.\n", c.words[2]);
        else
            out("*** Frequency value '%s' not recognized as a number.\n", c.words[2]);
        return kBadFrequency;
    }
    return overrideFrequency ? setClockOverride(c.ctx, hz, c.verbose, index)
                             : setClockFrequency(c.ctx, hz, c.verbose, index);
}

Result verbSetClkRegmap(const VerbCall& c, bool nonVolatile) {
    uint32_t index = 0;
    if (!clockIndexInRange(c, &index)) return kBadIndexOrCount;
    const char* path = c.wordCount >= 3 ? c.words[2] : nullptr;
    const char* type = c.wordCount >= 4 ? c.words[3] : nullptr;
    return programRegisterMap(nonVolatile, type, c.ctx, c.verbose, index, path);
}

Result verbI2cReadToFile(const VerbCall& c) {
    uint32_t bus, chip, address, count;
    if (!i2cBus(c, 1, &bus)) return kBadI2cBus;
    if (!i2cChip(c, 2, &chip)) return kBadI2cChip;
    if (!i2cAddress(c, 3, &address)) return kBadI2cAddress;
    if (!i2cCount(c, 4, &count)) return kBadI2cCount;
    return i2cReadToFile(c.words[5], address, c.ctx, c.verbose, bus, chip, count);
}

Result verbI2cWriteFromFile(const VerbCall& c) {
    uint32_t bus, chip, address;
    if (!i2cBus(c, 1, &bus)) return kBadI2cBus;
    if (!i2cChip(c, 2, &chip)) return kBadI2cChip;
    if (!i2cAddress(c, 3, &address)) return kBadI2cAddress;
    return i2cWriteFromFile(address, c.words[4], c.ctx, c.verbose, bus, chip);
}

Result verbI2cVerifyWithFile(const VerbCall& c) {
    uint32_t bus, chip, address;
    if (!i2cBus(c, 1, &bus) || !i2cChip(c, 2, &chip) || !i2cAddress(c, 3, &address)) return kBadIndexOrCount;
    return i2cVerifyWithFile(c.words[4], c.ctx, c.verbose, bus, chip, address);
}

Result verbI2cRead(const VerbCall& c) {
    uint32_t bus, chip, address, count;
    if (!i2cBus(c, 1, &bus)) return kBadI2cBus;
    if (!i2cChip(c, 2, &chip)) return kBadI2cChip;
    if (!i2cAddress(c, 3, &address)) return kBadI2cAddress;
    if (!i2cCount(c, 4, &count)) return kBadIndexOrCount;
    return i2cRead(count, c.ctx, c.verbose, bus, chip, address);
}

Result verbI2cWrite(const VerbCall& c) {
    uint32_t bus, chip, address;
    if (!i2cBus(c, 1, &bus)) return kBadI2cBus;
    if (!i2cChip(c, 2, &chip)) return kBadI2cChip;
    if (!i2cAddress(c, 3, &address)) return kBadI2cAddress;
    ByteList bytes;
    if (Result r = byteList(c, 4, kBadI2cDataByte, AllocMessage::Byte, bytes); r != kOk) return r;
    return i2cWrite(c.ctx, c.verbose, bus, chip, address, bytes.bytes.get(), bytes.count);
}

Result verbI2cWriteRead(const VerbCall& c) {
    uint32_t bus, chip, count;
    if (!i2cBus(c, 1, &bus)) return kBadI2cBus;
    if (!i2cChip(c, 2, &chip)) return kBadI2cChip;
    if (!number(c, 3, &count)) {
        out("*** Read byte count value '%s' not recognized as a number.\n", c.words[3]);
        return kBadI2cCount;
    }
    ByteList bytes;
    if (Result r = byteList(c, 4, kBadI2cDataByte, AllocMessage::WriteByte, bytes); r != kOk) return r;
    return i2cWriteRead(c.ctx, c.verbose, bus, chip, bytes.count, count, bytes.bytes.get());
}

Result verbSpiRaw(const VerbCall& c) {
    uint32_t chip, count;
    if (!spiChip(c, &chip)) return kBadSpiChipIndex;
    if (!number(c, 2, &count)) {
        out("*** SPI read count value '%s' not recognized as a number.\n", c.words[2]);
        return kBadSpiReadCount;
    }
    // A raw read is for looking at a few bytes (an ID, a status register);
    // a count beyond 64 KiB is a slip that would hold the link for hours.
    // The chip's contents are read with spi-save-to-bin.
    if (count > kMaxSpiRawRead) {
        out("*** SPI read count must be in the range 0 to %u; use spi-save-to-bin to read more.\n", kMaxSpiRawRead);
        return kBadSpiReadCount;
    }
    ByteList bytes;
    if (Result r = byteList(c, 3, kBadSpiRawByte, AllocMessage::Write, bytes); r != kOk) return r;
    return spiRaw(c.ctx, c.verbose, chip, count, bytes.count, bytes.bytes.get());
}

Result verbSpiInfo(const VerbCall& c) {
    uint32_t chip;
    if (!spiChip(c, &chip)) return kBadSpiChipIndex;
    return spiInfo(c.ctx, c.verbose, chip);
}

Result verbSpiRange(const VerbCall& c, bool erase) {
    uint32_t chip, address, count;
    if (!spiChip(c, &chip)) return kBadSpiChipIndex;
    if (!spiAddress(c, 2, &address)) return kBadSpiAddress;
    if (!number(c, 3, &count)) {
        if (erase)
            out("*** SPI erase count value '%s' not recognized as a number.\n", c.words[3]);
        else
            out("*** SPI blank-check count value '%s' not recognized as a number.\n", c.words[3]);
        return kBadSpiCount;
    }
    return erase ? spiErase(c.ctx, c.verbose, chip, address, count) : spiCheckBlank(c.ctx, c.verbose, chip, address, count);
}

Result verbSpiBin(const VerbCall& c, bool program) {
    uint32_t chip, address;
    if (!spiChip(c, &chip)) return kBadSpiChipIndex;
    if (!number(c, 3, &address)) {
        if (program)
            out("*** Address value '%s' not recognized as an unsigned number.\n", c.words[3]);
        else
            out("*** Address value '%s' not recognized as a signed number.\n", c.words[3]);
        return kBadSpiProgramArgument;
    }
    return program ? spiProgramBin(c.ctx, c.verbose, chip, c.words[2], address)
                   : spiVerifyBin(c.ctx, c.verbose, chip, c.words[2], address);
}

Result verbSpiMcs(const VerbCall& c) {
    uint32_t chip;
    if (!spiChip(c, &chip)) return kBadSpiChipIndex;
    int32_t translation = 0;
    if (c.wordCount > 3 && parseSigned(c.words[3], &translation) != 1) {
        out("*** Translation value '%s' not recognized as a signed number.\n", c.words[3]);
        return kBadSpiProgramArgument;
    }
    if (strcasecmp(c.words[0], "spi-program-mcs") == 0)
        return spiProgramMcs(c.ctx, c.verbose, chip, c.words[2], translation, c.confirm);
    return spiVerifyMcs(c.ctx, c.verbose, chip, c.words[2], translation);
}

Result verbSpiSave(const VerbCall& c) {
    uint32_t chip, start, count;
    if (!spiChip(c, &chip)) return kBadSpiChipIndex;
    if (!number(c, 3, &start)) {
        out("*** Starting address value '%s' not recognized as a number.\n", c.words[3]);
        return kBadSpiChipIndex;
    }
    if (!number(c, 4, &count)) {
        out("*** Byte count value '%s' not recognized as a number.\n", c.words[4]);
        return kBadSpiChipIndex;
    }
    if (strcasecmp(c.words[0], "spi-save-to-bin") == 0)
        return spiSaveToBin(c.ctx, c.verbose, chip, c.words[2], start, count);
    return spiSaveToMcs(c.ctx, c.verbose, chip, c.words[2], start, count);
}

Result verbDisplayBlackBox(const VerbCall& c) {
    uint32_t types = 3;
    if (c.wordCount > 1) {
        const char* word = c.words[1];
        if (strcasecmp(word, "both") == 0)
            types = 3;
        else if (strcasecmp(word, "clobber") == 0)
            types = 1;
        else if (strcasecmp(word, "noclobber") == 0)
            types = 2;
        else {
            out("*** Valid 'display-black-box' command record types are: clobber, noclobber.\n");
            return kBadBlackBoxType;
        }
    }
    uint32_t count = 0;
    if (c.wordCount > 2 && !number(c, 2, &count)) {
        out("*** Black Box record count value '%s' not recognized as a number.\n", c.words[2]);
        return kBadBlackBoxCount;
    }
    return displayBlackBox(c.ctx, c.verbose, types, count);
}

Result verbOverrideSensor(const VerbCall& c) {
    uint32_t index, value;
    if (!sensorIndex(c, &index)) return kBadIndexOrCount;
    if (!number(c, 2, &value)) {
        out("*** Override value '%s' not recognized as a number.\n", c.words[2]);
        return kBadOverrideValue;
    }
    return overrideSensor(index, c.ctx, c.verbose, value);
}

Result verbReleaseSensor(const VerbCall& c) {
    uint32_t index;
    if (!sensorIndex(c, &index)) return kBadIndexOrCount;
    return releaseSensor(index, c.ctx, c.verbose);
}

Result verbSetBrdPower(const VerbCall& c) {
    if (strcasecmp(c.words[1], "on") != 0 && strcasecmp(c.words[1], "off") != 0) {
        out("*** '%s' is not a recognized board power state; 'on' or 'off'\n", c.words[1]);
        return kTooFewArguments;
    }
    return setBoardPower(c.ctx, strcasecmp(c.words[1], "on") == 0, c.verbose);
}

Result verbForceMezPower(const VerbCall& c) {
    uint32_t requested, minimum, maximum, index;
    if (!number(c, 1, &requested)) {
        out("Requested voltage value '%s' not recognized as a number.\n", c.words[1]);
        return kBadSpiChipIndex;
    }
    if (!number(c, 2, &minimum)) {
        out("Minimum allowed voltage value '%s' not recognized as an unsigned integer.\n", c.words[2]);
        return kBadSpiChipIndex;
    }
    if (!number(c, 3, &maximum)) {
        out("Maximum allowed voltage value '%s' not recognized as an unsigned integer.\n", c.words[3]);
        return kBadSpiChipIndex;
    }
    if (!mezzanineIndex(c, 4, &index)) return kBadIndexOrCount;
    return forceMezzaninePower(requested, c.ctx, strcasecmp(c.words[0], "force-mez-power-nv") == 0, c.verbose,
                               c.confirm, index, minimum, maximum);
}

Result verbGetMezPower(const VerbCall& c) {
    uint32_t index;
    if (!mezzanineIndex(c, 1, &index)) return kBadIndexOrCount;
    return getMezzaninePower(c.ctx, strcasecmp(c.words[0], "get-mez-power-nv") == 0, index, c.verbose);
}

Result verbRaw(const VerbCall& c) {
    uint32_t expected = 0;
    if (!number(c, 1, &expected)) {
        out("*** Expected response length value '%s' not recognized as a number.\n", c.words[1]);
        return kBadRawLength;
    }
    ByteList bytes;
    if (Result r = byteList(c, 2, kBadRawByte, AllocMessage::WriteByte, bytes); r != kOk) return r;
    return sendRaw(bytes.bytes.get(), expected, c.ctx, c.verbose, bytes.count);
}

Result verbConfigSi5338(const VerbCall& c) {
    uint32_t bus, chip;
    if (!i2cBus(c, 1, &bus)) return kBadI2cBus;
    if (!i2cChip(c, 2, &chip)) return kBadI2cChip;
    return configureSi5338(c.words[3], c.ctx, c.verbose, bus, chip);
}

// --- "must be followed by" messages ---------------------------------------

#define TOO_FEW(text) [](const VerbCall&) { out(text); }
#define TOO_FEW_TYPED(text) [](const VerbCall& c) { out(text, c.words[0]); }

const VerbRow kVerbs[] = {
    {"version", 1, nullptr, [](const VerbCall& c) { return showVersion(c.ctx, c.verbose); }},
    {"product-id", 1, nullptr, [](const VerbCall& c) { return readProductId(c.ctx, nullptr, c.verbose, false); }},
    {"comm-test", 1, nullptr, [](const VerbCall& c) { return runCommTest(c.ctx, c.verbose); }},
    {"enter-service-mode", 1, nullptr, [](const VerbCall& c) { return enterServiceMode(c.ctx, c.verbose); }},
    {"exit-service-mode", 1, nullptr, [](const VerbCall& c) { return exitServiceMode(c.ctx, c.verbose); }},
    {"get-smbus-addr", 1, nullptr, [](const VerbCall& c) { return getSmbusAddress(false, c.ctx, c.verbose); }},
    {"get-smbus-addr-nv", 1, nullptr, [](const VerbCall& c) { return getSmbusAddress(true, c.ctx, c.verbose); }},
    {"set-smbus-addr", 2, TOO_FEW_TYPED("*** '%s' command must be followed by a 7-bit SMBUS chip address.\n"),
     verbSetSmbusAddr},
    {"set-smbus-addr-nv", 2, TOO_FEW_TYPED("*** '%s' command must be followed by a 7-bit SMBUS chip address.\n"),
     verbSetSmbusAddr},
    {"getclk", 2, TOO_FEW("*** 'getclk' command must be followed by a clock generator index.\n"),
     [](const VerbCall& c) { return verbGetClk(c, false); }},
    {"setclk", 3,
     TOO_FEW("*** 'setclk' command must be followed by (1) a clock generator index and (2) a frequency (Hz).\n"),
     [](const VerbCall& c) { return verbSetClk(c, false); }},
    {"getclknv", 2, TOO_FEW("*** 'getclknv' command must be followed by a clock generator index.\n"),
     [](const VerbCall& c) { return verbGetClk(c, true); }},
    {"setclknv", 3,
     TOO_FEW("*** 'setclknv' command must be followed by (1) a clock generator index and (2) an override frequency "
             "(Hz).\n"),
     [](const VerbCall& c) { return verbSetClk(c, true); }},
    {"setclk-regmap", 2,
     [](const VerbCall&) {
         out("*** '%s' command must be followed by (1) a clock generator index, (2) optional path to register map "
             "file and (3) optional register map file type.\n",
             "setclk-regmap");
     },
     [](const VerbCall& c) { return verbSetClkRegmap(c, false); }},
    {"setclknv-regmap", 2,
     [](const VerbCall&) {
         out("*** '%s' command must be followed by (1) a clock generator index, (2) optional path to register map "
             "file and (3) optional register map file type.\n",
             "setclknv-regmap");
     },
     [](const VerbCall& c) { return verbSetClkRegmap(c, true); }},
    {"i2c-read-to-file", 6,
     TOO_FEW("*** 'i2c-read-to-file' command must be followed by (1) the I2C bus number, (2) the I2C chip address, "
             "(3) the address, (4) the byte count, and (5) the filename (.bin).\n"),
     verbI2cReadToFile},
    {"i2c-write-from-file", 5,
     TOO_FEW("*** 'i2c-write-from-file' command must be followed by (1) the I2C bus number, (2) the I2C chip "
             "address, (3) the address and (4) the filename (.bin).\n"),
     verbI2cWriteFromFile},
    {"i2c-verify-with-file", 5,
     TOO_FEW("*** 'i2c-verify-with-file' command must be followed by (1) the I2C bus number, (2) the I2C chip "
             "address, (3) the address and (4) the filename (.bin).\n"),
     verbI2cVerifyWithFile},
    {"i2c-read", 5,
     TOO_FEW("*** 'i2c-read' command must be followed by (1) the I2C bus number, (2) the I2C chip address, (3) the "
             "address, (4) the byte count\n"),
     verbI2cRead},
    {"i2c-write", 5,
     TOO_FEW("*** 'i2c-write' command must be followed by (1) the I2C bus number, (2) the I2C chip address, (3) the "
             "address, (4) one or more address/data bytes to write\n"),
     verbI2cWrite},
    {"i2c-write-read", 4,
     TOO_FEW("*** 'i2c-write-read' command must be followed by (1) the I2C bus number, (2) the I2C chip address, (3) "
             "read byte count, (4) zero or more address/data bytes to write\n"),
     verbI2cWriteRead},
    {"spi-raw", 3,
     TOO_FEW("*** 'spi-raw' command must be followed by (1) the SPI chip index, (2) number of bytes to read, (3) zero "
             "or more bytes to write\n"),
     verbSpiRaw},
    {"spi-info", 2, TOO_FEW("*** 'spi-info' command must be followed by (1) the SPI chip index.\n"), verbSpiInfo},
    {"spi-check-blank", 4,
     TOO_FEW("*** 'spi-check-blank' command must be followed by (1) the SPI chip index, (2) starting address, (3) "
             "number of bytes to erase\n"),
     [](const VerbCall& c) { return verbSpiRange(c, false); }},
    {"spi-erase", 4,
     TOO_FEW("*** 'spi-erase' command must be followed by (1) the SPI chip index, (2) starting address, (3) number "
             "of bytes to erase\n"),
     [](const VerbCall& c) { return verbSpiRange(c, true); }},
    {"spi-program-bin", 4,
     TOO_FEW("*** 'spi-program-bin' command must be followed by (1) the SPI chip index, (2) the filename of a binary "
             "file, (3) the address within the SPI flash chip.\n"),
     [](const VerbCall& c) { return verbSpiBin(c, true); }},
    {"spi-program-mcs", 3,
     TOO_FEW("*** 'spi-program-mcs' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
             "Hex (.mcs) file.\n"),
     verbSpiMcs},
    {"spi-verify-bin", 4,
     TOO_FEW("*** 'spi-verify-bin' command must be followed by (1) the SPI chip index, (2) the filename of a binary "
             "file, (3) the address within the SPI flash chip.\n"),
     [](const VerbCall& c) { return verbSpiBin(c, false); }},
    {"spi-verify-mcs", 3,
     TOO_FEW("*** 'spi-verify-mcs' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
             "Hex (.mcs) file.\n"),
     verbSpiMcs},
    {"spi-save-to-bin", 5,
     TOO_FEW("*** 'spi-save-to-bin' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
             "Hex (.mcs) file, (3) starting address, (4) byte count\n"),
     verbSpiSave},
    {"spi-save-to-mcs", 5,
     TOO_FEW("*** 'spi-save-to-mcs' command must be followed by (1) the SPI chip index, (2) the filename of an Intel "
             "Hex (.mcs) file, (3) starting address, (4) byte count\n"),
     verbSpiSave},
    {"update-firmware", 2, TOO_FEW("*** 'update-firmware' command must be followed by the firmware filename (.bin).\n"),
     [](const VerbCall& c) { return updateImage(ImageKind::Firmware, c.words[1], c.ctx, c.verbose); }},
    {"update-brdcfg", 2,
     TOO_FEW("*** 'update-brdcfg' command must be followed by the board config. filename (.bin).\n"),
     [](const VerbCall& c) { return updateImage(ImageKind::BoardConfig, c.words[1], c.ctx, c.verbose); }},
    {"update-vpd", 2, TOO_FEW("*** 'update-vpd' command must be followed by the VPD filename (.bin).\n"),
     [](const VerbCall& c) { return updateImage(ImageKind::Vpd, c.words[1], c.ctx, c.verbose); }},
    {"save-firmware", 2,
     TOO_FEW("*** 'save-firmware' command must be followed by the filename (.bin) into which the firmware is to be "
             "saved.\n"),
     [](const VerbCall& c) { return saveImage(ImageKind::Firmware, c.words[1], c.ctx, c.verbose); }},
    {"save-brdcfg", 2,
     TOO_FEW("*** 'save-brdcfg' command must be followed by the filename (.bin) into which the board config. is to "
             "be saved.\n"),
     [](const VerbCall& c) { return saveImage(ImageKind::BoardConfig, c.words[1], c.ctx, c.verbose); }},
    {"save-vpd", 2,
     TOO_FEW("*** 'save-vpd' command must be followed by the filename (.bin) into which the VPD is to be saved.\n"),
     [](const VerbCall& c) { return saveImage(ImageKind::Vpd, c.words[1], c.ctx, c.verbose); }},
    {"verify-brdcfg", 2,
     TOO_FEW("*** 'verify-brdcfg' command must be followed by the board config. filename (.bin).\n"),
     [](const VerbCall& c) { return verifyImage(ImageKind::BoardConfig, c.words[1], c.ctx, c.verbose); }},
    {"verify-firmware", 2, TOO_FEW("*** 'verify-firmware' command must be followed by the firmware filename (.bin).\n"),
     [](const VerbCall& c) { return verifyImage(ImageKind::Firmware, c.words[1], c.ctx, c.verbose); }},
    {"verify-vpd", 2, TOO_FEW("*** 'verify-vpd' command must be followed by the VPD filename (.bin).\n"),
     [](const VerbCall& c) { return verifyImage(ImageKind::Vpd, c.words[1], c.ctx, c.verbose); }},
    {"display-vpd", 1, nullptr, [](const VerbCall& c) { return displayVpd(c.verbose, c.ctx); }},
    {"display-vpd-raw", 1, nullptr, [](const VerbCall& c) { return displayVpdRaw(c.verbose, c.ctx); }},
    {"display-black-box", 1, nullptr, verbDisplayBlackBox},
    {"display-sensors", 1, nullptr, [](const VerbCall& c) { return displaySensors(c.verbose, c.ctx); }},
    {"display-sensors-raw", 1, nullptr, [](const VerbCall& c) { return displaySensorsRaw(c.ctx, c.verbose); }},
    {"override-sensor", 3,
     TOO_FEW("*** 'override-sensor-raw' must be followed by the (1) sensor index and (2) the unscaled override "
             "value.\n"),
     verbOverrideSensor},
    {"release-sensor", 2, TOO_FEW("*** 'release-sensor' must be followed by the sensor index.\n"), verbReleaseSensor},
    {"set-brd-power", 2, TOO_FEW("*** 'set-brd-power' command must be followed by 'on' or 'off'\n"), verbSetBrdPower},
    {"get-brd-power", 1, nullptr, [](const VerbCall& c) { return getBoardPower(c.ctx, c.verbose); }},
    {"force-mez-power", 5,
     TOO_FEW_TYPED("*** '%s' command must be followed by (1) requested voltage (mV), (2) minumum allowed voltage "
                   "(mV), (3) maximum allowed voltage (mV) and (4) Mezzanine index\n"),
     verbForceMezPower},
    {"force-mez-power-nv", 5,
     TOO_FEW_TYPED("*** '%s' command must be followed by (1) requested voltage (mV), (2) minumum allowed voltage "
                   "(mV), (3) maximum allowed voltage (mV) and (4) Mezzanine index\n"),
     verbForceMezPower},
    {"get-mez-power", 2, TOO_FEW_TYPED("*** '%s' command must be followed by (1) Mezzanine index\n"), verbGetMezPower},
    {"get-mez-power-nv", 2, TOO_FEW_TYPED("*** '%s' command must be followed by (1) Mezzanine index\n"),
     verbGetMezPower},
    {"set-boot-mode", 2,
     TOO_FEW("*** 'set-boot-mode' command must be followed by either a decimal or hexadecimal number between 0 and "
             "15 inclusive, or the word 'switch'.\n"),
     [](const VerbCall& c) { return setBootMode(c.words[1], c.ctx, c.verbose, false); }},
    {"get-boot-mode", 1, nullptr, [](const VerbCall& c) { return getBootMode(c.verbose, c.ctx, false); }},
    {"set-boot-mode-nv", 2,
     TOO_FEW("*** 'set-boot-mode-nv' command must be followed by either a decimal or hexadecimal number between 0 "
             "and 15 inclusive, or the word 'switch'.\n"),
     [](const VerbCall& c) { return setBootMode(c.words[1], c.ctx, c.verbose, true); }},
    {"get-boot-mode-nv", 1, nullptr, [](const VerbCall& c) { return getBootMode(c.verbose, c.ctx, true); }},
    {"test-clobber", 1, nullptr, [](const VerbCall& c) { return testClobber(c.ctx, c.verbose); }},
    {"test-timeout", 1, nullptr, [](const VerbCall& c) { return testTimeout(c.ctx, c.verbose); }},
    {"raw", 4,
     TOO_FEW("*** 'raw' command must be followed by (1) the expected response length, (2) two or more command bytes "
             "to write\n"),
     verbRaw},
    {"config-si5338", 4,
     TOO_FEW_TYPED("*** '%s' command must be followed by (1) the I2C bus number of the SI5338, (2) the I2C chip "
                   "address of the SI5338 and (3) the SI5338 register map file\n"),
     verbConfigSi5338},
};

#undef TOO_FEW
#undef TOO_FEW_TYPED

}  // namespace

const VerbRow* verbTable(uint32_t* count) {
    *count = sizeof kVerbs / sizeof kVerbs[0];
    return kVerbs;
}

Result dispatchVerb(const VerbCall& call) {
    for (const VerbRow& row : kVerbs) {
        if (strcasecmp(row.name, call.words[0]) != 0) continue;
        if (call.wordCount < row.minWords) {
            row.tooFew(call);
            return kTooFewArguments;
        }
        return row.handler(call);
    }
    out("*** Unrecognised command: %s\n", call.words[0]);
    out("    Use '%s -h' for help.\n", kProgramName);
    return kUnrecognisedVerb;
}
