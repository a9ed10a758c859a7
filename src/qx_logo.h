// QxLogo scene: the closing. The group logo as a cloud of glowing particles born in bursts on its
// pixels, drifting a little (horizontally or vertically by the pixel's colour), pulsing over their
// short lives and leaving soft trails through a blur fed back into the next frame. At order 26,
// row 50 the bursts stop and the logo dissolves into darkness.
#pragma once

#include <cstdint>

struct Effect;
struct ParticleSystem2d;

extern Effect QxLogo_effect;

// Read-only snapshot of the scene's state, for tests and tools.
struct QxLogoState {
    const ParticleSystem2d* title_particle;
    const float* logo_points;   // (x, y) pairs in screen coordinates
    const int* logo_velocity;   // drift kind per point: 0 still, 1 horizontal, 2 vertical
    int num_logo_points;
    int qxlogo_spawn_particles;
    float spawn_timer;
    int palette_set;
    const uint8_t* palette;
};
void qxlogo_getState(QxLogoState* out);
