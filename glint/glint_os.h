#pragma once
// What the operating system tells the program about itself, apart from the window: one
// implementation per platform (glint_os.cpp for Linux and the browser).

#include <string>

// The directory of the running executable with a trailing separator, or "" when the system
// cannot tell (the browser has no executable file).
std::string glint_exeDir();
