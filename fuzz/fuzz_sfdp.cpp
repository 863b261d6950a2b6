// Fuzz target for the SFDP decoding: the input is a chip's whole SFDP area.
// Discovery and every printer of the report walk it through the pointers
// and lengths it holds, which may point anywhere; reads past the area give
// 0xFF as on a chip. The area is an exact-size heap copy, so a read past it
// trips the address sanitizer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "base/out.h"
#include "spiflash/sfdp.h"
#include "spiflash/sfdp_report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<uint8_t[]> area(new uint8_t[size == 0 ? 1 : size]);
    if (size > 0) std::memcpy(area.get(), data, size);
    OutCapture sink;
    // Detection commands read the area's last byte, so both outcomes occur.
    SfdpAreaSource source(area.get(), size, size > 0 ? area[size - 1] : 0);
    for (bool verbose : {false, true}) {
        SpiFlashInfo info;
        (void)discoverSpiFlashFrom(source, verbose, 0, &info);
        releaseSpiFlashInfo(&info);
    }
    // The report, table by table, as spi-info reads them.
    uint8_t raw[8];
    (void)source.readSfdp(0, 8, raw);
    SfdpHeader header;
    printSfdpHeader(raw, &header);
    for (uint32_t i = 0; i <= header.headerCount; ++i) {
        (void)source.readSfdp(8 + 8 * i, 8, raw);
        SfdpParameterHeader p;
        if (!printSfdpTableHeader(i, raw, &p)) continue;
        const uint32_t length = p.dwords * 4u;
        std::vector<uint8_t> table(length > header.expectedBasicLength ? length : header.expectedBasicLength);
        (void)source.readSfdp(p.pointer, length, table.data());
        if (p.id == kBasicTableId)
            printBasicParameterTable(i, p.pointer, table.data(), length);
        else
            printSectorMapTable(i, table.data(), p.pointer, length);
    }
    return 0;
}
