// The inner loops of the interpolated grid (state in interp.h).
//
// interp_rectEnvLight: running values are 32-bit 16.16 fixed point that wrap modulo 2^32; a node
// value n enters as n << 16. The step between two nodes is their difference taken as a signed
// 16-bit number (65535 to 0 steps +1), divided by 8 with an arithmetic shift (rounding toward
// minus infinity). Because node values are whole numbers, every edge and pixel step is a whole
// multiple of 1/64 texel and the walk is exact: an interpolated light level never leaves the
// range of its block's corners. Per pixel:
//   a  = (int(v) * 256 + int(u)) mod 65536      texel address, u carries into the row
//   o  = (D[a] + interp_start_ofs) mod 65536
//   c  = B[T1[o] * 256 + T0[a]]
//   px = L[int(l) * 256 + c]
// then u, v and l each take one addition. No branches, no multiplications.
#pragma once

#include <cstdint>

extern int32_t uGrad;  // per-pixel u step of the last interp_rect row, 16.16
extern int32_t vGrad;  // per-pixel v step of the last interp_rect row, 16.16

// Writes all 64000 pixels of interp_buffer from uvlgrid and interp_packed_pixels (both must be set).
void interp_rectEnvLight(void);
// The same walk over the blocks i0 <= i < i1, j0 <= j < j1 only (block i, j spans nodes i..i+1,
// j..j+1); the range must lie inside the 40 x 25 blocks.
void interp_rectEnvLightBlocks(int i0, int j0, int i1, int j1);

// One 8 x 8 block from one 256 x 256 texture, corners given as signed texel values (top-left,
// top-right, bottom-left, bottom-right). Steps are (difference * 65536) / 8 rounded toward zero;
// pixel = texture[(int(v) & 255) * 256 + (int(u) & 255)]; rows are 320 bytes apart.
void interp_rect(uint8_t* dst, const uint8_t* texture, int16_t tlu, int16_t tlv, int16_t tru,
                 int16_t trv, int16_t blu, int16_t blv, int16_t bru, int16_t brv);
