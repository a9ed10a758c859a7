// A stand-in for ffmpeg.exe in the Windows program's capture checks (built as ffmpeg.exe in
// build-windows/stand-in/, found through WINEPATH): it reads its two inputs as ffmpeg would, the
// frames from standard input ("pipe:0") and the samples from the other -i argument (a named
// pipe), both at once, and writes "frames N samples M" to the output file, its last argument.
// STAND_IN_FAIL=TEXT makes it print TEXT and exit 1 at once, as an encoder that cannot write.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

static long long readAll(HANDLE h)
{
    static char buf[1 << 16];
    long long total = 0;
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
        total += n;
    return total;
}

int main(int argc, char** argv)
{
    if (const char* fail = std::getenv("STAND_IN_FAIL")) {
        std::fprintf(stderr, "%s\n", fail);
        return 1;
    }
    const char* audio = nullptr;
    for (int i = 1; i + 1 < argc; i++)
        if (std::strcmp(argv[i], "-i") == 0 && std::strcmp(argv[i + 1], "pipe:0") != 0)
            audio = argv[i + 1];
    if (!audio || argc < 2) {
        std::fprintf(stderr, "stand-in encoder: no audio input named\n");
        return 2;
    }
    long long frameBytes = 0, sampleBytes = 0;
    std::thread video([&] { frameBytes = readAll(GetStdHandle(STD_INPUT_HANDLE)); });
    HANDLE a = CreateFileA(audio, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (a == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "stand-in encoder: cannot open %s\n", audio);
        std::exit(3);
    }
    sampleBytes = readAll(a);
    CloseHandle(a);
    video.join();
    FILE* out = std::fopen(argv[argc - 1], "w");
    if (!out)
        return 4;
    std::fprintf(out, "frames %lld samples %lld\n", frameBytes / (320 * 200 * 4), sampleBytes / 4);
    return std::fclose(out) == 0 ? 0 : 4;
}
