// Names and descriptions of the ZORVI_STATUS codes.
#pragma once

#include <cstdint>

namespace zorvi {

/// Selector 0: the description; any other selector: the symbolic name.
/// The texts are constants of the library.
const char* statusTextA(uint32_t status, uint32_t selector);
const wchar_t* statusTextW(uint32_t status, uint32_t selector);

}  // namespace zorvi
