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
// (exact) and convert with to_int() and to_fixed88(). Each of those operations is written out
// through F (fround's rounding-up operations): the plain operator where the hardware has the mode,
// the same rounding done in software where it has none (WebAssembly).
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

// The float operations and the conversion of a pass: rounding upward.
constexpr FroundUpOps F;

// The one conversion: float to integer in the current rounding mode (upward in a pass).
inline long to_int(float value)
{
    return (long)F.toInt(value);
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

// Attribute arrays are padded to whole groups of four floats, and every per-attribute line runs
// as four-lane operations on the groups: lane by lane the same operations in the same order, so
// the same results. (The padding lanes hold zeros, or whatever the zeros give, and are never read.)
constexpr int padded(int n)
{
    return (n + 3) & ~3;
}

constexpr int groups(int n)
{
    return padded(n) / 4;
}

// A corner after the sort: position and the variant's attributes side by side (q[0] is invZ),
// so that the per-attribute lines below run over one small array.
template <int N>
struct Vert {
    float x, y;
    alignas(16) float q[padded(N)];
};

// Group i of an attribute array.
inline FroundF4 group(const float* q, int i)
{
    return fround_load4(q + 4 * i);
}

// The start of up to four edges at once: lane i runs from (sx, sy) to (ex, ey) and is evaluated
// at `row`. dy and num are its extent in y and x, d = num / dy its step per row and at = sx + pre * d
// its x at the row, pre = row - sy. (A lane may hold another quotient of differences: the split's
// t, below.)
struct EdgeStart {
    FroundF4 dy, pre, num, d, at;
};

inline EdgeStart edge_start(FroundF4 sx, FroundF4 sy, FroundF4 ex, FroundF4 ey, FroundF4 row)
{
    EdgeStart e;
    e.dy = F.subNear(ey, sy);
    e.pre = F.subNear(row, sy);
    e.num = F.subNear(ex, sx);
    e.d = F.div(e.num, e.dy);
    e.at = F.add(sx, F.mul(e.pre, e.d));
    return e;
}

// The left and right edges during the walk, with the attributes along the left one. Those are
// set up only once a row of the edge draws something (many small triangles draw no row at all):
// at the edge's first row as always, then stepped to the row, so every value is the one an
// eager walk would have.
//
// Both edges' x and steps ride in lanes 2 and 3 of `tv` and `td`. Where the last group of
// attributes holds a single one (N = 1 and 5: the tail), it rides in lanes 0 and 1 of `tv` (twice)
// with its step in lane 1 of `td`, so that one four-lane sum per row advances both x and the tail,
// and on a drawn row also gives the tail's value at the first column (lane 0: tail + its product).
template <int N>
struct Edges {
    static constexpr bool Tail = N % 4 == 1;
    static constexpr int Body = Tail ? groups(N) - 1 : groups(N);  // groups stepped in lq, ldq
    FroundF4 tv, td;
    alignas(16) float lq[padded(N)];
    alignas(16) float ldq[padded(N)];
    const Vert<N>* ls;  // the left edge runs from ls to le, first serving row lstart
    const Vert<N>* le;
    long lstart;
    float ldy, lpre;
    bool lqReady;  // the left edge's attributes are at the current row

    float xl() const { return tv[2]; }
    float xr() const { return tv[3]; }
    // The left (side 0) or right (side 1) edge from lane `lane` of `start`.
    void setX(int side, const EdgeStart& start, int lane)
    {
        tv[2 + side] = start.at[lane];
        td[2 + side] = start.d[lane];
    }
    // The left edge from s to e, started in lane `lane` of `start`.
    void setLeft(const EdgeStart& start, int lane, const Vert<N>* s, const Vert<N>* e, long row)
    {
        setX(0, start, lane);
        ldy = start.dy[lane];
        lpre = start.pre[lane];
        ls = s;
        le = e;
        lstart = row;
        lqReady = false;
    }
    // The left edge's attributes at `row`. diff, when given, holds le->q - ls->q already.
    void setLeftAttributes(long row, const float* diff)
    {
        const FroundF4 dy = fround_splat4(ldy), pre = fround_splat4(lpre);
        for (int i = 0; i < Body; i++) {
            const FroundF4 dq = diff ? group(diff, i) : F.subNear(group(le->q, i), group(ls->q, i));
            const FroundF4 d = F.div(dq, dy);
            fround_store4(ldq + 4 * i, d);
            fround_store4(lq + 4 * i, F.add(group(ls->q, i), F.mul(pre, d)));
        }
        if (Tail) {  // a single value: cheaper on its own than in four lanes
            const float d = F.div(diff ? diff[N - 1] : F.sub(le->q[N - 1], ls->q[N - 1]), ldy);
            ldq[N - 1] = d;
            lq[N - 1] = F.add(ls->q[N - 1], F.mul(lpre, d));
        }
        for (long r = lstart; r < row; r++)
            step(groups(N));
        if (Tail) {
            tv[0] = tv[1] = lq[N - 1];
            td[1] = ldq[N - 1];
        }
        lqReady = true;
    }
    // One row on for the first `count` groups of lq.
    void step(int count)
    {
        for (int i = 0; i < count; i++)
            fround_store4(lq + 4 * i, F.add(group(lq, i), group(ldq, i)));
    }
    // One row on for the walk, after a row that drew nothing: both x (advanced as floats, so rows
    // accumulate no fixed-point error), and the attributes once they are set up.
    void advance()
    {
        const FroundF4 r = F.add(tv, td);
        tv = Tail ? __builtin_shufflevector(r, r, 1, 1, 2, 3) : r;
        if (lqReady)
            step(Body);
    }
    // A drawn row: the attribute values at the first column into q, given the column's distance
    // `sub` from the left edge and the gradients; then one row on, as advance() does.
    void drawRow(float sub, const float* dqdx, float* q)
    {
        const FroundF4 sub4 = fround_splat4(sub);
        for (int i = 0; i < Body; i++)
            fround_store4(q + 4 * i, F.add(group(lq, i), F.mul(sub4, group(dqdx, i))));
        if (Tail) {
            FroundF4 b = td;
            b[0] = F.mul(sub, dqdx[N - 1]);
            const FroundF4 r = F.add(tv, b);
            q[N - 1] = r[0];
            tv = __builtin_shufflevector(r, r, 1, 1, 2, 3);
            step(Body);
        } else {
            advance();
        }
    }
};

// Back-face cull, from the corners as given: drawn only when a -> b -> c runs clockwise on screen
// (area negative). About half the triangles of a closed mesh face away, and this test is all they
// cost: the variants make it before anything else.
inline bool front_facing(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c)
{
    if (FROUND_SOFTWARE) {
        // Where each rounding is software, most triangles are decided without it: the rounded
        // area below is within 2^-20 of the sum of its products' magnitudes from the exact one
        // (products of 2^-100 and more: float keeps their relative precision), so an area clear
        // of that margin (computed in double, far more closely) has its sign. NaN and infinite
        // corners fall through.
        const double p = ((double)b->y - a->y) * ((double)c->x - a->x);
        const double q = ((double)b->x - a->x) * ((double)c->y - a->y);
        const double size = std::fabs(p) + std::fabs(q);
        if (size >= 0x1p-100) {
            const double margin = size * 0x1p-20;
            if (p - q > margin)
                return false;
            if (p - q < -margin)
                return true;
        }
    }
    const float area = F.sub(F.mul(F.sub(b->y, a->y), F.sub(c->x, a->x)), F.mul(F.sub(b->x, a->x), F.sub(c->y, a->y)));
    return std::signbit(area);
}

// A front-facing triangle. load(const ProjVertex&, float q[N]) fetches the variant's attributes
// (invZ first); grad(const float dqdx[N]) is called once per triangle that draws a row, before it; row(offset, x1, x2,
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
    Vert<N> p0{}, p1{}, p2{};  // zero padding lanes
    p0.x = s0->x, p0.y = s0->y, p1.x = s1->x, p1.y = s1->y, p2.x = s2->x, p2.y = s2->y;
    load(*s0, p0.q);
    load(*s1, p1.q);
    load(*s2, p2.q);

    // Rows [first, end): the upper half down to row y1, where the edge that ended at P1 continues
    // to P2 (prestep y1 - P1.y), then the lower half; nothing below the screen. The walk starts
    // with the long edge P0 -> P2 and the short one ss -> se, if any.
    const long end = y2 < ScreenH ? y2 : ScreenH;
    long first, switchRow;
    const Vert<N>* ss = &p0;
    const Vert<N>* se = &p1;
    bool shortNow = true;
    if (p1.y < 0.0f) {
        // Upper half wholly above row 0: both edges evaluated at row 0, lower half only.
        first = 0;
        switchRow = -1;
        ss = &p1, se = &p2;
    } else {
        first = y0 < 0 ? 0 : y0;  // top clip: a vertex above row 0 starts the walk at row 0
        switchRow = y1;
        shortNow = first < y1;  // else a flat top: no upper rows, the edge P0 -> P1 is never used
    }
    // Every edge the walk uses, each at the first row it serves: the long one and the short one
    // from ss at the first row in lanes 0 and 1, and the one from P1 on at row y1 in lane 3 (the
    // same as lane 1 when the walk starts below P1). Lane 2 holds the split's
    // t = (P1.y - P0.y) / (P2.y - P0.y).
    const float lower = switchRow < 0 ? (float)first : (float)switchRow;
    const EdgeStart start = edge_start(FroundF4{p0.x, ss->x, p0.y, p1.x}, FroundF4{p0.y, ss->y, p0.y, p1.y},
                                       FroundF4{p2.x, se->x, p1.y, p2.x}, FroundF4{p2.y, se->y, p2.y, p2.y},
                                       FroundF4{(float)first, (float)first, (float)first, lower});

    // Split: W is the span width at P1's height. A sliver under one pixel wide is still drawn
    // (dropping it leaves one-pixel cracks along the silhouettes of closed meshes); only its
    // gradients divide by a width held at one pixel, so they stay bounded. Its spans cover at
    // most a pixel or so per row, where the exact gradient would make no visible difference.
    // Where the attributes end in a single one (the tail), its differences from P0 and the
    // numerator of its gradient, tail10 - t * tail20, ride in the lanes beside P1.x - P0.x and W,
    // which has the same form: one four-lane operation each instead of a chain of scalar ones per
    // value.
    const float t = start.d[2];
    const FroundF4 t4 = fround_splat4(t);
    constexpr bool Tail = Edges<N>::Tail;
    float W, tailNum = 0.0f;
    // The gradients, once the first row draws something, and the attribute differences they
    // share with the edges from P0.
    alignas(16) float dqdx[padded(N)] = {};
    alignas(16) float diff10[padded(N)];
    alignas(16) float diff20[padded(N)];
    if (Tail) {
        const float q0 = p0.q[N - 1];
        const FroundF4 d = F.subNear(FroundF4{p1.x, p1.q[N - 1], p2.q[N - 1], 0.0f}, FroundF4{p0.x, q0, q0, 0.0f});
        diff10[N - 1] = d[1];
        diff20[N - 1] = d[2];
        const FroundF4 w = F.sub(FroundF4{d[0], d[1], 0.0f, 0.0f}, F.mul(t4, FroundF4{start.num[0], d[2], 0.0f, 0.0f}));
        W = w[0];
        tailNum = w[1];
    } else {
        const float x10 = ss == &p0 ? start.num[1] : F.sub(p1.x, p0.x);  // P1.x - P0.x
        W = F.sub(x10, F.mul(t, start.num[0]));
    }
    if (W == 0.0f)
        return;
    const float gradW = W > 0.0f ? (W < 1.0f ? 1.0f : W) : (W > -1.0f ? -1.0f : W);
    bool gradReady = false;

    // Edges. W > 0: P1 lies right of the long edge P0 -> P2, which is then the left edge for the
    // whole triangle; otherwise it is the right one. The other side runs P0 -> P1, then P1 -> P2.
    // (A flat top's short lane holds no edge: the switch at the first row sets it.)
    const bool longLeft = W > 0.0f;
    Edges<N> g{};  // every field is set before use; zero keeps the compiler sure of it
    g.setX(longLeft ? 0 : 1, start, 0);
    g.setX(longLeft ? 1 : 0, start, 1);
    if (longLeft)
        g.setLeft(start, 0, &p0, &p2, first);
    else if (shortNow)
        g.setLeft(start, 1, ss, se, first);

    // The walk. A row whose span covers no column on screen only advances the edges (the span
    // routine would draw nothing from it).
    int32_t offset = (int32_t)first * (int32_t)ScreenW;
    for (long r = first; r < end; r++, offset += (int32_t)ScreenW) {
        if (r == switchRow) {
            if (longLeft)
                g.setX(1, start, 3);
            else
                g.setLeft(start, 3, &p1, &p2, r);
        }
        const int32_t x1 = to_column(g.xl()), x2 = to_column(g.xr());
        if (x1 < x2 && x2 > 0 && x1 < ScreenW) {
            if (!gradReady) {
                const FroundF4 w4 = fround_splat4(gradW);
                for (int i = 0; i < g.Body; i++) {
                    const FroundF4 q0 = group(p0.q, i);
                    const FroundF4 d10 = F.subNear(group(p1.q, i), q0), d20 = F.subNear(group(p2.q, i), q0);
                    fround_store4(diff10 + 4 * i, d10);
                    fround_store4(diff20 + 4 * i, d20);
                    fround_store4(dqdx + 4 * i, F.div(F.sub(d10, F.mul(t4, d20)), w4));
                }
                if (Tail)
                    dqdx[N - 1] = F.div(tailNum, gradW);
                grad(dqdx);
                gradReady = true;
            }
            if (!g.lqReady)
                g.setLeftAttributes(r, g.ls != &p0 ? nullptr : g.le == &p2 ? diff20 : diff10);
            // 0 <= sub < 1: from the edge to the column. For an edge at 0.5 or beyond, or at -2 or
            // before, the column and the edge are within a factor of two and the difference is
            // exact (Sterbenz): no rounding to do.
            const float lx = g.xl();
            const float sub = lx >= 0.5f || lx <= -2.0f ? (float)x1 - lx : F.sub((float)x1, lx);
            alignas(16) float q[padded(N)];
            g.drawRow(sub, dqdx, q);
            row(offset, x1, x2, q);
        } else {
            g.advance();
        }
    }
}

}  // namespace trisetup
