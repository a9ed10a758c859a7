// log: printf-style messages to standard output and, when enabled, to "log.txt".
//
// Messages are written exactly as formatted (no prefix, no added newline). By convention they
// begin with the module name and a colon: "main: initialising\n".
#pragma once

// enable != 0: open "log.txt" (truncating) and write "log: log opened\n". If the file cannot be
// created, messages go to standard output only.
void log_init(int enable);
// Writes "log: log closed\n" to the file and closes it, if it is open.
void log_deinit(void);

// Formats into the log file when it is open, and always to standard output.
void log_print(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same as log_print.
void log_stdio(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Debug-level messages are switched off at compile time: this does nothing. It is a template so
// that a module may still define its own private non-template log_debug without a clash.
template <typename... Args>
inline void log_debug(const char*, Args&&...) {}
