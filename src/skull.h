// Skull scene: a rocking skull; the kick at order 16 switches the wireframe overlay on.
#pragma once

#include "objscene.h"  // ObjectSceneState

struct Effect;

extern Effect Skull_effect;

void skull_getState(ObjectSceneState* out);
