// Rings scene: the nesting of the ring matrices, the first frame and the angles' wrap, the fade
// order, refusal of assets the scene would read past; and its generated assets: clearance between
// the rings for every combination of angles, sound meshes, and a camera path that keeps the rings
// framed.
// cmake-needs: datafile
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "anim.h"
#include "effect.h"
#include "file.h"
#include "glint_interface.h"
#include "log.h"
#include "mat.h"
#include "math.h"
#include "mem.h"
#include "model.h"
#include "modplay.h"
#include "r3d.h"
#include "render3d_datafile.h"
#include "scene_env.h"
#include "rings.h"
#include "ringsart.h"
#include "util.h"
#include "video.h"

using art::V3;

using namespace scene_test;

namespace {

vec3 vec(float x, float y, float z) { return vec3{x, y, z, 0.0f}; }

vec3 apply(const mat& m, vec3 p)
{
    vec3 r;
    for (int j = 0; j < 3; j++)
        (&r.x)[j] = p.x * m.m[0][j] + p.y * m.m[1][j] + p.z * m.m[2][j] + m.m[3][j];
    r.w = 0;
    return r;
}

vec3 rotated(vec3 rotation, vec3 p)
{
    mat m;
    mat_set(&m, rotation, vec(0, 0, 0));
    return apply(m, p);
}

void expectNear(vec3 a, vec3 b, const char* what)
{
    EXPECT_NEAR(a.x, b.x, 1e-4f) << what;
    EXPECT_NEAR(a.y, b.y, 1e-4f) << what;
    EXPECT_NEAR(a.z, b.z, 1e-4f) << what;
}

float length(vec3 p) { return std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z); }

struct Composed {
    mat inner, middle, outer;
};
Composed compose(float innerX, float middleY, float outerX, const mat* view = nullptr)
{
    mat identity;
    mat_setIdentity(&identity);
    const vec3 rot[3] = {vec(innerX, 0, 0), vec(0, middleY, 0), vec(outerX, 0, 0)};
    const vec3 pos[3] = {};
    Composed c;
    rings_composeMatrices(view ? view : &identity, rot, pos, &c.inner, &c.middle, &c.outer);
    return c;
}

}  // namespace

TEST(RingsMatrices, InnerRingCarriesTheMiddleAndOuterRotationsOuterOnlyItsOwn)
{
    const vec3 p = vec(10.0f, 3.0f, -1.0f);  // a point of the inner ring (its plane is xy)
    // The inner ring's own turn moves only the inner ring.
    Composed c = compose(30, 0, 0);
    expectNear(apply(c.inner, p), rotated(vec(30, 0, 0), p), "inner alone");
    expectNear(apply(c.middle, p), p, "middle untouched by the inner turn");
    expectNear(apply(c.outer, p), p, "outer untouched by the inner turn");
    // The middle ring's turn carries the inner ring along, not the outer one.
    c = compose(0, 40, 0);
    expectNear(apply(c.inner, p), rotated(vec(0, 40, 0), p), "inner with the middle");
    expectNear(apply(c.middle, p), rotated(vec(0, 40, 0), p), "middle");
    expectNear(apply(c.outer, p), p, "outer untouched by the middle turn");
    // The outer ring's turn carries everything.
    c = compose(0, 0, 50);
    for (const mat* m : {&c.inner, &c.middle, &c.outer})
        expectNear(apply(*m, p), rotated(vec(50, 0, 0), p), "all with the outer");
    // Together: the inner ring's own turn first, then the middle's, then the outer's.
    c = compose(30, 40, 50);
    const vec3 nested = rotated(vec(50, 0, 0), rotated(vec(0, 40, 0), rotated(vec(30, 0, 0), p)));
    expectNear(apply(c.inner, p), nested, "nested inner");
    expectNear(apply(c.middle, p), rotated(vec(50, 0, 0), rotated(vec(0, 40, 0), p)), "nested middle");
    const vec3 reversed = rotated(vec(30, 0, 0), rotated(vec(0, 40, 0), rotated(vec(50, 0, 0), p)));
    EXPECT_GT(length(vec(nested.x - reversed.x, nested.y - reversed.y, nested.z - reversed.z)), 1.0f);
    // The view comes last, for every ring.
    mat view;
    mat_lookAtView(&view, vec(20, 30, -70), vec(0, 0, 0));
    Composed v = compose(30, 40, 50, &view);
    expectNear(apply(v.inner, p), apply(view, nested), "view after the nesting");
    // The centre lies straight ahead (the view's axes are normalised by the fast inverse square
    // root, good to about 0.2 %).
    const vec3 centre = apply(v.outer, vec(0, 0, 0));
    EXPECT_NEAR(centre.x, 0.0f, 1e-3f);
    EXPECT_NEAR(centre.y, 0.0f, 1e-3f);
    EXPECT_NEAR(centre.z, length(vec(20, 30, -70)), 0.2f);
}

TEST(RingsScene, FirstFrameFadesAngleWrapAndCamera)
{
    Effect& e = Rings_effect;
    ASSERT_STREQ(e.name, "Rings");
    EXPECT_EQ(e.startOrder, 17);
    EXPECT_EQ(e.startRow, 0);
    ASSERT_EQ(e.init(), 1);
    e.start();
    RingsState s;
    // The first frame starts on the fade-out row, so both fades run in it: the fade-out is
    // applied second and wins.
    modplay_setCurrentPosition(18, 60);
    e.update(Dt);
    rings_getState(&s);
    // Matrices built from angle 0: each ring matrix is the bare view.
    mat view;
    mat_lookAtView(&view, s.position, vec(0, 0, 0));
    for (const mat* m : {&s.inner, &s.middle, &s.outer})
        for (int i = 0; i < 4; i++)
            for (int j = 0; j < 3; j++)
                ASSERT_FLOAT_EQ(m->m[i][j], view.m[i][j]);
    EXPECT_FLOAT_EQ(s.angles[0], 80.0f * Dt);
    EXPECT_FLOAT_EQ(s.angles[1], 82.0f * Dt);
    EXPECT_FLOAT_EQ(s.angles[2], 84.0f * Dt);
    EXPECT_EQ(s.rotation[0].x, s.angles[0]);
    EXPECT_EQ(s.rotation[1].y, s.angles[1]);
    EXPECT_EQ(s.rotation[2].x, s.angles[2]);
    EXPECT_EQ(s.rotation[0].y + s.rotation[0].z + s.rotation[1].x + s.rotation[1].z + s.rotation[2].y + s.rotation[2].z, 0.0f);
    // The camera sits on the track's first keys: on the path, well outside the rings.
    EXPECT_GT(length(s.position), ringsart::CameraMinDistance - 1.0f);
    EXPECT_LT(length(s.position), ringsart::CameraMaxDistance + 1.0f);
    e.render();
    EXPECT_EQ(r3d_fov, 250.0f);
    e.postRetraceUpdate(Dt);
    rings_getState(&s);
    EXPECT_EQ(s.fade_timer, 4.0f * Dt);
    EXPECT_EQ(s.fade_out_timer, 4.0f * Dt);
    uint32_t live[256], want[256];
    std::memcpy(live, video_getLivePalette(), sizeof(live));
    video_fadePaletteToBlack(s.palette, 0, 256, 4.0f * Dt);
    std::memcpy(want, video_getLivePalette(), sizeof(want));
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(live[i], want[i]) << "the fade-out must be applied last, entry " << i;

    // Later frames build their matrices from the angles of the frame before.
    const RingsState before = s;
    modplay_setCurrentPosition(18, 61);
    e.update(Dt);
    rings_getState(&s);
    mat_lookAtView(&view, s.position, vec(0, 0, 0));
    const Composed now = compose(before.angles[0], before.angles[1], before.angles[2], &view);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++) {
            ASSERT_FLOAT_EQ(s.inner.m[i][j], now.inner.m[i][j]);
            ASSERT_FLOAT_EQ(s.middle.m[i][j], now.middle.m[i][j]);
            ASSERT_FLOAT_EQ(s.outer.m[i][j], now.outer.m[i][j]);
        }

    // Each angle wraps by one turn into [0, 360).
    e.update(4.0f);
    rings_getState(&s);
    const float a0 = 2 * 80.0f * Dt + 320.0f, a1 = 2 * 82.0f * Dt + 328.0f, a2 = 2 * 84.0f * Dt + 336.0f;
    EXPECT_FLOAT_EQ(s.angles[0], a0);
    e.update(1.0f);
    rings_getState(&s);
    EXPECT_NEAR(s.angles[0], a0 + 80.0f - 360.0f, 1e-3f);
    EXPECT_NEAR(s.angles[1], a1 + 82.0f - 360.0f, 1e-3f);
    EXPECT_NEAR(s.angles[2], a2 + 84.0f - 360.0f, 1e-3f);
    for (float a : s.angles) {
        EXPECT_GE(a, 0.0f);
        EXPECT_LT(a, 360.0f);
    }
    // Timers stop at exactly 1.
    e.postRetraceUpdate(10.0f);
    rings_getState(&s);
    EXPECT_EQ(s.fade_timer, 1.0f);
    EXPECT_EQ(s.fade_out_timer, 1.0f);
    e.deinit();
}

TEST(RingsSceneDeathTest, AssetsTheSceneWouldReadPastFailInit)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The real assets, with the camera file swapped for one without tracks or without keys.
    auto entry = [](const char* name) {
        int size = 0;
        uint8_t* p = (uint8_t*)file_readAll(name, &size);
        render3d_test::Bytes b(p, p + size);
        mem_free(p);
        return b;
    };
    std::vector<std::pair<std::string, render3d_test::Bytes>> files;
    for (const char* n : {"srcdata/ringin.qx3", "srcdata/ringmid.qx3", "srcdata/ringout.qx3", "srcdata/lsenv.qxp"})
        files.push_back({n, entry(n)});
    const std::vector<std::vector<qxa::Track>> badFiles = {{}, {qxa::Track{"Camera", {}}}};
    for (const auto& bad : badFiles) {
        auto withBad = files;
        withBad.push_back({"srcdata/ringsani.qxa", qxa::build(bad)});
        EXPECT_EXIT(
            {
                dup2(2, 1);
                file_unmountData();
                if (!render3d_test::mount(withBad))
                    std::exit(5);
                std::exit(Rings_effect.init() == 0 ? 3 : 4);
            },
            ::testing::ExitedWithCode(3), "rings: srcdata/ringsani.qxa has no camera track with keys");
    }
}

// ---------------------------------------------------------------- assets

namespace {

float pointTriangleDistance(V3 p, V3 a, V3 b, V3 c)
{
    // Closest point on a triangle (Ericson's region tests).
    V3 ab = b - a, ac = c - a, ap = p - a;
    float d1 = art::dot(ab, ap), d2 = art::dot(ac, ap);
    if (d1 <= 0 && d2 <= 0) return art::length(p - a);
    V3 bp = p - b;
    float d3 = art::dot(ab, bp), d4 = art::dot(ac, bp);
    if (d3 >= 0 && d4 <= d3) return art::length(p - b);
    float vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0) return art::length(p - (a + ab * (d1 / (d1 - d3))));
    V3 cp = p - c;
    float d5 = art::dot(ab, cp), d6 = art::dot(ac, cp);
    if (d6 >= 0 && d5 <= d6) return art::length(p - c);
    float vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0) return art::length(p - (a + ac * (d2 / (d2 - d6))));
    float va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
        return art::length(p - (b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6)))));
    float denom = 1.0f / (va + vb + vc);
    return art::length(p - (a + ab * (vb * denom) + ac * (vc * denom)));
}

// The nearest any triangle of the mesh comes to the centre.
float nearestSurface(const art::Mesh& m)
{
    float best = 1e30f;
    for (int t = 0; t < m.numTris; t++)
        best = std::min(best, pointTriangleDistance(art::v3(0, 0, 0), m.verts[3 * t].p, m.verts[3 * t + 1].p,
                                                    m.verts[3 * t + 2].p));
    return best;
}

}  // namespace

TEST(RingsAssets, RingsNeverTouchWhateverTheAngles)
{
    art::Mesh mesh[3] = {ringsart::ringMesh(0), ringsart::ringMesh(1), ringsart::ringMesh(2)};
    // Rotations keep distances to the centre, so the nearest surface of each ring is fixed; the
    // sweep checks that the composed matrices are such rotations, and that each ring's farthest
    // point (its pins included) stays inside the next ring's nearest surface with room to spare.
    const float nearest[3] = {nearestSurface(mesh[0]), nearestSurface(mesh[1]), nearestSurface(mesh[2])};
    const float Gap = 0.1f;
    int combos = 0;
    for (int a = 0; a < 360; a += 30)
        for (int b = 7; b < 360; b += 30)
            for (int c = 13; c < 360; c += 45) {
                const Composed m = compose((float)a, (float)b, (float)c);
                const mat* ms[3] = {&m.inner, &m.middle, &m.outer};
                for (int r = 0; r < 2; r++) {
                    float far = 0;
                    for (const art::MVert& v : mesh[r].verts)
                        far = std::max(far, length(apply(*ms[r], vec(v.p.x, v.p.y, v.p.z))));
                    ASSERT_LT(far + Gap, nearest[r + 1]) << "ring " << r << " at " << a << ", " << b << ", " << c;
                }
                combos++;
            }
    EXPECT_EQ(combos, 12 * 12 * 8);
    // The rings are nested with clearance that reads as a gap but stays a close fit.
    for (int r = 0; r < 2; r++) {
        const ringsart::RingShape& in = ringsart::ringShape(r);
        const ringsart::RingShape& out = ringsart::ringShape(r + 1);
        EXPECT_GT(out.innerRadius - in.outerRadius, 0.5f);
        EXPECT_LT(out.innerRadius - in.outerRadius, 2.0f);
    }
}

TEST(RingsAssets, MeshesAreSoundAndMatchTheFiles)
{
    static const char* const files[3] = {"srcdata/ringin.qx3", "srcdata/ringmid.qx3", "srcdata/ringout.qx3"};
    for (int r = 0; r < 3; r++) {
        SCOPED_TRACE(files[r]);
        const art::Mesh m = ringsart::ringMesh(r);
        const ringsart::RingShape& shape = ringsart::ringShape(r);
        ASSERT_GT(m.numTris, 1000);
        ASSERT_LT(m.verts.size(), 65536u);
        ASSERT_EQ(m.wire.size() % 4, 0u);
        ASSERT_GE(m.wire.size(), 4u * 8 * shape.segments);
        for (int32_t i : m.wire)
            ASSERT_TRUE(i >= 0 && i < (int32_t)m.verts.size());
        double volume = 0;
        for (int t = 0; t < m.numTris; t++) {
            const art::MVert &a = m.verts[3 * t], &b = m.verts[3 * t + 1], &c = m.verts[3 * t + 2];
            const V3 fn = art::cross(b.p - a.p, c.p - a.p);
            // Wound toward the outward normals, which are unit length.
            ASSERT_GT(art::dot(fn, a.n + b.n + c.n), 0.0f) << t;
            for (const art::MVert* v : {&a, &b, &c})
                ASSERT_NEAR(art::length(v->n), 1.0f, 1e-3f);
            // Texture coordinates never jump across a triangle (that would smear the texture).
            ASSERT_LT(std::max({a.u, b.u, c.u}) - std::min({a.u, b.u, c.u}), 0.25f) << t;
            ASSERT_LT(std::max({a.v, b.v, c.v}) - std::min({a.v, b.v, c.v}), 0.4f) << t;
            volume += art::dot(a.p, art::cross(b.p, c.p)) / 6.0;
        }
        EXPECT_GT(volume, 0.0);
        // Around the ring u runs 0 to a whole number of repeats, so the join has no seam.
        float maxU = 0;
        for (const art::MVert& v : m.verts)
            maxU = std::max(maxU, v.u);
        EXPECT_EQ(maxU, (float)shape.uRepeat);
        // The datafile holds exactly this mesh.
        Model loaded;
        char error[256];
        ASSERT_EQ(model_tryLoad(files[r], &loaded, error, sizeof(error)), 1) << error;
        EXPECT_EQ(loaded.numVerts, m.verts.size());
        EXPECT_EQ(loaded.numTris, (uint16_t)m.numTris);
        EXPECT_EQ(loaded.numWireIndices, m.wire.size());
        EXPECT_EQ(loaded.verts[5].pos.y, m.verts[5].p.y);
        model_destroy(&loaded);
    }
}

TEST(RingsAssets, CameraPathKeepsTheRingsFramedForTheWholeScene)
{
    char error[256];
    AnimSet* set = anim_tryLoad("srcdata/ringsani.qxa", error, sizeof(error));
    ASSERT_NE(set, nullptr) << error;
    ASSERT_GE(set->numAnims, 1u);
    Anim* a = set->anims[0];
    ASSERT_GE(a->numKeys, 2u);
    EXPECT_EQ(a->keys[0].time, 0.0f);
    // Two orders of 64 rows at 125 BPM, speed 6: 15.36 s.
    EXPECT_GE(a->keys[a->numKeys - 1].time, 15.36f);
    // The whole assembly, pins included, lies within this radius of the centre.
    float reach = 0;
    for (int r = 0; r < 3; r++)
        for (const art::MVert& v : ringsart::ringMesh(r).verts)
            reach = std::max(reach, art::length(v.p));
    const float outerRadius = ringsart::ringShape(2).outerRadius;
    anim_start(a);
    float nearest = 1e9f, farthest = 0, turned = 0, lastAngle = 0;
    for (int f = 0; f <= 60 * 16; f++) {
        vec3 p;
        anim_getCurrentPosition(a, &p);
        const float d = length(p);
        nearest = std::min(nearest, d);
        farthest = std::max(farthest, d);
        // Seen through a field of view of 250: the whole assembly on screen (its bounding sphere's
        // half height under 100 pixels) and the rings at least a third of the screen tall.
        ASSERT_LT(250.0f * reach / std::sqrt(d * d - reach * reach), 100.0f) << f;
        ASSERT_GT(2.0f * 250.0f * outerRadius / d, 200.0f / 3.0f) << f;
        // Never overhead: the look-at's fixed up vector stays well defined.
        ASSERT_LT(std::fabs(p.y) / d, 0.8f) << f;
        const float angle = std::atan2(p.x, -p.z);
        if (f > 0) {
            float step = angle - lastAngle;
            step -= 6.2831853f * std::round(step / 6.2831853f);
            turned += step;
        }
        lastAngle = angle;
        anim_tick(a, Dt);
    }
    EXPECT_GT(nearest, 2.5f * outerRadius);
    EXPECT_GT(farthest - nearest, 20.0f);   // it swoops in and out
    EXPECT_GT(std::fabs(turned), 6.0f);     // and circles about once
    anim_destroy(set);
}
