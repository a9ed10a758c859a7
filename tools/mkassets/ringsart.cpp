// The Rings scene's art: polished copper gimbal rings inlaid with cobalt enamel, engraved with a
// dial scale so their turning reads, in front of an engraved star chart. Writes
// srcdata/ringin.qx3, ringmid.qx3, ringout.qx3, lsenv.qxp and ringsani.qxa.
#include "ringsart.h"

#include "artlib.h"
#include "mkassets.h"
#include "qxa.h"

#include <cmath>

using namespace art;

namespace ringsart {

static const float Pi = 3.14159265358979f;
static const float TwoPi = 6.28318530717959f;

// Pins end a little short of the next ring's inner face (its facets lie at innerRadius at their
// corners and cos(pi / segments) of that between them).
static const RingShape s_shapes[3] = {
    {9.2f, 11.2f, 2.0f, 0.30f, 64, 2, 0, 0.42f, 12.22f, 0.0f, 0.0f},
    {12.4f, 14.6f, 2.2f, 0.32f, 64, 3, 1, 0.48f, 15.42f, 0.0f, 0.0f},
    {15.6f, 18.0f, 2.4f, 0.35f, 64, 4, 0, 0.55f, 20.0f, 0.95f, 19.3f},
};

const RingShape& ringShape(int ring) { return s_shapes[ring]; }

namespace {

// A corner of the section: radial distance, height, and the texture v where it lies.
struct SectionPoint {
    float r, z, v;
};

// Adds the quad a b c d (corners in order around it) as two triangles wound toward the normals,
// and its outline as a wireframe quad.
void quad(Mesh& m, const MVert& a, const MVert& b, const MVert& c, const MVert& d) {
    const int base = int(m.verts.size());
    m.tri(a, b, c);
    m.tri(a, c, d);
    auto find = [&](const MVert& q) {
        for (int k = base; k < int(m.verts.size()); ++k) {
            const MVert& w = m.verts[k];
            if (w.p.x == q.p.x && w.p.y == q.p.y && w.p.z == q.p.z && w.u == q.u && w.v == q.v) return k;
        }
        return base;
    };
    m.wire.insert(m.wire.end(), {find(a), find(b), find(c), find(d)});
}

// A pin: a cylinder along +axis (sign 1) or -axis (sign -1) from `from` to `to` (distances from
// the centre), closed at `to` by a flat cap and, when `shoulder` > 0, at `from` by a flat ring down
// to that radius (where a wide knob sits on a narrower shaft). Texture coordinates sit in the
// section's plain polished band.
void pin(Mesh& m, int axis, float sign, float from, float to, float radius, float shoulder) {
    const int sides = 12;
    const float vBand = SectionV[1] + 0.01f;
    const V3 axisDir = axis == 0 ? v3(sign, 0, 0) : v3(0, sign, 0);
    auto place = [&](float along, float rad, float t) {
        const float a = rad * std::cos(t), b = rad * std::sin(t);
        return axis == 0 ? v3(along * sign, a, b) : v3(a, along * sign, b);
    };
    auto vert = [&](V3 p, V3 n, float u, float v) {
        MVert q;
        q.p = p;
        q.n = n;
        q.u = u;
        q.v = v;
        return q;
    };
    for (int i = 0; i < sides; ++i) {
        const float t0 = TwoPi * i / sides, t1 = TwoPi * (i + 1) / sides;
        const float u0 = float(i) / sides * 0.25f, u1 = float(i + 1) / sides * 0.25f;
        auto side = [&](float along, float t, float u) {
            V3 p = place(along, radius, t);
            return vert(p, normalise(p - axisDir * dot(p, axisDir)), u, vBand);
        };
        quad(m, side(from, t0, u0), side(from, t1, u1), side(to, t1, u1), side(to, t0, u0));
        m.tri(vert(axisDir * to, axisDir, 0.125f, vBand + 0.01f), vert(place(to, radius, t0), axisDir, u0, vBand + 0.01f),
              vert(place(to, radius, t1), axisDir, u1, vBand + 0.01f));
        if (shoulder > 0) {
            const V3 back = axisDir * -1.0f;
            quad(m, vert(place(from, shoulder, t0), back, u0, vBand), vert(place(from, shoulder, t1), back, u1, vBand),
                 vert(place(from, radius, t1), back, u1, vBand + 0.02f), vert(place(from, radius, t0), back, u0, vBand + 0.02f));
        }
    }
}

}  // namespace

Mesh ringMesh(int ring) {
    const RingShape& s = s_shapes[ring];
    const float ri = s.innerRadius, ro = s.outerRadius, h = s.depth * 0.5f, c = s.chamfer;
    const SectionPoint sec[9] = {
        {ri, -h + c, SectionV[0]}, {ri, h - c, SectionV[1]},  {ri + c, h, SectionV[2]},
        {ro - c, h, SectionV[3]},  {ro, h - c, SectionV[4]},  {ro, -h + c, SectionV[5]},
        {ro - c, -h, SectionV[6]}, {ri + c, -h, SectionV[7]}, {ri, -h + c, SectionV[8]},
    };
    Mesh m;
    for (int f = 0; f < 8; ++f) {
        const SectionPoint& a = sec[f];
        const SectionPoint& b = sec[f + 1];
        // The face's outward normal in the section plane (radial, z): the section is walked
        // clockwise seen with r to the right and z up, so outward is (-dz, dr).
        float nr = -(b.z - a.z), nz = b.r - a.r;
        const float len = std::sqrt(nr * nr + nz * nz);
        nr /= len;
        nz /= len;
        for (int i = 0; i < s.segments; ++i) {
            auto vert = [&](const SectionPoint& p, int seg) {
                const float t = TwoPi * seg / s.segments;
                const float ct = std::cos(t), st = std::sin(t);
                MVert v;
                v.p = v3(p.r * ct, p.r * st, p.z);
                v.n = normalise(v3(nr * ct, nr * st, nz));
                v.u = float(seg) / s.segments * s.uRepeat;
                v.v = p.v;
                return v;
            };
            quad(m, vert(a, i), vert(a, i + 1), vert(b, i + 1), vert(b, i));
        }
    }
    const float pinStart = ro - 0.25f;
    for (float sign : {1.0f, -1.0f}) {
        const float shaftEnd = s.knobRadius > 0 ? s.knobStart : s.pinEnd;
        pin(m, s.pinAxis, sign, pinStart, shaftEnd, s.pinRadius, 0.0f);
        if (s.knobRadius > 0) pin(m, s.pinAxis, sign, s.knobStart, s.pinEnd, s.knobRadius, s.pinRadius);
    }
    return m;
}

// ---------------------------------------------------------------- image pack

namespace {

// Studio light over polished metal: a broad soft box above left, a thin strip light to the right,
// a dim floor. Level for a camera-space normal (y up, the viewer toward -z).
float studioLevel(float nx, float ny, float nz) {
    V3 n = v3(nx, ny, nz);
    V3 r = v3(0, 0, 1) - n * (2.0f * dot(v3(0, 0, 1), n));  // the reflected view ray
    float lvl = r.y >= 0 ? 0.34f + 0.22f * r.y : 0.30f - 0.24f * std::min(1.0f, -r.y * 1.6f);
    V3 box = normalise(v3(-0.55f, 0.62f, -0.56f));
    float d = std::max(0.0f, dot(r, box));
    lvl += 0.62f * std::pow(d, 6.0f) + 0.35f * std::pow(d, 40.0f);  // soft lobe with a brighter core
    V3 strip = normalise(v3(0.85f, 0.10f, -0.52f));
    float ds = std::max(0.0f, dot(r, strip));
    lvl += 0.30f * std::pow(ds, 18.0f);
    lvl += 0.10f * std::exp(-r.y * r.y * 60.0f);  // a faint horizon line
    return lvl;
}

Rgb copper(float t) {
    return mix(mix(rgb(22, 8, 4), rgb(46, 22, 12), clampf(t * 2, 0, 1)), rgb(58, 36, 24), clampf(t * 2 - 1, 0, 1));
}
Rgb enamel(float t) { return mix(rgb(2, 6, 22), rgb(8, 20, 44), t); }

// Distance (in texels) from x to the nearest multiple of `period`.
float toGrid(float x, float period) {
    float f = std::fmod(x, period);
    if (f < 0) f += period;
    return std::min(f, period - f);
}

// The dial band of a flat face: `across` runs 0 at the ring's inner edge to 1 at its outer edge,
// x is the texel column (0..256, periodic).
Rgb dialFace(float x, float across, float grain) {
    Rgb c = copper(0.55f + 0.25f * grain);
    // engraved scale along the outer edge: major, medium and minor ticks of different lengths
    float len = toGrid(x, 32) < 0.8f ? 0.34f : (toGrid(x, 16) < 0.7f ? 0.24f : (toGrid(x, 4) < 0.55f ? 0.13f : 0.0f));
    bool tick = across > 1.0f - len - 0.06f && across < 0.94f && len > 0;
    bool rim = std::fabs(across - 0.955f) < 0.02f;  // a fine line close to the edge
    // the enamel band: cartouches between the major ticks, each with a copper diamond
    bool inBand = across > 0.14f && across < 0.46f;
    float cell = std::fmod(x + 16.0f, 32.0f);  // 0..32 with its centre at 16
    float dx = std::fabs(cell - 16.0f) / 16.0f, dy = std::fabs(across - 0.30f) / 0.16f;
    bool cartouche = inBand && toGrid(x + 16.0f, 32) > 1.2f;
    bool diamond = dx * 1.6f + dy < 0.55f;
    if (cartouche && !diamond) {
        c = enamel(0.45f + 0.35f * (1.0f - dy) + 0.15f * grain);
    } else if (inBand && (std::fabs(across - 0.14f) < 0.03f || std::fabs(across - 0.46f) < 0.03f)) {
        c = copper(0.25f);  // the band's engraved border
    }
    if (diamond && cartouche) c = copper(0.85f - 0.3f * (dx * 1.6f + dy));
    if (tick || rim) c = copper(0.12f);
    if (std::fabs(across - 0.06f) < 0.02f) c = copper(0.2f);  // the inner edge line
    return c;
}

std::vector<Rgb> ringTexture() {
    std::vector<Rgb> tex(65536);
    auto band = [](float v, int k) { return (v - SectionV[k]) / (SectionV[k + 1] - SectionV[k]); };
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const float fx = x / 256.0f, fy = (y + 0.5f) / 256.0f;
            // fine brushing along the ring, periodic in both directions
            float grain = pnoise(fx * 2.0f, fy * 96.0f, 96, 301) * 0.6f + pfbm(fx, fy, 4, 3, 302) * 0.4f;
            Rgb c;
            if (fy < SectionV[1]) {  // inner face: darker, with two engraved lines
                float t = band(fy, 0);
                c = copper(0.35f + 0.2f * grain);
                if (std::fabs(t - 0.3f) < 0.06f || std::fabs(t - 0.7f) < 0.06f) c = copper(0.12f);
            } else if (fy < SectionV[2] || (fy >= SectionV[3] && fy < SectionV[4]) ||
                       (fy >= SectionV[5] && fy < SectionV[6]) || fy >= SectionV[7]) {
                c = copper(0.8f + 0.1f * grain);  // chamfers: bright polished edges
            } else if (fy < SectionV[3]) {
                c = dialFace(float(x), band(fy, 2), grain);
            } else if (fy < SectionV[5]) {  // outer face: enamel segments between copper bars
                float t = band(fy, 4);
                float g = toGrid(float(x), 16);
                bool bar = g < 2.2f;
                bool stud = g < 1.4f && std::fabs(t - 0.5f) < 0.16f;
                c = bar ? copper(0.7f + 0.1f * grain) : enamel(0.35f + 0.4f * std::sin(Pi * t) + 0.1f * grain);
                if (g >= 2.2f && g < 3.2f) c = copper(0.2f);  // engraved border of each segment
                if (stud) c = copper(0.95f);
                if (t < 0.12f || t > 0.88f) c = copper(0.6f);
            } else {  // bottom face: walked from the outer edge inward
                c = dialFace(float(x), 1.0f - band(fy, 6), grain);
            }
            tex[size_t(y) * 256 + x] = c;
        }
    return tex;
}

// The star chart behind the rings: deep blue-black, concentric orbits and meridians engraved in
// faint copper around the centre, constellation-like star groups and a soft nebula.
std::vector<Rgb> background() {
    std::vector<Rgb> bg(64000);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 320; ++x) {
            float fx = x / 320.0f, fy = y / 200.0f;
            float dx = (x - 159.5f), dy = (y - 99.5f);
            float r = std::sqrt(dx * dx + dy * dy);
            float ang = std::atan2(dy, dx);
            Rgb c = mix(rgb(3, 5, 14), rgb(1, 1, 5), smoothstep(20.0f, 210.0f, r));
            float neb = pfbm(fx * 1.6f, fy, 4, 6, 311);
            float neb2 = pfbm(fx * 1.6f + 0.37f, fy + 0.21f, 3, 5, 312);
            c = add(c, scale(rgb(5, 6, 16), smoothstep(0.0f, 0.7f, neb)));
            c = add(c, scale(rgb(9, 3, 8), smoothstep(0.25f, 0.8f, neb2) * 0.7f));
            // orbits: thin circles every 26 pixels, a double line on every third
            float ring = toGrid(r, 26.0f);
            float line = 1.0f - smoothstep(0.35f, 1.0f, ring);
            if (int(std::lround(r / 26.0f)) % 3 == 0) line = std::max(line, 1.0f - smoothstep(0.3f, 0.9f, std::fabs(ring - 2.4f)));
            // meridians every 15 degrees, fading toward the centre
            float merid = toGrid(ang * 180.0f / Pi, 15.0f) * Pi / 180.0f * r;  // distance in pixels
            float mline = (1.0f - smoothstep(0.3f, 0.9f, merid)) * smoothstep(30.0f, 70.0f, r);
            // tick marks on the outermost orbit
            float engraved = std::max(line * smoothstep(15.0f, 40.0f, r), mline * 0.7f);
            engraved *= 0.55f + 0.45f * smoothstep(-0.2f, 0.6f, pfbm(fx * 1.6f, fy, 8, 3, 313));  // worn
            c = add(c, scale(rgb(16, 9, 5), engraved * 0.55f));
            // stars: a few bright ones with a cross glint, many faint
            float st = hashf(x, y, 314);
            if (st > 0.9985f) c = add(c, scale(rgb(40, 42, 48), (st - 0.9985f) / 0.0015f));
            else if (st > 0.994f) c = add(c, scale(rgb(12, 13, 20), (st - 0.994f) / 0.0045f));
            for (int k = 0; k < 9; ++k) {  // bright stars with soft halos
                float sx = 20.0f + 280.0f * hashf(k, 1, 315), sy = 12.0f + 176.0f * hashf(k, 2, 315);
                float ddx = x - sx, ddy = y - sy;
                float d2 = ddx * ddx + ddy * ddy;
                float glow = std::exp(-d2 / 3.0f) + 0.35f * std::exp(-d2 / 30.0f);
                glow += 0.5f * std::exp(-ddy * ddy * 1.5f - std::fabs(ddx) * 0.5f) + 0.5f * std::exp(-ddx * ddx * 1.5f - std::fabs(ddy) * 0.5f);
                c = add(c, scale(rgb(30, 32, 40), glow * (0.5f + 0.5f * hashf(k, 3, 315))));
            }
            // the centre behind the rings glows faintly warm
            c = add(c, scale(rgb(8, 4, 3), std::exp(-r * r / 5000.0f)));
            float vx = (x - 159.5f) / 160.0f, vy = (y - 99.5f) / 100.0f;
            c = scale(c, 1.0f - 0.6f * smoothstep(0.3f, 1.7f, vx * vx * 0.8f + vy * vy));
            bg[size_t(y) * 320 + x] = c;
        }
    return bg;
}

// Polished metal: the diffuse colour scaled by the light, warm highlights burning to white.
Rgb metalLight(Rgb c, float l) {
    Rgb o = scale(c, 0.12f + 1.3f * l);
    o = add(o, scale(rgb(16, 8, 4), l * l * 0.45f));
    float s = smoothstep(0.72f, 1.0f, l);
    return mix(o, rgb(63, 60, 54), s * s * 0.9f);
}

mkassets::Bytes lsenv() {
    Palette pal;
    pal.ramp(120, {rgb(0, 0, 0), rgb(12, 4, 2), rgb(28, 11, 5), rgb(46, 22, 11), rgb(58, 36, 22), rgb(62, 52, 42),
                   rgb(63, 62, 58)});
    pal.ramp(70, {rgb(0, 0, 0), rgb(1, 3, 12), rgb(4, 10, 28), rgb(10, 22, 46), rgb(26, 40, 58), rgb(52, 58, 63)});
    pal.ramp(40, {rgb(1, 1, 4), rgb(4, 5, 14), rgb(9, 6, 14), rgb(16, 10, 10), rgb(26, 16, 10)});
    pal.ramp(20, {rgb(6, 7, 12), rgb(20, 21, 28), rgb(40, 42, 50)});
    pal.finish();
    std::vector<uint8_t> tex = quantise(pal, ringTexture(), 256, 256, 0.8f);
    std::vector<uint8_t> bgPix = quantise(pal, background(), 320, 200, 1.2f);
    std::vector<uint8_t> env = envMap(studioLevel, 0.32f);
    std::vector<uint8_t> lut = shadingTable(pal, metalLight);
    return buildPack(tex, env, pal, lut, {PackImage{320, 200, bgPix}});
}

}  // namespace

// ---------------------------------------------------------------- camera path

qxa::Track cameraTrack() {
    // (time, azimuth, elevation, distance): a little over one turn, rising over the rings, diving
    // close past them and underneath, and pulling back at the end.
    const float path[][4] = {
        {0, -25, 12, 94},  {2, 18, 26, 78},   {4, 68, 36, 64},    {6, 122, 18, 57},  {8, 172, -14, 60},
        {10, 216, -24, 70}, {12, 264, 4, 63}, {14, 312, 28, 72}, {16, 352, 16, 88},
    };
    std::vector<qxa::Key> controls;
    for (const auto& p : path) {
        const float az = p[1] * Pi / 180.0f, el = p[2] * Pi / 180.0f, d = p[3];
        controls.push_back(qxa::Key{v3(d * std::cos(el) * std::sin(az), d * std::sin(el), -d * std::cos(el) * std::cos(az)), p[0]});
    }
    return qxa::Track{"Camera", qxa::sampleSpline(controls, 0.05f, false)};
}

static bool generate(const std::string& outdir) {
    static const char* const files[3] = {"srcdata/ringin.qx3", "srcdata/ringmid.qx3", "srcdata/ringout.qx3"};
    for (int i = 0; i < 3; ++i)
        if (!mkassets::writeFile(outdir, files[i], buildQx3(ringMesh(i)))) return false;
    return mkassets::writeFile(outdir, "srcdata/lsenv.qxp", lsenv()) &&
           qxa::write(outdir, "srcdata/ringsani.qxa", {cameraTrack()});
}
MKASSETS_GENERATOR("rings", generate);

}  // namespace ringsart
