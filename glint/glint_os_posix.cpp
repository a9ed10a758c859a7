#include "glint_os.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

std::string glint_exeDir() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0) return "";
    buf[n] = 0;
    char* slash = std::strrchr(buf, '/');
    if (!slash) return "";
    slash[1] = 0;
    return buf;
}

int glint_makeDirectory(const char* path) {
    if (mkdir(path, 0777) == 0) return 1;
    if (errno != EEXIST) return 0;
    struct stat st;
    if (stat(path, &st) == 0 && S_ISDIR(st.st_mode)) return 1;
    errno = EEXIST;
    return 0;
}

int glint_replaceFile(const char* from, const char* to) { return std::rename(from, to) == 0; }

static volatile sig_atomic_t s_quitSignal;

static void onQuitSignal(int sig) {
    s_quitSignal = sig;
    // Asked once: the next SIGTERM or SIGINT ends the process.
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
}

void glint_catchQuitSignals() {
    // SDL would turn these signals into its quit event, but only where it initialises after a
    // first one has put the defaults back: these signals are ours alone.
    setenv("SDL_NO_SIGNAL_HANDLERS", "1", 1);
    struct sigaction sa = {};
    sa.sa_handler = onQuitSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

bool glint_quitSignalled() {
    return s_quitSignal != 0;
}

int glint_silenceStderr() {
    std::fflush(stderr);
    int saved = dup(2);
    int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null >= 0)
        dup2(null, 2);
    if (null >= 0)
        close(null);
    return saved;
}

void glint_restoreStderr(int saved) {
    if (saved < 0)
        return;
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
}
