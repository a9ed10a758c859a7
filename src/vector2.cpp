#include "vector2.h"

#include "math.h"

float vec2_length(const vec2* v)
{
    return 1.0f / math_rsqrt(v->x * v->x + v->y * v->y);
}
