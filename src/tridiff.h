// Diffuse-textured triangles: pixel = diffuse texel, unshaded.
#pragma once

#include <cstdint>

#include "model.h"

// z: unsigned 32-bit depth; dz signed per-pixel step; u, v, du, dv 8.8 (u and v step separately).
struct SpanDiff {
    int32_t x1;
    int32_t x2;
    uint32_t z;
    int32_t offset;
    int32_t dz;
    float dudx, dvdx, dzdx;
    uint16_t u, v;
    uint16_t du, dv;
};

extern SpanDiff span_diff;

void draw_triangle_diffuse(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c);
// The same for a triangle already known to face the viewer (trisetup::front_facing).
void draw_triangle_diffuse_front(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c);
void draw_span_diffuse(void);
