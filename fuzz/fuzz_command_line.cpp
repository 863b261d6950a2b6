// Fuzz target for the option parser: the input is an argument vector of
// NUL-separated words, parsed with a table of every option type.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/out.h"
#include "cli/option_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> words{"zorviutil"};
    std::string word;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    words.push_back(word);
    std::vector<const char*> argv;
    for (const std::string& w : words) argv.push_back(w.c_str());

    OptionValue zero;
    zero.u64 = 0;
    OptionValue text;
    text.text = const_cast<char*>("x");
    CommandLineOption options[] = {
        {"f", OPT_FLOAT, "a float", zero, 0, {}},    {"d", OPT_DOUBLE, "a double", zero, 0, {}},
        {"i", OPT_INT, "an int", zero, 0, {}},       {"u", OPT_UINT, "a uint", zero, 0, {}},
        {"h", OPT_HEX, "hex", zero, 0, {}},          {"i64", OPT_INT64, "an int64", zero, 0, {}},
        {"u64", OPT_UINT64, "a uint64", zero, 0, {}}, {"h64", OPT_HEX64, "a hex64", zero, 0, {}},
        {"s", OPT_STRING, "a string", text, 0, {}},  {"b", OPT_BOOLEAN, "a boolean", zero, 0, {}},
        {"p", OPT_PATH, "a path", text, 0, {}},
    };
    const OptionType types[] = {OPT_STRING, OPT_PATH, OPT_UINT, OPT_BOOLEAN};
    const char* const names[] = {"one", "two", "three", "four"};
    const char* const meanings[] = {"first", "second", "third", "fourth"};
    const char* const topics[] = {"comm", "more", nullptr};
    CommandLineArgs args;
    args.optionCount = sizeof options / sizeof options[0];
    args.paramTypes = types;
    args.paramNames = names;
    args.paramMeanings = meanings;
    args.paramCount = 4;
    args.requiredParamCount = 1;
    args.noBitstreamOptions = size % 2 == 0 ? 1 : 0;
    args.options = options;
    args.noAutomaticUsage = 0;
    args.helpTopics = topics;

    OutCapture sink;
    (void)sampleParseCommandLine(&args, static_cast<int>(argv.size()), argv.data());
    freeCommandLineArgs(&args);
    freeCommandLineArgs(&args);
    return 0;
}
