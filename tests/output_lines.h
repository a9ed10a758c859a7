// Reading what a program printed, for the suites that run the built programs.
#pragma once
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

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

// The scene lines of a --benchmark table ("NAME  frames N  median M ms  p99 P ms  F fps"), in order.
struct BenchmarkScene {
    std::string name, line;
    int frames = 0;
    float fps = 0.0f;
};

inline std::vector<BenchmarkScene> benchmarkScenes(const std::string& out)
{
    std::vector<BenchmarkScene> scenes;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        char name[64];
        int frames = 0;
        float median = 0, p99 = 0, fps = 0;
        if (std::sscanf(line.c_str(), "%63s frames %d median %f ms p99 %f ms %f fps", name, &frames, &median, &p99,
                        &fps) == 5)
            scenes.push_back(BenchmarkScene{name, line, frames, fps});
    }
    return scenes;
}
