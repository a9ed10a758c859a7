// The generated assets of the flesh tunnel and the metal floor: light tables that darken every
// colour smoothly to black, height maps and textures that tile without a seam, the floor's slots,
// camera tracks long enough for their scenes that keep the plane's camera above the floor with
// the horizon in view, and byte-identical reruns.
#include "artlib.h"
#include "gridpacks.h"
#include "mkassets.h"
#include "registry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> readAll(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

fs::path generatedRoot() { return fs::temp_directory_path() / ("tidewater_gridpacks_" + std::to_string(::getpid())); }

class Cleanup : public ::testing::Environment {
public:
    void TearDown() override { fs::remove_all(generatedRoot()); }
};
const auto* const s_cleanup = ::testing::AddGlobalTestEnvironment(new Cleanup);

// Runs the generator into a fresh folder (once per process per run name) and returns srcdata/.
fs::path generated(const char* run = "a")
{
    static std::string s_done[2];
    const int slot = run[0] == 'a' ? 0 : 1;
    const fs::path dir = generatedRoot() / run;
    if (s_done[slot].empty()) {
        fs::remove_all(dir);
        for (const auto& g : mkassets::allGenerators())
            if (!std::strcmp(g.name, "gridpacks")) {
                EXPECT_TRUE(g.fn(dir.string()));
            }
        s_done[slot] = dir.string();
    }
    return dir / "srcdata";
}

struct Scene {
    const char* pack;
    const char* light;
    const char* bump;
};
const Scene kScenes[] = {{"tunnel.qxp", "tunltlut.tga", "fleshbmp.raw"},
                         {"plane.qxp", "plnltlut.tga", "met-scal.raw"}};

float lum(const uint8_t* palette8, int i)
{
    return 0.30f * palette8[i * 3] + 0.59f * palette8[i * 3 + 1] + 0.11f * palette8[i * 3 + 2];
}

// The mean step across the wrap, between row 255 and row 0 (column 255 and column 0), is no larger
// than the largest mean step between two neighbouring rows (columns) inside the map: no seam.
void expectTiles(const uint8_t* m, const char* what)
{
    auto rows = [&](int a, int b) {
        double d = 0;
        for (int x = 0; x < 256; x++)
            d += std::abs(m[a * 256 + x] - m[b * 256 + x]);
        return d / 256.0;
    };
    auto columns = [&](int a, int b) {
        double d = 0;
        for (int y = 0; y < 256; y++)
            d += std::abs(m[y * 256 + a] - m[y * 256 + b]);
        return d / 256.0;
    };
    double rowMax = 0, columnMax = 0;
    for (int k = 0; k < 255; k++) {
        rowMax = std::max(rowMax, rows(k, k + 1));
        columnMax = std::max(columnMax, columns(k, k + 1));
    }
    EXPECT_LE(rows(255, 0), rowMax) << what;
    EXPECT_LE(columns(255, 0), columnMax) << what;
}

}  // namespace

TEST(GridPacks, FilesHaveTheirLayouts)
{
    for (const Scene& s : kScenes) {
        SCOPED_TRACE(s.pack);
        EXPECT_EQ(readAll(generated() / s.pack).size(), 0x30300u + 48u);
        EXPECT_EQ(readAll(generated() / s.light).size(), 18u + 768u + 65536u);
        EXPECT_EQ(readAll(generated() / s.bump).size(), 65536u);
    }
    EXPECT_EQ(readAll(generated() / "tunnel.qxa").size() > 4, true);
    EXPECT_EQ(readAll(generated() / "planeani.qxa").size() > 4, true);
}

TEST(GridPacks, LightTablesDarkenEveryColourSmoothlyToBlack)
{
    for (const Scene& s : kScenes) {
        SCOPED_TRACE(s.light);
        const std::vector<uint8_t> pack = readAll(generated() / s.pack);
        const std::vector<uint8_t> tga = readAll(generated() / s.light);
        ASSERT_EQ(tga.size(), 18u + 768u + 65536u);
        ASSERT_EQ(tga[1], 1);  // colour-mapped
        const uint8_t* palette = pack.data() + 0x20000;
        EXPECT_EQ(palette[0] + palette[1] + palette[2], 0);  // index 0 is black
        auto table = [&](int level, int c) { return tga[18 + 768 + (255 - level) * 256 + c]; };  // bottom-up rows
        for (int c = 0; c < 256; c++) {
            ASSERT_EQ(table(0, c), 0) << c;
            EXPECT_LE(std::fabs(lum(palette, table(255, c)) - lum(palette, c)), 4.0f) << c;
            for (int level = 1; level < 256; level++) {
                const float a = lum(palette, table(level - 1, c)), b = lum(palette, table(level, c));
                ASSERT_LE(a, b + 3.0f) << "colour " << c << " level " << level;  // never brighter going down
                ASSERT_LE(b - a, 12.0f) << "colour " << c << " level " << level;  // no jumps (8-bit units)
            }
        }
    }
}

TEST(GridPacks, TexturesAndHeightMapsTile)
{
    for (const Scene& s : kScenes) {
        SCOPED_TRACE(s.pack);
        const std::vector<uint8_t> pack = readAll(generated() / s.pack);
        const std::vector<uint8_t> bump = readAll(generated() / s.bump);
        ASSERT_EQ(bump.size(), 65536u);
        expectTiles(bump.data(), s.bump);
        expectTiles(pack.data() + 0x10000, "second texture");
        int lo = 255, hi = 0;
        for (uint8_t h : bump) {
            lo = std::min<int>(lo, h);
            hi = std::max<int>(hi, h);
        }
        EXPECT_EQ(lo, 0);  // the full range: displacement of 0..127 texels
        EXPECT_EQ(hi, 255);
    }
}

TEST(GridPacks, FloorSlotsShowTheEnergyAndOnlyThere)
{
    const std::vector<uint8_t> pack = readAll(generated() / "plane.qxp");
    const uint8_t* t0 = pack.data();
    const uint8_t* palette = pack.data() + 0x20000;
    const uint8_t* blend = pack.data() + 0x20300;
    int slots = 0;
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            const bool slot = (x & 63) < 2 || (x & 63) > 61 || (y & 63) < 2 || (y & 63) > 61;
            if (slot) {
                ASSERT_EQ(t0[y * 256 + x], 0) << x << "," << y;
            }
            slots += t0[y * 256 + x] == 0;
        }
    EXPECT_LT(slots, 65536 / 8);
    // Through a slot the energy brightens with T1 and is warm (red over blue).
    EXPECT_LT(lum(palette, blend[0 * 256 + 0]), lum(palette, blend[255 * 256 + 0]));
    const int hot = blend[200 * 256 + 0];
    EXPECT_GT(palette[hot * 3], palette[hot * 3 + 2]);
}

TEST(GridPacks, CameraTracksFitTheirScenes)
{
    // Tunnel: played at a fifth of real time from 0.1, over 30 s at most.
    const qxa::Track tunnel = gridpacks::tunnelTrack();
    EXPECT_EQ(tunnel.name, "Camera|CameraAction");
    ASSERT_FALSE(tunnel.keys.empty());
    EXPECT_EQ(tunnel.keys.front().time, 0.0f);
    EXPECT_GE(tunnel.keys.back().time, 0.1f + 30.0f * 0.2f);
    for (size_t k = 1; k < tunnel.keys.size(); k++) {
        ASSERT_GT(tunnel.keys[k].p.z, tunnel.keys[k - 1].p.z) << k;  // always onward along the tube
        ASSERT_LT(std::fabs(tunnel.keys[k].p.x), 4.0f) << k;       // swings, but keeps ahead in view
        ASSERT_LT(std::fabs(tunnel.keys[k].p.y), 4.0f) << k;
    }

    // Plane: from 2.0, a quarter of real time for 7.7 s, then the speed-up (1 + 0.5 s) for 7.7 s.
    const std::vector<qxa::Track> plane = gridpacks::planeTracks();
    ASSERT_EQ(plane.size(), 2u);
    EXPECT_EQ(plane[0].name, "CameraPosition");
    EXPECT_EQ(plane[1].name, "CameraLookAt");
    const float end = 2.0f + 0.25f * (7.7f + 7.7f + 0.25f * 7.7f * 7.7f);
    ASSERT_EQ(plane[0].keys.size(), plane[1].keys.size());
    for (const qxa::Track& t : plane) {
        EXPECT_EQ(t.keys.front().time, 0.0f);
        EXPECT_GE(t.keys.back().time, end + 2.0f);
    }
    for (size_t k = 0; k < plane[0].keys.size(); k++) {
        const art::V3 p = plane[0].keys[k].p, l = plane[1].keys[k].p;
        ASSERT_GE(p.y, 2.5f) << k;  // well above the floor
        const art::V3 f = art::normalise(l - p);
        const float pitch = std::asin(-f.y) * 180.0f / 3.14159265f;
        ASSERT_GT(pitch, 5.0f) << k;   // looking down at the floor ...
        ASSERT_LT(pitch, 35.0f) << k;  // ... with the horizon inside the 45-degree half field of view
    }
}

TEST(GridPacks, RerunsAreByteIdentical)
{
    int files = 0;
    for (const auto& e : fs::directory_iterator(generated("a"))) {
        SCOPED_TRACE(e.path().filename().string());
        EXPECT_EQ(readAll(e.path()), readAll(generated("b") / e.path().filename()));
        ++files;
    }
    EXPECT_EQ(files, 8);
}
