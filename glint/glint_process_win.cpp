// glint_process, Windows half: console control events as interrupts, and the encoder as a child
// process fed through two named pipes (overlapped, so that every wait stays interruptible).
#include "glint_process.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// How often a wait for the encoder looks at ABANDON.
static const DWORD PollMs = 20;
static const DWORD PipeBytes = 1 << 20;

// ---- interrupts ------------------------------------------------------------------------------

static volatile LONG s_interrupts;
static volatile LONG s_signal;  // the first interrupt, as its POSIX signal number
static int s_handlerSet;

// Runs on a thread of its own that the system starts for each event. Ctrl-C and Ctrl-Break are
// Ctrl-C; a closed console, a log-off or a shutdown want the program gone, as a second Ctrl-C.
static BOOL WINAPI glint_onConsoleEvent(DWORD event)
{
    const LONG sig = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 2 : event == CTRL_CLOSE_EVENT ? 1 : 15;
    InterlockedCompareExchange(&s_signal, sig, 0);
    if (sig == 2)
        InterlockedIncrement(&s_interrupts);
    else
        InterlockedExchange(&s_interrupts, 2);
    if (sig != 2) {
        // The system ends the process as soon as this returns (or 5 s after a closed console):
        // hold it here while the main thread abandons the file and exits.
        Sleep(4000);
    }
    return TRUE;
}

void glint_catchInterrupts(void)
{
    InterlockedExchange(&s_interrupts, 0);
    InterlockedExchange(&s_signal, 0);
    if (!s_handlerSet)
        s_handlerSet = SetConsoleCtrlHandler(glint_onConsoleEvent, TRUE) != 0;
}

void glint_releaseInterrupts(void)
{
    if (s_handlerSet)
        SetConsoleCtrlHandler(glint_onConsoleEvent, FALSE);
    s_handlerSet = 0;
}

int glint_interruptSignal(void) { return (int)s_signal; }
int glint_interruptCount(void) { return (int)s_interrupts; }

// ---- the encoder -------------------------------------------------------------------------------

struct Pipe {
    HANDLE handle = INVALID_HANDLE_VALUE;  // the server end, written here
    HANDLE event = nullptr;                // signalled when an overlapped operation completes
    int connected = 0;
    std::string name;
};

static Pipe s_pipes[2];
static HANDLE s_process;
static HANDLE s_job;  // the encoder and whatever it starts: killed together, and with the program

// The named pipe of stream STREAM, unique to this process: the encoder opens stream 1 by name;
// stream 0 becomes its standard input.
static const std::string& glint_pipeName(int stream)
{
    Pipe& p = s_pipes[stream];
    if (p.name.empty())
        p.name = "\\\\.\\pipe\\tidewater-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(stream);
    return p.name;
}

static void glint_closePipe(Pipe& p)
{
    if (p.handle != INVALID_HANDLE_VALUE) {
        CancelIo(p.handle);
        CloseHandle(p.handle);
    }
    if (p.event)
        CloseHandle(p.event);
    p.handle = INVALID_HANDLE_VALUE;
    p.event = nullptr;
    p.connected = 0;
}

static void glint_closeEncoder(void)
{
    glint_closePipe(s_pipes[0]);
    glint_closePipe(s_pipes[1]);
    if (s_process)
        CloseHandle(s_process);
    if (s_job)
        CloseHandle(s_job);  // kills whatever is still in it
    s_process = nullptr;
    s_job = nullptr;
}

int glint_findProgram(const char* name)
{
    char found[MAX_PATH];
    return SearchPathA(nullptr, name, ".exe", MAX_PATH, found, nullptr) != 0;
}

const char* glint_encoderInput(int stream) { return stream == 0 ? "pipe:0" : glint_pipeName(1).c_str(); }

// One argument quoted for CommandLineToArgvW's rules, which the C runtimes of the encoder follow.
static void glint_appendArgument(std::string* line, const char* arg)
{
    if (!line->empty())
        *line += ' ';
    if (*arg && !std::strpbrk(arg, " \t\"")) {
        *line += arg;
        return;
    }
    *line += '"';
    for (const char* c = arg;; c++) {
        size_t backslashes = 0;
        while (*c == '\\') {
            backslashes++;
            c++;
        }
        if (!*c) {
            line->append(backslashes * 2, '\\');
            break;
        }
        line->append(*c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        *line += *c;
    }
    *line += '"';
}

static int glint_failed(void)
{
    errno = GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND ? ENOENT : EIO;
    glint_closeEncoder();
    return 0;
}

int glint_encoderStart(const char* const* argv)
{
    glint_closeEncoder();
    for (int i = 0; i < 2; i++) {
        Pipe& p = s_pipes[i];
        p.handle = CreateNamedPipeA(glint_pipeName(i).c_str(),
                                    PIPE_ACCESS_OUTBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                    PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, PipeBytes, 0, 0,
                                    nullptr);
        p.event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (p.handle == INVALID_HANDLE_VALUE || !p.event)
            return glint_failed();
    }
    // The frames' pipe, opened here as the client, is the encoder's standard input.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE input = CreateFileA(glint_pipeName(0).c_str(), GENERIC_READ, 0, &inherit, OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE)
        return glint_failed();
    s_pipes[0].connected = 1;

    std::string line;
    for (const char* const* a = argv; *a; a++)
        glint_appendArgument(&line, *a);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = input;
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::fflush(stdout);
    std::fflush(stderr);
    // Suspended until it is in the job; no console window of its own (its messages go to this
    // program's standard error); its own process group, so a Ctrl-C reaches only this program.
    s_job = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (s_job)
        SetInformationJobObject(s_job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    std::string program = argv[0];
    char found[MAX_PATH];
    if (SearchPathA(nullptr, argv[0], ".exe", MAX_PATH, found, nullptr))
        program = found;
    const BOOL started = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                        CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP, nullptr,
                                        nullptr, &si, &pi);
    const DWORD error = GetLastError();
    CloseHandle(input);
    if (!started) {
        SetLastError(error);
        return glint_failed();
    }
    if (s_job)
        AssignProcessToJobObject(s_job, pi.hProcess);
    ResumeThread(pi.hThread);
    CloseHandle(pi.hThread);
    s_process = pi.hProcess;
    return 1;
}

// Waits for the overlapped operation on P to complete, in steps of PollMs, while the encoder runs
// and ABANDON says go on. 1 = done (with *bytes); 0 = the encoder is gone or was abandoned.
static int glint_await(Pipe& p, OVERLAPPED* o, DWORD* bytes, int (*abandon)(void))
{
    for (;;) {
        if (GetOverlappedResult(p.handle, o, bytes, FALSE))
            return 1;
        if (GetLastError() != ERROR_IO_INCOMPLETE)
            return 0;
        if (abandon() || WaitForSingleObject(s_process, 0) == WAIT_OBJECT_0) {
            CancelIo(p.handle);
            GetOverlappedResult(p.handle, o, bytes, TRUE);
            return 0;
        }
        WaitForSingleObject(p.event, PollMs);
    }
}

int glint_encoderWrite(int stream, const void* data, size_t size, int (*abandon)(void))
{
    Pipe& p = s_pipes[stream];
    if (p.handle == INVALID_HANDLE_VALUE || !s_process)
        return 0;
    DWORD bytes = 0;
    if (!p.connected) {
        // The encoder opens this stream by name when it gets to it.
        OVERLAPPED o = {};
        o.hEvent = p.event;
        ResetEvent(p.event);
        if (!ConnectNamedPipe(p.handle, &o) && GetLastError() != ERROR_PIPE_CONNECTED &&
            (GetLastError() != ERROR_IO_PENDING || !glint_await(p, &o, &bytes, abandon)))
            return 0;
        p.connected = 1;
    }
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        OVERLAPPED o = {};
        o.hEvent = p.event;
        ResetEvent(p.event);
        const DWORD chunk = size > PipeBytes ? PipeBytes : (DWORD)size;
        if (!WriteFile(p.handle, at, chunk, nullptr, &o) && GetLastError() != ERROR_IO_PENDING)
            return 0;
        if (!glint_await(p, &o, &bytes, abandon))
            return 0;
        at += bytes;
        size -= bytes;
    }
    return 1;
}

int glint_encoderWait(int (*abandon)(void))
{
    if (!s_process) {
        glint_closeEncoder();
        return -1;
    }
    // Closing the pipes ends both streams: the encoder finishes the file.
    glint_closePipe(s_pipes[0]);
    glint_closePipe(s_pipes[1]);
    int killed = 0;
    while (WaitForSingleObject(s_process, PollMs) == WAIT_TIMEOUT) {
        if (abandon()) {
            if (s_job)
                TerminateJobObject(s_job, 1);
            TerminateProcess(s_process, 1);
            WaitForSingleObject(s_process, INFINITE);
            killed = 1;
            break;
        }
    }
    DWORD code = 1;
    GetExitCodeProcess(s_process, &code);
    glint_closeEncoder();
    return killed ? -1 : (int)code;
}
