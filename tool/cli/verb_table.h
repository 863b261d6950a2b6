// The verb table: every verb's minimum word count, its argument checks and
// the function that carries it out.
#pragma once

#include <cstdint>

#include "base/result_codes.h"
#include "link/connection.h"

/// What a verb receives from the main program.
struct VerbCall {
    ConnectionContext* ctx;
    bool verbose;
    bool confirm;            ///< the -confirm option (force-mez-power)
    uint32_t wordCount;      ///< positional words, the verb included ("N")
    const char* const* words;  ///< words[0] is the verb as typed
};

using VerbHandler = Result (*)(const VerbCall& call);
using TooFewHandler = void (*)(const VerbCall& call);

struct VerbRow {
    const char* name;
    uint32_t minWords;
    TooFewHandler tooFew;  ///< prints the "must be followed by" message
    VerbHandler handler;
};

/// The table in dispatch order (build-info excluded: handled before any link).
const VerbRow* verbTable(uint32_t* count);

/// Looks the verb up without regard to case and runs it; prints the
/// unrecognised-command message when nothing matches.
[[nodiscard]] Result dispatchVerb(const VerbCall& call);
