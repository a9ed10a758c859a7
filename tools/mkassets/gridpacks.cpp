// Assets of the two ray-cast grid scenes: the flesh tunnel and the metal floor.
//
// Each scene gets an image pack (T0 as the pack's texture, T1 as its second image, the blend table
// B[t1][t0] as its shading table, the palette), a light table TGA (row = light level, column =
// colour: the palette entry nearest to that colour darkened to the level; row 0 black), a
// 256 x 256 height map whose displacement wobbles T1 over T0, and the camera tracks.
//
// The palettes are pure brightness ramps, one per hue, so that every colour has darker relatives
// of the same hue for the light table to step down through. Textures and height maps are periodic over
// 256 texels in both directions: the floor and the tube wall repeat without seams. T0 is shaded
// from the same height map that displaces T1, so the glow follows the lumps it lies on.
#include "artlib.h"
#include "gridpacks.h"
#include "mkassets.h"
#include "qxa.h"

#include <algorithm>
#include <cmath>

using namespace art;

namespace gridpacks {

namespace {

const float Pi = 3.14159265358979f;
const float TwoPi = 6.28318530717959f;

float frac(float x) { return x - std::floor(x); }

// Height map gradient to a unit normal (z up out of the surface); `depth` scales the relief.
V3 normalAt(const std::vector<float>& h, int x, int y, float depth) {
    auto at = [&](int i, int j) { return h[size_t(j & 255) * 256 + (i & 255)]; };
    const float dx = (at(x + 1, y) - at(x - 1, y)) * 0.5f * depth;
    const float dy = (at(x, y + 1) - at(x, y - 1)) * 0.5f * depth;
    return normalise(v3(-dx, -dy, 1.0f));
}

std::vector<uint8_t> heightBytes(const std::vector<float>& h) {
    float lo = 1e9f, hi = -1e9f;
    for (float v : h) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    std::vector<uint8_t> out(65536);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = uint8_t(std::lround((h[i] - lo) / (hi - lo) * 255.0f));
    return out;
}

// Blend table: B[t1 * 256 + t0] = nearest colour to mixer(colour of t0, t1 / 255, t0).
std::vector<uint8_t> blendTable(Palette& pal, const std::function<Rgb(Rgb, float, int)>& mixer) {
    std::vector<uint8_t> b(65536);
    for (int t1 = 0; t1 < 256; ++t1)
        for (int t0 = 0; t0 < 256; ++t0)
            b[size_t(t1) * 256 + t0] = pal.nearest(mixer(pal.colour(t0), t1 / 255.0f, t0));
    return b;
}

bool writeScene(const std::string& outdir, const char* pack, const char* lut, const char* bump, Palette& pal,
                const std::vector<uint8_t>& t0, const std::vector<uint8_t>& t1, const std::vector<uint8_t>& blend,
                const std::vector<uint8_t>& height) {
    return mkassets::writeFile(outdir, pack, buildPack(t0, t1, pal, blend, {})) &&
           mkassets::writeFile(outdir, lut, buildTga8(lightTable(pal), 256, 256, pal)) &&
           mkassets::writeFile(outdir, bump, height);
}

// ---------------------------------------------------------------- tunnel: wet flesh, glowing web

struct Flesh {
    std::vector<float> height = std::vector<float>(65536);
    std::vector<float> crease = std::vector<float>(65536);  // 1 in the folds between lumps
    std::vector<float> vein = std::vector<float>(65536);    // dark vessels under the skin
    std::vector<float> tint = std::vector<float>(65536);    // -1 purple .. 1 pale pink
};

Flesh fleshField() {
    Flesh f;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const size_t i = size_t(y) * 256 + x;
            const float fx = x / 256.0f, fy = y / 256.0f;
            // Ring folds across the tube (x runs along it), their phase wandering around it, and
            // soft lumps between them; the warp keeps the lumps from looking like polygons.
            const float phase = fx * 4.0f + 0.18f * pfbm(fx, fy, 2, 3, 13);
            const float ring = 0.5f + 0.5f * std::cos(TwoPi * phase);
            const float wx = fx + 0.05f * pfbm(fx, fy, 4, 3, 11);
            const float wy = fy + 0.05f * pfbm(fx, fy, 4, 3, 12);
            const Cell big = pvoronoi(frac(wx), frac(wy), 5, 21);
            const float lump = std::pow(clampf(1.0f - big.f1 * 0.9f, 0.0f, 1.0f), 1.2f);
            const float fold = smoothstep(0.0f, 0.35f, big.f2 - big.f1);
            const float skin = pfbm(fx, fy, 8, 3, 23) * 0.5f + 0.5f;
            f.height[i] = 0.45f * std::pow(ring, 1.5f) + 0.38f * lump * fold + 0.12f * skin;
            f.crease[i] = (1.0f - fold) * 0.6f + (1.0f - ring) * (1.0f - ring) * 0.6f;
            const Cell v = pvoronoi(frac(fx + 0.06f * pfbm(fx, fy, 8, 2, 31)), frac(fy + 0.06f * pfbm(fx, fy, 8, 2, 32)),
                                    3, 33);
            f.vein[i] = std::exp(-std::pow((v.f2 - v.f1) / 0.04f, 2.0f)) * (0.5f + 0.5f * pfbm(fx, fy, 4, 2, 34));
            f.tint[i] = pfbm(fx, fy, 2, 3, 41) * 1.6f + 0.3f * (hashf(int(big.id), 0, 42) - 0.5f);
        }
    return f;
}

// A palette of pure brightness ramps: for each hue, steps from black to its brightest colour, so
// any entry darkened by the light table lands on (or next to) an entry of its own ramp. The ramps
// take as many even steps as fit in the 254 free entries, and the rest go to half steps on the
// brightest parts of the ramps, so that no entry off the ramps has to be made up.
Palette rampPalette(const std::vector<Rgb>& hues) {
    std::vector<uint32_t> seen;
    Palette p;
    auto put = [&](Rgb c, bool dryRun) {
        const uint32_t key = uint32_t(std::lround(clampf(c.r, 0, 62))) << 12 |
                             uint32_t(std::lround(clampf(c.g, 0, 62))) << 6 | uint32_t(std::lround(clampf(c.b, 0, 62)));
        if (!key || std::find(seen.begin(), seen.end(), key) != seen.end()) return;
        seen.push_back(key);
        if (!dryRun) p.add(c);
    };
    auto steps = [&](int n, bool dryRun) {
        seen.clear();
        for (const Rgb& h : hues)
            for (int i = 1; i <= n; ++i) put(scale(h, float(i) / float(n)), dryRun);
        return seen.size();
    };
    int n = 8;
    while (steps(n + 1, true) <= 254) ++n;
    steps(n, false);
    for (int i = n - 1; i >= 1 && seen.size() < 254; --i)
        for (size_t k = 0; k < hues.size() && seen.size() < 254; ++k) put(scale(hues[k], (i + 0.5f) / float(n)), false);
    p.finish();
    return p;
}

Palette tunnelPalette() {
    return rampPalette({rgb(58, 14, 17), rgb(62, 34, 33), rgb(62, 50, 47), rgb(44, 13, 40), rgb(44, 18, 10),
                        rgb(20, 62, 58), rgb(60, 61, 62), rgb(60, 46, 24)});
}

// Flesh colour for a tint (-1 purple .. 1 pale), before lighting.
Rgb fleshColour(float tint, float crease, float vein) {
    Rgb c = tint < 0 ? mix(rgb(44, 10, 14), rgb(34, 10, 30), std::min(1.0f, -tint)) : mix(rgb(44, 10, 14), rgb(56, 24, 26), std::min(1.0f, tint));
    c = mix(c, rgb(16, 2, 8), crease * 0.75f);
    c = mix(c, rgb(22, 2, 6), vein * 0.7f);
    return c;
}

bool generateTunnel(const std::string& outdir) {
    Palette pal = tunnelPalette();
    const Flesh f = fleshField();
    // T0: the flesh, lit from the viewer's side, with a wet sheen on every lump.
    std::vector<Rgb> tex(65536);
    const V3 light = normalise(v3(0.35f, -0.45f, 0.82f));
    const V3 halfway = normalise(light + v3(0, 0, 1));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const size_t i = size_t(y) * 256 + x;
            const V3 n = normalAt(f.height, x, y, 24.0f);
            const float diffuse = 0.35f + 0.75f * std::max(0.0f, dot(n, light));
            const float sheen = std::pow(std::max(0.0f, dot(n, halfway)), 40.0f) * (1.0f - f.crease[i]);
            Rgb c = scale(fleshColour(f.tint[i], f.crease[i], f.vein[i]), diffuse);
            c = add(c, scale(rgb(62, 50, 48), sheen * 0.8f));
            tex[i] = c;
        }
    const std::vector<uint8_t> t0 = quantise(pal, tex, 256, 256, 1.0f);

    // T1: a web of glowing threads with brighter knots where they meet; 0 = no glow.
    std::vector<uint8_t> t1(65536);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const float fx = x / 256.0f, fy = y / 256.0f;
            const float wx = frac(fx + 0.06f * pfbm(fx, fy, 4, 3, 51)), wy = frac(fy + 0.06f * pfbm(fx, fy, 4, 3, 52));
            const Cell a = pvoronoi(wx, wy, 4, 53);
            const float edge = a.f2 - a.f1;
            const float thread = std::exp(-std::pow(edge / 0.05f, 2.0f));
            const float halo = std::exp(-edge / 0.16f) * 0.35f;
            const float breath = 0.45f + 0.55f * (0.5f + 0.5f * pfbm(fx, fy, 3, 3, 55));
            const float g = clampf((thread + halo) * breath, 0.0f, 1.0f);
            t1[size_t(y) * 256 + x] = uint8_t(std::lround(g * 255.0f));
        }

    // B: the glow adds light of its own over the flesh, brighter threads turning almost white.
    const std::vector<uint8_t> blend = blendTable(pal, [](Rgb flesh, float g, int) {
        const float glow = std::pow(g, 1.2f);
        return add(scale(flesh, 1.0f - 0.4f * glow), scale(rgb(16, 58, 54), glow * 0.9f));
    });
    if (!writeScene(outdir, "srcdata/tunnel.qxp", "srcdata/tunltlut.tga", "srcdata/fleshbmp.raw", pal, t0, t1, blend,
                    heightBytes(f.height)))
        return false;
    return qxa::write(outdir, "srcdata/tunnel.qxa", {tunnelTrack()});
}

// ---------------------------------------------------------------- plane: plates, rivets, scales

// One 256 x 256 tile = 16 world units: 4 x 4 plates of 64 texels, riveted steel and brass scales
// in a checker, with 3-texel slots between them through which the energy below shows.
struct Floor {
    std::vector<float> height = std::vector<float>(65536);
    std::vector<uint8_t> kind = std::vector<uint8_t>(65536);  // 0 slot, 1 steel, 2 brass scale, 3 rivet
    std::vector<float> grain = std::vector<float>(65536);
};

Floor floorField() {
    Floor f;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const size_t i = size_t(y) * 256 + x;
            const int px = x & 63, py = y & 63, plate = (x >> 6) + (y >> 6);
            const float fx = x / 256.0f, fy = y / 256.0f;
            // Distance inside the plate from its nearest edge (slot half-width 1.5 texels).
            const float edge = std::min(std::min(px + 0.5f, 63.5f - px), std::min(py + 0.5f, 63.5f - py)) - 1.5f;
            if (edge <= 0) {
                f.kind[i] = 0;
                f.height[i] = 0;
                continue;
            }
            const float bevel = smoothstep(0.0f, 3.5f, edge);
            float h = 0.45f + 0.25f * bevel;
            uint8_t kind = 1;
            if (plate & 1) {
                // Brass scales: rows 10 texels apart, scales 16 across, every other row shifted by
                // half a scale; each scale is a disc hanging over the row above it, so what shows
                // is its lower half: a raised rim at the bottom, tucked in under the next row.
                const float sx = float(px), sy = float(py), radius = 10.5f;
                float best = -1e9f, dome = 0;
                for (int row = int(sy / 10.0f) - 1; row <= int(sy / 10.0f) + 2; ++row) {
                    const float ox = (row & 1) ? 8.0f : 0.0f;
                    const float cx = std::floor((sx - ox) / 16.0f + 0.5f) * 16.0f + ox;
                    const float cy = row * 10.0f;
                    const float dx = sx - cx, dy = sy - cy;
                    const float d = std::sqrt(dx * dx + dy * dy);
                    if (d < radius && cy > best) {
                        best = cy;
                        dome = smoothstep(-radius, radius * 0.75f, dy) * (1.0f - std::pow(d / radius, 6.0f));
                    }
                }
                h += 0.22f * dome;
                kind = 2;
            } else {
                // Steel: brushed grain and a ring of rivets 6 texels in from the edge.
                const float rx = px - 31.5f, ry = py - 31.5f;
                const float ring = std::max(std::fabs(rx), std::fabs(ry));
                if (ring > 21.5f && ring < 28.0f) {
                    const float along = std::fabs(rx) > std::fabs(ry) ? ry : rx;
                    const float cell = along - std::floor(along / 10.5f + 0.5f) * 10.5f;
                    const float across = ring - 25.5f;
                    const float d = std::sqrt(cell * cell + across * across);
                    if (d < 3.0f) {
                        h += 0.30f * std::sqrt(1.0f - (d / 3.0f) * (d / 3.0f));
                        kind = 3;
                    }
                }
                // A shallow pressed cross over the plate.
                h += 0.05f * smoothstep(3.0f, 0.0f, std::min(std::fabs(rx - ry), std::fabs(rx + ry))) *
                     smoothstep(22.0f, 14.0f, ring);
            }
            f.height[i] = h * bevel + 0.02f * pfbm(fx, fy, 32, 2, 61);
            f.kind[i] = kind;
            f.grain[i] = pfbm(fx * 0.25f, fy * 8.0f, 8, 3, 62) * 0.5f + pfbm(fx, fy, 4, 3, 63) * 0.5f;
        }
    return f;
}

Palette planePalette() {
    return rampPalette({rgb(50, 55, 62), rgb(62, 62, 60), rgb(58, 42, 18), rgb(62, 56, 38), rgb(60, 14, 2),
                        rgb(63, 36, 6), rgb(63, 58, 30), rgb(56, 46, 42)});
}

Rgb energyColour(float g) {
    const float e = clampf(g, 0.0f, 1.0f);
    if (e < 0.5f) return mix(rgb(4, 0, 0), rgb(50, 12, 1), e * 2.0f);
    return mix(rgb(50, 12, 1), rgb(63, 54, 26), (e - 0.5f) * 2.0f);
}

bool generatePlane(const std::string& outdir) {
    Palette pal = planePalette();
    const Floor f = floorField();
    std::vector<Rgb> tex(65536);
    const V3 light = normalise(v3(-0.35f, -0.55f, 0.76f));
    const V3 halfway = normalise(light + v3(0, 0, 1));
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const size_t i = size_t(y) * 256 + x;
            if (f.kind[i] == 0) continue;
            const V3 n = normalAt(f.height, x, y, 40.0f);
            const float diffuse = 0.30f + 0.70f * std::max(0.0f, dot(n, light));
            const float spec = std::pow(std::max(0.0f, dot(n, halfway)), f.kind[i] == 3 ? 18.0f : 60.0f);
            Rgb base;
            if (f.kind[i] == 2)
                base = mix(rgb(34, 22, 9), rgb(48, 34, 15), 0.5f + 0.5f * f.grain[i]);
            else
                base = mix(rgb(22, 25, 30), rgb(34, 38, 44), 0.5f + 0.5f * f.grain[i]);
            Rgb c = add(scale(base, diffuse), scale(rgb(60, 60, 58), spec * (f.kind[i] == 1 ? 0.5f : 0.8f)));
            tex[i] = c;
        }
    std::vector<uint8_t> t0 = quantise(pal, tex, 256, 256, 1.2f);
    // Slots are index 0 (black); keep every metal texel off it so the blend can tell them apart.
    const uint8_t darkSteel = pal.nearest(rgb(6, 8, 11));
    for (size_t i = 0; i < t0.size(); ++i) {
        if (f.kind[i] == 0)
            t0[i] = 0;
        else if (t0[i] == 0)
            t0[i] = darkSteel;
    }

    // T1: slow rivers of energy, bright cores inside a dim glow.
    std::vector<uint8_t> t1(65536);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const float fx = x / 256.0f, fy = y / 256.0f;
            const float warp = pfbm(fx, fy, 3, 4, 71);
            const float flow = std::sin(TwoPi * (2.0f * fx + 1.0f * fy) + 4.0f * warp);
            const float cross = std::sin(TwoPi * (1.0f * fx - 3.0f * fy) + 3.0f * pfbm(fx, fy, 4, 3, 72));
            float g = 0.5f + 0.35f * flow * cross + 0.25f * pfbm(fx, fy, 8, 3, 73);
            g = clampf(g, 0.0f, 1.0f);
            t1[size_t(y) * 256 + x] = uint8_t(std::lround(std::pow(g, 1.6f) * 255.0f));
        }

    // B: slots show the energy; metal picks up a faint warm reflection of it.
    const std::vector<uint8_t> blend = blendTable(pal, [](Rgb metal, float g, int t0) {
        if (t0 == 0) return energyColour(0.15f + 0.85f * g);
        return add(metal, scale(energyColour(g), 0.16f * g));
    });
    if (!writeScene(outdir, "srcdata/plane.qxp", "srcdata/plnltlut.tga", "srcdata/met-scal.raw", pal, t0, t1, blend,
                    heightBytes(f.height)))
        return false;
    return qxa::write(outdir, "srcdata/planeani.qxa", planeTracks());
}

bool generate(const std::string& outdir) { return generateTunnel(outdir) && generatePlane(outdir); }

}  // namespace

std::vector<uint8_t> lightTable(Palette& pal) {
    std::vector<uint8_t> l(65536);
    for (int level = 0; level < 256; ++level)
        for (int c = 0; c < 256; ++c)
            l[size_t(level) * 256 + c] = level == 0 ? 0 : pal.nearest(scale(pal.colour(c), level / 255.0f));
    return l;
}

qxa::Track tunnelTrack() {
    // The look-at point runs along the tube, surging a little, and drifts and swings around the
    // axis so the camera 8 units behind it keeps turning. Control points every half second of
    // track time (the scene plays it at a fifth of real time).
    std::vector<qxa::Key> controls;
    for (int i = 0; i <= 20; ++i) {
        const float t = i * 0.5f;
        const float x = 2.4f * std::sin(0.9f * t) + 0.9f * std::sin(2.3f * t + 1.0f);
        const float y = 1.8f * std::sin(0.7f * t + 0.5f) + 0.7f * std::sin(1.9f * t);
        const float z = 8.0f + 11.0f * t + 1.5f * std::sin(0.8f * t);
        controls.push_back(qxa::Key{v3(x, y, z), t});
    }
    return qxa::Track{"Camera|CameraAction", qxa::sampleSpline(controls, 0.05f, false)};
}

std::vector<qxa::Track> planeTracks() {
    // A low flight that weaves over the floor and swoops between 3 and 7 units of height (a plate
    // is 4 units across); the look-at point stays 14 units ahead and below the camera, so the view
    // is pitched down by 13 to 23 degrees and the horizon stays in the upper half of the picture.
    std::vector<qxa::Key> pos, look;
    for (int i = 0; i <= 40; ++i) {
        const float t = i * 0.5f;
        const float z = 15.0f * t;
        const float x = 9.0f * std::sin(0.33f * t) + 2.5f * std::sin(0.9f * t + 0.7f);
        const float y = 5.0f + 1.6f * std::sin(0.6f * t + 1.2f) + 0.4f * std::sin(1.7f * t);
        pos.push_back(qxa::Key{v3(x, y, z), t});
        const float lx = x + 4.0f * std::sin(0.45f * t + 2.0f);
        const float ly = y - 14.0f * std::tan((18.0f + 5.0f * std::sin(0.5f * t)) * Pi / 180.0f);
        look.push_back(qxa::Key{v3(lx, ly, z + 14.0f), t});
    }
    return {qxa::Track{"CameraPosition", qxa::sampleSpline(pos, 0.05f, false)},
            qxa::Track{"CameraLookAt", qxa::sampleSpline(look, 0.05f, false)}};
}

}  // namespace gridpacks

MKASSETS_GENERATOR("gridpacks", gridpacks::generate);
