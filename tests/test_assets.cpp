// The generated models and image packs of the torus and object scenes: file layouts, mesh
// soundness (unit outward normals, consistent winding, closed surfaces, on-screen size), the spike
// ball's sphere, palettes and shading tables the scenes rely on, and byte-identical reruns.
#include "artlib.h"
#include "mkassets.h"
#include "models.h"
#include "registry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using art::V3;

namespace {

std::vector<uint8_t> readAll(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Runs one generator into a fresh folder (once per process) and returns that folder.
fs::path generated(const char* name, const char* sub = "a") {
    static std::map<std::string, fs::path> s_dirs;
    std::string key = std::string(name) + "/" + sub;
    auto it = s_dirs.find(key);
    if (it != s_dirs.end()) return it->second;
    fs::path dir = fs::temp_directory_path() / ("tidewater_assets_" + std::to_string(::getpid())) / key;
    fs::remove_all(dir);
    for (const auto& g : mkassets::allGenerators())
        if (!std::strcmp(g.name, name)) {
            EXPECT_TRUE(g.fn(dir.string()));
        }
    s_dirs[key] = dir;
    return dir;
}

uint32_t u32(const std::vector<uint8_t>& b, size_t o) {
    uint32_t v;
    std::memcpy(&v, &b[o], 4);
    return v;
}
uint16_t u16(const std::vector<uint8_t>& b, size_t o) { return uint16_t(b[o] | (b[o + 1] << 8)); }
float f32(const std::vector<uint8_t>& b, size_t o) {
    float v;
    std::memcpy(&v, &b[o], 4);
    return v;
}

struct Loaded {
    uint32_t flags = 0;
    int numVerts = 0, numTris = 0, numWire = 0;
    std::vector<art::MVert> verts;
    std::vector<int32_t> wire;
};

// Parses a .qx3 field by field, checking the length against the counts.
Loaded parseQx3(const std::vector<uint8_t>& b) {
    Loaded m;
    EXPECT_GE(b.size(), 10u);
    if (b.size() < 10) return m;
    m.flags = u32(b, 0);
    m.numVerts = u16(b, 4);
    m.numTris = u16(b, 6);
    m.numWire = u16(b, 8);
    size_t want = 10 + size_t(m.numVerts) * 48 + size_t(m.numWire) * 4 + ((m.flags & 1) ? m.numVerts * 4u : 0u);
    EXPECT_EQ(b.size(), want);
    if (b.size() != want) return m;
    for (int i = 0; i < m.numVerts; ++i) {
        size_t o = 10 + size_t(i) * 48;
        art::MVert v;
        v.p = art::v3(f32(b, o), f32(b, o + 4), f32(b, o + 8));
        v.n = art::v3(f32(b, o + 16), f32(b, o + 20), f32(b, o + 24));
        v.u = f32(b, o + 32);
        v.v = f32(b, o + 36);
        m.verts.push_back(v);
    }
    for (int i = 0; i < m.numWire; ++i) m.wire.push_back(int32_t(u32(b, 10 + size_t(m.numVerts) * 48 + i * 4)));
    return m;
}

struct ModelCase {
    const char* file;
    float depth;       // the scene's camera-space z
    bool closed;       // a watertight, manifold surface
    int maxFolds;      // triangles allowed to face away from their vertex normals
    float minHeight;   // projected height range in pixels (fov 250) over a set of orientations
    float maxHeight;
};
const ModelCase kModels[] = {
    {"torus.qx3", 55.0f, true, 0, 60.0f, 140.0f},
    {"spike.qx3", 80.0f, true, 0, 100.0f, 170.0f},
    {"knot.qx3", 50.0f, true, 0, 90.0f, 160.0f},
    {"tendril.qx3", 80.0f, true, 0, 90.0f, 175.0f},
    {"skull.qx3", 80.0f, true, 1, 100.0f, 160.0f},
};

Loaded loadModel(const char* file) { return parseQx3(readAll(generated("models") / "srcdata" / file)); }

// Rotation as the engine's mat_set builds it (degrees, row vectors).
void rotate(float rx, float ry, float rz, float m[3][3]) {
    const float d = 0.017453292f;
    float cx = std::cos(rx * d), sx = std::sin(rx * d), cy = std::cos(ry * d), sy = std::sin(ry * d);
    float cz = std::cos(rz * d), sz = std::sin(rz * d);
    float r[3][3] = {{cy * cz, -sz * cy, -sy},
                     {sz * cx - sx * cz * sy, sz * sy * sx + cz * cx, -sx * cy},
                     {cx * cz * sy + sz * sx, sx * cz - sz * sy * cx, cx * cy}};
    std::memcpy(m, r, sizeof(r));
}
V3 apply(const float m[3][3], V3 p) {
    return art::v3(p.x * m[0][0] + p.y * m[1][0] + p.z * m[2][0], p.x * m[0][1] + p.y * m[1][1] + p.z * m[2][1],
                   p.x * m[0][2] + p.y * m[1][2] + p.z * m[2][2]);
}

using Key = std::tuple<long, long, long>;
Key key(V3 p) { return Key{std::lround(p.x * 1000), std::lround(p.y * 1000), std::lround(p.z * 1000)}; }

// Every directed edge must be matched by exactly one reverse edge: closed, consistently wound and
// manifold (no edge shared by four triangles where a surface net pinches two sheets together).
int badEdges(const std::vector<art::MVert>& v, int numTris) {
    std::map<std::pair<Key, Key>, int> dir;
    for (int t = 0; t < numTris; ++t)
        for (int k = 0; k < 3; ++k) {
            Key a = key(v[3 * t + k].p), b = key(v[3 * t + (k + 1) % 3].p);
            if (a == b) continue;
            dir[{a, b}]++;
        }
    int bad = 0;
    for (auto& e : dir) {
        auto r = dir.find({e.first.second, e.first.first});
        if (r == dir.end() || r->second != e.second || e.second != 1) ++bad;
    }
    return bad;
}

TEST(AssetModels, FilesParseWithConsistentCountsAndMatchTheBuilders) {
    for (const ModelCase& c : kModels) {
        SCOPED_TRACE(c.file);
        Loaded m = loadModel(c.file);
        ASSERT_GT(m.numTris, 0);
        EXPECT_EQ(m.flags, 0u);
        EXPECT_GE(m.numVerts, 3 * m.numTris);
        EXPECT_EQ(m.numWire % 4, 0);
        EXPECT_GT(m.numWire, 0);
        for (int32_t i : m.wire) ASSERT_TRUE(i >= 0 && i < m.numVerts) << i;
        for (const auto& v : m.verts) {
            ASSERT_TRUE(std::isfinite(v.p.x) && std::isfinite(v.p.y) && std::isfinite(v.p.z));
            ASSERT_TRUE(std::isfinite(v.u) && std::isfinite(v.v));
        }
    }
    // The files are exactly the builders' meshes.
    EXPECT_EQ(readAll(generated("models") / "srcdata" / "torus.qx3"), art::buildQx3(models::torus()));
    EXPECT_EQ(readAll(generated("models") / "srcdata" / "spike.qx3"), art::buildQx3(models::spike()));
}

TEST(AssetModels, NormalsAreUnitAndOutwardAndTrianglesFaceTheirNormals) {
    for (const ModelCase& c : kModels) {
        SCOPED_TRACE(c.file);
        Loaded m = loadModel(c.file);
        int against = 0, degenerate = 0;
        double volume = 0;
        for (const auto& v : m.verts) ASSERT_NEAR(art::length(v.n), 1.0f, 1e-3f);
        for (int t = 0; t < m.numTris; ++t) {
            const auto &a = m.verts[3 * t], &b = m.verts[3 * t + 1], &cc = m.verts[3 * t + 2];
            V3 fn = art::cross(b.p - a.p, cc.p - a.p);
            if (art::length(fn) < 1e-6f) { ++degenerate; continue; }
            if (art::dot(fn, a.n + b.n + cc.n) <= 0) ++against;
            volume += art::dot(a.p, art::cross(b.p, cc.p)) / 6.0;
        }
        EXPECT_LE(against, c.maxFolds);
        EXPECT_LT(degenerate, m.numTris / 20 + 1);
        // Outward winding encloses a positive volume.
        EXPECT_GT(volume, 0.0);
    }
}

TEST(AssetModels, ClosedModelsHaveEveryEdgeSharedOnceEachWay) {
    for (const ModelCase& c : kModels) {
        if (!c.closed) continue;
        SCOPED_TRACE(c.file);
        Loaded m = loadModel(c.file);
        EXPECT_EQ(badEdges(m.verts, m.numTris), 0);
    }
}

TEST(AssetModels, CameraFacingTrianglesPassTheRasterisersCull) {
    // Screen x = 160 + x*fov/z, y = 100 - y*fov/z; a triangle is drawn when
    // (b.y-a.y)(c.x-a.x) - (b.x-a.x)(c.y-a.y) is negative.
    for (const ModelCase& c : kModels) {
        SCOPED_TRACE(c.file);
        Loaded m = loadModel(c.file);
        float r[3][3];
        rotate(20, 35, 10, r);
        int facing = 0, culled = 0;
        for (int t = 0; t < m.numTris; ++t) {
            float sx[3], sy[3];
            V3 p[3];
            for (int k = 0; k < 3; ++k) {
                p[k] = apply(r, m.verts[3 * t + k].p);
                p[k].z += c.depth;
                sx[k] = 160 + p[k].x * 250 / p[k].z;
                sy[k] = 100 - p[k].y * 250 / p[k].z;
            }
            V3 fn = art::normalise(art::cross(p[1] - p[0], p[2] - p[0]));
            V3 toEye = art::normalise(p[0] * -1.0f);
            if (art::dot(fn, toEye) < 0.2f) continue;  // clearly facing the viewer only
            ++facing;
            float area = (sy[1] - sy[0]) * (sx[2] - sx[0]) - (sx[1] - sx[0]) * (sy[2] - sy[0]);
            if (!(area < 0)) ++culled;
        }
        EXPECT_GT(facing, m.numTris / 5);
        EXPECT_LE(culled, c.maxFolds);
    }
}

TEST(AssetModels, ObjectsFillAboutTwoThirdsOfTheScreenAtTheirDepth) {
    for (const ModelCase& c : kModels) {
        SCOPED_TRACE(c.file);
        Loaded m = loadModel(c.file);
        const float rots[][3] = {{0, 0, 0}, {30, 60, 10}, {90, 0, 45}, {-50, 120, 0}, {8, 45, 0}};
        for (const auto& rr : rots) {
            float r[3][3];
            rotate(rr[0], rr[1], rr[2], r);
            float lo = 1e9f, hi = -1e9f;
            for (int i = 0; i < 3 * m.numTris; ++i) {
                V3 p = apply(r, m.verts[i].p);
                float y = 100 - p.y * 250 / (p.z + c.depth);
                lo = std::min(lo, y);
                hi = std::max(hi, y);
            }
            EXPECT_GE(hi - lo, c.minHeight) << rr[0] << "," << rr[1];
            EXPECT_LE(hi - lo, c.maxHeight) << rr[0] << "," << rr[1];
        }
    }
}

TEST(AssetModels, SpikeDirectionsPushedToTheSphereGiveACleanBall) {
    Loaded m = loadModel("spike.qx3");
    std::vector<art::MVert> ball = m.verts;
    for (auto& v : ball) v.p = art::normalise(v.p) * models::SpikeSphereRadius;
    // Still closed and consistently wound, every face outward and of similar size.
    EXPECT_EQ(badEdges(ball, m.numTris), 0);
    float minEdge = 1e9f, maxEdge = 0;
    for (int t = 0; t < m.numTris; ++t) {
        V3 a = ball[3 * t].p, b = ball[3 * t + 1].p, c = ball[3 * t + 2].p;
        V3 fn = art::cross(b - a, c - a);
        ASSERT_GT(art::dot(fn, a + b + c), 0.0f) << t;
        for (float e : {art::length(b - a), art::length(c - b), art::length(a - c)}) {
            minEdge = std::min(minEdge, e);
            maxEdge = std::max(maxEdge, e);
        }
    }
    EXPECT_LT(maxEdge / minEdge, 1.6f);
    // The spiky shape itself reaches well beyond the ball and dips inside it.
    float rmin = 1e9f, rmax = 0;
    for (const auto& v : m.verts) {
        rmin = std::min(rmin, art::length(v.p));
        rmax = std::max(rmax, art::length(v.p));
    }
    EXPECT_LT(rmin, models::SpikeSphereRadius);
    EXPECT_GT(rmax, models::SpikeSphereRadius * 1.4f);
}

TEST(AssetModels, ParametricTextureCoordinatesRunOnAcrossTheSeam) {
    // Within a triangle the coordinates never jump by a wrap (which would smear the whole
    // texture across it); whole-number repeats then meet without a seam.
    for (const char* f : {"torus.qx3", "knot.qx3", "spike.qx3"}) {
        SCOPED_TRACE(f);
        Loaded m = loadModel(f);
        for (int t = 0; t < m.numTris; ++t)
            for (int k = 0; k < 3; ++k) {
                const auto &a = m.verts[3 * t + k], &b = m.verts[3 * t + (k + 1) % 3];
                ASSERT_LT(std::fabs(a.u - b.u), 1.0f) << t;
                ASSERT_LT(std::fabs(a.v - b.v), 1.0f) << t;
            }
    }
}

// ---------------------------------------------------------------- packs

struct PackView {
    std::vector<uint8_t> b;
    const uint8_t* tex() const { return &b[0]; }
    const uint8_t* env() const { return &b[0x10000]; }
    uint8_t pal(int i, int k) const { return uint8_t(b[0x20000 + i * 3 + k] >> 2); }  // as loaded: 6-bit
    const uint8_t* lut() const { return &b[0x20300]; }
    float lum(int i) const { return 0.30f * pal(i, 0) + 0.59f * pal(i, 1) + 0.11f * pal(i, 2); }
};

const char* kPacks[] = {"blueenv.qxp", "spike.qxp", "knot.qxp", "skull.qxp", "tendril.qxp", "tor.qxp", "lsenv.qxp"};

// The object scenes' packs come from one generator; the Rings scene's from its own.
PackView loadPack(const char* f) {
    const char* generator = std::strcmp(f, "lsenv.qxp") ? "objpacks" : "rings";
    return PackView{readAll(generated(generator) / "srcdata" / f)};
}

// The engine's greedy brightest search and its plain nearest-colour search.
int brightest(const PackView& p) {
    int best = 0, r = 0, g = 0, b = 0;
    for (int i = 0; i < 256; ++i)
        if (p.pal(i, 0) > r && p.pal(i, 1) > g && p.pal(i, 2) > b) {
            r = p.pal(i, 0);
            g = p.pal(i, 1);
            b = p.pal(i, 2);
            best = i;
        }
    return best;
}
int nearest(const PackView& p, int r, int g, int b) {
    int best = 0;
    float bd = 1e30f;
    for (int i = 0; i < 256; ++i) {
        float d = float((p.pal(i, 1) - g) * (p.pal(i, 1) - g) + (p.pal(i, 0) - r) * (p.pal(i, 0) - r) +
                        (p.pal(i, 2) - b) * (p.pal(i, 2) - b));
        if (d < bd) { bd = d; best = i; }
    }
    return best;
}

TEST(AssetPacks, LayoutHoldsOneFullScreenBackground) {
    for (const char* f : kPacks) {
        SCOPED_TRACE(f);
        PackView p = loadPack(f);
        ASSERT_EQ(p.b.size(), size_t(0x30300 + 64000 + 48));
        size_t dir = p.b.size() - 32;
        EXPECT_EQ(u16(p.b, dir), 320);
        EXPECT_EQ(u16(p.b, dir + 2), 200);
        EXPECT_EQ(u32(p.b, dir + 4), 0x30300u);
        for (int s = 1; s < 4; ++s) EXPECT_EQ(u32(p.b, dir + s * 8 + 4), 0u);
    }
}

TEST(AssetPacks, PalettesAreDarkToBrightWithBlackFirstAndNearWhiteBrightest) {
    for (const char* f : kPacks) {
        SCOPED_TRACE(f);
        PackView p = loadPack(f);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(p.pal(0, k), 0);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(p.pal(255, k), 63);
        EXPECT_EQ(brightest(p), 255);
        for (int i = 1; i < 256; ++i) EXPECT_GE(p.lum(i), p.lum(i - 1)) << i;
    }
    // The Wire scene swaps the brightest entry out of its shading table for the nearest of
    // (60, 60, 60): that must be a different, still near-white entry, so the wire flash (which
    // changes only the brightest entry) stays on the wire and highlights stay white.
    PackView w = loadPack("blueenv.qxp");
    EXPECT_NE(nearest(w, 60, 60, 60), 255);
    EXPECT_GT(w.lum(nearest(w, 60, 60, 60)), 55.0f);
}

TEST(AssetPacks, ShadingTablesBrightenWithTheLightLevel) {
    for (const char* f : kPacks) {
        SCOPED_TRACE(f);
        PackView p = loadPack(f);
        int drops = 0;
        for (int d = 0; d < 256; ++d) {
            EXPECT_GT(p.lum(p.lut()[255 * 256 + d]), p.lum(p.lut()[0 * 256 + d]) - 0.5f) << d;
            for (int e = 16; e < 256; e += 16)
                if (p.lum(p.lut()[e * 256 + d]) + 3.0f < p.lum(p.lut()[(e - 16) * 256 + d])) {
                    ++drops;
                    ADD_FAILURE() << "diffuse " << d << " darker at level " << e << ": "
                                  << p.lum(p.lut()[e * 256 + d]) << " < " << p.lum(p.lut()[(e - 16) * 256 + d]);
                }
        }
        EXPECT_EQ(drops, 0);
        // Full light on a mid colour reaches the top of the palette (highlights), no light stays dark.
        float top = 0, bottom = 0;
        for (int d = 0; d < 256; ++d) {
            top = std::max(top, p.lum(p.lut()[255 * 256 + d]));
            bottom += p.lum(p.lut()[d]) / 256.0f;
        }
        EXPECT_GT(top, 55.0f);
        EXPECT_LT(bottom, 30.0f);
    }
}

TEST(AssetPacks, EnvironmentMapsAreSphereMapsWithoutAWrapSeam) {
    for (const char* f : kPacks) {
        SCOPED_TRACE(f);
        PackView p = loadPack(f);
        const uint8_t* e = p.env();
        int lo = 255, hi = 0;
        for (int i = 0; i < 65536; ++i) {
            lo = std::min(lo, int(e[i]));
            hi = std::max(hi, int(e[i]));
        }
        EXPECT_GT(hi - lo, 150);
        // Coordinates wrap at 1.0: the outer ring is one level all round.
        for (int i = 0; i < 256; ++i) {
            EXPECT_LE(std::abs(e[i * 256] - e[i * 256 + 255]), 6) << i;
            EXPECT_LE(std::abs(e[i] - e[255 * 256 + i]), 6) << i;
        }
        // The light comes from the upper left: that quadrant (rows are camera y, upward) is the brighter.
        int ul = 0, lr = 0;
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x) {
                ul += e[(128 + y) * 256 + x];
                lr += e[y * 256 + 128 + x];
            }
        EXPECT_GT(ul, lr);
    }
}

TEST(AssetPacks, TexturesTileAndBackgroundsAreDesigned) {
    for (const char* f : kPacks) {
        SCOPED_TRACE(f);
        PackView p = loadPack(f);
        // Horizontal wrap: the step from the last column to the first is like any other step.
        double edge = 0, inner = 0;
        for (int y = 0; y < 256; ++y) {
            edge += std::fabs(p.lum(p.tex()[y * 256 + 255]) - p.lum(p.tex()[y * 256]));
            inner += std::fabs(p.lum(p.tex()[y * 256 + 128]) - p.lum(p.tex()[y * 256 + 127]));
        }
        if (std::strcmp(f, "skull.qxp")) {
            EXPECT_LT(edge, inner * 2.0 + 256);
        }
        // Backgrounds: many colours, real contrast, corners darker than the middle of the sides
        // (vignette).
        const uint8_t* bg = &p.b[0x30300];
        std::set<int> used(bg, bg + 64000);
        EXPECT_GT(used.size(), 30u);
        double sum = 0, sq = 0;
        for (int i = 0; i < 64000; ++i) {
            sum += p.lum(bg[i]);
            sq += p.lum(bg[i]) * p.lum(bg[i]);
        }
        double mean = sum / 64000, sd = std::sqrt(sq / 64000 - mean * mean);
        EXPECT_GT(sd, 1.5);
        EXPECT_LT(mean, 25.0);  // the object must stand out
        auto region = [&](int x0, int y0) {
            double s = 0;
            for (int y = y0; y < y0 + 20; ++y)
                for (int x = x0; x < x0 + 20; ++x) s += p.lum(bg[y * 320 + x]);
            return s;
        };
        EXPECT_LT(region(0, 0) + region(300, 180), region(30, 90) + region(270, 90) + 1.0);
    }
}

TEST(AssetGenerators, RerunsAreByteIdentical) {
    for (const char* gen : {"models", "objpacks"}) {
        fs::path a = generated(gen, "a") / "srcdata", b = generated(gen, "b") / "srcdata";
        int files = 0;
        for (const auto& e : fs::directory_iterator(a)) {
            SCOPED_TRACE(e.path().filename().string());
            EXPECT_EQ(readAll(e.path()), readAll(b / e.path().filename()));
            ++files;
        }
        EXPECT_EQ(files, std::strcmp(gen, "models") ? 6 : 5);
    }
}

TEST(AssetPalette, FinishPadsSortsAndReservesBlackAndWhite) {
    art::Palette pal;
    pal.ramp(5, {art::rgb(60, 10, 10), art::rgb(10, 0, 0)});  // given bright to dark
    pal.add(art::rgb(63, 63, 63));                             // clamped below the reserved white
    pal.finish();
    EXPECT_EQ(pal.colour(0).r + pal.colour(0).g + pal.colour(0).b, 0.0f);
    EXPECT_EQ(pal.colour(255).r, 63.0f);
    std::set<std::tuple<int, int, int>> seen;
    for (int i = 0; i < 256; ++i) {
        seen.insert({pal.entry(i)[0], pal.entry(i)[1], pal.entry(i)[2]});
        if (i > 0 && i < 255) {
            EXPECT_LE(std::max({pal.entry(i)[0], pal.entry(i)[1], pal.entry(i)[2]}), 62);
        }
        if (i > 0) {
            EXPECT_GE(art::luminance(pal.colour(i)), art::luminance(pal.colour(i - 1)));
        }
    }
    EXPECT_EQ(seen.size(), 256u);  // padding adds distinct colours
    EXPECT_EQ(pal.nearest(art::rgb(60, 10, 10)), pal.nearest(art::rgb(60.2f, 10.1f, 9.9f)));
    art::Rgb c = pal.colour(pal.nearest(art::rgb(60, 10, 10)));
    EXPECT_EQ(c.r, 60.0f);
}

}  // namespace
