// Golden frames: the show runs headless at a fixed step (`--shots`), and the pixels of frames at
// chosen music positions are hashed and compared with the tables below. The middle of the show runs
// from order 5 (so the opening does not enter into it): every look of Wire, the tunnel before and
// after its light dies, the frames before and after each object scene's kick, Rings fading in, at
// two angles and fading out, every greeting, the speed-up and the whiteout of the plane. The opening
// (Credits) runs from the show's start to order 5 and the closing (QxLogo) from order 25, each on
// its own, so that no other scene's use of the shared random generator changes them. A picture
// change must be deliberate:
// regenerate the table with
//   TIDEWATER_GOLDEN_PRINT=1 ./test_golden
// and say why in the commit.
// cmake-needs: datafile tidewater
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "frame_hash.h"

namespace {

struct Golden {
    const char* shot;   // OO-RR
    const char* what;
    uint64_t hash;      // FNV-1a 64 over the frame's RGB pixels, top row first
};

// clang-format off
const Golden s_golden[] = {
    {"05-32", "Wire: see-through wireframe",           0x56edd17dd6d96bd5ull},
    {"06-32", "Wire: hidden-line wireframe",           0x99ff855994a0f0fbull},
    {"07-32", "Wire: solid, texture and env map",      0xd9a619c8cb50129cull},
    {"08-06", "Wire: solid with wireframe",            0xa3bc284192bf89beull},
    {"08-09", "Wire: wire flash",                      0x2f465f7096f4aa4cull},
    {"08-60", "Wire: final fade",                      0x5fdd6d8ae5fbda1dull},
    {"09-08", "Tunnel: fading in",                     0x33474dfde3b99a4bull},
    {"09-40", "Tunnel: lit flesh and glowing web",     0x3d63559a85453db4ull},
    {"10-20", "Tunnel: swinging camera",               0x9a2466d196c873c7ull},
    {"10-50", "Tunnel: light radius collapsing",       0x5446ae5b88b470ebull},
    {"10-62", "Tunnel: dark",                          0x9ebf9a6ec921bb25ull},
    {"11-60", "Spike: ball before the kick",           0x67fb3489cbb8fad2ull},
    {"12-02", "Spike: spikes growing after the kick",  0x1a168c4a4763c752ull},
    {"12-32", "Spike: spiky",                          0x4b67fa635767be30ull},
    {"13-60", "Knot: before the kick",                 0xfe3223d758096560ull},
    {"14-02", "Knot: after the kick",                  0x64a0605cce56e9d1ull},
    {"15-60", "Skull: before the kick",                0x0dbbd5bbcdc7fd72ull},
    {"16-02", "Skull: after the kick",                 0x11aa7f0f58596910ull},
    {"17-01", "Rings: fading in",                      0xc4d8611b5f2b95d2ull},
    {"17-40", "Rings: mid-scene",                      0xbfcd192e3b1b4419ull},
    {"18-24", "Rings: mid-scene, another angle",       0x74836ae6b319f421ull},
    {"18-61", "Rings: fading out",                     0xc141f6573cbd083dull},
    {"19-04", "Plane: greeting 0",                     0xc34a7e287ecde305ull},
    {"19-12", "Plane: greeting 1",                     0x205f807f05af69d1ull},
    {"19-20", "Plane: greeting 2",                     0x2b80e8a578cd0292ull},
    {"19-28", "Plane: greeting 3",                     0x88db46470224a12dull},
    {"19-36", "Plane: greeting 4",                     0x7d3a98a39d0281f6ull},
    {"19-44", "Plane: greeting 5",                     0x4a81000b4feaa6c3ull},
    {"19-52", "Plane: greeting 6",                     0x40a38e3b829a2336ull},
    {"19-60", "Plane: greeting 7, before the speed-up", 0x59aa8e137a024aeeull},
    {"20-04", "Plane: greeting 8, speeding up",        0x6f54ce9a53497044ull},
    {"20-12", "Plane: greeting 9",                     0x9b5fc61de187fde7ull},
    {"20-20", "Plane: greeting 10",                    0x8dfa8fd7ac875a42ull},
    {"20-28", "Plane: greeting 11",                    0x08b9a3b1921833aaull},
    {"20-36", "Plane: greeting 12",                    0x8f938fd89579cbd8ull},
    {"20-56", "Plane: fast, before the whiteout",      0x45ead37bd7a1dd77ull},
    {"20-60", "Plane: fading to white",                0xf37e135f58c4be45ull},
    {"20-62", "Plane: white",                          0x8b0b3c396afc3ff5ull},
    {"21-60", "Tendril: before the kick",              0x618902fd815ecc3dull},
    {"22-02", "Tendril: after the kick",               0xd577ebb399f1fe74ull},
    {"23-60", "FinalTorus: before the kick",           0x6a2b94e4dab27c96ull},
    {"24-02", "FinalTorus: overlay on",                0xd5133c219b949b29ull},
    {"24-12", "FinalTorus: overlay off",               0xa00bf022b52c182cull},
    {"24-58", "FinalTorus: fading out",                0x0002cb9621625c29ull},
};

const Golden s_opening[] = {
    {"00-08", "Credits: the first name typed",         0x614329ff089061b4ull},
    {"00-40", "Credits: the name turned into dots",    0x600c7912a0be41b0ull},
    {"00-52", "Credits: the dots crumbling",           0x528376daa12fb81bull},
    {"01-04", "Credits: flash, letters flickering",    0x379a158fd3df2208ull},
    {"02-20", "Credits: ribbons half in",              0x00f7eb1a389a1eb5ull},
    {"03-36", "Credits: the last name crumbling",      0xe1d855853972c73eull},
    {"04-02", "Credits: the logo's flash and glitch",  0xc7b942a926e85a4dull},
    {"04-13", "Credits: a glitch burst",               0x869437264f9c9c49ull},
    {"04-40", "Credits: the plain logo growing",       0x2c7bdcf404936e5aull},
    {"04-52", "Credits: the zoom",                     0xf7f3f55d9c5c37c0ull},
    {"04-62", "Credits: the whiteout",                 0x0766d558e4129925ull},
};

const Golden s_closing[] = {
    {"25-20", "QxLogo: the logo cloud",                0xb404872f65c49c89ull},
    {"26-40", "QxLogo: the cloud before the stop",     0x4e173b1e8368905dull},
    {"26-62", "QxLogo: fading out",                    0x97f387ebe643a3ecull},
};
// clang-format on

// Where a run's frames are rendered: the native program, the web build in headless Chromium
// (./test --web sets TIDEWATER_WEB_SITE to the built site) or the Windows program under Wine
// (./test --windows sets TIDEWATER_WINDOWS_EXE). The other builds' tests skip without theirs.
enum class Build { Native, Web, Windows };

const char* buildName(Build b)
{
    return b == Build::Native ? "native" : b == Build::Web ? "web" : "windows";
}

// Runs the program headless with `args` and the shots `list` (order:row,...) into `dir`.
void runShots(const std::string& args, const std::string& list, const std::filesystem::path& dir, Build build)
{
    namespace fs = std::filesystem;
    fs::remove_all(dir);
    const std::string runArgs = "--headless " + args + " --shots " + list;
    std::string cmd;
    if (build == Build::Web) {
        cmd = std::string("node \"") + TIDEWATER_SOURCE_DIR + "/web/test/driver.mjs\" run \"" +
              std::getenv("TIDEWATER_WEB_SITE") + "\" \"" + dir.string() + "\" " + runArgs + " --out /shots";
    } else {
        fs::create_directories(dir);
        cmd = build == Build::Windows ? std::string("wine \"") + std::getenv("TIDEWATER_WINDOWS_EXE") + "\" "
                                      : std::string("\"") + TIDEWATER_EXE + "\" ";
        cmd += runArgs + " --out \"" + dir.string() + "\"";
    }
    const std::string log = dir.string() + ".log";
    cmd += " > \"" + log + "\" 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd << " (see " << log << ")";
}

// Runs the program once for the table's positions with `args` and compares each frame's hash.
template <size_t N>
void checkShots(const Golden (&table)[N], const std::string& args, const char* folder, Build build = Build::Native)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(TIDEWATER_BINARY_DIR) /
                         (std::string(folder) + (build == Build::Native ? "" : std::string("-") + buildName(build)));
    std::string list;
    for (const Golden& g : table) {
        if (!list.empty())
            list += ',';
        list += std::string(g.shot, 2) + ":" + std::string(g.shot + 3, 2);
    }
    runShots(args, list, dir, build);
    if (testing::Test::HasFatalFailure())
        return;

    const bool print = std::getenv("TIDEWATER_GOLDEN_PRINT") != nullptr;
    for (const Golden& g : table) {
        int w = 0, h = 0;
        std::string error;
        const std::vector<uint8_t> rgb = readRgb((dir / (std::string(g.shot) + ".png")).string(), &w, &h, &error);
        ASSERT_FALSE(rgb.empty()) << g.shot << ": " << error;
        ASSERT_EQ(w, 320) << g.shot;
        ASSERT_EQ(h, 200) << g.shot;
        const uint64_t hash = fnv1a(rgb.data(), rgb.size());
        if (print)
            std::printf("    {\"%s\", %-40s 0x%016llxull},\n", g.shot, ("\"" + std::string(g.what) + "\",").c_str(),
                        (unsigned long long)hash);
        else
            EXPECT_EQ(hash, g.hash) << g.shot << " (" << g.what << ") changed in the " << buildName(build)
                                    << " build: look at " << (dir / g.shot).string() << ".png";
    }
}

}  // namespace

TEST(Golden, SceneFramesMatchTheirHashes)
{
    checkShots(s_golden, "--start 5", "golden-shots");
}

TEST(Golden, OpeningFramesMatchTheirHashes)
{
    checkShots(s_opening, "--end 5", "golden-opening");
}

TEST(Golden, ClosingFramesMatchTheirHashes)
{
    checkShots(s_closing, "--start 25", "golden-closing");
}

#define REQUIRE_WEB_SITE()                                               \
    if (!std::getenv("TIDEWATER_WEB_SITE"))                              \
    GTEST_SKIP() << "the web build is checked by ./test --web"

// The same runs in the web build: every frame the same as the native build's.
TEST(Golden, WebBuildFramesMatchTheSameHashes)
{
    REQUIRE_WEB_SITE();
    checkShots(s_golden, "--start 5", "golden-shots", Build::Web);
}

TEST(Golden, WebBuildOpeningFramesMatchTheSameHashes)
{
    REQUIRE_WEB_SITE();
    checkShots(s_opening, "--end 5", "golden-opening", Build::Web);
}

TEST(Golden, WebBuildClosingFramesMatchTheSameHashes)
{
    REQUIRE_WEB_SITE();
    checkShots(s_closing, "--start 25", "golden-closing", Build::Web);
}

#define REQUIRE_WINDOWS_EXE()                                            \
    if (!std::getenv("TIDEWATER_WINDOWS_EXE"))                           \
    GTEST_SKIP() << "the Windows build is checked by ./test --windows"

// And in the Windows program under Wine: its C runtime and compiler, the same frames.
TEST(Golden, WindowsBuildFramesMatchTheSameHashes)
{
    REQUIRE_WINDOWS_EXE();
    checkShots(s_golden, "--start 5", "golden-shots", Build::Windows);
}

TEST(Golden, WindowsBuildOpeningFramesMatchTheSameHashes)
{
    REQUIRE_WINDOWS_EXE();
    checkShots(s_opening, "--end 5", "golden-opening", Build::Windows);
}

TEST(Golden, WindowsBuildClosingFramesMatchTheSameHashes)
{
    REQUIRE_WINDOWS_EXE();
    checkShots(s_closing, "--start 25", "golden-closing", Build::Windows);
}
