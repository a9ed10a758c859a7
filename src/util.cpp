#include "util.h"

#include "fround.h"

#include <cfenv>
#include <cstdarg>
#include <cstdio>
#include <cstring>

// The modes are rounding-direction settings of the thread's floating-point environment. The
// single-precision "chop" and "ceil" modes of the original control words need no precision change:
// every engine computation is float and SSE rounds each float result to 24 bits already.
static int s_fullPrecision = FE_TONEAREST;
static int s_chopSinglePrecision = FE_TOWARDZERO;
static int s_ceilSinglePrecision = FE_UPWARD;

// Where the platform has no rounding modes (fesetround does nothing), fround rounds in software
// in the mode selected here.
FroundMode g_fround_mode = FroundMode_Nearest;

void util_fpuInit(void) {
    s_fullPrecision = FE_TONEAREST;
    s_chopSinglePrecision = FE_TOWARDZERO;
    s_ceilSinglePrecision = FE_UPWARD;
    util_fpuSetFullMode();
}

// Where rounding is done in software the unit stays in round-to-nearest, which the software
// rounding itself relies on.
static void util_select(int mode)
{
    if (!FROUND_SOFTWARE)
        std::fesetround(mode);
}

void util_fpuSetCeilMode(void) {
    util_select(s_ceilSinglePrecision);
    g_fround_mode = FroundMode_Up;
}

void util_fpuSetFloorMode(void) {
    util_select(s_chopSinglePrecision);
    g_fround_mode = FroundMode_TowardZero;
}

void util_fpuSetFullMode(void) {
    util_select(s_fullPrecision);
    g_fround_mode = FroundMode_Nearest;
}

void util_blit(void* dst, const void* src, int count) {
    if (count <= 0) return;
    std::memcpy(dst, src, size_t(count) * 4);
}

void util_clear(void* dst, uint32_t pattern, int count) {
    if (count <= 0) return;
    // Byte pointer + memcpy per word: no alignment or aliasing assumptions, and it vectorises.
    unsigned char* d = static_cast<unsigned char*>(dst);
    for (int i = 0; i < count; ++i) std::memcpy(d + size_t(i) * 4, &pattern, 4);
}

void util_setError(char* error, size_t errorSize, const char* format, ...)
{
    if (!error || errorSize == 0)
        return;
    va_list args;
    va_start(args, format);
    vsnprintf(error, errorSize, format, args);
    va_end(args);
}
