// Skull scene: a rocking skull; the kick at order 16 switches the wireframe overlay on.
#pragma once

#include "spike.h"  // ObjectSceneState

extern Effect Skull_effect;

void skull_getState(ObjectSceneState* out);
