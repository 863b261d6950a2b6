/* Runs a Windows program under Wine and keeps the code it ended with.
 *
 *   wine wine_exit_code.exe <code file> <program> [arguments...]
 *
 * Wine's server sends SIGKILL to a process whose Unix side is still there
 * half a second after its last thread ended; on a loaded machine that
 * happens to a program that had finished, and the code it ended with is
 * lost (the test sees 137). This program waits on the child as a Windows
 * process does, writes the child's exit code in decimal to <code file>, and
 * ends with the same code. The child gets the rest of this program's
 * command line as it stands, and this program's standard handles, folder
 * and environment. It runs in a job that ends with this program, so that a
 * test that kills the Wine process stops the child as well. */
#include <windows.h>

#include <stdio.h>

/* Copies the argument that starts at `p` into `out` (unless null) and
 * returns the command line after it. The arguments taken here are paths
 * the test harness writes, never with a quote inside. */
static wchar_t* takeArgument(wchar_t* p, wchar_t* out, size_t size) {
    int quoted = 0;
    size_t n = 0;
    for (; *p != L'\0' && (quoted || (*p != L' ' && *p != L'\t')); ++p)
        if (*p == L'"')
            quoted = !quoted;
        else if (out != NULL && n + 1 < size)
            out[n++] = *p;
    if (out != NULL) out[n] = L'\0';
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

int main(void) {
    wchar_t path[MAX_PATH];
    wchar_t* const child = takeArgument(takeArgument(GetCommandLineW(), NULL, 0), path, MAX_PATH);
    if (*child == L'\0') return 125;

    HANDLE job = CreateJobObjectW(NULL, NULL);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job != NULL) SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, child, NULL, NULL, TRUE, CREATE_SUSPENDED, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "wine_exit_code.exe: the program did not start (error %lu)\n", GetLastError());
        return 126;
    }
    if (job != NULL) AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);

    HANDLE out = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (out != INVALID_HANDLE_VALUE) {
        char text[16];
        const int length = snprintf(text, sizeof text, "%lu", code);
        DWORD written = 0;
        WriteFile(out, text, (DWORD)length, &written, NULL);
        CloseHandle(out);
    }
    ExitProcess(code);
}
