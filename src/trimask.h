// Single-colour triangles (r3d_mask_value) that still test and write depth.
#pragma once

#include <cstdint>

#include "model.h"

struct SpanMask {
    int32_t x1;
    int32_t x2;
    uint32_t z;      // unsigned 32-bit depth
    int32_t offset;
    int32_t dz;      // signed depth step per pixel
    float dzdx;
};

extern SpanMask span_mask;

void draw_triangle_mask(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c);
// The same for a triangle already known to face the viewer (trisetup::front_facing).
void draw_triangle_mask_front(const ProjVertex* a, const ProjVertex* b, const ProjVertex* c);
void draw_span_mask(void);
