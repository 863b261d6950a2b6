// What each result code (process exit code) means, in one table beside the
// codes themselves: the man page's exit status list is generated from it,
// and a self-check test holds it to result_codes.h.
#pragma once

#include <cstdint>

#include "base/result_codes.h"

struct ResultCodeText {
    Result code;
    const char* name;     ///< stable snake_case name (machine output)
    const char* meaning;  ///< one sentence fragment, no final full stop
};

/// Every result code in ascending order.
const ResultCodeText* resultCodeTexts(uint32_t* count);
/// The stable name of a code ("unexpected_status"), or "unknown".
const char* resultCodeName(Result code);
