#include "vector4.h"

const vec4 vec4_zero = {0.0f, 0.0f, 0.0f, 0.0f};
