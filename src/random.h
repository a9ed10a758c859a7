// random_: the program's one linear congruential generator. g_seed is set to 0 at start-up and
// never reseeded; every call advances it by one step.
#pragma once

#include <cstdint>

#include "fround.h"

extern uint32_t g_seed;

// 0..32767
inline int random_next(void)
{
    g_seed = g_seed * 214013u + 2531011u;
    return (int)((g_seed >> 16) & 0x7FFF);
}

// [0, 1], both ends reachable; rounded in the current mode (the show's first frame runs in
// loading's truncation).
inline float random_float(void)
{
    return fround_mul((float)random_next(), 3.0518509e-05f);
}
