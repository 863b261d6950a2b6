// The operating-system services of platform.h on Windows. Text inside the
// program is UTF-8; it becomes UTF-16 here, at the calls that take wide
// text (file names, the environment, the console).
#include "platform/platform.h"
#include "platform/platform_system.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace platform {
namespace {
// The stop request, as the signal number the POSIX side would use (SIGINT
// for Ctrl-C, SIGTERM for Ctrl-Break and a closed console). The handler
// runs on a thread of its own.
volatile LONG gStopRequest = 0;

BOOL WINAPI onConsoleControl(DWORD event) {
    const LONG request = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    // Asked twice: let the system's handler end the process now.
    return InterlockedCompareExchange(&gStopRequest, request, 0) == 0 ? TRUE : FALSE;
}
}  // namespace

void installStopHandlers() { SetConsoleCtrlHandler(onConsoleControl, TRUE); }

int stopRequested() { return static_cast<int>(InterlockedCompareExchange(&gStopRequest, 0, 0)); }

const char* stopRequestName(int request) {
    switch (request) {
        case SIGINT: return "Ctrl-C";
        case SIGTERM: return "Ctrl-Break";
        default: return "a stop request";
    }
}

void honourStopRequest() {
    if (stopRequested() == 0) return;
    std::fflush(stdout);
    // The exit status the console gives a program that Ctrl-C ended.
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

void setStopRequested(int request) { InterlockedExchange(&gStopRequest, request); }

std::wstring wideFromUtf8(const char* text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), n);
    wide.resize(static_cast<size_t>(n - 1));
    return wide;
}

std::string utf8FromWide(const wchar_t* wide, size_t length) {
    if (length == 0) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), text.data(), n, nullptr, nullptr);
    return text;
}

std::string utf8FromWide(const wchar_t* wide) { return utf8FromWide(wide, wcslen(wide)); }

void initConsole() {
    // The program writes UTF-8; a console shows it as such only in that
    // code page. Pipes and files get the bytes as they are.
    SetConsoleOutputCP(CP_UTF8);
}

bool stderrIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

// A process has one console: both handles on a console are on the same one.
bool stdoutOnStderrTerminal() {
    DWORD mode = 0;
    return stderrIsTerminal() && GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

std::FILE* openFile(const char* path, const char* mode) {
    std::string plain(mode);
    const size_t x = plain.find('x');
    if (x == std::string::npos) return _wfopen(wideFromUtf8(path).c_str(), wideFromUtf8(mode).c_str());
    // The C library here has no exclusive-create mode: create the file with
    // the system's own flag, then give it a stream. Saves rely on it to
    // write beside the target and never into a file that exists.
    plain.erase(x, 1);
    const int flags = _O_CREAT | _O_EXCL | _O_WRONLY | (plain.find('b') != std::string::npos ? _O_BINARY : _O_TEXT);
    const int fd = _wopen(wideFromUtf8(path).c_str(), flags, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = _wfdopen(fd, wideFromUtf8(plain.c_str()).c_str());
    if (file == nullptr) _close(fd);
    return file;
}

bool syncFile(std::FILE* file) {
    if (std::fflush(file) != 0) return false;
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0) return true;
    errno = EIO;
    return false;
}

bool syncFolder(const char*) { return true; }

bool replaceFile(const char* from, const char* to) {
    return MoveFileExW(wideFromUtf8(from).c_str(), wideFromUtf8(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

FileLength fileLength(std::FILE* file, uint64_t* length) {
    if (_fseeki64(file, 0, SEEK_END) != 0) return FileLength::SeekEndFailed;
    const __int64 end = _ftelli64(file);
    if (end < 0) return FileLength::TellFailed;
    if (_fseeki64(file, 0, SEEK_SET) != 0) return FileLength::SeekStartFailed;
    *length = static_cast<uint64_t>(end);
    return FileLength::Ok;
}

void* loadLibrary(const char* fileName) {
    // The system's search order starts with the program's own folder.
    return reinterpret_cast<void*>(LoadLibraryW(wideFromUtf8(fileName).c_str()));
}

void* findSymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void unloadLibrary(void* library) {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
}

uint32_t systemTickMs() { return GetTickCount(); }

void systemSleepMs(uint32_t ms) { Sleep(ms); }

bool getEnv(const char* name, std::string& value) {
    const std::wstring wideName = wideFromUtf8(name);
    // Ask for the size first; the value may change between the calls, so
    // repeat until it fits.
    DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    for (int attempt = 0; attempt < 4 && size != 0; ++attempt) {
        std::vector<wchar_t> buffer(size);
        const DWORD n = GetEnvironmentVariableW(wideName.c_str(), buffer.data(), size);
        if (n < size) {
            value = utf8FromWide(buffer.data(), n);
            return true;
        }
        size = n;
    }
    // An empty variable reports size 0 too; tell it from a missing one.
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    value.clear();
    return size == 0;
}

bool systemReadStdinLine(std::string& line) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (in != INVALID_HANDLE_VALUE && in != nullptr && GetConsoleMode(in, &mode)) {
        // The console: read wide characters, whatever its code page.
        std::wstring wide;
        bool any = false;
        for (;;) {
            wchar_t c;
            DWORD got = 0;
            if (!ReadConsoleW(in, &c, 1, &got, nullptr) || got == 0) break;
            any = true;
            if (c == L'\n') break;
            wide.push_back(c);
        }
        if (!wide.empty() && wide.back() == L'\r') wide.pop_back();
        line = utf8FromWide(wide.data(), wide.size());
        return any;
    }
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

EntryKind entryKind(const char* path) {
    const DWORD attributes = GetFileAttributesW(wideFromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::Missing;
    const DWORD notPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    return (attributes & notPlain) == 0 ? EntryKind::Regular : EntryKind::Other;
}

std::FILE* openRegularFile(const char* path) {
    const DWORD attributes = GetFileAttributesW(wideFromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        errno = ENOENT;
        return nullptr;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) != 0) {
        errno = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? ELOOP : EINVAL;
        return nullptr;
    }
    return openFile(path, "rb");
}

bool renameNoReplace(const char* from, const char* to) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists.
    if (MoveFileExW(wideFromUtf8(from).c_str(), wideFromUtf8(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0) return true;
    errno = GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS ? EEXIST : EACCES;
    return false;
}

std::string userStateFolder() {
    std::string local;
    if (!getEnv("LOCALAPPDATA", local) || local.empty()) return "";
    return local + "\\zorviutil";
}

std::string shellWord(const std::string& word) {
    // cmd.exe and PowerShell both read a double-quoted word back as it is;
    // Windows names hold no double quote.
    if (!word.empty() && word.find_first_of(" \t&|<>^()%!;,'\"") == std::string::npos) return word;
    return "\"" + word + "\"";
}

NameKind nameKind(const char* path, int* error) {
    const std::wstring wide = wideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD e = GetLastError();
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return NameKind::Missing;
        *error = e == ERROR_ACCESS_DENIED ? EACCES : EIO;
        return NameKind::Unreadable;
    }
    // Symbolic links, junctions and every other reparse point.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return NameKind::Link;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return NameKind::Directory;
    // Device names (NUL, CON, COM3) have attributes too: only a file on a
    // disk is a file.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE handle = CreateFileW(wide.c_str(), 0, share, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
        return NameKind::Unreadable;
    }
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    switch (type) {
        case FILE_TYPE_DISK: return NameKind::RegularFile;
        case FILE_TYPE_CHAR: return NameKind::Device;
        case FILE_TYPE_PIPE: return NameKind::Fifo;
        default: return NameKind::Other;
    }
}

// Who made a link cannot be told as simply here; links are not followed.
LinkTrust trustedLinkTarget(const char*, std::string&) { return LinkTrust::NotFollowed; }

uint32_t processId() { return static_cast<uint32_t>(GetCurrentProcessId()); }

bool fileExists(const std::string& path) {
    return GetFileAttributesW(wideFromUtf8(path.c_str()).c_str()) != INVALID_FILE_ATTRIBUTES;
}

DeviceFacts describeDevice(const std::string& path) {
    // Ports are no files here; only existence can be told.
    DeviceFacts facts;
    facts.exists = fileExists(path);
    return facts;
}

}  // namespace platform
