// glint_process, POSIX half: signals, and the encoder as a forked child with two pipes. In the
// browser (emscripten) the same code builds; there is no PATH to find an encoder on and no fork.
#include "glint_process.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

// How often a wait for the encoder looks at ABANDON.
static const int PollMs = 20;
static const int PipeBytes = 1 << 20;

// ---- interrupts ------------------------------------------------------------------------------

static volatile sig_atomic_t s_interrupts;
static volatile sig_atomic_t s_signal;  // the first signal received
static const int s_signals[] = {SIGINT, SIGTERM, SIGHUP};
static struct sigaction s_oldActions[3];
static int s_handlersSet;

static void glint_onSignal(int sig)
{
    if (!s_signal)
        s_signal = sig;
    // SIGTERM and SIGHUP want the program gone: as a second Ctrl-C.
    s_interrupts = sig == SIGINT ? s_interrupts + 1 : 2;
}

// SA_RESTART keeps every other system call of the program as it was; the encoder's waits never
// block for long, so they see a new interrupt within PollMs.
void glint_catchInterrupts(void)
{
    s_interrupts = 0;
    s_signal = 0;
    // A reader that goes away must surface as a write error, not kill the program.
    std::signal(SIGPIPE, SIG_IGN);
    if (s_handlersSet)
        return;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = glint_onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; i++)
        sigaction(s_signals[i], &sa, &s_oldActions[i]);
    s_handlersSet = 1;
}

void glint_releaseInterrupts(void)
{
    if (!s_handlersSet)
        return;
    for (int i = 0; i < 3; i++)
        sigaction(s_signals[i], &s_oldActions[i], nullptr);
    s_handlersSet = 0;
}

int glint_interruptSignal(void) { return s_signal; }
int glint_interruptCount(void) { return s_interrupts; }

// ---- the encoder -------------------------------------------------------------------------------

static pid_t s_encoder = -1;  // also the encoder's process group
static int s_pipes[2] = {-1, -1};

int glint_findProgram(const char* name)
{
    const char* path = std::getenv("PATH");
    if (!path)
        return 0;
    std::string dirs(path);
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string full = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (access(full.c_str(), X_OK) == 0)
            return 1;
        start = end + 1;
    }
    return 0;
}

const char* glint_encoderInput(int stream) { return stream == 0 ? "pipe:0" : "pipe:3"; }

static void glint_closeFd(int* fd)
{
    if (*fd >= 0)
        close(*fd);
    *fd = -1;
}

// The read ends of two new pipes become the child's descriptors 0 (frames) and 3 (samples). The
// write ends are non-blocking: every wait for the encoder stays interruptible.
int glint_encoderStart(const char* const* argv)
{
    int video[2] = {-1, -1}, audio[2] = {-1, -1};
    if (pipe2(video, O_CLOEXEC) != 0 || pipe2(audio, O_CLOEXEC) != 0) {
        glint_closeFd(&video[0]);
        glint_closeFd(&video[1]);
        return 0;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
#ifdef __linux__
        // Killed with the program, however the program ends.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
        if (getppid() != parent)
            _exit(127);
        struct sigaction dfl;
        std::memset(&dfl, 0, sizeof dfl);
        dfl.sa_handler = SIG_DFL;
        sigaction(SIGPIPE, &dfl, nullptr);
        // Above 3 first, so that neither dup2 below overwrites the other's source.
        int v = fcntl(video[0], F_DUPFD_CLOEXEC, 10);
        int a = fcntl(audio[0], F_DUPFD_CLOEXEC, 10);
        if (v < 0 || a < 0 || dup2(v, 0) < 0 || dup2(a, 3) < 0)
            _exit(127);
        execvp(argv[0], const_cast<char* const*>(argv));
        _exit(127);
    }
    close(video[0]);
    close(audio[0]);
    if (pid < 0) {
        close(video[1]);
        close(audio[1]);
        return 0;
    }
    setpgid(pid, pid);  // whichever of the two calls comes first wins; both ask the same
    fcntl(video[1], F_SETFL, O_NONBLOCK);
    fcntl(audio[1], F_SETFL, O_NONBLOCK);
    // Slack between the two streams (a few frames, seconds of sound) and fewer wake-ups. A smaller
    // pipe still works, only less smoothly, so a refusal is not an error.
    fcntl(video[1], F_SETPIPE_SZ, PipeBytes);
    fcntl(audio[1], F_SETPIPE_SZ, PipeBytes);
    s_pipes[0] = video[1];
    s_pipes[1] = audio[1];
    s_encoder = pid;
    return 1;
}

int glint_encoderWrite(int stream, const void* data, size_t size, int (*abandon)(void))
{
    const int fd = s_pipes[stream];
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        if (abandon())
            return 0;
        ssize_t n = write(fd, p, size);
        if (n > 0) {
            p += n;
            size -= size_t(n);
        } else if (n < 0 && errno == EAGAIN) {
            struct pollfd pfd = {fd, POLLOUT, 0};
            poll(&pfd, 1, PollMs);
        } else if (!(n < 0 && errno == EINTR)) {
            return 0;
        }
    }
    return 1;
}

static void glint_sleep(void)
{
    struct timespec ts = {0, PollMs * 1000000L};
    nanosleep(&ts, nullptr);
}

int glint_encoderWait(int (*abandon)(void))
{
    glint_closeFd(&s_pipes[0]);
    glint_closeFd(&s_pipes[1]);
    pid_t pid = s_encoder;
    s_encoder = -1;
    if (pid <= 0)
        return -1;
    int status = 0, killed = 0;
    for (;;) {
        if (!killed && abandon()) {
            killpg(pid, SIGKILL);
            killed = 1;
        }
        pid_t r = waitpid(pid, &status, killed ? 0 : WNOHANG);
        if (r == pid)
            break;
        if (r < 0 && errno != EINTR) {
            killpg(pid, SIGKILL);
            return -1;
        }
        if (r == 0)
            glint_sleep();
    }
    // Whatever the encoder left running in its group goes with it.
    killpg(pid, SIGKILL);
    if (killed)
        return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
