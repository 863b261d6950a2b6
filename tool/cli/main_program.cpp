#include "cli/main_program.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/json_out.h"
#include "base/numbers.h"
#include "base/out.h"
#include "base/progress.h"
#include "cli/help_texts.h"
#include "cli/ignored_words.h"
#include "cli/option_parser.h"
#include "cli/verb_table.h"
#include "cli/write_metrics.h"
#include "link/openers.h"
#include "platform/platform.h"

namespace {

enum OptionIndex { kIndex, kQuenta, kPsUart, kUsbCom, kSmbus, kIpmi, kSn, kVerbose, kChipAddr, kTimeout, kConfirm,
                   kJson, kSkipSame, kWaitBusy, kOptionCount };
static_assert(kOptionCount == kProgramOptionCount);

OptionValue textValue(const char* text) {
    OptionValue v;
    v.text = const_cast<char*>(text);
    return v;
}
OptionValue uintValue(uint32_t u) {
    OptionValue v;
    v.u64 = 0;
    v.u = u;
    return v;
}

constexpr uint32_t kMinChipAddr = 0x1;
constexpr uint32_t kMaxChipAddr = 0x7F;
constexpr uint32_t kMaxTimeoutMs = 3600000;
constexpr uint32_t kMaxWaitBusySeconds = 86400;
constexpr size_t kEnvironmentBuffer = 16;

/// Everything a run owns, released on every path.
struct Run {
    CommandLineArgs args;
    CommandLineOption options[kOptionCount];
    ConnectionContext* ctx = nullptr;
    ~Run() {
        closeConnection(ctx);
        freeCommandLineArgs(&args);
    }
};

/// The link option of the run as a command the program prints gives it.
std::string linkOptionText(const CommandLineOption* o) {
    char text[64];
    if (o[kPsUart].specified) return "-psuart " + platform::shellWord(o[kPsUart].value.text);
    if (o[kUsbCom].specified) return "-usbcom " + platform::shellWord(o[kUsbCom].value.text);
    if (o[kQuenta].specified) {
        std::snprintf(text, sizeof text, "-quenta %u", o[kQuenta].value.u);
    } else if (o[kSn].specified) {
        std::snprintf(text, sizeof text, "-index %u -sn %u", o[kIndex].value.u, o[kSn].value.u);
    } else {
        std::snprintf(text, sizeof text, "-index %u", o[kIndex].value.u);
    }
    return text;
}

void printLinkHint() { out("    Use \"%s -h comm\" for communication options help.\n", kProgramName); }

}  // namespace

bool readEnvironmentNumber(const char* name, const char* text, uint32_t* value) {
    // An empty value is how a shell clears a variable for one run
    // ("ZORVIUTIL_FLAGS= zorviutil ..."): it is taken as unset, silently.
    if (text == nullptr || *text == '\0') return false;
    uint64_t v = 0;
    // The variables are read into a 16-character buffer: longer values do
    // not fit and are ignored like any other value that is not a number.
    if (std::strlen(text) < kEnvironmentBuffer &&
        readUnsignedWord(text, UINT32_MAX, &v, NumberForm::Decimal) == NumberWord::Ok) {
        *value = static_cast<uint32_t>(v);
        return true;
    }
    hint("zorviutil: warning: %s='%s' is ignored; it takes a decimal number from 0 to 4294967295\n", name, text);
    return false;
}

void applyZorviutilFlags(ConnectionContext* ctx, const char* flags) {
    uint32_t bits = 0;
    if (!readEnvironmentNumber("ZORVIUTIL_FLAGS", flags, &bits)) return;
    if (bits & 1u) ctx->canEnterServiceMode = 1;
    if (bits & 2u) ctx->canExitServiceMode = 1;
    if (bits & 4u) ctx->autoServiceMode = 1;
    if (bits & 16u) ctx->canEnterServiceMode = 0;
    if (bits & 32u) ctx->canExitServiceMode = 0;
    if (bits & 64u) ctx->autoServiceMode = 0;
}

void fillProgramOptions(CommandLineOption* o) {
    o[kIndex] = {"index", OPT_UINT, "index of card to use (TOBRA Driver)", uintValue(0), 0, {}};
    o[kQuenta] = {"quenta", OPT_UINT, "index of card to use (QUENTA Driver)", uintValue(0), 0, {}};
    o[kPsUart] = {"psuart", OPT_STRING, "Zynq UltraScale+ PS UART and baud rate to use, e.g. COM1,171428",
                  textValue(""), 0, {}};
    o[kUsbCom] = {"usbcom", OPT_STRING, "USB serial port to use, e.g. COM1", textValue(""), 0, {}};
    o[kSmbus] = {"smbus", OPT_STRING, "SMBUS device to use, e.g. ?", textValue(""), 0, {}};
    o[kIpmi] = {"ipmi", OPT_STRING, "Use IPMI; specifies IPMI options string", textValue(""), 0, {}};
    o[kSn] = {"sn", OPT_UINT, "serial number of card to use", uintValue(0), 0, {}};
    o[kVerbose] = {"verbose", OPT_BOOLEAN, "TRUE => verbose output", uintValue(0), 0, {}};
    o[kChipAddr] = {"chipaddr", OPT_HEX, "SMBUS address of the ZORVI microcontroller (hexadecimal)", uintValue(0x48), 0,
                    {}};
    o[kTimeout] = {"timeout", OPT_UINT, "Timeout for ZORVI microcontroller commands (milliseconds)", uintValue(1000), 0,
                   {}};
    o[kConfirm] = {"confirm", OPT_BOOLEAN, "TRUE => confirm potentially dangerous operation", uintValue(0), 0, {}};
    o[kJson] = {"json", OPT_BOOLEAN, "TRUE => print one JSON document instead of text", uintValue(0), 0, {}};
    o[kSkipSame] = {"skip-same", OPT_BOOLEAN, "TRUE => SPI programming skips what the chip already holds",
                    uintValue(0), 0, {}};
    o[kWaitBusy] = {"wait-busy", OPT_UINT, "Seconds to wait for a serial port another program holds", uintValue(0), 0,
                    {}};
}

namespace {

/// Validates the link options, opens the link and runs the verb.
Result openAndDispatch(Run& run, const std::vector<const char*>& words) {
    CommandLineOption* o = run.options;
    const uint32_t chipAddr = o[kChipAddr].value.u;
    if (chipAddr < kMinChipAddr || chipAddr > kMaxChipAddr) {
        out("*** Value for '-chipaddr' option must be in the range 0x1 to 0x7F inclusive.\n");
        return kBadChipAddr;
    }

    // A verb that needs no link (build-info) is answered before any link
    // option is looked at.
    if (const VerbRow* row = findVerb(words[0]); row != nullptr && (row->flags & kNeedsNoLink) != 0) {
        const VerbCall call{nullptr, false, false, static_cast<uint32_t>(words.size()), words.data()};
        return dispatchVerb(call);
    }

    int links = 0;
    for (int i : {kIndex, kQuenta, kPsUart, kUsbCom, kSmbus, kIpmi}) links += o[i].specified != 0 ? 1 : 0;
    if (links == 0) {
        out("*** Please specify a communication option, one of: '-quenta', '-index', '-psuart', '-usbcom'.\n");
        printLinkHint();
        return kNoLink;
    }
    if (links > 1) {
        out("*** Too many communication options specifed; at most of one of '-quenta', '-index', '-psuart', "
            "'-usbcom' can be passed on the command line.\n");
        printLinkHint();
        return kTooManyLinks;
    }

    if (o[kWaitBusy].value.u > kMaxWaitBusySeconds) {
        out("*** Value for '-wait-busy' option must be in the range 0 .. 86400.\n");
        return kBadTimeout;
    }
    setBusyPortWait(o[kWaitBusy].value.u);

    const bool verbose = o[kVerbose].value.i != 0;
    Result r;
    if (o[kQuenta].specified) {
        r = openQuentaDevice(o[kQuenta].value.u, verbose, &run.ctx);
    } else if (o[kPsUart].specified) {
        r = openPsUart(o[kPsUart].value.text, verbose, &run.ctx);
    } else if (o[kUsbCom].specified) {
        r = openUsbCom(o[kUsbCom].value.text, verbose, &run.ctx);
    } else if (o[kSmbus].specified) {
        out("*** Access to the ZORVI uC via SMBUS is currently not supported for the %s operating system.\n",
            platform::kSystemName);
        return kSmbusNotSupported;
    } else if (o[kIpmi].specified) {
        out("*** Access to the ZORVI uC via IPMI is currently not supported for the %s operating system.\n",
            platform::kSystemName);
        return kIpmiNotSupported;
    } else {
        r = openTobraCard(o[kIndex].value.u, o[kSn].value.u, o[kSn].specified != 0, verbose, &run.ctx);
    }
    if (r != kOk) {
        // A scrape that cannot reach the board still says so in its file.
        if (const VerbRow* row = findVerb(words[0]);
            row != nullptr && std::strcmp(row->name, "write-metrics") == 0 && words.size() >= 2)
            writeMetricsWithoutLink(words[1], r);
        return r;
    }
    run.ctx->linkOption = linkOptionText(o);

    std::string flags;
    applyZorviutilFlags(run.ctx, platform::getEnv("ZORVIUTIL_FLAGS", flags) ? flags.c_str() : nullptr);

    if (o[kTimeout].specified) {
        const uint32_t ms = o[kTimeout].value.u;
        if (ms < 1 || ms > kMaxTimeoutMs) {
            out("*** Value for '-timeout' option must be in the range 1 .. 3600000.\n");
            return kBadTimeout;
        }
        run.ctx->timeoutMicroseconds = ms * 1000;
    }
    if (verbose) out("Current microcontroller mode: %s\n", run.ctx->inServiceMode ? "Service Mode" : "Normal Mode");

    VerbCall call{run.ctx, verbose, o[kConfirm].value.i != 0, static_cast<uint32_t>(words.size()), words.data()};
    call.skipSame = o[kSkipSame].value.i != 0;
    r = dispatchVerb(call);
    flushOut();
    return r;
}

/// Parses the command line and runs what it asks for.
Result runCommandLine(int argc, const char* const* argv) {
    Run run;
    CommandLineOption* o = run.options;
    fillProgramOptions(o);

    static const OptionType paramTypes[] = {OPT_STRING};
    static const char* const paramNames[] = {"command"};
    static const char* const paramMeanings[] = {kVerbListText};
    static const char* const helpTopics[] = {"comm", nullptr};
    CommandLineArgs& args = run.args;
    args.optionCount = kOptionCount;
    args.paramTypes = paramTypes;
    args.paramNames = paramNames;
    args.paramMeanings = paramMeanings;
    args.paramCount = 1;
    args.requiredParamCount = 1;
    args.noBitstreamOptions = 1;
    args.options = o;
    args.noAutomaticUsage = 1;
    args.helpTopics = helpTopics;

    const int32_t parsed = sampleParseCommandLine(&args, argc, argv);
    if (parsed < 0) {
        if (parsed == kParseHelp) {
            if (args.helpTopic == nullptr) {
                showUsage(&args);
                return kOk;
            }
            if (strcasecmp(args.helpTopic, "comm") == 0) {
                showCommHelp();
                return kOk;
            }
            return kCommandLineError;
        }
        return parsed == kParseNoMemory ? kNoMemory : kCommandLineError;
    }

    std::vector<const char*> words(args.foundParamCount);
    for (uint32_t i = 0; i < args.foundParamCount; ++i) words[i] = args.paramValues[i].text;
    const std::string ignored = ignoredWordsWarnings(args.foundParamCount, words.data(), o, args.optionCount);
    if (!ignored.empty()) hint("%s", ignored.c_str());
    if (o[kJson].value.i == 0) return openAndDispatch(run, words);
    // +json: every text line is held back and the run ends in one document.
    JsonRun json;
    std::string text;
    Result r;
    {
        OutCapture capture;
        r = openAndDispatch(run, words);
        text = capture.take();
    }
    out("%s", json.finish(words[0], r, text).c_str());
    flushOut();
    return r;
}

/// The end of every run: output that did not reach standard output whole
/// (a full disk, a closed pipe, /dev/full) fails a run that succeeded, and
/// is said on standard error, the one channel left.
Result settleOutput(Result r) {
    int error = 0;
    if (outputWritten(&error)) return r;
    if (error != 0)
        hint("*** Standard output could not be written whole: %s.\n", std::strerror(error));
    else
        hint("*** Standard output could not be written whole.\n");
    // A run that failed already keeps its own code: it tells what happened
    // to the board or the files (a link failure in the middle of an SPI
    // program, say), which a script must still see; the line above tells
    // that its report is incomplete too.
    return r == kOk ? kOutputNotWritten : r;
}

}  // namespace

Result runZorviutil(int argc, const char* const* argv) { return settleOutput(runCommandLine(argc, argv)); }

int runMain(int argc, const char* const* argv) {
    platform::initConsole();
    // Ctrl-C and termination requests stop the verb between two exchanges,
    // so the link is closed and files are settled before the process ends.
    platform::installStopHandlers();
    // Long work shows its progress on a terminal only, never in a log or a
    // pipe; ZORVIUTIL_PROGRESS=0 turns it off there too.
    std::string progress;
    uint32_t drawing = 1;
    if (platform::getEnv("ZORVIUTIL_PROGRESS", progress))
        (void)readEnvironmentNumber("ZORVIUTIL_PROGRESS", progress.c_str(), &drawing);
    setProgressDrawing(platform::stderrIsTerminal() && drawing != 0, platform::stdoutOnStderrTerminal());
    const Result r = runZorviutil(argc, argv);
    reportStopRequest();
    std::fflush(stdout);
    // Stopped on request: end as stopped, for the calling shell to see.
    platform::honourStopRequest();
    return static_cast<int>(r);
}
