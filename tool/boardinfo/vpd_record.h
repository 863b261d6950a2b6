// A VPD record decoded once: the header, the model, the lines of its layout
// and the checksum. The human-readable display, the +json document, the
// metrics and the other verbs all read this, never the bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "boardinfo/vpd_layouts.h"
#include "link/vpd_header.h"

/// One decoded line of a layout: one line of the text, one entry of the
/// document (two for a DDR4 frequency). Which members apply follows from the
/// line's row of the line table.
struct VpdItem {
    VpdLine line{};
    uint8_t bank = 0;    ///< bank lines: the bank number
    uint8_t offset = 0;  ///< where the value starts in the record
    /// The number read: the integer, the bits of a bit line, a size code, a
    /// ranks byte, the code of a custom build.
    uint32_t value = 0;
    /// Choices, bit lines, chip class and FPGA device: the value's text, or
    /// null when the tables have none for it.
    const char* text = nullptr;
    uint64_t size = 0;  ///< size lines: the size in bytes
    VpdSizeRule sizeRule = VpdSizeRule::Plain;
    uint8_t bytes[8] = {};  ///< text lines and the custom build: the bytes as stored
    uint8_t byteCount = 0;
};

struct VpdRecord {
    VpdHeader header;
    const char* model = nullptr;         ///< model name, null for an unknown drawing number
    const VpdLayout* layout = nullptr;   ///< null: no layout for the drawing number
    std::vector<VpdItem> items;          ///< the layout's lines for this model, in printing order
    bool checksumChecked = false;        ///< false: the length leaves no checksum byte to check
    unsigned storedChecksum = 0;
    unsigned calculatedChecksum = 0;

    uint32_t drawingNumber() const { return header.drawingNumber; }
    uint32_t serialNumber() const { return header.serialNumber; }
    bool versionRecognised() const;
    /// The model's PCB revision byte, from its layout's PCB revision line;
    /// false when the layout has none.
    bool pcbRevision(uint8_t* revision) const;
    /// The high nibble of the PCB revision, as the sensor scales need it (0
    /// without a PCB revision line).
    uint32_t pcbMajorRevision() const;
};

/// Decodes a 256-byte record.
VpdRecord decodeVpd(const uint8_t* vpd);

/// The label or key of a line's row with the bank number put in for '#'.
std::string vpdItemName(const char* pattern, const VpdItem& item);

/// Prints the lines of a record's layout, as display-vpd shows them.
void printVpdItems(const VpdRecord& record);
