// Triangle set-up and edge walking shared by the three rasterisers (full, diffuse, mask).
//
// Runs inside a renderer pass: every float-to-integer conversion rounds toward +infinity, so a row
// or column is covered when its integer coordinate lies on or after the start edge and before the
// end edge. The float arithmetic is rounded up too: it goes through fround, which is the plain
// operator where the hardware has the mode and rounds in software where it has none. Per triangle: cull, sort by y, reject, split at the middle vertex,
// constant per-pixel gradients. Per row: the span ends from the left and right edges and the
// attribute values at the first covered column, recomputed in float from the left edge (no
// fixed-point drift), handed to the variant's span routine.
#pragma once

#include <cmath>
#include <cstdint>

#include "fround.h"
#include "model.h"

namespace trisetup {

constexpr long ScreenW = 320, ScreenH = 200;

// Screen positions beyond this many pixels (or not numbers at all) are dropped with their
// triangle: float no longer resolves whole pixels there, and the integer edges would overflow.
constexpr float MaxCoordinate = 16777216.0f;

template <int N>
struct Vert {
    float x, y;
    float q[N];  // q[0] is invZ, then the variant's texture coordinates
};

template <int N>
inline bool coords_ok(const Vert<N>& v)
{
    return std::fabs(v.x) <= MaxCoordinate && std::fabs(v.y) <= MaxCoordinate;  // false for NaN
}

// A column from an edge's x; the clamp only matters for values no triangle on screen produces.
inline int32_t to_column(const FroundUpOps& F, float x)
{
    int64_t c = F.toInt(x);
    return (int32_t)(c < -(1L << 30) ? -(1L << 30) : (c > (1L << 30) ? (1L << 30) : c));
}

// grad(const float dqdx[N]) is called once per drawn triangle; row(offset, x1, x2, q[N]) once per
// covered row with the attribute values at column x1.
template <int N, class Grad, class Row>
inline void raster(const Vert<N>& a, const Vert<N>& b, const Vert<N>& c, Grad grad, Row row)
{
    if (!coords_ok(a) || !coords_ok(b) || !coords_ok(c))
        return;
    const FroundUpOps F;
    // Back-face cull: drawn only when a -> b -> c runs clockwise on screen (area negative).
    const float area = F.sub(F.mul(F.sub(b.y, a.y), F.sub(c.x, a.x)), F.mul(F.sub(b.x, a.x), F.sub(c.y, a.y)));
    if (!std::signbit(area))
        return;

    // Sort by y without swapping equal values: (b, c), then (a, smaller), then the other pair.
    const Vert<N>* p0 = &a;
    const Vert<N>* p1 = &b;
    const Vert<N>* p2 = &c;
    const Vert<N>* t_;
    if (p2->y < p1->y) { t_ = p1; p1 = p2; p2 = t_; }
    if (p1->y < p0->y) { t_ = p0; p0 = p1; p1 = t_; }
    if (p2->y < p1->y) { t_ = p1; p1 = p2; p2 = t_; }

    const long y0 = (long)F.toInt(p0->y), y1 = (long)F.toInt(p1->y), y2 = (long)F.toInt(p2->y);
    if (std::signbit(p2->y) || y0 >= ScreenH || y0 == y2)
        return;

    // Split: W is the span width at P1's height. A sliver under one pixel wide is still drawn
    // (dropping it leaves one-pixel cracks along the silhouettes of closed meshes); only its
    // gradients divide by a width held at one pixel, so they stay bounded. Its spans cover at
    // most a pixel or so per row, where the exact gradient would make no visible difference.
    const float t = F.div(F.sub(p1->y, p0->y), F.sub(p2->y, p0->y));
    const float W = F.sub(F.sub(p1->x, p0->x), F.mul(t, F.sub(p2->x, p0->x)));
    if (W == 0.0f)
        return;
    const float gradW = W > 0.0f ? (W < 1.0f ? 1.0f : W) : (W > -1.0f ? -1.0f : W);
    float dqdx[N];
    for (int k = 0; k < N; k++)
        dqdx[k] = F.div(F.sub(F.sub(p1->q[k], p0->q[k]), F.mul(t, F.sub(p2->q[k], p0->q[k]))), gradW);
    grad(dqdx);

    // Edges. W > 0: P1 lies right of the long edge P0 -> P2, which is then the left edge.
    const bool longLeft = W > 0.0f;
    float lx = 0, ldx = 0, rx = 0, rdx = 0;
    float lq[N], ldq[N];
    auto setLeft = [&](const Vert<N>* s, const Vert<N>* e, long startRow) {
        const float dy = F.sub(e->y, s->y);
        const float pre = F.sub((float)startRow, s->y);
        ldx = F.div(F.sub(e->x, s->x), dy);
        lx = F.add(s->x, F.mul(pre, ldx));
        for (int k = 0; k < N; k++) {
            ldq[k] = F.div(F.sub(e->q[k], s->q[k]), dy);
            lq[k] = F.add(s->q[k], F.mul(pre, ldq[k]));
        }
    };
    auto setRight = [&](const Vert<N>* s, const Vert<N>* e, long startRow) {
        rdx = F.div(F.sub(e->x, s->x), F.sub(e->y, s->y));
        rx = F.add(s->x, F.mul(F.sub((float)startRow, s->y), rdx));
    };
    auto setLong = [&](long startRow) {
        if (longLeft)
            setLeft(p0, p2, startRow);
        else
            setRight(p0, p2, startRow);
    };
    auto setShort = [&](const Vert<N>* s, const Vert<N>* e, long startRow) {
        if (longLeft)
            setRight(s, e, startRow);
        else
            setLeft(s, e, startRow);
    };

    int32_t offset;
    auto walk = [&](long from, long to) {
        float q[N];
        for (long r = from; r < to; r++) {
            const int32_t x1 = to_column(F, lx);
            const float sub = F.sub((float)x1, lx);
            for (int k = 0; k < N; k++)
                q[k] = F.add(lq[k], F.mul(sub, dqdx[k]));
            const int32_t x2 = to_column(F, rx);
            lx = F.add(lx, ldx);
            rx = F.add(rx, rdx);
            for (int k = 0; k < N; k++)
                lq[k] = F.add(lq[k], ldq[k]);
            row(offset, x1, x2, q);
            offset += ScreenW;
        }
    };

    const long end2 = y2 < ScreenH ? y2 : ScreenH;
    if (p1->y < 0.0f) {
        // Upper half wholly above row 0: both edges evaluated at row 0, lower half only.
        setLong(0);
        setShort(p1, p2, 0);
        offset = 0;
        walk(0, end2);
        return;
    }
    const long first = y0 < 0 ? 0 : y0;  // top clip: a vertex above row 0 starts the walk at row 0
    setLong(first);
    setShort(p0, p1, first);
    offset = (int32_t)first * ScreenW;
    walk(first, y1 < ScreenH ? y1 : ScreenH);
    if (y1 == y2 || y1 >= ScreenH)
        return;
    setShort(p1, p2, y1);  // the edge that ended at P1 continues to P2 (prestep y1 - P1.y)
    offset = (int32_t)y1 * ScreenW;
    walk(y1, end2);
}

// Low 16 bits of ceil(value * 65536): an 8.8 texture coordinate or step (wraps every turn).
inline uint16_t to_fixed88(float value)
{
    return (uint16_t)(uint64_t)fround_toInt(value * 65536.0f);  // a power of two: exact
}

}  // namespace trisetup
