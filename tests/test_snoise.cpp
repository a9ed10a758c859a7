#include "snoise.h"
#include "util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// 0.75^4, the kernel of a corner half a cell away in 1D.
constexpr float K = 0.31640625f;

TEST(Snoise, ZeroAtTheOriginAndEveryIntegerIn1D) {
    EXPECT_EQ(snoise1(0.0f), 0.0f);
    EXPECT_EQ(snoise2(0.0f, 0.0f), 0.0f);
    EXPECT_EQ(snoise3(0.0f, 0.0f, 0.0f), 0.0f);
    EXPECT_EQ(snoise4(0.0f, 0.0f, 0.0f, 0.0f), 0.0f);
    for (int i = -300; i <= 300; ++i) ASSERT_EQ(snoise1(float(i)), 0.0f) << i;
}

TEST(Snoise, HalfCellValuesComeFromTheReferencePermutation) {
    // Cells 0 and 1: hashes perm[0] = 151 (gradient +8) and perm[1] = 160 (gradient +1).
    EXPECT_FLOAT_EQ(snoise1(0.5f), 0.25f * (K * 8.0f * 0.5f + K * 1.0f * -0.5f));
    // Negative input floors to cell -1: hashes perm[255] = 180 (gradient +5) and perm[0] = 151.
    EXPECT_FLOAT_EQ(snoise1(-0.5f), 0.25f * (K * 5.0f * 0.5f + K * 8.0f * -0.5f));
    // The table repeats every 256 cells.
    EXPECT_FLOAT_EQ(snoise1(256.5f), snoise1(0.5f));
    EXPECT_FLOAT_EQ(snoise1(-255.5f), snoise1(0.5f));
}

// The floor must be the true floor in every rounding mode the engine runs in.
TEST(Snoise, SameValuesInEveryRoundingMode) {
    util_fpuInit();
    const float xs[] = {-3.7f, -0.5f, -0.01f, 0.3f, 1.5f, 2.99f, 17.25f};
    float ref1[7], ref3[7];
    for (int i = 0; i < 7; ++i) {
        ref1[i] = snoise1(xs[i]);
        ref3[i] = snoise3(xs[i], -xs[i] * 0.5f, 0.75f);
    }
    void (*modes[])() = {util_fpuSetCeilMode, util_fpuSetFloorMode};
    for (auto mode : modes) {
        mode();
        for (int i = 0; i < 7; ++i) {
            EXPECT_NEAR(snoise1(xs[i]), ref1[i], 1e-5f) << xs[i];
            EXPECT_NEAR(snoise3(xs[i], -xs[i] * 0.5f, 0.75f), ref3[i], 1e-4f) << xs[i];
        }
    }
    util_fpuInit();
}

// Bounded and continuous in every dimension; not flat.
TEST(Snoise, BoundedContinuousAndVaried) {
    float lo = 1, hi = -1;
    float maxStep = 0;
    const float d = 1e-3f;
    for (int i = 0; i < 4000; ++i) {
        float x = -20.0f + float(i) * 0.01037f;
        float y = 3.3f - float(i) * 0.0071f;
        float z = float(i % 97) * 0.13f - 6.0f;
        float w = float(i % 31) * 0.29f - 4.0f;
        float v[4] = {snoise1(x), snoise2(x, y), snoise3(x, y, z), snoise4(x, y, z, w)};
        float n[4] = {snoise1(x + d), snoise2(x + d, y), snoise3(x + d, y, z), snoise4(x + d, y, z, w)};
        for (int k = 0; k < 4; ++k) {
            ASSERT_LE(std::fabs(v[k]), 1.05f) << "dimension " << k + 1 << " at " << x;
            lo = std::min(lo, v[k]);
            hi = std::max(hi, v[k]);
            maxStep = std::max(maxStep, std::fabs(n[k] - v[k]));
        }
    }
    EXPECT_LT(maxStep, 0.05f);
    EXPECT_LT(lo, -0.5f);
    EXPECT_GT(hi, 0.5f);
}

// A wrong simplex choice (ordering branch or traversal-table entry) picks wrong corners and shows
// up as a jump; walk small diagonal steps through many simplices of every shape.
TEST(Snoise, NoJumpsAcrossSimplexBoundaries) {
    unsigned seed = 12345;
    auto rnd = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return float((seed >> 8) & 0xFFFF) / 65536.0f * 2.0f - 1.0f;
    };
    const float step = 2e-3f;
    float worst2 = 0, worst3 = 0, worst4 = 0;
    for (int walk = 0; walk < 60; ++walk) {
        float p[4] = {rnd() * 8, rnd() * 8, rnd() * 8, rnd() * 8};
        float dir[4] = {rnd(), rnd(), rnd(), rnd()};
        float len = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2] + dir[3] * dir[3]);
        for (float& c : dir) c *= step / len;
        float v2 = snoise2(p[0], p[1]), v3 = snoise3(p[0], p[1], p[2]), v4 = snoise4(p[0], p[1], p[2], p[3]);
        for (int i = 0; i < 2000; ++i) {
            for (int k = 0; k < 4; ++k) p[k] += dir[k];
            float n2 = snoise2(p[0], p[1]), n3 = snoise3(p[0], p[1], p[2]), n4 = snoise4(p[0], p[1], p[2], p[3]);
            worst2 = std::max(worst2, std::fabs(n2 - v2));
            worst3 = std::max(worst3, std::fabs(n3 - v3));
            worst4 = std::max(worst4, std::fabs(n4 - v4));
            v2 = n2, v3 = n3, v4 = n4;
        }
    }
    EXPECT_LT(worst2, 0.05f);
    EXPECT_LT(worst3, 0.05f);
    EXPECT_LT(worst4, 0.05f);
}

TEST(Snoise, Deterministic) {
    EXPECT_EQ(snoise4(1.1f, 2.2f, -3.3f, 4.4f), snoise4(1.1f, 2.2f, -3.3f, 4.4f));
    EXPECT_NE(snoise4(1.1f, 2.2f, -3.3f, 4.4f), snoise4(1.1f, 2.2f, -3.3f, 4.5f));
    EXPECT_NE(snoise2(0.4f, 0.2f), snoise2(0.2f, 0.4f));
}

}  // namespace
