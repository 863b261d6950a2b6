// The program's entry: parse, validate, open the link, run one verb.
#pragma once

#include "base/result_codes.h"
#include "cli/option_parser.h"
#include "link/connection.h"

/// The program's option table, in usage order (also read by the man page
/// and completion generator).
constexpr uint32_t kProgramOptionCount = 14;
void fillProgramOptions(CommandLineOption* options);

/// The process's run, for both entry points once they have the arguments as
/// UTF-8: prepares the console, installs the stop handlers, runs zorviutil,
/// reports a stop request and then ends the process as stopped; otherwise
/// returns the exit code.
[[nodiscard]] int runMain(int argc, const char* const* argv);

/// Runs zorviutil with a process argument vector; returns the exit code
/// (kOutputNotWritten for a run that succeeded but whose standard output
/// could not be written whole).
[[nodiscard]] Result runZorviutil(int argc, const char* const* argv);

/// Reads the text of a numeric environment variable (null when unset):
/// true with the value when it is exactly a decimal number that fits 32
/// bits; false when it is unset or empty, or, after one warning line on
/// standard error, when it is anything else (a value that is not taken
/// changes nothing).
[[nodiscard]] bool readEnvironmentNumber(const char* name, const char* text, uint32_t* value);

/// Applies ZORVIUTIL_FLAGS (its text, or null when unset) to a context's
/// service-mode permissions.
void applyZorviutilFlags(ConnectionContext* ctx, const char* flags);
