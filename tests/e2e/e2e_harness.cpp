#include "e2e_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#ifndef ZORVI_BIN_DIR
#error "ZORVI_BIN_DIR must name the build's bin directory"
#endif

namespace e2e {
namespace {

long long nowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// A file descriptor closed on scope exit.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_ = -1;
};

// A pseudo-terminal in place of a pipe: the program writes to a terminal,
// the test reads what the terminal shows (its "\n" become "\r\n").
bool makeTerminal(Fd& readEnd, Fd& writeEnd) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return false;
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    readEnd.reset(master);
    writeEnd.reset(slave);
    return true;
}

// An existing file (a device such as /dev/full) as a child's output.
bool openForWriting(const std::string& path, Fd& writeEnd) {
    writeEnd.reset(open(path.c_str(), O_WRONLY | O_CLOEXEC));
    return writeEnd.get() >= 0;
}

bool makePipe(Fd& readEnd, Fd& writeEnd) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return true;
}

// The environment a child sees: nothing of the caller's except what a
// program needs to run at all, so that a developer's ZORVIUTIL_FLAGS or
// LD_LIBRARY_PATH can never change a test's outcome.
std::vector<std::string> childEnvironment(const EnvList& extra) {
    std::vector<std::string> env = {"PATH=/usr/local/bin:/usr/bin:/bin", "LANG=C", "LC_ALL=C"};
    for (const char* keep : {"HOME", "TMPDIR", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "WINEPREFIX",
                             "WINEDEBUG", "WINEDLLOVERRIDES", "WINESERVER"}) {
        const char* v = std::getenv(keep);
        if (v != nullptr) env.push_back(std::string(keep) + "=" + v);
    }
    for (const auto& [name, value] : extra) {
        std::string prefix = name + "=";
        for (auto it = env.begin(); it != env.end();) {
            if (it->compare(0, prefix.size(), prefix) == 0)
                it = env.erase(it);
            else
                ++it;
        }
        env.push_back(prefix + value);
    }
    return env;
}

std::vector<char*> cStrings(std::vector<std::string>& strings) {
    std::vector<char*> v;
    for (auto& s : strings) v.push_back(s.data());
    v.push_back(nullptr);
    return v;
}

// Forks and execs; the child's fds 0/1/2 become stdinFd/stdoutFd/stderrFd.
// ownSession: the child leads a session of its own (no controlling
// terminal), and is stopped when the test process ends.
pid_t spawn(const std::string& program, const std::vector<std::string>& args, const EnvList& env, int stdinFd,
            int stdoutFd, int stderrFd, bool ownSession = false, const std::string& cwd = "") {
    std::vector<std::string> argvStrings;
    argvStrings.push_back(program);
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings = childEnvironment(env);
    std::vector<char*> argv = cStrings(argvStrings);
    std::vector<char*> envp = cStrings(envStrings);

    pid_t pid = fork();
    if (pid != 0) return pid;
    // Child: only async-signal-safe calls from here on.
    if (dup2(stdinFd, 0) < 0 || dup2(stdoutFd, 1) < 0 || dup2(stderrFd, 2) < 0) _exit(126);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    if (ownSession) {
        setsid();
        prctl(PR_SET_PDEATHSIG, SIGTERM);
    }
    signal(SIGPIPE, SIG_DFL);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
}

int decodeWaitStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

void ignoreSigpipeOnce() {
    static const bool done = [] {
        signal(SIGPIPE, SIG_IGN);
        return true;
    }();
    (void)done;
}

// Waits up to `ms` for the child to end; true when it was reaped.
bool waitWithLimit(pid_t pid, int ms, int& status) {
    long long deadline = nowMs() + ms;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno != EINTR) return false;
        if (nowMs() >= deadline) return false;
        usleep(2000);
    }
}

std::string replaceAll(std::string s, const std::string& what, const std::string& with) {
    size_t pos = 0;
    while ((pos = s.find(what, pos)) != std::string::npos) {
        s.replace(pos, what.size(), with);
        pos += with.size();
    }
    return s;
}

}  // namespace

std::string binDir() { return ZORVI_BIN_DIR; }

std::string windowsBinDir() {
    const char* dir = std::getenv("ZORVI_E2E_WINDOWS_BIN");
    return dir != nullptr ? dir : "";
}

std::string wineProgram() {
    const char* wine = std::getenv("ZORVI_E2E_WINE");
    return wine != nullptr && *wine != '\0' ? wine : "/usr/bin/wine";
}

std::string toolPath() {
    return windowsBinDir().empty() ? binDir() + "/zorviutil" : windowsBinDir() + "/zorviutil.exe";
}

std::string libraryFile(const std::string& name) {
    return windowsBinDir().empty() ? "lib" + name + ".so" : name + ".dll";
}

std::string toolPortName(const std::string& ptyPath) {
    if (windowsBinDir().empty() || ptyPath.empty() || ptyPath[0] != '/') return ptyPath;
    return "Z:" + replaceAll(ptyPath, "/", "\\");
}

std::string makeTempDir(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) return "";
    return buf.data();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

bool readFile(const std::string& path, std::string& content) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::ostringstream s;
    s << f.rdbuf();
    content = s.str();
    return true;
}

bool writeFile(const std::string& path, const std::string& content) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f.write(content.data(), static_cast<std::streamsize>(content.size()));
    return static_cast<bool>(f);
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& stdinText,
                     const EnvList& env, int timeLimitMs, const RunExtras& extras) {
    ignoreSigpipeOnce();
    RunResult result;
    Fd inRead, inWrite, outRead, outWrite, errRead, errWrite;
    if (!makePipe(inRead, inWrite) ||
        !(extras.stdoutFile.empty() ? makePipe(outRead, outWrite) : openForWriting(extras.stdoutFile, outWrite)) ||
        !(extras.stderrOnTerminal ? makeTerminal(errRead, errWrite) : makePipe(errRead, errWrite))) {
        result.err = "pipe failed";
        return result;
    }
    if (extras.stdoutOnTerminal) {
        outRead.reset();
        outWrite.reset(fcntl(errWrite.get(), F_DUPFD_CLOEXEC, 0));
    }
    pid_t pid = spawn(program, args, env, inRead.get(), outWrite.get(), errWrite.get(), false, extras.cwd);
    if (pid < 0) {
        result.err = "fork failed";
        return result;
    }
    inRead.reset();
    outWrite.reset();
    errWrite.reset();
    fcntl(inWrite.get(), F_SETFL, O_NONBLOCK);

    size_t written = 0;
    if (stdinText.empty()) inWrite.reset();
    long long deadline = nowMs() + timeLimitMs;
    char buf[4096];
    while (outRead.get() >= 0 || errRead.get() >= 0) {
        pollfd fds[3];
        nfds_t n = 0;
        int outIdx = -1, errIdx = -1, inIdx = -1;
        if (outRead.get() >= 0) {
            outIdx = static_cast<int>(n);
            fds[n++] = {outRead.get(), POLLIN, 0};
        }
        if (errRead.get() >= 0) {
            errIdx = static_cast<int>(n);
            fds[n++] = {errRead.get(), POLLIN, 0};
        }
        if (inWrite.get() >= 0) {
            inIdx = static_cast<int>(n);
            fds[n++] = {inWrite.get(), POLLOUT, 0};
        }
        long long left = deadline - nowMs();
        if (left <= 0) {
            kill(pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        if (extras.whileRunning) extras.whileRunning(pid);
        const long long slice = extras.whileRunning ? 2 : 100;
        int r = poll(fds, n, static_cast<int>(left > slice ? slice : left));
        if (r < 0 && errno != EINTR) break;
        if (r <= 0) continue;
        if (inIdx >= 0 && (fds[inIdx].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            ssize_t w = write(inWrite.get(), stdinText.data() + written, stdinText.size() - written);
            if (w > 0) written += static_cast<size_t>(w);
            if (w < 0 && errno != EAGAIN) written = stdinText.size();
            if (written >= stdinText.size()) inWrite.reset();
        }
        if (outIdx >= 0 && (fds[outIdx].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            ssize_t got = read(outRead.get(), buf, sizeof buf);
            if (got > 0)
                result.out.append(buf, static_cast<size_t>(got));
            else if (got == 0 || errno != EINTR)
                outRead.reset();
        }
        if (errIdx >= 0 && (fds[errIdx].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            ssize_t got = read(errRead.get(), buf, sizeof buf);
            if (got > 0)
                result.err.append(buf, static_cast<size_t>(got));
            else if (got == 0 || errno != EINTR)
                errRead.reset();
        }
    }
    int status = 0;
    if (!waitWithLimit(pid, result.timedOut ? 5000 : timeLimitMs, status)) {
        kill(pid, SIGKILL);
        result.timedOut = true;
        waitpid(pid, &status, 0);
    }
    result.exitCode = decodeWaitStatus(status);
    return result;
}

EnvList loaderEnv() {
#ifdef ZORVI_E2E_SANITIZED
    // Under AddressSanitizer dlopen() is intercepted, so the search runs
    // with the sanitizer runtime as the caller and the program's own
    // $ORIGIN run path is not used: the link libraries beside zorviutil are
    // not found. Point the loader at them for sanitized builds only; the
    // plain build tests the real search.
    return {{"LD_LIBRARY_PATH", binDir()}};
#else
    return {};
#endif
}

RunResult runTool(const std::string& tool, const std::vector<std::string>& args, const std::string& stdinText,
                  const EnvList& env, int timeLimitMs, const RunExtras& extras) {
    if (tool.size() < 4 || tool.compare(tool.size() - 4, 4, ".exe") != 0)
        return runProgram(tool, args, stdinText, env, timeLimitMs, extras);
    // A Windows program runs under Wine; its standard output is in text
    // mode, which ends lines with "\r\n".
    // The program's exit code comes from the launcher beside it, when there
    // is one: under load Wine may end a finished program with SIGKILL.
    const std::string launcher = tool.substr(0, tool.find_last_of('/') + 1) + "wine_exit_code.exe";
    const std::string codeDir = access(launcher.c_str(), X_OK) == 0 ? makeTempDir("zorvi-exit") : "";
    const bool launched = !codeDir.empty();
    const std::string codeFile = codeDir + "/code";
    std::vector<std::string> wineArgs{tool};
    if (launched) wineArgs = {launcher, toolPortName(codeFile), toolPortName(tool)};
    wineArgs.insert(wineArgs.end(), args.begin(), args.end());
    const auto start = [&] {
        RunResult run = runProgram(wineProgram(), wineArgs, stdinText, env, timeLimitMs, extras);
        std::string code;
        if (launched && !run.timedOut && readFile(codeFile, code) && !code.empty())
            run.exitCode = static_cast<int>(std::strtoul(code.c_str(), nullptr, 10) & 0xFF);
        if (launched) unlink(codeFile.c_str());
        return run;
    };
    RunResult r = start();
    // On a loaded machine Wine now and then ends a start with a failure
    // before the program printed a line; zorviutil itself never fails
    // without saying why on standard output. Such a start is made once more.
    if (r.exitCode != 0 && !r.timedOut && r.out.empty() && extras.stdoutFile.empty()) r = start();
    if (launched) rmdir(codeDir.c_str());
    r.out = replaceAll(r.out, "\r\n", "\n");
    r.err = replaceAll(r.err, "\r\n", "\n");
    // Wine's own service processes inherit the standard error of the
    // program that started them and now and then report a fault of theirs
    // there ("wine: Unhandled page fault ..."); the program's exit code and
    // output tell whether the program itself failed.
    if (r.err.rfind("wine: ", 0) == 0 || r.err.find("\nwine: ") != std::string::npos) {
        std::string err;
        for (const std::string& line : splitLines(r.err))
            if (line.rfind("wine: ", 0) != 0) err += line + "\n";
        r.err = err;
    }
    return r;
}

namespace {
bool hasVariable(const EnvList& env, const std::string& name) {
    for (const auto& e : env)
        if (e.first == name) return true;
    return false;
}
}  // namespace

RunResult runZorviutil(const std::vector<std::string>& args, const std::string& stdinText, const EnvList& env,
                       int timeLimitMs, const RunExtras& extras) {
    EnvList all = loaderEnv();
    // The tool keeps state (recovery files) in the user's folder unless told
    // otherwise: never the developer's own during a test.
    static const std::string state = makeTempDir("zorvi-e2e-state");
    if (!hasVariable(env, "ZORVIUTIL_STATE_DIR")) all.emplace_back("ZORVIUTIL_STATE_DIR", toolPortName(state));
    all.insert(all.end(), env.begin(), env.end());
    return runTool(toolPath(), args, stdinText, all, timeLimitMs, extras);
}

RunResult runZorviutilIn(const std::string& workDir, const std::vector<std::string>& args) {
    RunExtras extras;
    extras.cwd = workDir;
    return runTool(toolPath(), args, "", loaderEnv(), 60000, extras);
}

SimBoard::SimBoard(std::vector<std::string> simArgs) {
    ignoreSigpipeOnce();
    tempDir_ = makeTempDir("zorvisim");
    if (tempDir_.empty()) {
        error_ = "cannot create a temporary directory";
        return;
    }
    logPath_ = tempDir_ + "/requests.log";
    socketPath_ = tempDir_ + "/pcie.sock";
    errPath_ = tempDir_ + "/zorvisim.stderr";
    for (size_t i = 0; i + 1 < simArgs.size(); ++i) {
        if (simArgs[i] == "--state-dir") {
            stateDir_ = simArgs[i + 1];
            ownStateDir_ = false;
        }
    }
    if (ownStateDir_) {
        stateDir_ = tempDir_ + "/state";
        simArgs.push_back("--state-dir");
        simArgs.push_back(stateDir_);
    }
    simArgs.push_back("--log");
    simArgs.push_back(logPath_);
    simArgs.push_back("--pcie-socket");
    simArgs.push_back(socketPath_);
    const bool windowsTool = !windowsBinDir().empty();
    if (windowsTool) {
        // The Windows stand-ins reach the board over TCP.
        simArgs.push_back("--pcie-tcp");
        simArgs.push_back("0");
    }

    Fd devNull(open("/dev/null", O_RDONLY | O_CLOEXEC));
    Fd errFile(open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    Fd outRead, outWrite;
    if (devNull.get() < 0 || errFile.get() < 0 || !makePipe(outRead, outWrite)) {
        error_ = "cannot set up the simulator's files";
        return;
    }
    // A session of its own lets the simulator own its pty as controlling
    // terminal, which Wine's server would otherwise take.
    pid_ = spawn(binDir() + "/zorvisim", simArgs, {}, devNull.get(), outWrite.get(), errFile.get(), true);
    outWrite.reset();
    if (pid_ < 0) {
        error_ = "fork failed";
        return;
    }
    // The handshake: the first line of the simulator's stdout is the port.
    std::string line;
    long long deadline = nowMs() + 20000;
    for (;;) {
        long long left = deadline - nowMs();
        if (left <= 0) {
            error_ = "no port line from zorvisim within 20 s";
            break;
        }
        pollfd p{outRead.get(), POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) continue;
        char c;
        ssize_t got = read(outRead.get(), &c, 1);
        if (got == 1) {
            if (c == '\n') {
                port_ = line;
                break;
            }
            line.push_back(c);
        } else if (got == 0 || errno != EINTR) {
            error_ = "zorvisim ended before printing its port";
            break;
        }
    }
    if (port_.empty()) {
        stop();
        return;
    }
    if (windowsTool) {
        // Told on standard error before the port line.
        std::string err;
        readFile(errPath_, err);
        const std::string tag = "PCIe stand-ins on TCP port ";
        const size_t at = err.find(tag);
        if (at != std::string::npos) tcpPort_ = static_cast<unsigned>(std::strtoul(err.c_str() + at + tag.size(), nullptr, 10));
    }
}

SimBoard::~SimBoard() {
    stop();
    if (!tempDir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(tempDir_, ec);
    }
}

std::string SimBoard::error() const {
    std::string err;
    readFile(errPath_, err);
    return error_ + (err.empty() ? "" : "; zorvisim stderr: " + err);
}

int SimBoard::stop() {
    if (pid_ <= 0) return -1;
    int status = 0;
    kill(pid_, SIGTERM);
    if (!waitWithLimit(pid_, 5000, status)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    return decodeWaitStatus(status);
}

std::vector<std::string> SimBoard::requests() const {
    std::string text;
    readFile(logPath_, text);
    return splitLines(text);
}

void SimBoard::clearRequests() {
    // The simulator appends with O_APPEND, so truncating under it is safe.
    if (truncate(logPath_.c_str(), 0) != 0) {
        writeFile(logPath_, "");
    }
}

RunResult SimBoard::run(std::vector<std::string> args, const std::string& stdinText, EnvList env,
                        int timeLimitMs, const RunExtras& extras) const {
    for (auto& a : args) {
        a = replaceAll(a, "{port}", port());
        a = replaceAll(a, "{socket}", socketPath_);
    }
    const bool hasSocket = hasVariable(env, "ZORVISIM_PCIE_SOCKET");
    if (!hasVariable(env, "ZORVIUTIL_STATE_DIR")) env.emplace_back("ZORVIUTIL_STATE_DIR", toolPortName(toolStateDir()));
    if (!hasSocket) env.emplace_back("ZORVISIM_PCIE_SOCKET", socketPath_);
    if (tcpPort_ != 0 && !hasSocket) env.emplace_back("ZORVISIM_PCIE_PORT", std::to_string(tcpPort_));
    return runZorviutil(args, stdinText, env, timeLimitMs, extras);
}

SweepTiming sweepTiming() {
    // Each exchange of the Windows tool passes through Wine's server, which
    // shares the two cores with the other cases' programs (a Wine start
    // alone keeps a core busy for a good part of a second): a fault-free
    // exchange can wait far beyond 300 ms for the processor. It gets the
    // time-out of a slow line, and fewer cases start at once. A late reply
    // comes after the time-outs of its own exchange and of the next one
    // (the simulator answers in order, so the next one fails as well), and
    // after the SPI exchanges' own time-out of 1 s. A Wine start itself
    // has been seen to take over 30 s on a busy machine.
    if (!windowsBinDir().empty()) return {2000, 6000, 4, 90000};
    return {300, 1500, 6, 0};
}

void forEachParallel(size_t count, unsigned threads, const std::function<void(size_t)>& job) {
    std::atomic<size_t> next{0};
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            for (size_t i; (i = next++) < count;) job(i);
        });
    for (auto& t : pool) t.join();
}

std::vector<std::string> failureLines(const std::string& out) {
    std::vector<std::string> found;
    for (const std::string& line : splitLines(out))
        // A failure may complete a started line ("Entering service mode: *** ...");
        // a reply under two bytes is reported by its documented "+++" line.
        if (line.find("*** ") != std::string::npos || line == "+++ ZORVI response too short to be valid.")
            found.push_back(line);
    return found;
}

}  // namespace e2e

namespace e2e {

std::string schemaDir() { return ZORVI_SCHEMA_DIR; }

std::string schemaProblems(const std::string& schemaName, const std::string& document) {
    // Debian's validator, not a copy of our own reading of the schema.
    static const char kCheck[] =
        "import json, sys\n"
        "try:\n"
        "    import jsonschema\n"
        "except ImportError:\n"
        "    print('skip: python3-jsonschema is not installed'); sys.exit(0)\n"
        "schema = json.load(open(sys.argv[1]))\n"
        "jsonschema.Draft202012Validator.check_schema(schema)\n"
        "errors = sorted(jsonschema.Draft202012Validator(schema).iter_errors(json.loads(sys.stdin.read())), key=str)\n"
        "for e in errors: print('/'.join(str(p) for p in e.absolute_path) + ': ' + e.message)\n";
    if (access("/usr/bin/python3", X_OK) != 0) return "skip: /usr/bin/python3 is not installed";
    const RunResult r = runProgram("/usr/bin/python3", {"-c", kCheck, schemaDir() + "/" + schemaName}, document);
    if (r.exitCode != 0) return "validator failed: " + r.out + r.err;
    return r.out;
}

}  // namespace e2e
