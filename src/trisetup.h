// Triangle set-up and edge walking shared by the three rasterisers (full, diffuse, mask).
//
// Per triangle: cull, sort by y, reject, split at the middle vertex, constant per-pixel
// gradients. Per row: the span ends from the left and right edges and the attribute values at
// the first covered column, recomputed in float from the left edge (no fixed-point drift),
// handed to the variant's span routine.
//
// Rounding. All of this runs inside a renderer pass, where the floating-point environment rounds
// toward +infinity: every float operation below rounds its result upward on its own (the build
// forbids contraction into multiply-adds), and every conversion, to_int, rounds upward, so a row
// or column is covered when its integer coordinate lies on or after the start edge and before
// the end edge. The pixels depend on each of these roundings: the float expressions here must
// keep their exact form and order (hoisting, sharing or skipping an unused one is fine). They
// are front_facing(), raster() with its row loop, and Edges; the variants only scale by 65536
// (exact) and convert with to_int() and to_fixed88().
#pragma once

#include <cmath>
#include <cstdint>

#include "model.h"

namespace trisetup {

constexpr long ScreenW = 320, ScreenH = 200;

// Screen positions beyond this many pixels (or not numbers at all) are dropped with their
// triangle: float no longer resolves whole pixels there, and the integer edges would overflow.
constexpr float MaxCoordinate = 16777216.0f;

// The one conversion: float to integer in the current rounding mode (upward in a pass).
inline long to_int(float value)
{
    return lrintf(value);
}

// Low 16 bits of ceil(value * 65536): an 8.8 texture coordinate or step (wraps every turn).
inline uint16_t to_fixed88(float value)
{
    return (uint16_t)(uint64_t)to_int(value * 65536.0f);
}

// A column from an edge's x. On the rows an edge serves, its x lies between its ends' (within
// MaxCoordinate, see coords_ok), so the column fits 32 bits; the span routines clip to the screen
// whatever they are given.
inline int32_t to_column(float x)
{
    return (int32_t)to_int(x);
}

inline bool coords_ok(const ProjVertex* v)
{
    return std::fabs(v->x) <= MaxCoordinate && std::fabs(v->y) <= MaxCoordinate;  // false for NaN
}

// A corner after the sort: position and the variant's attributes side by side (q[0] is invZ),
// so that the per-attribute lines below run over one small array.
template <int N>
struct Vert {
    float x, y;
    float q[N];
};

// Attribute arrays of the walk are padded to whole groups of four floats, so that the per-row
// lines run as whole vector operations (the padding lanes hold zeros and are never read).
constexpr int padded(int n)
{
    return (n + 3) & ~3;
}

// The left and right edges during the walk, with the attributes along the left one.
template <int N>
struct Edges {
    float lx, ldx, rx, rdx;
    alignas(16) float lq[padded(N)];
    alignas(16) float ldq[padded(N)];

    // Each edge is evaluated at the first row it serves: value = start + (row - start y) * slope.
    void setLeft(const Vert<N>& s, const Vert<N>& e, long startRow)
    {
        const float dy = e.y - s.y;
        const float pre = (float)startRow - s.y;
        ldx = (e.x - s.x) / dy;
        lx = s.x + pre * ldx;
        for (int k = 0; k < N; k++) {
            ldq[k] = (e.q[k] - s.q[k]) / dy;
            lq[k] = s.q[k] + pre * ldq[k];
        }
    }
    void setRight(const Vert<N>& s, const Vert<N>& e, long startRow)
    {
        rdx = (e.x - s.x) / (e.y - s.y);
        rx = s.x + ((float)startRow - s.y) * rdx;
    }
};

// Back-face cull, from the corners as given: drawn only when a -> b -> c runs clockwise on screen
// (area negative). About half the triangles of a closed mesh face away, and this test is all they
// cost: the variants make it before anything else.
inline bool front_facing(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c)
{
    const float area = (b->y - a->y) * (c->x - a->x) - (b->x - a->x) * (c->y - a->y);
    return std::signbit(area);
}

// A front-facing triangle. load(const ProjVertex&, float q[N]) fetches the variant's attributes
// (invZ first); grad(const float dqdx[N]) is called once per drawn triangle; row(offset, x1, x2,
// q[N]) once per row whose span covers a column on screen, with the attribute values at x1.
template <int N, class Load, class Grad, class Row>
inline void raster(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c, Load load, Grad grad, Row row)
{
    if (!coords_ok(a) || !coords_ok(b) || !coords_ok(c))
        return;

    // Sort by y without swapping equal values: (b, c), then (a, smaller), then the other pair.
    const ProjVertex* s0 = a;
    const ProjVertex* s1 = b;
    const ProjVertex* s2 = c;
    const ProjVertex* t_;
    if (s2->y < s1->y) { t_ = s1; s1 = s2; s2 = t_; }
    if (s1->y < s0->y) { t_ = s0; s0 = s1; s1 = t_; }
    if (s2->y < s1->y) { t_ = s1; s1 = s2; s2 = t_; }

    const long y0 = to_int(s0->y), y1 = to_int(s1->y), y2 = to_int(s2->y);
    if (std::signbit(s2->y) || y0 >= ScreenH || y0 == y2)
        return;
    Vert<N> p0, p1, p2;
    p0.x = s0->x, p0.y = s0->y, p1.x = s1->x, p1.y = s1->y, p2.x = s2->x, p2.y = s2->y;
    load(*s0, p0.q);
    load(*s1, p1.q);
    load(*s2, p2.q);

    // Split: W is the span width at P1's height. A sliver under one pixel wide is still drawn
    // (dropping it leaves one-pixel cracks along the silhouettes of closed meshes); only its
    // gradients divide by a width held at one pixel, so they stay bounded. Its spans cover at
    // most a pixel or so per row, where the exact gradient would make no visible difference.
    const float t = (p1.y - p0.y) / (p2.y - p0.y);
    const float W = (p1.x - p0.x) - t * (p2.x - p0.x);
    if (W == 0.0f)
        return;
    const float gradW = W > 0.0f ? (W < 1.0f ? 1.0f : W) : (W > -1.0f ? -1.0f : W);
    alignas(16) float dqdx[padded(N)] = {};
    for (int k = 0; k < N; k++)
        dqdx[k] = ((p1.q[k] - p0.q[k]) - t * (p2.q[k] - p0.q[k])) / gradW;
    grad(dqdx);

    // Edges. W > 0: P1 lies right of the long edge P0 -> P2, which is then the left edge for the
    // whole triangle; otherwise it is the right one. The other side runs P0 -> P1, then P1 -> P2.
    const bool longLeft = W > 0.0f;
    Edges<N> g{};  // every field is set before use; zero keeps the compiler sure of it
    auto setShort = [&](const Vert<N>& s, const Vert<N>& e, long startRow) {
        if (longLeft)
            g.setRight(s, e, startRow);
        else
            g.setLeft(s, e, startRow);
    };
    // Rows [first, end): the upper half down to row y1, where the edge that ended at P1 continues
    // to P2 (prestep y1 - P1.y), then the lower half; nothing below the screen.
    const long end = y2 < ScreenH ? y2 : ScreenH;
    long first, switchRow;
    if (p1.y < 0.0f) {
        // Upper half wholly above row 0: both edges evaluated at row 0, lower half only.
        first = 0;
        switchRow = -1;
        setShort(p1, p2, 0);
    } else {
        first = y0 < 0 ? 0 : y0;  // top clip: a vertex above row 0 starts the walk at row 0
        switchRow = y1;
        if (first < y1)  // else a flat top: no upper rows, the edge P0 -> P1 is never used
            setShort(p0, p1, first);
    }
    if (longLeft)
        g.setLeft(p0, p2, first);
    else
        g.setRight(p0, p2, first);

    // The walk. A row whose span covers no column on screen only advances the edges (the span
    // routine would draw nothing from it).
    int32_t offset = (int32_t)first * (int32_t)ScreenW;
    for (long r = first; r < end; r++, offset += (int32_t)ScreenW) {
        if (r == switchRow)
            setShort(p1, p2, r);
        const int32_t x1 = to_column(g.lx), x2 = to_column(g.rx);
        if (x1 < x2 && x2 > 0 && x1 < ScreenW) {
            const float sub = (float)x1 - g.lx;  // 0 <= sub < 1: from the edge to the column
            alignas(16) float q[padded(N)];
            for (int k = 0; k < padded(N); k++)
                q[k] = g.lq[k] + sub * dqdx[k];
            row(offset, x1, x2, q);
        }
        g.lx += g.ldx;  // advanced as floats, so rows accumulate no fixed-point error
        g.rx += g.rdx;
        for (int k = 0; k < padded(N); k++)
            g.lq[k] += g.ldq[k];
    }
}

}  // namespace trisetup
