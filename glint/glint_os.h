#pragma once
// What the operating system tells the program about itself, and the file-system operations whose
// meaning differs between systems: one implementation per platform (glint_os_posix.cpp for Linux
// and the browser).

#include <string>

// The directory of the running executable with a trailing separator, or "" when the system
// cannot tell (the browser has no executable file).
std::string glint_exeDir();
// Makes the directory PATH unless it exists. 1 when PATH is a directory now; 0 with errno set,
// EEXIST meaning that PATH exists and is not a directory.
int glint_makeDirectory(const char* path);
// Renames FROM to TO, replacing a file TO in one step. 1 on success; 0 with errno set.
int glint_replaceFile(const char* from, const char* to);

// SIGTERM and SIGINT ask the program to end as closing its window does: from then on
// glint_quitSignalled() is true (the window reports itself closed at its next update). The first
// signal only asks; the defaults are then back, so a second one ends the process at once.
void glint_catchQuitSignals();
bool glint_quitSignalled();

// Standard error sent to /dev/null until glint_restoreStderr (given what this returned): for
// libraries that report to the terminal themselves (the sound system's configuration errors on a
// machine without a sound card) where the program says what failed in its own words.
int glint_silenceStderr();
void glint_restoreStderr(int saved);
