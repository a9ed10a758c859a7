// Spike scene: a smooth ball over a background that, on the kick at order 12, grows its spikes in
// half a second and jumps back in depth. Also declares the state snapshot shared by all five object
// scenes (Spike, Knot, Skull, Tendril, FinalTorus), which follow one design.
#pragma once

#include <cstdint>

struct Effect;
struct Model;

extern Effect Spike_effect;

// Read-only snapshot of an object scene's state, for tests and tools. Fields a scene does not have
// read as 0 (wireframe, bright) or 1.0 (spike_timer); sway_phase is Skull's alone.
struct ObjectSceneState {
    float position[4];
    float rotation[4];
    float bob_phase;
    int wireframe;
    uint8_t bright;
    float fade_timer;     // fade-in from black
    float flash_timer;    // white flash
    float fadeout_timer;  // fade to black
    float spike_timer;
    float sway_phase;
    const uint8_t* palette;  // the pack's palette (6-bit components)
    const Model* model;
};

void spike_getState(ObjectSceneState* out);
// Ease-in-out quadratic on [0, 1]: 2t^2 below one half, -1 + (4 - 2t) t from there.
float ease_inOutQuad(float t);
// Spike's morph sources: the model's own vertex positions and the same directions on the sphere
// (16 bytes per vertex: x, y, z, w).
const float* spike_getVertices();
const float* spike_getSphereVertices();
