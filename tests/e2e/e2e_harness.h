// End-to-end test harness: runs the real build/bin/zorvisim on a pseudo-
// terminal and the real build/bin/zorviutil against it.
//
//   e2e::SimBoard board({"--model", "1353"});       // starts zorvisim
//   ASSERT_TRUE(board.ok()) << board.error();
//   auto r = board.run({"-usbcom", "{port}", "version"});
//   EXPECT_EQ(r.exitCode, 0);
//   EXPECT_EQ(r.out, "ZORVI Keeper2 version is 4.26.0.7\n");
//   EXPECT_EQ(board.requests(), (std::vector<std::string>{"03 86", "03 83"}));
//
// Every SimBoard gets its own temporary directory holding the request log,
// the PCIe socket and (unless the arguments name one) the --state-dir, so
// boards of parallel tests never meet.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

using EnvList = std::vector<std::pair<std::string, std::string>>;

struct RunResult {
    int exitCode = -1;   ///< process exit status; 128 + signal if killed; -1 if it could not start
    std::string out;     ///< everything the program wrote to stdout
    std::string err;     ///< everything it wrote to stderr (zorviutil: only hints and warnings)
    bool timedOut = false;  ///< killed by the harness after the run's time limit
};

/// Less common wishes for one run.
struct RunExtras {
    std::string cwd;                            ///< working directory of the program (empty: ours)
    std::function<void(pid_t)> whileRunning;    ///< called every few milliseconds with the program's pid
    bool stderrOnTerminal = false;              ///< standard error is a pseudo-terminal; `err` is what it shows
    bool stdoutOnTerminal = false;              ///< with stderrOnTerminal: standard output shows on it too, `out` stays empty
    std::string stdoutFile;                     ///< standard output goes to this file (/dev/full); `out` stays empty
};

/// The build's bin directory (build/bin): zorviutil, zorvisim and the link libraries.
std::string binDir();

/// The Windows build's bin folder when the tests run its zorviutil.exe
/// under Wine ($ZORVI_E2E_WINDOWS_BIN); empty for the Linux tool. The
/// simulator is always the Linux one of binDir().
std::string windowsBinDir();
/// The Wine that runs Windows programs ($ZORVI_E2E_WINE, or /usr/bin/wine).
std::string wineProgram();
/// The tool's file in its bin folder: binDir()/zorviutil or
/// windowsBinDir()/zorviutil.exe.
std::string toolPath();
/// A link library's file name as the tool looks for it ("zorviapi" gives
/// libzorviapi.so or zorviapi.dll).
std::string libraryFile(const std::string& name);
/// The name under which the tool opens a pseudo-terminal of the simulator:
/// the path itself, or for Wine its Z: drive form (Z:\dev\pts\3).
std::string toolPortName(const std::string& ptyPath);

/// Creates a fresh directory under $TMPDIR (or /tmp); empty string on failure.
std::string makeTempDir(const std::string& prefix = "zorvi-e2e");

/// Runs any program with a scrubbed environment (PATH, LANG=C, HOME and the
/// sanitizer option variables if set, plus `env`), feeds `stdinText` on its
/// standard input and captures its output. Killed after `timeLimitMs`.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& stdinText = "", const EnvList& env = {}, int timeLimitMs = 60000,
                     const RunExtras& extras = {});

/// What a program that loads the link libraries needs in its environment
/// beyond the scrubbed one (empty except in sanitizer builds, where the
/// loader cannot use the program's own run path). runZorviutil adds it.
EnvList loaderEnv();

/// Runs the tool file `tool` (a zorviutil, or a zorviutil.exe under Wine,
/// whose "\r\n" line ends come back as "\n").
RunResult runTool(const std::string& tool, const std::vector<std::string>& args, const std::string& stdinText = "",
                  const EnvList& env = {}, int timeLimitMs = 60000, const RunExtras& extras = {});

/// runTool with toolPath() (and loaderEnv()).
RunResult runZorviutil(const std::vector<std::string>& args, const std::string& stdinText = "",
                       const EnvList& env = {}, int timeLimitMs = 60000, const RunExtras& extras = {});
/// runZorviutil in the working directory `workDir`.
RunResult runZorviutilIn(const std::string& workDir, const std::vector<std::string>& args);

/// One running zorvisim. The constructor returns once the simulator printed
/// its port (the readiness handshake); the destructor stops it by pid.
class SimBoard {
public:
    /// simArgs: zorvisim options (see `zorvisim --help`); the harness adds
    /// --log, --pcie-socket and --state-dir (unless given) itself.
    explicit SimBoard(std::vector<std::string> simArgs = {});
    ~SimBoard();
    SimBoard(const SimBoard&) = delete;
    SimBoard& operator=(const SimBoard&) = delete;

    bool ok() const { return pid_ > 0 && !port_.empty(); }
    /// Why the start failed (and the simulator's stderr so far).
    std::string error() const;

    /// The pseudo-terminal's name as the tool opens it ("{port}" in run()'s
    /// arguments).
    std::string port() const { return toolPortName(port_); }
    /// The pseudo-terminal's path on this system.
    const std::string& ptyPath() const { return port_; }
    /// The Unix socket of the PCIe stand-ins (libtobra.so, libquenta.so).
    std::string socket() const { return socketPath_; }
    /// The board's state directory (persistent flash, mode, overrides).
    std::string stateDir() const { return stateDir_; }
    /// This board's private temporary directory (free for test files).
    std::string tempDir() const { return tempDir_; }
    /// The tool's state folder for runs on this board (its recovery files):
    /// run() points ZORVIUTIL_STATE_DIR there unless `env` names one.
    std::string toolStateDir() const { return tempDir_ + "/tool-state"; }
    pid_t pid() const { return pid_; }

    /// Every request the simulator received so far, one line of upper-case
    /// hex bytes separated by blanks per request, e.g. "03 86".
    std::vector<std::string> requests() const;
    /// Forgets the requests logged so far (truncates the log).
    void clearRequests();

    /// Runs zorviutil: every "{port}" in the arguments becomes port(),
    /// "{socket}" becomes socket(), and ZORVISIM_PCIE_SOCKET is set so that
    /// -index / -quenta reach this board.
    RunResult run(std::vector<std::string> args, const std::string& stdinText = "", EnvList env = {},
                  int timeLimitMs = 60000, const RunExtras& extras = {}) const;

    /// Stops the simulator now (SIGTERM, then SIGKILL); returns its exit status.
    int stop();

private:
    pid_t pid_ = -1;
    std::string port_;
    std::string tempDir_;
    std::string logPath_;
    std::string socketPath_;
    std::string stateDir_;
    std::string errPath_;
    std::string error_;
    bool ownStateDir_ = true;
    unsigned tcpPort_ = 0;  ///< the PCIe stand-ins' TCP port (Windows tool)
};

/// How the sweeps time the tool's runs and how many they run at once.
struct SweepTiming {
    int timeoutMs;      ///< the tool's -timeout for each exchange
    int lateReplyMs;    ///< a late reply's delay: beyond every time-out of the runs
    unsigned parallel;  ///< runs at the same time
    int startSlackMs;   ///< added to each run's time limit: a program start that may take long
};
/// Short time-outs for the Linux tool, so that failing cases end soon; for
/// the Windows tool under Wine, time-outs that hold on a busy machine.
SweepTiming sweepTiming();

/// Runs job(0) .. job(count - 1) on `threads` threads (sweeps of many short
/// runs that mostly wait on a simulated line).
void forEachParallel(size_t count, unsigned threads, const std::function<void(size_t)>& job);

/// The lines of a run's output that report a failure ("*** ...", and the
/// "+++" line of a reply too short to be valid).
std::vector<std::string> failureLines(const std::string& out);

/// Splits text into lines (without their "\n"); a final line without "\n" counts.
std::vector<std::string> splitLines(const std::string& text);

/// Reads/writes whole binary files (tests build images with these).
bool readFile(const std::string& path, std::string& content);
bool writeFile(const std::string& path, const std::string& content);

}  // namespace e2e

namespace e2e {
/// The folder of the JSON Schemas the package installs (doc/schema).
std::string schemaDir();
/// Checks one JSON document against the schema file `schemaName` (in
/// schemaDir()) with Debian's python3-jsonschema. Returns "" when it
/// conforms, else what the validator said; "skip: ..." when the validator is
/// not installed.
std::string schemaProblems(const std::string& schemaName, const std::string& document);
}  // namespace e2e
