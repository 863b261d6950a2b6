#include "cli/ignored_words.h"

#include <cstring>

#include "cli/option_parser.h"
#include "cli/verb_table.h"

namespace {

const CommandLineOption* optionOf(const char* word, const CommandLineOption* options, uint32_t optionCount) {
    if (word[0] != '-' && word[0] != '+' && word[0] != '/') return nullptr;
    for (uint32_t i = 0; i < optionCount; ++i)
        if (std::strcmp(options[i].name, word + 1) == 0) return &options[i];
    return nullptr;
}

}  // namespace

std::string ignoredWordsWarnings(uint32_t wordCount, const char* const* words, const CommandLineOption* options,
                                 uint32_t optionCount) {
    if (wordCount == 0) return "";
    const std::string verb = words[0];
    std::string text;
    for (uint32_t i = 1; i < wordCount; ++i) {
        if (optionOf(words[i], options, optionCount) == nullptr) continue;
        text += std::string("zorviutil: warning: '") + words[i] + "' after the verb is a word of '" + verb +
                "', not an option; options go before the verb\n";
    }
    const VerbRow* row = findVerb(words[0]);
    if (row == nullptr) return text;
    const uint32_t most = maxWords(*row);
    if (wordCount <= most) return text;
    std::string unread;
    for (uint32_t i = most; i < wordCount; ++i) unread += std::string(unread.empty() ? "" : " ") + words[i];
    const uint32_t takes = most - 1;
    text += std::string("zorviutil: warning: '") + verb + "' takes " +
            (takes == 0 ? std::string("no words") : "at most " + std::to_string(takes) + (takes == 1 ? " word" : " words")) +
            " after it; ignored: " + unread + "\n";
    return text;
}
