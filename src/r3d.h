// The 3D renderer: per-vertex projection, the depth buffer with its per-frame offset, the
// 192 KiB texture block (diffuse, environment map, shading table) and the drawing passes.
#pragma once

#include <cstdint>

#include "mat.h"
#include "model.h"

enum {
    MaxTextureMemory = 3 * 65536,
    R3dWidth = 320,
    R3dHeight = 200,
    R3dPixels = R3dWidth * R3dHeight
};

// Depth words: ceil(invZ * 65536) + r3d_zadd; larger is nearer. r3d_zadd grows by 65536 per
// r3d_end, so the buffer needs clearing only when it wraps.
extern uint32_t* r3d_zbuffer;
extern uint32_t r3d_zadd;
extern uint8_t* r3d_buffer;          // frame buffer of the current pass
extern uint8_t* r3d_texture_memory;  // 64 KiB-aligned: diffuse | environment | shading table [e][d]
extern float r3d_fov;
extern uint8_t r3d_mask_value;
extern bool r3d_hasDiffuse;
extern bool r3d_hasEnvmap;
extern bool r3d_hasLut;
extern bool r3d_inBegin;

void r3d_init(void);
void r3d_deinit(void);

void r3d_setFov(float fov);
void r3d_transformAndProject(Model* m, const mat* matrix);
void r3d_transformAndProjectWithNormal(Model* m, const mat* matrix);

// A pass converts with rounding toward +infinity (the rasterisers' coverage relies on it).
void r3d_begin(uint8_t* frameBuffer);
void r3d_end(void);
void r3d_clearZbuffer(void);

void r3d_setTexture(int slot, const uint8_t* pixels);  // slot 0 diffuse, other: environment
void r3d_setTextureEnabled(int slot, bool enabled);
void r3d_setLUT(const uint8_t* table);
void r3d_setMaskEnabled(bool on);
void r3d_setMaskValue(uint8_t index);

void r3d_render(const Model* m);
void r3d_renderWireframe(const Model* m, float depthOffset, uint8_t colour);
void r3d_drawLine(const ProjVertex* a, const ProjVertex* b, uint8_t colour);
