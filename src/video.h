// video_: the two 320 x 200 frame buffers of palette indices, the live palette and the
// once-per-frame expansion of buffer 0 into the window's 32-bit surface.
//
// Palettes that callers keep are 256 x (r, g, b) bytes with 6-bit components (0..63, white is
// 63, 63, 63). The live palette holds 0x00RRGGBB words with components expanded to 8 bits:
// c8 = (c6 << 2) | (c6 >> 4). Float-to-integer conversions here round in the current mode.
#pragma once

#include <cstdint>

#include "vector4.h"

enum { VideoWidth = 320, VideoHeight = 200, VideoPixels = 320 * 200 };

// Mode 1 is the 8-bit palettised mode (the only one the show uses); 3 is 16-bit, 4 is 32-bit.
// Opens the window surface, allocates both buffers (each with a zeroed spare row above and
// below), presents one black frame. 1 on success; 0 when the window could not be opened.
int video_init(int mode, int fullscreen, int scale);
void video_deinit(void);
int video_getBpp(int mode);
int video_getCurrentMode(void);
int video_getCurrentBpp(void);
int video_isGraphics(void);

uint8_t* video_getBuffer(int n);  // first pixel of buffer 0 or 1; null for other numbers
void video_swapBuffers(void);
uint32_t* video_getRGBBuffer(void);
// 64000 pixels looked up in the live palette into the window's surface.
void video_copyBufferToRGB(const uint8_t* frame);
void video_copyIndexBufferToRGB(int n);
// The expansion itself: dst[n] = palette[src[n]] for n < count (what video_copyBufferToRGB runs).
void video_expand(uint32_t* dst, const uint8_t* src, const uint32_t* palette, int count);
void video_present_win(void);
void video_present(float dt);  // advances a running white flash, then shows buffer 0

// Saves buffer n as a 320 x 200 8-bit TGA with the live palette. 1 on success.
int video_captureBuffer(const char* filename, int n);
void video_drawPalette(void);  // 256 x 10 strip of every index at the top left of buffer 0

void video_setPal(int index, uint8_t r, uint8_t g, uint8_t b);
void video_getPal(int index, uint8_t* r, uint8_t* g, uint8_t* b);  // 8-bit components
void video_setPalette(const uint8_t* palette);
void video_getPalette(uint8_t* palette);                           // 8-bit components
void video_setPaletteRange(const uint8_t* palette, int first, int count);
void video_setPaletteWhite(void);
void video_setPaletteBlack(void);
const uint32_t* video_getLivePalette(void);  // the 256 live 0x00RRGGBB words

int video_findPaletteIndex(const uint8_t* palette, uint8_t r, uint8_t g, uint8_t b);  // -1: none
int video_findPaletteNearestIndex(const uint8_t* palette, uint8_t r, uint8_t g, uint8_t b);
int video_findPaletteBrightest(const uint8_t* palette);
int video_findPaletteDarkest(const uint8_t* palette);

void video_fadePaletteFromBlack(const uint8_t* palette, int first, int count, float t);
void video_fadePaletteFromWhite(const uint8_t* palette, int first, int count, float t);
void video_fadePaletteToBlack(const uint8_t* palette, int first, int count, float t);
void video_fadePaletteToWhite(const uint8_t* palette, int first, int count, float t);
void video_lerpPalette(const uint8_t* a, const uint8_t* b, float t);
// Ease-out blend from (r, g, b) at t = 0 to the palette at t = 1, all 256 entries.
void video_flash(float t, const uint8_t* palette, uint8_t r, uint8_t g, uint8_t b);
void video_flashWhite(float t, const uint8_t* palette);
// Starts a white flash that video_present plays; the palette must stay alive while it runs.
void video_triggerFlashWhite(float duration, const uint8_t* palette);

// Cosine gradient (a + b*cos(2pi*(c*t + d))) * 63 per channel (x, y, z of each vector).
void video_makePalette(vec4 a, vec4 b, vec4 c, vec4 d, uint8_t* palette);
// Four runs of 64 entries between five stops (6-bit units, x, y, z read).
void video_makePaletteStops(vec4 s0, vec4 s1, vec4 s2, vec4 s3, vec4 s4, uint8_t* palette);

// ---- lines and full-frame filters ---------------------------------------------------------------
// Lines draw into buffer 0, every pixel clipped to the frame; end points may lie anywhere in the
// int range (only the part of the line near the frame is walked). The step from (x0, y0) to
// (x1, y1) moves one pixel along the longer axis each time; both end points are drawn.
void video_drawLine(int x0, int y0, int x1, int y1, int colour);
// Anti-aliased: pixels get index 255 - 255 * (distance from the line) / length, 255 on the line.
void video_drawLineAA(int x0, int y0, int x1, int y1, int unused);

// The 8-bit filters read and write whole frame buffers of video_getBuffer (source and destination
// different). They walk the 64,000 pixels as one strip: the left neighbour of column 0 is the
// last pixel of the row above, the right neighbour of column 319 the first of the row below, and
// rows 0 and 199 read the zeroed spare rows, so the picture fades in from black at its edges.
// Results are limited to 0..255.
void video_blur(const uint8_t* src, uint8_t* dst);             // a = 4-neighbour mean; a - a/4
void video_blur2(const uint8_t* src, uint8_t* dst, int decay); // a - decay
void video_blurBig(const uint8_t* src, uint8_t* dst);          // 8-neighbour mean - blur-big decay
void video_setBlurBigDecay(int decay);                         // 10 at load
// 32-bit 0x00RRGGBB frames: per channel as video_blur, rows 20..179 only (the others untouched).
void video_blur32(const uint32_t* src, uint32_t* dst);
// Each pixel then looks the fraction 1/amount of the way toward (160, 100): amount 1 samples the
// centre, a very large amount the pixel itself. Samples are limited to the frame, so any amount
// (below 1, negative, zero, not a number) names a pixel of the frame.
void video_setRadialBlurLookup(float amount);
// In place: pixel = (pixel + its sample) / 2, in four passes outward from the centre, so the
// sample (nearer the centre) is already updated and bright pixels smear outward in one call.
void video_blurRadial(uint8_t* buffer);
