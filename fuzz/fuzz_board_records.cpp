// Fuzz target for the board-information decoders: a VPD record and a sensor
// page, from untrusted uC replies, through every printer. Input: a 256-byte
// VPD record, then a 64-byte sensor page (missing bytes are zero). Both are
// exact-size heap copies, so a read past either trips the address sanitizer.
// The drawing number of the page's model is the record's own, so every
// layout and every sensor table is reachable.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "base/out.h"
#include "boardinfo/sensors.h"
#include "boardinfo/vpd.h"
#include "boardinfo/vpd_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> vpd(new uint8_t[kVpdSize]());
    std::unique_ptr<uint8_t[]> page(new uint8_t[kSensorPageSize]());
    const size_t vpdBytes = size < kVpdSize ? size : kVpdSize;
    std::memcpy(vpd.get(), data, vpdBytes);
    if (size > kVpdSize) {
        const size_t pageBytes = size - kVpdSize < kSensorPageSize ? size - kVpdSize : kSensorPageSize;
        std::memcpy(page.get(), data + kVpdSize, pageBytes);
    }
    OutCapture sink;
    printVpdRaw(vpd.get());
    const VpdRecord record = decodeVpd(vpd.get());
    printVpdHumanReadable(record);
    printSensorPage(decodeSensorPage(page.get(), record.drawingNumber(), record.pcbMajorRevision()));
    printSensorPageRaw(page.get());
    return 0;
}
