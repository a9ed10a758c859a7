// Textured, environment-mapped and shaded triangles: pixel = table[env texel][diffuse texel].
#pragma once

#include <cstdint>

#include "model.h"

// Span record shared with the span routine (trifulla). Fixed-point formats:
//   z            unsigned 32-bit depth, ceil(invZ * 65536) + r3d_zadd
//   dz           signed 32-bit depth step per pixel
//   u, v, eu, ev 8.8 texture coordinates (high byte texel, low byte fraction), wrapping
//   du .. dev    8.8 steps per pixel
// Each (u, v) pair sits with u in the low half so that the pair steps as one 32-bit word:
// a carry out of u bumps v's fraction.
struct SpanFull {
    int32_t x1;      // first column, inclusive
    int32_t x2;      // end column, exclusive
    uint32_t z;
    int32_t offset;  // row * 320
    int32_t dz;
    float dudx, dvdx, deudx, devdx, dzdx;
    uint16_t u, v;
    uint16_t eu, ev;
    uint16_t du, dv;
    uint16_t deu, dev;
};

extern SpanFull span_full;

void draw_triangle_full(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c);
// The same for a triangle already known to face the viewer (trisetup::front_facing).
void draw_triangle_full_front(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c);
