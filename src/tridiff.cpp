// Diffuse rasteriser: interpolates invZ, u, v; writes the diffuse texel where the depth test
// passes.
//
// Span formats: depth unsigned 32-bit with a signed 32-bit step; u, v separate 16-bit 8.8 values
// (no carry between them); texel address (v >> 8) * 256 + (u >> 8).
#include "tridiff.h"

#include "r3d.h"
#include "trisetup.h"

SpanDiff span_diff;

void draw_span_diffuse(void)
{
    const SpanDiff s = span_diff;
    if ((int64_t)s.x2 - s.x1 <= 0 || s.x2 <= 0 || s.x1 >= R3dWidth)
        return;
    const int32_t end = s.x2 < R3dWidth ? s.x2 : R3dWidth;
    uint32_t u = s.u, v = s.v, z = s.z;
    int32_t x = s.x1;
    if (x < 0) {
        const uint32_t n = (uint32_t)-(int64_t)x;
        u += n * s.du;
        v += n * s.dv;
        z += n * (uint32_t)s.dz;
        x = 0;
    }
    const uint32_t du = s.du, dv = s.dv, dz = (uint32_t)s.dz;
    const uint8_t* __restrict diffuse = r3d_texture_memory;
    uint8_t* __restrict pixels = r3d_buffer + s.offset;
    uint32_t* __restrict depth = r3d_zbuffer + s.offset;
    for (; x < end; x++) {
        if (z >= depth[x]) {
            depth[x] = z;
            pixels[x] = diffuse[(v & 0xFF00u) | ((u >> 8) & 0xFFu)];
        }
        z += dz;
        u += du;  // only the low 16 bits of u and v are ever used: each wraps on its own
        v += dv;
    }
}

void draw_triangle_diffuse(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c)
{
    using V = trisetup::Vert<3>;
    const V va = {a->x, a->y, {a->invZ, a->u, a->v}};
    const V vb = {b->x, b->y, {b->invZ, b->u, b->v}};
    const V vc = {c->x, c->y, {c->invZ, c->u, c->v}};
    trisetup::raster<3>(
        va, vb, vc,
        [](const float* d) {
            span_diff.dzdx = d[0];
            span_diff.dudx = d[1];
            span_diff.dvdx = d[2];
            span_diff.dz = (int32_t)fround_toInt(d[0] * 65536.0f);
            span_diff.du = trisetup::to_fixed88(d[1]);
            span_diff.dv = trisetup::to_fixed88(d[2]);
        },
        [](int32_t offset, int32_t x1, int32_t x2, const float* q) {
            span_diff.x1 = x1;
            span_diff.x2 = x2;
            span_diff.offset = offset;
            span_diff.z = (uint32_t)fround_toInt(q[0] * 65536.0f) + r3d_zadd;
            span_diff.u = trisetup::to_fixed88(q[1]);
            span_diff.v = trisetup::to_fixed88(q[2]);
            draw_span_diffuse();
        });
}
