// The whole show, frame for frame and sample for sample: the program runs headless at a fixed
// 15 frames per second (a row of the music, 125 BPM at speed 6, lasts 0.12 s: longer than a
// frame, so every position a scene or event starts at is polled) and prints one hash per scene
// over every frame that scene presents, plus one over the music. Any change to a pixel of any
// frame, or to a sample, shows here.
//
// A change to the pictures or the music must be deliberate: regenerate the table with
//   TIDEWATER_FINGERPRINT_PRINT=1 build/test_fingerprint
// and say why in the commit. A new scene is a new line.
// cmake-needs: datafile tidewater
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "fingerprint.h"
#include "options.h"

namespace {

struct Print {
    const char* name;  // a scene, "end" (frames after the timeline's end) or "audio"
    uint64_t hash;
};

// clang-format off
const Print s_prints[] = {
    {"Credits",    0x4a29594281cdece7ull},  // 577 frames
    {"Wire",       0x25f2c5ba36131a6full},  // 460 frames
    {"Tunnel",     0x16e2669184d08759ull},  // 231 frames
    {"Spike",      0x2984522a25d95890ull},  // 230 frames
    {"Knot",       0x7755553628feed60ull},  // 231 frames
    {"Skull",      0xfecdfee77ea3e0d3ull},  // 230 frames
    {"Rings",      0x1384a81cccde0ec5ull},  // 230 frames
    {"Plane",      0x84e971a06d72c300ull},  // 231 frames
    {"Tendril",    0xc686b557e1ead586ull},  // 230 frames
    {"FinalTorus", 0x49254aac068b3c4dull},  // 231 frames
    {"QxLogo",     0x3a08faaf50f7eebdull},  // 244 frames
    {"end",        0x20bc2ba8c7641f2dull},  // 2 frames
    {"audio",      0x7fb1b22a692e642full},  // 9193380 frames
};
// clang-format on

struct Line {
    long long frames;
    uint64_t hash;
};

// The fingerprint lines of the program's output, by name, in order of appearance. `run` starts
// the program (native, or the web build through its driver) with the arguments that follow.
std::vector<std::pair<std::string, Line>> runShow(std::string* log, const std::string& run)
{
    const std::string cmd = run + " --fingerprint --fps 15 2>&1";
    std::vector<std::pair<std::string, Line>> lines;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return lines;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p)) {
        *log += buf;
        char name[64];
        Line l{};
        unsigned long long h = 0;
        if (std::sscanf(buf, "fingerprint %63s frames %lld 0x%llx", name, &l.frames, &h) == 3) {
            l.hash = h;
            lines.push_back({name, l});
        }
    }
    const int status = pclose(p);
    if (status != 0)
        *log += "\n(exit status " + std::to_string(status) + ")";
    return status == 0 ? lines : std::vector<std::pair<std::string, Line>>{};
}

// Compares the lines with the table (or prints them as a new table).
void checkShow(const std::vector<std::pair<std::string, Line>>& lines, const char* build)
{
    if (std::getenv("TIDEWATER_FINGERPRINT_PRINT")) {
        for (const auto& [name, l] : lines)
            std::printf("    {%-13s 0x%016llxull},  // %lld frames\n", ("\"" + name + "\",").c_str(),
                        (unsigned long long)l.hash, l.frames);
        return;
    }
    std::map<std::string, uint64_t> expected;
    for (const Print& p : s_prints)
        expected[p.name] = p.hash;
    for (const auto& [name, l] : lines) {
        const auto it = expected.find(name);
        if (it == expected.end()) {
            ADD_FAILURE() << name << " is not in the table (a new scene? regenerate it)";
            continue;
        }
        EXPECT_EQ(l.hash, it->second) << name << " (" << l.frames << " frames) changed in the " << build;
        expected.erase(it);
    }
    for (const auto& [name, hash] : expected)
        ADD_FAILURE() << name << " presented no frame in the " << build << " (the show no longer reaches it)";
}

}  // namespace

TEST(Fingerprint, WholeShowIsUnchanged)
{
    std::string log;
    const auto lines = runShow(&log, std::string("\"") + TIDEWATER_EXE + "\"");
    ASSERT_FALSE(lines.empty()) << log;
    checkShow(lines, "native build");
}

// The same show in the web build, in headless Chromium (./test --web sets TIDEWATER_WEB_SITE):
// every frame and every sample as the native program's.
TEST(Fingerprint, WebBuildShowIsTheSame)
{
    const char* site = std::getenv("TIDEWATER_WEB_SITE");
    if (!site)
        GTEST_SKIP() << "the web build is checked by ./test --web";
    std::string log;
    const auto lines = runShow(&log, std::string("node \"") + TIDEWATER_SOURCE_DIR + "/web/test/driver.mjs\" run \"" +
                                         site + "\" \"" + TIDEWATER_BINARY_DIR + "/web-fingerprint\"");
    ASSERT_FALSE(lines.empty()) << log;
    checkShow(lines, "web build");
}

// And the Windows program under Wine (./test --windows sets TIDEWATER_WINDOWS_EXE).
TEST(Fingerprint, WindowsBuildShowIsTheSame)
{
    const char* exe = std::getenv("TIDEWATER_WINDOWS_EXE");
    if (!exe)
        GTEST_SKIP() << "the Windows build is checked by ./test --windows";
    std::string log;
    const auto lines = runShow(&log, std::string("wine \"") + exe + "\" --headless");
    ASSERT_FALSE(lines.empty()) << log;
    checkShow(lines, "Windows build");
}

TEST(Fingerprint, HashesFollowTheSceneAndTheOrder)
{
    std::vector<uint32_t> a(64000, 0x102030u), b = a;
    b[63999] ^= 1;  // one bit of the last pixel
    const int16_t music[4] = {1, -1, 2, -2};
    auto hashes = [&](const std::vector<const std::vector<uint32_t>*>& frames, const char* second) {
        fingerprint_begin();
        for (size_t i = 0; i < frames.size(); i++)
            fingerprint_frame(i == 0 ? "One" : second, frames[i]->data());
        fingerprint_audio(music, 2);
        char text[1024] = {};
        FILE* f = fmemopen(text, sizeof text - 1, "w");
        fingerprint_print(f);
        std::fclose(f);
        return std::string(text);
    };
    const std::string base = hashes({&a, &a, &b}, "Two");
    // One line per scene in order of appearance, frames counted, then the music.
    char one[32], two[32];
    long long n1 = 0, n2 = 0, na = 0;
    ASSERT_EQ(5, std::sscanf(base.c_str(), "fingerprint %31s frames %lld %*s fingerprint %31s frames %lld %*s "
                                           "fingerprint audio frames %lld",
                             one, &n1, two, &n2, &na));
    EXPECT_STREQ("One", one);
    EXPECT_STREQ("Two", two);
    EXPECT_EQ(1, n1);
    EXPECT_EQ(2, n2);
    EXPECT_EQ(2, na);
    // The same run gives the same text; one bit, the order of frames, or which scene drew a
    // frame each change exactly the lines concerned.
    EXPECT_EQ(base, hashes({&a, &a, &b}, "Two"));
    auto line = [](const std::string& text, int k) {
        size_t at = 0;
        for (int i = 0; i < k; i++)
            at = text.find('\n', at) + 1;
        return text.substr(at, text.find('\n', at) - at);
    };
    const std::string flipped = hashes({&a, &a, &a}, "Two");
    EXPECT_EQ(line(base, 0), line(flipped, 0));
    EXPECT_NE(line(base, 1), line(flipped, 1));
    EXPECT_EQ(line(base, 2), line(flipped, 2));
    EXPECT_NE(line(base, 1), line(hashes({&a, &b, &a}, "Two"), 1));
    const std::string moved = hashes({&a, &a, &b}, "One");
    EXPECT_NE(line(base, 0), line(moved, 0));
}

TEST(Fingerprint, OptionRunsHeadlessAtAFixedStep)
{
    const char* argv[] = {"tidewater", "--fingerprint", "--fps", "15"};
    Options o;
    ASSERT_EQ(1, options_parse(4, const_cast<char**>(argv), &o));
    EXPECT_TRUE(o.fingerprint);
    EXPECT_TRUE(options_isFixedStep(&o));
    EXPECT_TRUE(options_isHeadless(&o));
    const char* plain[] = {"tidewater", "--benchmark"};
    ASSERT_EQ(1, options_parse(2, const_cast<char**>(plain), &o));
    EXPECT_FALSE(o.fingerprint);
}
