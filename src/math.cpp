// Sine/cosine tables, vec3 helpers and the math module's set-up.
#include "math.h"

#include <cfenv>

#include "fround.h"
#include "mem.h"
#include "util.h"

float* g_sincosf = nullptr;
int32_t* g_sincos = nullptr;

void math_init(void)
{
    // The rest of loading runs with truncation; the tables are built under it too, so the angle
    // product and the stored floats are chopped exactly as they were on the original unit.
    util_fpuSetFloorMode();

    g_sincosf = (float*)mem_malloc(SinCosSteps * 2 * sizeof(float));
    g_sincos = (int32_t*)mem_malloc(SinCosSteps * 2 * sizeof(int32_t));
    for (int i = 0; i < SinCosSteps; i++) {
        float a = fround_mul((float)i, 6.2831855f) * (1.0f / 8192.0f);  // a power of two: exact
        // Sine and cosine at full internal precision, then stored (and floored) from that.
        long double s = sinl((long double)a);
        long double c = cosl((long double)a);
        g_sincosf[2 * i] = fround_narrowLong(s);
        g_sincosf[2 * i + 1] = fround_narrowLong(c);
        g_sincos[2 * i] = (int32_t)floorl(s * 65536.0L);
        g_sincos[2 * i + 1] = (int32_t)floorl(c * 65536.0L);
    }
}

void math_deinit(void)
{
    mem_free(g_sincosf);
    mem_free(g_sincos);
    g_sincosf = nullptr;
    g_sincos = nullptr;
}

void vec3_cross(const vec3* a, const vec3* b, vec3* out)
{
    float x = fround_sub(fround_mul(a->y, b->z), fround_mul(a->z, b->y));
    float y = fround_sub(fround_mul(a->z, b->x), fround_mul(a->x, b->z));
    float z = fround_sub(fround_mul(a->x, b->y), fround_mul(a->y, b->x));
    out->x = x;
    out->y = y;
    out->z = z;
}

// Rounded in the current mode: scenes normalise while loading, in truncation.
void vec3_normalise(vec3* v)
{
    const float sum = fround_add(fround_add(fround_mul(v->x, v->x), fround_mul(v->y, v->y)), fround_mul(v->z, v->z));
    float length = fround_div(1.0f, math_rsqrt(sum));
    float k = fround_div(1.0f, length);
    v->x = fround_mul(v->x, k);
    v->y = fround_mul(v->y, k);
    v->z = fround_mul(v->z, k);
}
