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
