#include "cli/option_parser.h"

#include <strings.h>

#include <cctype>
#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/numbers.h"
#include "base/out.h"
#include "platform/platform.h"

const char* const kProgramName = platform::kProgramFileName;

namespace {

const char* const kTypeNames[] = {"float", "double", "int", "uint", "hex", "int64", "uint64", "hex64",
                                  "string", "boolean", "path"};
static_assert(sizeof kTypeNames / sizeof kTypeNames[0] == OPT_PATH + 1);

// Paths use the platform's own separator; on this platform "/" stays "/".
constexpr char kPathSeparator = '/';

const char kSdkVariable[] = "VELLUM_SDK";

char* duplicate(const char* text) {
    if (text == nullptr) return nullptr;
    size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy != nullptr) std::memcpy(copy, text, n);
    return copy;
}

void release(char*& text) {
    std::free(text);
    text = nullptr;
}

bool isTextType(OptionType type) { return type == OPT_STRING || type == OPT_PATH; }

}  // namespace

const char* optionTypeName(OptionType type) {
    return type >= OPT_FLOAT && type <= OPT_PATH ? kTypeNames[type] : "?";
}

void normalisePath(char* text) {
    if (text == nullptr) return;
    size_t start = 0;
    while (text[start] != '\0' && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
    size_t length = std::strlen(text + start);
    std::memmove(text, text + start, length + 1);
    while (length > 0 && std::isspace(static_cast<unsigned char>(text[length - 1]))) text[--length] = '\0';
    if (length > 1 && text[length - 1] == kPathSeparator) text[length - 1] = '\0';
}

int parseOptionValue(const char* text, OptionValue* cell, OptionType type) {
    if (isTextType(type)) {
        std::free(cell->text);
        cell->text = nullptr;
        if (text == nullptr) return 0;
        cell->text = duplicate(text);
        if (cell->text == nullptr) return -1;
        if (type == OPT_PATH) normalisePath(cell->text);
        return 0;
    }
    if (text == nullptr) return -1;
    // Every number kind reads its whole text with the verb arguments' rule
    // (base/numbers.h): no white space, nothing after the number, and a value
    // beyond the kind's range is invalid rather than wrapped or cut.
    NumberWord read = NumberWord::NotANumber;
    uint64_t u = 0;
    int64_t i = 0;
    double d = 0;
    switch (type) {
        case OPT_FLOAT:
            read = readRealWord(text, FLT_MAX, &d);
            if (read == NumberWord::Ok) cell->f = static_cast<float>(d);
            break;
        case OPT_DOUBLE:
            read = readRealWord(text, DBL_MAX, &d);
            if (read == NumberWord::Ok) cell->d = d;
            break;
        case OPT_INT:
            read = readSignedWord(text, INT32_MIN, INT32_MAX, &i, NumberForm::Decimal);
            if (read == NumberWord::Ok) cell->i = static_cast<int32_t>(i);
            break;
        case OPT_UINT:
            read = readUnsignedWord(text, UINT32_MAX, &u, NumberForm::DecimalOrHex);
            if (read == NumberWord::Ok) cell->u = static_cast<uint32_t>(u);
            break;
        case OPT_HEX:
            read = readUnsignedWord(text, UINT32_MAX, &u, NumberForm::Hex);
            if (read == NumberWord::Ok) cell->u = static_cast<uint32_t>(u);
            break;
        case OPT_INT64:
            read = readSignedWord(text, INT64_MIN, INT64_MAX, &i, NumberForm::Decimal);
            if (read == NumberWord::Ok) cell->i64 = i;
            break;
        case OPT_UINT64:
            read = readUnsignedWord(text, UINT64_MAX, &u, NumberForm::DecimalOrHex);
            if (read == NumberWord::Ok) cell->u64 = u;
            break;
        case OPT_HEX64:
            read = readUnsignedWord(text, UINT64_MAX, &u, NumberForm::Hex);
            if (read == NumberWord::Ok) cell->u64 = u;
            break;
        case OPT_BOOLEAN:
            if (strcasecmp(text, "true") == 0) {
                cell->i = 1;
                read = NumberWord::Ok;
            } else if (strcasecmp(text, "false") == 0) {
                cell->i = 0;
                read = NumberWord::Ok;
            }
            break;
        default:
            break;
    }
    return read == NumberWord::Ok ? 0 : -1;
}

const char* formatOptionValue(const OptionValue* cell, OptionType type) {
    static char buffer[128];
    switch (type) {
        case OPT_FLOAT: std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(cell->f)); break;
        case OPT_DOUBLE: std::snprintf(buffer, sizeof buffer, "%f", cell->d); break;
        case OPT_INT: std::snprintf(buffer, sizeof buffer, "%ld", static_cast<long>(cell->i)); break;
        case OPT_UINT: std::snprintf(buffer, sizeof buffer, "%lu", static_cast<unsigned long>(cell->u)); break;
        case OPT_HEX: std::snprintf(buffer, sizeof buffer, "0x%lX", static_cast<unsigned long>(cell->u)); break;
        case OPT_INT64: std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(cell->i64)); break;
        case OPT_UINT64: std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(cell->u64)); break;
        case OPT_HEX64: std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(cell->u64)); break;
        case OPT_BOOLEAN: std::snprintf(buffer, sizeof buffer, "%s", cell->i != 0 ? "TRUE" : "FALSE"); break;
        case OPT_STRING:
        case OPT_PATH: std::snprintf(buffer, sizeof buffer, "%s", cell->text != nullptr ? cell->text : ""); break;
        default: buffer[0] = '\0'; break;
    }
    return buffer;
}

void showUsage(const CommandLineArgs* args) {
    out("Usage: %s [option ...]", kProgramName);
    for (uint32_t i = 0; i < args->paramCount; ++i) {
        const bool required = i < args->requiredParamCount;
        out(" %s%s%s", required ? "" : "[", args->paramNames[i], required ? "" : "]");
    }
    if (args->paramCount > 0) out("\n");
    out("\n");
    for (uint32_t i = 0; i < args->paramCount; ++i) out("%10s = %s\n", args->paramNames[i], args->paramMeanings[i]);
    out("\n");
    out("%12s  %7s  %12s  %s\n\n", "Option", "Type", "Default", "Meaning");
    out("%12s  %7s  %12s  %s\n", "/h /? /help", "", "", "Show this help");
    if (args->helpTopics != nullptr) {
        out("%12s  %7s  %12s  %s", "/h /? /help", "string", "", "Show help on topic, one of: ");
        for (const char* const* topic = args->helpTopics; *topic != nullptr; ++topic)
            out("%s%s", topic == args->helpTopics ? "" : ", ", *topic);
        out("\n");
    }
    if (args->noBitstreamOptions == 0) {
        out("%12s  %7s  %12s  %s\n", "/sdk", "string", "", "Specify base directory of VELLUM SDK");
        out("%12s  %7s  %12s  %s\n", "/bitdir", "string", "", "Specify bitstream directory");
        out("%12s  %7s  %12s  %s\n", "/bitfile", "string", "", "Specify bitstream file (.bit)");
    }
    for (uint32_t i = 0; i < args->optionCount; ++i) {
        const CommandLineOption& option = args->options[i];
        char word[17];
        std::snprintf(word, sizeof word, "%s%s", option.type == OPT_BOOLEAN ? "-/+" : "/", option.name);
        out("%12s  %7s  %12s  %s\n", word, optionTypeName(option.type), formatOptionValue(&option.defaultValue, option.type),
            option.meaning);
    }
}

void freeCommandLineArgs(CommandLineArgs* args) {
    if (args == nullptr) return;
    for (uint32_t i = 0; i < args->optionCount && args->options != nullptr; ++i) {
        if (isTextType(args->options[i].type)) release(args->options[i].value.text);
    }
    if (args->paramValues != nullptr) {
        for (uint32_t k = 0; k < args->foundParamCount; ++k) {
            if (k >= args->paramCount || isTextType(args->paramTypes[k])) release(args->paramValues[k].text);
        }
        delete[] args->paramValues;
        args->paramValues = nullptr;
    }
    release(args->programName);
    release(args->sdkDirectory);
    release(args->bitstreamDirectory);
    release(args->bitstreamFile);
    release(args->helpTopic);
}

namespace {

// The parser's messages are printed whole, however long the echoed argument:
// a cut message would hide the very text the user needs to see.

// The help and version options of other programs, typed from habit: the
// refusal stays as it is, and the hint names what this program has instead.
void hintForeignOption(const char* word) {
    for (const char* habit : {"--help", "--version", "-V", "-version"}) {
        if (std::strcmp(word, habit) != 0) continue;
        hint("%s: hint: '-h' prints the usage, and the verb 'build-info' tells the version\n", kProgramName);
        return;
    }
}

int32_t handleHelp(CommandLineArgs* args, int argc, const char* const* argv, int index) {
    if (index + 1 < argc && args->helpTopics != nullptr) {
        const char* topicWord = argv[index + 1];
        release(args->helpTopic);
        args->helpTopic = duplicate(topicWord);
        if (args->helpTopic == nullptr) return kParseNoMemory;
        for (const char* const* topic = args->helpTopics; *topic != nullptr; ++topic) {
            if (strcasecmp(*topic, topicWord) == 0) return kParseHelp;
        }
        out("Unrecognized help topic \"%s\"; available topics are: ", topicWord);
        for (const char* const* topic = args->helpTopics; *topic != nullptr; ++topic)
            out("%s%s", topic == args->helpTopics ? "" : ", ", *topic);
        out("\n");
        return kParseError;
    }
    if (args->noAutomaticUsage == 0) showUsage(args);
    return kParseHelp;
}

}  // namespace

int32_t sampleParseCommandLine(CommandLineArgs* args, int argc, const char* const* argv) {
    if (args == nullptr) {
        out("sampleParseCommandLine(): argument 'pArgs' is NULL (must not be NULL)\n");
        return kParseNullArgs;
    }
    args->sdkDirectory = nullptr;
    args->bitstreamDirectory = nullptr;
    args->bitstreamFile = nullptr;
    args->paramValues = nullptr;
    args->foundParamCount = 0;
    args->programName = duplicate(kProgramName);
    if (args->programName == nullptr) return kParseNoMemory;

    for (uint32_t i = 0; i < args->optionCount; ++i) {
        CommandLineOption& option = args->options[i];
        option.value = option.defaultValue;
        option.specified = 0;
        if (isTextType(option.type) && option.defaultValue.text != nullptr) {
            option.value.text = duplicate(option.defaultValue.text);
            if (option.value.text == nullptr) return kParseNoMemory;
        }
    }

    std::string sdk;
    if (platform::getEnv(kSdkVariable, sdk) && !sdk.empty()) {
        args->sdkDirectory = duplicate(sdk.c_str());
        if (args->sdkDirectory == nullptr) {
            out("sampleParseCommandLine(): failed to allocate string storage for getting %s environment variable\n",
                kSdkVariable);
            return kParseNoMemory;
        }
        normalisePath(args->sdkDirectory);
    }

    int index = 1;
    for (; index < argc; ++index) {
        const char* word = argv[index];
        const char prefix = word[0];
        if (prefix != '-' && prefix != '/' && prefix != '+') break;
        const char* rest = word + 1;
        if (*rest == '\0') {
            ++index;  // a lone prefix ends the options; everything after is positional
            break;
        }
        if (std::strcmp(rest, "h") == 0 || std::strcmp(rest, "help") == 0 || std::strcmp(rest, "?") == 0)
            return handleHelp(args, argc, argv, index);
        if (args->noBitstreamOptions == 0) {
            char** target = nullptr;
            if (std::strcmp(rest, "sdk") == 0) target = &args->sdkDirectory;
            if (std::strcmp(rest, "bitdir") == 0) target = &args->bitstreamDirectory;
            if (std::strcmp(rest, "bitfile") == 0) target = &args->bitstreamFile;
            if (target != nullptr) {
                if (index + 1 >= argc) {
                    if (target == &args->sdkDirectory)
                        out("%csdk option requires parameter: path to VELLUM SDK root\n", '/');
                    else if (target == &args->bitstreamDirectory)
                        out("%cbitdir option requires parameter: path to bitstream directory\n", '/');
                    else
                        out("%cbitfile option requires parameter: path to bitstream file (.bit)\n", '/');
                    return kParseError;
                }
                release(*target);
                *target = duplicate(argv[++index]);
                if (*target == nullptr) return kParseNoMemory;
                normalisePath(*target);
                continue;
            }
        }
        CommandLineOption* option = nullptr;
        for (uint32_t i = 0; i < args->optionCount; ++i) {
            if (std::strcmp(args->options[i].name, rest) == 0) {
                option = &args->options[i];
                break;
            }
        }
        if (option == nullptr) {
            out("Unknown option: %s\n", word);
            hintForeignOption(word);
            return kParseError;
        }
        if (option->type == OPT_BOOLEAN) {
            if (prefix == '/') {
                out("Boolean option %s should be specified as -%s or +%s\n", option->name, option->name, option->name);
                return kParseError;
            }
            option->value.i = prefix == '+' ? 1 : 0;
            continue;
        }
        if (index + 1 >= argc) {
            out("%s option requires parameter: %s\n", word, option->meaning);
            return kParseError;
        }
        const char* valueText = argv[++index];
        if (parseOptionValue(valueText, &option->value, option->type) != 0) {
            out("Value of %s option %s is invalid: %s\n", optionTypeName(option->type), option->name, valueText);
            return kParseError;
        }
        option->specified = 1;
    }

    const uint32_t found = index < argc ? static_cast<uint32_t>(argc - index) : 0;
    if (found > 0) {
        args->paramValues = new (std::nothrow) OptionValue[found];
        if (args->paramValues == nullptr) return kParseNoMemory;
        for (uint32_t k = 0; k < found; ++k) args->paramValues[k].u64 = 0;
        args->foundParamCount = found;
        for (uint32_t k = 0; k < found; ++k) {
            const char* text = argv[index + static_cast<int>(k)];
            if (k < args->paramCount) {
                if (parseOptionValue(text, &args->paramValues[k], args->paramTypes[k]) != 0) {
                    out("Value of %s parameter %d is invalid: %s\n", optionTypeName(args->paramTypes[k]),
                        static_cast<int>(k + 1), text);
                    return kParseError;
                }
            } else {
                args->paramValues[k].text = duplicate(text);
                if (args->paramValues[k].text == nullptr) return kParseNoMemory;
            }
        }
    }
    if (args->foundParamCount < args->requiredParamCount) {
        out("Too few parameters supplied. Use %s %ch to get help.\n", args->programName, '/');
        return kParseError;
    }
    if (args->bitstreamDirectory != nullptr) return kParseOk;
    if (args->sdkDirectory != nullptr) {
        std::string bit = std::string(args->sdkDirectory) + kPathSeparator + "bit";
        args->bitstreamDirectory = duplicate(bit.c_str());
        if (args->bitstreamDirectory == nullptr) {
            out("*** parse_command_line(): failed to allocate 'pBitPath'\n");
            return kParseNoMemory;
        }
    }
    return kParseOk;
}
