// The program's entry: parse, validate, open the link, run one verb.
#pragma once

#include "base/result_codes.h"

/// Runs zorviutil with a process argument vector; returns the exit code.
[[nodiscard]] Result runZorviutil(int argc, char** argv);
