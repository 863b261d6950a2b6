#include "cli/option_parser.h"

#include <gtest/gtest.h>

#include <optional>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/numbers.h"
#include "base/out.h"
#include "support/test_env.h"
#include "platform/platform.h"

namespace {

// A small parser set-up like the program's: a uint, a string, a path, a
// boolean and a hex option, one required positional parameter.
struct Parser {
    CommandLineOption options[5];
    OptionType paramTypes[1] = {OPT_STRING};
    const char* paramNames[1] = {"command"};
    const char* paramMeanings[1] = {"what to do"};
    const char* topics[2] = {"comm", nullptr};
    CommandLineArgs args;
    OutCapture cap;

    Parser() {
        OptionValue zero;
        zero.u64 = 0;
        OptionValue empty;
        empty.text = const_cast<char*>("");
        OptionValue chip;
        chip.u64 = 0x48;
        options[0] = {"index", OPT_UINT, "index of card", zero, 0, {}};
        options[1] = {"usbcom", OPT_STRING, "USB serial port", empty, 0, {}};
        options[2] = {"dir", OPT_PATH, "a directory", empty, 0, {}};
        options[3] = {"verbose", OPT_BOOLEAN, "TRUE => verbose output", zero, 0, {}};
        options[4] = {"chipaddr", OPT_HEX, "SMBUS address", chip, 0, {}};
        args.optionCount = 5;
        args.paramTypes = paramTypes;
        args.paramNames = paramNames;
        args.paramMeanings = paramMeanings;
        args.paramCount = 1;
        args.requiredParamCount = 1;
        args.noBitstreamOptions = 1;
        args.options = options;
        args.noAutomaticUsage = 1;
        args.helpTopics = topics;
    }
    ~Parser() { freeCommandLineArgs(&args); }

    int32_t parse(std::vector<const char*> words) {
        words.insert(words.begin(), "zorviutil");
        return sampleParseCommandLine(&args, static_cast<int>(words.size()), words.data());
    }
    std::string positional(uint32_t k) const { return args.paramValues[k].text; }
};

TEST(OptionParser, HelpWordsAndTopics) {
    for (const char* word : {"-h", "/h", "+h", "-?", "/help"}) {
        SCOPED_TRACE(word);
        Parser p;
        EXPECT_EQ(p.parse({word}), kParseHelp);
        EXPECT_EQ(p.args.helpTopic, nullptr);
    }
    for (const char* word : {"-H", "-HELP"}) {
        Parser p;
        EXPECT_EQ(p.parse({word}), kParseError);
        EXPECT_EQ(p.cap.text(), std::string("Unknown option: ") + word + "\n");
    }
    Parser comm;
    EXPECT_EQ(comm.parse({"-h", "COMM"}), kParseHelp);
    EXPECT_STREQ(comm.args.helpTopic, "COMM");
    Parser other;
    EXPECT_EQ(other.parse({"-h", "other"}), kParseError);
    EXPECT_EQ(other.cap.text(), "Unrecognized help topic \"other\"; available topics are: comm\n");
}

TEST(OptionParser, BooleansTakeNoValueAndNeverSetSpecified) {
    Parser plus;
    ASSERT_EQ(plus.parse({"+verbose", "version"}), kParseOk);
    EXPECT_EQ(plus.options[3].value.i, 1);
    EXPECT_EQ(plus.options[3].specified, 0);
    Parser minus;
    ASSERT_EQ(minus.parse({"+verbose", "-verbose", "version"}), kParseOk);
    EXPECT_EQ(minus.options[3].value.i, 0);
    Parser slash;
    EXPECT_EQ(slash.parse({"/verbose", "version"}), kParseError);
    EXPECT_EQ(slash.cap.text(), "Boolean option verbose should be specified as -verbose or +verbose\n");
}

TEST(OptionParser, ValuesAndPositionals) {
    Parser p;
    ASSERT_EQ(p.parse({"-index", "7", "/usbcom", "COM3", "version", "-x"}), kParseOk);
    EXPECT_EQ(p.options[0].value.u, 7u);
    EXPECT_EQ(p.options[0].specified, 1);
    EXPECT_STREQ(p.options[1].value.text, "COM3");
    ASSERT_EQ(p.args.foundParamCount, 2u);
    EXPECT_EQ(p.positional(0), "version");
    EXPECT_EQ(p.positional(1), "-x");

    Parser lone;
    ASSERT_EQ(lone.parse({"-", "-index", "0"}), kParseOk);
    EXPECT_EQ(lone.positional(0), "-index");
    EXPECT_EQ(lone.options[0].specified, 0);

    Parser later;
    ASSERT_EQ(later.parse({"-index", "3", "+index", "0x1F", "v"}), kParseOk);
    EXPECT_EQ(later.options[0].value.u, 31u);
    Parser upper;
    ASSERT_EQ(upper.parse({"-index", "0X1F", "v"}), kParseOk);
    EXPECT_EQ(upper.options[0].value.u, 31u);
    Parser hex;
    ASSERT_EQ(hex.parse({"-chipaddr", "7F", "v"}), kParseOk);
    EXPECT_EQ(hex.options[4].value.u, 0x7Fu);
}

TEST(OptionParser, CommandLineErrors) {
    struct Case {
        std::vector<const char*> words;
        std::string message;
    };
    const Case cases[] = {
        {{"-index", "abc", "v"}, "Value of uint option index is invalid: abc\n"},
        {{"-index", "", "v"}, "Value of uint option index is invalid: \n"},
        // -1 is the index's value (not an option word), and no index.
        {{"-index", "-1", "v"}, "Value of uint option index is invalid: -1\n"},
        {{"-index", "12abc", "v"}, "Value of uint option index is invalid: 12abc\n"},
        {{"version", "-index"}, ""},
        {{"-index"}, "-index option requires parameter: index of card\n"},
        {{"/sdk", "x", "v"}, "Unknown option: /sdk\n"},
        {{}, "Too few parameters supplied. Use " + std::string(platform::kProgramFileName) + " /h to get help.\n"},
    };
    for (const Case& c : cases) {
        Parser p;
        const int32_t r = p.parse(c.words);
        if (c.message.empty()) {
            EXPECT_EQ(r, kParseOk);
            continue;
        }
        SCOPED_TRACE(c.message);
        EXPECT_EQ(r, kParseError);
        EXPECT_EQ(p.cap.text(), c.message);
    }
}

// Every number kind reads its whole text, within its own range; what a kind
// takes is shown as formatOptionValue prints it, nullptr is a refusal (the
// cell keeps what it held).
TEST(OptionParser, EveryNumberKindTakesExactlyItsNumbers) {
    struct Case {
        OptionType type;
        const char* text;
        const char* value;
    };
    const Case cases[] = {
        {OPT_UINT, "4294967295", "4294967295"},
        {OPT_UINT, "0X1f", "31"},
        {OPT_UINT, "4294967296", nullptr},
        {OPT_UINT, "0x100000000", nullptr},
        {OPT_UINT, "0junk", nullptr},
        {OPT_UINT, "0 7", nullptr},
        {OPT_UINT, "+7", nullptr},
        {OPT_UINT, "100001.9", nullptr},
        {OPT_UINT, "1e3", nullptr},
        {OPT_HEX, "7F", "0x7F"},
        {OPT_HEX, "0x7f", "0x7F"},
        {OPT_HEX, "100000048", nullptr},
        {OPT_HEX, "48h", nullptr},
        {OPT_INT, "-2147483648", "-2147483648"},
        {OPT_INT, "+5", "5"},
        {OPT_INT, "2147483648", nullptr},
        {OPT_INT, "0x10", nullptr},
        {OPT_INT64, "-9223372036854775808", "-9223372036854775808"},
        {OPT_INT64, "9223372036854775808", nullptr},
        {OPT_UINT64, "0xFFFFFFFFFFFFFFFF", "18446744073709551615"},
        {OPT_UINT64, "18446744073709551616", nullptr},
        {OPT_HEX64, "123456789", "0x123456789"},
        {OPT_HEX64, "0x10000000000000000", nullptr},
        {OPT_DOUBLE, "-1.5e3", "-1500.000000"},
        {OPT_DOUBLE, ".5", "0.500000"},
        {OPT_DOUBLE, "1.5x", nullptr},
        {OPT_DOUBLE, "1e", nullptr},
        {OPT_DOUBLE, "inf", nullptr},
        {OPT_DOUBLE, "0x1p3", nullptr},
        {OPT_DOUBLE, "1e999", nullptr},
        {OPT_DOUBLE, "1.2.3", nullptr},
        {OPT_FLOAT, "0.25", "0.250000"},
        {OPT_FLOAT, "1e39", nullptr},
        {OPT_BOOLEAN, "TRUE", "TRUE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(optionTypeName(c.type)) + " '" + c.text + "'");
        OptionValue cell;
        cell.u64 = 0;
        const int r = parseOptionValue(c.text, &cell, c.type);
        if (c.value == nullptr) {
            EXPECT_EQ(r, -1);
            EXPECT_EQ(cell.u64, 0u);
        } else {
            EXPECT_EQ(r, 0);
            EXPECT_STREQ(formatOptionValue(&cell, c.type), c.value);
        }
    }
}

TEST(OptionParser, PathsAreTrimmedButKeepTheirSeparators) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"  a  ", "a"}, {" / ", "/"}, {"/tmp/dir/", "/tmp/dir"}, {"/tmp//", "/tmp/"}, {"C:/sdk/", "C:/sdk"}, {"", ""},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        normalisePath(text.data());
        EXPECT_STREQ(text.c_str(), c.out) << "from '" << c.in << "'";
    }
    Parser p;
    ASSERT_EQ(p.parse({"-dir", " /x/y/ ", "v"}), kParseOk);
    EXPECT_STREQ(p.options[2].value.text, "/x/y");
}

TEST(OptionParser, SdkVariableGivesTheBitstreamDirectory) {
    testenv::set("VELLUM_SDK", "/opt/sdk/");
    Parser p;
    ASSERT_EQ(p.parse({"v"}), kParseOk);
    testenv::unset("VELLUM_SDK");
    EXPECT_STREQ(p.args.sdkDirectory, "/opt/sdk");
    EXPECT_STREQ(p.args.bitstreamDirectory, "/opt/sdk/bit");
}

TEST(OptionParser, FreeingTwiceIsHarmless) {
    Parser p;
    ASSERT_EQ(p.parse({"-usbcom", "COM3", "a", "b", "c"}), kParseOk);
    freeCommandLineArgs(&p.args);
    EXPECT_EQ(p.args.paramValues, nullptr);
    EXPECT_EQ(p.options[1].value.text, nullptr);
    freeCommandLineArgs(&p.args);
}

TEST(OptionParser, FormatsEveryType) {
    OptionValue v;
    v.u64 = 0;
    v.u = 0x48;
    EXPECT_STREQ(formatOptionValue(&v, OPT_HEX), "0x48");
    EXPECT_STREQ(formatOptionValue(&v, OPT_UINT), "72");
    v.i = -5;
    EXPECT_STREQ(formatOptionValue(&v, OPT_INT), "-5");
    v.u64 = 0x123456789ull;
    EXPECT_STREQ(formatOptionValue(&v, OPT_HEX64), "0x123456789");
    EXPECT_STREQ(formatOptionValue(&v, OPT_UINT64), "4886718345");
    v.i = 1;
    EXPECT_STREQ(formatOptionValue(&v, OPT_BOOLEAN), "TRUE");
    v.text = nullptr;
    EXPECT_STREQ(formatOptionValue(&v, OPT_STRING), "");
    v.d = 1.5;
    EXPECT_STREQ(formatOptionValue(&v, OPT_DOUBLE), "1.500000");
}

TEST(NumberHelpers, TheWholeWordWithinTheArgumentsWidth) {
    // Each word as an unsigned 32-bit argument, a signed 32-bit one and a
    // byte of a byte list; nullopt is a refusal.
    using U = std::optional<uint32_t>;
    using S = std::optional<int32_t>;
    struct Case {
        const char* text;
        U u;
        S s;
        U byte;
    };
    const Case cases[] = {
        {"42", 42, 42, 42},
        {"0x1F", 31, 31, 31},
        {"0X1f", 31, 31, 31},
        {"+7", {}, 7, {}},
        {"-0x10", {}, -16, {}},
        {"255", 255, 255, 255},
        {"256", 256, 256, {}},
        {"4294967295", 4294967295u, {}, {}},
        {"0xFFFFFFFF", 4294967295u, {}, {}},
        {"4294967296", {}, {}, {}},
        {"0x100000000", {}, {}, {}},
        {"18446744073709551616", {}, {}, {}},
        {"0x10000000000000000", {}, {}, {}},
        {"2147483647", 2147483647u, 2147483647, {}},
        {"-2147483648", {}, INT32_MIN, {}},
        {"-2147483649", {}, {}, {}},
        {"12abc", {}, {}, {}},
        {"0x10O00", {}, {}, {}},
        {" 5", {}, {}, {}},
        {"5 ", {}, {}, {}},
        {"", {}, {}, {}},
        {"0x", {}, {}, {}},
        {"-", {}, {}, {}},
        {"+-1", {}, {}, {}},
        {"099", 99, 99, 99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        uint32_t u = 7, f = 7;
        int32_t sv = 7;
        uint8_t b = 7;
        EXPECT_EQ(parseUnsigned(c.text, &u) == 1 ? U(u) : U(), c.u);
        EXPECT_EQ(parseUnsignedLong(c.text, &f) == 1 ? U(f) : U(), c.u);
        EXPECT_EQ(parseSigned(c.text, &sv) == 1 ? S(sv) : S(), c.s);
        EXPECT_EQ(parseByte(c.text, &b) == 1 ? U(b) : U(), c.byte);
    }
}

}  // namespace
