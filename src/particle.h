// particle2d_: a fixed pool of screen-space particles, moved each frame and drawn through a
// per-system render callback.
//
// Liveness: a new pool has every life -1. particle2d_add takes the first particle whose life is 0
// or less; particle2d_update and the two renders treat a particle as live while the sign bit of its
// life is clear (life >= +0, so a particle whose life reached exactly 0 is still drawn);
// particle2d_updateWithAccleration and particle2d_updateWithField touch only life > 0.
// Float-to-integer "rounded" positions use the current rounding mode.
#pragma once

#include <cstdint>

struct Particle2d {
    float x, y;        // position in pixels
    float vx, vy;      // velocity in pixels per second
    float ax, ay;      // acceleration
    int32_t sx, sy;    // integer screen position, written by the updates
    float life;        // seconds left
    float maxLife;     // the users' own: the life the particle started with
    uint32_t data;     // the users' own; cleared by particle2d_add
};

using Particle2dRenderFunc = void (*)(const Particle2d* particle, uint8_t* buffer);

struct ParticleSystem2d {
    int32_t count;               // pool size, fixed at creation
    Particle2d* particles;
    Particle2dRenderFunc render;  // defaultRenderFunc unless replaced after creation
};

// The acceleration field of particle2d_updateWithField: 20 x 13 cells of 16 x 16 pixels, row by
// row, two floats (x, y) each; screen position (sx, sy) is in cell (sy / 16) * 20 + sx / 16.
enum { ParticleFieldWidth = 20, ParticleFieldHeight = 13, ParticleFieldCell = 16 };

// A count below 0 gives an empty pool.
ParticleSystem2d* particle2d_create(int count);
void particle2d_destroy(ParticleSystem2d* system);
// The first free particle, at (x, y) with velocity, acceleration and data cleared; null when the
// pool is full. The caller sets life (and maxLife, velocity, acceleration).
Particle2d* particle2d_add(ParticleSystem2d* system, float x, float y);
// Live particles: life -= dt; position += velocity * dt; (sx, sy) = rounded position.
void particle2d_update(ParticleSystem2d* system, float dt);
// life > 0: velocity += acceleration * dt; position += velocity * dt; acceleration = 0; life -= dt;
// (sx, sy) = floor of the position.
void particle2d_updateWithAccleration(ParticleSystem2d* system, float dt);
// life > 0: ages the particle (skipped once its life is below 0), wraps it around the screen
// edges (x < 0 to 319, x >= 320 to 0, y likewise with 199 and 200), then particle2d_updateParticle
// with step dt * 50 when a field is given, else dt.
void particle2d_updateWithField(ParticleSystem2d* system, const float* field, float dt);
// (sx, sy) = rounded position; off screen it stops there. Acceleration = the field cell (or the
// particle's own without a field); velocity += acceleration * step; position += velocity * step;
// a speed above 2.0 is scaled back to 2.0.
void particle2d_updateParticle(Particle2d* particle, const float* field, float step);
// render(particle, buffer) for every live particle whose (sx, sy) lies on the 320 x 200 frame.
void particle2d_render(const ParticleSystem2d* system, uint8_t* buffer);
// The same without the position test.
void particle2d_renderNoCull(const ParticleSystem2d* system, uint8_t* buffer);

// video_drawAddDot at (sx, sy): a 4 x 4 soft dot with its top-left cell at the particle; its cells
// past the frame's edges are dropped.
void defaultRenderFunc(const Particle2d* particle, uint8_t* buffer);
