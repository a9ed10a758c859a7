// Golden frames: the show runs headless at a fixed step (`--shots`), and the pixels of frames at
// chosen music positions are hashed and compared with the tables below. The middle of the show runs
// from order 5 (so the opening does not enter into it): every look of Wire, the frames before and
// after each object scene's kick, and Rings fading in, at two angles and fading out. The opening
// (Credits) runs from the show's start to order 5 and the closing (QxLogo) from order 25, each on
// its own, so that no other scene's use of the shared random generator changes them. A picture
// change must be deliberate:
// regenerate the table with
//   TIDEWATER_GOLDEN_PRINT=1 ./test_golden
// and say why in the commit.
// cmake-needs: datafile tidewater
#include <gtest/gtest.h>
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Golden {
    const char* shot;   // OO-RR
    const char* what;
    uint64_t hash;      // FNV-1a 64 over the frame's RGB pixels, top row first
};

// clang-format off
const Golden s_golden[] = {
    {"05-32", "Wire: see-through wireframe",           0x56edd17dd6d96bd5ull},
    {"06-32", "Wire: hidden-line wireframe",           0xf8ac6e7e90a44159ull},
    {"07-32", "Wire: solid, texture and env map",      0x3e30d47172eedcc9ull},
    {"08-06", "Wire: solid with wireframe",            0x0fae8e83a19c8252ull},
    {"08-09", "Wire: wire flash",                      0xba2e159e36473a57ull},
    {"08-60", "Wire: final fade",                      0xcb9b91c3de80d5ebull},
    {"11-60", "Spike: ball before the kick",           0x67fb3489cbb8fad2ull},
    {"12-02", "Spike: spikes growing after the kick",  0x1a168c4a4763c752ull},
    {"12-32", "Spike: spiky",                          0x4b67fa635767be30ull},
    {"13-60", "Knot: before the kick",                 0x39715112e8dc64e3ull},
    {"14-02", "Knot: after the kick",                  0x12aff5e8fbb7e4b5ull},
    {"15-60", "Skull: before the kick",                0x0dbbd5bbcdc7fd72ull},
    {"16-02", "Skull: after the kick",                 0x11aa7f0f58596910ull},
    {"17-01", "Rings: fading in",                      0xc4d8611b5f2b95d2ull},
    {"17-40", "Rings: mid-scene",                      0xbfcd192e3b1b4419ull},
    {"18-24", "Rings: mid-scene, another angle",       0x74836ae6b319f421ull},
    {"18-61", "Rings: fading out",                     0xc141f6573cbd083dull},
    {"21-60", "Tendril: before the kick",              0x8efa7fcbc3644127ull},
    {"22-02", "Tendril: after the kick",               0xb438de3d0ad1d4ecull},
    {"23-60", "FinalTorus: before the kick",           0x6a2b94e4dab27c96ull},
    {"24-02", "FinalTorus: overlay on",                0xd5133c219b949b29ull},
    {"24-12", "FinalTorus: overlay off",               0xa00bf022b52c182cull},
    {"24-58", "FinalTorus: fading out",                0x0002cb9621625c29ull},
};

const Golden s_opening[] = {
    {"00-08", "Credits: the first name typed",         0x614329ff089061b4ull},
    {"00-40", "Credits: the name turned into dots",    0x600c7912a0be41b0ull},
    {"00-52", "Credits: the dots crumbling",           0x528376daa12fb81bull},
    {"01-04", "Credits: flash, letters flickering",    0xabe5a37fcd66cd94ull},
    {"02-20", "Credits: ribbons half in",              0xe7d1ce59b7479015ull},
    {"03-36", "Credits: the last name crumbling",      0x9426286ac8a718fbull},
    {"04-02", "Credits: the logo's flash and glitch",  0x33c2fc953e387547ull},
    {"04-13", "Credits: a glitch burst",               0x7258f097296bf124ull},
    {"04-40", "Credits: the plain logo growing",       0x45ad6972de6ac2c1ull},
    {"04-52", "Credits: the zoom",                     0x5ba80c2061dcc0f0ull},
    {"04-62", "Credits: the whiteout",                 0x0766d558e4129925ull},
};

const Golden s_closing[] = {
    {"25-20", "QxLogo: the logo cloud",                0xe297e40c30a41934ull},
    {"26-40", "QxLogo: the cloud before the stop",     0x34ee607e1d9bcb29ull},
    {"26-62", "QxLogo: fading out",                    0x8906d3882815af4full},
};
// clang-format on

uint64_t fnv1a(const uint8_t* p, size_t n)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < n; i++) {
        h ^= p[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

// Decoded RGB pixels of a PNG, or an empty vector (with the reason in `error`).
std::vector<uint8_t> readRgb(const std::string& path, int* w, int* h, std::string* error)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        *error = image.message;
        return {};
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        *error = image.message;
        png_image_free(&image);
        return {};
    }
    *w = (int)image.width;
    *h = (int)image.height;
    return pixels;
}

// Runs the program once for the table's positions with `args` and compares each frame's hash.
template <size_t N>
void checkShots(const Golden (&table)[N], const std::string& args, const char* folder)
{
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(TIDEWATER_BINARY_DIR) / folder;
    fs::remove_all(dir);
    fs::create_directories(dir);

    std::string list;
    for (const Golden& g : table) {
        if (!list.empty())
            list += ',';
        list += std::string(g.shot, 2) + ":" + std::string(g.shot + 3, 2);
    }
    const std::string cmd = std::string("\"") + TIDEWATER_EXE + "\" --headless " + args + " --shots " + list +
                            " --out \"" + dir.string() + "\" > \"" + (dir / "log.txt").string() + "\" 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;

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
            EXPECT_EQ(hash, g.hash) << g.shot << " (" << g.what << ") changed: look at " << (dir / g.shot).string()
                                    << ".png";
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
