// math_: vec3, the fast inverse square root, the sine/cosine tables and the math module's set-up.
//
// This header shares its name with the C library's and src/ is on the include path, so a plain
// #include <math.h> anywhere (system headers too) lands here: pull the C math library in first
// so that every such file still gets all of it.
#pragma once

#include <cmath>
#include <cstdint>

#include "fround.h"
#include "vector2.h"
#include "vector4.h"

extern "C++" {

// Three floats and a fourth that keeps every 3-vector at 16 bytes; no 3-vector operation reads
// or writes the fourth. Model vertices and projection arrays rely on the 16-byte spacing.
struct vec3 {
    float x, y, z, w;
};

static_assert(sizeof(vec3) == 16, "vec3 must be 16 bytes");
static_assert(sizeof(vec4) == 16, "vec4 must be 16 bytes");

// A full turn is SinCosSteps table steps; index with (angle & SinCosMask).
enum { SinCosSteps = 8192, SinCosMask = 8191 };

// Pairs (sin, cos) for angle i * 2pi / 8192: element 2i is the sine, 2i + 1 the cosine.
extern float* g_sincosf;
// The same in 16.16 fixed point, floored.
extern int32_t* g_sincos;

// Allocates and fills both tables; leaves the truncating rounding mode in force (the rest of
// loading runs in it until the first frame's drawing selects the full mode).
void math_init(void);
void math_deinit(void);

// Fast 1/sqrt(x): bit-level first guess and one Newton step (relative error below 0.2 %).
// math_rsqrt(0) is about 1.98e19, so lengths of zero vectors come out tiny but non-zero. Rounded
// in the current mode (loading runs in truncation), in software where the platform has no modes.
inline float math_rsqrt(float x)
{
    float half = fround_mul(0.5f, x);
    int32_t i;
    __builtin_memcpy(&i, &x, 4);
    i = 0x5F3759DF - (i >> 1);
    float y;
    __builtin_memcpy(&y, &i, 4);
    y = fround_mul(y, fround_sub(1.5f, fround_mul(fround_mul(half, y), y)));
    return y;
}

// Brings an angle in degrees back into [0, 360) by at most one turn: an angle a trigger moved far
// out of range comes back over several frames, as the scenes' rotations always have.
inline float math_wrapDegrees(float a)
{
    if (a >= 360.0f)
        return a - 360.0f;
    if (a < 0.0f)
        return a + 360.0f;
    return a;
}

// Rounded to an int in the current mode, for screen positions: not-a-number and values beyond the
// int range give INT32_MIN, which lies off every screen, instead of wrapping back onto it.
inline int32_t math_roundPosition(float v)
{
    if (!(v > -2147483648.0f && v < 2147483648.0f))
        return INT32_MIN;
    return (int32_t)fround_toInt(v);
}

// The same with the mode known where the caller knows it: rounded upward (code that runs inside
// util_fpuSetCeilMode, where software rounding then needs no look at the mode).
inline int32_t math_roundPositionUp(float v)
{
    if (!(v > -2147483648.0f && v < 2147483648.0f))
        return INT32_MIN;
    return (int32_t)FroundUpOps{}.toInt(v);
}

// Ease-in-out quadratic on [0, 1]: 2t^2 below one half, -1 + (4 - 2t) t from there (Spike's morph,
// the Credits ribbons' wipe, which runs in the ceiling mode).
inline float ease_inOutQuad(float t)
{
    return t < 0.5f ? fround_mul(2.0f * t, t) : fround_add(-1.0f, fround_mul(fround_sub(4.0f, 2.0f * t), t));
}

void vec3_cross(const vec3* a, const vec3* b, vec3* out);
void vec3_normalise(vec3* v);

}
