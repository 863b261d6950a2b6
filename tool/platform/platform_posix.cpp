#include "platform/platform.h"

#include <dlfcn.h>
#include <unistd.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef ZORVI_LIBDIR_FROM_BINDIR
#define ZORVI_LIBDIR_FROM_BINDIR "../lib"
#endif

namespace platform {
namespace {
ClockHooks gHooks;
}

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

void* findSymbol(void* library, const char* name) { return dlsym(library, name); }

void unloadLibrary(void* library) {
    if (library != nullptr) dlclose(library);
}

uint32_t tickMs() {
    if (gHooks.tickMs != nullptr) return gHooks.tickMs();
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint32_t>(static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

void sleepMs(uint32_t ms) {
    if (gHooks.sleepMs != nullptr) {
        gHooks.sleepMs(ms);
        return;
    }
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

bool readStdinLine(std::string& line) {
    line.clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(stdin)) != EOF) {
        any = true;
        if (c == '\n') break;
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}

ClockHooks setClockHooks(ClockHooks hooks) {
    ClockHooks old = gHooks;
    gHooks = hooks;
    return old;
}

}  // namespace platform
