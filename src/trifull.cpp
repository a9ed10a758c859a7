// Full rasteriser set-up: interpolates invZ, u, v, envU, envV; the span routine (trifulla) writes
// shading table [environment texel][diffuse texel].
#include "trifull.h"

#include "r3d.h"
#include "trifulla.h"
#include "trisetup.h"

SpanFull span_full;

void draw_triangle_full(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c)
{
    using V = trisetup::Vert<5>;
    const V va = {a->x, a->y, {a->invZ, a->u, a->v, a->envU, a->envV}};
    const V vb = {b->x, b->y, {b->invZ, b->u, b->v, b->envU, b->envV}};
    const V vc = {c->x, c->y, {c->invZ, c->u, c->v, c->envU, c->envV}};
    trisetup::raster<5>(
        va, vb, vc,
        [](const float* d) {
            span_full.dzdx = d[0];
            span_full.dudx = d[1];
            span_full.dvdx = d[2];
            span_full.deudx = d[3];
            span_full.devdx = d[4];
            span_full.dz = (int32_t)fround_toInt(d[0] * 65536.0f);
            span_full.du = trisetup::to_fixed88(d[1]);
            span_full.dv = trisetup::to_fixed88(d[2]);
            span_full.deu = trisetup::to_fixed88(d[3]);
            span_full.dev = trisetup::to_fixed88(d[4]);
        },
        [](int32_t offset, int32_t x1, int32_t x2, const float* q) {
            span_full.x1 = x1;
            span_full.x2 = x2;
            span_full.offset = offset;
            span_full.z = (uint32_t)fround_toInt(q[0] * 65536.0f) + r3d_zadd;
            span_full.u = trisetup::to_fixed88(q[1]);
            span_full.v = trisetup::to_fixed88(q[2]);
            span_full.eu = trisetup::to_fixed88(q[3]);
            span_full.ev = trisetup::to_fixed88(q[4]);
            draw_span_full();
        });
}
