// Span routine of the full rasteriser; the loop is span_full_draw (trifulla.h), shared with the
// triangle set-up.
#include "trifulla.h"

#include "r3d.h"

void draw_span_full_init(void) {}
void draw_span_full_set_buffer(void) {}

void draw_span_full(void)
{
    span_full_draw(span_full, r3d_buffer, r3d_zbuffer, r3d_texture_memory);
}
