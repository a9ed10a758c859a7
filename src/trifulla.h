// Span routine of the full rasteriser (reads span_full, see trifull.h).
#pragma once

void draw_span_full(void);
void draw_span_full_init(void);        // nothing to prepare
void draw_span_full_set_buffer(void);  // nothing to prepare
