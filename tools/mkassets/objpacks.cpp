// Image packs of the torus, spike, knot, skull, tendril and final-torus scenes.
//
// Each pack holds a 256 x 256 diffuse texture, a 256 x 256 environment map of light levels
// (a sphere map indexed by the camera-space normal), the scene's palette, the shading table
// lut[env][diffuse] computed from them, and a 320 x 200 background as image 0.
//
// Palettes are a few colour ramps, sorted dark to bright, with pure black at index 0 and a
// clear near-white (63, 63, 63) at 255: the wireframe colour is the palette's brightest entry
// and the Wire scene's hidden-line fill is its black entry. The shading table never needs index
// 255 for the Wire scene's surfaces (it swaps it for the nearest of (60, 60, 60)), so every ramp
// that reaches white also holds such a near-white.
#include "artlib.h"
#include "mkassets.h"
#include "models.h"

#include <cmath>

using namespace art;

namespace objpacks {

static const float TwoPi = 6.28318530717959f;

namespace {

// Light from the upper left, in front of the object (camera space, y up, viewer at -z).
V3 lightDir() { return normalise(v3(-0.45f, 0.55f, -0.70f)); }

// Matte-to-glossy light level for a camera-space normal.
float glossLevel(float nx, float ny, float nz, float ambient, float diffuse, float spec, float power, float rim) {
    V3 n = v3(nx, ny, nz);
    V3 l = lightDir();
    float d = std::max(0.0f, dot(n, l));
    V3 h = normalise(l + v3(0, 0, -1));
    float s = std::pow(std::max(0.0f, dot(n, h)), power);
    float r = std::pow(1.0f - std::fabs(nz), 3.0f);
    return ambient + diffuse * d + spec * s + rim * r;
}

// Chrome: the reflected view ray looks up a sky with a bright horizon and a dark floor.
float chromeLevel(float nx, float ny, float nz, float sky, float floor, float sun) {
    V3 n = v3(nx, ny, nz);
    V3 dir = v3(0, 0, 1);
    V3 r = dir - n * (2.0f * dot(dir, n));
    float y = r.y;
    float lvl;
    if (y >= 0)
        lvl = sky * (0.55f + 0.45f * std::pow(1.0f - y, 3.0f));
    else
        lvl = floor * (0.35f + 0.65f * std::pow(1.0f + y, 6.0f));
    lvl += 0.35f * std::exp(-y * y * 90.0f);                       // horizon glint
    lvl += sun * std::pow(std::max(0.0f, dot(r, lightDir())), 40.0f);
    return lvl;
}

Rgb white() { return rgb(63, 63, 63); }

float vignette(int x, int y, float strength) {
    float dx = (x - 159.5f) / 160.0f, dy = (y - 99.5f) / 100.0f;
    float d = dx * dx * 0.8f + dy * dy;
    return 1.0f - strength * smoothstep(0.25f, 1.6f, d);
}

struct Pack {
    Palette pal;
    std::vector<Rgb> tex = std::vector<Rgb>(65536);
    std::vector<Rgb> bg = std::vector<Rgb>(64000);
    std::vector<uint8_t> env;
    std::function<Rgb(Rgb, float)> light;
    float texDither = 1.0f, bgDither = 1.2f;

    mkassets::Bytes build() {
        pal.finish();
        std::vector<uint8_t> t = quantise(pal, tex, 256, 256, texDither);
        std::vector<uint8_t> b = quantise(pal, bg, 320, 200, bgDither);
        std::vector<uint8_t> lut = shadingTable(pal, light);
        return buildPack(t, env, pal, lut, {PackImage{320, 200, b}});
    }
};

// Metal: the diffuse colour scaled by the light level, with a white-hot top end.
Rgb metalLight(Rgb c, float l, Rgb tint, float specStart) {
    Rgb o = scale(c, 0.10f + 1.25f * l);
    o = add(o, scale(tint, l * l * 0.5f));
    float s = smoothstep(specStart, 1.0f, l);
    return mix(o, white(), s * s * 0.9f);
}

// ---------------------------------------------------------------- Wire: blue chrome

mkassets::Bytes blueenv() {
    Pack p;
    p.pal.ramp(100, {rgb(0, 0, 0), rgb(2, 4, 14), rgb(6, 14, 34), rgb(14, 30, 52), rgb(34, 48, 60), rgb(58, 61, 63)});
    p.pal.ramp(64, {rgb(0, 0, 0), rgb(9, 11, 16), rgb(24, 28, 36), rgb(42, 46, 54), rgb(60, 60, 62)});
    p.pal.ramp(60, {rgb(0, 0, 0), rgb(0, 10, 14), rgb(4, 30, 40), rgb(20, 52, 60), rgb(50, 62, 63)});
    p.pal.ramp(30, {rgb(3, 1, 8), rgb(14, 4, 22), rgb(30, 10, 40)});

    // Brushed steel panels: streaks along u, grooves every eighth of u and quarter of v, rivets.
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float fx = x / 256.0f, fy = y / 256.0f;
            float streak = pfbm(fx, fy * 16.0f - std::floor(fy * 16.0f) + fy, 2, 2, 11) * 0.3f +
                           pfbm(fx * 1.0f, fy, 1, 6, 12) * 0.25f;
            streak += 0.35f * pnoise(fx * 2, fy * 128, 128, 13) * 0.4f;
            float lv = 0.58f + streak * 0.5f;
            float gu = std::fabs(std::fmod(fx * 8.0f + 1.0f, 1.0f) - 0.5f) * 2.0f;  // 1 at groove
            float gv = std::fabs(std::fmod(fy * 4.0f + 1.0f, 1.0f) - 0.5f) * 2.0f;
            float groove = std::max(smoothstep(0.94f, 0.99f, gu), smoothstep(0.96f, 0.995f, gv));
            lv *= 1.0f - 0.65f * groove;
            // rivets near panel corners
            float ru = std::fmod(fx * 8.0f, 1.0f), rv = std::fmod(fy * 4.0f, 1.0f);
            for (float cu : {0.1f, 0.9f})
                for (float cv : {0.12f, 0.88f}) {
                    float du = (ru - cu) * 32.0f, dv = (rv - cv) * 64.0f;
                    float d = std::sqrt(du * du + dv * dv);
                    if (d < 1.0f) lv = 0.9f - 0.5f * d + 0.25f * (dv < 0 ? 1.0f : -0.5f) * (1.0f - d);
                }
            Rgb base = mix(rgb(10, 14, 24), rgb(40, 46, 56), clampf(lv, 0, 1));
            p.tex[size_t(y) * 256 + x] = base;
        }
    p.env = envMap([](float nx, float ny, float nz) { return chromeLevel(nx, ny, nz, 0.9f, 0.42f, 0.8f); }, 0.7f);
    p.light = [](Rgb c, float l) { return metalLight(c, l, rgb(6, 16, 34), 0.72f); };

    // Background: night sky over a glowing horizon and a receding grid floor.
    const float horizon = 112.0f;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            Rgb c;
            float fx = x / 320.0f, fy = y / 200.0f;
            if (y < horizon) {
                float t = y / horizon;
                c = mix(rgb(1, 1, 6), rgb(4, 10, 30), std::pow(t, 1.6f));
                float glow = std::exp(-(horizon - y) / 14.0f);
                c = add(c, scale(rgb(10, 34, 44), glow));
                // soft clouds and faint stars
                float cl = pfbm(fx * 1.6f, fy * 2.0f, 4, 5, 21);
                c = add(c, scale(rgb(4, 6, 16), smoothstep(0.1f, 0.6f, cl) * (1.0f - t) * 0.9f));
                float st = hashf(x, y, 22);
                if (st > 0.9975f && y < horizon - 20) c = add(c, scale(rgb(30, 36, 48), (st - 0.9975f) / 0.0025f));
            } else {
                // floor: perspective grid
                float d = (y - horizon + 0.5f);
                float z = 600.0f / d;                 // depth along the floor
                float wx = (x - 159.5f) * z / 160.0f;  // floor x at that depth
                float gz = std::fabs(std::fmod(z + 1000.0f, 6.0f) - 3.0f);
                float gx = std::fabs(std::fmod(wx + 1003.0f, 6.0f) - 3.0f);
                float pix = z / 160.0f * 1.2f;  // grid units per pixel
                // rows closer than a grid step to the horizon would alias: fade those lines out
                float lz = (1.0f - smoothstep(0.0f, pix * 1.4f + 0.02f * z, gz)) * smoothstep(16.0f, 36.0f, d);
                float line = std::max(lz, (1.0f - smoothstep(0.0f, pix * 1.2f, gx)) * smoothstep(8.0f, 40.0f, d));
                float fade = std::exp(-z / 60.0f);
                c = mix(rgb(1, 3, 10), rgb(2, 6, 16), 1.0f - fade);
                c = add(c, scale(rgb(12, 40, 52), line * (0.25f + 0.75f * fade)));
                float glow = std::exp(-(y - horizon) / 6.0f);
                c = add(c, scale(rgb(10, 30, 40), glow));
            }
            c = scale(c, vignette(x, y, 0.7f));
            p.bg[size_t(y) * 320 + x] = c;
        }
    return p.build();
}

// ---------------------------------------------------------------- Spike: molten red

mkassets::Bytes spike() {
    Pack p;
    p.pal.ramp(140, {rgb(0, 0, 0), rgb(12, 0, 0), rgb(30, 3, 0), rgb(50, 12, 0), rgb(62, 32, 2), rgb(62, 52, 18),
                     rgb(62, 61, 50)});
    p.pal.ramp(64, {rgb(0, 0, 0), rgb(6, 4, 4), rgb(14, 9, 8), rgb(24, 17, 14), rgb(36, 28, 24), rgb(52, 46, 42)});
    p.pal.ramp(40, {rgb(3, 0, 3), rgb(10, 1, 7), rgb(20, 3, 10), rgb(30, 6, 8)});

    // Rows 0..~100: the glowing spike tips, white-hot to dull red; below: dark crust broken by
    // glowing cracks. The model puts tips at v = 0.02 and the bases at v >= 0.42.
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float fx = x / 256.0f, fy = y / 256.0f;
            float n = pfbm(fx, fy, 4, 5, 31);
            Cell cc = pvoronoi(fx, fy * 2.0f - std::floor(fy * 2.0f), 10, 32);
            float crack = 1.0f - smoothstep(0.0f, 0.12f + 0.05f * n, cc.f2 - cc.f1);
            float heat = 1.0f - smoothstep(0.02f, 0.40f, fy + 0.05f * n);  // tip glow
            Rgb crust = mix(rgb(7, 4, 4), rgb(22, 15, 12), clampf(0.5f + n * 0.9f, 0, 1));
            crust = mix(crust, rgb(3, 2, 2), 0.5f * smoothstep(0.3f, 0.0f, cc.f1));
            Rgb glow = mix(rgb(40, 6, 0), rgb(62, 40, 4), clampf(0.5f + n, 0, 1));
            Rgb c = mix(crust, glow, crack * (0.55f + 0.45f * smoothstep(0.9f, 0.4f, fy)));
            Rgb hot = heat > 0.75f ? mix(rgb(62, 44, 8), rgb(62, 60, 40), (heat - 0.75f) / 0.25f)
                                   : mix(rgb(34, 4, 0), rgb(62, 44, 8), heat / 0.75f);
            c = mix(c, hot, smoothstep(0.0f, 0.5f, heat));
            p.tex[size_t(y) * 256 + x] = c;
        }
    p.env = envMap([](float nx, float ny, float nz) { return glossLevel(nx, ny, nz, 0.12f, 0.65f, 0.55f, 24, 0.25f); },
                   0.35f);
    p.light = [](Rgb c, float l) {
        // Bright (molten) colours glow by themselves; dark crust is lit.
        float em = smoothstep(16.0f, 40.0f, luminance(c));
        Rgb o = scale(c, em * (0.75f + 0.35f * l) + (1.0f - em) * (0.12f + 1.15f * l));
        float s = smoothstep(0.7f, 1.0f, l);
        return add(o, scale(rgb(40, 30, 18), s * s));
    };

    // Background: a black sun with a flaring corona behind the ball, smoke and rising embers.
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            float fx = x / 320.0f, fy = y / 200.0f;
            float dx = (x - 159.5f), dy = (y - 99.5f);
            float r = std::sqrt(dx * dx + dy * dy) / 100.0f;
            float ang = std::atan2(dy, dx) / TwoPi + 0.5f;  // 0..1 around
            float smoke = pfbm(fx * 1.6f + 0.3f * fy, fy * 1.0f, 4, 6, 41);
            Rgb c = mix(rgb(2, 0, 3), rgb(12, 1, 5), std::pow(fy, 1.3f));
            c = add(c, scale(rgb(8, 2, 4), smoothstep(-0.2f, 0.6f, smoke)));
            // corona: flames licking outward from a ring, brightest at the rim of the disc
            const float Rim = 0.78f;
            float flame = pfbm(ang, r * 0.35f, 16, 5, 44) * 0.5f + 0.5f;
            float reach = 0.05f + 0.9f * flame * flame * flame;
            float out = r - Rim;
            float corona = out > 0 ? std::exp(-out / reach * 2.2f) : 0.0f;
            c = add(c, scale(rgb(48, 10, 0), corona * 0.9f));
            c = add(c, scale(rgb(40, 30, 8), corona * corona * corona * 0.8f));
            // the disc itself: nearly black, a dull red limb
            if (r < Rim) {
                float limb = smoothstep(Rim - 0.10f, Rim, r);
                c = mix(rgb(3, 0, 1), rgb(30, 5, 1), limb * limb);
            }
            // embers
            float e = hashf(x / 2, y / 2, 43);
            if (e > 0.9965f && r > Rim + 0.05f)
                c = add(c, scale(rgb(62, 30, 4), (e - 0.9965f) / 0.0035f * (1.0f - fy * 0.4f)));
            c = scale(c, vignette(x, y, 0.75f));
            p.bg[size_t(y) * 320 + x] = c;
        }
    return p.build();
}

// ---------------------------------------------------------------- Knot: jade

mkassets::Bytes knot() {
    Pack p;
    p.pal.ramp(140, {rgb(0, 0, 0), rgb(0, 8, 5), rgb(3, 21, 13), rgb(10, 36, 24), rgb(28, 52, 38), rgb(50, 62, 54),
                     rgb(61, 63, 61)});
    p.pal.ramp(50, {rgb(1, 3, 3), rgb(3, 11, 9), rgb(7, 19, 15), rgb(12, 26, 21)});
    p.pal.ramp(50, {rgb(6, 4, 0), rgb(20, 15, 4), rgb(36, 29, 10), rgb(52, 44, 20)});

    // Jade: mottled green with pale veins and dark inclusions.
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float fx = x / 256.0f, fy = y / 256.0f;
            float n = pfbm(fx, fy, 3, 6, 51);
            float w = pfbm(fx, fy, 2, 5, 52);
            float vein = std::fabs(std::sin((fx * 2.0f + fy + 1.6f * w) * TwoPi));
            vein = std::pow(1.0f - vein, 10.0f);
            Rgb c = mix(rgb(4, 22, 14), rgb(16, 42, 28), clampf(0.5f + n * 1.1f, 0, 1));
            c = mix(c, rgb(36, 56, 44), vein * 0.8f);
            float spot = pfbm(fx, fy, 8, 3, 53);
            c = mix(c, rgb(2, 12, 8), smoothstep(0.35f, 0.6f, spot) * 0.6f);
            p.tex[size_t(y) * 256 + x] = c;
        }
    p.env = envMap([](float nx, float ny, float nz) { return glossLevel(nx, ny, nz, 0.16f, 0.62f, 0.75f, 40, 0.3f); },
                   0.4f);
    p.light = [](Rgb c, float l) {
        // Polished stone: a little light from within, a sharp white-green highlight.
        Rgb o = scale(c, 0.22f + 1.05f * l);
        float s = smoothstep(0.78f, 1.0f, l);
        return mix(o, rgb(56, 63, 58), s * s * 0.85f);
    };

    // Background: dark green lacquer with a faint gold key-fret lattice and a soft central glow.
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            float fx = x / 320.0f, fy = y / 200.0f;
            float dx = (x - 160.0f) / 160.0f, dy = (y - 100.0f) / 100.0f;
            float r = std::sqrt(dx * dx + dy * dy);
            Rgb c = mix(rgb(8, 22, 17), rgb(1, 4, 3), smoothstep(0.0f, 1.2f, r));
            c = add(c, scale(rgb(2, 4, 3), pfbm(fx * 1.6f, fy, 6, 5, 61)));
            // key fret: a 20-pixel tile drawn with 2-pixel lines
            int tx = (x + 4) % 20, ty = (y + 2) % 20;
            auto on = [&](int px, int py) {
                bool h = (py == 0 || py == 1) && px < 18;
                bool v = (px == 16 || px == 17) && py < 14;
                bool h2 = (py == 12 || py == 13) && px >= 6 && px < 18;
                bool v2 = (px == 6 || px == 7) && py >= 6 && py < 14;
                bool h3 = (py == 6 || py == 7) && px >= 6 && px < 12;
                return h || v || h2 || v2 || h3;
            };
            float band = smoothstep(0.55f, 0.95f, r);  // pattern mostly toward the edges
            if (on(tx, ty)) c = add(c, scale(rgb(16, 12, 3), 0.25f + 0.75f * band));
            c = scale(c, vignette(x, y, 0.6f));
            p.bg[size_t(y) * 320 + x] = c;
        }
    return p.build();
}

// ---------------------------------------------------------------- Skull: bone and violet

mkassets::Bytes skull() {
    Pack p;
    p.pal.ramp(140, {rgb(0, 0, 0), rgb(9, 7, 6), rgb(24, 20, 15), rgb(40, 36, 27), rgb(54, 51, 41), rgb(61, 60, 55)});
    p.pal.ramp(70, {rgb(0, 0, 0), rgb(5, 0, 11), rgb(14, 3, 26), rgb(27, 10, 44), rgb(42, 26, 58), rgb(56, 48, 62)});
    // bone falling into violet shadow, so the painted cavities shade off smoothly
    p.pal.ramp(40, {rgb(6, 1, 12), rgb(14, 8, 16), rgb(24, 18, 20), rgb(34, 29, 22)});

    // The skull's texture is painted in its front projection: bake ambient occlusion from the
    // distance field on a 128 x 128 grid, then add bone grain at full resolution.
    const int AoN = 128;
    std::vector<float> ao(AoN * AoN, 1.0f);
    for (int j = 0; j < AoN; ++j)
        for (int i = 0; i < AoN; ++i) {
            float u = (i + 0.5f) / AoN, v = (j + 0.5f) / AoN;
            V3 o = v3((u - 0.5f) * models::SkullTexWidth, (0.5f - v) * models::SkullTexHeight, -1.6f);
            // March the field and a dilated copy of it: where the dilated surface lies well in
            // front of the real one the point is inside a cavity (sockets, nose, tooth gaps).
            auto march = [&](float grow, float& t) {
                t = 0;
                for (int s = 0; s < 90 && t < 3.5f; ++s) {
                    float d = models::skullField(o + v3(0, 0, t), false) - grow;
                    if (d < 0.002f) return true;
                    t += std::max(d * 0.9f, 0.004f);
                }
                return false;
            };
            float t, tg;
            if (!march(0.0f, t)) continue;
            march(0.22f, tg);
            V3 q = o + v3(0, 0, t);
            const float e = 0.004f;
            V3 n = normalise(v3(models::skullField(q + v3(e, 0, 0), false) - models::skullField(q - v3(e, 0, 0), false),
                                models::skullField(q + v3(0, e, 0), false) - models::skullField(q - v3(0, e, 0), false),
                                models::skullField(q + v3(0, 0, e), false) - models::skullField(q - v3(0, 0, e), false)));
            float occ = 0, sca = 1;
            for (int k = 1; k <= 6; ++k) {
                float h = 0.05f * k;
                occ += (h - models::skullField(q + n * h, false)) * sca;
                sca *= 0.75f;
            }
            // a plain slope also shifts the dilated hit, by grow / |nz|: only the excess counts
            float slope = 0.22f / std::max(std::fabs(n.z), 0.25f);
            float cavity = smoothstep(0.06f, 0.20f, t - tg - slope);
            // The hollows beside the teeth are deep seen from the front, but from the side the
            // same texels cover the jaw's branches: keep those bone-coloured.
            cavity *= 1.0f - smoothstep(0.30f, 0.40f, std::fabs(o.x)) * smoothstep(-0.30f, -0.40f, o.y);
            ao[j * AoN + i] = clampf(1.0f - 1.4f * occ, 0.0f, 1.0f) * (1.0f - 0.9f * cavity);
        }
    for (int pass = 0; pass < 2; ++pass) {  // soften: the texture is magnified on the model
        std::vector<float> b = ao;
        for (int j = 0; j < AoN; ++j)
            for (int i = 0; i < AoN; ++i) {
                float sum = 0;
                for (int dj = -1; dj <= 1; ++dj)
                    for (int di = -1; di <= 1; ++di)
                        sum += ao[std::clamp(j + dj, 0, AoN - 1) * AoN + std::clamp(i + di, 0, AoN - 1)];
                b[j * AoN + i] = sum / 9.0f;
            }
        ao = b;
    }
    auto aoAt = [&](float u, float v) {
        float x = u * AoN - 0.5f, y = v * AoN - 0.5f;
        int x0 = std::clamp(int(std::floor(x)), 0, AoN - 1), y0 = std::clamp(int(std::floor(y)), 0, AoN - 1);
        int x1 = std::min(AoN - 1, x0 + 1), y1 = std::min(AoN - 1, y0 + 1);
        float tx = clampf(x - x0, 0, 1), ty = clampf(y - y0, 0, 1);
        float a = ao[y0 * AoN + x0], b = ao[y0 * AoN + x1], c = ao[y1 * AoN + x0], d = ao[y1 * AoN + x1];
        return a + (b - a) * tx + (c - a) * ty + (a - b - c + d) * tx * ty;
    };
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float fx = x / 256.0f, fy = y / 256.0f;
            float grain = pfbm(fx, fy, 8, 4, 71);
            float pores = pfbm(fx, fy, 32, 2, 72);
            Rgb bone = mix(rgb(34, 30, 22), rgb(52, 48, 38), clampf(0.55f + grain * 0.8f, 0, 1));
            bone = mix(bone, rgb(30, 25, 18), smoothstep(0.4f, 0.75f, pores) * 0.35f);
            float a = aoAt(fx, fy);
            // occluded bone falls off into violet shadow
            Rgb c = mix(rgb(6, 1, 12), bone, smoothstep(0.05f, 0.85f, a));
            p.tex[size_t(y) * 256 + x] = c;
        }
    p.env = envMap([](float nx, float ny, float nz) { return glossLevel(nx, ny, nz, 0.14f, 0.75f, 0.35f, 16, 0.35f); },
                   0.45f);
    p.light = [](Rgb c, float l) {
        // Shadows go violet, the light side warm ivory.
        // (a multiplicative tint, so that more light is never darker)
        float w = smoothstep(0.0f, 0.5f, l);
        Rgb tint = rgb(0.80f + 0.20f * w, 0.55f + 0.45f * w, 1.35f - 0.35f * w);
        Rgb lit = scale(c, 0.16f + 1.05f * l);
        Rgb o = rgb(lit.r * tint.r, lit.g * tint.g, lit.b * tint.b);
        float s = smoothstep(0.8f, 1.0f, l);
        return add(o, scale(rgb(30, 30, 26), s * s));
    };

    // Background: violet haze with rays spreading from behind the skull.
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            float fx = x / 320.0f, fy = y / 200.0f;
            float dx = (x - 160.0f) / 160.0f, dy = (y - 92.0f) / 100.0f;
            float r = std::sqrt(dx * dx + dy * dy);
            float ang = std::atan2(dy, dx);
            float rays = 0.5f + 0.5f * std::sin(ang * 18.0f + 1.5f * pnoise(ang * 4.0f + 20.0f, 0.5f, 64, 81));
            rays = std::pow(rays, 2.0f) * smoothstep(1.4f, 0.3f, r) * smoothstep(0.05f, 0.35f, r) * 0.7f;
            Rgb c = mix(rgb(14, 5, 26), rgb(2, 0, 5), smoothstep(0.0f, 1.1f, r));
            c = add(c, scale(rgb(16, 8, 26), std::exp(-r * r * 5.0f)));
            c = add(c, scale(rgb(10, 4, 18), rays));
            float fog = pfbm(fx * 1.6f, fy, 4, 6, 82);
            c = add(c, scale(rgb(6, 3, 10), smoothstep(-0.1f, 0.7f, fog)));
            c = scale(c, vignette(x, y, 0.7f));
            p.bg[size_t(y) * 320 + x] = c;
        }
    return p.build();
}

// ---------------------------------------------------------------- Tendril: organic flesh

mkassets::Bytes tendril() {
    Pack p;
    p.pal.ramp(150, {rgb(0, 0, 0), rgb(10, 2, 3), rgb(26, 6, 8), rgb(44, 16, 16), rgb(57, 33, 29), rgb(62, 50, 46),
                     rgb(62, 62, 60)});
    p.pal.ramp(60, {rgb(4, 0, 2), rgb(12, 1, 5), rgb(22, 3, 9), rgb(32, 6, 12)});
    p.pal.ramp(40, {rgb(4, 2, 8), rgb(12, 5, 18), rgb(22, 10, 28)});

    // Flesh: cells with darker walls, dark veins branching over them, glossy speckles.
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float fx = x / 256.0f, fy = y / 256.0f;
            Cell cc = pvoronoi(fx, fy, 12, 91);
            float wall = 1.0f - smoothstep(0.0f, 0.18f, cc.f2 - cc.f1);
            float n = pfbm(fx, fy, 4, 5, 92);
            float vein = std::fabs(pfbm(fx, fy, 3, 5, 93));
            vein = 1.0f - smoothstep(0.0f, 0.06f, vein);
            Rgb c = mix(rgb(40, 12, 12), rgb(56, 26, 24), clampf(0.5f + n, 0, 1));
            c = mix(c, rgb(24, 4, 8), wall * 0.7f);
            c = mix(c, rgb(14, 4, 16), vein * 0.85f);
            float cellShade = 0.85f + 0.15f * (hash32(cc.id * 7 + 1) % 100) / 100.0f;
            c = scale(c, cellShade);
            p.tex[size_t(y) * 256 + x] = c;
        }
    p.env = envMap([](float nx, float ny, float nz) { return glossLevel(nx, ny, nz, 0.12f, 0.62f, 0.8f, 50, 0.45f); },
                   0.5f);
    p.light = [](Rgb c, float l) {
        // Wet: deep red shadows, a pink-white sheen.
        float w = smoothstep(0.0f, 0.5f, l);
        Rgb lit = scale(c, 0.14f + 1.15f * l);
        Rgb o = rgb(lit.r * (1.25f - 0.25f * w), lit.g * (0.6f + 0.4f * w), lit.b * (0.9f + 0.1f * w));
        float s = smoothstep(0.76f, 1.0f, l);
        return add(o, scale(rgb(34, 30, 30), s * s));
    };

    // Background: a membrane of large cells glowing at their nuclei.
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            float fx = x / 320.0f, fy = y / 200.0f;
            Cell cc = pvoronoi(fx, fy * 0.625f, 9, 101);
            float wall = 1.0f - smoothstep(0.0f, 0.10f, cc.f2 - cc.f1);
            float nucleus = std::exp(-cc.f1 * cc.f1 * 12.0f);
            float n = pfbm(fx, fy * 0.625f, 6, 4, 102);
            Rgb c = mix(rgb(8, 1, 4), rgb(15, 2, 7), clampf(0.5f + n, 0, 1));
            c = mix(c, rgb(4, 0, 3), wall * 0.6f);
            c = add(c, scale(rgb(9, 2, 5), nucleus));
            c = scale(c, 0.7f + 0.3f * ((hash32(cc.id * 13 + 5) % 100) / 100.0f));
            // a warm glow behind the object, darker toward the corners
            float dx = (x - 160.0f) / 160.0f, dy = (y - 100.0f) / 100.0f;
            c = add(c, scale(rgb(10, 2, 4), std::exp(-(dx * dx + dy * dy) * 2.5f)));
            c = scale(c, vignette(x, y, 0.8f));
            p.bg[size_t(y) * 320 + x] = c;
        }
    return p.build();
}

// ---------------------------------------------------------------- FinalTorus: gold

mkassets::Bytes tor() {
    Pack p;
    p.pal.ramp(160, {rgb(0, 0, 0), rgb(10, 6, 0), rgb(28, 18, 2), rgb(46, 34, 8), rgb(58, 48, 18), rgb(62, 58, 38),
                     rgb(62, 62, 58)});
    p.pal.ramp(70, {rgb(3, 2, 2), rgb(9, 6, 4), rgb(16, 11, 7), rgb(24, 17, 10)});

    // Hammered gold with engraved bands.
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            float fx = x / 256.0f, fy = y / 256.0f;
            Cell cc = pvoronoi(fx, fy, 16, 111);
            float dimple = smoothstep(0.0f, 0.7f, cc.f1);
            float n = pfbm(fx, fy, 4, 4, 112);
            float lv = 0.55f + 0.25f * dimple + 0.2f * n;
            // engraved grooves around the tube every quarter turn, each with a row of raised
            // beads beside it
            float gv = std::fabs(std::fmod(fy * 4.0f + 1.0f, 1.0f) - 0.5f);  // 0.5 at a groove
            if (gv > 0.44f) lv *= 0.45f;
            float bu = std::fmod(fx * 24.0f, 1.0f) - 0.5f, bv = (gv - 0.34f) * 6.0f;
            float bead = std::sqrt(bu * bu + bv * bv);
            if (bead < 0.30f) lv = 0.75f + 0.5f * (0.30f - bead) - 0.35f * (bu + bv) * (bead > 0.2f ? 1.0f : 0.3f);
            else if (bead < 0.38f) lv *= 0.6f;
            Rgb c = mix(rgb(30, 19, 3), rgb(56, 44, 14), clampf(lv, 0, 1));
            p.tex[size_t(y) * 256 + x] = c;
        }
    p.env = envMap([](float nx, float ny, float nz) { return chromeLevel(nx, ny, nz, 0.9f, 0.5f, 0.9f); }, 0.7f);
    p.light = [](Rgb c, float l) { return metalLight(c, l, rgb(20, 12, 0), 0.74f); };

    // Background: an art-deco sunburst with concentric rings.
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            float fx = x / 320.0f, fy = y / 200.0f;
            float dx = (x - 159.5f) / 100.0f, dy = (y - 99.5f) / 100.0f;
            float r = std::sqrt(dx * dx + dy * dy);
            float ang = std::atan2(dy, dx);
            float ray = std::fabs(std::fmod(ang / TwoPi * 24.0f + 100.0f, 1.0f) - 0.5f) * 2.0f;
            Rgb c = mix(rgb(14, 9, 4), rgb(3, 2, 1), smoothstep(0.0f, 1.7f, r));
            c = add(c, scale(rgb(8, 5, 1), smoothstep(0.5f, 0.9f, ray) * smoothstep(0.35f, 0.6f, r)));
            float ring = std::fabs(std::fmod(r * 6.0f, 1.0f) - 0.5f);
            c = add(c, scale(rgb(9, 6, 2), (1.0f - smoothstep(0.0f, 0.07f, std::fabs(ring - 0.42f))) *
                                                smoothstep(0.45f, 0.8f, r)));
            c = add(c, scale(rgb(2, 1, 0), pfbm(fx * 1.6f, fy, 8, 4, 121)));
            c = scale(c, vignette(x, y, 0.75f));
            p.bg[size_t(y) * 320 + x] = c;
        }
    return p.build();
}

}  // namespace

static bool generate(const std::string& outdir) {
    return mkassets::writeFile(outdir, "srcdata/blueenv.qxp", blueenv()) &&
           mkassets::writeFile(outdir, "srcdata/spike.qxp", spike()) &&
           mkassets::writeFile(outdir, "srcdata/knot.qxp", knot()) &&
           mkassets::writeFile(outdir, "srcdata/skull.qxp", skull()) &&
           mkassets::writeFile(outdir, "srcdata/tendril.qxp", tendril()) &&
           mkassets::writeFile(outdir, "srcdata/tor.qxp", tor());
}
MKASSETS_GENERATOR("objpacks", generate);

}  // namespace objpacks
