// The program end to end: modes, exit codes, messages and repeatable captures.
// cmake-needs: datafile tidewater qxdat
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

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

// Length of a file's first video ("v") or audio ("a") stream in seconds, as mp4 and mkv state it.
double streamSeconds(const fs::path& file, const char* kind)
{
    Result r = sh(std::string("ffprobe -v error -select_streams ") + kind +
                  ":0 -show_entries stream=duration:stream_tags=DURATION -of default=nw=1:nk=1 " + file.string());
    double h = 0, m = 0, sec = 0;
    for (size_t at = 0; at < r.out.size();) {
        size_t end = r.out.find('\n', at);
        std::string line = r.out.substr(at, end - at);
        at = end == std::string::npos ? r.out.size() : end + 1;
        if (std::sscanf(line.c_str(), "%lf:%lf:%lf", &h, &m, &sec) == 3) return h * 3600 + m * 60 + sec;
        if (line != "N/A" && std::sscanf(line.c_str(), "%lf", &sec) == 1) return sec;
    }
    return -1.0;
}

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

TEST_F(Program, UnknownOptionsEndTheRunBeforeAnythingOpens)
{
    // Refused before the datafile is even looked for: the line is the option's, nothing else.
    for (const char* args : {"--captrue out.mp4", "--fullscreen", "--scale 3", "--bogus"}) {
        Result r = sh(std::string("cd / && " TIDEWATER_EXE " ") + args);
        EXPECT_EQ(1, r.code) << args;
        EXPECT_EQ(1, std::count(r.out.begin(), r.out.end(), '\n')) << r.out;
        EXPECT_TRUE(has(r.out, "main: unknown option '")) << r.out;
    }
    EXPECT_FALSE(fs::exists("/out.mp4"));
    // The show's own interface still ignores what it does not know, with a warning.
    Result r = run("--benchmark --start 5 --end 5:4 whatever -scale");
    EXPECT_EQ(0, r.code) << r.out;
    EXPECT_TRUE(has(r.out, "main: ignoring unknown argument 'whatever'\n")) << r.out;
    EXPECT_TRUE(has(r.out, "main: -scale without a value changes nothing")) << r.out;
}

TEST_F(Program, ForeignDatafileIsRefused)
{
    fs::create_directories(s_dir / "foreign");
    std::string dat = slurp(s_dir / "qx-tdwt.dat");
    dat.replace(0, 4, "QXDX");
    std::ofstream(s_dir / "foreign" / "qx-tdwt.dat", std::ios::binary) << dat;
    Result r = sh("cd " + (s_dir / "foreign").string() + " && " TIDEWATER_EXE " --benchmark");
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("file: datafile 'qx-tdwt.dat' is not a tidewater datafile (it starts with \"QXDX\", not \"QXDT\")\n",
              r.out);
    fs::remove_all(s_dir / "foreign");
}

// Every asset of the show cut short at a few lengths (just past the smallest header, half, one
// byte short), packed and started: refused at start-up with exit 1 and one line that names it,
// never played with the short data. The banner and the module are checked elsewhere.
TEST_F(Program, EveryAssetCutShortIsRefusedByName)
{
    const fs::path assets = s_dir / "cut-assets", dir = s_dir / "cut";
    fs::copy(s_dir / "assets", assets, fs::copy_options::recursive);
    fs::create_directories(dir);
    const std::string pack = std::string(TIDEWATER_QXDAT) + " pack " + assets.string() + " " + (dir / "qx-tdwt.dat").string();
    int cuts = 0;
    for (const auto& entry : fs::directory_iterator(assets / "srcdata")) {
        const std::string name = "srcdata/" + entry.path().filename().string();
        if (name == "srcdata/tidwtr.asc" || name == "srcdata/s32.mod")
            continue;
        const std::string whole = slurp(entry.path());
        const size_t size = whole.size();
        for (size_t length : {(size_t)20, size / 2, size - 1}) {
            if (length >= size)
                continue;
            std::ofstream(entry.path(), std::ios::binary | std::ios::trunc).write(whole.data(), (std::streamsize)length);
            Result r = sh(pack + " >/dev/null && cd " + dir.string() + " && " TIDEWATER_EXE " --headless --benchmark --end 0:1");
            std::istringstream lines(r.out);
            int naming = 0;
            for (std::string line; std::getline(lines, line);)
                naming += has(line, name);
            EXPECT_EQ(1, r.code) << name << " cut to " << length << " of " << size << " bytes:\n" << r.out;
            EXPECT_EQ(1, naming) << name << " cut to " << length << " of " << size << " bytes:\n" << r.out;
            cuts++;
        }
        std::ofstream(entry.path(), std::ios::binary | std::ios::trunc) << whole;
    }
    EXPECT_GE(cuts, 3 * 20) << "the show's assets are missing";
    fs::remove_all(assets);
    fs::remove_all(dir);
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
    // A frame longer than a row may step over a switch or the end marker itself: the run then
    // ends when the music has played out, never hangs.
    r = run("--benchmark --fps 5");
    ASSERT_EQ(0, r.code) << r.out;
    EXPECT_TRUE(has(r.out, "ended at 27:08") || has(r.out, "end not reached")) << r.out;
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
    for (const char* out : {"show.mkv", "show.mp4"}) {
        Result r = run(std::string("--headless --capture ") + out + " --start 5 --end 5:16 --fps 30");
        ASSERT_EQ(0, r.code) << r.out;
        EXPECT_TRUE(has(r.out, std::string("capture: 59 frames (1.97 s of show) in "))) << r.out;
        EXPECT_TRUE(has(r.out, std::string("written to ") + out)) << r.out;
        // H.264 picture and AAC sound, both as long as the run (59 frames at 30 fps): encoded
        // together, in step.
        Result probe = sh("ffprobe -v error -show_entries stream=codec_name,width,height -of csv " +
                          (s_dir / out).string());
        EXPECT_TRUE(has(probe.out, "stream,h264,640,400\n")) << probe.out;
        EXPECT_TRUE(has(probe.out, "stream,aac\n")) << probe.out;
        double v = streamSeconds(s_dir / out, "v"), a = streamSeconds(s_dir / out, "a");
        EXPECT_NEAR(59.0 / 30.0, v, 0.025) << out;
        EXPECT_NEAR(v, a, 0.025) << out;
        EXPECT_FALSE(fs::exists(s_dir / (std::string(out) + ".part")));
        fs::remove(s_dir / out);
    }
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
    EXPECT_FALSE(fs::exists(s_dir / "b.mp4.part"));
    // A capture directory that cannot be made.
    r = run("--headless --capture /proc/no-such-place/frames");
    EXPECT_EQ(1, r.code);
    EXPECT_TRUE(has(r.out, "capture: cannot create directory /proc/no-such-place/frames")) << r.out;
}

// Interrupts at chosen moments of a capture, made deterministic by a stand-in encoder on the PATH:
// a script that passes everything to the real ffmpeg and signals the program at a known point of
// the stream (after N frames, or when the program closes the frame pipe to finish the file).
class Interrupt : public Program {
protected:
    std::string m_real;
    void SetUp() override
    {
        Result r = sh("command -v ffmpeg && command -v ffprobe");
        if (r.code != 0) GTEST_SKIP() << "no ffmpeg";
        m_real = r.out.substr(0, r.out.find('\n'));
    }
    // Runs a capture to OUT with `script` as the encoder (REAL names the real one; the script's
    // parent is the program). Returns the output with "rc=N" appended.
    Result capture(const std::string& out, const std::string& script)
    {
        fs::path bin = s_dir / "encoder-bin";
        fs::create_directories(bin);
        std::ofstream(bin / "ffmpeg") << "#!/bin/sh\necho $$ > " << (s_dir / "encoder.pid").string()
                                      << "\nREAL=" << m_real << "\n" << script << "\n";
        fs::permissions(bin / "ffmpeg", fs::perms::owner_all);
        return sh("cd " + s_dir.string() + " && PATH=" + bin.string() + ":$PATH " TIDEWATER_EXE
                  " --headless --capture " + out + " --start 5 --end 7 -scale 1; echo rc=$?");
    }
    // Processes still alive in the stand-in encoder's process group (zombies aside).
    static std::string encoderLeft()
    {
        std::string pid = slurp(s_dir / "encoder.pid");
        pid = pid.substr(0, pid.find('\n'));
        if (pid.empty()) return "no pid recorded";
        return sh("ps -e -o pgid=,stat=,args= | awk '$1 == " + pid + " && $2 !~ /^Z/'").out;
    }
    static std::string probe(const std::string& file)
    {
        return sh("ffprobe -v error -show_entries stream=codec_name -of csv " + (s_dir / file).string()).out;
    }
    static void expectNothingLeft(const std::string& out)
    {
        EXPECT_FALSE(fs::exists(s_dir / out));
        EXPECT_FALSE(fs::exists(s_dir / (out + ".part")));
        EXPECT_EQ("", encoderLeft());
    }
};

TEST_F(Interrupt, DuringTheFramesTheFileIsFinished)
{
    // SIGINT once the encoder has taken 30 frames: the run stops, the encoder finishes the file.
    Result r = capture("mid.mp4", "{ dd bs=64000 count=120 iflag=fullblock status=none; kill -INT $PPID; cat; } "
                                  "| \"$REAL\" \"$@\"");
    EXPECT_TRUE(has(r.out, "rc=130")) << r.out;
    EXPECT_TRUE(has(r.out, "capture: interrupted; the first ")) << r.out;
    std::string p = probe("mid.mp4");
    EXPECT_TRUE(has(p, "h264")) << p;
    EXPECT_TRUE(has(p, "aac")) << p;
    EXPECT_FALSE(fs::exists(s_dir / "mid.mp4.part"));
    EXPECT_EQ("", encoderLeft());
    fs::remove(s_dir / "mid.mp4");
}

TEST_F(Interrupt, WhileTheEncoderFinishesTheFileIsStillComplete)
{
    // SIGINT in the moment the program closes the frame pipe, before the encoder has flushed and
    // written the container: the program waits for it, and the file is whole.
    for (const char* out : {"fin.mp4", "fin.mkv"}) {
        Result r = capture(out, "{ cat; kill -INT $PPID; } | \"$REAL\" \"$@\"");
        EXPECT_TRUE(has(r.out, "rc=130")) << out << r.out;
        EXPECT_TRUE(has(r.out, std::string("capture: interrupted; the first 923 frames are in ") + out)) << r.out;
        std::string p = probe(out);
        EXPECT_TRUE(has(p, "h264")) << out << ": " << p;
        EXPECT_TRUE(has(p, "aac")) << out << ": " << p;
        EXPECT_NEAR(923.0 / 60.0, streamSeconds(s_dir / out, "v"), 0.025) << out;
        EXPECT_NEAR(923.0 / 60.0, streamSeconds(s_dir / out, "a"), 0.025) << out;
        EXPECT_FALSE(fs::exists(s_dir / (std::string(out) + ".part")));
        EXPECT_EQ("", encoderLeft());
        fs::remove(s_dir / out);
    }
}

TEST_F(Interrupt, SecondInterruptAbandonsAndCleansUp)
{
    // Ctrl-C again and again while the encoder is finishing, and an encoder that never ends: the
    // program kills it, removes the partial file and still exits 130, at once.
    auto t0 = std::chrono::steady_clock::now();
    Result r = capture("abandon.mp4", "{ cat; while kill -INT $PPID; do sleep 0.05; done; } | \"$REAL\" \"$@\"; "
                                      "sleep 60");
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(secs, 40.0);
    EXPECT_TRUE(has(r.out, "rc=130")) << r.out;
    EXPECT_TRUE(has(r.out, "capture: interrupted; abandon.mp4 was not written")) << r.out;
    expectNothingLeft("abandon.mp4");
}

TEST_F(Interrupt, TerminationAbandonsAndCleansUp)
{
    // SIGTERM (a timeout, a closing session) wants the program gone: no file, no encoder, 143.
    Result r = capture("term.mkv", "{ dd bs=64000 count=40 iflag=fullblock status=none; kill -TERM $PPID; cat; } "
                                   "| \"$REAL\" \"$@\"");
    EXPECT_TRUE(has(r.out, "rc=143")) << r.out;
    EXPECT_TRUE(has(r.out, "capture: interrupted; term.mkv was not written")) << r.out;
    expectNothingLeft("term.mkv");
}

TEST_F(Interrupt, EncoderDiesWithAKilledProgram)
{
    // Killed outright, the program cannot clean up, but the encoder must not live on.
    Result r = capture("killed.mkv", "kill -KILL $PPID; exec \"$REAL\" \"$@\"");
    EXPECT_TRUE(has(r.out, "rc=137")) << r.out;
    for (int i = 0; i < 50 && !encoderLeft().empty(); i++) usleep(20000);
    EXPECT_EQ("", encoderLeft());
    fs::remove(s_dir / "killed.mkv.part");
}

TEST_F(Program, ShotsAtPositions)
{
    Result r = run("--shots 0:0 --out shotdir");
    ASSERT_EQ(0, r.code) << r.out;
    EXPECT_TRUE(fs::exists(s_dir / "shotdir" / "00-00.png"));
    std::string png = slurp(s_dir / "shotdir" / "00-00.png");
    EXPECT_EQ(std::string("\x89PNG", 4), png.substr(0, 4));
    fs::remove_all(s_dir / "shotdir");
    // Positions the run cannot reach are refused before it starts: nothing is played, no folder made.
    struct Case {
        const char* args;
        const char* message;
    } cases[] = {
        {"--shots 99:0", "main: --shots position 99:0 is not a position in the music\n"},
        {"--shots 5:70", "main: --shots position 5:70 is not a position in the music\n"},
        {"--shots 6:0,5:2 --start 6", "main: --shots position 5:2 comes before --start\n"},
        {"--shots 5:8 --start 5 --end 5:8", "main: --shots position 5:8 is not before --end\n"},
        {"--shots 0:0,27:10", "main: --shots position 27:10 is not before the end of the show\n"},
    };
    for (const Case& c : cases) {
        r = run(std::string(c.args) + " --out shotdir");
        EXPECT_EQ(1, r.code) << c.args;
        EXPECT_TRUE(has(r.out, c.message)) << c.args << ": " << r.out;
        EXPECT_FALSE(has(r.out, "was not reached")) << r.out;
        EXPECT_FALSE(fs::exists(s_dir / "shotdir")) << c.args;
    }
    // A position inside the run that a long frame steps over is only known afterwards.
    r = run("--shots 5:2 --start 5 --end 5:8 --fps 5 --out shotdir");
    EXPECT_EQ(1, r.code);
    EXPECT_TRUE(has(r.out, "shots: position 5:2 was not reached")) << r.out;
    fs::remove_all(s_dir / "shotdir");
}

TEST_F(Program, WriteErrorsAreReportedAsSuch)
{
    // A file size limit stands in for a full disk: the write fails with the cause named, and the
    // positions after it are not reported as unreached.
    Result r = sh("cd " + s_dir.string() + " && trap '' XFSZ && ulimit -f 1 && " TIDEWATER_EXE
                  " --shots 5:0,5:8 --out full");
    EXPECT_EQ(1, r.code) << r.out;
    EXPECT_TRUE(has(r.out, "pngout: cannot write full/05-00.png: File too large\n")) << r.out;
    EXPECT_FALSE(has(r.out, "not reached")) << r.out;
    EXPECT_FALSE(fs::exists(s_dir / "full" / "05-00.png"));
    r = sh("cd " + s_dir.string() + " && trap '' XFSZ && ulimit -f 1 && " TIDEWATER_EXE
           " --headless --capture fullcap --start 5 --end 5:4");
    EXPECT_EQ(1, r.code) << r.out;
    EXPECT_TRUE(has(r.out, "pngout: cannot write fullcap/000000.png: File too large\n")) << r.out;
    fs::remove_all(s_dir / "full");
    fs::remove_all(s_dir / "fullcap");
}

TEST_F(Program, LiveAndMuteRuns)
{
    Result r = run("--headless --mute --start 5 --end 5:8");
    EXPECT_EQ(0, r.code) << r.out;
    r = run("--headless --start 5 --end 5:8", "SDL_AUDIODRIVER=dummy");
    EXPECT_EQ(0, r.code) << r.out;
    // No sound device: the program's two lines (what failed, what to do), and nothing of the
    // sound system's own diagnostics (ALSA's, on a machine without a sound card).
    const std::string advice = "; --mute plays the show without sound\n";
    r = run("--headless --start 5 --end 5:8", "SDL_AUDIODRIVER=no-such-driver");
    EXPECT_EQ(1, r.code);
    EXPECT_EQ("Failed to initialize audio output device\nmodplay: no sound output (Audio target 'no-such-driver' not "
              "available)" + advice, r.out);
    r = run("--headless --start 5 --end 5:8", "SDL_AUDIODRIVER=alsa");
    if (r.code != 0) {  // no sound card here
        EXPECT_EQ(1, r.code);
        EXPECT_TRUE(r.out.rfind("Failed to initialize audio output device\nmodplay: no sound output (", 0) == 0) << r.out;
        EXPECT_EQ(2, std::count(r.out.begin(), r.out.end(), '\n')) << r.out;
        EXPECT_TRUE(has(r.out, advice)) << r.out;
    }
}
