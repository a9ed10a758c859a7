#include "glint_os.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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
