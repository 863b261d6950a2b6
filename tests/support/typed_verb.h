// A verb as a person types it, run through the verb table: its row, the
// conversion of its words and its handler, against whatever link the
// context is bound to (the fake uC in unit tests). Test programs that use
// it link the command-line library.
#pragma once

#include <functional>
#include <vector>

#include "cli/verb_table.h"

inline std::function<Result(ConnectionContext*)> typedVerb(std::vector<const char*> words, bool confirm = false) {
    return [words, confirm](ConnectionContext* ctx) {
        const VerbCall call{ctx, false, confirm, static_cast<uint32_t>(words.size()), words.data()};
        return dispatchVerb(call);
    };
}
