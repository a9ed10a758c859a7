#include "artlib.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace art {

Rgb mix(Rgb a, Rgb b, float t) { return Rgb{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t}; }
Rgb scale(Rgb a, float s) { return Rgb{a.r * s, a.g * s, a.b * s}; }
Rgb add(Rgb a, Rgb b) { return Rgb{a.r + b.r, a.g + b.g, a.b + b.b}; }
float luminance(Rgb c) { return 0.30f * c.r + 0.59f * c.g + 0.11f * c.b; }
float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }
float smoothstep(float e0, float e1, float x) {
    float t = clampf((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// ---------------------------------------------------------------- palette

void Palette::ramp(int count, const std::vector<Rgb>& stops, const std::vector<float>& pos) {
    int ns = int(stops.size());
    for (int i = 0; i < count; ++i) {
        float t = count > 1 ? float(i) / float(count - 1) : 0.0f;
        if (ns == 1) { add(stops[0]); continue; }
        int k = 0;
        float lt = 0;
        for (k = 0; k < ns - 1; ++k) {
            float p0 = pos.empty() ? float(k) / float(ns - 1) : pos[k];
            float p1 = pos.empty() ? float(k + 1) / float(ns - 1) : pos[k + 1];
            if (t <= p1 || k == ns - 2) {
                lt = p1 > p0 ? clampf((t - p0) / (p1 - p0), 0.0f, 1.0f) : 0.0f;
                break;
            }
        }
        add(mix(stops[k], stops[k + 1], lt));
    }
}

void Palette::add(Rgb c) { m_list.push_back(c); }

void Palette::finish() {
    // Quantise, drop exact duplicates, reserve black and white.
    std::vector<std::array<uint8_t, 3>> q;
    for (const Rgb& c : m_list) {
        std::array<uint8_t, 3> e = {uint8_t(std::lround(clampf(c.r, 0, 62))), uint8_t(std::lround(clampf(c.g, 0, 62))),
                                    uint8_t(std::lround(clampf(c.b, 0, 62)))};
        if (e[0] == 0 && e[1] == 0 && e[2] == 0) continue;
        if (std::find(q.begin(), q.end(), e) == q.end()) q.push_back(e);
    }
    if (q.size() > 254) q.resize(254);
    // Pad by splitting the widest gaps between neighbours in brightness order, so the extra
    // entries refine the ramps the scene already uses.
    auto lum = [](const std::array<uint8_t, 3>& a) { return 0.30f * a[0] + 0.59f * a[1] + 0.11f * a[2]; };
    while (q.size() < 254) {
        std::vector<std::array<uint8_t, 3>> s = q;
        s.push_back({0, 0, 0});
        std::stable_sort(s.begin(), s.end(), [&](const auto& a, const auto& b) { return lum(a) < lum(b); });
        std::vector<std::pair<int, size_t>> gaps;
        for (size_t i = 0; i + 1 < s.size(); ++i) {
            int d = 0;
            for (int k = 0; k < 3; ++k) d += (s[i][k] - s[i + 1][k]) * (s[i][k] - s[i + 1][k]);
            gaps.push_back({-d, i});
        }
        std::stable_sort(gaps.begin(), gaps.end());
        bool added = false;
        for (auto& g : gaps) {
            const auto &a = s[g.second], &b = s[g.second + 1];
            std::array<uint8_t, 3> m = {uint8_t((a[0] + b[0] + 1) / 2), uint8_t((a[1] + b[1] + 1) / 2),
                                        uint8_t((a[2] + b[2] + 1) / 2)};
            if ((m[0] | m[1] | m[2]) && std::find(q.begin(), q.end(), m) == q.end()) {
                q.push_back(m);
                added = true;
                break;
            }
        }
        if (!added) {
            // Every gap is a single step: take the first unused dark grey-blue.
            for (int v = 1; v < 64 * 64 && !added; ++v) {
                std::array<uint8_t, 3> m = {uint8_t(v % 63), uint8_t(v % 63), uint8_t(std::min(62, v % 63 + v / 63))};
                if ((m[0] | m[1] | m[2]) && std::find(q.begin(), q.end(), m) == q.end()) {
                    q.push_back(m);
                    added = true;
                }
            }
        }
    }
    std::stable_sort(q.begin(), q.end(), [](const auto& a, const auto& b) {
        float la = 0.30f * a[0] + 0.59f * a[1] + 0.11f * a[2];
        float lb = 0.30f * b[0] + 0.59f * b[1] + 0.11f * b[2];
        if (la != lb) return la < lb;
        return a < b;
    });
    std::memset(m_c, 0, sizeof(m_c));
    for (int i = 0; i < 254; ++i)
        for (int k = 0; k < 3; ++k) m_c[i + 1][k] = q[i][k];
    m_c[255][0] = m_c[255][1] = m_c[255][2] = 63;
    m_cache.assign(64 * 64 * 64, -1);
    m_finished = true;
}

Rgb Palette::colour(int i) const { return Rgb{float(m_c[i][0]), float(m_c[i][1]), float(m_c[i][2])}; }

uint8_t Palette::nearest(Rgb c) {
    if (!m_finished) finish();  // searches only make sense on the final, sorted palette
    int r = int(std::lround(clampf(c.r, 0, 63)));
    int g = int(std::lround(clampf(c.g, 0, 63)));
    int b = int(std::lround(clampf(c.b, 0, 63)));
    int key = (r * 64 + g) * 64 + b;
    if (m_cache[key] >= 0) return uint8_t(m_cache[key]);
    int best = 0, bestd = 1 << 30;
    for (int i = 0; i < 256; ++i) {
        int dr = m_c[i][0] - r, dg = m_c[i][1] - g, db = m_c[i][2] - b;
        // Perceptual weights: green differences show most, blue least.
        int d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (d < bestd) { bestd = d; best = i; }
    }
    m_cache[key] = int16_t(best);
    return uint8_t(best);
}

mkassets::Bytes Palette::bytes8() const {
    mkassets::Bytes b;
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) b.push_back(uint8_t((m_c[i][k] << 2) | (m_c[i][k] >> 4)));
    return b;
}
mkassets::Bytes Palette::bytes6() const {
    mkassets::Bytes b;
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 3; ++k) b.push_back(m_c[i][k]);
    return b;
}

float bayer(int x, int y) {
    static const uint8_t m[8][8] = {{0, 32, 8, 40, 2, 34, 10, 42},   {48, 16, 56, 24, 50, 18, 58, 26},
                                    {12, 44, 4, 36, 14, 46, 6, 38},  {60, 28, 52, 20, 62, 30, 54, 22},
                                    {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
                                    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};
    return (m[y & 7][x & 7] + 0.5f) / 64.0f - 0.5f;
}

std::vector<uint8_t> quantise(Palette& pal, const std::vector<Rgb>& img, int w, int h, float amount) {
    std::vector<uint8_t> out(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float d = bayer(x, y) * amount;
            Rgb c = img[size_t(y) * w + x];
            out[size_t(y) * w + x] = pal.nearest(Rgb{c.r + d, c.g + d, c.b + d});
        }
    return out;
}

// ---------------------------------------------------------------- noise

uint32_t hash32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}
float hashf(int x, int y, int seed) {
    uint32_t h = hash32(uint32_t(x) * 0x9E3779B1U ^ hash32(uint32_t(y) * 0x85EBCA77U ^ uint32_t(seed) * 0xC2B2AE3DU));
    return float(h >> 8) * (1.0f / 16777216.0f);
}
float hashf3(int x, int y, int z, int seed) {
    uint32_t h = hash32(uint32_t(x) * 0x9E3779B1U ^ hash32(uint32_t(y) * 0x85EBCA77U ^
                                                             hash32(uint32_t(z) * 0x27D4EB2FU ^ uint32_t(seed))));
    return float(h >> 8) * (1.0f / 16777216.0f);
}

static int wrapi(int a, int n) { return ((a % n) + n) % n; }

float pnoise(float x, float y, int per, int seed) {
    float fx = std::floor(x), fy = std::floor(y);
    int ix = int(fx), iy = int(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    int x0 = wrapi(ix, per), x1 = wrapi(ix + 1, per), y0 = wrapi(iy, per), y1 = wrapi(iy + 1, per);
    float a = hashf(x0, y0, seed), b = hashf(x1, y0, seed), c = hashf(x0, y1, seed), d = hashf(x1, y1, seed);
    return (a + (b - a) * tx + (c - a) * ty + (a - b - c + d) * tx * ty) * 2.0f - 1.0f;
}

float pfbm(float fx, float fy, int baseper, int octaves, int seed, float gain) {
    float sum = 0, amp = 1, norm = 0;
    int per = baseper;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * pnoise(fx * per, fy * per, per, seed + o * 101);
        norm += amp;
        amp *= gain;
        per *= 2;
    }
    return sum / norm;
}

float noise3(float x, float y, float z, int seed) {
    float fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
    int ix = int(fx), iy = int(fy), iz = int(fz);
    float tx = x - fx, ty = y - fy, tz = z - fz;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    tz = tz * tz * (3 - 2 * tz);
    float v[2][2][2];
    for (int k = 0; k < 2; ++k)
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i) v[k][j][i] = hashf3(ix + i, iy + j, iz + k, seed);
    auto l = [](float a, float b, float t) { return a + (b - a) * t; };
    float a = l(l(v[0][0][0], v[0][0][1], tx), l(v[0][1][0], v[0][1][1], tx), ty);
    float b = l(l(v[1][0][0], v[1][0][1], tx), l(v[1][1][0], v[1][1][1], tx), ty);
    return l(a, b, tz) * 2.0f - 1.0f;
}

float fbm3(float x, float y, float z, int octaves, int seed) {
    float sum = 0, amp = 1, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * noise3(x, y, z, seed + o * 37);
        norm += amp;
        amp *= 0.5f;
        x *= 2.03f;
        y *= 2.03f;
        z *= 2.03f;
    }
    return sum / norm;
}

Cell pvoronoi(float fx, float fy, int n, int seed) {
    float x = fx * n, y = fy * n;
    int cx = int(std::floor(x)), cy = int(std::floor(y));
    Cell c{1e9f, 1e9f, 0};
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i) {
            int gx = cx + i, gy = cy + j;
            int wx = wrapi(gx, n), wy = wrapi(gy, n);
            float px = gx + 0.1f + 0.8f * hashf(wx, wy, seed);
            float py = gy + 0.1f + 0.8f * hashf(wx, wy, seed + 7);
            float d = std::sqrt((px - x) * (px - x) + (py - y) * (py - y));
            if (d < c.f1) {
                c.f2 = c.f1;
                c.f1 = d;
                c.id = uint32_t(wy * n + wx);
            } else if (d < c.f2) {
                c.f2 = d;
            }
        }
    return c;
}

// ---------------------------------------------------------------- maps and tables

std::vector<uint8_t> envMap(const std::function<float(float, float, float)>& shade, float rimLevel) {
    std::vector<uint8_t> out(65536);
    for (int row = 0; row < 256; ++row)
        for (int col = 0; col < 256; ++col) {
            float nx = (col + 0.5f) / 128.0f - 1.0f;
            float ny = (row + 0.5f) / 128.0f - 1.0f;
            float r = std::sqrt(nx * nx + ny * ny);
            float k = r > 0.999f ? 0.999f / r : 1.0f;
            float sx = nx * k, sy = ny * k;
            float nz = -std::sqrt(std::max(0.0f, 1.0f - sx * sx - sy * sy));
            float l = shade(sx, sy, nz);
            // Within the outer ring fade to a common rim value: the rasteriser's coordinates wrap
            // at 1.0, so the left and right (top and bottom) edges meet.
            float w = smoothstep(0.90f, 1.0f, r);
            l = l + (rimLevel - l) * w;
            out[size_t(row) * 256 + col] = uint8_t(std::lround(clampf(l, 0.0f, 1.0f) * 255.0f));
        }
    return out;
}

std::vector<uint8_t> shadingTable(Palette& pal, const std::function<Rgb(Rgb, float)>& light) {
    std::vector<uint8_t> lut(65536);
    for (int e = 0; e < 256; ++e) {
        float l = e / 255.0f;
        for (int d = 0; d < 256; ++d) lut[size_t(e) * 256 + d] = pal.nearest(light(pal.colour(d), l));
    }
    return lut;
}

mkassets::Bytes buildPack(const std::vector<uint8_t>& texture, const std::vector<uint8_t>& envmap, const Palette& pal,
                          const std::vector<uint8_t>& lut, const std::vector<PackImage>& images) {
    mkassets::Bytes b;
    b.reserve(0x30300 + 64000 * images.size() + 48);
    mkassets::putBytes(b, texture.data(), 65536);
    mkassets::putBytes(b, envmap.data(), 65536);
    mkassets::Bytes p = pal.bytes8();
    mkassets::putBytes(b, p.data(), 768);
    mkassets::putBytes(b, lut.data(), 65536);
    uint32_t offs[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < images.size() && i < 4; ++i) {
        offs[i] = uint32_t(b.size());
        mkassets::putBytes(b, images[i].pixels.data(), images[i].pixels.size());
    }
    for (int i = 0; i < 16; ++i) mkassets::putU8(b, 0);
    for (int i = 0; i < 4; ++i) {
        bool used = i < int(images.size());
        mkassets::putU16(b, used ? images[i].w : 0);
        mkassets::putU16(b, used ? images[i].h : 0);
        mkassets::putU32(b, offs[i]);
    }
    return b;
}

mkassets::Bytes buildTga8(const std::vector<uint8_t>& pixels, int w, int h, const Palette& pal) {
    mkassets::Bytes b;
    mkassets::putU8(b, 0);
    mkassets::putU8(b, 1);
    mkassets::putU8(b, 1);
    mkassets::putU16(b, 0);
    mkassets::putU16(b, 256);
    mkassets::putU8(b, 24);
    mkassets::putU16(b, 0);
    mkassets::putU16(b, 0);
    mkassets::putU16(b, uint32_t(w));
    mkassets::putU16(b, uint32_t(h));
    mkassets::putU8(b, 8);
    mkassets::putU8(b, 0);
    mkassets::Bytes p = pal.bytes8();
    for (int i = 0; i < 256; ++i) {
        mkassets::putU8(b, p[i * 3 + 2]);
        mkassets::putU8(b, p[i * 3 + 1]);
        mkassets::putU8(b, p[i * 3 + 0]);
    }
    for (int y = h - 1; y >= 0; --y) mkassets::putBytes(b, pixels.data() + size_t(y) * w, size_t(w));
    return b;
}

// ---------------------------------------------------------------- models

V3 operator+(V3 a, V3 b) { return V3{a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return V3{a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, float s) { return V3{a.x * s, a.y * s, a.z * s}; }
float dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 cross(V3 a, V3 b) { return V3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float length(V3 a) { return std::sqrt(dot(a, a)); }
V3 normalise(V3 a) {
    float l = length(a);
    return l > 0 ? a * (1.0f / l) : V3{0, 0, 1};
}

void Mesh::tri(const MVert& a, const MVert& b, const MVert& c, bool orient) {
    // The rasteriser draws a triangle whose corners run clockwise on screen (y down), which for
    // a camera looking along +z is cross(b - a, c - a) pointing at the viewer: that cross
    // product is the outward face normal.
    V3 fn = cross(b.p - a.p, c.p - a.p);
    // Zero-area triangles (at the poles of a surface of revolution) are never drawn: drop them.
    if (length(fn) < 1e-6f) return;
    V3 ns = a.n + b.n + c.n;
    if (orient && dot(fn, ns) < 0) {
        verts.push_back(a);
        verts.push_back(c);
        verts.push_back(b);
    } else {
        verts.push_back(a);
        verts.push_back(b);
        verts.push_back(c);
    }
    ++numTris;
}

int Mesh::addExtra(const MVert& v) {
    verts.push_back(v);
    return int(verts.size()) - 1;
}

mkassets::Bytes buildQx3(const Mesh& m) {
    mkassets::Bytes b;
    b.reserve(10 + m.verts.size() * 48 + m.wire.size() * 4);
    mkassets::putU32(b, 0);
    mkassets::putU16(b, uint32_t(m.verts.size()));
    mkassets::putU16(b, uint32_t(m.numTris));
    mkassets::putU16(b, uint32_t(m.wire.size()));
    for (const MVert& v : m.verts) {
        mkassets::putF32(b, v.p.x);
        mkassets::putF32(b, v.p.y);
        mkassets::putF32(b, v.p.z);
        mkassets::putF32(b, 0.0f);
        mkassets::putF32(b, v.n.x);
        mkassets::putF32(b, v.n.y);
        mkassets::putF32(b, v.n.z);
        mkassets::putF32(b, 0.0f);
        mkassets::putF32(b, v.u);
        mkassets::putF32(b, v.v);
        mkassets::putF32(b, 0.0f);
        mkassets::putF32(b, 0.0f);
    }
    for (int32_t i : m.wire) mkassets::putU32(b, uint32_t(i));
    return b;
}

void gridMesh(Mesh& m, const ParamSurface& surf, int ns, int nt, bool wrapS, float uRep, float vRep, int wireStepS,
              int wireStepT) {
    int cols = wrapS ? ns : ns - 1;  // cells along s
    // Vertex grid (ns+1) x (nt+1); the last column/row repeats the first position with the
    // continued texture coordinate.
    int gs = ns + 1, gt = nt + 1;
    std::vector<MVert> g(size_t(gs) * gt);
    const float h = 1e-3f;
    auto ringCentre = [&](float s) {
        V3 c{0, 0, 0};
        for (int j = 0; j < nt; ++j) c = c + surf.pos(s, float(j) / nt);
        return c * (1.0f / nt);
    };
    for (int i = 0; i < gs; ++i) {
        float s = wrapS ? float(i) / ns : float(i) / (ns - 1 > 0 ? ns - 1 : 1);
        if (!wrapS && i >= ns) s = 1.0f;
        V3 centre = ringCentre(s);
        // At a pole (a ring shrunk to a point) the derivatives vanish: take them just inside
        // the surface, and orient against the neighbouring ring's centre.
        float inward = (!wrapS && s > 0.5f) ? -1.0f : 1.0f;
        V3 poleRef = ringCentre(std::clamp(s + inward / float(ns), 0.0f, wrapS ? 2.0f : 1.0f));
        for (int j = 0; j < gt; ++j) {
            float t = float(j) / nt;
            MVert v;
            v.p = surf.pos(wrapS && i == ns ? 0.0f : s, j == nt ? 0.0f : t);
            V3 n{0, 0, 0};
            for (int k = 0; k < 3 && length(n) < 1e-7f; ++k) {
                float sd = std::clamp(s + inward * 0.002f * float(k), 0.0f, wrapS ? 2.0f : 1.0f);
                float s0 = std::max(0.0f, sd - h), s1 = std::min(wrapS ? 2.0f : 1.0f, sd + h);
                V3 ps = surf.pos(s1, t) - surf.pos(s0, t);
                V3 pt = surf.pos(sd, t + h) - surf.pos(sd, t - h);
                n = cross(ps, pt);
            }
            V3 out = v.p - centre;
            if (length(out) < 1e-4f) out = v.p - poleRef;
            if (length(n) < 1e-7f) n = out;
            n = normalise(n);
            if (dot(n, out) < 0) n = n * -1.0f;
            v.n = n;
            v.u = s * uRep;
            v.v = t * vRep;
            g[size_t(i) * gt + j] = v;
        }
    }
    for (int i = 0; i < cols; ++i)
        for (int j = 0; j < nt; ++j) {
            const MVert& a = g[size_t(i) * gt + j];
            const MVert& b = g[size_t(i + 1) * gt + j];
            const MVert& c = g[size_t(i + 1) * gt + j + 1];
            const MVert& d = g[size_t(i) * gt + j + 1];
            int base = int(m.verts.size());
            // Split along the shorter diagonal for the smoother shape.
            if (length(a.p - c.p) <= length(b.p - d.p)) {
                m.tri(a, b, c);
                m.tri(a, c, d);
            } else {
                m.tri(a, b, d);
                m.tri(b, c, d);
            }
            if (i % wireStepS == 0 || j % wireStepT == 0) {
                // Find the stored copies of the four corners for the wireframe quad.
                auto find = [&](const MVert& q) {
                    for (int k = base; k < int(m.verts.size()); ++k) {
                        const MVert& w = m.verts[k];
                        if (w.p.x == q.p.x && w.p.y == q.p.y && w.p.z == q.p.z && w.u == q.u && w.v == q.v) return k;
                    }
                    return base;
                };
                int ia = find(a), ib = find(b), ic = find(c), id = find(d);
                if (wireStepS == 1 && wireStepT == 1) {
                    m.wire.insert(m.wire.end(), {ia, ib, ic, id});
                } else {
                    // A coarse grid: single edges as quads that repeat their last corner.
                    if (i % wireStepS == 0) m.wire.insert(m.wire.end(), {ia, id, id, id});
                    if (j % wireStepT == 0) m.wire.insert(m.wire.end(), {ia, ib, ib, ib});
                }
            }
        }
}

}  // namespace art
