// Tendril scene: a twisting organic shape; the kick at order 22 switches the wireframe overlay on and jumps its orientation.
#pragma once

#include "objscene.h"  // ObjectSceneState

struct Effect;

extern Effect Tendril_effect;

void tendril_getState(ObjectSceneState* out);
