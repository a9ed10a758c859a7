#pragma once
// What the operating system tells the program about itself, apart from the window: one
// implementation per platform (glint_os.cpp for Linux and the browser).

#include <string>

// The directory of the running executable with a trailing separator, or "" when the system
// cannot tell (the browser has no executable file).
std::string glint_exeDir();

// SIGTERM and SIGINT ask the program to end as closing its window does: from then on
// glint_quitSignalled() is true (the window reports itself closed at its next update). The first
// signal only asks; the handler then removes itself, so a second one ends the process at once.
void glint_catchQuitSignals();
bool glint_quitSignalled();
