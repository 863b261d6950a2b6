// The replaceable clock and standard input of platform.h, shared by both
// systems: a hook, when installed, answers in place of the system (see
// platform_system.h for the system half each platform file provides).
#include "platform/platform.h"
#include "platform/platform_system.h"

namespace platform {
namespace {
ClockHooks gHooks;
StdinHook gStdinHook = nullptr;
}  // namespace

uint32_t tickMs() { return gHooks.tickMs != nullptr ? gHooks.tickMs() : systemTickMs(); }

void sleepMs(uint32_t ms) {
    if (gHooks.sleepMs != nullptr) {
        gHooks.sleepMs(ms);
        return;
    }
    systemSleepMs(ms);
}

bool readStdinLine(std::string& line) {
    line.clear();
    if (gStdinHook != nullptr) return gStdinHook(line);
    return systemReadStdinLine(line);
}

StdinHook setStdinHook(StdinHook hook) {
    StdinHook old = gStdinHook;
    gStdinHook = hook;
    return old;
}

ClockHooks setClockHooks(ClockHooks hooks) {
    ClockHooks old = gHooks;
    gHooks = hooks;
    return old;
}

}  // namespace platform
