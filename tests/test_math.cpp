// Math library: inverse square root, vectors, matrices, tables, random generator.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>

#include "mat.h"
#include "math.h"
#include "random.h"
#include "util.h"

static vec3 v3(float x, float y, float z)
{
    return vec3{x, y, z, 0.0f};
}

// Row-vector point transform, as the renderer applies matrices.
static vec3 transformPoint(const mat& m, vec3 p)
{
    vec3 r = {};
    for (int j = 0; j < 3; j++)
        (&r.x)[j] = p.x * m.m[0][j] + p.y * m.m[1][j] + p.z * m.m[2][j] + m.m[3][j];
    return r;
}

static void expectNear3(vec3 a, vec3 b, float eps)
{
    EXPECT_NEAR(a.x, b.x, eps);
    EXPECT_NEAR(a.y, b.y, eps);
    EXPECT_NEAR(a.z, b.z, eps);
}

TEST(Math, RsqrtIsTheOneNewtonStepApproximation)
{
    for (float x : {1e-6f, 0.01f, 0.5f, 1.0f, 2.0f, 3.0f, 100.0f, 12345.0f, 1e8f}) {
        float exact = 1.0f / std::sqrt(x);
        EXPECT_NEAR(math_rsqrt(x), exact, exact * 0.002f) << x;
        EXPECT_NE(math_rsqrt(x), exact) << "no refinement beyond one step expected at " << x;
    }
    // First guess for 1.0 is 0x5F3759DF - 0x1FC00000 = 0x3F7759DF; one step from there.
    float y0;
    int32_t bits = 0x3F7759DF;
    memcpy(&y0, &bits, 4);
    EXPECT_EQ(math_rsqrt(1.0f), y0 * (1.5f - 0.5f * y0 * y0));
    EXPECT_NEAR(math_rsqrt(0.0f), 1.98e19f, 0.01e19f);
}

TEST(Math, VectorLengthCrossNormalise)
{
    vec2 v = {3.0f, 4.0f};
    EXPECT_NEAR(vec2_length(&v), 5.0f, 5.0f * 0.002f);

    vec3 a = v3(1, 0, 0), b = v3(0, 1, 0), c;
    c.w = 42.0f;
    vec3_cross(&a, &b, &c);
    expectNear3(c, v3(0, 0, 1), 0.0f);
    EXPECT_EQ(c.w, 42.0f) << "the fourth float is never written";
    vec3 p = v3(2, 3, 4), q = v3(5, 6, 7);
    vec3_cross(&p, &q, &c);
    expectNear3(c, v3(3 * 7 - 4 * 6, 4 * 5 - 2 * 7, 2 * 6 - 3 * 5), 0.0f);

    vec3 z = v3(0, 0, 0);
    vec3_normalise(&z);
    EXPECT_EQ(z.x, 0.0f);
    EXPECT_EQ(z.y, 0.0f);
    EXPECT_EQ(z.z, 0.0f);

    vec3 n = v3(3, 4, 0);
    n.w = -1.0f;
    vec3_normalise(&n);
    EXPECT_NEAR(n.x, 0.6f, 0.6f * 0.002f);
    EXPECT_NEAR(n.y, 0.8f, 0.8f * 0.002f);
    EXPECT_EQ(n.z, 0.0f);
    EXPECT_EQ(n.w, -1.0f);
}

TEST(Math, SetIdentityAndSetLeaveColumnThreeAlone)
{
    mat m;
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 4; c++)
            m.m[r][c] = 9.0f;
    mat_setIdentity(&m);
    for (int r = 0; r < 4; r++) {
        for (int c = 0; c < 3; c++)
            EXPECT_EQ(m.m[r][c], r == c ? 1.0f : 0.0f);
        EXPECT_EQ(m.m[r][3], 9.0f);
    }
    mat_set(&m, v3(10, 20, 30), v3(1, 2, 3));
    for (int r = 0; r < 4; r++)
        EXPECT_EQ(m.m[r][3], 9.0f);
}

TEST(Math, SetWithoutRotationIsIdentityPlusTranslation)
{
    mat m;
    mat_set(&m, v3(0, 0, 0), v3(5, -6, 7));
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            EXPECT_EQ(m.m[r][c], r == c ? 1.0f : 0.0f);
    EXPECT_EQ(m.m[3][0], 5.0f);
    EXPECT_EQ(m.m[3][1], -6.0f);
    EXPECT_EQ(m.m[3][2], 7.0f);
}

TEST(Math, SetQuarterTurnAboutY)
{
    mat m;
    mat_set(&m, v3(0, 90, 0), v3(0, 0, 0));
    expectNear3(v3(m.m[0][0], m.m[0][1], m.m[0][2]), v3(0, 0, -1), 1e-6f);
    expectNear3(v3(m.m[2][0], m.m[2][1], m.m[2][2]), v3(1, 0, 0), 1e-6f);
    expectNear3(v3(m.m[1][0], m.m[1][1], m.m[1][2]), v3(0, 1, 0), 1e-6f);
}

TEST(Math, SetTurnsAboutXThenYThenZ)
{
    mat rx, ry, rz, m;
    mat_setRotateX(&rx, 30.0f);
    mat_setRotateY(&ry, -50.0f);
    mat_setRotateZ(&rz, 75.0f);
    mat_setComponents(&m, 30.0f, -50.0f, 75.0f, 1.0f, 2.0f, 3.0f);
    vec3 p = v3(0.3f, -1.2f, 2.5f);
    vec3 step = transformPoint(rz, transformPoint(ry, transformPoint(rx, p)));
    step.x += 1.0f;
    step.y += 2.0f;
    step.z += 3.0f;
    expectNear3(transformPoint(m, p), step, 1e-5f);
}

TEST(Math, SingleAxisRotations)
{
    mat m;
    mat_setRotateZ(&m, 90.0f);
    // Row vectors: the x axis maps to row 0 = (cos, -sin, 0).
    expectNear3(transformPoint(m, v3(1, 0, 0)), v3(0, -1, 0), 1e-6f);
    mat_setRotateX(&m, 90.0f);
    expectNear3(transformPoint(m, v3(0, 1, 0)), v3(0, 0, -1), 1e-6f);
    mat_setRotateY(&m, 90.0f);
    expectNear3(transformPoint(m, v3(0, 0, 1)), v3(1, 0, 0), 1e-6f);
}

TEST(Math, MultiplyAppliesBThenA)
{
    mat a, b, out;
    mat_setComponents(&a, 10, 20, 30, 1, 2, 3);
    mat_setComponents(&b, -40, 15, 5, -4, 5, 6);
    mat_multiply(&out, &a, &b);
    vec3 p = v3(1.5f, -2.0f, 0.25f);
    expectNear3(transformPoint(out, p), transformPoint(a, transformPoint(b, p)), 1e-5f);

    // A pure translation t on the left adds t to b's translation row.
    mat t;
    mat_setComponents(&t, 0, 0, 0, 7, 8, 9);
    mat_multiply(&out, &t, &b);
    EXPECT_FLOAT_EQ(out.m[3][0], b.m[3][0] + 7);
    EXPECT_FLOAT_EQ(out.m[3][1], b.m[3][1] + 8);
    EXPECT_FLOAT_EQ(out.m[3][2], b.m[3][2] + 9);

    // The result may overwrite an operand.
    mat expected;
    mat_multiply(&expected, &a, &b);
    mat_multiply(&a, &a, &b);
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 3; c++)
            EXPECT_EQ(a.m[r][c], expected.m[r][c]);
}

TEST(Math, TransformDirectionIgnoresTranslation)
{
    mat m;
    mat_setComponents(&m, 0, 0, 90, 100, 200, 300);
    vec3 out;
    vec3 d = v3(1, 0, 0);
    mat_transformDirection(&m, &d, &out);
    expectNear3(out, v3(0, -1, 0), 1e-6f);
}

TEST(Math, LookAtViewFromBehindTheOrigin)
{
    mat m;
    mat_lookAtView(&m, v3(0, 0, -10), v3(0, 0, 0));
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(m.m[r][c], r == c ? 1.0f : 0.0f, 0.003f);
    EXPECT_NEAR(m.m[3][0], 0.0f, 1e-4f);
    EXPECT_NEAR(m.m[3][1], 0.0f, 1e-4f);
    EXPECT_NEAR(m.m[3][2], 10.0f, 0.02f);
}

TEST(Math, LookAtViewUndoesLookAt)
{
    vec3 eye = v3(3, 4, -5), target = v3(-1, 0.5f, 2);
    mat world, view, both;
    mat_lookAt(&world, eye, target);
    mat_lookAtView(&view, eye, target);
    mat_multiply(&both, &view, &world);  // object -> world -> camera
    vec3 p = v3(0.5f, -0.25f, 2.0f);
    expectNear3(transformPoint(both, p), p, 0.02f);
    // The target lies straight ahead on +z in camera space.
    vec3 t = transformPoint(view, target);
    EXPECT_NEAR(t.x, 0.0f, 0.01f);
    EXPECT_NEAR(t.y, 0.0f, 0.01f);
    EXPECT_GT(t.z, 0.0f);
}

TEST(Math, RandomFromSeedZero)
{
    g_seed = 0;
    EXPECT_EQ(random_next(), 38);
    EXPECT_EQ(g_seed, 2531011u);
    EXPECT_EQ(random_next(), 7719);
    g_seed = 0;
    EXPECT_FLOAT_EQ(random_float(), 38 * 3.0518509e-05f);
    // Both ends of [0, 1] are reachable: 32767 maps to 1 exactly.
    EXPECT_EQ((float)32767 * 3.0518509e-05f, 1.0f);
    for (int i = 0; i < 1000; i++) {
        float f = random_float();
        EXPECT_GE(f, 0.0f);
        EXPECT_LE(f, 1.0f);
    }
    g_seed = 0;
}

TEST(Math, TablesAndTheRoundingModeTheyLeave)
{
    math_init();
    EXPECT_EQ(fegetround(), FE_TOWARDZERO) << "loading continues with truncation";
    util_fpuSetFullMode();
    ASSERT_NE(g_sincosf, nullptr);
    ASSERT_NE(g_sincos, nullptr);
    EXPECT_EQ(g_sincosf[0], 0.0f);
    EXPECT_EQ(g_sincosf[1], 1.0f);
    EXPECT_EQ(g_sincos[0], 0);
    EXPECT_EQ(g_sincos[1], 65536);
    // A quarter turn.
    EXPECT_NEAR(g_sincosf[2 * 2048], 1.0f, 1e-7f);
    EXPECT_NEAR(g_sincosf[2 * 2048 + 1], 0.0f, 1e-6f);
    EXPECT_EQ(g_sincos[2 * 2048], 65535) << "floored just below one";
    EXPECT_EQ(g_sincos[2 * 4096 + 1], -65536);
    for (int i = 0; i < SinCosSteps; i += 37) {
        // The angle is formed under truncation, like the table.
        fesetround(FE_TOWARDZERO);
        volatile float fi = (float)i;
        double a = (double)(fi * 6.2831855f * (1.0f / 8192.0f));
        fesetround(FE_TONEAREST);
        EXPECT_NEAR(g_sincosf[2 * i], std::sin(a), 2e-7) << i;
        EXPECT_NEAR(g_sincosf[2 * i + 1], std::cos(a), 2e-7) << i;
        EXPECT_EQ(g_sincos[2 * i], (int32_t)std::floor(std::sin(a) * 65536.0)) << i;
    }
    // The last entry is one step short of a full turn; callers wrap by masking.
    EXPECT_LT(g_sincosf[2 * 8191], 0.0f);
    EXPECT_EQ(8192 & SinCosMask, 0);
    math_deinit();
    EXPECT_EQ(g_sincosf, nullptr);
}
