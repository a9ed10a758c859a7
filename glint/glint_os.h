#pragma once
// What the operating system tells the program about itself, apart from the window: one
// implementation per platform (glint_os.cpp for Linux and the browser).

#include <string>

// The directory of the running executable with a trailing separator, or "" when the system
// cannot tell (the browser has no executable file).
std::string glint_exeDir();

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
