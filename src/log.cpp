#include "log.h"

#include <cstdarg>
#include <cstdio>

static FILE* s_fp = nullptr;

void log_init(int enable) {
    if (!enable) return;
    s_fp = std::fopen("log.txt", "w");
    log_print("log: log opened\n");
}

void log_deinit(void) {
    if (!s_fp) return;
    log_print("log: log closed\n");
    std::fclose(s_fp);
    s_fp = nullptr;
}

static void log_vprint(const char* format, va_list args) {
    if (s_fp) {
        va_list copy;
        va_copy(copy, args);
        std::vfprintf(s_fp, format, copy);
        va_end(copy);
        std::fflush(s_fp);
    }
    std::vprintf(format, args);
}

void log_print(const char* format, ...) {
    va_list args;
    va_start(args, format);
    log_vprint(format, args);
    va_end(args);
}

void log_stdio(const char* format, ...) {
    va_list args;
    va_start(args, format);
    log_vprint(format, args);
    va_end(args);
}
