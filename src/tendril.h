// Tendril scene: a twisting organic shape; the kick at order 22 switches the wireframe overlay on and jumps its orientation.
#pragma once

#include "spike.h"  // ObjectSceneState

extern Effect Tendril_effect;

void tendril_getState(ObjectSceneState* out);
