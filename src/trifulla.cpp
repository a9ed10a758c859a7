// Span routine of the full rasteriser; the loop is span_full_run (trifulla.h), shared with the
// triangle set-up.
#include "trifulla.h"

#include "r3d.h"

void draw_span_full_init(void) {}
void draw_span_full_set_buffer(void) {}

void draw_span_full(void)
{
    const SpanFull& s = span_full;
    span_full_run(s.x1, s.x2, s.offset, s.z, span_pair(s.u, s.v), span_pair(s.eu, s.ev), (uint32_t)s.dz,
                  span_pair(s.du, s.dv), span_pair(s.deu, s.dev), r3d_buffer, r3d_zbuffer, r3d_texture_memory);
}
