// Reading what a program printed, for the suites that run the built programs.
#pragma once
#include <sstream>
#include <string>

// The line of `out` starting with `prefix`, or "".
inline std::string lineStarting(const std::string& out, const std::string& prefix)
{
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0)
            return line;
    return "";
}
