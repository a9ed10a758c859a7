// The software directed rounding (fround_soft*) against the hardware's rounding modes: every sum,
// difference, product, quotient, conversion and narrowing must come out bit for bit as the
// floating-point unit gives it in that mode, for edge operands (signed zeros, subnormals, the
// limits, infinities, NaN, halfway cases) and millions of random ones.
#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "fround.h"

namespace {

uint32_t bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

float fromBits(uint32_t u)
{
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

// Equal bit patterns, or both NaN (the hardware's NaN payload is its own business).
bool same(float a, float b)
{
    return (a != a && b != b) || bits(a) == bits(b);
}

const FroundMode Modes[] = {FroundMode_Nearest, FroundMode_Up, FroundMode_TowardZero};
const int FeModes[] = {FE_TONEAREST, FE_UPWARD, FE_TOWARDZERO};
const char* const ModeNames[] = {"nearest", "up", "toward zero"};

enum Op { Add, Sub, Mul, Div, OpCount };
const char* const OpNames[] = {"+", "-", "*", "/"};

float soft(Op op, float a, float b, FroundMode m)
{
    switch (op) {
    case Add: return fround_softAdd(a, b, m);
    case Sub: return fround_softSub(a, b, m);
    case Mul: return fround_softMul(a, b, m);
    default: return fround_softDiv(a, b, m);
    }
}

// Rounding up four lanes at a time (the rasterisers' operations); `near` takes the subtraction
// meant for nearby values.
FroundF4 softUp4(Op op, FroundF4 a, FroundF4 b, bool near)
{
    switch (op) {
    case Add: return fround_upAdd4(a, b);
    case Sub: return near ? fround_upSubNear4(a, b) : fround_upSub4(a, b);
    case Mul: return fround_upMul4(a, b);
    default: return fround_upDiv4(a, b);
    }
}

// The hardware's result in the mode in force; volatile so that nothing is folded at compile time.
float hard(Op op, float a, float b)
{
    volatile float x = a, y = b;
    switch (op) {
    case Add: return x + y;
    case Sub: return x - y;
    case Mul: return x * y;
    default: return x / y;
    }
}

struct Pair {
    float a, b;
};

// Runs every operation in every mode over the pairs; the software results are computed with the
// unit in round-to-nearest (their double arithmetic needs it), the hardware's in the mode. Rounding
// up is checked on single floats and, four pairs at a time, on four lanes.
void checkPairs(const std::vector<Pair>& pairs)
{
    std::vector<float> want(pairs.size());
    for (int mi = 0; mi < 3; mi++) {
        for (int op = 0; op < OpCount; op++) {
            ASSERT_EQ(0, std::fesetround(FeModes[mi]));
            for (size_t i = 0; i < pairs.size(); i++)
                want[i] = hard(Op(op), pairs[i].a, pairs[i].b);
            std::fesetround(FE_TONEAREST);
            int failures = 0;
            for (size_t i = 0; i < pairs.size() && failures < 5; i++) {
                const float got = soft(Op(op), pairs[i].a, pairs[i].b, Modes[mi]);
                if (!same(got, want[i])) {
                    failures++;
                    ADD_FAILURE() << std::hexfloat << pairs[i].a << " " << OpNames[op] << " " << pairs[i].b << " rounded "
                                  << ModeNames[mi] << ": software " << got << ", hardware " << want[i];
                }
            }
            for (size_t i = 0; Modes[mi] == FroundMode_Up && i + 4 <= pairs.size() && failures < 5; i += 4) {
                FroundF4 a, b;
                for (int k = 0; k < 4; k++)
                    a[k] = pairs[i + k].a, b[k] = pairs[i + k].b;
                for (bool near : {false, true}) {
                    const FroundF4 got = softUp4(Op(op), a, b, near);
                    for (int k = 0; k < 4; k++) {
                        if (!same(got[k], want[i + k])) {
                            failures++;
                            ADD_FAILURE() << std::hexfloat << a[k] << " " << OpNames[op] << " " << b[k]
                                          << " rounded up in four lanes: software " << got[k] << ", hardware "
                                          << want[i + k];
                        }
                    }
                }
            }
        }
    }
}

// Special values, the ends of the subnormal and normal ranges, and their neighbours.
std::vector<float> edgeValues()
{
    std::vector<float> v = {0.0f, FLT_TRUE_MIN, 2 * FLT_TRUE_MIN, FLT_MIN - FLT_TRUE_MIN, FLT_MIN, FLT_MIN * 1.5f,
                            1.0f, 1.5f, 2.0f, 3.0f, 0.1f, 1.0f / 3.0f, 65536.0f, 16777216.0f, 16777215.0f,
                            1.0f + FLT_EPSILON, 1.0f - FLT_EPSILON / 2, 0.5f, 320.0f, 199.99998f, 1e-30f, 1e30f,
                            FLT_MAX / 2, FLT_MAX, INFINITY, NAN};
    const size_t n = v.size();
    for (size_t i = 0; i < n; i++)
        v.push_back(-v[i]);
    return v;
}

TEST(Fround, EdgeOperandsMatchTheHardwareModes)
{
    const std::vector<float> v = edgeValues();
    std::vector<Pair> pairs;
    for (float a : v)
        for (float b : v)
            pairs.push_back({a, b});
    checkPairs(pairs);
}

TEST(Fround, HalfwayAndCancellingSumsMatchTheHardwareModes)
{
    // x + half a unit of x (and a little more or less), x - its neighbour, products landing on
    // midpoints: the cases where the direction decides the last bit.
    std::mt19937 rng(7);
    std::vector<Pair> pairs;
    for (int i = 0; i < 200000; i++) {
        const float x = fromBits((rng() & 0x807FFFFFu) | ((uint32_t)(1 + rng() % 253) << 23));
        const float ulp = std::nextafter(std::fabs(x), INFINITY) - std::fabs(x);
        pairs.push_back({x, ulp / 2});
        pairs.push_back({x, -ulp / 2});
        pairs.push_back({x, std::nextafter(ulp / 2, 0.0f)});
        pairs.push_back({x, std::nextafter(ulp / 2, INFINITY)});
        pairs.push_back({x, -std::nextafter(x, 0.0f)});
        pairs.push_back({x, -x});
        pairs.push_back({1.0f + (float)(rng() % 4096) * FLT_EPSILON, 1.0f + 0.5f * FLT_EPSILON});
        pairs.push_back({x, fromBits(bits(x) ^ (rng() & 0x1Fu))});  // nearby quotients
    }
    checkPairs(pairs);
}

TEST(Fround, RandomOperandsMatchTheHardwareModes)
{
    std::mt19937 rng(2024);
    std::vector<Pair> pairs;
    // Any bit patterns (every class of value), then operands of nearby exponents, where sums
    // cancel and quotients stay in range, and small magnitudes, where results are subnormal.
    for (int i = 0; i < 1000000; i++)
        pairs.push_back({fromBits(rng()), fromBits(rng())});
    for (int i = 0; i < 1000000; i++) {
        const uint32_t e = 100 + rng() % 56;
        pairs.push_back({fromBits((rng() & 0x807FFFFFu) | (e << 23)),
                         fromBits((rng() & 0x807FFFFFu) | ((e + rng() % 9 - 4) << 23))});
    }
    for (int i = 0; i < 500000; i++)
        pairs.push_back({fromBits(rng() & 0x83FFFFFFu), fromBits((rng() & 0x807FFFFFu) | ((uint32_t)(rng() % 130) << 23))});
    checkPairs(pairs);
}

TEST(Fround, SeriesOfSumsRoundedUpMatchTheHardwareMode)
{
    // Starts and steps of every kind: in one binade for thousands of steps, crossing binades and
    // zero, steps far below and far above a unit, and the special values. Where a series offers its
    // ceilings in integers (the Credits ribbons' texture rows, value * 2^6, and other scales), they
    // agree with the ceiling of the value, at this step and the next one that the run covers.
    std::mt19937 rng(11);
    std::vector<Pair> series;
    const std::vector<float> edges = edgeValues();
    for (float v : edges)
        for (float d : edges)
            series.push_back({v, d});
    for (int i = 0; i < 20000; i++) {
        const float v = fromBits((rng() & 0x807FFFFFu) | ((uint32_t)(100 + rng() % 60) << 23));
        const float d = fromBits((rng() & 0x807FFFFFu) | ((uint32_t)(100 + rng() % 60) << 23));
        series.push_back({v, d});
        series.push_back({std::fabs(v), std::fabs(d)});
        series.push_back({std::fabs(v), std::ldexp(std::fabs(d), -20 - (int)(rng() % 10))});
    }
    const int Steps = 300;
    std::vector<float> want(series.size() * Steps);
    ASSERT_EQ(0, std::fesetround(FE_UPWARD));
    for (size_t i = 0; i < series.size(); i++) {
        volatile float v = series[i].a;
        const float d = series[i].b;
        for (int k = 0; k < Steps; k++) {
            v = v + d;
            want[i * Steps + k] = v;
        }
    }
    std::fesetround(FE_TONEAREST);
    int failures = 0;
    for (size_t i = 0; i < series.size() && failures < 5; i++) {
        FroundUpSeries s(series[i].a, series[i].b);
        const int scale = i % 2 ? 6 : (int)(i % 61) - 30;
        for (int k = 0; k < Steps; k++) {
            FroundUpSeries::CeilRun run = {};
            const bool inRun = s.ceilRun(scale, &run);
            const uint32_t ceilNow = inRun ? run.r >> run.shift : 0, ceilNext = (run.r + run.step) >> run.shift;
            const bool nextInRun = inRun && run.r + run.step < run.limit;
            if (inRun && (double)ceilNow != std::ceil(std::ldexp((double)s.value(), scale))) {
                failures++;
                ADD_FAILURE() << std::hexfloat << s.value() << " * 2^" << scale << " rounded up in integers: " << ceilNow;
                break;
            }
            s.next();
            if (!same(s.value(), want[i * Steps + k])) {
                failures++;
                ADD_FAILURE() << std::hexfloat << series[i].a << " + " << series[i].b << " step " << k + 1
                              << " rounded up: software " << s.value() << ", hardware " << want[i * Steps + k];
                break;
            }
            if (nextInRun && (double)ceilNext != std::ceil(std::ldexp((double)s.value(), scale))) {
                failures++;
                ADD_FAILURE() << std::hexfloat << s.value() << " * 2^" << scale << " rounded up in integers a step on: "
                              << ceilNext;
                break;
            }
        }
    }
}

TEST(Fround, ConversionsToIntegersMatchLrintf)
{
    std::mt19937 rng(99);
    std::vector<float> v = {0.0f, -0.0f, 0.5f, 1.5f, 2.5f, -0.5f, -1.5f, -2.5f, 2.1f, -2.9f, 2.9f, 0.49999997f,
                            FLT_TRUE_MIN, -FLT_TRUE_MIN, 1e18f, -1e18f, 8388607.5f, -8388607.5f};
    for (int i = 0; i < 1000000; i++) {
        const float x = fromBits((rng() & 0x807FFFFFu) | ((uint32_t)(rng() % 188) << 23));  // |x| < 2^61
        v.push_back(x);
    }
    for (int mi = 0; mi < 3; mi++) {
        std::vector<int64_t> want(v.size());
        std::fesetround(FeModes[mi]);
        for (size_t i = 0; i < v.size(); i++) {
            volatile float x = v[i];
            want[i] = lrintf(x);
        }
        std::fesetround(FE_TONEAREST);
        int failures = 0;
        for (size_t i = 0; i < v.size() && failures < 5; i++) {
            if (fround_softToInt(v[i], Modes[mi]) != want[i]) {
                failures++;
                ADD_FAILURE() << std::hexfloat << v[i] << " rounded " << ModeNames[mi] << ": software "
                              << fround_softToInt(v[i], Modes[mi]) << ", lrintf " << want[i];
            }
        }
    }
}

TEST(Fround, NarrowingLongDoublesMatchesTheHardwareModes)
{
    std::mt19937_64 rng(5);
    std::vector<long double> v = {0.0L, -0.0L, 1.0L, 0.1L, -0.1L, 1e-50L, -1e-50L, 1e50L, -1e50L, (long double)FLT_MAX * 1.0000001L};
    for (int i = 0; i < 1000000; i++) {
        // Mantissas with more bits than float keeps, exponents across and beyond float's range.
        long double x = std::ldexp((long double)(rng() >> 1) / 9223372036854775808.0L, (int)(rng() % 300) - 160);
        v.push_back(rng() & 1 ? -x : x);
    }
    for (int mi = 0; mi < 3; mi++) {
        std::vector<float> want(v.size());
        std::fesetround(FeModes[mi]);
        for (size_t i = 0; i < v.size(); i++) {
            volatile long double x = v[i];
            want[i] = (float)x;
        }
        std::fesetround(FE_TONEAREST);
        int failures = 0;
        for (size_t i = 0; i < v.size() && failures < 5; i++) {
            const float got = fround_softNarrowLong(v[i], Modes[mi]);
            if (!same(got, want[i])) {
                failures++;
                ADD_FAILURE() << std::hexfloat << (double)v[i] << " narrowed " << ModeNames[mi] << ": software " << got
                              << ", hardware " << want[i];
            }
        }
    }
}

TEST(Fround, NarrowingDoublesMatchesTheHardwareModes)
{
    std::mt19937_64 rng(6);
    std::vector<double> v = {0.0, -0.0, 1.0, 0.1, -0.1, 1e-50, -1e-50, 1e-40, -1e-40, 1e50, -1e50,
                             (double)FLT_MAX * 1.00000001, -(double)FLT_MAX * 1.00000001, INFINITY, -INFINITY,
                             1.0 + 0x1p-24, 1.0 + 0x1p-24 + 0x1p-52, -(1.0 + 0x1p-24)};
    for (int i = 0; i < 1000000; i++) {
        // Mantissas with more bits than float keeps, exponents across and beyond float's range.
        double x = std::ldexp((double)(rng() >> 11) / 9007199254740992.0, (int)(rng() % 300) - 160);
        v.push_back(rng() & 1 ? -x : x);
    }
    for (int mi = 0; mi < 3; mi++) {
        std::vector<float> want(v.size());
        std::fesetround(FeModes[mi]);
        for (size_t i = 0; i < v.size(); i++) {
            volatile double x = v[i];
            want[i] = (float)x;
        }
        std::fesetround(FE_TONEAREST);
        int failures = 0;
        for (size_t i = 0; i < v.size() && failures < 5; i++) {
            const float got = fround_softNarrowDouble(v[i], Modes[mi]);
            if (!same(got, want[i])) {
                failures++;
                ADD_FAILURE() << std::hexfloat << v[i] << " narrowed " << ModeNames[mi] << ": software " << got
                              << ", hardware " << want[i];
            }
        }
    }
}

TEST(Fround, StepsCrossZeroAndLeaveInfinity)
{
    EXPECT_EQ(bits(fround_stepUp(0.0f)), 1u);
    EXPECT_EQ(bits(fround_stepUp(-0.0f)), 1u);
    EXPECT_EQ(bits(fround_stepUp(-FLT_TRUE_MIN)), bits(-0.0f));
    EXPECT_EQ(fround_stepDown(0.0f), -FLT_TRUE_MIN);
    EXPECT_EQ(fround_stepUp(FLT_MAX), INFINITY);
    EXPECT_EQ(fround_stepUp(-INFINITY), -FLT_MAX);
    EXPECT_EQ(fround_stepDown(INFINITY), FLT_MAX);
    EXPECT_EQ(fround_stepUp(1.0f), 1.0f + FLT_EPSILON);
    EXPECT_EQ(fround_stepDown(-1.0f), -1.0f - FLT_EPSILON);
}

}  // namespace
