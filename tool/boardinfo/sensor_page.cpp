// The sensor page: where its fields sit, what its status bits are called,
// the decoder and the text of a decoded page.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/bytes.h"
#include "base/hex_dump.h"
#include "base/out.h"
#include "boardinfo/sensors.h"

namespace {

// Where a channel kind's readings (two bytes each) and status nibbles (two
// to a byte, even channel in the low nibble) start; the mezzanine status
// bytes; the status registers are in kRegisters.
struct ChannelKind {
    uint32_t readings, status;
};
constexpr ChannelKind kAdc{0x08, 0x36};
constexpr ChannelKind kTemp{0x24, 0x3D};
constexpr uint32_t kMezzanineStatus = 0x2C;

// Bit names, in the order the documents list them.
constexpr SensorBit kMezzanineBits[] = {
    {7, "F/PresC", "fpga_present_c"}, {6, "PresB", "present_b"},       {5, "DataErr", "data_error"},
    {4, "CsumErr", "checksum_error"}, {3, "I2cFail", "i2c_fail"},      {2, "PwrOK", "power_ok"},
    {1, "VIOEn", "vio_enabled"},      {0, "PresA", "present_a"},
};
constexpr SensorBit kChannelStatusBits[] = {
    {3, "OK", "ok"}, {2, "Critical", "critical"}, {1, "Over", "over"}, {0, "Under", "under"}};
constexpr SensorBit kCrdStat0Bits[] = {
    {0, "PSU0OK", "psu0_ok"}, {1, "PSU1OK", "psu1_ok"}, {2, "PSU2OK", "psu2_ok"}, {3, "PSU3OK", "psu3_ok"},
    {4, "PSU4OK", "psu4_ok"}, {5, "PSU5OK", "psu5_ok"}, {6, "PSU6OK", "psu6_ok"}, {7, "PSU7OK", "psu7_ok"},
};
constexpr SensorBit kCrdStat1Bits[] = {
    {0, "DONE0", "done0"},         {1, "DONE1", "done1"},           {2, "DONE2", "done2"},
    {3, "DONE3", "done3"},         {4, "BrdCfgVal", "board_config_valid"}, {5, "Resvd5", "reserved5"},
    {6, "PSU_AUX", "psu_aux"},     {7, "PSUOffReq", "psu_off_request"},
};
constexpr SensorBit kCrdStat2Bits[] = {{5, "GAP", "gap"}, {6, "USBCon", "usb_connected"}, {7, "HostRst", "host_reset"}};
constexpr SensorBit kSi5338StatBits[] = {
    {0, "InitOK", "init_ok"}, {1, "IntRegd", "int_regd"}, {2, "Resvd2", "reserved2"}, {3, "Resvd3", "reserved3"},
    {4, "CFG0OK", "cfg0_ok"}, {5, "CFG1OK", "cfg1_ok"},   {6, "CFG2OK", "cfg2_ok"},   {7, "CFG3OK", "cfg3_ok"},
};

using K = SensorRegisterKind;
constexpr SensorRegister kRegisters[] = {
    {"CRD_STAT0", "crd_stat0", 0x30, K::Flags, kCrdStat0Bits},
    {"CRD_STAT1", "crd_stat1", 0x31, K::Flags, kCrdStat1Bits},
    {"CRD_STAT2", "crd_stat2", 0x32, K::FlagsAndAddress, kCrdStat2Bits},
    {"CRD_STAT3", "crd_stat3", 0x33, K::Reserved, {}},
    {"SI5338_STAT", "si5338_stat", 0x34, K::Flags, kSi5338StatBits},
    {"SI5338_ERR", "si5338_err", 0x35, K::Error, {}},
    {"RESVD63", "reserved63", 0x3F, K::Reserved, {}},
};
static_assert(std::size(kRegisters) == kSensorRegisters);

const uint8_t* readingBytes(const uint8_t* page, uint32_t channel) {
    return channel < kAdcChannels ? page + kAdc.readings + 2 * channel
                                  : page + kTemp.readings + 2 * (channel - kAdcChannels);
}

unsigned statusNibble(const uint8_t* page, uint32_t channel) {
    const uint32_t n = channel < kAdcChannels ? channel : channel - kAdcChannels;
    const uint8_t b = page[(channel < kAdcChannels ? kAdc.status : kTemp.status) + n / 2];
    return n % 2 == 0 ? (b & 0x0Fu) : (b >> 4);
}

SensorUnit unitOf(const char* unit) {
    if (std::strcmp(unit, "V") == 0) return SensorUnit::Volts;
    if (std::strcmp(unit, "A") == 0) return SensorUnit::Amperes;
    if (std::strcmp(unit, "deg. C") == 0) return SensorUnit::Celsius;
    return SensorUnit::Unknown;
}

SensorChannel decodeChannel(const uint8_t* page, uint32_t c, uint32_t drawingNumber, uint32_t pcbMajorRevision) {
    SensorChannel ch;
    const bool adc = c < kAdcChannels;
    ch.index = c;
    // Channel numbers have two digits (the page has 18 channels).
    const unsigned number = (adc ? c : c - kAdcChannels) % 100u;
    std::snprintf(ch.label, sizeof ch.label, "%s%02u", adc ? "ADC" : "TMP", number);
    ch.raw = getLe16(readingBytes(page, c));
    ch.status = statusNibble(page, c);
    ch.descriptor = sensorDescriptor(c, drawingNumber, pcbMajorRevision);
    ch.value = adc ? ch.raw * ch.descriptor.scale : ch.raw * ch.descriptor.scale - 273.15;
    ch.unit = unitOf(ch.descriptor.unit);
    ch.reserved = std::strcmp(ch.descriptor.name, "Reserved") == 0;
    return ch;
}

char flag(unsigned byte, const SensorBit& b) { return sensorBitSet(byte, b) ? '+' : '-'; }

/// The flags of a status byte from bit 7 down, blank-separated.
void printFlags(unsigned byte, std::span<const SensorBit> bits) {
    const char* separator = "";
    for (int n = 7; n >= 0; --n) {
        for (const SensorBit& b : bits) {
            if (b.bit != n) continue;
            out("%s%s%c", separator, b.flag, flag(byte, b));
            separator = " ";
        }
    }
}

void printRegister(const SensorRegister& reg, unsigned b) {
    out("  %-11s = 0x%02X ", reg.label, b);
    switch (reg.kind) {
        case K::Flags:
            out("                   => ");
            printFlags(b, reg.bits);
            out("\n");
            break;
        case K::FlagsAndAddress:
            out("                   => ");
            printFlags(b, reg.bits);
            out(" GA=%u(0x%x)\n", b & 0x1Fu, b & 0x1Fu);
            break;
        case K::Error:
            out("                   => ErrType=%u ErrCode=%u\n", b >> 4u, b & 0x0Fu);
            break;
        case K::Reserved:
            out("                      (reserved)\n");
            break;
    }
}

void printCounter(const char* label, uint32_t v) {
    out("  %-11s = { 0x%02X 0x%02X 0x%02X 0x%02X } => %u (0x%08X)\n", label, v & 0xFFu, (v >> 8) & 0xFFu,
        (v >> 16) & 0xFFu, v >> 24, v, v);
}

}  // namespace

double SensorChannel::reportedValue() const { return std::round(value * 1e6) / 1e6; }

std::span<const SensorRegister> sensorRegisters() { return kRegisters; }
std::span<const SensorBit> mezzanineBits() { return kMezzanineBits; }
std::span<const SensorBit> channelStatusBits() { return kChannelStatusBits; }

SensorPage decodeSensorPage(const uint8_t* page, uint32_t drawingNumber, uint32_t pcbMajorRevision) {
    SensorPage p;
    p.elapsedTimeCounter = getLe32(page);
    p.eventCounter = getLe32(page + 4);
    for (uint32_t c = 0; c < kSensorChannels; ++c) p.channels[c] = decodeChannel(page, c, drawingNumber, pcbMajorRevision);
    for (uint32_t i = 0; i < kMezzanines; ++i) p.mezzanines[i] = page[kMezzanineStatus + i];
    for (uint32_t i = 0; i < kSensorRegisters; ++i) p.registers[i] = page[kRegisters[i].offset];
    return p;
}

void printSensorPage(const SensorPage& page) {
    printCounter("ETC", page.elapsedTimeCounter);
    printCounter("EC", page.eventCounter);
    for (const SensorChannel& ch : page.channels) {
        out("  %s (#%02u) = { 0x%02X 0x%02X }           => 0x%04X => %.3f %s [%s]\n", ch.label, ch.index,
            ch.raw & 0xFFu, ch.raw >> 8, ch.raw, ch.value, ch.descriptor.unit, ch.descriptor.name);
    }
    for (uint32_t i = 0; i < kMezzanines; ++i) {
        char label[24];
        std::snprintf(label, sizeof label, "MEZ_STAT%u", i);
        out("  %-11s = 0x%02X                    => ", label, page.mezzanines[i]);
        printFlags(page.mezzanines[i], kMezzanineBits);
        out("\n");
    }
    for (uint32_t i = 0; i + 1 < kSensorRegisters; ++i) printRegister(kRegisters[i], page.registers[i]);
    for (const SensorChannel& ch : page.channels) {
        const bool adc = ch.index < kAdcChannels;
        char label[24];
        std::snprintf(label, sizeof label, "%s_STAT%02u", adc ? "ADC" : "TMP", adc ? ch.index : ch.index - kAdcChannels);
        out("  %-11s = 0x%X                     => ", label, ch.status);
        printFlags(ch.status, kChannelStatusBits);
        out("\n");
    }
    printRegister(kRegisters[kSensorRegisters - 1], page.registers[kSensorRegisters - 1]);
}

void printSensorPageRaw(const uint8_t* page) {
    out("Raw Sensor Page:\n");
    printHexDump(page, kSensorPageSize);
}
