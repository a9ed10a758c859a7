// Full rasteriser set-up: interpolates invZ, u, v, envU, envV; the span routine (trifulla) writes
// shading table [environment texel][diffuse texel].
#include "trifull.h"

#include "r3d.h"
#include "trifulla.h"
#include "trisetup.h"

SpanFull span_full;

void draw_triangle_full_front(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c)
{
    // The pass's buffers and frame offset, read once: the span stores could alias the globals.
    uint8_t* const frame = r3d_buffer;
    uint32_t* const depth = r3d_zbuffer;
    const uint8_t* const textures = r3d_texture_memory;
    const uint32_t zadd = r3d_zadd;
    uint32_t dz = 0, duv = 0, deuv = 0;
    trisetup::raster<5>(
        a, b, c,
        [](const ProjVertex& p, float* q) {
            q[0] = p.invZ, q[1] = p.u, q[2] = p.v, q[3] = p.envU, q[4] = p.envV;
        },
        [&](const float* d) {
            span_full.dzdx = d[0];
            span_full.dudx = d[1];
            span_full.dvdx = d[2];
            span_full.deudx = d[3];
            span_full.devdx = d[4];
            span_full.dz = (int32_t)trisetup::to_int(d[0] * 65536.0f);
            span_full.du = trisetup::to_fixed88(d[1]);
            span_full.dv = trisetup::to_fixed88(d[2]);
            span_full.deu = trisetup::to_fixed88(d[3]);
            span_full.dev = trisetup::to_fixed88(d[4]);
            dz = (uint32_t)span_full.dz;
            duv = span_pair(span_full.du, span_full.dv);
            deuv = span_pair(span_full.deu, span_full.dev);
        },
        [&](int32_t offset, int32_t x1, int32_t x2, const float* q) {
            const uint32_t z = (uint32_t)trisetup::to_int(q[0] * 65536.0f) + zadd;
            const uint32_t uv = span_pair((uint32_t)trisetup::to_fixed88(q[1]), trisetup::to_fixed88(q[2]));
            const uint32_t euv = span_pair((uint32_t)trisetup::to_fixed88(q[3]), trisetup::to_fixed88(q[4]));
            span_full_run(x1, x2, offset, z, uv, euv, dz, duv, deuv, frame, depth, textures);
        });
}

void draw_triangle_full(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c)
{
    if (trisetup::front_facing(a, b, c))
        draw_triangle_full_front(a, b, c);
}
