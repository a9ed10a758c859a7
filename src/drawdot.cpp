// Additive dots and dot lines.
//
// Every dot is one template instantiation: a position whose whole table lies in the frame (one
// unsigned compare per axis) runs the fully unrolled table, in which the cells of weight 0 fold
// away; anything else is clipped cell by cell. The cell operation is a small inline functor, so
// the unrolled path is straight-line code with branch-free saturation.
#include "drawdot.h"

#include <algorithm>

#include "video.h"

static const uint8_t s_dot[4][4] = {
    {0, 1, 1, 0},
    {1, 2, 2, 1},
    {1, 2, 2, 1},
    {0, 1, 1, 0},
};

static const uint8_t s_dotBig[8][8] = {
    {0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 1, 2, 2, 1, 0, 0},
    {0, 1, 3, 3, 3, 3, 1, 0},
    {0, 2, 3, 3, 3, 3, 2, 0},
    {0, 2, 3, 3, 3, 3, 2, 0},
    {0, 1, 3, 3, 3, 3, 1, 0},
    {0, 0, 1, 2, 2, 1, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0},
};

namespace {

inline uint8_t saturate(int v)
{
    return (uint8_t)(v > 255 ? 255 : v);
}

// The part [c0, c1) x [r0, r1) of a w x h block at (x, y) that lies in the frame.
struct Clip {
    int c0, c1, r0, r1;
};

bool clipBlock(int x, int y, int w, int h, Clip* c)
{
    if (x <= -w || x >= VideoWidth || y <= -h || y >= VideoHeight)
        return false;  // also keeps the arithmetic below far from overflow
    c->c0 = x < 0 ? -x : 0;
    c->r0 = y < 0 ? -y : 0;
    c->c1 = x > VideoWidth - w ? VideoWidth - x : w;
    c->r1 = y > VideoHeight - h ? VideoHeight - y : h;
    return true;
}

inline bool wholeBlockInside(int x, int y, int w, int h)
{
    return (unsigned)x <= (unsigned)(VideoWidth - w) && (unsigned)y <= (unsigned)(VideoHeight - h);
}

template <int N, typename Op>
inline void addDot(int x, int y, uint8_t* buffer, const uint8_t (&w)[N][N], Op op)
{
    if (wholeBlockInside(x, y, N, N)) {
        uint8_t* p = buffer + y * VideoWidth + x;
        for (int r = 0; r < N; r++)
            for (int c = 0; c < N; c++)
                p[r * VideoWidth + c] = op(p[r * VideoWidth + c], w[r][c]);
        return;
    }
    Clip cl;
    if (!clipBlock(x, y, N, N, &cl))
        return;
    for (int r = cl.r0; r < cl.r1; r++) {
        uint8_t* p = buffer + (y + r) * VideoWidth + x;
        for (int c = cl.c0; c < cl.c1; c++)
            p[c] = op(p[c], w[r][c]);
    }
}

// A w x h block adding `add` to every cell, clipped like the dots.
void addBlock(int x, int y, int w, int h, int add, uint8_t* buffer)
{
    Clip cl;
    if (!clipBlock(x, y, w, h, &cl))
        return;
    for (int r = cl.r0; r < cl.r1; r++) {
        uint8_t* p = buffer + (y + r) * VideoWidth + x;
        for (int c = cl.c0; c < cl.c1; c++)
            p[c] = saturate(p[c] + add);
    }
}

}  // namespace

void video_drawAddDot(int x, int y, uint8_t* buffer)
{
    addDot(x, y, buffer, s_dot, [](uint8_t d, int w) { return saturate(d + w); });
}

void video_drawAddDot2(int x, int y, uint8_t* buffer)
{
    addDot(x, y, buffer, s_dot, [](uint8_t d, int w) { return saturate(d + 2 * w); });
}

void video_drawAddDotCol(int x, int y, uint8_t* buffer, int k)
{
    const unsigned uk = (unsigned)k;
    addDot(x, y, buffer, s_dot, [uk](uint8_t d, int w) { return saturate(d + (int)(((unsigned)w * uk) & 255u)); });
}

void video_drawAddDotCol2(int x, int y, uint8_t* buffer, int k)
{
    // 64-bit so that no intensity overflows; the ceiling is 239, not 255.
    addDot(x, y, buffer, s_dot, [k](uint8_t d, int w) {
        int64_t v = (int64_t)d + (int64_t)w * k;
        return (uint8_t)(v < 0 ? 0 : v < 240 ? v : 239);
    });
}

void video_drawAddDotColBig(int x, int y, uint8_t* buffer, int k)
{
    const unsigned uk = (unsigned)k;
    addDot(x, y, buffer, s_dotBig, [uk](uint8_t d, int w) { return saturate(d + (int)(((unsigned)w * uk) & 255u)); });
}

void video_drawAddDotScaled(int x, int y, uint8_t* buffer, int n)
{
    if (n <= 0)
        return;
    Clip cl;
    if (!clipBlock(x, y, n, n, &cl))
        return;
    // r < n and s = 1024 / n keep r * s / 256 below 4; past n = 1024 every weight is s_dot[0][0].
    const int s = 1024 / n;
    for (int r = cl.r0; r < cl.r1; r++) {
        const uint8_t* wrow = s_dot[(r * s) >> 8];
        uint8_t* p = buffer + (y + r) * VideoWidth + x;
        for (int c = cl.c0; c < cl.c1; c++)
            p[c] = saturate(p[c] + 2 * wrow[(c * s) >> 8]);
    }
}

void video_drawAddDot2_32(int x, int y, uint32_t* buffer, uint32_t colour)
{
    Clip cl;
    if (!clipBlock(x, y, 4, 4, &cl))
        return;
    const int cr = (int)((colour >> 16) & 255), cg = (int)((colour >> 8) & 255), cb = (int)(colour & 255);
    for (int r = cl.r0; r < cl.r1; r++) {
        uint32_t* p = buffer + (y + r) * VideoWidth + x;
        for (int c = cl.c0; c < cl.c1; c++) {
            const int w = s_dot[r][c];
            const uint32_t d = p[c];
            p[c] = ((uint32_t)saturate((int)((d >> 16) & 255) + cr * w) << 16) |
                   ((uint32_t)saturate((int)((d >> 8) & 255) + cg * w) << 8) | saturate((int)(d & 255) + cb * w);
        }
    }
}

// ---- dot lines ----------------------------------------------------------------------------------

namespace {

int64_t floorDiv(int64_t a, int64_t d)  // d > 0
{
    int64_t q = a / d;
    return (a % d != 0 && a < 0) ? q - 1 : q;
}

int64_t ceilDiv(int64_t a, int64_t d)  // d > 0
{
    int64_t q = a / d;
    return (a % d != 0 && a > 0) ? q + 1 : q;
}

// Narrows [*lo, *hi] to the k whose 16.16 coordinate start + k * step has an integer part (floor)
// in [a, b]. The lines can be billions of points long; only the few hundred on screen are walked.
void narrow(int64_t start, int64_t step, int64_t a, int64_t b, int64_t* lo, int64_t* hi)
{
    const int64_t minv = a * 65536 - start;          // k * step >= minv
    const int64_t maxv = b * 65536 + 65535 - start;  // k * step <= maxv
    if (step == 0) {
        if (minv > 0 || maxv < 0)
            *hi = *lo - 1;
    } else if (step > 0) {
        *lo = std::max(*lo, ceilDiv(minv, step));
        *hi = std::min(*hi, floorDiv(maxv, step));
    } else {
        *lo = std::max(*lo, ceilDiv(-maxv, -step));
        *hi = std::min(*hi, floorDiv(-minv, -step));
    }
}

// Calls plot(x, y) for every point of the line whose integer position lies in
// 0..maxX x 0..maxY, in order.
template <typename Plot>
void dotLine(int x0, int y0, int x1, int y1, int maxX, int maxY, Plot plot)
{
    auto off = [](int v, int limit) { return v < 0 || v >= limit; };
    if (off(x0, VideoWidth) && off(y0, VideoHeight) && off(x1, VideoWidth) && off(y1, VideoHeight))
        return;
    const int64_t dx = (int64_t)x1 - x0, dy = (int64_t)y1 - y0;
    int64_t n = std::max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
    if (n < 1)
        n = 1;
    const int64_t stepX = dx * 65536 / n, stepY = dy * 65536 / n;  // toward zero
    const int64_t startX = (int64_t)x0 * 65536, startY = (int64_t)y0 * 65536;
    int64_t lo = 0, hi = n - 1;
    narrow(startX, stepX, 0, maxX, &lo, &hi);
    narrow(startY, stepY, 0, maxY, &lo, &hi);
    for (int64_t k = lo; k <= hi; k++)
        plot((int)((startX + k * stepX) >> 16), (int)((startY + k * stepY) >> 16));
}

}  // namespace

void video_drawDotLine(int x0, int y0, int x1, int y1, uint8_t* buffer)
{
    dotLine(x0, y0, x1, y1, VideoWidth - 4, VideoHeight - 4, [buffer](int x, int y) { video_drawAddDot2(x, y, buffer); });
}

void video_drawDotLineScaled(int x0, int y0, int x1, int y1, uint8_t* buffer, int size)
{
    if (size <= 0)
        return;
    // The size picks one of four blocks; the point test uses the rounded size in both axes.
    int s, w, h, add;
    if (size == 1) {
        s = w = h = 1;
        add = 8;
    } else if (size == 2) {
        s = w = h = 2;
        add = 2;
    } else if (size < 8) {
        s = 4;
        w = 4;
        h = 2;
        add = 2;
    } else {
        s = w = h = 8;
        add = 2;
    }
    dotLine(x0, y0, x1, y1, VideoWidth - s, VideoHeight - s,
            [=](int x, int y) { addBlock(x, y, w, h, add, buffer); });
}
