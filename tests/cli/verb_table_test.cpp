#include "cli/verb_table.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "base/out.h"
#include "cli/ignored_words.h"
#include "cli/option_parser.h"
#include "support/fake_uc.h"
#include "support/temp_dir.h"
#include "platform/platform.h"

namespace {

struct Dispatch {
    Result code;
    std::string text;
    size_t requests;
};

Dispatch dispatch(std::vector<const char*> words) {
    FakeUc uc;
    OutCapture cap;
    VerbCall call{uc.context(), false, false, static_cast<uint32_t>(words.size()), words.data()};
    Result r = dispatchVerb(call);
    return {r, cap.text(), uc.requests().size()};
}

// Every row describes its verb whole: a name of its own, its usage lines
// starting with that name, its man page text and a place there of its own,
// arguments of a known kind with names of their own (a byte list last), and
// a word count the arguments can hold.
TEST(VerbTable, EveryRowIsUniqueAndComplete) {
    uint32_t count = 0;
    const VerbRow* rows = verbTable(&count);
    ASSERT_GT(count, 0u);
    std::set<std::string> names;
    std::set<std::pair<VerbGroup, uint32_t>> places;
    for (uint32_t i = 0; i < count; ++i) {
        const VerbRow& row = rows[i];
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(names.insert(row.name).second);
        EXPECT_NE(row.handler, nullptr);
        const std::string synopsis = row.synopsis != nullptr ? row.synopsis : "";
        const std::string first = "     " + std::string(row.name);
        EXPECT_EQ(synopsis.compare(0, first.size(), first), 0) << synopsis;
        EXPECT_TRUE(synopsis.size() == first.size() + 1 || synopsis[first.size()] == ' ') << synopsis;
        EXPECT_TRUE(synopsis.ends_with("\n"));
        EXPECT_TRUE(row.help != nullptr && row.help[0] != '\0');
        EXPECT_TRUE(places.insert({row.group, row.manPlace}).second) << "man page place " << unsigned(row.manPlace);
        std::set<std::string> argNames;
        bool byteList = false;
        for (const ArgSpec& a : row.args) {
            if (a.kind == Arg::None) break;
            EXPECT_FALSE(byteList) << "an argument after the byte list";
            EXPECT_TRUE(isKnownArgKind(a.kind)) << static_cast<int>(a.kind);
            EXPECT_TRUE(a.name != nullptr && argNames.insert(a.name).second);
            byteList = isByteList(a.kind);
        }
        EXPECT_GE(row.minWords, 1u);
        EXPECT_LE(row.minWords, maxWords(row));
        EXPECT_TRUE(row.minWords == 1 || row.tooFew != nullptr);
    }
}

TEST(VerbTable, WordsAfterTheVerbThatNoOneReads) {
    OptionValue zero;
    zero.u64 = 0;
    const CommandLineOption options[] = {{"json", OPT_BOOLEAN, "", zero, 0, {}},
                                         {"skip-same", OPT_BOOLEAN, "", zero, 0, {}},
                                         {"usbcom", OPT_STRING, "", zero, 0, {}}};
    struct Row {
        std::vector<const char*> words;
        std::string warnings;
    } rows[] = {
        {{"version"}, ""},
        {{"spi-program-bin", "0", "img.bin", "0"}, ""},
        {{"raw", "3", "0x03", "0x86", "1", "2", "3", "4", "5"}, ""},  // a byte list takes the rest
        {{"spi-raw", "0", "1", "2", "3", "4", "5", "6"}, ""},
        {{"spi-save-to-bin", "0", "/tmp/-json", "0", "16"}, ""},      // a file name, no option
        {{"version", "extra", "words"}, "zorviutil: warning: 'version' takes no words after it; ignored: extra words\n"},
        {{"getclk", "0", "1"}, "zorviutil: warning: 'getclk' takes at most 1 word after it; ignored: 1\n"},
        {{"version", "+json"},
         "zorviutil: warning: '+json' after the verb is a word of 'version', not an option; options go before the "
         "verb\nzorviutil: warning: 'version' takes no words after it; ignored: +json\n"},
        {{"spi-program-bin", "0", "img.bin", "0", "+skip-same"},
         "zorviutil: warning: '+skip-same' after the verb is a word of 'spi-program-bin', not an option; options go "
         "before the verb\nzorviutil: warning: 'spi-program-bin' takes at most 3 words after it; ignored: "
         "+skip-same\n"},
        {{"raw", "3", "-usbcom"},
         "zorviutil: warning: '-usbcom' after the verb is a word of 'raw', not an option; options go before the "
         "verb\n"},
        {{"no-such-verb", "a", "b"}, ""},  // the verb's own refusal says enough
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.words[0]);
        EXPECT_EQ(ignoredWordsWarnings(static_cast<uint32_t>(r.words.size()), r.words.data(), options, 3),
                  r.warnings);
    }
}

TEST(VerbTable, UnknownVerb) {
    Dispatch d = dispatch({"versions"});
    EXPECT_EQ(d.code, 1u);
    EXPECT_EQ(d.text, "*** Unrecognised command: versions\n    Use '" + std::string(platform::kProgramFileName) +
                          " -h' for help.\n");
}

// Argument failures print one message, return their code and send nothing.
TEST(VerbTable, ArgumentChecksSendNothing) {
    struct Case {
        std::vector<const char*> words;
        Result code;
        std::string text;
    };
    const Case cases[] = {
        {{"set-smbus-addr"}, 2, "*** 'set-smbus-addr' command must be followed by a 7-bit SMBUS chip address.\n"},
        {{"SET-SMBUS-ADDR-NV"}, 2,
         "*** 'SET-SMBUS-ADDR-NV' command must be followed by a 7-bit SMBUS chip address.\n"},
        {{"set-smbus-addr", "x"}, 2, "*** SMBUS chip address value 'x' not recognized as a number.\n"},
        {{"list-boards", "fast"}, 2, "*** 'list-boards' takes one optional word: noprobe.\n"},
        {{"getclk"}, 2, "*** 'getclk' command must be followed by a clock generator index.\n"},
        {{"getclk", "q"}, 2, "*** Clock generator index value 'q' not recognized as a number.\n"},
        {{"setclk", "1"}, 2,
         "*** 'setclk' command must be followed by (1) a clock generator index and (2) a frequency (Hz).\n"},
        {{"setclk", "q", "5"}, 3, "*** Clock generator index value 'q' not recognized as a number.\n"},
        {{"setclk", "256", "5"}, 3, "*** Clock generator index must be in the range 0 to 255.\n"},
        {{"setclk", "1", "fast"}, 4, "*** Frequency value 'fast' not recognized as a number.\n"},
        {{"setclknv", "1", "fast"}, 4, "*** Override frequency value 'fast' not recognized as a number.\n"},
        {{"SETCLK-REGMAP"}, 2,
         "*** 'setclk-regmap' command must be followed by (1) a clock generator index, (2) optional path to register "
         "map file and (3) optional register map file type.\n"},
        {{"setclknv-regmap", "300"}, 3, "*** Clock generator index must be in the range 0 to 255.\n"},
        {{"i2c-read-to-file", "a", "1", "2", "3", "f"}, 15, "*** I2C bus number value 'a' not recognized as a number.\n"},
        {{"i2c-read-to-file", "0", "b", "2", "3", "f"}, 16,
         "*** I2C chip address value 'b' not recognized as a number.\n"},
        {{"i2c-read-to-file", "0", "1", "c", "3", "f"}, 17, "*** Address value 'c' not recognized as a number.\n"},
        {{"i2c-read-to-file", "0", "1", "2", "d", "f"}, 20, "*** Count value 'd' not recognized as a number.\n"},
        {{"i2c-verify-with-file", "0", "x", "2", "f"}, 3, "*** I2C chip address value 'x' not recognized as a number.\n"},
        {{"i2c-read", "0", "1", "2", "n"}, 3, "*** Count value 'n' not recognized as a number.\n"},
        {{"i2c-write", "0", "1", "2"}, 2,
         "*** 'i2c-write' command must be followed by (1) the I2C bus number, (2) the I2C chip address, (3) the "
         "address, (4) one or more address/data bytes to write\n"},
        {{"i2c-write", "0", "1", "2", "5", "z"}, 21, "*** Byte value 'z' not recognized as a number.\n"},
        {{"i2c-write-read", "0", "1", "r"}, 20, "*** Read byte count value 'r' not recognized as a number.\n"},
        {{"spi-raw", "c", "1"}, 25, "*** SPI chip index value 'c' not recognized as a number.\n"},
        {{"spi-raw", "0", "n"}, 26, "*** SPI read count value 'n' not recognized as a number.\n"},
        {{"spi-raw", "0", "1", "0x9F", "q"}, 28, "*** Byte value 'q' not recognized as a number.\n"},
        {{"spi-check-blank", "0", "a", "1"}, 29, "*** SPI address value 'a' not recognized as a number.\n"},
        {{"spi-check-blank", "0", "0", "n"}, 30, "*** SPI blank-check count value 'n' not recognized as a number.\n"},
        {{"spi-erase", "0", "0", "n"}, 30, "*** SPI erase count value 'n' not recognized as a number.\n"},
        {{"spi-program-bin", "0", "f.bin", "a"}, 32, "*** Address value 'a' not recognized as an unsigned number.\n"},
        {{"spi-verify-bin", "0", "f.bin", "a"}, 32, "*** Address value 'a' not recognized as a signed number.\n"},
        {{"spi-program-mcs", "0", "f.mcs", "t"}, 32, "*** Translation value 't' not recognized as a signed number.\n"},
        {{"spi-save-to-bin", "0", "f", "s", "1"}, 25, "*** Starting address value 's' not recognized as a number.\n"},
        {{"spi-save-to-mcs", "0", "f", "0", "c"}, 25, "*** Byte count value 'c' not recognized as a number.\n"},
        {{"update-firmware"}, 2, "*** 'update-firmware' command must be followed by the firmware filename (.bin).\n"},
        {{"save-vpd"}, 2,
         "*** 'save-vpd' command must be followed by the filename (.bin) into which the VPD is to be saved.\n"},
        {{"display-black-box", "all"}, 39,
         "*** Valid 'display-black-box' command record types are: clobber, noclobber.\n"},
        {{"display-black-box", "both", "many"}, 40,
         "*** Black Box record count value 'many' not recognized as a number.\n"},
        {{"override-sensor", "1"}, 2,
         "*** 'override-sensor-raw' must be followed by the (1) sensor index and (2) the unscaled override value.\n"},
        {{"override-sensor", "i", "1"}, 3, "*** Sensor index value 'i' not recognized as a number.\n"},
        {{"override-sensor", "1", "v"}, 23, "*** Override value 'v' not recognized as a number.\n"},
        {{"release-sensor", "i"}, 3, "*** Sensor index value 'i' not recognized as a number.\n"},
        {{"set-brd-power", "1"}, 2, "*** '1' is not a recognized board power state; 'on' or 'off'\n"},
        {{"force-mez-power", "a", "1", "2", "0"}, 25, "Requested voltage value 'a' not recognized as a number.\n"},
        {{"force-mez-power-nv", "1", "b", "2", "0"}, 25,
         "Minimum allowed voltage value 'b' not recognized as an unsigned integer.\n"},
        {{"force-mez-power", "1", "1", "c", "0"}, 25,
         "Maximum allowed voltage value 'c' not recognized as an unsigned integer.\n"},
        {{"force-mez-power", "1", "1", "2", "m"}, 3,
         "*** Mezzanine index value 'm' not recognized as an unsigned integer.\n"},
        {{"Get-Mez-Power"}, 2, "*** 'Get-Mez-Power' command must be followed by (1) Mezzanine index\n"},
        {{"raw", "3", "5"}, 2,
         "*** 'raw' command must be followed by (1) the expected response length, (2) two or more command bytes to "
         "write\n"},
        {{"raw", "x", "3", "0x86"}, 37, "*** Expected response length value 'x' not recognized as a number.\n"},
        {{"raw", "3", "3", "y"}, 38, "*** Command byte value 'y' not recognized as a number.\n"},
        // No reply is longer than a flash page read's 515 bytes.
        {{"raw", "516", "3", "0x86"}, 37,
         "*** Expected response length must be in the range 0 to 515; no uC reply is longer.\n"},
        {{"raw", "4294967295", "3", "0x86"}, 37,
         "*** Expected response length must be in the range 0 to 515; no uC reply is longer.\n"},
        {{"config-si5338", "0", "c", "f"}, 16, "*** I2C chip address value 'c' not recognized as a number.\n"},
        // Words that once read as another number: a sign, a wrap past 32
        // bits, trailing characters, a byte above 0xFF.
        {{"spi-erase", "0", "+0x100000", "0x1000"}, 29, "*** SPI address value '+0x100000' not recognized as a number.\n"},
        {{"spi-erase", "0", "0x100001000", "0x1000"}, 29,
         "*** SPI address value '0x100001000' not recognized as a number.\n"},
        {{"spi-erase", "0", "0x10O00", "0x1000"}, 29, "*** SPI address value '0x10O00' not recognized as a number.\n"},
        {{"spi-program-bin", "0", "f.bin", "+0x200000"}, 32,
         "*** Address value '+0x200000' not recognized as an unsigned number.\n"},
        {{"i2c-write", "0", "-0x50", "0x10", "1"}, 16, "*** I2C chip address value '-0x50' not recognized as a number.\n"},
        {{"i2c-write", "0", "0x50", "0x10", "0x1AB"}, 21, "*** Byte value '0x1AB' not recognized as a number.\n"},
        {{"i2c-write", "0", "0x50", "0x10", "99999999999"}, 21,
         "*** Byte value '99999999999' not recognized as a number.\n"},
        {{"spi-raw", "0", "1", "0x19F"}, 28, "*** Byte value '0x19F' not recognized as a number.\n"},
        {{"spi-raw", "0", "1", "-0x61"}, 28, "*** Byte value '-0x61' not recognized as a number.\n"},
        {{"raw", "3", "3", "0x1FF"}, 38, "*** Command byte value '0x1FF' not recognized as a number.\n"},
        {{"spi-raw", "0", "-1", "0x9F"}, 26, "*** SPI read count value '-1' not recognized as a number.\n"},
        {{"spi-raw", "0", "65537", "0x9F"}, 26,
         "*** SPI read count must be in the range 0 to 65536; use spi-save-to-bin to read more.\n"},
        {{"setclk", "0", "4394967296"}, 4, "*** Frequency value '4394967296' not recognized as a number.\n"},
        {{"setclk", "4294967296", "5"}, 3, "*** Clock generator index value '4294967296' not recognized as a number.\n"},
        {{"getclk", "4294967296"}, 2, "*** Clock generator index value '4294967296' not recognized as a number.\n"},
        {{"force-mez-power", "4294969096", "1700", "1900", "0"}, 25,
         "Requested voltage value '4294969096' not recognized as a number.\n"},
        {{"set-smbus-addr", "0x100000048"}, 2, "*** SMBUS chip address value '0x100000048' not recognized as a number.\n"},
        {{"set-boot-mode", "4294967297"}, 41, "*** Boot mode value 4294967297 is not valid; maximum allowed value is 255.\n"},
        {{"spi-verify-mcs", "0", "f.mcs", "0x80000000"}, 32,
         "*** Translation value '0x80000000' not recognized as a signed number.\n"},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const char* w : c.words) trace += std::string(w) + " ";
        SCOPED_TRACE(trace);
        Dispatch d = dispatch(c.words);
        EXPECT_EQ(d.code, c.code);
        EXPECT_EQ(d.text, c.text);
        EXPECT_EQ(d.requests, 0u);
    }
}

// The service-mode column and the verbs agree: a refusing verb given good
// arguments (a small file that is also a register map) refuses in service
// mode, naming itself, before any exchange; no other verb says it refuses.
TEST(VerbTable, ServiceModeColumnMatchesWhatEachVerbDoes) {
    const std::string dir = testdir::make("zorvi-verbs");
    const std::string file = dir + "/f.txt";
    std::ofstream(file) << "6,08h\n";
    uint32_t count = 0;
    const VerbRow* rows = verbTable(&count);
    for (uint32_t i = 0; i < count; ++i) {
        const VerbRow& row = rows[i];
        if (row.flags & (kNeedsNoLink | kSwitchesService)) continue;
        SCOPED_TRACE(row.name);
        std::vector<const char*> words{row.name};
        for (const ArgSpec& a : row.args) {
            const bool optional = words.size() >= row.minWords;
            if (a.kind == Arg::None || (optional && (a.kind != Arg::Word || words.size() > row.minWords))) break;
            words.push_back(a.kind == Arg::Word ? file.c_str() : a.kind == Arg::PowerState ? "on" : "1");
        }
        if (words.size() < row.minWords) words.push_back("1");  // raw's second command byte
        FakeUc uc;
        uc.context()->inServiceMode = 1;
        OutCapture cap;
        VerbCall call{uc.context(), false, true, static_cast<uint32_t>(words.size()), words.data()};
        const Result r = dispatchVerb(call);
        // Every mezzanine-power verb has always named force-mez-power.
        const std::string named = std::string(row.name).find("mez-power") != std::string::npos ? "force-mez-power"
                                                                                               : row.name;
        const std::string refusal = "*** The " + named +
                                    " command requires the device to not be in Service Mode.\n    Please exit Service "
                                    "Mode manually using switch setting or by issuing the exit-service-mode command.\n";
        if (row.flags & kRefusesInService) {
            EXPECT_EQ(r, kRefusedInServiceMode) << cap.text();
            EXPECT_TRUE(cap.text().ends_with(refusal)) << cap.text();
            EXPECT_TRUE(uc.requests().empty());
        } else {
            EXPECT_EQ(cap.text().find("requires the device to not be in Service Mode"), std::string::npos);
        }
    }
    std::filesystem::remove_all(dir);
}

TEST(VerbTable, RawSendsTheConvertedBytesAndIgnoresExtraWordsElsewhere) {
    FakeUc uc;
    uc.queueReply({0x03, 0x06, 0x39});
    OutCapture cap;
    const char* words[] = {"RAW", "3", "3", "0x86", "0XFF"};
    VerbCall call{uc.context(), false, false, 5, words};
    EXPECT_EQ(dispatchVerb(call), 0u);
    ASSERT_EQ(uc.requests().size(), 1u);
    EXPECT_EQ(uc.requests()[0], (Bytes{0x03, 0x86, 0xFF}));
    EXPECT_EQ(cap.text(), "Expected/actual response length = 3 / 3\n03 06 39 \n");

    FakeUc uc2;
    uc2.queueReply({0x03, 0x03, 4, 0, 26, 0, 0, 0, 7, 0});
    OutCapture cap2;
    const char* version[] = {"version", "extra"};
    VerbCall call2{uc2.context(), false, false, 2, version};
    EXPECT_EQ(dispatchVerb(call2), 0u);
    EXPECT_EQ(cap2.text(), "ZORVI Keeper2 version is 4.26.0.7\n");
}

}  // namespace
