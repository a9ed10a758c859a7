// Tunnel scene: a camera flies through an endless tube of wet flesh with a glowing web scrolling
// over it, lit by a light at the camera whose radius collapses from order 10, row 46. One ray per
// node of the interpolated grid is intersected with the unit cylinder around the z axis.
#pragma once

#include <cstdint>

#include "interp.h"
#include "mat.h"

struct Effect;

extern Effect Tunnel_effect;

// The ray parameter of the far hit of ray d from p (inside the tube) with x^2 + y^2 = 1, in units
// of d's length; a negative value when d runs parallel to the axis and meets no wall.
float tunnel_hit(vec3 p, vec3 d);
// The light level at ray parameter t for light radius T: 255 (1 - min(t, T)^2 / T^2), rounded in
// the current mode, low byte; 0 for every t once T has reached 0.
int tunnel_light(float t, float radius);

// Chooses each node's stored v: the value congruent modulo 256 to rawV nearest to the v of the
// node above it (followBelow: below it); along the first row walked, the node before it. A node
// whose ray missed (hit 0) takes its neighbour's u and v. Both arrays hold the 41 x 26 nodes.
void tunnel_chainV(const int32_t* rawV, const uint8_t* hit, int followBelow, InterpNode* grid);
// 1 when two corners of block (i, j) differ in v by more than 128, the short way round.
int tunnel_blockOnCut(const InterpNode* grid, int i, int j);

// Read-only snapshot of the scene's state, for tests and tools.
struct TunnelState {
    float light_fade_timer;      // light radius T, 6 until order 10 row 46, then down to 0
    float tunnel_fade_in_timer;  // 0..1
    vec3 look_target;
    vec3 eye;
    mat view_matrix;
    uint16_t start_ofs;          // the second texture's scroll set by the last update
    const uint8_t* palette;      // the pack's palette (6-bit components)
    const uint8_t* textures;     // the interp block
    int cut_blocks;              // blocks of the last frame whose corners broke the v chain
    int redrawn_blocks;          // of those, the ones redrawn from the opposite chain
};
void tunnel_getState(TunnelState* out);
