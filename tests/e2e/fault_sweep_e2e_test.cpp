// Fault sweep: a representative verb of every family meets every kind of
// link fault the simulator knows, at every exchange the verb makes. Whatever
// goes wrong, the run ends with the verb's documented code and a failure
// line, in time, and leaves no output file that looks complete.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "e2e_harness.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int kAsClean = -1;     // the run must be the clean run's, output and all
constexpr int kVerbStatus = -2;  // one of the verb's own codes for a non-zero status byte

struct FaultKindRow {
    const char* fault;  // --fault KIND@N..., with N inserted before the suffix
    const char* suffix;
    int code;
};

const FaultKindRow kFaultKinds[] = {
    {"no-reply", "", 102},
    {"noise", "", kAsClean},
    {"short", "", 104},
    {"wrong-code", "", 102},  // the serial library skips a frame with a foreign code, then times out
    {"status", "=1", kVerbStatus},
    {"late", "={late}", 102},  // later than any time-out of the sweep (e2e::sweepTiming)
    {"hangup", "", 102},
};

struct VerbRow {
    const char* family;
    Lines args;                // after "-usbcom {port}" or "-psuart {port}"; {out} and {map} are files
    bool psuart;               // the PS UART link switches service mode by itself
    Lines simArgs;
    std::set<int> statusCodes; // what a non-zero status byte of the verb's own exchanges gives
    Lines advisory;            // requests whose failure the verb goes past (documented), by prefix
    size_t outSize;            // a complete {out}; 0 when the verb writes none
    bool keepsPartialOut;      // i2c-read-to-file keeps the bytes read before a failure (a shorter file)
};

// The version reply has no status byte: a changed byte 2 is a version number.
const VerbRow kVerbs[] = {
    {"identity", {"version"}, false, {}, {0}, {}, 0, false},
    {"images", {"save-vpd", "{out}"}, true, {}, {14, 102}, {}, 128, false},
    {"sensors", {"display-sensors"}, false, {"--sensor-seconds", "60"}, {102}, {}, 0, false},
    {"board control", {"set-boot-mode-nv", "2"}, false, {}, {103}, {"05 8C"}, 0, false},
    {"i2c", {"i2c-read-to-file", "0", "0x50", "0", "4", "{out}"}, false, {}, {103}, {}, 4, false},
    {"clocks", {"getclk", "1"}, false, {}, {103}, {}, 0, false},
    {"si5338", {"config-si5338", "1", "0x70", "{map}"}, false, {}, {103}, {}, 0, false},
    {"spi", {"spi-save-to-bin", "0", "{out}", "0x1000", "16"}, false, {"--spi-chip", "0=w25q128"}, {25, 103}, {}, 16,
     false},
#ifdef ZORVI_SWEEP_LONG
    // Before a partly covered block is erased the board is identified by
    // its VPD, whose request reports a status as a failed request (102).
    {"spi program", {"spi-program-bin", "0", "{in}", "0x10008"}, false, {"--spi-chip", "0=w25q128"}, {25, 102, 103},
     {}, 0, false},
#endif
};

// Lines that report the failure of one exchange.
size_t linkFailureLines(const std::string& out) {
    size_t n = 0;
    for (const std::string& line : e2e::splitLines(out))
        if (line.find("*** Failed to send command") != std::string::npos ||
            line.find("+++ ZORVI response too short") != std::string::npos ||
            line.find("*** ZORVI returned status") != std::string::npos)
            ++n;
    return n;
}

std::string replaceAll(std::string s, const std::string& what, const std::string& with) {
    for (size_t at = 0; (at = s.find(what, at)) != std::string::npos; at += with.size()) s.replace(at, what.size(), with);
    return s;
}

// Exchanges that only hand the board back (leaving service mode, ending a
// lengthy SPI operation): their failure is reported, but the verb's work
// is done and its result stands.
bool windsDown(const VerbRow& v, const Lines& requests, size_t index) {
    const std::string& r = requests[index];
    if (r.rfind("03 82", 0) == 0 || r.rfind("05 91 03", 0) == 0) return true;
    for (const std::string& a : v.advisory)
        if (r.rfind(a, 0) == 0) return true;
    return index > 0 && r == "03 86" && requests[index - 1].rfind("03 82", 0) == 0;
}

// The product-ID check after Enter Service Mode: when it fails the uC
// counts as not switched (12).
bool confirmsEntry(const Lines& requests, size_t index) {
    return index > 0 && requests[index] == "03 86" && requests[index - 1].rfind("03 80", 0) == 0;
}

// Whether the exchange at `index` comes after the start of something the
// verb hands back (service mode entered, a lengthy SPI operation begun) and
// before the step that hands it back.
bool insideHandBack(const Lines& requests, size_t index) {
    const std::pair<const char*, const char*> brackets[] = {{"03 80", "03 82"}, {"05 91 02", "05 91 03"}};
    for (const auto& [begin, end] : brackets) {
        bool begun = false, ended = false;
        for (size_t i = 0; i < requests.size(); ++i) {
            begun = begun || (i < index && requests[i].rfind(begin, 0) == 0);
            ended = ended || (i > index && requests[i].rfind(end, 0) == 0);
        }
        if (begun && ended) return true;
    }
    return false;
}

struct Case {
    const VerbRow* verb;
    const FaultKindRow* kind;
    size_t n;  // the failing exchange, from 1
};

// A clean run's time-out: nothing is injected, so it must hold however long
// a loaded machine keeps the tool or the simulator from the processor.
constexpr int kCleanTimeoutMs = 20000;

class FaultSweep : public ::testing::Test {
protected:
    // The arguments of one run on `board`, with its files in `dir`, and the
    // time-out of each exchange (a short one only where a fault is injected,
    // so that the failing case ends soon).
    static Lines argsFor(const VerbRow& v, const std::string& dir, int timeoutMs) {
        Lines a = {v.psuart ? "-psuart" : "-usbcom", "{port}", "-timeout", std::to_string(timeoutMs)};
        for (const std::string& w : v.args) {
            if (w == "{out}")
                a.push_back(dir + "/out.bin");
            else if (w == "{map}")
                a.push_back(dir + "/map.txt");
            else if (w == "{in}")
                a.push_back(dir + "/in.bin");
            else
                a.push_back(w);
        }
        return a;
    }
    static bool prepare(const std::string& dir) {
        return e2e::writeFile(dir + "/map.txt", "# Address,Data\n6,08h\n28,16h\n") &&
               e2e::writeFile(dir + "/in.bin", "0123456789abcdef");
    }
};

TEST_F(FaultSweep, EveryFaultAtEveryExchange) {
    // The clean runs: what each verb prints and which exchanges it makes.
    struct Clean {
        e2e::RunResult run;
        std::string out;  // with the board's folder as {dir}
        Lines requests;
    };
    std::vector<Clean> clean(std::size(kVerbs));
    for (size_t i = 0; i < std::size(kVerbs); ++i) {
        e2e::SimBoard board(kVerbs[i].simArgs);
        ASSERT_TRUE(board.ok()) << board.error();
        ASSERT_TRUE(prepare(board.tempDir()));
        clean[i].run = board.run(argsFor(kVerbs[i], board.tempDir(), kCleanTimeoutMs));
        clean[i].requests = board.requests();
        clean[i].out = replaceAll(clean[i].run.out, board.tempDir(), "{dir}");
        ASSERT_EQ(clean[i].run.exitCode, 0) << kVerbs[i].family << "\n" << clean[i].run.out;
    }

    // Under Wine every start of the tool costs a good part of a second: the
    // Windows tool meets each fault at the first, a middle and the last
    // exchange of each verb instead of at every one.
    const bool sampled = !e2e::windowsBinDir().empty();
    std::vector<Case> cases;
    for (size_t i = 0; i < std::size(kVerbs); ++i) {
        const size_t count = clean[i].requests.size();
        for (const FaultKindRow& k : kFaultKinds)
            for (size_t n = 1; n <= count; ++n)
                if (!sampled || n == 1 || n == (count + 1) / 2 || n == count) cases.push_back({&kVerbs[i], &k, n});
    }

    std::vector<std::string> problems(cases.size());
    e2e::forEachParallel(cases.size(), e2e::sweepTiming().parallel, [&](size_t c) {
        const Case& k = cases[c];
        const size_t verbIndex = static_cast<size_t>(k.verb - kVerbs);
        const Clean& base = clean[verbIndex];
        Lines simArgs = k.verb->simArgs;
        simArgs.push_back("--fault");
        simArgs.push_back(std::string(k.kind->fault) + "@" + std::to_string(k.n) +
                          replaceAll(k.kind->suffix, "{late}", std::to_string(e2e::sweepTiming().lateReplyMs)));
        e2e::SimBoard board(simArgs);
        if (!board.ok() || !prepare(board.tempDir())) {
            problems[c] = "simulator did not start: " + board.error();
            return;
        }
        const e2e::RunResult r = board.run(argsFor(*k.verb, board.tempDir(), e2e::sweepTiming().timeoutMs), "", {},
                                           30000 + e2e::sweepTiming().startSlackMs);
        std::string why;
        const size_t failures = e2e::failureLines(r.out).size();
        const size_t linkFailures = linkFailureLines(r.out);
        // One failing exchange is reported once; a late reply may also cost
        // the next exchange, and after a hang-up every later one fails.
        const bool oneExchangeFails = k.kind->code != 102 || std::string(k.kind->fault) == "no-reply" ||
                                      std::string(k.kind->fault) == "wrong-code";
        bool windDown = true;
        for (size_t j = k.n - 1; j < (oneExchangeFails ? k.n : base.requests.size()); ++j)
            windDown = windDown && windsDown(*k.verb, base.requests, j);
        if (r.timedOut) why += "hung; ";
        // A hung-up line fails the hand-back steps at once, said in one line.
        const bool skipped = r.err.find("the remaining steps that hand the board back are skipped") != std::string::npos;
        if (std::string(k.kind->fault) == "hangup" && insideHandBack(base.requests, k.n - 1) &&
            (linkFailures != 1 || !skipped))
            why += "hand-back steps not skipped at once after the hang-up; ";
        if (oneExchangeFails && linkFailures > 1) why += "one failing exchange reported " + std::to_string(linkFailures) + " times; ";
        if (k.kind->code == kAsClean) {
            if (r.exitCode != 0) why += "exit " + std::to_string(r.exitCode) + "; ";
            const std::string dir = board.tempDir();
            if (replaceAll(r.out, dir, "{dir}") != base.out) why += "output differs from the clean run; ";
        } else if (windDown) {
            if (r.exitCode != 0) why += "exit " + std::to_string(r.exitCode) + " where the work was done; ";
            if (failures == 0 && k.verb->statusCodes.count(0) == 0) why += "the failure went unreported; ";
        } else {
            bool codeOk = r.exitCode == k.kind->code;
            if (k.kind->code == kVerbStatus)
                codeOk = k.verb->statusCodes.count(r.exitCode) != 0 || (k.n == 1 && r.exitCode == 14);
            if (confirmsEntry(base.requests, k.n - 1)) codeOk = r.exitCode == 12;
            if (!codeOk) why += "exit " + std::to_string(r.exitCode) + "; ";
            if (r.exitCode != 0 && failures == 0) why += "no failure line; ";
        }
        if (k.verb->outSize != 0) {
            std::string saved;
            const bool exists = e2e::readFile(board.tempDir() + "/out.bin", saved);
            const bool complete = exists && saved.size() == k.verb->outSize;
            if (r.exitCode == 0 && !complete) why += "no complete file after success; ";
            if (r.exitCode != 0 && exists && (complete || !k.verb->keepsPartialOut))
                why += "an output file of " + std::to_string(saved.size()) + " bytes after a failure; ";
        }
        for (const auto& e : std::filesystem::directory_iterator(board.tempDir()))
            if (e.path().filename().string().find(".part") != std::string::npos) why += "a temporary file left; ";
        if (!why.empty()) problems[c] = why + "\n" + r.out;
    });

    for (size_t c = 0; c < cases.size(); ++c) {
        const Case& k = cases[c];
        EXPECT_EQ(problems[c], "") << k.verb->family << ": " << k.kind->fault << " at exchange " << k.n << " of "
                                   << clean[static_cast<size_t>(k.verb - kVerbs)].requests.size() << " ("
                                   << clean[static_cast<size_t>(k.verb - kVerbs)].requests[k.n - 1] << ")";
    }
}

}  // namespace
