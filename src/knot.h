// Knot scene: a torus-knot tube; the kick at order 14 switches the wireframe overlay on and jumps its orientation.
#pragma once

#include "objscene.h"  // ObjectSceneState

struct Effect;

extern Effect Knot_effect;

void knot_getState(ObjectSceneState* out);
