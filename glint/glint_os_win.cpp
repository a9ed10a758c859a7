// glint_os, Windows half.
#include "glint_os.h"

#include <windows.h>

#include <cerrno>
#include <string>

std::string glint_exeDir() {
    wchar_t buf[32768];
    const DWORD size = sizeof(buf) / sizeof(buf[0]);
    DWORD n = GetModuleFileNameW(nullptr, buf, size);
    if (n == 0 || n >= size) return "";
    while (n > 0 && buf[n - 1] != L'\\' && buf[n - 1] != L'/') n--;
    if (n == 0) return "";
    // Callers open files with the C library's fopen, which takes the ANSI code page: a folder
    // such as C:\Users\José\ opens through it, where UTF-8 bytes would not.
    int bytes = WideCharToMultiByte(CP_ACP, 0, buf, (int)n, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return "";
    std::string dir(bytes, '\0');
    WideCharToMultiByte(CP_ACP, 0, buf, (int)n, dir.data(), bytes, nullptr, nullptr);
    return dir;
}


// errno for the Win32 error of the last call.
static int glint_fail(void) {
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
    case ERROR_ACCESS_DENIED: errno = EACCES; break;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: errno = EEXIST; break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: errno = ENOSPC; break;
    case ERROR_WRITE_PROTECT: errno = EROFS; break;
    default: errno = EIO; break;
    }
    return 0;
}

int glint_makeDirectory(const char* path) {
    if (CreateDirectoryA(path, nullptr)) return 1;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return glint_fail();
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return 1;
    errno = EEXIST;
    return 0;
}

int glint_replaceFile(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 1 : glint_fail();
}

// Ctrl-C, Ctrl-Break and closing the console ask a live run to end as closing its window does.
// The first event only asks (returning TRUE keeps the process alive for the frame loop to see
// it); the handler then goes, so a second Ctrl-C ends the process at once. Windows ends the
// process by itself a few seconds after a console close, whatever the handler says.
static volatile LONG s_quitSignal;

static BOOL WINAPI glint_onQuitEvent(DWORD event)
{
    InterlockedExchange(&s_quitSignal, 1);
    SetConsoleCtrlHandler(glint_onQuitEvent, FALSE);
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

void glint_catchQuitSignals() {
    SetConsoleCtrlHandler(glint_onQuitEvent, TRUE);
}

bool glint_quitSignalled() {
    return InterlockedCompareExchange(&s_quitSignal, 0, 0) != 0;
}

// The sound system on Windows writes nothing to the console by itself: nothing to silence.
int glint_silenceStderr() {
    return -1;
}

void glint_restoreStderr(int saved) {
    (void)saved;
}
