// 2D and 3D particle pools.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "mat.h"
#include "particle3d.h"
#include "particle.h"
#include "util.h"

namespace {

constexpr int W = 320, H = 200;

struct Frame {
    std::vector<uint8_t> block = std::vector<uint8_t>(W * 202, 0);
    uint8_t* p = block.data() + W;
    int lit() const
    {
        int n = 0;
        for (uint8_t v : block)
            n += v != 0;
        return n;
    }
};

// Records the particles a render callback sees, in order.
std::vector<const void*> s_seen;
void record2d(const Particle2d* p, uint8_t*)
{
    s_seen.push_back(p);
}
void record3d(const Particle3d* p, uint8_t*)
{
    s_seen.push_back(p);
}

class Particles : public ::testing::Test {
protected:
    void SetUp() override
    {
        util_fpuSetFullMode();
        s_seen.clear();
    }
};

}  // namespace

// ---- 2D -----------------------------------------------------------------------------------------

TEST_F(Particles, NewPoolIsDeadAndAddTakesTheFirstFreeSlot)
{
    ParticleSystem2d* s = particle2d_create(3);
    Frame f;
    particle2d_render(s, f.p);
    particle2d_renderNoCull(s, f.p);
    EXPECT_EQ(f.lit(), 0);
    Particle2d* p = particle2d_add(s, 4.0f, 5.0f);
    ASSERT_EQ(p, &s->particles[0]);
    EXPECT_EQ(p->x, 4.0f);
    EXPECT_EQ(p->y, 5.0f);
    p->data = 77;
    p->vx = 3.0f;
    EXPECT_EQ(particle2d_add(s, 0, 0), &s->particles[0]) << "life is still -1: the slot stays free";
    EXPECT_EQ(p->data, 0u);
    EXPECT_EQ(p->vx, 0.0f);
    for (int i = 0; i < 3; i++)
        particle2d_add(s, 0, 0)->life = 1.0f;
    EXPECT_EQ(particle2d_add(s, 0, 0), nullptr) << "full pool";
    particle2d_destroy(s);

    ParticleSystem2d* empty = particle2d_create(-4);
    EXPECT_EQ(empty->count, 0);
    EXPECT_EQ(particle2d_add(empty, 0, 0), nullptr);
    particle2d_destroy(empty);
}

TEST_F(Particles, UpdateMovesAgesAndRoundsToNearest)
{
    ParticleSystem2d* s = particle2d_create(4);
    Particle2d* p = particle2d_add(s, 10.4f, 20.6f);
    p->vx = 100.0f;
    p->life = 1.0f;
    particle2d_update(s, 0.1f);
    EXPECT_NEAR(p->x, 20.4f, 1e-5f);
    EXPECT_FLOAT_EQ(p->y, 20.6f);
    EXPECT_EQ(p->sx, 20);
    EXPECT_EQ(p->sy, 21);
    EXPECT_FLOAT_EQ(p->life, 0.9f);
    // Dead slots (-1) are not touched.
    EXPECT_EQ(s->particles[1].life, -1.0f);
    particle2d_destroy(s);
}

TEST_F(Particles, LifeOfExactlyZeroIsDrawnButCanBeReused)
{
    ParticleSystem2d* s = particle2d_create(2);
    s->render = record2d;
    Particle2d* p = particle2d_add(s, 5.0f, 5.0f);
    p->life = 0.5f;
    particle2d_update(s, 0.5f);
    ASSERT_EQ(p->life, 0.0f);
    Frame f;
    particle2d_render(s, f.p);
    ASSERT_EQ(s_seen.size(), 1u);
    EXPECT_EQ(particle2d_add(s, 1.0f, 1.0f), p);
    // Negative zero has the sign bit set: dead for update and render.
    p->life = -0.0f;
    p->x = 5.0f;
    particle2d_update(s, 0.25f);
    EXPECT_EQ(p->x, 5.0f);
    s_seen.clear();
    particle2d_render(s, f.p);
    particle2d_renderNoCull(s, f.p);
    EXPECT_TRUE(s_seen.empty());
    particle2d_destroy(s);
}

TEST_F(Particles, RenderCullsOnThePixelAndTheDefaultDotIsClipped)
{
    ParticleSystem2d* s = particle2d_create(8);
    const float pos[][2] = {{-1.0f, 10.0f}, {318.0f, 198.0f}, {320.0f, 10.0f}, {10.0f, 200.0f}, {319.0f, 0.0f}};
    for (auto& xy : pos)
        particle2d_add(s, xy[0], xy[1])->life = 1.0f;
    particle2d_update(s, 0.0f);
    Frame f;
    particle2d_render(s, f.p);
    // (318, 198): the top-left 2 x 2 of the dot (weights 0, 1 / 1, 2); (319, 0): its first column.
    EXPECT_EQ(f.p[198 * W + 318], 0);
    EXPECT_EQ(f.p[198 * W + 319], 1);
    EXPECT_EQ(f.p[199 * W + 318], 1);
    EXPECT_EQ(f.p[199 * W + 319], 2);
    EXPECT_EQ(f.p[1 * W + 319], 1);
    EXPECT_EQ(f.p[2 * W + 319], 1);
    EXPECT_EQ(f.lit(), 5) << "nothing wrapped into the next row or the spare rows";
    s->render = record2d;
    particle2d_render(s, f.p);
    EXPECT_EQ(s_seen.size(), 2u);
    s_seen.clear();
    particle2d_renderNoCull(s, f.p);
    EXPECT_EQ(s_seen.size(), 5u);
    // No cull with the default dot at hostile positions: still nothing outside the frame.
    s->render = defaultRenderFunc;
    for (int i = 0; i < 5; i++) {
        s->particles[i].sx = i % 2 ? INT32_MIN : INT32_MAX - i;
        s->particles[i].sy = i % 3 ? -3 : 197;
    }
    Frame g;
    particle2d_renderNoCull(s, g.p);
    for (int i = 0; i < W; i++)
        EXPECT_EQ(g.block[i] | g.block[201 * W + i], 0);
    particle2d_destroy(s);
}

TEST_F(Particles, FarPositionsNeverWrapOntoTheScreen)
{
    ParticleSystem2d* s = particle2d_create(3);
    const float far[] = {4294967296.0f + 5.0f, NAN, -1e30f};
    for (float x : far)
        particle2d_add(s, x, 50.0f)->life = 1.0f;
    particle2d_update(s, 0.01f);
    s->render = record2d;
    Frame f;
    particle2d_render(s, f.p);
    EXPECT_TRUE(s_seen.empty());
    particle2d_destroy(s);
}

TEST_F(Particles, AccelerationUpdateTouchesOnlyPositiveLifeAndFloors)
{
    ParticleSystem2d* s = particle2d_create(3);
    Particle2d* a = particle2d_add(s, 10.0f, 10.0f);
    a->life = 1.0f;
    a->ax = 10.0f;
    a->ay = -20.0f;
    Particle2d* b = particle2d_add(s, 3.0f, 3.0f);
    b->life = 0.0f;  // live for the plain update, not for this one
    b->vx = 5.0f;
    particle2d_updateWithAccleration(s, 0.5f);
    EXPECT_FLOAT_EQ(a->vx, 5.0f);
    EXPECT_FLOAT_EQ(a->vy, -10.0f);
    EXPECT_FLOAT_EQ(a->x, 12.5f);
    EXPECT_FLOAT_EQ(a->y, 5.0f);
    EXPECT_EQ(a->ax, 0.0f);
    EXPECT_EQ(a->ay, 0.0f);
    EXPECT_FLOAT_EQ(a->life, 0.5f);
    EXPECT_EQ(a->sx, 12) << "floor, not nearest";
    EXPECT_EQ(a->sy, 5);
    EXPECT_EQ(b->x, 3.0f);
    EXPECT_EQ(b->life, 0.0f);
    particle2d_destroy(s);
}

TEST_F(Particles, FieldUpdateWrapsThenLimitsTheSpeed)
{
    std::vector<float> field(ParticleFieldWidth * ParticleFieldHeight * 2, 0.0f);
    // Cell of (319, 50): row 3, column 19.
    field[2 * (3 * 20 + 19)] = 0.06f;
    field[2 * (3 * 20 + 19) + 1] = 0.08f;
    ParticleSystem2d* s = particle2d_create(2);
    Particle2d* p = particle2d_add(s, -0.6f, 50.0f);
    p->life = 1.0f;
    particle2d_updateWithField(s, field.data(), 0.02f);  // step 1.0
    EXPECT_EQ(p->sx, 319) << "x = -0.6 rounds below 0 and wraps to 319 before moving";
    EXPECT_FLOAT_EQ(p->ax, 0.06f);
    EXPECT_FLOAT_EQ(p->vx, 0.06f);
    EXPECT_FLOAT_EQ(p->x, 319.06f);
    EXPECT_FLOAT_EQ(p->life, 0.98f);

    // Velocity (3, 4) after the step: speed 5 is cut to 2 in the same direction.
    Particle2d q{};
    q.x = 100.0f;
    q.y = 100.0f;
    q.ax = 3.0f;
    q.ay = 4.0f;
    particle2d_updateParticle(&q, nullptr, 1.0f);
    EXPECT_NEAR(q.vx, 1.2f, 0.005f);
    EXPECT_NEAR(q.vy, 1.6f, 0.005f);
    EXPECT_FLOAT_EQ(q.x, 103.0f) << "the position moved with the full velocity first";
    // Off screen: stops after the rounding.
    Particle2d r{};
    r.x = 400.0f;
    r.vx = 1.0f;
    particle2d_updateParticle(&r, field.data(), 1.0f);
    EXPECT_EQ(r.x, 400.0f);
    EXPECT_EQ(r.sx, 400);

    // Wrap at the far edges and life running out.
    p->x = 320.2f;
    p->y = 199.6f;
    p->vx = p->vy = 0.0f;
    particle2d_updateWithField(s, nullptr, 0.5f);
    EXPECT_EQ(p->sx, 0);
    EXPECT_EQ(p->sy, 0);
    particle2d_updateWithField(s, nullptr, 0.5f);  // 0.48 - 0.5 < 0: skipped, not moved
    EXPECT_EQ(p->sx, 0);
    EXPECT_LT(p->life, 0.0f);
    particle2d_destroy(s);
}

// ---- 3D -----------------------------------------------------------------------------------------

TEST_F(Particles, Pool3dSpawnsTheFirstFreeSlot)
{
    Particle3dSystem* s = particle3d_create(4);
    EXPECT_EQ(s->numLive, 0);
    EXPECT_EQ(s->renderFunc, (Particle3dRenderFunc)defaultRenderFunc);
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 3; c++)
            EXPECT_EQ(s->matrix.m[r][c], r == c ? 1.0f : 0.0f);
    Particle3d* p = particle3d_spawn(s);
    ASSERT_EQ(p, &s->particles[0]);
    EXPECT_EQ(particle3d_spawn(s), p) << "still free until the caller gives it a life";
    p->life = 0.0f;
    EXPECT_EQ(particle3d_spawn(s), &s->particles[1]);
    for (int i = 1; i < 4; i++)
        particle3d_spawn(s)->life = 1.0f;
    EXPECT_EQ(particle3d_spawn(s), nullptr);
    particle3d_destroy(s);
    Particle3dSystem* empty = particle3d_create(-1);
    EXPECT_EQ(particle3d_spawn(empty), nullptr);
    particle3d_update(empty, 1.0f);
    particle3d_destroy(empty);
}

TEST_F(Particles, Update3dIntegratesOnceAndProjects)
{
    Particle3dSystem* s = particle3d_create(2);
    Particle3d* p = particle3d_spawn(s);
    p->life = 5.0f;
    p->pos = vec3{0, 0, 4, 0};
    p->acc = vec3{0, 10, 0, 0};
    particle3d_update(s, 0.5f);
    EXPECT_FLOAT_EQ(p->vel.y, 5.0f);
    EXPECT_FLOAT_EQ(p->pos.y, 2.5f);
    EXPECT_EQ(p->acc.y, 0.0f);
    EXPECT_FLOAT_EQ(p->depth, 4.0f);
    EXPECT_FLOAT_EQ(p->sx, 160.0f);
    EXPECT_FLOAT_EQ(p->sy, 100.0f - 2.5f * 64.0f);
    EXPECT_EQ(s->numLive, 1);

    p->pos = vec3{1, 1, 2, 0};
    p->vel = vec3{0, 0, 0, 0};
    particle3d_update(s, 0.0f);
    EXPECT_FLOAT_EQ(p->depth, 2.0f);
    EXPECT_FLOAT_EQ(p->sx, 288.0f);
    EXPECT_FLOAT_EQ(p->sy, -28.0f);
    s->renderFunc = record3d;
    particle3d_render(s, nullptr);
    EXPECT_TRUE(s_seen.empty()) << "sy < 0";

    // The system matrix's translation moves the camera-space point.
    s->matrix.m[3][0] = -1.0f;
    s->matrix.m[3][2] = 2.0f;
    particle3d_update(s, 0.0f);
    EXPECT_FLOAT_EQ(p->depth, 4.0f);
    EXPECT_FLOAT_EQ(p->sx, 160.0f);
    // Behind the camera: depth negative, the screen position keeps its last value.
    p->pos.z = -10.0f;
    particle3d_update(s, 0.0f);
    EXPECT_LT(p->depth, 0.0f);
    EXPECT_FLOAT_EQ(p->sx, 160.0f);
    particle3d_render(s, nullptr);
    EXPECT_TRUE(s_seen.empty());
    particle3d_destroy(s);
}

TEST_F(Particles, ParticleThatRunsOutIsCountedButNotDrawn)
{
    Particle3dSystem* s = particle3d_create(3);
    s->renderFunc = record3d;
    Particle3d* a = particle3d_spawn(s);
    a->life = 0.1f;
    a->pos = vec3{0, 0, 1, 0};
    Particle3d* b = &s->particles[2];
    b->life = 3.0f;
    b->pos = vec3{0, 0, 1, 0};
    particle3d_update(s, 0.5f);
    EXPECT_EQ(s->numLive, 2);
    particle3d_render(s, nullptr);
    ASSERT_EQ(s_seen.size(), 1u);
    EXPECT_EQ(s_seen[0], b);
    EXPECT_EQ(particle3d_spawn(s), a);
    particle3d_update(s, 0.5f);
    EXPECT_EQ(s->numLive, 1);
    particle3d_destroy(s);
}

TEST_F(Particles, DefaultDot3dNeverCrossesTheRightOrBottomEdge)
{
    Particle3dSystem* s = particle3d_create(1);
    Particle3d* p = particle3d_spawn(s);
    p->life = 1.0f;
    p->depth = 1.0f;
    Frame f;
    for (float sx : {317.0f, 316.0f, 315.6f})
        for (float sy : {50.0f, 196.0f, 195.6f}) {
            p->sx = sx;
            p->sy = sy;
            memset(f.block.data(), 0, f.block.size());
            particle3d_render(s, f.p);
            const bool fits = sx + 4.0f < 320.0f && sy + 4.0f < 200.0f;
            EXPECT_EQ(f.lit(), fits ? 12 : 0) << sx << "," << sy;
        }
    p->sx = 315.6f;  // rounds to 316: the dot covers columns 316..319
    p->sy = 10.0f;
    memset(f.block.data(), 0, f.block.size());
    particle3d_render(s, f.p);
    EXPECT_EQ(f.p[11 * W + 316], 1);
    EXPECT_EQ(f.p[11 * W + 319], 1);
    // Called directly with hostile positions: nothing at all.
    for (float v : {-1e9f, -5.0f, NAN, INFINITY, 1e9f}) {
        p->sx = v;
        p->sy = v;
        defaultRenderFunc(p, f.p);
    }
    particle3d_destroy(s);
}
