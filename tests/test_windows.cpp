// The Windows program (build-windows/tidewater.exe) under Wine against the native one: the same
// messages and exit codes, the live path with sound through SDL's file-writing audio driver, the
// window on a virtual X display (scripts/windows-window-check), and the frame rate of every scene.
// Run by ./test --windows, which builds it and sets TIDEWATER_WINDOWS_EXE; skipped otherwise.
// (The golden frames and the whole-show fingerprint are checked in test_golden and test_fingerprint.)
// cmake-needs: datafile tidewater
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "file.h"
#include "modplay.h"
#include "output_lines.h"

namespace fs = std::filesystem;

namespace {

const char* windowsExe()
{
    return std::getenv("TIDEWATER_WINDOWS_EXE");
}

struct Result {
    int code;
    std::string out;  // standard output and error, with Windows' line ends made Unix ones
};

Result sh(const std::string& cmd)
{
    Result r{-1, ""};
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        for (size_t i = 0; i < n; i++)
            if (buf[i] != '\r')
                r.out += buf[i];
    const int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    return r;
}

// A fresh working directory under the build tree.
fs::path workDir(const char* name)
{
    const fs::path dir = fs::path(TIDEWATER_BINARY_DIR) / "windows-check" / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

}  // namespace

#define REQUIRE_WINDOWS_EXE()                                            \
    if (!windowsExe())                                                   \
    GTEST_SKIP() << "the Windows build is checked by ./test --windows"

// The program under Wine names folders as Windows does (Z:\work\...): written as the native
// program writes them, so that only a real difference in a message shows.
static std::string posixPaths(std::string text)
{
    for (size_t at; (at = text.find("Z:\\")) != std::string::npos;)
        text.replace(at, 3, "/");
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

// Each program copied alone into an empty folder (no datafile beside it), then run there.
TEST(Windows, MessagesAndExitCodesAreTheNativeOnes)
{
    REQUIRE_WINDOWS_EXE();
    const fs::path dir = workDir("messages");
    fs::copy_file(TIDEWATER_EXE, dir / "tidewater");
    fs::copy_file(windowsExe(), dir / "tidewater.exe");
    struct Case {
        const char* what;
        const char* args;
        const char* datafile;  // contents of ./qx-tdwt.dat, or nullptr for none
    };
    const Case cases[] = {
        {"missing datafile", "--headless --mute --end 0:4", nullptr},
        {"bad datafile", "--headless --mute --end 0:4", "garbage, not a datafile\n"},
        {"truncated datafile", "--headless --mute --end 0:4", "QXDT"},
        {"unknown option", "--captrue out.mp4", nullptr},
        {"bad value", "-scale 0", nullptr},
        {"unknown argument", "foo --version", nullptr},
    };
    for (const Case& c : cases) {
        fs::remove(dir / "qx-tdwt.dat");
        if (c.datafile)
            std::ofstream(dir / "qx-tdwt.dat", std::ios::binary) << c.datafile;
        const Result native = sh("cd \"" + dir.string() + "\" && ./tidewater " + c.args);
        const Result windows = sh("cd \"" + dir.string() + "\" && wine tidewater.exe " + c.args);
        EXPECT_EQ(windows.code, native.code) << c.what << ": " << windows.out;
        EXPECT_EQ(posixPaths(windows.out), native.out) << c.what;
    }
}

std::vector<int16_t> s_offline;

void collect(const int16_t* samples, int frames, void*)
{
    s_offline.insert(s_offline.end(), samples, samples + frames * ModplayChannels);
}

// The live path with sound: a run with SDL's disk driver, which writes what the device plays to
// a file at the pace a sound card would take it. The run ends itself at 1:19 (83 rows of 0.12 s:
// 9.96 s) once the position it polls from the audio device gets there; by then the device must
// have written those 83 rows and at most one row more (a device buffer is far shorter), and
// exactly the music the offline render makes.
TEST(Windows, LiveRunPlaysTheMusicInStepWithThePolledPosition)
{
    REQUIRE_WINDOWS_EXE();
    const fs::path dir = workDir("live");
    const Result r = sh("cd \"" + dir.string() + "\" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=music.raw wine \"" +
                        windowsExe() + "\" --headless --end 1:19");
    ASSERT_EQ(r.code, 0) << r.out;
    std::ifstream f(dir / "music.raw", std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const long total = long(raw.size() / (ModplayChannels * sizeof(int16_t)));
    std::vector<int16_t> live(size_t(total) * ModplayChannels);
    std::memcpy(live.data(), raw.data(), live.size() * sizeof(int16_t));
    ASSERT_TRUE(file_mountData(TIDEWATER_DATAFILE));
    modplay_setMode(ModplayMode_Offline);
    ASSERT_EQ(1, modplay_init("srcdata/s32.mod"));
    s_offline.clear();
    modplay_setSink(collect, nullptr);
    modplay_play();
    while (long(s_offline.size()) < total * ModplayChannels && !modplay_isFinished())
        modplay_advance(1.0f / 60.0f);
    modplay_deinit();
    file_unmountData();
    // SDL's device plays silence from its opening until the music starts (while the datafile
    // loads): the music begins where both first leave silence.
    auto firstSound = [](const std::vector<int16_t>& v) {
        size_t i = 0;
        while (i < v.size() && v[i] == 0)
            i++;
        return long(i / ModplayChannels);
    };
    const long lead = firstSound(live) - firstSound(s_offline), frames = total - lead;
    const double rate = ModplayRate;
    const long rowFrames = ModplayRate * 12 / 100, endFrames = 83 * rowFrames;
    std::printf("live run wrote %.3f s of music (after %.3f s of silence while loading); the polled position "
                "reached 1:19 at %.3f s\n",
                double(frames) / rate, double(lead) / rate, double(endFrames) / rate);
    ASSERT_GE(lead, 0);
    EXPECT_GE(frames, endFrames) << "the position ran ahead of the sound";
    EXPECT_LE(frames, endFrames + rowFrames) << "the position lagged more than a row behind the sound";
    ASSERT_GE(long(s_offline.size()), frames * ModplayChannels);
    long differing = 0, first = -1, worst = 0;
    for (long i = 0; i < frames * ModplayChannels; i++) {
        const long d = std::labs(long(live[size_t(lead * ModplayChannels + i)]) - s_offline[size_t(i)]);
        if (d) {
            differing++;
            worst = std::max(worst, d);
            if (first < 0)
                first = i / ModplayChannels;
        }
    }
    std::printf("samples differing from the offline render: %ld of %ld (largest difference %ld)\n", differing,
                frames * ModplayChannels, worst);
    // The live device pulls the player in its own block sizes; a handful of samples may round
    // differently there, the music may not.
    EXPECT_LE(differing, frames / 10000) << "the first at frame " << first;
    EXPECT_LE(worst, 64);
}

// Capture to a video file through the encoder found on the PATH: a stand-in ffmpeg.exe built for
// Windows (tests/windows/stand_in_encoder.cpp) that counts what arrives through the two pipes.
TEST(Windows, CaptureFeedsTheEncoderOnThePathAndFailsClearlyWithout)
{
    REQUIRE_WINDOWS_EXE();
    const fs::path dir = workDir("capture");
    const std::string standIn = (fs::path(windowsExe()).parent_path() / "stand-in").string();
    const std::string run = "cd \"" + dir.string() + "\" && ";
    const std::string exe = std::string(" wine \"") + windowsExe() + "\" --headless --fps 30 --start 5 --end 5:16 ";

    Result r = sh(run + "WINEPATH=\"" + standIn + "\"" + exe + "--capture a.mp4");
    ASSERT_EQ(r.code, 0) << r.out;
    long long frames = 0, written = 0, samples = 0;
    const size_t summary = r.out.find("written to a.mp4");
    ASSERT_NE(summary, std::string::npos) << r.out;
    const std::string line = r.out.substr(r.out.rfind('\n', summary) + 1);
    ASSERT_EQ(1, std::sscanf(line.c_str(), "capture: %lld frames", &frames)) << r.out;
    std::ifstream in(dir / "a.mp4");
    std::string word;
    in >> word >> written >> word >> samples;
    EXPECT_GT(frames, 50) << r.out;
    EXPECT_EQ(written, frames) << "frames the encoder received";
    EXPECT_NEAR(double(samples), double(frames) * (ModplayRate / 30), ModplayRate / 30) << "samples it received";
    EXPECT_FALSE(fs::exists(dir / "a.mp4.part"));

    r = sh(run + exe + "--capture b.mp4");
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_EQ(r.out.rfind("capture: cannot encode b.mp4: ffmpeg was not found on the PATH (use a directory for PNG "
                          "frames instead)\n",
                          0),
              0u)
        << r.out;

    r = sh(run + "STAND_IN_FAIL='stand-in: disk full' WINEPATH=\"" + standIn + "\"" + exe + "--capture c.mp4");
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("capture: encoding c.mp4 failed"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("stand-in: disk full"), std::string::npos) << "the encoder's own message" << r.out;
    EXPECT_FALSE(fs::exists(dir / "c.mp4"));
    EXPECT_FALSE(fs::exists(dir / "c.mp4.part"));
}

// The Windows program's frame rate per scene beside the native one, from the same sitting: a
// speed target is a benchmark's business, not a pass or fail here. What must hold is that the
// benchmark runs the whole show under Wine and times every scene.
TEST(Windows, BenchmarkTimesEveryScene)
{
    REQUIRE_WINDOWS_EXE();
    const Result windows = sh(std::string("wine \"") + windowsExe() + "\" --benchmark");
    ASSERT_EQ(windows.code, 0) << windows.out;
    const Result native = sh(std::string("\"") + TIDEWATER_EXE + "\" --benchmark");
    const std::vector<BenchmarkScene> scenes = benchmarkScenes(windows.out);
    for (const BenchmarkScene& s : scenes) {
        EXPECT_GT(s.frames, 0) << s.line;
        std::printf("windows %s\nnative  %s\n", s.line.c_str(), lineStarting(native.out, s.name + " ").c_str());
    }
    std::printf("windows %s\nnative  %s\n", lineStarting(windows.out, "total ").c_str(),
                lineStarting(native.out, "total ").c_str());
    EXPECT_EQ(scenes.size(), 11u) << windows.out;
}

// The window on a virtual X display: 640 x 400 with the show in it, and full screen on 1024 x 768
// between black bars; Escape ends the show with exit 0 (scripts/windows-window-check).
TEST(Windows, WindowShowsTheShowAndEscapeEndsIt)
{
    REQUIRE_WINDOWS_EXE();
    for (const char* mode : {"", " --fullscreen"}) {
        const Result r = sh(std::string("\"") + TIDEWATER_SOURCE_DIR + "/scripts/windows-window-check\"" + mode);
        std::printf("%s", r.out.c_str());
        EXPECT_EQ(r.code, 0) << r.out;
    }
}
