// FinalTorus scene: a gold torus whose wireframe overlay toggles every 8 rows of order 24, with a flash each time.
#pragma once

#include "objscene.h"  // ObjectSceneState

struct Effect;

extern Effect FinalTorus_effect;

void tor_getState(ObjectSceneState* out);
