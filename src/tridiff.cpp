// Diffuse rasteriser: interpolates invZ, u, v; writes the diffuse texel where the depth test
// passes.
//
// Span formats: depth unsigned 32-bit with a signed 32-bit step; u, v separate 16-bit 8.8 values
// (no carry between them); texel address (v >> 8) * 256 + (u >> 8).
#include "tridiff.h"

#include "r3d.h"
#include "trisetup.h"

SpanDiff span_diff;

// The span loop on its values and the pass's buffers: draw_span_diffuse runs it on span_diff, the
// triangle set-up on the values of its rows.
static inline void span_diff_run(int32_t x1, int32_t x2, int32_t offset, uint32_t z, uint32_t u, uint32_t v,
                                 uint32_t dz, uint32_t du, uint32_t dv, uint8_t* frame, uint32_t* depth,
                                 const uint8_t* diffuse)
{
    if ((int64_t)x2 - x1 <= 0 || x2 <= 0 || x1 >= R3dWidth)
        return;
    const int32_t end = x2 < R3dWidth ? x2 : R3dWidth;
    int32_t x = x1;
    if (x < 0) {
        const uint32_t n = (uint32_t)-(int64_t)x;
        u += n * du;
        v += n * dv;
        z += n * dz;
        x = 0;
    }
    const uint8_t* __restrict texels = diffuse;
    uint8_t* __restrict pixels = frame + offset;
    uint32_t* __restrict zrow = depth + offset;
    for (; x < end; x++) {
        if (z >= zrow[x]) {
            zrow[x] = z;
            pixels[x] = texels[(v & 0xFF00u) | ((u >> 8) & 0xFFu)];
        }
        z += dz;
        u += du;  // only the low 16 bits of u and v are ever used: each wraps on its own
        v += dv;
    }
}

void draw_span_diffuse(void)
{
    const SpanDiff& s = span_diff;
    span_diff_run(s.x1, s.x2, s.offset, s.z, s.u, s.v, (uint32_t)s.dz, s.du, s.dv, r3d_buffer, r3d_zbuffer,
                  r3d_texture_memory);
}

void draw_triangle_diffuse_front(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c)
{
    // The pass's buffers and frame offset, read once: the span stores could alias the globals.
    uint8_t* const frame = r3d_buffer;
    uint32_t* const depth = r3d_zbuffer;
    const uint8_t* const diffuse = r3d_texture_memory;
    const uint32_t zadd = r3d_zadd;
    uint32_t dz = 0, du = 0, dv = 0;
    trisetup::raster<3>(
        a, b, c, [](const ProjVertex& p, float* q) { q[0] = p.invZ, q[1] = p.u, q[2] = p.v; },
        [&](const float* d) {
            span_diff.dzdx = d[0];
            span_diff.dudx = d[1];
            span_diff.dvdx = d[2];
            span_diff.dz = (int32_t)trisetup::to_int(d[0] * 65536.0f);
            span_diff.du = trisetup::to_fixed88(d[1]);
            span_diff.dv = trisetup::to_fixed88(d[2]);
            dz = (uint32_t)span_diff.dz;
            du = span_diff.du;
            dv = span_diff.dv;
        },
        [&](int32_t offset, int32_t x1, int32_t x2, const float* q) {
            span_diff_run(x1, x2, offset, (uint32_t)trisetup::to_int(q[0] * 65536.0f) + zadd,
                          trisetup::to_fixed88(q[1]), trisetup::to_fixed88(q[2]), dz, du, dv, frame, depth, diffuse);
        });
}

void draw_triangle_diffuse(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c)
{
    if (trisetup::front_facing(a, b, c))
        draw_triangle_diffuse_front(a, b, c);
}
