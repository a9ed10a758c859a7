// Span routine of the full rasteriser (reads span_full, see trifull.h).
#pragma once

#include <cstdint>

#include "trifull.h"

void draw_span_full(void);
void draw_span_full_init(void);        // nothing to prepare
void draw_span_full_set_buffer(void);  // nothing to prepare

// Formats (see trifull.h): depth unsigned 32-bit with a signed 32-bit step; (u, v) and (eu, ev)
// each packed into one 32-bit word, u in the low half, both 8.8. The pair steps as one 32-bit add,
// so a u that wraps carries one 1/256 texel into v's fraction. Texel address inside a 256 x 256
// texture: (v >> 8) * 256 + (u >> 8), i.e. the pair's bits 24-31 and 8-15.
inline uint32_t span_texel_index(uint32_t pair)
{
    return ((pair >> 16) & 0xFF00u) | ((pair >> 8) & 0xFFu);
}

// (u, v) as one word, u in the low half.
inline uint32_t span_pair(uint32_t u, uint32_t v)
{
    return (u & 0xFFFFu) | (v << 16);
}

// The span loop itself, on packed pairs and the pass's buffers (textures: the renderer's block,
// diffuse | environment | shading table): draw_span_full runs it on span_full, the triangle
// set-up on the values of its rows, packed as they are converted.
inline void span_full_run(int32_t x1, int32_t x2, int32_t offset, uint32_t z, uint32_t uv, uint32_t euv, uint32_t dz,
                          uint32_t duv, uint32_t deuv, uint8_t* frame, uint32_t* depth, const uint8_t* textures)
{
    if ((int64_t)x2 - x1 <= 0 || x2 <= 0 || x1 >= 320)
        return;
    const int32_t end = x2 < 320 ? x2 : 320;
    int32_t x = x1;
    if (x < 0) {  // left clip: advance each coordinate by -x1 steps in its own 16 bits
        const uint32_t n = (uint32_t)-(int64_t)x;
        uv = span_pair(uv + n * duv, (uv >> 16) + n * (duv >> 16));
        euv = span_pair(euv + n * deuv, (euv >> 16) + n * (deuv >> 16));
        z += n * dz;
        x = 0;
    }
    const uint8_t* __restrict diffuse = textures;
    const uint8_t* __restrict envmap = textures + 65536;
    const uint8_t* __restrict lut = textures + 131072;
    uint8_t* __restrict pixels = frame + offset;
    uint32_t* __restrict zrow = depth + offset;
    for (; x < end; x++) {
        if (z >= zrow[x]) {
            zrow[x] = z;
            const uint32_t d = diffuse[span_texel_index(uv)];
            const uint32_t e = envmap[span_texel_index(euv)];
            pixels[x] = lut[(e << 8) | d];
        }
        z += dz;
        uv += duv;
        euv += deuv;
    }
}
