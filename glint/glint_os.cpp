#include "glint_os.h"

#include <unistd.h>

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
