// A generic table-driven command-line parser. The caller describes its
// options and positional parameters in a CommandLineArgs record; the parser
// fills the values, prints help and usage on request, and reports the
// outcome as a small negative code.
#pragma once

#include <cstdint>

enum OptionType : int32_t {
    OPT_FLOAT = 0,
    OPT_DOUBLE = 1,
    OPT_INT = 2,
    OPT_UINT = 3,
    OPT_HEX = 4,
    OPT_INT64 = 5,
    OPT_UINT64 = 6,
    OPT_HEX64 = 7,
    OPT_STRING = 8,
    OPT_BOOLEAN = 9,
    OPT_PATH = 10,
};

/// One value of any option type; texts are owned heap copies (null = none).
union OptionValue {
    float f;
    double d;
    int32_t i;
    uint32_t u;
    int64_t i64;
    uint64_t u64;
    char* text;
};
static_assert(sizeof(OptionValue) == 8);

struct CommandLineOption {
    const char* name;
    OptionType type;
    const char* meaning;
    OptionValue defaultValue;
    int32_t specified;
    OptionValue value;
};

struct CommandLineArgs {
    uint32_t optionCount = 0;
    const OptionType* paramTypes = nullptr;
    const char* const* paramNames = nullptr;
    const char* const* paramMeanings = nullptr;
    uint32_t paramCount = 0;
    uint32_t requiredParamCount = 0;
    int32_t noBitstreamOptions = 0;
    CommandLineOption* options = nullptr;
    uint32_t foundParamCount = 0;
    OptionValue* paramValues = nullptr;
    char* programName = nullptr;
    char* sdkDirectory = nullptr;
    char* bitstreamDirectory = nullptr;
    char* bitstreamFile = nullptr;
    int32_t noAutomaticUsage = 0;
    const char* const* helpTopics = nullptr;
    char* helpTopic = nullptr;
};

enum : int32_t {
    kParseOk = 0,
    kParseError = -1,
    kParseNullArgs = -2,
    kParseNoMemory = -4,
    kParseHelp = -5,
};

/// The program name the parser reports in its messages and usage.
extern const char* const kProgramName;

/// Parses argv[1..argc-1] into args.
[[nodiscard]] int32_t sampleParseCommandLine(CommandLineArgs* args, int argc, const char* const* argv);
/// Prints the usage and the option table.
void showUsage(const CommandLineArgs* args);
/// Releases everything the parser allocated; a second call does nothing.
void freeCommandLineArgs(CommandLineArgs* args);
/// Converts text into a value cell of the given type; 0 or -1.
[[nodiscard]] int parseOptionValue(const char* text, OptionValue* cell, OptionType type);
/// Formats a value; the text lives in a static buffer until the next call.
const char* formatOptionValue(const OptionValue* cell, OptionType type);
/// Normalises a path in place (trims white space and one trailing separator).
void normalisePath(char* text);
/// Name of a type as shown in help and messages ("uint", ...).
const char* optionTypeName(OptionType type);
