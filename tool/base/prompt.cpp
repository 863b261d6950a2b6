#include "base/prompt.h"

#include "base/json_out.h"
#include "base/out.h"
#include "platform/platform.h"

bool askUser(const char* question, std::string& answer) {
    // With +json the question also stays among the held-back lines, so the
    // document's message is the same text the run prints without +json, and
    // a refusal's error message still tells what was asked.
    out("%s", question);
    if (jsonMode()) hint("%s", question);
    flushOut();
    return platform::readStdinLine(answer);
}
