// glint_console, Windows half.
#include "glint_console.h"

#include <windows.h>

#include <cstdio>

// The program is built for the GUI subsystem, so that a double click opens the window with no
// console beside it. Started from a terminal it has no console either: it attaches to the
// terminal's, so that its messages and the exit banner appear there. Output already redirected
// (to a file or a pipe) stays where it goes.
static bool glint_usable(DWORD which) {
    HANDLE h = GetStdHandle(which);
    return h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
}

static void glint_reopen(DWORD which, FILE* stream) {
    if (glint_usable(which) || !std::freopen("CONOUT$", "w", stream)) return;
    HANDLE h = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) SetStdHandle(which, h);  // for the encoder's messages too
}

int glint_stderrIsTerminal(void) {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

namespace {
struct ParentConsole {
    ParentConsole() {
        if (GetConsoleWindow() || (glint_usable(STD_OUTPUT_HANDLE) && glint_usable(STD_ERROR_HANDLE))) return;
        if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
        glint_reopen(STD_OUTPUT_HANDLE, stdout);
        glint_reopen(STD_ERROR_HANDLE, stderr);
    }
};
// Before main: the first message may come from the option parser.
const ParentConsole s_parentConsole;
}  // namespace
