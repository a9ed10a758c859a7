// Rings scene: three nested gimbal rings turning inside each other in front of a background,
// seen from a camera that flies along a keyframed path looking at their common centre.
#pragma once

#include <cstdint>

#include "mat.h"

struct Effect;
struct Model;

extern Effect Rings_effect;

// Read-only snapshot for tests and tools.
struct RingsState {
    float angles[3];          // inner x, middle y, outer x, degrees in [0, 360)
    vec3 rotation[3];         // the rotation each ring's next matrix is built from
    vec3 position;            // the camera position the last update took from the track
    mat inner, middle, outer; // the matrices the last update projected with
    float fade_timer;         // fade-in from black, 1.0 = done
    float fade_out_timer;     // fade to black, 1.0 = idle
    const uint8_t* palette;   // the pack's palette (6-bit components)
    const Model* models[3];
};
void rings_getState(RingsState* out);

// The ring matrices for the given per-ring rotations and positions: each ring's own transform
// applied inside the transforms of the rings around it, then the view. Ring 0 is the inner one.
void rings_composeMatrices(const mat* view, const vec3 rotation[3], const vec3 position[3], mat* inner, mat* middle,
                           mat* outer);
