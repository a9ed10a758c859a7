// The Credits scene's assets: srcdata/credits.qxp (ribbon textures, translucency table, palette,
// the chrome group logo), srcdata/credlght.raw (the sparks' light table) and srcdata/glitch.raw
// (the logo's glitch displacement).
//
// The palette is not a brightness ramp (nothing in this scene adds or averages indices): it is a
// set of hue ramps in a fixed order, so that the four spark colours the scene names by index (45,
// 76, 238, 244) are aqua, violet, rose and gold. Every blend goes through tables computed here by
// nearest-colour search: the ribbons and sparks screen over what is below them, so they glow over
// black and brighten each other without ever darkening anything.
#include "artlib.h"
#include "credits_art.h"
#include "logoshape.h"
#include "mkassets.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using art::Rgb;
using art::rgb;

namespace credits_art {

namespace {

constexpr float TwoPi = 6.28318530717959f;

// ---- palette ------------------------------------------------------------------------------------

// `count` colours evenly along the stops.
std::vector<Rgb> rampColours(int count, const std::vector<Rgb>& stops) {
    std::vector<Rgb> out;
    const int ns = int(stops.size());
    for (int i = 0; i < count; ++i) {
        const float t = float(i) / float(count - 1) * float(ns - 1);
        const int k = std::min(int(t), ns - 2);
        out.push_back(art::mix(stops[k], stops[k + 1], t - float(k)));
    }
    return out;
}

}  // namespace

Palette::Palette() {
    struct Ramp {
        int count;
        std::vector<Rgb> stops;
        int anchorIndex;   // palette index that must hold one of this ramp's colours (or -1)
        float anchorAt;    // where along the ramp that colour is taken
    };
    const Ramp ramps[] = {
        // Sea glass: the wide ribbon and the aqua sparks.
        {56, {rgb(1, 4, 10), rgb(2, 14, 26), rgb(6, 32, 42), rgb(18, 50, 56), rgb(46, 62, 63)}, AquaSpark, 0.62f},
        // Orchid: the narrow ribbon and the violet sparks.
        {48, {rgb(4, 1, 10), rgb(16, 4, 32), rgb(34, 14, 54), rgb(52, 34, 62), rgb(62, 54, 63)}, VioletSpark, 0.5f},
        // Where the two ribbons cross.
        {30, {rgb(6, 8, 20), rgb(20, 26, 48), rgb(40, 46, 62), rgb(58, 60, 63)}, -1, 0},
        {36, {rgb(10, 4, 0), rgb(30, 14, 2), rgb(54, 34, 6), rgb(63, 52, 22), rgb(63, 62, 46)}, GoldSpark, 0.5f},
        {36, {rgb(10, 1, 4), rgb(32, 6, 16), rgb(56, 18, 34), rgb(63, 40, 50), rgb(63, 58, 60)}, RoseSpark, 0.5f},
        // Ice: the chrome logo.
        {48, {rgb(3, 4, 9), rgb(10, 14, 28), rgb(22, 32, 50), rgb(40, 50, 62), rgb(58, 62, 63)}, -1, 0},
    };
    std::vector<Rgb> free;
    std::vector<std::pair<int, Rgb>> anchors;
    for (const Ramp& r : ramps) {
        std::vector<Rgb> c = rampColours(r.count, r.stops);
        const int a = r.anchorIndex >= 0 ? int(std::lround(r.anchorAt * float(r.count - 1))) : -1;
        for (int i = 0; i < r.count; ++i) {
            if (i == a) anchors.push_back({r.anchorIndex, c[i]});
            else free.push_back(c[i]);
        }
    }
    std::vector<bool> used(256, false);
    auto set = [&](int i, Rgb c) {
        for (int k = 0; k < 3; ++k) {
            const float v = k == 0 ? c.r : k == 1 ? c.g : c.b;
            m_c[i][k] = uint8_t(std::lround(art::clampf(v, 0.0f, 63.0f)));
        }
        used[i] = true;
    };
    set(0, rgb(0, 0, 0));
    set(255, rgb(63, 63, 63));
    for (const auto& a : anchors) set(a.first, a.second);
    size_t next = 0;
    for (int i = 1; i < 255; ++i)
        if (!used[i]) set(i, next < free.size() ? free[next++] : rgb(32, 32, 36));
    // Nothing but entry 255 may be pure white: the scene recolours the font to the first white.
    for (int i = 1; i < 255; ++i)
        if (m_c[i][0] == 63 && m_c[i][1] == 63 && m_c[i][2] == 63) m_c[i][2] = 62;
    m_cache.assign(64 * 64 * 64, -1);
}

Rgb Palette::colour(int i) const { return rgb(m_c[i][0], m_c[i][1], m_c[i][2]); }

uint8_t Palette::nearest(Rgb c, int exclude) {
    const int r = int(std::lround(art::clampf(c.r, 0, 63)));
    const int g = int(std::lround(art::clampf(c.g, 0, 63)));
    const int b = int(std::lround(art::clampf(c.b, 0, 63)));
    const int key = (r * 64 + g) * 64 + b;
    if (exclude < 0 && m_cache[key] >= 0) return uint8_t(m_cache[key]);
    int best = 0, bestd = 1 << 30;
    for (int i = 0; i < 256; ++i) {
        if (i == exclude) continue;
        const int dr = m_c[i][0] - r, dg = m_c[i][1] - g, db = m_c[i][2] - b;
        const int d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (d < bestd) bestd = d, best = i;
    }
    if (exclude < 0) m_cache[key] = int16_t(best);
    return uint8_t(best);
}

mkassets::Bytes Palette::bytes8() const {
    mkassets::Bytes b;
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) b.push_back(uint8_t(m_c[i][k] * 4 + m_c[i][k] / 16));
    return b;
}

// ---- blending -----------------------------------------------------------------------------------

Rgb screen(Rgb a, Rgb b) {
    auto s = [](float x, float y) { return 63.0f - (63.0f - x) * (63.0f - y) / 63.0f; };
    return rgb(s(a.r, b.r), s(a.g, b.g), s(a.b, b.b));
}

std::vector<uint8_t> translucencyTable(Palette& pal) {
    std::vector<uint8_t> lut(65536);
    for (int s = 0; s < 256; ++s)
        for (int d = 0; d < 256; ++d) lut[s * 256 + d] = pal.nearest(screen(pal.colour(s), pal.colour(d)));
    return lut;
}

Rgb sparkColour(Rgb hue, float level) {
    // The hue at full strength, dimmed by the level; the top quarter burns toward white.
    const float m = std::max({hue.r, hue.g, hue.b, 1.0f});
    const Rgb full = art::scale(hue, 63.0f / m);
    const float b = std::pow(level, 1.1f);
    const float hot = art::smoothstep(0.7f, 1.0f, level) * 0.55f;
    return art::mix(art::scale(full, b), rgb(63, 63, 63), hot);
}

std::vector<uint8_t> lightTable(Palette& pal) {
    std::vector<uint8_t> t(size_t(LightRows) * 256);
    for (int level = 0; level < LightRows; ++level)
        for (int c = 0; c < 256; ++c)
            t[size_t(level) * 256 + c] =
                level == 0 ? 0 : pal.nearest(sparkColour(pal.colour(c), float(level) / float(LightRows - 1)));
    return t;
}

// ---- ribbons ------------------------------------------------------------------------------------

namespace {

// Brightness across a ribbon (v in 0..1 from one edge to the other): dark at both edges so the
// ribbon ends softly (and the row wrap at v = 1 meets dark rows).
float edgeFade(float v) { return art::smoothstep(0.0f, 0.16f, v) * art::smoothstep(1.0f, 0.84f, v); }

// The textures are 128 x 64 with a row stride of 128, in the first 8 KiB of a 64 KiB slot.
std::vector<uint8_t> ribbonTexture(Palette& pal, const std::vector<Rgb>& ramp, float (*shade)(float u, float v)) {
    std::vector<uint8_t> tex(65536, 0);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 128; ++x) {
            const float i = art::clampf(shade(float(x) / 128.0f, (float(y) + 0.5f) / 64.0f), 0.0f, 1.0f);
            const float f = i * float(ramp.size() - 1);
            const int k = std::min(int(f), int(ramp.size()) - 2);
            const Rgb c = art::mix(ramp[k], ramp[k + 1], f - float(k));
            tex[size_t(y) * 128 + x] = i < 0.02f ? 0 : pal.nearest(c);
        }
    return tex;
}

// Wide ribbon: silk with glowing hems and folds flowing along it.
float silk(float u, float v) {
    const float hem = std::exp(-std::pow((v - 0.2f) * 14.0f, 2.0f)) + 0.8f * std::exp(-std::pow((v - 0.8f) * 16.0f, 2.0f));
    const float fold = 0.5f + 0.5f * std::sin(TwoPi * (3.0f * u + 1.6f * v + 0.25f * std::sin(TwoPi * 2.0f * u)));
    const float ripple = 0.5f + 0.5f * std::sin(TwoPi * (7.0f * u - 3.0f * v));
    const float grain = art::pfbm(u, v * 0.5f, 8, 3, 71);
    const float body = 0.18f + 0.32f * fold * fold + 0.1f * ripple + 0.12f * grain;
    return edgeFade(v) * (body + 0.75f * hem);
}

// Narrow ribbon: a bright core with wisps and sparkles drifting along it.
float wisp(float u, float v) {
    const float core = std::exp(-std::pow((v - 0.5f) * 7.0f, 2.0f));
    const float wave = 0.5f + 0.5f * std::sin(TwoPi * (5.0f * u + 0.35f * std::sin(TwoPi * 3.0f * u)));
    const float strands = 0.5f + 0.5f * std::sin(TwoPi * (11.0f * u + 4.0f * v));
    float sparkle = 0.0f;
    const float h = art::hashf(int(u * 128.0f), int(v * 64.0f), 5);
    if (h > 0.985f) sparkle = 0.9f;
    return edgeFade(v) * (0.12f + 0.6f * core * (0.55f + 0.45f * wave) + 0.22f * strands * core + sparkle * core);
}

}  // namespace

// ---- the chrome logo ----------------------------------------------------------------------------

Rgb chrome(float y, float d, float gx, float gy) {
    // Chrome: a pale sky above a sharp horizon, a deep ground below it that lightens toward the
    // bottom edge.
    Rgb c;
    if (y > 0.04f) c = art::mix(rgb(26, 40, 56), rgb(60, 62, 63), art::smoothstep(0.04f, 0.5f, y));
    else if (y > -0.03f) c = rgb(62, 63, 63);
    else c = art::mix(rgb(4, 8, 22), rgb(30, 48, 60), art::smoothstep(-0.05f, -0.62f, y));
    // Bevel: light from the upper left on the inner rim, shade on the lower right.
    const float facing = (-gx - gy) * 0.35f;  // > 0 where the outside lies up and to the left
    const float rim = art::smoothstep(-3.5f, -0.5f, d);
    if (facing > 0) c = art::mix(c, rgb(63, 63, 63), art::clampf(facing * rim, 0.0f, 0.8f));
    else c = art::mix(c, rgb(2, 4, 14), art::clampf(-facing * rim * 0.7f, 0.0f, 0.6f));
    // The edge itself: chrome into the dark outline, which fades out two pixels beyond.
    if (d > -0.5f) c = art::mix(c, ChromeOutline, art::clampf(d + 0.5f, 0.0f, 1.0f));
    return c;
}

std::vector<uint8_t> logoImage(Palette& pal) {
    const int w = LogoWidth, h = LogoHeight;
    const float span = 2.6f, unit = span / float(w);
    std::vector<uint8_t> img(size_t(w) * h, LogoTransparent);
    auto dist = [&](float px, float py) {  // signed distance in pixels at a pixel centre
        const float x = (px + 0.5f - float(w) * 0.5f) * unit, y = (float(h) * 0.5f - py - 0.5f) * unit;
        return logoshape::distance(x, y) / unit;
    };
    for (int py = 0; py < h; ++py)
        for (int px = 0; px < w; ++px) {
            const float d = dist(float(px), float(py));
            if (d > 2.2f) continue;
            const float y = (float(h) * 0.5f - float(py) - 0.5f) * unit;  // logo units, up
            const float gx = dist(float(px) + 1.0f, float(py)) - dist(float(px) - 1.0f, float(py));
            const float gy = dist(float(px), float(py) + 1.0f) - dist(float(px), float(py) - 1.0f);
            img[size_t(py) * w + px] = pal.nearest(chrome(y, d, gx, gy), LogoTransparent);
        }
    return img;
}

// ---- glitch -------------------------------------------------------------------------------------

std::vector<uint8_t> glitchMap() {
    // 512 x 512 signed offsets around 128. Tears are horizontal bands a few rows high in which a
    // run of columns is shifted by one amount, broken into steps; between them the logo is still.
    std::vector<uint8_t> g(GlitchBytes, 128);
    uint32_t seed = 0x61746368u;
    auto next = [&]() {
        seed = art::hash32(seed + 0x9E3779B9u);
        return float(seed & 0xFFFFFF) / float(0x1000000);
    };
    const int heights[] = {1, 1, 2, 2, 3, 4, 4, 6, 8, 12};
    for (int band = 0; band < 190; ++band) {
        const int y0 = int(next() * 512.0f);
        const int bh = heights[int(next() * 10.0f) % 10];
        int x = int(next() * 512.0f);
        const int runs = 1 + int(next() * 4.0f);
        const float sign = next() < 0.5f ? -1.0f : 1.0f;
        float amount = sign * (40.0f + 87.0f * next());
        for (int r = 0; r < runs; ++r) {
            const int len = 12 + int(next() * 150.0f);
            for (int yy = y0; yy < y0 + bh; ++yy)
                for (int xx = x; xx < x + len; ++xx)
                    g[size_t(yy & 511) * 512 + (xx & 511)] = uint8_t(std::lround(128.0f + amount));
            x += len;
            amount = art::clampf(amount * (0.4f + 0.9f * next()) * (next() < 0.3f ? -1.0f : 1.0f), -127.0f, 127.0f);
        }
    }
    return g;
}

}  // namespace credits_art

// ---- the generator ------------------------------------------------------------------------------

namespace {

using namespace credits_art;

mkassets::Bytes buildPack(Palette& pal) {
    const std::vector<Rgb> sea = {rgb(1, 4, 10), rgb(2, 14, 26), rgb(6, 32, 42), rgb(18, 50, 56), rgb(46, 62, 63)};
    const std::vector<Rgb> orchid = {rgb(4, 1, 10), rgb(16, 4, 32), rgb(34, 14, 54), rgb(52, 34, 62), rgb(62, 54, 63)};
    const std::vector<uint8_t> wide = ribbonTexture(pal, sea, silk);
    const std::vector<uint8_t> narrow = ribbonTexture(pal, orchid, wisp);
    const std::vector<uint8_t> lut = translucencyTable(pal);
    const std::vector<uint8_t> logo = logoImage(pal);
    mkassets::Bytes b;
    mkassets::putBytes(b, wide.data(), 65536);
    mkassets::putBytes(b, narrow.data(), 65536);
    const mkassets::Bytes p = pal.bytes8();
    mkassets::putBytes(b, p.data(), 768);
    mkassets::putBytes(b, lut.data(), 65536);
    const uint32_t logoAt = uint32_t(b.size());
    mkassets::putBytes(b, logo.data(), logo.size());
    for (int i = 0; i < 16; ++i) mkassets::putU8(b, 0);
    for (int i = 0; i < 4; ++i) {
        mkassets::putU16(b, i == 0 ? LogoWidth : 0);
        mkassets::putU16(b, i == 0 ? LogoHeight : 0);
        mkassets::putU32(b, i == 0 ? logoAt : 0);
    }
    return b;
}

bool generate(const std::string& outdir) {
    Palette pal;
    return mkassets::writeFile(outdir, "srcdata/credits.qxp", buildPack(pal)) &&
           mkassets::writeFile(outdir, "srcdata/credlght.raw", lightTable(pal)) &&
           mkassets::writeFile(outdir, "srcdata/glitch.raw", glitchMap());
}

}  // namespace

MKASSETS_GENERATOR("credits", generate);
