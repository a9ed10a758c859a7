// Frame buffers, live palette, presentation and the palette toolbox.
#include "video.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "fround.h"
#include "glint_interface.h"
#include "image.h"
#include "log.h"
#include "math.h"
#include "mem.h"
#include "util.h"

static int s_mode = 0;
static int s_bpp = 0;
static uint8_t* s_videoMem = nullptr;
static uint8_t* s_buffer[2] = {nullptr, nullptr};
alignas(64) static uint32_t s_palette[256];
static void (*s_presentFunc)(void) = nullptr;
static float s_flashTimer = 0.0f;
static float s_flashDuration = 0.0f;
static const uint8_t* s_flashPalette = nullptr;

// ---- set-up and buffers -------------------------------------------------------------------------

int video_getBpp(int mode)
{
    switch (mode) {
    case 1: return 8;
    case 3: return 16;
    case 4: return 32;
    default: return 0;
    }
}

int video_init(int mode, int fullscreen, int scale)
{
    int bpp = video_getBpp(mode);
    if (bpp == 0) {
        log_stdio("video: unknown mode %d\n", mode);
        return 0;
    }
    if (!glint_init(VideoWidth, VideoHeight, fullscreen, scale))
        return 0;
    s_mode = mode;
    s_bpp = bpp;

    // One block for both buffers; each buffer has one spare row (320 bytes, index 0) directly
    // above its first row and one below its last, read by the neighbourhood filters.
    size_t size = (size_t)(bpp / 8) * 320 * 202;
    if (s_videoMem)
        mem_free(s_videoMem);
    s_videoMem = (uint8_t*)mem_malloc(2 * size);
    memset(s_videoMem, 0, 2 * size);
    s_buffer[0] = s_videoMem + 320;
    s_buffer[1] = s_videoMem + size + 320;

    s_presentFunc = video_present_win;
    s_presentFunc();
    return 1;
}

void video_deinit(void)
{
    if (s_videoMem) {
        mem_free(s_videoMem);
        s_videoMem = nullptr;
        s_buffer[0] = s_buffer[1] = nullptr;
    }
    s_mode = 0;
    s_bpp = 0;
    s_presentFunc = nullptr;
    s_flashTimer = 0.0f;
    glint_deinit();
}

int video_getCurrentMode(void)
{
    return s_mode;
}

int video_getCurrentBpp(void)
{
    return s_bpp;
}

int video_isGraphics(void)
{
    return s_mode != 0;
}

uint8_t* video_getBuffer(int n)
{
    return (n == 0 || n == 1) ? s_buffer[n] : nullptr;
}

void video_swapBuffers(void)
{
    uint8_t* t = s_buffer[0];
    s_buffer[0] = s_buffer[1];
    s_buffer[1] = t;
}

uint32_t* video_getRGBBuffer(void)
{
    return glint_getBuffer();
}

// ---- presentation -------------------------------------------------------------------------------

// The expansion is the hottest loop of every frame (64,000 lookups), kept plain C++: baseline
// x86-64 has no gather to vectorise it with. Eight indices come in one 64-bit load, so the index
// loads do not queue behind the surface stores (a byte-at-a-time loop measured twice as slow
// when the two buffers' addresses collide in their low bits); the stores stay plain words.
void video_expand(uint32_t* __restrict dst, const uint8_t* __restrict src, const uint32_t* __restrict palette,
                  int count)
{
    int n = 0;
    for (; n + 8 <= count; n += 8) {
        uint64_t v;
        memcpy(&v, src + n, 8);
        dst[n + 0] = palette[v & 0xFF];
        dst[n + 1] = palette[(v >> 8) & 0xFF];
        dst[n + 2] = palette[(v >> 16) & 0xFF];
        dst[n + 3] = palette[(v >> 24) & 0xFF];
        dst[n + 4] = palette[(v >> 32) & 0xFF];
        dst[n + 5] = palette[(v >> 40) & 0xFF];
        dst[n + 6] = palette[(v >> 48) & 0xFF];
        dst[n + 7] = palette[v >> 56];
    }
    for (; n < count; n++)
        dst[n] = palette[src[n]];
}

void video_copyBufferToRGB(const uint8_t* frame)
{
    uint32_t* dst = glint_getBuffer();
    if (!dst || !frame)
        return;
    video_expand(dst, frame, s_palette, VideoPixels);
}

void video_copyIndexBufferToRGB(int n)
{
    video_copyBufferToRGB(video_getBuffer(n));
}

void video_present_win(void)
{
    if (s_mode == 1) {
        video_copyBufferToRGB(s_buffer[0]);
    } else {
        // A straight word copy; a 16-bit buffer holds only half the words of the surface.
        uint32_t* dst = glint_getBuffer();
        if (dst && s_buffer[0])
            util_blit(dst, s_buffer[0], s_bpp == 32 ? VideoPixels : VideoPixels * (s_bpp / 8) / 4);
    }
    glint_update();
}

void video_present(float dt)
{
    if (s_flashTimer > 0.0f) {
        float t = 1.0f - s_flashTimer / s_flashDuration;
        s_flashTimer -= dt;
        if (s_flashTimer < 0.0f)
            s_flashTimer = 0.0f;
        if (s_flashTimer > s_flashDuration)
            s_flashTimer = s_flashDuration;
        video_flash(t, s_flashPalette, 63, 63, 63);
    }
    if (s_presentFunc)
        s_presentFunc();
}

int video_captureBuffer(const char* filename, int n)
{
    const uint8_t* buffer = video_getBuffer(n);
    if (!buffer || s_bpp != 8)
        return 0;
    uint8_t palette[768];
    video_getPalette(palette);
    return image_save(filename, buffer, VideoWidth, VideoHeight, palette);
}

void video_drawPalette(void)
{
    uint8_t* dst = s_buffer[0];
    if (!dst)
        return;
    for (int y = 0; y < 10; y++)
        for (int x = 0; x < 256; x++)
            dst[y * VideoWidth + x] = (uint8_t)x;
}

// ---- palette entries ----------------------------------------------------------------------------

void video_setPal(int index, uint8_t r, uint8_t g, uint8_t b)
{
    // 6-bit to 8-bit: 0 stays 0, 63 becomes 255. Components above 63 are outside the contract
    // and spill into the neighbouring channel.
    uint32_t r8 = ((uint32_t)r << 2) | ((uint32_t)r >> 4);
    uint32_t g8 = ((uint32_t)g << 2) | ((uint32_t)g >> 4);
    uint32_t b8 = ((uint32_t)b << 2) | ((uint32_t)b >> 4);
    s_palette[index & 255] = (r8 << 16) | (g8 << 8) | b8;
}

void video_getPal(int index, uint8_t* r, uint8_t* g, uint8_t* b)
{
    uint32_t e = s_palette[index & 255];
    *r = (uint8_t)(e >> 16);
    *g = (uint8_t)(e >> 8);
    *b = (uint8_t)e;
}

void video_setPalette(const uint8_t* palette)
{
    for (int i = 0; i < 256; i++)
        video_setPal(i, palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2]);
}

void video_getPalette(uint8_t* palette)
{
    for (int i = 0; i < 256; i++)
        video_getPal(i, &palette[i * 3], &palette[i * 3 + 1], &palette[i * 3 + 2]);
}

// Clamps [first, first + count) to the palette; false when nothing is left. The end is formed in
// 64 bits: any int first and count, INT_MAX included, give the entries they reach.
static bool clampRange(int* first, int* count)
{
    const int begin = *first < 0 ? 0 : *first;
    const int end = (int)std::min<int64_t>((int64_t)*first + *count, 256);
    if (end <= begin)
        return false;
    *first = begin;
    *count = end - begin;
    return true;
}

void video_setPaletteRange(const uint8_t* palette, int first, int count)
{
    if (!clampRange(&first, &count))
        return;
    for (int i = first; i < first + count; i++)
        video_setPal(i, palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2]);
}

void video_setPaletteWhite(void)
{
    for (int i = 0; i < 256; i++)
        video_setPal(i, 63, 63, 63);
}

void video_setPaletteBlack(void)
{
    for (int i = 0; i < 256; i++)
        video_setPal(i, 0, 0, 0);
}

const uint32_t* video_getLivePalette(void)
{
    return s_palette;
}

// ---- searches -----------------------------------------------------------------------------------

int video_findPaletteIndex(const uint8_t* palette, uint8_t r, uint8_t g, uint8_t b)
{
    for (int i = 0; i < 256; i++)
        if (palette[i * 3] == r && palette[i * 3 + 1] == g && palette[i * 3 + 2] == b)
            return i;
    return -1;
}

int video_findPaletteNearestIndex(const uint8_t* palette, uint8_t r, uint8_t g, uint8_t b)
{
    int best = 0;
    float bestDistance = 0.0f;
    for (int i = 0; i < 256; i++) {
        float dr = (float)palette[i * 3] - (float)r;
        float dg = (float)palette[i * 3 + 1] - (float)g;
        float db = (float)palette[i * 3 + 2] - (float)b;
        float d2 = dg * dg + dr * dr + db * db;
        // For d2 = 0 this is tiny but positive, so an exact match still wins; ties keep the
        // lower index.
        float distance = fround_div(1.0f, math_rsqrt(d2));  // scenes look colours up while loading
        if (i == 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

int video_findPaletteBrightest(const uint8_t* palette)
{
    // Greedy: an entry qualifies only by exceeding the current reference in all three.
    int best = 0;
    int rr = 0, rg = 0, rb = 0;
    for (int i = 0; i < 256; i++) {
        int r = palette[i * 3], g = palette[i * 3 + 1], b = palette[i * 3 + 2];
        if (r > rr && g > rg && b > rb) {
            rr = r;
            rg = g;
            rb = b;
            best = i;
        }
    }
    return best;
}

int video_findPaletteDarkest(const uint8_t* palette)
{
    int best = 0;
    int rr = 255, rg = 255, rb = 255;
    for (int i = 0; i < 256; i++) {
        int r = palette[i * 3], g = palette[i * 3 + 1], b = palette[i * 3 + 2];
        if (r < rr && g < rg && b < rb) {
            rr = r;
            rg = g;
            rb = b;
            best = i;
        }
    }
    return best;
}

// ---- fades, blends, flashes ---------------------------------------------------------------------

// Rounded in the current mode; the low 8 bits are the stored component.
static inline uint8_t toComponent(float v)
{
    return (uint8_t)(fround_toInt(v) & 0xFF);
}

void video_fadePaletteFromBlack(const uint8_t* palette, int first, int count, float t)
{
    if (!clampRange(&first, &count))
        return;
    for (int i = first; i < first + count; i++) {
        const uint8_t* c = palette + i * 3;
        video_setPal(i, toComponent((float)c[0] * t), toComponent((float)c[1] * t), toComponent((float)c[2] * t));
    }
}

void video_fadePaletteFromWhite(const uint8_t* palette, int first, int count, float t)
{
    if (!clampRange(&first, &count))
        return;
    float w = 63.0f * (1.0f - t);
    for (int i = first; i < first + count; i++) {
        const uint8_t* c = palette + i * 3;
        video_setPal(i, toComponent((float)c[0] * t + w), toComponent((float)c[1] * t + w),
                     toComponent((float)c[2] * t + w));
    }
}

void video_fadePaletteToBlack(const uint8_t* palette, int first, int count, float t)
{
    if (!clampRange(&first, &count))
        return;
    float k = 1.0f - t;
    for (int i = first; i < first + count; i++) {
        const uint8_t* c = palette + i * 3;
        video_setPal(i, toComponent((float)c[0] * k), toComponent((float)c[1] * k), toComponent((float)c[2] * k));
    }
}

void video_fadePaletteToWhite(const uint8_t* palette, int first, int count, float t)
{
    if (!clampRange(&first, &count))
        return;
    float k = 1.0f - t;
    float w = 63.0f * t;
    for (int i = first; i < first + count; i++) {
        const uint8_t* c = palette + i * 3;
        video_setPal(i, toComponent((float)c[0] * k + w), toComponent((float)c[1] * k + w),
                     toComponent((float)c[2] * k + w));
    }
}

void video_lerpPalette(const uint8_t* a, const uint8_t* b, float t)
{
    float k = 1.0f - t;
    for (int i = 0; i < 256; i++) {
        uint8_t c[3];
        for (int j = 0; j < 3; j++)
            c[j] = toComponent((float)a[i * 3 + j] * k + (float)b[i * 3 + j] * t);
        video_setPal(i, c[0], c[1], c[2]);
    }
}

void video_flash(float t, const uint8_t* palette, uint8_t r, uint8_t g, uint8_t b)
{
    if (!palette)
        return;
    float u = t - 1.0f;
    float a = u * u * u + 1.0f;  // ease-out: 0 at t = 0, 1 at t = 1
    float k = 1.0f - a;
    float fr = (float)r * k, fg = (float)g * k, fb = (float)b * k;
    for (int i = 0; i < 256; i++) {
        const uint8_t* c = palette + i * 3;
        video_setPal(i, toComponent(fr + (float)c[0] * a), toComponent(fg + (float)c[1] * a),
                     toComponent(fb + (float)c[2] * a));
    }
}

void video_flashWhite(float t, const uint8_t* palette)
{
    video_flash(t, palette, 63, 63, 63);
}

void video_triggerFlashWhite(float duration, const uint8_t* palette)
{
    s_flashDuration = duration;
    s_flashTimer = duration;
    s_flashPalette = palette;
}

// ---- gradients ----------------------------------------------------------------------------------

// Low 8 bits of the rounded value as an unsigned byte, then limited to 63 (so a negative value,
// whose low byte is large, also ends as 63).
static inline uint8_t gradientComponent(float v)
{
    uint8_t c = toComponent(v);
    return c >= 63 ? 63 : c;
}

void video_makePalette(vec4 a, vec4 b, vec4 c, vec4 d, uint8_t* palette)
{
    const float* pa = &a.x;
    const float* pb = &b.x;
    const float* pc = &c.x;
    const float* pd = &d.x;
    for (int i = 0; i < 256; i++) {
        float t = (float)i * 0.003921569f;
        for (int k = 0; k < 3; k++) {
            float v = (pa[k] + pb[k] * cosf(6.2831855f * (pc[k] * t + pd[k]))) * 63.0f;
            palette[i * 3 + k] = gradientComponent(v);
        }
    }
}

void video_makePaletteStops(vec4 s0, vec4 s1, vec4 s2, vec4 s3, vec4 s4, uint8_t* palette)
{
    const vec4* stops[5] = {&s0, &s1, &s2, &s3, &s4};
    for (int run = 0; run < 4; run++) {
        const float* from = &stops[run]->x;
        const float* to = &stops[run + 1]->x;
        for (int j = 0; j < 64; j++) {
            float f = (float)j * 0.015873017f;
            for (int k = 0; k < 3; k++)
                palette[(run * 64 + j) * 3 + k] = gradientComponent(from[k] * (1.0f - f) + to[k] * f);
        }
    }
}

// ---- lines --------------------------------------------------------------------------------------

namespace {

// A line from (x0, y0) to (x1, y1) walked by its error term err = dx - dy - i*dy + j*dx after i
// steps in x and j in y: x steps while 2*err >= -dx, y steps while 2*err <= dy. Every iteration
// steps the longer axis, and after m such steps the shorter axis has stepped
// floor(d_short * (2m + 1) / (2 d_long)) times, so the walk can start at any step without
// walking the steps before it.
struct LineWalk {
    int64_t x0, y0, x1, y1, dx, dy, sx, sy;
    int64_t x, y, err;  // current pixel and error term
    int64_t first, last;  // steps along the longer axis that come near the frame

    LineWalk(int ax, int ay, int bx, int by, int margin)
        : x0(ax), y0(ay), x1(bx), y1(by)
    {
        dx = x1 > x0 ? x1 - x0 : x0 - x1;
        dy = y1 > y0 ? y1 - y0 : y0 - y1;
        sx = x0 < x1 ? 1 : -1;
        sy = y0 < y1 ? 1 : -1;
        const bool xMajor = dx >= dy;
        const int64_t start = xMajor ? x0 : y0, s = xMajor ? sx : sy, len = xMajor ? dx : dy;
        const int64_t limit = xMajor ? VideoWidth : VideoHeight;
        // Steps m with start + m*s in [-margin, limit - 1 + margin], within [0, len].
        first = s > 0 ? -margin - start : start - (limit - 1 + margin);
        last = s > 0 ? limit - 1 + margin - start : start + margin;
        if (first < 0)
            first = 0;
        if (last > len)
            last = len;
        // 128-bit products: the lengths reach 2^32.
        const __int128 m = first;
        __int128 i, j;
        if (xMajor) {
            i = m;
            j = dx ? (__int128)dy * (2 * m + 1) / (2 * dx) : 0;
        } else {
            j = m;
            i = (__int128)dx * (2 * m + 1) / (2 * dy);
        }
        x = x0 + (int64_t)i * sx;
        y = y0 + (int64_t)j * sy;
        err = (int64_t)((__int128)dx - dy - i * dy + j * dx);
    }
    bool empty() const { return first > last; }
};

inline bool onScreen(int64_t x, int64_t y)
{
    return x >= 0 && x < VideoWidth && y >= 0 && y < VideoHeight;
}

}  // namespace

void video_drawLine(int x0, int y0, int x1, int y1, int colour)
{
    uint8_t* dst = s_buffer[0];
    if (!dst)
        return;
    LineWalk w(x0, y0, x1, y1, 0);
    for (int64_t step = w.first; step <= w.last; step++) {
        if (onScreen(w.x, w.y))
            dst[w.y * VideoWidth + w.x] = (uint8_t)colour;
        const int64_t e2 = 2 * w.err;
        if (e2 >= -w.dx) {
            if (w.x == w.x1)
                break;
            w.err -= w.dy;
            w.x += w.sx;
        }
        if (e2 <= w.dy) {
            if (w.y == w.y1)
                break;
            w.err += w.dx;
            w.y += w.sy;
        }
    }
}

void video_drawLineAA(int x0, int y0, int x1, int y1, int unused)
{
    uint8_t* dst = s_buffer[0];
    if (!dst)
        return;
    // One step of margin: a pixel just off the frame has a neighbour on it.
    LineWalk w(x0, y0, x1, y1, 1);
    int64_t ed = 1;
    if (w.dx + w.dy != 0) {
        // The squared length in double is exact up to 2^53 and converts to float as the integer
        // would; beyond that only huge off-screen lines are affected.
        const float d2 = (float)((double)w.dx * (double)w.dx + (double)w.dy * (double)w.dy);
        ed = llrintf(1.0f / math_rsqrt(d2));
        if (ed < 1)
            ed = 1;
    }
    auto plot = [&](int64_t x, int64_t y, int64_t e) {
        if (!onScreen(x, y))
            return;
        const int64_t v = 255 - 255 * e / ed;  // e never exceeds the length by more than rounding
        dst[y * VideoWidth + x] = (uint8_t)(v < 0 ? 0 : v);
    };
    for (int64_t step = w.first; step <= w.last; step++) {
        const int64_t d = w.err - w.dx + w.dy;
        plot(w.x, w.y, d < 0 ? -d : d);
        const int64_t e2 = w.err, x2 = w.x;
        if (2 * e2 >= -w.dx) {
            if (w.x == w.x1)
                break;
            if (e2 + w.dy < ed)
                plot(w.x, w.y + w.sy, e2 + w.dy);
            w.err -= w.dy;
            w.x += w.sx;
        }
        if (2 * e2 <= w.dy) {
            if (w.y == w.y1)
                break;
            if (w.dx - e2 < ed)
                plot(x2 + w.sx, w.y, w.dx - e2);
            w.err += w.dx;
            w.y += w.sy;
        }
    }
}

// ---- filters ------------------------------------------------------------------------------------
//
// Plain loops over the strip, branch-free, which the compiler vectorises: the sums are formed in
// 16 bits and the clamps are min/max. The reads one row above row 0 and one below row 199 land in
// the spare rows of the buffer block.

static int s_blurBigDecay = 10;
static int32_t s_radialBlurLookup[VideoPixels];

static inline uint8_t clampIndex(int v)
{
    return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
}

void video_blur(const uint8_t* __restrict src, uint8_t* __restrict dst)
{
    for (int n = 0; n < VideoPixels; n++) {
        const unsigned a = ((unsigned)src[n - 1] + src[n + 1] + src[n - VideoWidth] + src[n + VideoWidth]) >> 2;
        dst[n] = (uint8_t)(a - (a >> 2));
    }
}

void video_blur2(const uint8_t* __restrict src, uint8_t* __restrict dst, int decay)
{
    // A decay outside 0..255 saturates the same way; keeping it in range keeps the sums in 16 bits.
    const int d = decay < -255 ? -255 : decay > 255 ? 255 : decay;
    for (int n = 0; n < VideoPixels; n++) {
        const int a = ((int)src[n - 1] + src[n + 1] + src[n - VideoWidth] + src[n + VideoWidth]) >> 2;
        dst[n] = clampIndex(a - d);
    }
}

// The eight neighbours of pixel n.
static inline int blurBigSum(const uint8_t* src, int n, int upLeft, int downRight)
{
    const uint8_t* up = src + n - VideoWidth;
    const uint8_t* down = src + n + VideoWidth;
    return upLeft + up[0] + up[1] + src[n - 1] + src[n + 1] + down[-1] + down[0] + downRight;
}

void video_blurBig(const uint8_t* __restrict src, uint8_t* __restrict dst)
{
    const int d = s_blurBigDecay < -255 ? -255 : s_blurBigDecay > 255 ? 255 : s_blurBigDecay;
    // The strip's first and last 16 pixels go one at a time: pixel 0's upper-left and pixel
    // 63,999's lower-right neighbours would be the only reads past the spare rows, and are taken as
    // the spare rows' 0. The rest is a whole number of 16-byte vectors.
    constexpr int Edge = 16;
    for (int n = Edge; n < VideoPixels - Edge; n++) {
        const int a = blurBigSum(src, n, src[n - VideoWidth - 1], src[n + VideoWidth + 1]) >> 3;
        dst[n] = clampIndex(a - d);
    }
    for (int i = 0; i < Edge; i++) {
        const int head = i, tail = VideoPixels - Edge + i;
        const int upLeft = head > 0 ? src[head - VideoWidth - 1] : 0;
        const int downRight = tail < VideoPixels - 1 ? src[tail + VideoWidth + 1] : 0;
        dst[head] = clampIndex((blurBigSum(src, head, upLeft, src[head + VideoWidth + 1]) >> 3) - d);
        dst[tail] = clampIndex((blurBigSum(src, tail, src[tail - VideoWidth - 1], downRight) >> 3) - d);
    }
}

void video_setBlurBigDecay(int decay)
{
    s_blurBigDecay = decay;
}

void video_blur32(const uint32_t* __restrict src, uint32_t* __restrict dst)
{
    for (int n = 20 * VideoWidth; n < 180 * VideoWidth; n++) {
        const uint32_t l = src[n - 1], r = src[n + 1], u = src[n - VideoWidth], d = src[n + VideoWidth];
        const uint32_t ra = (((l >> 16) & 255) + ((r >> 16) & 255) + ((u >> 16) & 255) + ((d >> 16) & 255)) >> 2;
        const uint32_t ga = (((l >> 8) & 255) + ((r >> 8) & 255) + ((u >> 8) & 255) + ((d >> 8) & 255)) >> 2;
        const uint32_t ba = ((l & 255) + (r & 255) + (u & 255) + (d & 255)) >> 2;
        dst[n] = ((ra - (ra >> 2)) << 16) | ((ga - (ga >> 2)) << 8) | (ba - (ba >> 2));
    }
}

// Rounded in the current mode after limiting to [0, limit - 1]; not-a-number takes the centre.
static int radialSample(float v, int limit, int centre)
{
    if (v != v)
        return centre;
    v = v < 0.0f ? 0.0f : v > (float)(limit - 1) ? (float)(limit - 1) : v;
    return (int)lrintf(v);
}

void video_setRadialBlurLookup(float amount)
{
    const float k = 1.0f / amount;
    for (int y = 0; y < VideoHeight; y++) {
        const int sy = radialSample((float)y + (float)(100 - y) * k, VideoHeight, 100);
        for (int x = 0; x < VideoWidth; x++) {
            const int sx = radialSample((float)x + (float)(160 - x) * k, VideoWidth, 160);
            s_radialBlurLookup[y * VideoWidth + x] = sy * VideoWidth + sx;
        }
    }
}

// One pass over rows [r0, r1] and columns [c0, c1], each walked in its given direction.
static inline void radialPass(uint8_t* buffer, int r0, int r1, int c0, int c1)
{
    const int dr = r1 >= r0 ? 1 : -1, dc = c1 >= c0 ? 1 : -1;
    for (int y = r0;; y += dr) {
        const int row = y * VideoWidth;
        for (int x = c0;; x += dc) {
            buffer[row + x] = (uint8_t)((buffer[row + x] + buffer[s_radialBlurLookup[row + x]]) >> 1);
            if (x == c1)
                break;
        }
        if (y == r1)
            break;
    }
}

void video_blurRadial(uint8_t* buffer)
{
    radialPass(buffer, 100, 0, 160, 319);
    radialPass(buffer, 100, 0, 159, 0);
    radialPass(buffer, 101, 199, 160, 0);
    radialPass(buffer, 101, 199, 161, 319);
}
