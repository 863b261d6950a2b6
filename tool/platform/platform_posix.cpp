#include "platform/platform.h"

#include <dlfcn.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace platform {
namespace {
ClockHooks gHooks;
}

void* loadLibrary(const char* fileName) { return dlopen(fileName, RTLD_NOW | RTLD_LOCAL); }

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
