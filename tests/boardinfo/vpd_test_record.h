// A 256-byte VPD record built field by field for the decoder tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "base/bytes.h"
#include "link/connection.h"

struct VpdTestRecord {
    uint8_t bytes[kVpdSize] = {};

    VpdTestRecord() = default;
    /// Version 0, length 128, the drawing and serial numbers.
    VpdTestRecord(uint32_t drawingNumber, uint32_t serialNumber) {
        u16(0x02, 128);
        u32(0x04, drawingNumber);
        u32(0x08, serialNumber);
    }
    VpdTestRecord& u8(size_t offset, uint8_t v) {
        bytes[offset] = v;
        return *this;
    }
    VpdTestRecord& u16(size_t offset, uint16_t v) {
        putLe16(bytes + offset, v);
        return *this;
    }
    VpdTestRecord& u32(size_t offset, uint32_t v) {
        putLe32(bytes + offset, v);
        return *this;
    }
    /// Raw characters, not terminated (the record's text fields are not).
    VpdTestRecord& text(size_t offset, const char* s) {
        std::memcpy(bytes + offset, s, std::strlen(s));
        return *this;
    }
    /// FPGA identity group: stepping, speed grade, device, temperature grade.
    VpdTestRecord& fpga(size_t offset, const char* stepping, const char* speed, uint16_t device, uint8_t grade) {
        text(offset, stepping);
        text(offset + 8, speed);
        u16(offset + 12, device);
        return u8(offset + 14, grade);
    }
    /// Memory bank entry: frequency (0.1 MHz), size code, and ranks byte.
    VpdTestRecord& bank(size_t offset, uint16_t f, uint8_t s, uint8_t ranks = 0) {
        u16(offset, f);
        u8(offset + 2, s);
        return u8(offset + 3, ranks);
    }
    /// Stores the checksum of the first `length` bytes at length - 1.
    VpdTestRecord& seal(size_t length = 128) {
        uint8_t sum = 0;
        for (size_t i = 0; i + 1 < length; ++i) sum = static_cast<uint8_t>(sum + bytes[i]);
        bytes[length - 1] = static_cast<uint8_t>(0u - sum);
        return *this;
    }
};
