// zorvisim: a simulated board for zorviutil. Prints the pseudo-terminal's
// path as the first line of standard output (the readiness handshake), then
// serves until SIGTERM/SIGINT, or, with --run, until the command it started
// ends.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "boards/board_data.h"
#include "core/options.h"
#include "server.h"

namespace {

int gSignalPipe[2] = {-1, -1};
volatile sig_atomic_t gStopSignal = 0;

void onSignal(int sig) {
    if (sig != SIGCHLD) gStopSignal = sig;
    int saved = errno;
    char c = 1;
    ssize_t w = write(gSignalPipe[1], &c, 1);
    (void)w;
    errno = saved;
}

std::string replaceAll(std::string s, const std::string& what, const std::string& with) {
    size_t pos = 0;
    while ((pos = s.find(what, pos)) != std::string::npos) {
        s.replace(pos, what.size(), with);
        pos += with.size();
    }
    return s;
}

// An installed zorvisim keeps the PCIe stand-ins in a private folder beside
// its installation's library folder (never in the library path, where they
// would shadow a real driver). In the build tree they sit beside the
// programs, where zorviutil looks first anyway.
std::string standInFolder() {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "";
    std::string folder(self, static_cast<size_t>(n));
    folder.resize(folder.rfind('/') + 1);
    folder += ZORVI_SIM_LIBDIR_FROM_BINDIR;
    return access((folder + "/libtobra.so").c_str(), F_OK) == 0 ? folder : "";
}

pid_t startCommand(const std::vector<std::string>& command, const std::string& port, const std::string& socketPath) {
    std::vector<std::string> args;
    for (const std::string& a : command) args.push_back(replaceAll(replaceAll(a, "{port}", port), "{socket}", socketPath));
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid != 0) return pid;
    signal(SIGPIPE, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    signal(SIGCHLD, SIG_DFL);
    if (!socketPath.empty()) setenv(zsim::kPcieSocketEnv, socketPath.c_str(), 1);
    const std::string standIns = standInFolder();
    if (!standIns.empty()) {
        const char* old = std::getenv("LD_LIBRARY_PATH");
        setenv("LD_LIBRARY_PATH", (old != nullptr && *old != '\0' ? standIns + ":" + old : standIns).c_str(), 1);
    }
    execvp(argv[0], argv.data());
    std::fprintf(stderr, "zorvisim: cannot run '%s': %s\n", argv[0], std::strerror(errno));
    _exit(127);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    zsim::SimOptions options;
    std::string error;
    if (!zsim::parseOptions(args, options, error)) {
        std::fprintf(stderr, "zorvisim: %s\nUse 'zorvisim --help' for the options.\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(zsim::usageText(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("zorvisim %s\n", ZORVI_PROJECT_VERSION);
        return 0;
    }
    if (options.listModels) {
        for (const zsim::SimModel& m : zsim::knownModels()) std::printf("%u  %s\n", m.drawingNumber, m.name);
        return 0;
    }
    bool knownModel = false;
    for (const zsim::SimModel& m : zsim::knownModels()) knownModel = knownModel || m.drawingNumber == options.model;
    if (!knownModel)
        std::fprintf(stderr,
                     "zorvisim: warning: model %u is no known drawing number (see zorvisim --list-models); the board "
                     "plays it with a bare VPD record\n",
                     options.model);

    if (pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("zorvisim: pipe");
        return 1;
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    sa.sa_flags = SA_NOCLDSTOP;
    sigaction(SIGCHLD, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // A --run job gets a socket of its own unless told otherwise, so that
    // jobs running side by side never reach each other's board.
    if (!options.runCommand.empty() && options.pcieSocket.empty() && !options.noPcie)
        options.pcieSocket = "/tmp/zorvisim-pcie-" + std::to_string(getpid()) + ".sock";

    zsim::Server server(options);
    if (!server.open(error)) {
        std::fprintf(stderr, "zorvisim: %s\n", error.c_str());
        return 1;
    }
    // The handshake: everything is listening before the path is printed. A
    // --run job's standard output is the command's alone, so there the path
    // goes to standard error.
    std::fprintf(options.runCommand.empty() ? stdout : stderr, "%s\n", server.port().c_str());
    std::fflush(stdout);

    pid_t child = -1;
    if (!options.runCommand.empty()) child = startCommand(options.runCommand, server.port(), server.socketPath());

    int exitCode = 0;
    for (;;) {
        server.serve(gSignalPipe[0]);
        char drain[64];
        while (read(gSignalPipe[0], drain, sizeof drain) > 0) {
        }
        if (child > 0) {
            int status = 0;
            pid_t r = waitpid(child, &status, WNOHANG);
            if (r == child) {
                exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
        }
        if (gStopSignal != 0) {
            if (child > 0) {
                kill(child, SIGTERM);
                int status = 0;
                waitpid(child, &status, 0);
            }
            exitCode = child > 0 ? 128 + gStopSignal : 0;
            break;
        }
    }
    return exitCode;
}
