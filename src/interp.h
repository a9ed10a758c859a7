// interp_: fills the whole 320 x 200 frame from a coarse grid of texture coordinates and light
// levels. A scene computes (u, v, l) for every 8th pixel in both directions; each 8 x 8 block is
// interpolated bilinearly and every pixel combines two textures through a displacement table, a
// blend table and a light table (see interpa.h for the inner loop and its fixed-point formats).
//
// Calling order in a scene: interp_createTextures in init, interp_setPackedImages in start,
// interp_setStartAddressOffset in update, grid filling and interp_render in render,
// interp_destroyTextures in deinit. Only one block is active at a time: the last set wins.
#pragma once

#include <cstdint>

enum {
    InterpGridWidth = 41,   // nodes per row; node i is pixel column 8i, the last one column 320
    InterpGridHeight = 26,  // node rows; node j is pixel row 8j, the last one row 200
    InterpGridNodes = InterpGridWidth * InterpGridHeight,
    InterpBlockSize = 8,
    InterpMaxLight = 255,   // the light table has 256 rows
};

// Packed texture block: one 64 KiB-aligned allocation of 384 KiB, every table from one base.
enum {
    InterpT0Offset = 0x00000,     // T0, 256 x 256, indexed v*256 + u
    InterpDispOffset = 0x10000,   // D, 65536 uint16 offsets into T1 (util_loadBump)
    InterpT1Offset = 0x30000,     // T1, indexed by a 16-bit offset
    InterpBlendOffset = 0x40000,  // B, indexed T1 value * 256 + T0 value
    InterpLightOffset = 0x50000,  // L, indexed light level * 256 + colour
    InterpBlockBytes = 0x60000,
};

// One grid node. u and v are whole texels and repeat every 256; l is the light-table row.
struct InterpNode {
    uint16_t u;
    uint16_t v;
    uint16_t l;  // 0..255; a larger value is drawn as 255
};

// Written by the scene before each interp_render: 26 rows of 41 nodes.
extern InterpNode interp_uvlGrid[InterpGridNodes];

// Module state shared with the inner loop (interpa).
extern uint8_t* interp_packed_pixels;  // the active block; null: interp_render draws nothing
extern uint16_t interp_start_ofs;      // added to every displacement entry, scrolls T1
extern uint8_t* interp_buffer;         // the frame being drawn
extern const InterpNode* uvlgrid;      // the grid handed to the inner loop

inline InterpNode& interp_node(int i, int j) { return interp_uvlGrid[j * InterpGridWidth + i]; }

// Copies the five sources into a new packed block and returns it; the sources stay the caller's.
// t0, t1, blend and light are 65536 bytes each, disp 65536 uint16 entries.
uint8_t* interp_createTextures(const uint8_t* t0, const uint8_t* t1, const uint16_t* disp,
                               const uint8_t* blend, const uint8_t* light);
void interp_destroyTextures(uint8_t* block);  // null is ignored
void interp_setPackedImages(uint8_t* block);
void interp_setTextures(uint8_t* block);      // the same as interp_setPackedImages
void interp_setStartAddressOffset(uint16_t ofs);
// Draws the whole frame (64000 pixels, each once) from interp_uvlGrid when a block is set;
// leaves the frame untouched otherwise.
void interp_render(uint8_t* frame);
// Redraws only the blocks i0 <= i < i1, j0 <= j < j1 (clipped to the 40 x 25 blocks) from the
// grid as it is now: a scene that has to patch a few blocks from other node values.
void interp_renderBlocks(uint8_t* frame, int i0, int j0, int i1, int j1);
