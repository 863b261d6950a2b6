// The few operating-system services the program needs, behind one header.
// The implementations are platform_posix.cpp and platform_win32.cpp, with
// the test hooks both share in platform_hooks.cpp; logic files never call
// the system directly.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace platform {

// What the program calls itself and its libraries on this system. Texts
// that name them print these, so the shared code needs no system checks.
#ifdef _WIN32
#define ZORVI_PROGRAM_FILE(stem) stem ".exe"
#define ZORVI_LIBRARY_FILE(stem) stem ".dll"
inline constexpr char kSystemName[] = "Windows";
/// Ports are device files that describeDevice can look up.
inline constexpr bool kPortsAreDeviceFiles = false;
#else
#define ZORVI_PROGRAM_FILE(stem) stem
#define ZORVI_LIBRARY_FILE(stem) "lib" stem ".so"
inline constexpr char kSystemName[] = "Linux";
inline constexpr bool kPortsAreDeviceFiles = true;
#endif
inline constexpr char kProgramFileName[] = ZORVI_PROGRAM_FILE("zorviutil");
inline constexpr char kZorviApiFile[] = ZORVI_LIBRARY_FILE("zorviapi");
inline constexpr char kTobraFile[] = ZORVI_LIBRARY_FILE("tobra");
inline constexpr char kQuentaFile[] = ZORVI_LIBRARY_FILE("quenta");
#undef ZORVI_PROGRAM_FILE
#undef ZORVI_LIBRARY_FILE

/// Prepares standard input and output for UTF-8 text (the console's code
/// page on Windows; nothing elsewhere). Call once at the program's start.
void initConsole();

#ifdef _WIN32
/// UTF-8 and UTF-16 text at the edges of the program (arguments, console,
/// file names, environment).
std::wstring wideFromUtf8(const char* text);
std::string utf8FromWide(const wchar_t* wide);
std::string utf8FromWide(const wchar_t* wide, size_t length);
#endif

/// Whether standard error is a terminal (a console on Windows).
bool stderrIsTerminal();
/// Whether standard output shows on the same terminal as standard error
/// (both the console on Windows).
bool stdoutOnStderrTerminal();

/// Opens a file named in UTF-8, like std::fopen.
std::FILE* openFile(const char* path, const char* mode);
/// The length of an open file in 64 bits on every platform (a long holds
/// 32 bits on Windows); the position is left at the start. Which step
/// failed is told, so each has its own message.
enum class FileLength { Ok, SeekEndFailed, TellFailed, SeekStartFailed };
FileLength fileLength(std::FILE* file, uint64_t* length);
/// Puts what was written to an open file on the disk (the stream's buffer,
/// then the system's: fsync, FlushFileBuffers on Windows), so that it
/// survives a crash of the host or a power loss; false with errno on failure.
bool syncFile(std::FILE* file);
/// Puts a folder's entries on the disk (a file just created or renamed in
/// it). Nothing to do on Windows, where flushing the file covers its entry.
bool syncFolder(const char* path);
/// Puts the file `from` in the place of `to` in one step: a reader sees
/// either the old file or the new one, never a mix (rename; MoveFileExW with
/// MOVEFILE_REPLACE_EXISTING on Windows). Both names are UTF-8 and in the
/// same folder. False when the system refuses.
bool replaceFile(const char* from, const char* to);
/// What a name in the file system stands for, the name itself looked at:
/// a link at the name is not followed.
enum class NameKind { Missing, RegularFile, Directory, Device, Fifo, Socket, Link, Other, Unreadable };
/// Looks a name up; for Unreadable, `error` gets the errno of the failure.
NameKind nameKind(const char* path, int* error);
/// Whether a link may be followed by a program that writes where it leads.
enum class LinkTrust {
    Trusted,      ///< the running user's own link, or root's
    OtherOwner,   ///< another user's link (or one that cannot be read)
    NotFollowed,  ///< links (reparse points) are never followed on this system
};
/// For the link `path`: whether to trust it and, when trusted, the name it
/// points to (a relative one taken from the link's folder).
LinkTrust trustedLinkTarget(const char* path, std::string& target);
/// This process's id (names of temporary files).
uint32_t processId();
/// A file-system path from a UTF-8 name.
inline std::filesystem::path pathOf(const char* path) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(path)));
}
/// The UTF-8 name of a file-system path.
inline std::string utf8Of(const std::filesystem::path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

/// Loads a shared library by plain file name: from the program's own folder,
/// then its installation's library folder, then with the system's search
/// order. Returns null when it cannot be loaded.
void* loadLibrary(const char* fileName);
/// Looks up an exported entry point; null when missing.
void* findSymbol(void* library, const char* name);
/// Unloads a library loaded by loadLibrary.
void unloadLibrary(void* library);

/// Milliseconds from a monotonic clock (wraps like a 32-bit tick counter).
uint32_t tickMs();
/// Plain sleep.
void sleepMs(uint32_t ms);

/// Environment lookup; false when the variable is not set.
bool getEnv(const char* name, std::string& value);

/// Reads one line from standard input (without its line end); false at end
/// of input.
bool readStdinLine(std::string& line);
/// Replaceable standard input for tests: when set, readStdinLine asks it.
using StdinHook = bool (*)(std::string& line);
/// Installs a hook (or restores standard input with nullptr); returns the old one.
StdinHook setStdinHook(StdinHook hook);

/// What the system tells about a device file, for the hint after a failed
/// open.
struct DeviceFacts {
    bool exists = false;
    bool readWrite = false;    ///< this process may open it for reading and writing
    std::string group;         ///< the file's group name (empty when unknown)
    bool groupActive = false;  ///< this process has that group now
    bool groupListed = false;  ///< the group database lists the user in it
    std::string holder;        ///< another process that has it locked or open, "name (pid N)"; empty if none seen
};
/// Looks the device up (stat, the group database, /proc/locks, /proc/*/fd).
DeviceFacts describeDevice(const std::string& path);
/// Whether a file of that name exists.
bool fileExists(const std::string& path);

/// What stands under a name, the last part of it not followed when it is a
/// link.
enum class EntryKind { Missing, Regular, Other };
EntryKind entryKind(const char* path);
/// Opens a regular file for reading in binary mode, never through a link
/// (null with errno ELOOP for a link, EINVAL for anything else that is not
/// a regular file).
std::FILE* openRegularFile(const char* path);
/// Gives the file `from` the name `to` in the same folder unless something
/// has that name already (then false with errno EEXIST): an existing file
/// is never replaced.
bool renameNoReplace(const char* from, const char* to);
/// The user's own folder for state that must outlive a run, with the
/// program's name: $XDG_STATE_HOME/zorviutil or ~/.local/state/zorviutil,
/// %LOCALAPPDATA%\zorviutil on Windows. Empty when the system names none.
std::string userStateFolder();
/// A word as the system's shell reads it back unchanged (quoted where it
/// holds a blank or a character the shell treats specially), for commands
/// the program prints.
std::string shellWord(const std::string& word);

/// Stop requests (Ctrl-C, a termination request). After installStopHandlers
/// the first request only sets a flag that the program polls between uC
/// exchanges, so the exchange under way finishes and the verb takes its
/// normal failure path; a second request ends the process at once.
void installStopHandlers();
/// The first stop request's signal number, 0 while none came.
int stopRequested();
/// Name of a stop request for messages, e.g. "SIGINT".
const char* stopRequestName(int request);
/// Ends the process the way an unhandled stop request would (so that a
/// calling shell sees it was stopped); returns at once when none came.
void honourStopRequest();
/// For tests: sets (or, with 0, clears) the stop request.
void setStopRequested(int request);

/// Replaceable clock for tests: when set, tickMs and sleepMs use these.
struct ClockHooks {
    uint32_t (*tickMs)() = nullptr;
    void (*sleepMs)(uint32_t) = nullptr;
};
/// Installs hooks (or restores the system clock with {}); returns the old ones.
ClockHooks setClockHooks(ClockHooks hooks);

}  // namespace platform
