// drawdot: additive dots (small soft blobs added into a frame, how particles are drawn) and lines
// made of dots. Everything adds palette indices, so it only makes sense over a palette ordered as a
// brightness ramp; an 8-bit add saturates at 255 unless a routine says otherwise.
//
// (x, y) is the top-left cell of the dot's weight table. Dots are clipped cell by cell to the
// 320 x 200 frame: cells left of column 0, right of column 319, above row 0 or below row 199 are
// dropped (never wrapped into the neighbouring row), so any position, however far off screen, is
// safe. A dot that lies wholly inside the frame takes an unclipped, unrolled path.
#pragma once

#include <cstdint>

// Weights w: the 4 x 4 soft dot 0 1 1 0 / 1 2 2 1 / 1 2 2 1 / 0 1 1 0; the 8 x 8 disc has weights 1..3
// inside a border of zeros.
void video_drawAddDot(int x, int y, uint8_t* buffer);                       // dst + w
void video_drawAddDot2(int x, int y, uint8_t* buffer);                      // dst + 2w
void video_drawAddDotCol(int x, int y, uint8_t* buffer, int k);             // dst + ((w*k) & 255)
// v = dst + w*k; the cell becomes v below 240, else 239 (cells of weight 0 included, so a cell
// above 239 under the dot drops to 239). A negative v (negative k) stores 0.
void video_drawAddDotCol2(int x, int y, uint8_t* buffer, int k);
void video_drawAddDotColBig(int x, int y, uint8_t* buffer, int k);          // 8 x 8, dst + ((w*k) & 255)
// s_dot stretched to n x n cells, cell (r, c) weighted s_dot[r*s/256][c*s/256] with s = 1024/n;
// dst + 2w. Nothing for n <= 0.
void video_drawAddDotScaled(int x, int y, uint8_t* buffer, int n);
// 320 x 200 words 0x00RRGGBB: each channel + colour channel * w, saturating; the top byte is 0.
void video_drawAddDot2_32(int x, int y, uint32_t* buffer, uint32_t colour);

// n = max(|x1 - x0|, |y1 - y0|) (at least 1) points from (x0, y0) in 16.16 steps, the last one step
// short of (x1, y1). Nothing at all when all four coordinates are off screen at once. A point is
// drawn only where its whole dot fits: video_drawAddDot2 for video_drawDotLine; for the scaled
// line, size 1 adds 8 to one pixel, 2 a 2 x 2 block, 3..7 a 4 x 2 block, 8 and more an 8 x 8
// block (the blocks add 2); size 0 or less draws nothing.
void video_drawDotLine(int x0, int y0, int x1, int y1, uint8_t* buffer);
void video_drawDotLineScaled(int x0, int y0, int x1, int y1, uint8_t* buffer, int size);
