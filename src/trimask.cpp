// Mask rasteriser: interpolates invZ only and writes r3d_mask_value where the depth test passes.
// The depth word is always written, so a masked surface hides what is drawn behind it later.
//
// Span formats: depth unsigned 32-bit, ceil(invZ * 65536) + r3d_zadd, with a signed 32-bit step.
#include "trimask.h"

#include "r3d.h"
#include "trisetup.h"

SpanMask span_mask;

// The span loop on its values and the pass's buffers: draw_span_mask runs it on span_mask, the
// triangle set-up on the values of its rows.
static inline void span_mask_run(int32_t x1, int32_t x2, int32_t offset, uint32_t z, uint32_t dz, uint8_t* frame,
                                 uint32_t* depth, uint8_t colour)
{
    if ((int64_t)x2 - x1 <= 0 || x2 <= 0 || x1 >= R3dWidth)
        return;
    const int32_t end = x2 < R3dWidth ? x2 : R3dWidth;
    int32_t x = x1;
    if (x < 0) {
        z += (uint32_t)-(int64_t)x * dz;
        x = 0;
    }
    uint8_t* __restrict pixels = frame + offset;
    uint32_t* __restrict zrow = depth + offset;
    for (; x < end; x++) {
        if (z >= zrow[x]) {
            zrow[x] = z;
            pixels[x] = colour;
        }
        z += dz;
    }
}

void draw_span_mask(void)
{
    const SpanMask& s = span_mask;
    span_mask_run(s.x1, s.x2, s.offset, s.z, (uint32_t)s.dz, r3d_buffer, r3d_zbuffer, r3d_mask_value);
}

void draw_triangle_mask_front(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c)
{
    // The pass's buffers, frame offset and colour, read once: the span stores could alias them.
    uint8_t* const frame = r3d_buffer;
    uint32_t* const depth = r3d_zbuffer;
    const uint32_t zadd = r3d_zadd;
    const uint8_t colour = r3d_mask_value;
    uint32_t dz = 0;
    trisetup::raster<1>(
        a, b, c, [](const ProjVertex& p, float* q) { q[0] = p.invZ; },
        [&](const float* d) {
            span_mask.dzdx = d[0];
            span_mask.dz = (int32_t)trisetup::to_int(d[0] * 65536.0f);
            dz = (uint32_t)span_mask.dz;
        },
        [&](int32_t offset, int32_t x1, int32_t x2, const float* q) {
            span_mask_run(x1, x2, offset, (uint32_t)trisetup::to_int(q[0] * 65536.0f) + zadd, dz, frame, depth, colour);
        });
}

void draw_triangle_mask(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c)
{
    if (trisetup::front_facing(a, b, c))
        draw_triangle_mask_front(a, b, c);
}
