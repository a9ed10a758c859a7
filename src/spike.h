// Spike scene: a smooth ball over a background that, on the kick at order 12, grows its spikes in
// half a second and jumps back in depth.
#pragma once

#include "objscene.h"  // ObjectSceneState

struct Effect;

extern Effect Spike_effect;

void spike_getState(ObjectSceneState* out);
// Spike's morph sources: the model's own vertex positions and the same directions on the sphere
// (16 bytes per vertex: x, y, z, w).
const float* spike_getVertices();
const float* spike_getSphereVertices();
