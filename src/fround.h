// fround: float arithmetic and conversions rounded in the current rounding mode, for the code that
// runs under a mode other than round-to-nearest (the renderer's passes, the math tables'
// initialisation, the rest of loading) on a platform without rounding modes.
//
// Natively the floating-point environment has the modes: util_fpuSet*Mode switches them with
// fesetround, and every fround_ operation below is the plain operator or lrintf, which the
// hardware rounds in the mode in force. WebAssembly has a single mode, round to nearest (ties to
// even), and fesetround does nothing there; util keeps the selected mode in g_fround_mode instead,
// and these operations compute the directed result exactly in software:
//
//   A float sum, difference or product is computed in double, where it is exact or, for a sum
//   of far apart magnitudes, where the sign of the error is that of the smaller operand; a float
//   quotient is computed in double, where it is either exact or not within half a double unit
//   of any float or float midpoint (a quotient of two 24-bit numbers cannot be that close to a
//   25-bit number without equalling it). The double d
//   is then rounded to the nearest float f, and f is moved one float up or down when it lies on
//   the wrong side of the exact result: below it for rounding up, beyond it for truncation.
//
// Overflow, infinities, NaN, signed zeros and subnormals come out as the hardware gives them;
// tests/test_fround.cpp checks every operation against the hardware modes. The software path is
// compiled everywhere (so it can be tested natively) and used only where FROUND_SOFTWARE is 1.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__wasm__) || defined(TIDEWATER_SOFT_ROUNDING)
#define FROUND_SOFTWARE 1
#else
#define FROUND_SOFTWARE 0
#endif

// Each operation is a handful of instructions on the hot path: always inlined.
#define FROUND_INLINE inline __attribute__((always_inline))

enum FroundMode : uint8_t { FroundMode_Nearest, FroundMode_Up, FroundMode_TowardZero };

// The mode util_fpuSet*Mode selected last (kept on every platform; only the software path reads it).
extern FroundMode g_fround_mode;

// ---- the software path ---------------------------------------------------------------------------

// One float up (down) from a float that lies below (above) an exact finite result: never NaN or
// +infinity (-infinity), so only zeros need care.
FROUND_INLINE float fround_stepUp(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    u = (u & 0x7FFFFFFFu) == 0 ? 1u : u + (uint32_t)((int32_t)u >> 31 | 1);
    std::memcpy(&f, &u, 4);
    return f;
}

FROUND_INLINE float fround_stepDown(float f)
{
    return -fround_stepUp(-f);
}

// The float of the exact value d + e in the mode, where d is a double, e its exact error (0 when
// d is exact; only its sign is used) and |e| is at most half a double unit of d.
FROUND_INLINE float fround_narrow(double d, double e, FroundMode mode)
{
    float f = (float)d;  // to nearest
    if (mode == FroundMode_Nearest)
        return f;
    const double fd = f;
    // (An infinite d is exact: its error does not count.)
    if (mode == FroundMode_Up || d < 0.0 || (d == 0.0 && e < 0.0)) {
        if (fd < d || (fd == d && e > 0.0 && !std::isinf(fd)))
            f = fround_stepUp(f);
    } else if (fd > d || (fd == d && e < 0.0 && !std::isinf(fd))) {
        f = fround_stepDown(f);
    }
    return f;
}

// Rounding up, the renderer's mode, on its own: the fewest steps for the hottest code, and no
// branches (whether a result moves is data, not a pattern a branch predictor could learn).

// f, or the next float up when `up`: f then lies below an exact result, so it is neither NaN nor
// +infinity, and a zero there is +0 (a positive result never rounds to -0), which moves to the
// smallest subnormal like any positive float.
FROUND_INLINE float fround_upIf(float f, bool up)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    u += (uint32_t)up * (uint32_t)((int32_t)u >> 31 | 1);
    std::memcpy(&f, &u, 4);
    return f;
}

// A float below the exact result d moves up one.
FROUND_INLINE float fround_upNarrow(double d)
{
    const float f = (float)d;
    return fround_upIf(f, (double)f < d);
}

// Knuth's branch-free two-sum: the error (a + b) - s of s = a + b to nearest, for a float or four
// lanes (see fround_upAdd4 for when it is exact).
template <class T>
FROUND_INLINE T fround_sumError(T a, T b, T s)
{
    const T bs = s - a;
    const T as = s - bs;
    return (a - as) + (b - bs);
}

// The sum rounded up: s to nearest and its exact error, as fround_upAdd4 does on four lanes (see
// there).
FROUND_INLINE float fround_upAdd(float a, float b)
{
    const float s = a + b;
    const float e = fround_sumError(a, b, s);
    return fround_upIf(s, (e > 0.0f) | ((s == -INFINITY) & (a > -INFINITY) & (b > -INFINITY)));
}

FROUND_INLINE float fround_softAdd(float a, float b, FroundMode mode)
{
    if (mode == FroundMode_Up)
        return fround_upAdd(a, b);
    const double x = a, y = b;
    const double d = x + y;
    const double e = d == x ? y : d == y ? x : 0.0;  // the error's sign (see fround_upAdd)
    return fround_narrow(d, e, mode);
}

FROUND_INLINE float fround_softSub(float a, float b, FroundMode mode)
{
    return fround_softAdd(a, -b, mode);
}

FROUND_INLINE float fround_softMul(float a, float b, FroundMode mode)
{
    const double d = (double)a * (double)b;  // 48 bits: exact in double
    return mode == FroundMode_Up ? fround_upNarrow(d) : fround_narrow(d, 0.0, mode);
}

FROUND_INLINE float fround_softDiv(float a, float b, FroundMode mode)
{
    const double d = (double)a / (double)b;  // a float or not within half a double unit of one
    return mode == FroundMode_Up ? fround_upNarrow(d) : fround_narrow(d, 0.0, mode);
}

// A long double narrowed to float in the mode (the math tables' stored values).
inline float fround_softNarrowLong(long double x, FroundMode mode)
{
    float f = (float)x;
    if (mode == FroundMode_Nearest || f != f)
        return f;
    if (mode == FroundMode_Up || x < 0.0L) {
        if ((long double)f < x)
            f = fround_stepUp(f);
    } else if ((long double)f > x) {
        f = fround_stepDown(f);
    }
    return f;
}

// A double narrowed to float in the mode: the result of a double function (sin, atan2...), taken as
// exact. Double functions agree between C libraries where float ones do not (see mat.cpp).
FROUND_INLINE float fround_softNarrowDouble(double d, FroundMode mode)
{
    return fround_narrow(d, 0.0, mode);
}

// Conversion to an integer in the mode, as lrintf does on x86-64 (64-bit result).
FROUND_INLINE int64_t fround_softToInt(float x, FroundMode mode)
{
    const float r = mode == FroundMode_Up ? std::ceil(x) : mode == FroundMode_TowardZero ? std::trunc(x) : std::rint(x);
    return (int64_t)r;
}

// ---- a series of sums rounded up -------------------------------------------------------------------

// v, v + dv, (v + dv) + dv, ..., every sum rounded up, for loops that step a coordinate by a fixed
// amount (the software path; natively the loop adds in the pass's mode). For v >= 0 and dv > 0
// the step is done in integers: inside one binade the floats are the multiples of its unit u, so
// the least float at or above v + dv is v + ceil(dv / u) * u, and the bit pattern moves by the
// same whole number of units every time, for as long as it stays inside the binade; a step into
// the next binade up is integers too. Any other v or dv (negative, subnormal, infinite, NaN) and
// longer jumps take the sum rounded up in full.
struct FroundUpSeries {
    float dv;
    uint32_t bits;   // the current value's bit pattern
    uint32_t units;  // while bits + units < limit, the next value's pattern is bits + units
    uint32_t limit;

    FROUND_INLINE FroundUpSeries(float v, float step) : dv(step) { start(v); }

    FROUND_INLINE void start(float v)
    {
        std::memcpy(&bits, &v, 4);
        units = 0;
        limit = 0;
        const uint32_t e = bits >> 23;  // the biased exponent, for a v with its sign bit clear
        if (e >= 1 && e <= 254 && dv > 0.0f && dv <= 3.40282347e38f) {
            // dv / u = dv * 2^(150 - e), exact in double, as is its ceiling.
            const uint64_t scaleBits = (uint64_t)(1023 + 150 - e) << 52;
            double scale;
            std::memcpy(&scale, &scaleBits, 8);
            const double n = std::ceil((double)dv * scale);
            if (n < 8388608.0) {
                units = (uint32_t)n;
                limit = (e + 1) << 23;
            }
        }
    }
    FROUND_INLINE float value() const
    {
        float v;
        std::memcpy(&v, &bits, 4);
        return v;
    }
    // ceil(value * 2^k) for this value and the next ones inside its binade, in integers alone: there
    // a value is m * 2^(e - 150), m its 24-bit mantissa, so ceil(value * 2^k) = (m + 2^shift - 1) >>
    // shift with shift = 150 - k - e, and m grows by `units` a step. This value's ceiling is
    // r >> shift; after j steps it is (r + j * step) >> shift, for as long as that sum stays below
    // `limit`. Only for a shift of 1 to 31 (the value times 2^k below 2^23, and not tiny) while the
    // steps are in integers; false otherwise, and the caller takes value() itself.
    struct CeilRun {
        uint32_t r, step, limit;
        int shift;
    };
    FROUND_INLINE bool ceilRun(int k, CeilRun* run) const
    {
        const int shift = 150 - k - (int)(bits >> 23);
        if (units == 0 || shift < 1 || shift > 31)
            return false;
        const uint32_t round = (1u << shift) - 1;
        run->r = ((bits & 0x7FFFFFu) | 0x800000u) + round;
        run->step = units;
        run->limit = 0x1000000u + round;
        run->shift = shift;
        return true;
    }
    // n steps on that a CeilRun covered (no binade left on the way).
    FROUND_INLINE void skip(uint32_t n) { bits += n * units; }

    FROUND_INLINE void next()
    {
        if (bits + units < limit) {
            bits += units;
            return;
        }
        // Leaving the binade upward into the next one, e, whose unit is 2u: the sum rounded up is
        // 2u * ceil((m + dv / u) / 2) = 2u * ceil((m + units) / 2), m the mantissa in units u (as
        // ceil(ceil(x) / 2) = ceil(x / 2)), and the steps there take ceil(units / 2). Landing past
        // that binade, or beyond the floats, takes the sum in full.
        const uint32_t e = limit >> 23;
        if (limit != 0 && e <= 254) {
            const uint32_t m = (bits & 0x7FFFFFu) | 0x800000u;
            const uint32_t next = (m + units + 1) >> 1;
            if (next < 0x1000000u) {
                bits = (e << 23) | (next & 0x7FFFFFu);
                units = (units + 1) >> 1;
                limit = (e + 1) << 23;
                return;
            }
        }
        start(fround_upAdd(value(), dv));
    }
};

// ---- four lanes at a time --------------------------------------------------------------------------

// The rasterisers' attributes, rounded up four at a time: GCC's and clang's vector types, which
// become 128-bit vector instructions (WebAssembly's included). Comparisons give lanes of 0 or -1.
typedef float FroundF4 __attribute__((vector_size(16)));
typedef int32_t FroundI4 __attribute__((vector_size(16)));
typedef double FroundD2 __attribute__((vector_size(16)));

FROUND_INLINE FroundF4 fround_splat4(float x)
{
    return FroundF4{x, x, x, x};
}

FROUND_INLINE FroundF4 fround_load4(const float* p)
{
    FroundF4 v;
    std::memcpy(&v, p, 16);
    return v;
}

FROUND_INLINE void fround_store4(float* p, FroundF4 v)
{
    std::memcpy(p, &v, 16);
}

// fround_upIf on each lane whose `up` is -1.
FROUND_INLINE FroundF4 fround_upIf4(FroundF4 f, FroundI4 up)
{
    FroundI4 u;
    std::memcpy(&u, &f, 16);
    u += up & ((u >> 31) | 1);
    std::memcpy(&f, &u, 16);
    return f;
}

// Whether any lane is set.
FROUND_INLINE bool fround_any4(FroundI4 m)
{
#if defined(__wasm_simd128__)
    return __builtin_wasm_any_true_v128((__attribute__((vector_size(16))) signed char)m);
#else
    uint64_t lo, hi;
    std::memcpy(&lo, &m, 8);
    std::memcpy(&hi, reinterpret_cast<const char*>(&m) + 8, 8);
    return (lo | hi) != 0;
#endif
}

// A sum rounded up without leaving float: s, the sum to nearest, and its exact error
// e = (a + b) - s by the two-sum, which is exact whenever s is finite (subnormals
// included; none of its later steps overflows then). s lies below the exact sum exactly when
// e > 0, and is then a nonzero finite float, which moves up one. A sum of finite operands that
// overflows to -infinity rounds up to -FLT_MAX, one step too; every other infinite or NaN sum
// (e is NaN then) is right as it is. (A sum of -infinity is rare: the test for its operands
// waits behind a branch.)
FROUND_INLINE FroundF4 fround_upAdd4(FroundF4 a, FroundF4 b)
{
    const FroundF4 s = a + b;
    const FroundF4 e = fround_sumError(a, b, s);
    const FroundF4 ninf = fround_splat4(-INFINITY);
    const FroundI4 low = s == ninf;
    if (!fround_any4(low))
        return fround_upIf4(s, e > 0.0f);
    return fround_upIf4(s, (e > 0.0f) | (low & (a > ninf) & (b > ninf)));
}

FROUND_INLINE FroundF4 fround_upSub4(FroundF4 a, FroundF4 b)
{
    return fround_upAdd4(a, -b);
}

// fround_upSub4 for differences that are mostly exact (nearby values: within a factor of two of
// each other the difference is a float, Sterbenz's lemma): when no lane's sum lies below the
// exact one (and none is -infinity, where it may), the moving is left out.
FROUND_INLINE FroundF4 fround_upSubNear4(FroundF4 a, FroundF4 b)
{
    b = -b;
    const FroundF4 s = a + b;
    const FroundF4 e = fround_sumError(a, b, s);
    const FroundF4 ninf = fround_splat4(-INFINITY);
    const FroundI4 below = e > 0.0f;
    const FroundI4 low = s == ninf;
    if (!fround_any4(below | low))
        return s;
    return fround_upIf4(s, below | (low & (a > ninf) & (b > ninf)));
}

// Lanes 0, 1 (lo) and 2, 3 (hi) as doubles.
FROUND_INLINE FroundD2 fround_lo2(FroundF4 a)
{
    return __builtin_convertvector(__builtin_shufflevector(a, a, 0, 1), FroundD2);
}

FROUND_INLINE FroundD2 fround_hi2(FroundF4 a)
{
    return __builtin_convertvector(__builtin_shufflevector(a, a, 2, 3), FroundD2);
}

// Two double lanes narrowed to float (to nearest) in lanes 0 and 1, zeros in 2 and 3. WebAssembly
// has one instruction for it, which clang 14 does not pick when the result is widened again (as
// below): it narrows lane by lane then, at three times the cost. There the instruction is written
// out (under its name in clang 14).
FROUND_INLINE FroundF4 fround_demote2(FroundD2 d)
{
#if defined(__wasm_simd128__) && defined(__clang_major__) && __clang_major__ <= 14
    FroundF4 f;
    __asm__("local.get %1\n\tf32x4.demote_zero_f64x2\n\tlocal.set %0" : "=r"(f) : "r"(d));
    return f;
#else
    return __builtin_convertvector(__builtin_shufflevector(d, FroundD2{0.0, 0.0}, 0, 1, 2, 3), FroundF4);
#endif
}

// Exact (or, for quotients, never ambiguous) double lanes rounded up to float: fround_upNarrow.
// (A comparison of doubles gives lanes of 64 bits, all ones or all zeros: their low halves make
// the 32-bit lanes.)
FROUND_INLINE FroundF4 fround_upNarrow4(FroundD2 lo, FroundD2 hi)
{
    const FroundF4 flo = fround_demote2(lo), fhi = fround_demote2(hi);
    const FroundI4 ulo = (FroundI4)(fround_lo2(flo) < lo), uhi = (FroundI4)(fround_lo2(fhi) < hi);
    return fround_upIf4(__builtin_shufflevector(flo, fhi, 0, 1, 4, 5), __builtin_shufflevector(ulo, uhi, 0, 2, 4, 6));
}

FROUND_INLINE FroundF4 fround_upMul4(FroundF4 a, FroundF4 b)
{
    return fround_upNarrow4(fround_lo2(a) * fround_lo2(b), fround_hi2(a) * fround_hi2(b));
}

FROUND_INLINE FroundF4 fround_upDiv4(FroundF4 a, FroundF4 b)
{
    return fround_upNarrow4(fround_lo2(a) / fround_lo2(b), fround_hi2(a) / fround_hi2(b));
}

// ---- the operations the engine calls: in the current mode ------------------------------------------


#if FROUND_SOFTWARE
FROUND_INLINE float fround_add(float a, float b) { return fround_softAdd(a, b, g_fround_mode); }
FROUND_INLINE float fround_sub(float a, float b) { return fround_softSub(a, b, g_fround_mode); }
FROUND_INLINE float fround_mul(float a, float b) { return fround_softMul(a, b, g_fround_mode); }
FROUND_INLINE float fround_div(float a, float b) { return fround_softDiv(a, b, g_fround_mode); }
FROUND_INLINE float fround_narrowLong(long double x) { return fround_softNarrowLong(x, g_fround_mode); }
FROUND_INLINE float fround_narrowDouble(double x) { return fround_softNarrowDouble(x, g_fround_mode); }
FROUND_INLINE int64_t fround_toInt(float x) { return fround_softToInt(x, g_fround_mode); }
#else
FROUND_INLINE float fround_add(float a, float b) { return a + b; }
FROUND_INLINE float fround_sub(float a, float b) { return a - b; }
FROUND_INLINE float fround_mul(float a, float b) { return a * b; }
FROUND_INLINE float fround_div(float a, float b) { return a / b; }
FROUND_INLINE float fround_narrowLong(long double x) { return (float)x; }
FROUND_INLINE float fround_narrowDouble(double x) { return (float)x; }
FROUND_INLINE int64_t fround_toInt(float x) { return lrintf(x); }
#endif

// x * a + y * b + z * c in the current mode, operation by operation in that order.
FROUND_INLINE float fround_dot3(float x, float y, float z, float a, float b, float c)
{
    return fround_add(fround_add(fround_mul(x, a), fround_mul(y, b)), fround_mul(z, c));
}

// The current mode's operations as objects, for hot code written once for both cases: FroundOps
// rounds in the current mode, FroundPlainOps is the plain operators and lrintf. They differ only
// where rounding is done in software and the mode is not round-to-nearest, which fround_plain()
// tells: hot code that may run under loading's truncation (a scene's first frame) instantiates
// itself on both and takes the plain one when it can, so the mode's test stays out of its loops.
FROUND_INLINE bool fround_plain()
{
    return !FROUND_SOFTWARE || g_fround_mode == FroundMode_Nearest;
}

struct FroundOps {
    FROUND_INLINE float add(float a, float b) const { return fround_add(a, b); }
    FROUND_INLINE float sub(float a, float b) const { return fround_sub(a, b); }
    FROUND_INLINE float mul(float a, float b) const { return fround_mul(a, b); }
    FROUND_INLINE float div(float a, float b) const { return fround_div(a, b); }
    FROUND_INLINE int64_t toInt(float x) const { return fround_toInt(x); }
};

struct FroundPlainOps {
    FROUND_INLINE float add(float a, float b) const { return a + b; }
    FROUND_INLINE float sub(float a, float b) const { return a - b; }
    FROUND_INLINE float mul(float a, float b) const { return a * b; }
    FROUND_INLINE float div(float a, float b) const { return a / b; }
    FROUND_INLINE int64_t toInt(float x) const { return lrintf(x); }
};

// For the rasterisers, which run only inside renderer passes: rounding up, known at compile time,
// on single floats and on four lanes. Natively the plain operators (the pass has selected the mode).
struct FroundUpOps {
#if FROUND_SOFTWARE
    FROUND_INLINE float add(float a, float b) const { return fround_upAdd(a, b); }
    FROUND_INLINE float sub(float a, float b) const { return fround_upAdd(a, -b); }
    FROUND_INLINE float mul(float a, float b) const { return fround_upNarrow((double)a * (double)b); }
    FROUND_INLINE float div(float a, float b) const { return fround_upNarrow((double)a / (double)b); }
    FROUND_INLINE int64_t toInt(float x) const { return (int64_t)std::ceil(x); }
    FROUND_INLINE FroundF4 add(FroundF4 a, FroundF4 b) const { return fround_upAdd4(a, b); }
    FROUND_INLINE FroundF4 sub(FroundF4 a, FroundF4 b) const { return fround_upSub4(a, b); }
    FROUND_INLINE FroundF4 subNear(FroundF4 a, FroundF4 b) const { return fround_upSubNear4(a, b); }
    FROUND_INLINE FroundF4 mul(FroundF4 a, FroundF4 b) const { return fround_upMul4(a, b); }
    FROUND_INLINE FroundF4 div(FroundF4 a, FroundF4 b) const { return fround_upDiv4(a, b); }
#else
    FROUND_INLINE float add(float a, float b) const { return a + b; }
    FROUND_INLINE float sub(float a, float b) const { return a - b; }
    FROUND_INLINE float mul(float a, float b) const { return a * b; }
    FROUND_INLINE float div(float a, float b) const { return a / b; }
    FROUND_INLINE int64_t toInt(float x) const { return lrintf(x); }
    FROUND_INLINE FroundF4 add(FroundF4 a, FroundF4 b) const { return a + b; }
    FROUND_INLINE FroundF4 sub(FroundF4 a, FroundF4 b) const { return a - b; }
    FROUND_INLINE FroundF4 subNear(FroundF4 a, FroundF4 b) const { return a - b; }
    FROUND_INLINE FroundF4 mul(FroundF4 a, FroundF4 b) const { return a * b; }
    FROUND_INLINE FroundF4 div(FroundF4 a, FroundF4 b) const { return a / b; }
#endif
};
