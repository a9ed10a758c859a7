// Mask rasteriser: interpolates invZ only and writes r3d_mask_value where the depth test passes.
// The depth word is always written, so a masked surface hides what is drawn behind it later.
//
// Span formats: depth unsigned 32-bit, ceil(invZ * 65536) + r3d_zadd, with a signed 32-bit step.
#include "trimask.h"

#include "r3d.h"
#include "trisetup.h"

SpanMask span_mask;

void draw_span_mask(void)
{
    const SpanMask s = span_mask;
    if ((int64_t)s.x2 - s.x1 <= 0 || s.x2 <= 0 || s.x1 >= R3dWidth)
        return;
    const int32_t end = s.x2 < R3dWidth ? s.x2 : R3dWidth;
    uint32_t z = s.z;
    int32_t x = s.x1;
    if (x < 0) {
        z += (uint32_t)-(int64_t)x * (uint32_t)s.dz;
        x = 0;
    }
    const uint32_t dz = (uint32_t)s.dz;
    const uint8_t colour = r3d_mask_value;
    uint8_t* __restrict pixels = r3d_buffer + s.offset;
    uint32_t* __restrict depth = r3d_zbuffer + s.offset;
    for (; x < end; x++) {
        if (z >= depth[x]) {
            depth[x] = z;
            pixels[x] = colour;
        }
        z += dz;
    }
}

void draw_triangle_mask(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c)
{
    using V = trisetup::Vert<1>;
    const V va = {a->x, a->y, {a->invZ}};
    const V vb = {b->x, b->y, {b->invZ}};
    const V vc = {c->x, c->y, {c->invZ}};
    trisetup::raster<1>(
        va, vb, vc,
        [](const float* d) {
            span_mask.dzdx = d[0];
            span_mask.dz = (int32_t)fround_toInt(d[0] * 65536.0f);
        },
        [](int32_t offset, int32_t x1, int32_t x2, const float* q) {
            span_mask.x1 = x1;
            span_mask.x2 = x2;
            span_mask.offset = offset;
            span_mask.z = (uint32_t)fround_toInt(q[0] * 65536.0f) + r3d_zadd;
            draw_span_mask();
        });
}
