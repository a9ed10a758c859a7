// Reading what a program printed, for the suites that run the built programs.
#pragma once
#include <cstdio>
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

// A --benchmark scene line ("NAME  frames N  median M ms  p99 P ms  F fps"): its name, frame count
// and rate; false for any other line.
inline bool benchmarkScene(const std::string& line, std::string* name, int* frames, float* fps)
{
    char buf[64];
    float median = 0, p99 = 0;
    if (std::sscanf(line.c_str(), "%63s frames %d median %f ms p99 %f ms %f fps", buf, frames, &median, &p99, fps) != 5)
        return false;
    *name = buf;
    return true;
}
