// The solid objects of the 3D scenes: torus (Wire, FinalTorus), spike ball, torus-knot tube,
// braided tendril and skull, written as .qx3 triangle lists with wireframe quads.
//
// Sizes are chosen for each scene's depth and field of view (screen size = size * 250 / z):
// torus outer radius 13 at z 55-60, knot about 13 at z 50, spike tips 21 at z 80, tendril and
// skull about 40 tall at z 80, so each object fills roughly two thirds of the 200 rows.
//
// Orientation: camera space looks along +z with y up; the rasteriser draws triangles whose
// cross(b - a, c - a) faces the viewer, so every triangle is stored with that cross product
// pointing outward (Mesh::tri).
#include "models.h"

#include "artlib.h"
#include "mkassets.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>
#include <unordered_set>

using namespace art;

namespace models {

static const float Pi = 3.14159265358979f;
static const float TwoPi = 6.28318530717959f;

// ---------------------------------------------------------------- torus

namespace {
struct Torus : ParamSurface {
    float R, r;
    V3 pos(float s, float t) const override {
        float a = TwoPi * s, b = TwoPi * t;
        float w = R + r * std::cos(b);
        return v3(w * std::cos(a), w * std::sin(a), r * std::sin(b));
    }
};
}  // namespace

Mesh torus() {
    Torus t;
    t.R = 9.5f;
    t.r = 3.5f;
    Mesh m;
    gridMesh(m, t, 40, 20, true, 3.0f, 1.0f);
    return m;
}

// ---------------------------------------------------------------- tubes along curves

namespace {
// A tube of radius rad(s) around the curve c(s), framed by parallel transport; for a closed
// curve the frame's leftover twist is spread evenly so that the seam matches.
struct Tube : ParamSurface {
    std::function<V3(float)> centre;
    std::function<float(float)> radius;
    bool closed = true;
    float twist = 0;  // extra turns of the frame along the length (texture spiral)
    static const int N = 2048;
    std::vector<V3> nrm, bin;

    void build() {
        nrm.resize(N + 1);
        bin.resize(N + 1);
        auto tangent = [&](float s) {
            float h = 1e-4f;
            float s0 = closed ? s - h : std::max(0.0f, s - h), s1 = closed ? s + h : std::min(1.0f, s + h);
            return normalise(centre(s1) - centre(s0));
        };
        V3 t0 = tangent(0);
        V3 up = std::fabs(t0.y) < 0.9f ? v3(0, 1, 0) : v3(1, 0, 0);
        V3 n = normalise(cross(cross(t0, up), t0));
        for (int i = 0; i <= N; ++i) {
            float s = float(i) / N;
            V3 t = tangent(s);
            n = normalise(n - t * dot(n, t));
            nrm[i] = n;
            bin[i] = cross(t, n);
        }
        if (closed) {
            // Angle between the transported end frame and the start frame, spread over the length.
            V3 ne = nrm[N], n0 = nrm[0], b0 = bin[0];
            float ang = std::atan2(dot(ne, b0), dot(ne, n0));
            for (int i = 0; i <= N; ++i) {
                float a = -ang * float(i) / N;
                V3 a0 = nrm[i], a1 = bin[i];
                nrm[i] = a0 * std::cos(a) + a1 * std::sin(a);
                bin[i] = a1 * std::cos(a) - a0 * std::sin(a);
            }
        }
    }
    V3 pos(float s, float t) const override {
        float ss = closed ? s - std::floor(s) : std::clamp(s, 0.0f, 1.0f);
        float x = ss * N;
        int i = std::min(N - 1, int(x));
        float f = x - i;
        V3 n = normalise(nrm[i] * (1 - f) + nrm[i + 1] * f);
        V3 b = normalise(bin[i] * (1 - f) + bin[i + 1] * f);
        float a = TwoPi * (t + twist * s);
        return centre(s) + (n * std::cos(a) + b * std::sin(a)) * radius(ss);
    }
};
}  // namespace

Mesh knot() {
    Tube k;
    const float R = 7.4f, r = 3.3f;
    k.centre = [=](float s) {
        float phi = TwoPi * s;
        float w = R + r * std::cos(3 * phi);
        return v3(w * std::cos(2 * phi), w * std::sin(2 * phi), -r * std::sin(3 * phi));
    };
    k.radius = [](float) { return 2.2f; };
    k.closed = true;
    k.build();
    Mesh m;
    // 8 texture repeats along the length, one around, matching the tube's proportions.
    gridMesh(m, k, 128, 12, true, 8.0f, 1.0f);
    return m;
}

// ---------------------------------------------------------------- tendril

namespace {
struct Bulb : ParamSurface {
    // Surface of revolution around y, lumpy, closed at both poles.
    V3 pos(float s, float t) const override {
        float th = Pi * std::clamp(s, 0.0f, 1.0f);  // 0 = bottom pole
        float ph = TwoPi * t;
        float rr = 8.0f * std::sin(th) * (1.0f + 0.12f * std::sin(3 * ph + 2 * th) * std::sin(th));
        float y = -18.0f - 5.0f * std::cos(th);
        return v3(rr * std::cos(ph), y, rr * std::sin(ph));
    }
};
}  // namespace

// Rounds off the open end of a tube at s = 0 or 1 with a half-sphere of the end radius, so that
// the strand is a closed surface. Ring 0 repeats gridMesh's end ring (same pos() arguments, so
// the same positions) and the last ring collapses onto the pole; its zero-area half is dropped.
static void tubeCap(Mesh& m, const Tube& tube, float s, int nt, int rings, float uRep, float uPerUnit) {
    const float dir = s < 0.5f ? -1.0f : 1.0f;
    const float h = 1e-3f;
    V3 c = tube.centre(s);
    V3 axis = normalise(tube.centre(std::clamp(s + h, 0.0f, 1.0f)) - tube.centre(std::clamp(s - h, 0.0f, 1.0f))) * dir;
    float r = tube.radius(s);
    auto vert = [&](int k, int j) {
        float phi = 0.5f * Pi * float(k) / float(rings);
        float t = float(j) / nt;
        V3 p0 = tube.pos(s, j == nt ? 0.0f : t);
        V3 radial = p0 - c;
        MVert v;
        // The pole is one exact point (cos(pi/2) in floats would leave slivers there).
        v.p = k == 0 ? p0 : k == rings ? c + axis * r : c + radial * std::cos(phi) + axis * (r * std::sin(phi));
        v.n = normalise(radial * (std::cos(phi) / std::max(r, 1e-6f)) + axis * std::sin(phi));
        v.u = s * uRep + dir * phi * r * uPerUnit;
        v.v = t;
        return v;
    };
    for (int k = 0; k < rings; ++k)
        for (int j = 0; j < nt; ++j) {
            MVert a = vert(k, j), b = vert(k + 1, j), cc = vert(k + 1, j + 1), d = vert(k, j + 1);
            m.tri(a, b, cc);
            m.tri(a, cc, d);
        }
}

Mesh tendril() {
    Mesh m;
    for (int k = 0; k < 3; ++k) {
        Tube t;
        float base = TwoPi * k / 3.0f;
        t.closed = false;
        t.twist = 0.75f;
        t.centre = [=](float s) {
            float turns = 1.15f;
            float a = base + TwoPi * turns * s;
            // The braid tightens as it rises, then the tips splay out and curl over.
            float splay = smoothstep(0.55f, 1.0f, s);
            float hr = 5.4f * (1.0f - 0.5f * s) + 12.0f * splay * splay;
            float y = -19.0f + 44.0f * s - 9.0f * splay * splay * splay;
            return v3(hr * std::cos(a), y, hr * std::sin(a));
        };
        t.radius = [](float s) {
            float taper = std::pow(std::max(0.0f, 1.0f - s), 0.7f);
            float ridges = 1.0f + 0.08f * std::sin(TwoPi * 9.0f * s) * (1.0f - s);
            return 4.7f * taper * ridges + 0.02f;
        };
        t.build();
        gridMesh(m, t, 56, 10, false, 3.0f, 1.0f, 2, 1);
        // Texture runs 3 repeats over the strand's roughly 60 units.
        tubeCap(m, t, 0.0f, 10, 3, 3.0f, 0.05f);
        tubeCap(m, t, 1.0f, 10, 1, 3.0f, 0.05f);
    }
    Bulb b;
    gridMesh(m, b, 16, 20, false, 1.0f, 1.0f, 2, 2);
    for (MVert& v : m.verts) v.p = v.p * 1.1f + v3(0, 4.0f, 0);  // centred on the bob path
    return m;
}

// ---------------------------------------------------------------- spike ball

Mesh spike() {
    // Icosahedron, subdivided twice: its 162 vertices become the spike tips. One more split
    // gives each tip a ring of base vertices (edge midpoints), so the pushed-to-sphere shape is
    // exactly the three-times-subdivided icosphere.
    const float t = (1.0f + std::sqrt(5.0f)) / 2.0f;
    std::vector<V3> vs = {v3(-1, t, 0), v3(1, t, 0), v3(-1, -t, 0), v3(1, -t, 0), v3(0, -1, t), v3(0, 1, t),
                          v3(0, -1, -t), v3(0, 1, -t), v3(t, 0, -1), v3(t, 0, 1), v3(-t, 0, -1), v3(-t, 0, 1)};
    for (V3& v : vs) v = normalise(v);
    std::vector<std::array<int, 3>> fs = {{0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11},
                                          {1, 5, 9},  {5, 11, 4}, {11, 10, 2}, {10, 7, 6}, {7, 1, 8},
                                          {3, 9, 4},  {3, 4, 2},  {3, 2, 6},   {3, 6, 8},  {3, 8, 9},
                                          {4, 9, 5},  {2, 4, 11}, {6, 2, 10},  {8, 6, 7},  {9, 8, 1}};
    auto subdivide = [&]() {
        std::map<std::pair<int, int>, int> mid;
        auto midpoint = [&](int a, int b) {
            auto key = std::make_pair(std::min(a, b), std::max(a, b));
            auto it = mid.find(key);
            if (it != mid.end()) return it->second;
            vs.push_back(normalise(vs[a] + vs[b]));
            mid[key] = int(vs.size()) - 1;
            return int(vs.size()) - 1;
        };
        std::vector<std::array<int, 3>> nf;
        for (auto& f : fs) {
            int ab = midpoint(f[0], f[1]), bc = midpoint(f[1], f[2]), ca = midpoint(f[2], f[0]);
            nf.push_back({f[0], ab, ca});
            nf.push_back({f[1], bc, ab});
            nf.push_back({f[2], ca, bc});
            nf.push_back({ab, bc, ca});
        }
        fs = nf;
    };
    subdivide();
    subdivide();
    const float TipR = 21.0f, BaseR = 10.6f;
    const float URep = 4.0f;
    Mesh m;
    auto lon = [&](V3 d) { return (std::atan2(d.z, d.x) / TwoPi + 0.5f) * URep; };
    auto baseV = [&](V3 d) { return 0.42f + 0.54f * (std::acos(std::clamp(d.y, -1.0f, 1.0f)) / Pi); };
    auto coneNormal = [&](V3 tip, V3 b) {
        V3 a = normalise(tip);
        V3 s = b - tip;
        V3 w = cross(a, s);
        V3 n = normalise(cross(w, s));
        V3 radial = b - a * dot(b, a);
        if (dot(n, radial) < 0) n = n * -1.0f;
        // A quarter of the sphere normal keeps the unkicked ball from looking too faceted.
        return normalise(n * 0.75f + normalise(b) * 0.25f);
    };
    for (auto& f : fs) {
        V3 A = vs[f[0]], B = vs[f[1]], C = vs[f[2]];
        V3 mAB = normalise(A + B), mBC = normalise(B + C), mCA = normalise(C + A);
        V3 tips[3] = {A, B, C};
        V3 bases[3][2] = {{mAB, mCA}, {mBC, mAB}, {mCA, mBC}};
        for (int k = 0; k < 3; ++k) {
            V3 T = tips[k] * TipR, b1 = bases[k][0] * BaseR, b2 = bases[k][1] * BaseR;
            MVert vt, v1, v2;
            vt.p = T;
            v1.p = b1;
            v2.p = b2;
            v1.n = coneNormal(T, b1);
            v2.n = coneNormal(T, b2);
            vt.n = normalise(v1.n + v2.n);
            float u1 = lon(bases[k][0]), u2 = lon(bases[k][1]);
            if (u1 - u2 > URep * 0.5f) u2 += URep;
            if (u2 - u1 > URep * 0.5f) u1 += URep;
            v1.u = u1;
            v2.u = u2;
            vt.u = 0.5f * (u1 + u2);
            v1.v = baseV(bases[k][0]);
            v2.v = baseV(bases[k][1]);
            vt.v = 0.02f;
            m.tri(vt, v1, v2);
        }
        // The valley between three spikes.
        V3 cs[3] = {mAB, mBC, mCA};
        MVert cv[3];
        for (int k = 0; k < 3; ++k) {
            cv[k].p = cs[k] * BaseR;
            cv[k].n = cs[k];
            cv[k].u = lon(cs[k]);
            cv[k].v = baseV(cs[k]);
        }
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 3; ++j)
                if (cv[j].u - cv[k].u > URep * 0.5f) cv[k].u += URep;
        m.tri(cv[0], cv[1], cv[2]);
    }
    // Wireframe: each triangle as a quad repeating its last corner.
    for (int i = 0; i < m.numTris; ++i) m.wire.insert(m.wire.end(), {3 * i, 3 * i + 1, 3 * i + 2, 3 * i + 2});
    return m;
}

// ---------------------------------------------------------------- skull

namespace {
float sdEllipsoid(V3 p, V3 c, V3 r) {
    V3 q = p - c;
    float k0 = length(v3(q.x / r.x, q.y / r.y, q.z / r.z));
    float k1 = length(v3(q.x / (r.x * r.x), q.y / (r.y * r.y), q.z / (r.z * r.z)));
    return k1 > 0 ? k0 * (k0 - 1.0f) / k1 : -std::min(r.x, std::min(r.y, r.z));
}
float sdCapsule(V3 p, V3 a, V3 b, float r) {
    V3 pa = p - a, ba = b - a;
    float h = std::clamp(dot(pa, ba) / dot(ba, ba), 0.0f, 1.0f);
    return length(pa - ba * h) - r;
}
float sdRoundBox(V3 p, V3 b, float r) {
    V3 q = v3(std::fabs(p.x) - b.x, std::fabs(p.y) - b.y, std::fabs(p.z) - b.z);
    V3 mq = v3(std::max(q.x, 0.0f), std::max(q.y, 0.0f), std::max(q.z, 0.0f));
    return length(mq) + std::min(std::max(q.x, std::max(q.y, q.z)), 0.0f) - r;
}
float smin(float a, float b, float k) {
    float h = std::clamp(0.5f + 0.5f * (b - a) / k, 0.0f, 1.0f);
    return b + (a - b) * h - k * h * (1.0f - h);
}
float ssub(float d, float cut, float k) {  // d minus cut, smoothed
    return -smin(-d, cut, k);
}

}  // namespace

// Skull in its own units (about 2.3 tall), face toward -z, y up.
float skullField(V3 p, bool detail) {
    V3 q = v3(std::fabs(p.x), p.y, p.z);  // mirror-symmetric parts
    float d = sdEllipsoid(p, v3(0, 0.30f, 0.14f), v3(0.80f, 0.80f, 0.98f));
    // Temples pinch the cranium above the cheekbones.
    d = ssub(d, sdEllipsoid(q, v3(0.86f, -0.05f, -0.18f), v3(0.16f, 0.30f, 0.36f)), 0.12f);
    // Face (upper jaw) and brow ridge.
    d = smin(d, sdEllipsoid(p, v3(0, -0.30f, -0.40f), v3(0.50f, 0.42f, 0.46f)), 0.18f);
    d = smin(d, sdCapsule(q, v3(0.0f, 0.10f, -0.70f), v3(0.44f, 0.08f, -0.64f), 0.10f), 0.10f);
    // Cheekbones and the arches running back to the ears.
    d = smin(d, sdEllipsoid(q, v3(0.45f, -0.22f, -0.50f), v3(0.15f, 0.11f, 0.22f)), 0.10f);
    d = smin(d, sdCapsule(q, v3(0.52f, -0.22f, -0.42f), v3(0.66f, -0.18f, 0.04f), 0.055f), 0.06f);
    // Eye sockets: big and deep, slightly squared.
    float eye = sdEllipsoid(q, v3(0.28f, -0.05f, -0.78f), v3(0.215f, 0.19f, 0.42f));
    d = ssub(d, eye, 0.04f);
    // Nasal cavity: pear shape, pointed at the top.
    float nose = smin(sdEllipsoid(q, v3(0.0f, -0.40f, -0.82f), v3(0.13f, 0.11f, 0.34f)),
                      sdEllipsoid(q, v3(0.0f, -0.25f, -0.84f), v3(0.06f, 0.13f, 0.34f)), 0.06f);
    d = ssub(d, nose, 0.03f);
    // Cheek hollows under the cheekbones.
    d = ssub(d, sdEllipsoid(q, v3(0.50f, -0.58f, -0.34f), v3(0.17f, 0.20f, 0.32f)), 0.10f);
    // Cut the upper jaw off just above the teeth.
    d = ssub(d, sdEllipsoid(p, v3(0, -0.98f, -0.40f), v3(0.75f, 0.30f, 0.65f)), 0.05f);
    // Lower jaw: chin, body and the rising branches at the back.
    float jaw = sdEllipsoid(p, v3(0, -1.02f, -0.50f), v3(0.30f, 0.15f, 0.22f));
    jaw = smin(jaw, sdCapsule(q, v3(0.20f, -1.00f, -0.52f), v3(0.47f, -0.90f, -0.08f), 0.10f), 0.10f);
    jaw = smin(jaw, sdCapsule(q, v3(0.47f, -0.90f, -0.08f), v3(0.55f, -0.40f, 0.02f), 0.08f), 0.08f);
    // Hollow behind the chin so the lower teeth stand on a rim.
    jaw = ssub(jaw, sdEllipsoid(p, v3(0, -0.86f, -0.30f), v3(0.26f, 0.10f, 0.30f)), 0.04f);
    d = std::min(d, jaw);
    // Teeth: two rows of rounded blocks on arcs, each block turned to face outward, with clear
    // gaps between them.
    float teeth = 1e9f;
    for (int row = 0; row < 2; ++row) {
        float rad = row == 0 ? 0.36f : 0.33f;
        float cy = row == 0 ? -0.64f : -0.83f;
        float cz = -0.42f;
        for (int i = 0; i < 6; ++i) {
            float a = (i - 2.5f) * 0.33f;
            float tx = rad * std::sin(a), tz = cz - rad * std::cos(a);
            V3 l = p - v3(tx, cy, tz);
            // rotate into the tooth's frame (about y by a)
            float lx = l.x * std::cos(a) + l.z * std::sin(a);
            float lz = -l.x * std::sin(a) + l.z * std::cos(a);
            float hgt = row == 0 ? 0.075f : 0.065f;
            teeth = std::min(teeth, sdRoundBox(v3(lx, l.y, lz), v3(0.030f, hgt, 0.05f), 0.030f));
        }
    }
    d = std::min(d, teeth);
    // Fine bone texture.
    if (detail) d += 0.006f * fbm3(p.x * 9, p.y * 9, p.z * 9, 3, 7);
    return d;
}


void skullTexCoord(V3 p, float& u, float& v) {
    u = 0.5f + p.x / SkullTexWidth;
    v = 0.5f - p.y / SkullTexHeight;
}

// Surface net of the skull's level set skullSdf = iso at cell size h, appended to m.
//
// A cell gets one vertex per separate piece of surface inside it: the crossed edges of each face
// are paired up (on a face with four crossings by the sign of the bilinear saddle, which both
// cells sharing the face see alike), and the pairs link the crossings into pieces. A cell where
// two sheets pass close by (a thin wall, a tooth gap) then keeps two vertices instead of
// pinching the sheets together into edges of four triangles.
static void skullNet(Mesh& m, float h, float iso) {
    const float Scale = 17.5f;
    const V3 lo = v3(-0.98f, -1.26f, -1.08f);
    auto skullSdf = [iso](V3 p) { return skullField(p, true) - iso; };
    const int nx = int(1.96f / h) + 2, ny = int(2.50f / h) + 2, nz = int(2.30f / h) + 2;  // grid points
    std::vector<float> f(size_t(nx) * ny * nz);
    auto idx = [&](int i, int j, int k) { return (size_t(k) * ny + j) * nx + i; };
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) f[idx(i, j, k)] = skullSdf(lo + v3(i * h, j * h, k * h));
    auto grad = [&](V3 p) {
        const float e = 0.004f;
        return normalise(v3(skullSdf(p + v3(e, 0, 0)) - skullSdf(p - v3(e, 0, 0)),
                            skullSdf(p + v3(0, e, 0)) - skullSdf(p - v3(0, e, 0)),
                            skullSdf(p + v3(0, 0, e)) - skullSdf(p - v3(0, 0, e))));
    };
    const int cx = nx - 1, cy = ny - 1, cz = nz - 1;
    auto cid = [&](int i, int j, int k) { return (size_t(k) * cy + j) * cx + i; };
    // Cell corners n = di + 2 dj + 4 dk; edges 0-3 run along x, 4-7 along y, 8-11 along z.
    static const int E[12][2] = {{0, 1}, {2, 3}, {4, 5}, {6, 7}, {0, 2}, {1, 3},
                                 {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};
    // Faces as corner cycles and the edges between consecutive corners (corner q to q+1).
    static const int FC[6][4] = {{0, 2, 6, 4}, {1, 3, 7, 5}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 1, 3, 2}, {4, 5, 7, 6}};
    static const int FE[6][4] = {{4, 10, 6, 8}, {5, 11, 7, 9}, {0, 9, 2, 8}, {1, 11, 3, 10}, {0, 5, 1, 4}, {2, 7, 3, 6}};
    struct CellVerts {
        int8_t piece[12];  // surface piece of each crossed edge, -1 if not crossed
        int first;         // index of the cell's first vertex in `verts`
    };
    std::unordered_map<size_t, CellVerts> cells;
    std::vector<MVert> verts;
    // Places for each vertex, in the skull's units: on the surface, the mean of its crossings,
    // the cell centre (all inside the cell).
    std::vector<std::array<V3, 3>> cands;
    auto inCell = [h](V3 p, V3 centre) {
        V3 off = p - centre;
        const float lim = 0.5f * h;
        return centre + v3(std::clamp(off.x, -lim, lim), std::clamp(off.y, -lim, lim), std::clamp(off.z, -lim, lim));
    };
    auto makeVert = [&](V3 p) {
        MVert v;
        v.n = grad(p);
        v.p = v3(p.x * Scale, (p.y + 0.04f) * Scale, (p.z - 0.05f) * Scale);
        // Front projection onto one copy of the texture, which is painted to match
        // (cavities darkened, see the skull image pack).
        skullTexCoord(p, v.u, v.v);
        return v;
    };
    // One quad per crossed grid edge, through the pieces of its four cells that hold the edge
    // (`e` = the edge's number in each cell). Quads are wound from the crossing's direction
    // (inside to outside), which keeps the net consistently oriented.
    std::vector<std::array<int, 4>> quads;
    auto emitQuad = [&](size_t c0, size_t c1, size_t c2, size_t c3, const int e[4], bool flip) {
        size_t cs[4] = {c0, c1, c2, c3};
        std::array<int, 4> q;
        for (int n = 0; n < 4; ++n) {
            const CellVerts& cv = cells.at(cs[n]);
            q[n] = cv.first + cv.piece[e[n]];
        }
        if (flip) std::swap(q[1], q[3]);
        quads.push_back(q);
    };
    // Ambiguous faces whose pairing is turned round: where two cells with one piece each
    // meet across a face with four crossings, all four quads there would share one edge; the
    // other pairing usually gives one of the cells two pieces. Decided by rebuilding.
    std::unordered_set<size_t> flipped;
    std::vector<size_t> cellOf;  // cell of each vertex
    // Face fi of a cell: offset of its lowest grid point and the axis across it (face key).
    static const int FO[6][4] = {{0, 0, 0, 0}, {1, 0, 0, 0}, {0, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 0, 2}, {0, 0, 1, 2}};
    for (int round = 0;; ++round) {
        cells.clear();
        verts.clear();
        cands.clear();
        quads.clear();
        cellOf.clear();
        for (int k = 0; k < cz; ++k)
            for (int j = 0; j < cy; ++j)
                for (int i = 0; i < cx; ++i) {
                    float c[8];
                    V3 cp[8];
                    int neg = 0;
                    for (int n = 0; n < 8; ++n) {
                        int di = n & 1, dj = (n >> 1) & 1, dk = (n >> 2) & 1;
                        c[n] = f[idx(i + di, j + dj, k + dk)];
                        cp[n] = lo + v3((i + di) * h, (j + dj) * h, (k + dk) * h);
                        neg += c[n] < 0;
                    }
                    if (neg == 0 || neg == 8) continue;
                    // Link the crossings face by face (union-find over the 12 edges).
                    int parent[12];
                    for (int e = 0; e < 12; ++e) parent[e] = e;
                    auto root = [&](int e) {
                        while (parent[e] != e) e = parent[e];
                        return e;
                    };
                    auto join = [&](int a, int b) { parent[root(a)] = root(b); };
                    auto crossed = [&](int e) { return (c[E[e][0]] < 0) != (c[E[e][1]] < 0); };
                    for (int fi = 0; fi < 6; ++fi) {
                        int ce[4], n = 0;
                        for (int q = 0; q < 4; ++q)
                            if (crossed(FE[fi][q])) ce[n++] = FE[fi][q];
                        if (n == 2) {
                            join(ce[0], ce[1]);
                        } else if (n == 4) {
                            float v0 = c[FC[fi][0]], v1 = c[FC[fi][1]], v2 = c[FC[fi][2]], v3_ = c[FC[fi][3]];
                            float den = v0 + v2 - v1 - v3_;
                            float saddle = den != 0 ? (v0 * v2 - v1 * v3_) / den : 0.25f * (v0 + v1 + v2 + v3_);
                            // Corner 0 cut off on its own when it is on the other side of the saddle.
                            size_t faceKey = idx(i + FO[fi][0], j + FO[fi][1], k + FO[fi][2]) * 3 + size_t(FO[fi][3]);
                            if (((v0 < 0) != (saddle < 0)) != (flipped.count(faceKey) != 0)) {
                                join(FE[fi][3], FE[fi][0]);
                                join(FE[fi][1], FE[fi][2]);
                            } else {
                                join(FE[fi][0], FE[fi][1]);
                                join(FE[fi][2], FE[fi][3]);
                            }
                        }
                    }
                    CellVerts cv;
                    cv.first = int(verts.size());
                    int roots[12], nPieces = 0;
                    for (int e = 0; e < 12; ++e) {
                        cv.piece[e] = -1;
                        if (!crossed(e)) continue;
                        int r = root(e), p = 0;
                        while (p < nPieces && roots[p] != r) ++p;
                        if (p == nPieces) roots[nPieces++] = r;
                        cv.piece[e] = int8_t(p);
                    }
                    V3 centre = cp[0] + v3(h, h, h) * 0.5f;
                    for (int pc = 0; pc < nPieces; ++pc) {
                        // Mean of the piece's edge crossings, pulled onto the surface, kept in the cell.
                        V3 sum{0, 0, 0};
                        int cnt = 0;
                        for (int e = 0; e < 12; ++e) {
                            if (cv.piece[e] != pc) continue;
                            float a = c[E[e][0]], b = c[E[e][1]];
                            float t = a / (a - b);
                            sum = sum + cp[E[e][0]] + (cp[E[e][1]] - cp[E[e][0]]) * t;
                            ++cnt;
                        }
                        V3 mass = sum * (1.0f / cnt), p = mass;
                        if (nPieces == 1)
                            for (int it = 0; it < 2; ++it) p = p - grad(p) * skullSdf(p);
                        // Pieces sharing a cell must not meet at its centre.
                        V3 mid = nPieces == 1 ? centre : inCell(mass, centre);
                        cands.push_back({inCell(p, centre), inCell(mass, centre), mid});
                        verts.push_back(makeVert(cands.back()[0]));
                        cellOf.push_back(cid(i, j, k));
                    }
                    cells[cid(i, j, k)] = cv;
                }
        static const int EX[4] = {3, 2, 0, 1}, EY[4] = {7, 6, 4, 5}, EZ[4] = {11, 10, 8, 9};
        for (int k = 1; k < nz - 1; ++k)
            for (int j = 1; j < ny - 1; ++j)
                for (int i = 0; i < nx - 1; ++i)
                    if ((f[idx(i, j, k)] < 0) != (f[idx(i + 1, j, k)] < 0))
                        emitQuad(cid(i, j - 1, k - 1), cid(i, j, k - 1), cid(i, j, k), cid(i, j - 1, k), EX,
                                 f[idx(i, j, k)] >= 0);
        for (int k = 1; k < nz - 1; ++k)
            for (int j = 0; j < ny - 1; ++j)
                for (int i = 1; i < nx - 1; ++i)
                    if ((f[idx(i, j, k)] < 0) != (f[idx(i, j + 1, k)] < 0))
                        emitQuad(cid(i - 1, j, k - 1), cid(i, j, k - 1), cid(i, j, k), cid(i - 1, j, k), EY,
                                 f[idx(i, j, k)] < 0);
        for (int k = 0; k < nz - 1; ++k)
            for (int j = 1; j < ny - 1; ++j)
                for (int i = 1; i < nx - 1; ++i)
                    if ((f[idx(i, j, k)] < 0) != (f[idx(i, j, k + 1)] < 0))
                        emitQuad(cid(i - 1, j - 1, k), cid(i, j - 1, k), cid(i, j, k), cid(i - 1, j, k), EZ,
                                 f[idx(i, j, k)] >= 0);
        std::map<std::pair<int, int>, int> uses;
        for (const auto& q : quads)
            for (int n = 0; n < 4; ++n) uses[{std::min(q[n], q[(n + 1) & 3]), std::max(q[n], q[(n + 1) & 3])}]++;
        size_t before = flipped.size();
        for (const auto& u : uses) {
            if (u.second <= 2) continue;
            size_t a = cellOf[size_t(u.first.first)], b = cellOf[size_t(u.first.second)];
            if (a > b) std::swap(a, b);
            int ia = int(a % cx), ja = int((a / cx) % cy), ka = int(a / (size_t(cx) * cy));
            size_t step = b - a;
            int axis = step == 1 ? 0 : step == size_t(cx) ? 1 : step == size_t(cx) * cy ? 2 : -1;
            if (axis < 0) continue;
            flipped.insert(idx(ia + (axis == 0), ja + (axis == 1), ka + (axis == 2)) * 3 + size_t(axis));
        }
        if (flipped.size() == before || round == 3) break;
    }
    // A quad is split along the diagonal that leaves fewer triangles facing against the surface
    // normals (folded: the rasteriser would cull them and leave a hole), then the shorter one.
    // (Against the normals at its corners or against the field's gradient at its centre.)
    auto folded = [&](int x, int y, int z) {
        const MVert &a = verts[size_t(x)], &b = verts[size_t(y)], &c = verts[size_t(z)];
        V3 fn = cross(b.p - a.p, c.p - a.p);
        if (dot(fn, a.n + b.n + c.n) <= 0) return 1;
        V3 g = (a.p + b.p + c.p) * (1.0f / 3.0f);
        return dot(fn, grad(v3(g.x / Scale, g.y / Scale - 0.04f, g.z / Scale + 0.05f))) <= 0 ? 1 : 0;
    };
    auto splitAC = [&](const std::array<int, 4>& q, int& folds) {
        int ac = folded(q[0], q[1], q[2]) + folded(q[0], q[2], q[3]);
        int bd = folded(q[0], q[1], q[3]) + folded(q[1], q[2], q[3]);
        const V3 &a = verts[size_t(q[0])].p, &b = verts[size_t(q[1])].p, &c = verts[size_t(q[2])].p,
                 &d = verts[size_t(q[3])].p;
        bool useAC = ac < bd || (ac == bd && length(a - c) <= length(b - d));
        folds = useAC ? ac : bd;
        return useAC;
    };
    // Where folds remain, move the vertices involved to whichever of their places (or the
    // midway points towards the cell centre) folds fewest of their quads.
    std::vector<std::vector<int>> quadsOf(verts.size());
    for (size_t qi = 0; qi < quads.size(); ++qi)
        for (int n = 0; n < 4; ++n) quadsOf[size_t(quads[qi][n])].push_back(int(qi));
    auto foldsAround = [&](size_t v) {
        int total = 0, fq;
        for (int qi : quadsOf[v]) {
            splitAC(quads[size_t(qi)], fq);
            total += fq;
        }
        return total;
    };
    for (int pass = 0; pass < 3; ++pass)
        for (size_t v = 0; v < verts.size(); ++v) {
            int best = foldsAround(v);
            if (best == 0) continue;
            const auto& c = cands[v];
            const V3 tries[5] = {c[0], c[1], c[2], (c[0] + c[2]) * 0.5f, (c[1] + c[2]) * 0.5f};
            MVert keep = verts[v];
            for (const V3& p : tries) {
                MVert old = verts[v];
                verts[v] = makeVert(p);
                int n = foldsAround(v);
                if (n < best) {
                    best = n;
                    keep = verts[v];
                }
                verts[v] = old;
            }
            verts[v] = keep;
        }
    for (const auto& q : quads) {
        int fq;
        const MVert &a = verts[size_t(q[0])], &b = verts[size_t(q[1])], &c = verts[size_t(q[2])],
                    &d = verts[size_t(q[3])];
        if (splitAC(q, fq)) {
            m.tri(a, b, c, false);
            m.tri(a, c, d, false);
        } else {
            m.tri(a, b, d, false);
            m.tri(b, c, d, false);
        }
    }
}

// Wireframe contours: the skull cut by planes across `axis` (0 = x, 1 = y) at `from`, `from` +
// `step`, ... up to `to`, each cut traced by marching squares on a fine grid. The contour points
// become extra (wireframe-only) vertices on the true surface, joined by quads that repeat their
// last corner, so the lines run smoothly over the faceted mesh like a scan.
static void skullContours(Mesh& m, int axis, float from, float to, float step) {
    const float Scale = 17.5f, g = 0.06f;
    // plane coordinates (a, b): x-cuts use (z, y), y-cuts use (x, z)
    const float a0 = axis == 0 ? -1.08f : -0.98f, a1 = axis == 0 ? 1.22f : 0.98f;
    const float b0 = axis == 0 ? -1.26f : -1.08f, b1 = axis == 0 ? 1.24f : 1.22f;
    const int na = int((a1 - a0) / g) + 2, nb = int((b1 - b0) / g) + 2;
    for (float c = from; c <= to + 1e-4f; c += step) {
        auto point = [&](float a, float b) {
            return axis == 0 ? v3(c, b, a) : v3(a, c, b);
        };
        std::vector<float> f(size_t(na) * nb);
        for (int j = 0; j < nb; ++j)
            for (int i = 0; i < na; ++i) f[size_t(j) * na + i] = skullField(point(a0 + i * g, b0 + j * g), true);
        std::map<std::pair<size_t, size_t>, int> vertexOf;  // grid edge -> extra vertex
        auto crossing = [&](int i0, int j0, int i1, int j1) {
            size_t k0 = size_t(j0) * na + i0, k1 = size_t(j1) * na + i1;
            auto key = std::make_pair(std::min(k0, k1), std::max(k0, k1));
            auto it = vertexOf.find(key);
            if (it != vertexOf.end()) return it->second;
            float t = f[k0] / (f[k0] - f[k1]);
            V3 p = point(a0 + (i0 + (i1 - i0) * t) * g, b0 + (j0 + (j1 - j0) * t) * g);
            const float e = 0.004f;
            V3 n = normalise(v3(skullField(p + v3(e, 0, 0), true) - skullField(p - v3(e, 0, 0), true),
                                skullField(p + v3(0, e, 0), true) - skullField(p - v3(0, e, 0), true),
                                skullField(p + v3(0, 0, e), true) - skullField(p - v3(0, 0, e), true)));
            MVert v;
            v.p = v3(p.x * Scale, (p.y + 0.04f) * Scale, (p.z - 0.05f) * Scale);
            v.n = n;
            skullTexCoord(p, v.u, v.v);
            int idx = m.addExtra(v);
            vertexOf[key] = idx;
            return idx;
        };
        for (int j = 0; j + 1 < nb; ++j)
            for (int i = 0; i + 1 < na; ++i) {
                float v00 = f[size_t(j) * na + i], v10 = f[size_t(j) * na + i + 1];
                float v01 = f[size_t(j + 1) * na + i], v11 = f[size_t(j + 1) * na + i + 1];
                int pts[4], n = 0;
                // edges in order: bottom, right, top, left
                if ((v00 < 0) != (v10 < 0)) pts[n++] = crossing(i, j, i + 1, j);
                if ((v10 < 0) != (v11 < 0)) pts[n++] = crossing(i + 1, j, i + 1, j + 1);
                if ((v01 < 0) != (v11 < 0)) pts[n++] = crossing(i, j + 1, i + 1, j + 1);
                if ((v00 < 0) != (v01 < 0)) pts[n++] = crossing(i, j, i, j + 1);
                if (n == 2) {
                    m.wire.insert(m.wire.end(), {pts[0], pts[1], pts[1], pts[1]});
                } else if (n == 4) {
                    // saddle: join so that the centre's side stays connected
                    bool centreIn = (v00 + v10 + v01 + v11) < 0;
                    bool cornerIn = v00 < 0;
                    if (centreIn == cornerIn) {
                        m.wire.insert(m.wire.end(), {pts[0], pts[1], pts[1], pts[1]});
                        m.wire.insert(m.wire.end(), {pts[2], pts[3], pts[3], pts[3]});
                    } else {
                        m.wire.insert(m.wire.end(), {pts[0], pts[3], pts[3], pts[3]});
                        m.wire.insert(m.wire.end(), {pts[1], pts[2], pts[2], pts[2]});
                    }
                }
            }
    }
}

Mesh skull() {
    Mesh m;
    skullNet(m, 0.082f, 0.0f);
    // The rasteriser drops triangles narrower than a pixel, which leaves pinholes along creases
    // and the outline of a fine mesh. A coarse copy of the skull, shrunk by about one unit, sits
    // just under the surface with the same texture mapping and fills them with bone colour.
    skullNet(m, 0.20f, -0.05f);
    skullContours(m, 1, -1.10f, 1.05f, 0.18f);
    skullContours(m, 0, -0.80f, 0.80f, 0.20f);
    return m;
}

// ---------------------------------------------------------------- generator

static bool generate(const std::string& outdir) {
    return mkassets::writeFile(outdir, "srcdata/torus.qx3", buildQx3(torus())) &&
           mkassets::writeFile(outdir, "srcdata/spike.qx3", buildQx3(spike())) &&
           mkassets::writeFile(outdir, "srcdata/knot.qx3", buildQx3(knot())) &&
           mkassets::writeFile(outdir, "srcdata/tendril.qx3", buildQx3(tendril())) &&
           mkassets::writeFile(outdir, "srcdata/skull.qx3", buildQx3(skull()));
}
MKASSETS_GENERATOR("models", generate);

}  // namespace models
