// The system half of the replaceable services in platform.h: each platform
// file (platform_posix.cpp, platform_win32.cpp) defines these, and
// platform_hooks.cpp calls them when no test hook stands in.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

/// Milliseconds from the system's monotonic clock.
uint32_t systemTickMs();
/// Sleeps on the system's clock.
void systemSleepMs(uint32_t ms);
/// Reads one line from the process's standard input into the empty `line`.
bool systemReadStdinLine(std::string& line);

}  // namespace platform
