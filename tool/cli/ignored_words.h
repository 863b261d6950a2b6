// Words after the verb that the verb never reads: an option typed there
// (options end at the verb) or words beyond what the verb takes. The run
// goes on as it always has; the warnings say what was left unread.
#pragma once

#include <cstdint>
#include <string>

struct CommandLineOption;

/// The warning lines (with their line ends) for the positional words
/// `words` (words[0] the verb), or empty when every word is read.
std::string ignoredWordsWarnings(uint32_t wordCount, const char* const* words, const CommandLineOption* options,
                                 uint32_t optionCount);
