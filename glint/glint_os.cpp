#include "glint_os.h"

#include <unistd.h>

#include <csignal>
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

static volatile sig_atomic_t s_quitSignal;

static void onQuitSignal(int sig)
{
    s_quitSignal = sig;
}

void glint_catchQuitSignals() {
    struct sigaction sa = {};
    sa.sa_handler = onQuitSignal;
    sa.sa_flags = SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

bool glint_quitSignalled() {
    return s_quitSignal != 0;
}
