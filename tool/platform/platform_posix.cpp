#include "platform/platform.h"
#include "platform/platform_system.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <vector>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef ZORVI_LIBDIR_FROM_BINDIR
#define ZORVI_LIBDIR_FROM_BINDIR "../lib"
#endif

namespace platform {
namespace {
volatile sig_atomic_t gStopRequest = 0;

void onStopSignal(int signalNumber) {
    if (gStopRequest != 0) {
        // Asked twice: go now, the way the signal would have ended us.
        signal(signalNumber, SIG_DFL);
        raise(signalNumber);
        return;
    }
    gStopRequest = signalNumber;
}
}  // namespace

void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // Restarted calls keep file and terminal output whole; the serial
    // library and the sleeps already carry on after an interruption, and
    // the standard-input reader polls, so the flag is seen.
    action.sa_flags = SA_RESTART;
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // A signal ignored by whoever started us (nohup, a background job)
        // stays ignored.
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(s, &action, nullptr);
    }
}

int stopRequested() { return gStopRequest; }

const char* stopRequestName(int request) {
    switch (request) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "a stop request";
    }
}

void honourStopRequest() {
    const int request = gStopRequest;
    if (request == 0) return;
    std::fflush(stdout);
    signal(request, SIG_DFL);
    raise(request);
}

void setStopRequested(int request) { gStopRequest = request; }

void* loadLibrary(const char* fileName) {
    // Like the Windows loader, look in the program's own folder first, then
    // in the library folder of the installation the program belongs to
    // (bin/../lib/<arch>, whatever the prefix or a package's unpack root),
    // then the system's search path. The run path ($ORIGIN) alone is not
    // enough: when dlopen is intercepted (sanitizer builds) the caller's run
    // path is no longer consulted.
    if (std::strchr(fileName, '/') == nullptr) {
        char self[4096];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n > 0) {
            std::string folder(self, static_cast<size_t>(n));
            folder.resize(folder.rfind('/') + 1);
            for (const std::string& path : {folder + fileName, folder + ZORVI_LIBDIR_FROM_BINDIR + "/" + fileName})
                if (void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return library;
        }
    }
    return dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
}

void initConsole() {}

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool stdoutOnStderrTerminal() {
    struct stat outStat {}, errStat {};
    return isatty(STDOUT_FILENO) == 1 && isatty(STDERR_FILENO) == 1 && fstat(STDOUT_FILENO, &outStat) == 0 &&
           fstat(STDERR_FILENO, &errStat) == 0 && outStat.st_rdev == errStat.st_rdev;
}

std::FILE* openFile(const char* path, const char* mode) { return std::fopen(path, mode); }

bool syncFile(std::FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }

bool syncFolder(const char* path) {
    const int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    // A file system that cannot sync a folder says EINVAL: nothing to do there.
    const bool synced = fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    close(fd);
    errno = error;
    return synced;
}

FileLength fileLength(std::FILE* file, uint64_t* length) {
    if (fseeko(file, 0, SEEK_END) != 0) return FileLength::SeekEndFailed;
    const off_t end = ftello(file);
    if (end < 0) return FileLength::TellFailed;
    if (fseeko(file, 0, SEEK_SET) != 0) return FileLength::SeekStartFailed;
    *length = static_cast<uint64_t>(end);
    return FileLength::Ok;
}

void* findSymbol(void* library, const char* name) { return dlsym(library, name); }

void unloadLibrary(void* library) {
    if (library != nullptr) dlclose(library);
}

uint32_t systemTickMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

void systemSleepMs(uint32_t ms) {
    timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&req, &req) != 0 && errno == EINTR) {
    }
}

bool getEnv(const char* name, std::string& value) {
    const char* v = std::getenv(name);
    if (v == nullptr) return false;
    value = v;
    return true;
}

bool systemReadStdinLine(std::string& line) {
    // Byte by byte from the descriptor, waiting in poll: unlike a read, a
    // poll is never restarted after a signal, so a stop request at the
    // prompt ends the wait as if input had ended.
    std::fflush(stdout);
    bool any = false;
    for (;;) {
        if (stopRequested() != 0) return false;
        pollfd p{0, POLLIN, 0};
        if (poll(&p, 1, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        char c = 0;
        const ssize_t n = read(0, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        any = true;
        if (c == '\n') break;
        line.push_back(c);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}

namespace {

std::string processName(long pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return (name.empty() ? std::string("?") : name) + " (pid " + std::to_string(pid) + ")";
}

/// The process holding a lock on the file (flock, POSIX or OFD lock), from
/// /proc/locks: "1: FLOCK  ADVISORY  WRITE 1234 00:19:5 0 EOF".
long lockHolder(const struct stat& st) {
    std::ifstream locks("/proc/locks");
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long long>(st.st_ino));
    for (std::string line; std::getline(locks, line);) {
        if (line.find(" -> ") != std::string::npos) continue;  // a waiter, not the holder
        std::vector<std::string> fields;
        size_t pos = 0;
        while ((pos = line.find_first_not_of(' ', pos)) != std::string::npos) {
            const size_t end = line.find(' ', pos);
            fields.push_back(line.substr(pos, end - pos));
            pos = end;
        }
        if (fields.size() >= 6 && fields[5] == wanted) return std::strtol(fields[4].c_str(), nullptr, 10);
    }
    return 0;
}

/// Another process with the file open, from /proc/*/fd (only processes this
/// user may inspect are seen).
long openHolder(const std::string& path) {
    char real[4096];
    if (realpath(path.c_str(), real) == nullptr) return 0;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return 0;
    long found = 0;
    const long self = static_cast<long>(getpid());
    while (dirent* e = readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == self) continue;
        const std::string fdDir = "/proc/" + std::string(e->d_name) + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (fds == nullptr) continue;
        while (dirent* f = readdir(fds)) {
            char target[4096];
            const ssize_t n = readlink((fdDir + "/" + f->d_name).c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, static_cast<size_t>(n)) == real) found = pid;
            if (found != 0) break;
        }
        closedir(fds);
        if (found != 0) break;
    }
    closedir(proc);
    return found;
}

}  // namespace

bool replaceFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

EntryKind entryKind(const char* path) {
    struct stat st {};
    if (lstat(path, &st) != 0) return EntryKind::Missing;
    return S_ISREG(st.st_mode) ? EntryKind::Regular : EntryKind::Other;
}

std::FILE* openRegularFile(const char* path) {
    const int fd = open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EINVAL;
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) close(fd);
    return file;
}

bool renameNoReplace(const char* from, const char* to) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without that rename: a second name fails just the same
    // when the target exists, then the first goes.
    if (link(from, to) != 0) return false;
    unlink(from);
    return true;
}

std::string userStateFolder() {
    const char* xdg = std::getenv("XDG_STATE_HOME");
    // Only an absolute XDG path counts; a relative one is to be ignored.
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/zorviutil";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* entry = getpwuid(getuid());
        home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] == '\0') return "";
    return std::string(home) + "/.local/state/zorviutil";
}

std::string shellWord(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                                               "0123456789_./:,=@%+-") == std::string::npos;
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

NameKind nameKind(const char* path, int* error) {
    struct stat st {};
    if (lstat(path, &st) != 0) {
        if (errno == ENOENT) return NameKind::Missing;
        *error = errno;
        return NameKind::Unreadable;
    }
    if (S_ISREG(st.st_mode)) return NameKind::RegularFile;
    if (S_ISDIR(st.st_mode)) return NameKind::Directory;
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return NameKind::Device;
    if (S_ISFIFO(st.st_mode)) return NameKind::Fifo;
    if (S_ISSOCK(st.st_mode)) return NameKind::Socket;
    if (S_ISLNK(st.st_mode)) return NameKind::Link;
    return NameKind::Other;
}

LinkTrust trustedLinkTarget(const char* path, std::string& target) {
    // Only the user itself or root can have put the link there; anyone's
    // link in a shared folder is how a privileged run would be led to a
    // file it was never named.
    struct stat st {};
    if (lstat(path, &st) != 0 || !S_ISLNK(st.st_mode) || (st.st_uid != geteuid() && st.st_uid != 0))
        return LinkTrust::OtherOwner;
    std::vector<char> buffer(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 2);
    const ssize_t n = readlink(path, buffer.data(), buffer.size());
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return LinkTrust::OtherOwner;
    target.assign(buffer.data(), static_cast<size_t>(n));
    if (target[0] != '/') {
        const char* slash = std::strrchr(path, '/');
        if (slash != nullptr) target = std::string(path, static_cast<size_t>(slash - path) + 1) + target;
    }
    return LinkTrust::Trusted;
}

uint32_t processId() { return static_cast<uint32_t>(getpid()); }

bool fileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

DeviceFacts describeDevice(const std::string& path) {
    DeviceFacts facts;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return facts;
    facts.exists = true;
    facts.readWrite = access(path.c_str(), R_OK | W_OK) == 0;
    if (const group* g = getgrgid(st.st_gid)) {
        facts.group = g->gr_name;
        const passwd* user = getpwuid(geteuid());
        if (user != nullptr) {
            facts.groupListed = user->pw_gid == st.st_gid;
            for (char** member = g->gr_mem; *member != nullptr && !facts.groupListed; ++member)
                facts.groupListed = std::strcmp(*member, user->pw_name) == 0;
        }
    }
    facts.groupActive = getegid() == st.st_gid;
    const int count = getgroups(0, nullptr);
    std::vector<gid_t> groups(count > 0 ? static_cast<size_t>(count) : 0);
    if (count > 0 && getgroups(count, groups.data()) == count)
        for (gid_t g : groups) facts.groupActive = facts.groupActive || g == st.st_gid;
    long holder = lockHolder(st);
    if (holder == static_cast<long>(getpid())) holder = 0;
    if (holder == 0) holder = openHolder(path);
    if (holder != 0) facts.holder = processName(holder);
    return facts;
}

}  // namespace platform
