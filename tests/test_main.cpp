// The program end to end: modes, exit codes, messages and repeatable captures.
// cmake-needs: datafile tidewater qxdat
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include "tinymod.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int code;
    std::string out;
};

Result sh(const std::string& cmd)
{
    Result r{-1, ""};
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    return r;
}

std::string slurp(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// A working directory holding the show's datafile. When the build has no music yet, a small
// 28-order module stands in, so the timeline's end (27:8) is still reachable.
class Program : public ::testing::Test {
protected:
    static fs::path s_dir;
    static void SetUpTestSuite()
    {
        s_dir = fs::temp_directory_path() / ("tidewater-main-" + std::to_string(getpid()));
        fs::remove_all(s_dir);
        fs::create_directories(s_dir / "assets");
        std::string q = TIDEWATER_QXDAT;
        ASSERT_EQ(0, sh(q + " extract " TIDEWATER_DATAFILE " " + (s_dir / "assets").string()).code);
        fs::path mod = s_dir / "assets" / "srcdata" / "s32.mod";
        if (!fs::exists(mod)) {
            std::vector<uint8_t> m = tinymod_build(28);
            std::ofstream(mod, std::ios::binary).write((const char*)m.data(), std::streamsize(m.size()));
        }
        ASSERT_EQ(0, sh(q + " pack " + (s_dir / "assets").string() + " " + (s_dir / "qx-tdwt.dat").string()).code);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
    static void TearDownTestSuite() { fs::remove_all(s_dir); }
    static Result run(const std::string& args, const std::string& env = "")
    {
        return sh("cd " + s_dir.string() + " && " + env + " " TIDEWATER_EXE " " + args);
    }
};
fs::path Program::s_dir;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST_F(Program, HelpVersionAndBadArguments)
{
    Result r = run("--help");
    EXPECT_EQ(0, r.code);
    EXPECT_TRUE(has(r.out, "--capture OUT"));
    r = run("--version");
    EXPECT_EQ(0, r.code);
    EXPECT_TRUE(has(r.out, "tidewater "));
    r = run("-scale 0");
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("main: bad value '0' for -scale (a whole number from 1 to 16)\n", r.out);
    r = run("--benchmark --start 5:70");  // patterns have 64 rows
    EXPECT_EQ(1, r.code);
    EXPECT_TRUE(has(r.out, "main: --start 5:70 is not a position in the music\n")) << r.out;
    r = run("--fps fast --benchmark");
    EXPECT_EQ(1, r.code);
    EXPECT_TRUE(has(r.out, "--fps"));
}

TEST_F(Program, MissingDatafile)
{
    Result r = sh("cd / && " TIDEWATER_EXE " --benchmark");
    // The program also looks beside itself: only check when nothing is there.
    if (!fs::exists(fs::path(TIDEWATER_EXE).parent_path() / "qx-tdwt.dat")) {
        EXPECT_EQ(1, r.code);
        EXPECT_TRUE(has(r.out, "qx-tdwt.dat"));
    }
}

TEST_F(Program, FixedStepRunEndsAtTheTimelineEndWithTheBanner)
{
    Result r = run("--benchmark --fps 30");
    ASSERT_EQ(0, r.code) << r.out;
    EXPECT_TRUE(has(r.out, "total  frames ")) << r.out;
    // A show with scenes plays to the end marker; an empty one ends at once.
    if (has(r.out, " median ")) {
        EXPECT_TRUE(has(r.out, "ended at 27:08")) << r.out;
    }
    EXPECT_TRUE(has(r.out, "Code crunched by grimwheel & v0lta\nGraphics pixelled by emberly & v0lta\n"
                           "Music tuned by pLume\n-- http://www.cobaltmill.example\n"));
}

TEST_F(Program, CapturesAreRepeatable)
{
    const char* span = "--start 5 --end 5:24 --fps 60 -scale 1";
    Result a = run(std::string("--headless --capture capA ") + span);
    ASSERT_EQ(0, a.code) << a.out;
    Result b = run(std::string("--headless --capture capB ") + span);
    ASSERT_EQ(0, b.code) << b.out;
    int frames = 0;
    for (auto& e : fs::directory_iterator(s_dir / "capA")) {
        if (e.path().extension() != ".png") continue;
        frames++;
        EXPECT_EQ(slurp(e.path()), slurp(s_dir / "capB" / e.path().filename())) << e.path();
    }
    EXPECT_GE(frames, 2);
    std::string wa = slurp(s_dir / "capA" / "audio.wav"), wb = slurp(s_dir / "capB" / "audio.wav");
    EXPECT_EQ(wa, wb);
    // Audio as long as the video: 735 stereo frames of 4 bytes per 1/60 s frame.
    EXPECT_EQ(size_t(44 + frames * 735 * 4), wa.size());
    fs::remove_all(s_dir / "capA");
    fs::remove_all(s_dir / "capB");
}

TEST_F(Program, VideoCaptureHasPictureAndSound)
{
    if (sh("command -v ffmpeg && command -v ffprobe").code != 0) GTEST_SKIP() << "no ffmpeg";
    Result r = run("--headless --capture show.mkv --start 5 --end 5:16 --fps 30");
    ASSERT_EQ(0, r.code) << r.out;
    EXPECT_TRUE(has(r.out, "written to show.mkv"));
    Result probe = sh("ffprobe -v error -show_entries stream=codec_type,width,height -of csv " + (s_dir / "show.mkv").string());
    EXPECT_TRUE(has(probe.out, "video,640,400")) << probe.out;
    EXPECT_TRUE(has(probe.out, "audio")) << probe.out;
    EXPECT_FALSE(fs::exists(s_dir / "show.mkv.video.mkv"));
    EXPECT_FALSE(fs::exists(s_dir / "show.mkv.audio.wav"));
    fs::remove(s_dir / "show.mkv");
}

TEST_F(Program, EncodingFailuresEndWithAMessageAndNoFile)
{
    // No ffmpeg on the PATH.
    Result r = run("--headless --capture a.mp4", "PATH=/nonexistent");
    EXPECT_EQ(1, r.code);
    EXPECT_TRUE(has(r.out, "capture: cannot encode a.mp4: ffmpeg was not found on the PATH")) << r.out;
    EXPECT_FALSE(fs::exists(s_dir / "a.mp4"));
    // An encoder that dies at once: a clear message, exit 1, no hang, nothing left behind.
    fs::create_directories(s_dir / "fakebin");
    std::ofstream(s_dir / "fakebin" / "ffmpeg") << "#!/bin/sh\necho 'fake encoder: disk full' >&2\nexit 1\n";
    fs::permissions(s_dir / "fakebin" / "ffmpeg", fs::perms::owner_all);
    r = run("--headless --capture b.mp4 --start 5 --end 6", "PATH=" + (s_dir / "fakebin").string() + ":$PATH");
    EXPECT_EQ(1, r.code) << r.out;
    EXPECT_TRUE(has(r.out, "capture: encoding b.mp4 failed")) << r.out;
    EXPECT_FALSE(fs::exists(s_dir / "b.mp4"));
    EXPECT_FALSE(fs::exists(s_dir / "b.mp4.video.mkv"));
    EXPECT_FALSE(fs::exists(s_dir / "b.mp4.audio.wav"));
    // A capture directory that cannot be made.
    r = run("--headless --capture /proc/no-such-place/frames");
    EXPECT_EQ(1, r.code);
    EXPECT_TRUE(has(r.out, "capture: cannot create directory /proc/no-such-place/frames")) << r.out;
}

TEST_F(Program, InterruptedCaptureIsFinishedCleanly)
{
    if (sh("command -v ffmpeg && command -v ffprobe").code != 0) GTEST_SKIP() << "no ffmpeg";
    Result r = sh("cd " + s_dir.string() + " && (" TIDEWATER_EXE
                  " --headless --capture cut.mkv --start 5 & p=$!; sleep 3; kill -INT $p; wait $p; echo rc=$?)");
    EXPECT_TRUE(has(r.out, "rc=130")) << r.out;
    EXPECT_TRUE(has(r.out, "capture: interrupted; the first ")) << r.out;
    Result probe = sh("ffprobe -v error -show_entries stream=codec_type -of csv " + (s_dir / "cut.mkv").string());
    EXPECT_TRUE(has(probe.out, "video")) << probe.out;
    EXPECT_TRUE(has(probe.out, "audio")) << probe.out;
    EXPECT_FALSE(fs::exists(s_dir / "cut.mkv.video.mkv"));
    fs::remove(s_dir / "cut.mkv");
}

TEST_F(Program, ShotsAtPositions)
{
    Result r = run("--shots 0:0 --out shotdir");
    ASSERT_EQ(0, r.code) << r.out;
    EXPECT_TRUE(fs::exists(s_dir / "shotdir" / "00-00.png"));
    std::string png = slurp(s_dir / "shotdir" / "00-00.png");
    EXPECT_EQ(std::string("\x89PNG", 4), png.substr(0, 4));
    // A position the run never reaches is an error, named.
    r = run("--shots 0:0,27:60 --out shotdir");
    EXPECT_EQ(1, r.code);
    EXPECT_TRUE(has(r.out, "shots: position 27:60 was not reached")) << r.out;
    fs::remove_all(s_dir / "shotdir");
}

TEST_F(Program, LiveAndMuteRuns)
{
    Result r = run("--headless --mute --start 5 --end 5:8");
    EXPECT_EQ(0, r.code) << r.out;
    r = run("--headless --start 5 --end 5:8", "SDL_AUDIODRIVER=dummy");
    EXPECT_EQ(0, r.code) << r.out;
    r = run("--headless --start 5 --end 5:8", "SDL_AUDIODRIVER=no-such-driver");
    EXPECT_EQ(1, r.code);
    EXPECT_TRUE(has(r.out, "Failed to initialize audio output device\n")) << r.out;
}
