#include "cli/main_program.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif
#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "base/out.h"
#include "cli/help_texts.h"
#include "cli/verb_table.h"
#include "support/fake_uc.h"
#include "support/temp_dir.h"
#include "platform/platform.h"

namespace {

struct RunOutput {
    Result code;
    std::string text;
};

RunOutput run(std::vector<const char*> words) {
    words.insert(words.begin(), "zorviutil");
    OutCapture cap;
    Result r = runZorviutil(static_cast<int>(words.size()), words.data());
    return {r, cap.text()};
}

// The program's name and system as this build prints them.
const std::string kProgram = platform::kProgramFileName;
const std::string kSystem = platform::kSystemName;
const std::string kLinkHint = "    Use \"" + kProgram + " -h comm\" for communication options help.\n";

TEST(MainProgram, PathsAnsweredWithoutALink) {
    struct Case {
        std::vector<const char*> words;
        Result code;
        std::string text;
    };
    const Case cases[] = {
        {{}, 10, "Too few parameters supplied. Use " + kProgram + " /h to get help.\n"},
        {{"-h", "other"}, 10, "Unrecognized help topic \"other\"; available topics are: comm\n"},
        {{"version"}, 118,
         "*** Please specify a communication option, one of: '-quenta', '-index', '-psuart', '-usbcom'.\n" + kLinkHint},
        {{"-index", "0", "-usbcom", "COM3", "version"}, 106,
         "*** Too many communication options specifed; at most of one of '-quenta', '-index', '-psuart', '-usbcom' "
         "can be passed on the command line.\n" +
             kLinkHint},
        {{"-smbus", "x", "version"}, 34,
         "*** Access to the ZORVI uC via SMBUS is currently not supported for the " + kSystem + " operating system.\n"},
        {{"-ipmi", "x", "version"}, 35,
         "*** Access to the ZORVI uC via IPMI is currently not supported for the " + kSystem + " operating system.\n"},
        {{"-chipaddr", "0x80", "build-info"}, 107,
         "*** Value for '-chipaddr' option must be in the range 0x1 to 0x7F inclusive.\n"},
        {{"-chipaddr", "0", "version"}, 107,
         "*** Value for '-chipaddr' option must be in the range 0x1 to 0x7F inclusive.\n"},
        {{"-sn", "5", "version"}, 118,
         "*** Please specify a communication option, one of: '-quenta', '-index', '-psuart', '-usbcom'.\n" + kLinkHint},
        {{"-psuart", "COM4,fast", "version"}, 110,
         "*** Baud rate value 'fast' from '-psuart' connection string not recognized as a number.\n"},
        {{"-psuart", ",9600", "version"}, 100,
         "*** Bad connection string ',9600'; must be of form 'COM<n>[,baud]'\n"},
        // A card index beyond 32 bits once opened card 0 and erased it.
        {{"-index", "4294967296", "spi-erase", "0", "0", "0x1000"}, 10,
         "Value of uint option index is invalid: 4294967296\n"},
    };
    for (const Case& c : cases) {
        RunOutput o = run(c.words);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(o.code, c.code);
        EXPECT_EQ(o.text, c.text);
    }
}

TEST(MainProgram, BuildInfoNeedsNoLink) {
    RunOutput o = run({"-chipaddr", "7F", "BUILD-INFO"});
    EXPECT_EQ(o.code, 0u);
    EXPECT_EQ(o.text,
              kProgram + " 4.26.0 - Microcontroller maintenance tool\n"
              "ZORVI API library: dynamically loaded, <zorvi.h> 1.0.1\n"
              "TOBRA API library: dynamically loaded, <tobra.h> 2.1.0\n"
              "QUENTA API library: dynamically loaded, <quenta.h> 0.4.0\n"
              "Supported models: CARD-A01 CARD-A02 CARD-A03 CARD-A04 CARD-A05 CARD-A06 CARD-A07 CARD-A08 "
              "CARD-A08-FH CARD-A10 CARD-A11 CARD-A12 CARD-A13 CARD-A14 CARD-A15 CARD-A16 CARD-A17 CARD-A18 CARD-A19 "
              "CARD-A20 CARD-A21 CARD-A22 CARD-A23 CARD-A24 CARD-A25 CARD-A26 CARD-A27 CARD-A28 CARD-A29 CARD-A30 "
              "CARD-A31 CARD-A32 CARD-A33 CARD-A34\n");
}

TEST(MainProgram, UsageListsVerbsAndOptions) {
    RunOutput o = run({"-h"});
    EXPECT_EQ(o.code, 0u);
    const std::string head =
        "Usage: " + kProgram + " [option ...] command\n"
        "\n"
        "   command = One of:\n"
        "\n"
        "     build-info\n"
        "     list-boards [noprobe]\n"
        "     product-id\n";
    EXPECT_EQ(o.text.substr(0, head.size()), head);
    const std::string middle =
        "     set-boot-mode-nv <boot mode | switch>\n"
        "       ZynqMP boot modes: switch, 0, 1, ..., 15, jtag, qspi24, qspi32, sd0,\n"
        "                          nand, sd1_v2, emmc, usb0, pjtag0, pjtag1, sd1_v3\n";
    EXPECT_NE(o.text.find(middle), std::string::npos);
    EXPECT_NE(o.text.find("     display-sensors-raw\n     write-metrics <file.prom | ->\n"), std::string::npos);
    const std::string tail =
        "     raw <expected response length> <command bytes ...>\n"
        "\n"
        "      Option     Type       Default  Meaning\n"
        "\n"
        " /h /? /help                         Show this help\n"
        " /h /? /help   string                Show help on topic, one of: comm\n"
        "      /index     uint             0  index of card to use (TOBRA Driver)\n"
        "     /quenta     uint             0  index of card to use (QUENTA Driver)\n"
        "     /psuart   string                Zynq UltraScale+ PS UART and baud rate to use, e.g. COM1,171428\n"
        "     /usbcom   string                USB serial port to use, e.g. COM1\n"
        "      /smbus   string                SMBUS device to use, e.g. ?\n"
        "       /ipmi   string                Use IPMI; specifies IPMI options string\n"
        "         /sn     uint             0  serial number of card to use\n"
        "  -/+verbose  boolean         FALSE  TRUE => verbose output\n"
        "   /chipaddr      hex          0x48  SMBUS address of the ZORVI microcontroller (hexadecimal)\n"
        "    /timeout     uint          1000  Timeout for ZORVI microcontroller commands (milliseconds)\n"
        "  -/+confirm  boolean         FALSE  TRUE => confirm potentially dangerous operation\n"
        "     -/+json  boolean         FALSE  TRUE => print one JSON document instead of text\n"
        "-/+skip-same  boolean         FALSE  TRUE => SPI programming skips what the chip already holds\n"
        "  /wait-busy     uint             0  Seconds to wait for a serial port another program holds\n";
    ASSERT_GE(o.text.size(), tail.size());
    EXPECT_EQ(o.text.substr(o.text.size() - tail.size()), tail);
}

TEST(MainProgram, CommTopicInAnyCase) {
    for (const char* topic : {"comm", "COMM"}) {
        RunOutput o = run({"-h", topic});
        EXPECT_EQ(o.code, 0u);
        EXPECT_EQ(o.text.rfind("Options for communicating with microcontroller:\n", 0), 0u);
        EXPECT_NE(o.text.find("    zorviutil.exe -usbcom COM3 version                               (Windows)\n"),
                  std::string::npos);
        EXPECT_NE(o.text.find("       zorviutil -usbcom /dev/ttyACM0 version                       (Linux)\n"),
                  std::string::npos);
    }
}

// A Ctrl-C as the system delivers it. On Windows the console starts a
// thread in the process that runs the system's CtrlRoutine, which calls the
// registered handlers (or ends the process when none takes the event); a
// test without a console starts that thread itself and waits for it.
void pressCtrlC() {
#ifdef _WIN32
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CtrlRoutine")));
    ASSERT_NE(routine, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, routine, reinterpret_cast<void*>(static_cast<ULONG_PTR>(CTRL_C_EVENT)),
                                 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
#else
    std::raise(SIGINT);
#endif
}

// Both entry points run through runMain, which installs the stop handlers:
// a Ctrl-C afterwards only sets the flag the exchanges look at.
TEST(MainProgram, RunMainInstallsTheStopHandlers) {
    const char* const words[] = {"zorviutil", "-h", "other", nullptr};
    {
        OutCapture cap;
        EXPECT_EQ(runMain(3, words), 10);
    }
    pressCtrlC();
    EXPECT_EQ(platform::stopRequested(), SIGINT);
    platform::setStopRequested(0);
}

// Every number of the program's options and environment reads the whole
// text with the verb arguments' rule; nullopt is a refusal: the option's
// "invalid" message, or one warning for a variable (an empty variable is
// taken as unset and says nothing).
TEST(MainProgram, OptionAndEnvironmentNumbersAreExact) {
    struct Case {
        const char* name;  ///< an option word, or a variable
        const char* text;
        std::optional<uint32_t> value;
    };
    const Case cases[] = {
        {"-index", "0x1F", 31},
        {"-index", "4294967296", {}},
        {"-index", "0x100000000", {}},
        {"-index", "0junk", {}},
        {"-index", "0 7", {}},
        {"-index", "-1", {}},
        {"-quenta", "4294967296", {}},
        {"-quenta", "0junk", {}},
        {"-sn", "100001", 100001},
        {"-sn", "4295067297", {}},
        {"-sn", "100001junk", {}},
        {"-sn", "100001.9", {}},
        {"-timeout", "3600000", 3600000},
        {"-timeout", "4294967297", {}},
        {"-timeout", "1e3", {}},
        {"-chipaddr", "7F", 0x7F},
        {"-chipaddr", "0X48", 0x48},
        {"-chipaddr", "100000048", {}},
        {"ZORVIUTIL_FLAGS", "7", 7},
        {"ZORVIUTIL_FLAGS", "4294967299", {}},
        {"ZORVIUTIL_FLAGS", "3junk", {}},
        {"ZORVIUTIL_FLAGS", "-4294967293", {}},
        {"ZORVIUTIL_FLAGS", "0x1", {}},
        {"ZORVIUTIL_FLAGS", "", {}},
        {"ZORVIUTIL_PROGRESS", "0", 0},
        {"ZORVIUTIL_PROGRESS", "off", {}},
        {"ZORVIUTIL_PROGRESS", " 0", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " '" + c.text + "'");
        if (c.name[0] != '-') {
            uint32_t value = 0;
            testing::internal::CaptureStderr();
            const bool taken = readEnvironmentNumber(c.name, c.text, &value);
            const std::string warning = testing::internal::GetCapturedStderr();
            EXPECT_EQ(taken ? std::optional<uint32_t>(value) : std::nullopt, c.value);
            const std::string said = std::string("zorviutil: warning: ") + c.name + "='" + c.text +
                                     "' is ignored; it takes a decimal number from 0 to 4294967295\n";
            EXPECT_EQ(warning, c.value || *c.text == '\0' ? "" : said);
            continue;
        }
        CommandLineOption options[kProgramOptionCount];
        fillProgramOptions(options);
        CommandLineArgs args;
        args.optionCount = kProgramOptionCount;
        args.options = options;
        args.noBitstreamOptions = 1;
        const char* const words[] = {"zorviutil", c.name, c.text, "version"};
        OutCapture cap;
        const int32_t parsed = sampleParseCommandLine(&args, 4, words);
        const CommandLineOption* option = nullptr;
        for (const CommandLineOption& o : options)
            if (std::string("-") + o.name == c.name) option = &o;
        ASSERT_NE(option, nullptr);
        if (c.value) {
            EXPECT_EQ(parsed, kParseOk);
            EXPECT_EQ(option->value.u, *c.value);
        } else {
            EXPECT_EQ(parsed, kParseError);
            EXPECT_EQ(cap.text(), std::string("Value of ") + optionTypeName(option->type) + " option " + option->name +
                                      " is invalid: " + c.text + "\n");
        }
        freeCommandLineArgs(&args);
    }
}

// Standard output that could not be written whole (here a stream open for
// reading only) fails a run that succeeded, with one line on standard
// error; a run that failed keeps its own code.
TEST(MainProgram, OutputNotWrittenFailsOnlyASuccess) {
    const std::string dir = testdir::make("zorvi-out");
    ASSERT_FALSE(dir.empty());
    const std::string readOnly = dir + "/read-only", writable = dir + "/writable";
    std::FILE* made = platform::openFile(readOnly.c_str(), "wb");
    ASSERT_NE(made, nullptr);
    std::fclose(made);
    struct Case {
        std::vector<const char*> words;
        bool streamFails;
        Result code;
    };
    const Case cases[] = {
        {{"build-info"}, true, kOutputNotWritten},
        {{"+json", "build-info"}, true, kOutputNotWritten},
        {{"-h"}, true, kOutputNotWritten},
        {{"-chipaddr", "0x80", "build-info"}, true, kBadChipAddr},
        {{"version"}, true, kNoLink},
        {{"build-info"}, false, kOk},
        {{"+json", "version"}, false, kNoLink},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.words.back()) + (c.streamFails ? ", stream fails" : ""));
        std::FILE* stream = c.streamFails ? platform::openFile(readOnly.c_str(), "rb")
                                          : platform::openFile(writable.c_str(), "w+b");
        ASSERT_NE(stream, nullptr);
        std::vector<const char*> words = c.words;
        words.insert(words.begin(), "zorviutil");
        std::FILE* previous = setOutStream(stream);
        testing::internal::CaptureStderr();
        const Result r = runZorviutil(static_cast<int>(words.size()), words.data());
        const std::string err = testing::internal::GetCapturedStderr();
        setOutStream(previous);
        EXPECT_EQ(r, c.code);
        if (c.streamFails) {
            EXPECT_EQ(err.rfind("*** Standard output could not be written whole", 0), 0u) << err;
            EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
        } else {
            EXPECT_EQ(err, "");
            EXPECT_GT(std::ftell(stream), 0L);
        }
        std::fclose(stream);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

TEST(ZorviutilFlags, SettingBitsFirstClearingBitsWin) {
    struct Case {
        const char* flags;
        uint32_t enter, exit, automatic;
    };
    const Case cases[] = {
        {"7", 1, 1, 1}, {"17", 0, 0, 0}, {"0x1", 0, 0, 0}, {"3junk", 0, 0, 0}, {nullptr, 0, 0, 0},
        {"4", 0, 0, 1}, {"12345678901234567", 0, 0, 0}, {"119", 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags ? c.flags : "(unset)");
        ConnectionContext ctx;
        testing::internal::CaptureStderr();  // the warning of a value not taken
        applyZorviutilFlags(&ctx, c.flags);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(ctx.canEnterServiceMode, c.enter);
        EXPECT_EQ(ctx.canExitServiceMode, c.exit);
        EXPECT_EQ(ctx.autoServiceMode, c.automatic);
    }
    ConnectionContext granted;
    granted.canEnterServiceMode = granted.canExitServiceMode = granted.autoServiceMode = 1;
    applyZorviutilFlags(&granted, "96");
    EXPECT_EQ(granted.canEnterServiceMode, 1u);
    EXPECT_EQ(granted.canExitServiceMode, 0u);
    EXPECT_EQ(granted.autoServiceMode, 0u);
}

}  // namespace
