// particle3d_: a fixed pool of point particles in 3D, integrated, aged, transformed by one system
// matrix and projected like the renderer (x = 160 + x*fov/z, y = 100 - y*fov/z), then drawn in slot
// order through a per-system callback. No depth buffer, no sorting.
//
// A slot is live exactly while the sign bit of its life is clear; free slots have negative life
// (-1 after creation).
#pragma once

#include <cstdint>

#include "mat.h"

struct Particle3d {
    vec3 pos;           // position in the system's space
    vec3 vel;           // per unit of dt
    vec3 acc;           // applied and cleared by the next update
    float sx, sy;       // screen position from the last update
    float life;         // remaining life in dt units; negative: free slot
    float initialLife;  // the caller's own
    float depth;        // camera-space z from the last update; negative: behind the camera
    uint32_t colour;    // the caller's own
};

using Particle3dRenderFunc = void (*)(const Particle3d* particle, uint8_t* buffer);

struct Particle3dSystem {
    int32_t capacity;
    int32_t numLive;      // live particles counted by the last particle3d_update
    Particle3d* particles;
    Particle3dRenderFunc renderFunc;  // defaultRenderFunc after creation
    mat matrix;           // object-to-camera; identity after creation
};

// The projection scale.
extern float particle3d_fov;

// A capacity below 0 gives an empty pool.
Particle3dSystem* particle3d_create(int capacity);
void particle3d_destroy(Particle3dSystem* s);
// The first free slot in index order, unchanged, or null when every slot is live. The caller sets
// at least life.
Particle3d* particle3d_spawn(Particle3dSystem* s);
// For every live slot: vel += acc * dt and acc = 0 (when acc is non-zero); pos += vel * dt;
// life -= dt; depth and, in front of the camera, (sx, sy) from the matrix. Counts the slots that
// were live before the step into numLive; a slot whose life runs out is still projected.
void particle3d_update(Particle3dSystem* s, float dt);
// renderFunc for every live particle with depth >= 0 and (sx, sy) in [0, 320) x [0, 200).
void particle3d_render(const Particle3dSystem* s, uint8_t* frameBuffer);
// video_drawAddDot at the rounded (sx, sy) when the whole 4 x 4 dot fits (sx + 4 < 320 and
// sy + 4 < 200); nothing otherwise.
void defaultRenderFunc(const Particle3d* p, uint8_t* frameBuffer);
