// The SFDP areas of real parts, read with command 0x5A from address 0 of
// running chips (the header, the parameter headers and the tables at the
// pointers they give). The dumps are the files fuzz/corpus/sfdp/*.sfdp,
// which also seed the SFDP fuzzer and serve the tool's unit tests; the build
// turns them into this table (cmake/sfdp_dumps.cmake), so a new dump is a
// new file there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zsim {

struct SfdpDump {
    const char* file;  ///< the dump's file name, e.g. "mt25qu01g.sfdp"
    const uint8_t* bytes;
    size_t size;
};

/// Every dump, in file-name order.
std::span<const SfdpDump> sfdpDumps();

}  // namespace zsim
