// util: floating-point rounding modes and 32-bit word copy/fill.
//
// The engine converts floats to integers "in the current mode" with lrintf (SSE cvtss2si honours
// the MXCSR rounding mode, which fesetround sets). The modes:
//   full  - round to nearest, ties to even (FE_TONEAREST); in force outside bracketed code
//   floor - truncation toward zero (FE_TOWARDZERO); equals flooring for non-negative values;
//           the scaled image drawers and the rest of loading run in it
//   ceil  - round up, toward +infinity (FE_UPWARD); the rasterisers' pixel coverage relies on it
// All arithmetic is single-precision float already, so there is no precision control to switch.
#pragma once
#include <cstddef>
#include <cstdint>

// Prepares the modes and selects the full mode. First step of start-up.
void util_fpuInit(void);
void util_fpuSetCeilMode(void);
void util_fpuSetFloorMode(void);
void util_fpuSetFullMode(void);

// Copies count 32-bit words from src to dst; the areas must not overlap.
void util_blit(void* dst, const void* src, int count);
// Stores the 32-bit pattern count times (repeat a byte four times to fill an 8-bit buffer).
void util_clear(void* dst, uint32_t pattern, int count);

// Little-endian field readers for file formats, which are parsed field by field.
inline uint32_t util_get16(const uint8_t* p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8); }
inline uint32_t util_get32(const uint8_t* p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// Formats a loader's one-line reason into error[errorSize]; does nothing when error is null.
void util_setError(char* error, size_t errorSize, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
