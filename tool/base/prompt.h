// Questions to the person at the console (a confirmation before an action
// that may damage hardware).
#pragma once

#include <string>

/// Prints `question` (the lines before the answer, ending with the prompt
/// itself) and reads one answer line from standard input; false at the end
/// of input or after a stop request. The question reaches the person
/// before the wait: on standard output as usual, and, while standard output
/// carries one JSON document (+json holds every text line back until the
/// end), on standard error as well.
[[nodiscard]] bool askUser(const char* question, std::string& answer);
