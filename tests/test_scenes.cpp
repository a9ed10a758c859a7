// Scene logic of Wire and the five object scenes, driven frame by frame against seeked music
// positions: triggers at their rows (and only once), timers that stop at exactly 1.0, the Spike
// morph, the field-of-view alternation that follows the wireframe pass, FinalTorus's overlay
// toggling and Tendril's frozen x angle.
//
// A scene runs once per process (its triggers never re-arm), so each scene has exactly one test
// that walks it through its whole timeline.
// cmake-needs: datafile
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "effect.h"
#include "file.h"
#include "glint_interface.h"
#include "knot.h"
#include "log.h"
#include "mat.h"
#include "math.h"
#include "mem.h"
#include "model.h"
#include "modplay.h"
#include "objscene.h"
#include "r3d.h"
#include "scene_env.h"
#include "skull.h"
#include "spike.h"
#include "tendril.h"
#include "tor.h"
#include "util.h"
#include "video.h"
#include "wire.h"

using namespace scene_test;

namespace {

void copyLive(uint32_t out[256])
{
    std::memcpy(out, video_getLivePalette(), 256 * sizeof(uint32_t));
}

// The live palette the given fade would leave, computed by the video module itself.
template <typename Fade>
void expectLiveEquals(Fade fade, const char* what)
{
    uint32_t got[256], want[256];
    copyLive(got);
    fade();
    copyLive(want);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(got[i], want[i]) << what << ", entry " << i;
}

// What the last render drew over the background: pixels of the wireframe colour, of the clear
// (mask) colour, and of anything else.
struct Drawn {
    int bright = 0, clear = 0, other = 0;
};
Drawn drawnOver(const WireState& s)
{
    Drawn d;
    const uint8_t* f = video_getBuffer(0);
    for (int i = 0; i < 64000; i++) {
        if (s.background && f[i] == s.background[i])
            continue;
        if (f[i] == s.brightCol)
            d.bright++;
        else if (f[i] == (s.clearColour & 0xFF))
            d.clear++;
        else
            d.other++;
    }
    return d;
}

float wrapOnce(float a)
{
    return a >= 360.0f ? a - 360.0f : (a < 0.0f ? a + 360.0f : a);
}

// The model's first vertex projected by the scene's own pose with the given field of view must be
// what the last update stored.
void expectFirstVertexProjectedWithFov(const ObjectSceneState& s, const Model* m, float fov)
{
    mat mx;
    vec3 rot = {s.rotation[0], s.rotation[1], s.rotation[2], 0}, pos = {s.position[0], s.position[1], s.position[2], 0};
    mat_set(&mx, rot, pos);
    const vec3& p = m->verts[0].pos;
    const float x = p.x * mx.m[0][0] + p.y * mx.m[1][0] + p.z * mx.m[2][0] + mx.m[3][0];
    const float z = p.x * mx.m[0][2] + p.y * mx.m[1][2] + p.z * mx.m[2][2] + mx.m[3][2];
    EXPECT_NEAR(m->proj[0].x, 160.0f + x * fov / z, 0.01f);
}

ObjectSceneState spike()
{
    ObjectSceneState s;
    spike_getState(&s);
    return s;
}

}  // namespace

TEST(Scenes, RecordsCarryTheirNamesAndStarts)
{
    struct {
        const Effect* e;
        const char* name;
        int order;
    } want[] = {{&Wire_effect, "Wire", 5},          {&Spike_effect, "Spike", 11},
                {&Knot_effect, "Knot", 13},         {&Skull_effect, "Skull", 15},
                {&Tendril_effect, "Tendril", 21},   {&FinalTorus_effect, "FinalTorus", 23}};
    for (const auto& w : want) {
        EXPECT_STREQ(w.e->name, w.name);
        EXPECT_EQ(w.e->startOrder, w.order) << w.name;
        EXPECT_EQ(w.e->startRow, 0) << w.name;
        EXPECT_TRUE(w.e->init && w.e->deinit && w.e->update && w.e->postRetraceUpdate && w.e->render &&
                    w.e->start)
            << w.name;
    }
}

TEST(Scenes, EaseInOutQuad)
{
    EXPECT_EQ(ease_inOutQuad(0.0f), 0.0f);
    EXPECT_EQ(ease_inOutQuad(0.25f), 0.125f);
    EXPECT_EQ(ease_inOutQuad(0.5f), 0.5f);
    EXPECT_EQ(ease_inOutQuad(0.75f), 0.875f);
    EXPECT_EQ(ease_inOutQuad(1.0f), 1.0f);
    for (float t = 0.0f; t < 1.0f; t += 1.0f / 64)
        EXPECT_LE(ease_inOutQuad(t), ease_inOutQuad(t + 1.0f / 64)) << t;
}

// The object scenes' palette chain runs fade-out, fade-in, flash, each rewriting all 256 entries,
// so within a frame the later one wins; each timer steps at its own rate (fade-out at the scene's
// rate, fade-in 4 per second, flash 1 per second) and stops at exactly 1.
TEST(Scenes, ObjectSceneFadeChain)
{
    uint8_t pal[768];
    for (int i = 0; i < 768; i++)
        pal[i] = uint8_t((i * 7) % 64);
    const float dt = 0.05f;
    struct Case {
        float fadeout, fade, flash;
        const char* what;
    } cases[] = {
        {0.0f, 0.0f, 0.0f, "all three: the flash wins"},
        {0.0f, 0.5f, 1.0f, "fade-out and fade-in: the fade-in wins"},
        {0.2f, 1.0f, 0.6f, "fade-out and flash: the flash wins"},
        {0.3f, 1.0f, 1.0f, "fade-out alone"},
    };
    for (const Case& c : cases) {
        float fadeout = c.fadeout, fade = c.fade, flash = c.flash;
        video_setPaletteBlack();
        objscene_fadePalette(pal, dt, &fadeout, 4.0f, &fade, &flash);
        EXPECT_EQ(fadeout, c.fadeout < 1.0f ? c.fadeout + 4.0f * dt : 1.0f) << c.what;
        EXPECT_EQ(fade, c.fade < 1.0f ? c.fade + 4.0f * dt : 1.0f) << c.what;
        EXPECT_EQ(flash, c.flash < 1.0f ? c.flash + dt : 1.0f) << c.what;
        expectLiveEquals(
            [&] {
                if (c.flash < 1.0f)
                    video_fadePaletteFromWhite(pal, 0, 256, flash);
                else if (c.fade < 1.0f)
                    video_fadePaletteFromBlack(pal, 0, 256, fade);
                else
                    video_fadePaletteToBlack(pal, 0, 256, fadeout);
            },
            c.what);
    }
    // Idle timers (1.0) leave the live palette alone, and a long frame stops each at exactly 1.
    float fadeout = 1.0f, fade = 1.0f, flash = 1.0f;
    video_setPaletteWhite();
    uint32_t before[256];
    copyLive(before);
    objscene_fadePalette(pal, dt, &fadeout, 4.0f, &fade, &flash);
    EXPECT_EQ(0, std::memcmp(before, video_getLivePalette(), sizeof before));
    fadeout = 0.9f, fade = 0.9f, flash = 0.9f;
    objscene_fadePalette(pal, 5.0f, &fadeout, 1.0f, &fade, &flash);
    EXPECT_EQ(1.0f, fadeout);
    EXPECT_EQ(1.0f, fade);
    EXPECT_EQ(1.0f, flash);
}

TEST(Scenes, Wire)
{
    Effect& e = Wire_effect;
    ASSERT_EQ(e.init(), 1);
    WireState s;
    wire_getState(&s);

    // Clear colour and the reserved wireframe colour.
    const int black = video_findPaletteIndex(s.palette, 0, 0, 0);
    EXPECT_EQ(s.clearColour, (uint32_t)(uint8_t)black * 0x01010101u);
    EXPECT_EQ(s.brightCol, video_findPaletteBrightest(s.palette));
    const int grey = video_findPaletteNearestIndex(s.palette, 60, 60, 60);
    if (grey != s.brightCol) {
        for (int i = 0; i < 65536; i++)
            ASSERT_NE(s.lut[i], s.brightCol) << "lut entry " << i;
    }

    e.start();
    wire_getState(&s);
    EXPECT_EQ(s.position[2], 55.0f);
    EXPECT_EQ(s.wireframe + s.filled + s.mask + s.diffuse + s.env + s.hide, 0);
    EXPECT_EQ(s.flash_timer, 1.0f);
    EXPECT_EQ(s.wire_fade_timer, 0.0f);

    // Look 1 at 5/0: see-through wireframe; the flash's first step is t = dt, not 0.
    ASSERT_NO_FATAL_FAILURE(at(5, 0));
    frame(e, Dt);
    wire_getState(&s);
    EXPECT_EQ(s.wireframe, 1);
    EXPECT_EQ(s.filled, 0);
    EXPECT_EQ(s.mask, 1);
    EXPECT_EQ(s.diffuse + s.env, 0);
    EXPECT_EQ(s.flash_timer, Dt);
    expectLiveEquals([&] { video_fadePaletteFromWhite(s.palette, 0, 256, Dt); }, "kick flash");
    EXPECT_NEAR(s.rotation[0], 60.0f * Dt, 1e-6f);
    {
        const Drawn d = drawnOver(s);  // see-through: lines only
        EXPECT_GT(d.bright, 500);
        EXPECT_EQ(d.clear + d.other, 0);
    }

    // A huge frame never takes a timer past 1.0.
    ASSERT_NO_FATAL_FAILURE(at(5, 1));
    frame(e, 3.0f);
    wire_getState(&s);
    EXPECT_EQ(s.flash_timer, 1.0f);
    for (int k = 0; k < 3; k++) {
        EXPECT_GE(s.rotation[k], 0.0f);
        EXPECT_LT(s.rotation[k], 360.0f);
    }

    // 6/0: the angles are multiplied before this frame's rotation step; one turn of correction.
    ASSERT_NO_FATAL_FAILURE(at(5, 40));
    frame(e, Dt);
    WireState before;
    wire_getState(&before);
    ASSERT_NO_FATAL_FAILURE(at(6, 0));
    e.update(Dt);
    wire_getState(&s);
    const float step = Dt * 60.0f;
    EXPECT_FLOAT_EQ(s.rotation[0], wrapOnce(before.rotation[0] * 5.0f + step));
    EXPECT_FLOAT_EQ(s.rotation[1], wrapOnce(before.rotation[1] * -34.0f + step));
    EXPECT_FLOAT_EQ(s.rotation[2], wrapOnce(before.rotation[2] * 23.0f + step));
    EXPECT_EQ(s.wireframe, 1);
    EXPECT_EQ(s.filled, 1);
    EXPECT_EQ(s.mask, 1);
    EXPECT_EQ(s.flash_timer, 0.0f);
    e.render();
    {
        const Drawn d = drawnOver(s);  // hidden-line: black fill plus the visible edges
        EXPECT_GT(d.bright, 500);
        EXPECT_GT(d.clear, 500);
        EXPECT_EQ(d.other, 0);
    }
    e.postRetraceUpdate(Dt);

    // 7/0: additive jump, solid shaded torus without wireframe.
    frame(e, 2.0f);
    wire_getState(&before);
    ASSERT_NO_FATAL_FAILURE(at(7, 0));
    e.update(Dt);
    wire_getState(&s);
    EXPECT_FLOAT_EQ(s.rotation[0], wrapOnce(before.rotation[0] - 15.0f + step));
    EXPECT_FLOAT_EQ(s.rotation[1], wrapOnce(before.rotation[1] - 156.0f + step));
    EXPECT_FLOAT_EQ(s.rotation[2], wrapOnce(before.rotation[2] + 78.0f + step));
    EXPECT_EQ(s.wireframe, 0);
    EXPECT_EQ(s.filled, 1);
    EXPECT_EQ(s.mask, 0);
    EXPECT_EQ(s.diffuse, 1);
    EXPECT_EQ(s.env, 1);
    e.render();
    {
        const Drawn d = drawnOver(s);  // shaded: the wireframe colour is kept out of the surface
        EXPECT_EQ(d.bright, 0);
        EXPECT_GT(d.clear + d.other, 2000);
    }
    e.postRetraceUpdate(Dt);
    frame(e, 2.0f);

    // 8/0: everything on.
    wire_getState(&before);
    ASSERT_NO_FATAL_FAILURE(at(8, 0));
    e.update(Dt);
    wire_getState(&s);
    EXPECT_FLOAT_EQ(s.rotation[0], wrapOnce(before.rotation[0] * 5.0f + step));
    EXPECT_FLOAT_EQ(s.rotation[1], wrapOnce(before.rotation[1] * 4.0f + step));
    EXPECT_FLOAT_EQ(s.rotation[2], wrapOnce(before.rotation[2] * -18.0f + step));
    EXPECT_EQ(s.wireframe + s.filled + s.diffuse + s.env, 4);
    EXPECT_EQ(s.mask, 0);
    e.render();
    {
        const Drawn d = drawnOver(s);
        EXPECT_GT(d.bright, 500);
        EXPECT_GT(d.other, 2000);
    }
    e.postRetraceUpdate(Dt);
    frame(e, 0.5f);  // the flash of 8/0 still runs when the first wire flash starts, as in the show

    // The wire flash: the wireframe entry alone goes to black in 0.25 s, over the running flash.
    ASSERT_NO_FATAL_FAILURE(at(8, 8));
    frame(e, Dt);
    wire_getState(&s);
    EXPECT_EQ(s.wire_flash_timer, 4.0f * Dt);
    EXPECT_GT(s.flash_timer, 0.5f);
    EXPECT_LT(s.flash_timer, 1.0f);
    expectLiveEquals(
        [&] {
            video_fadePaletteFromWhite(s.palette, 0, 256, s.flash_timer);
            video_fadePaletteToBlack(s.palette, s.brightCol, 1, 4.0f * Dt);
        },
        "wire flash over the flash");
    frame(e, 1.0f);
    wire_getState(&s);
    EXPECT_EQ(s.wire_flash_timer, 1.0f);

    // Fired triggers stay fired: seeking back to 8/0 does not jump the angles again.
    wire_getState(&before);
    ASSERT_NO_FATAL_FAILURE(at(8, 0));
    e.update(Dt);
    wire_getState(&s);
    EXPECT_FLOAT_EQ(s.rotation[0], wrapOnce(before.rotation[0] + step));

    // 8/56 flash, then 8/58 starts the fade; the running wire flash keeps writing its entry over it.
    ASSERT_NO_FATAL_FAILURE(at(8, 56));
    frame(e, Dt);
    ASSERT_NO_FATAL_FAILURE(at(8, 58));
    frame(e, Dt);
    wire_getState(&s);
    EXPECT_EQ(s.hide, 1);
    EXPECT_EQ(s.wire_fade_timer, 2.0f * Dt);  // the palette used the value before the step (0)
    EXPECT_EQ(s.wire_flash_timer, 8.0f * Dt);
    expectLiveEquals(
        [&] {
            video_fadePaletteToBlack(s.palette, 0, 256, 0.0f);
            video_fadePaletteToBlack(s.palette, s.brightCol, 1, 8.0f * Dt);
        },
        "fade start with a running wire flash");
    frame(e, 5.0f);
    wire_getState(&s);
    EXPECT_EQ(s.wire_fade_timer, 1.0f);
    EXPECT_EQ(s.wire_flash_timer, 1.0f);
    frame(e, Dt);
    const uint32_t* live = video_getLivePalette();
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(live[i], 0u) << "entry " << i << " after the fade";

    e.deinit();
}

TEST(Scenes, SpikeMorph)
{
    Effect& e = Spike_effect;
    ASSERT_EQ(e.init(), 1);
    ObjectSceneState s = spike();
    ASSERT_NE(s.model, nullptr);
    const Model* m = s.model;
    const float* spiky = spike_getVertices();
    const float* ball = spike_getSphereVertices();
    bool hasSpikes = false;
    for (int i = 0; i < m->numVerts; i++) {
        const vec3& p = m->verts[i].pos;
        EXPECT_NEAR(std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z), 13.435f, 13.435f * 0.003f) << i;
        EXPECT_EQ(p.x, ball[4 * i]);
        const float r = std::sqrt(spiky[4 * i] * spiky[4 * i] + spiky[4 * i + 1] * spiky[4 * i + 1] +
                                  spiky[4 * i + 2] * spiky[4 * i + 2]);
        hasSpikes |= std::fabs(r - 13.435f) > 1.0f;
    }
    EXPECT_TRUE(hasSpikes) << "the spike model is a plain sphere";

    e.start();
    s = spike();
    EXPECT_EQ(s.position[2], 60.0f);
    ASSERT_NO_FATAL_FAILURE(at(11, 0));
    frame(e, Dt);
    s = spike();
    EXPECT_EQ(s.fade_timer, 4.0f * Dt);
    EXPECT_EQ(r3d_fov, 250.0f);  // no wireframe pass: the next projection uses 250
    EXPECT_NEAR(s.rotation[0], 2.0f * 50.0f * Dt, 1e-5f);
    EXPECT_NEAR(s.rotation[1], 1.0f * 50.0f * Dt, 1e-5f);
    EXPECT_NEAR(s.bob_phase, 2.0f * 50.0f * Dt, 1e-5f);
    // Bob path from the table: x = 5 sin, y = 8 cos; z untouched.
    const int idx = (int)(lrintf(s.bob_phase * 22.7555f) & 8191);
    EXPECT_EQ(s.position[0], 5.0f * g_sincosf[2 * idx]);
    EXPECT_EQ(s.position[1], 8.0f * g_sincosf[2 * idx + 1]);
    EXPECT_EQ(s.position[2], 60.0f);

    ASSERT_NO_FATAL_FAILURE(at(11, 30));
    frame(e, 2.0f);
    s = spike();
    EXPECT_EQ(s.fade_timer, 1.0f);
    EXPECT_EQ(s.spike_timer, 1.0f);
    for (int i = 0; i < m->numVerts; i++)
        ASSERT_EQ(m->verts[i].pos.y, ball[4 * i + 1]) << "still a ball before the kick, vertex " << i;

    // The kick: flash, depth 80, and the growth starts in this very frame.
    ASSERT_NO_FATAL_FAILURE(at(12, 0));
    frame(e, Dt);
    s = spike();
    EXPECT_EQ(s.position[2], 80.0f);
    EXPECT_EQ(s.flash_timer, Dt);
    EXPECT_EQ(s.spike_timer, 2.0f * Dt);
    const float ee = ease_inOutQuad(2.0f * Dt);
    for (int i = 0; i < m->numVerts; i++)
        ASSERT_FLOAT_EQ(m->verts[i].pos.z, ball[4 * i + 2] * (1.0f - ee) + spiky[4 * i + 2] * ee) << i;

    // A long frame ends the growth with the exact shape, and nothing moves the vertices afterwards.
    ASSERT_NO_FATAL_FAILURE(at(12, 1));
    frame(e, 0.75f);
    s = spike();
    EXPECT_EQ(s.spike_timer, 1.0f);
    EXPECT_LE(s.flash_timer, 1.0f);
    for (int i = 0; i < m->numVerts; i++) {
        ASSERT_EQ(m->verts[i].pos.x, spiky[4 * i]) << i;
        ASSERT_EQ(m->verts[i].pos.y, spiky[4 * i + 1]) << i;
        ASSERT_EQ(m->verts[i].pos.z, spiky[4 * i + 2]) << i;
    }
    frame(e, Dt);
    EXPECT_EQ(spike().position[2], 80.0f);

    ASSERT_NO_FATAL_FAILURE(at(12, 58));
    frame(e, Dt);
    s = spike();
    EXPECT_EQ(s.fadeout_timer, 4.0f * Dt);
    frame(e, 9.0f);
    s = spike();
    EXPECT_EQ(s.fadeout_timer, 1.0f);
    EXPECT_EQ(s.flash_timer, 1.0f);
    e.deinit();
}

TEST(Scenes, KnotKickAndFovAlternation)
{
    Effect& e = Knot_effect;
    ASSERT_EQ(e.init(), 1);
    e.start();
    ObjectSceneState s, before;
    ASSERT_NO_FATAL_FAILURE(at(13, 0));
    frame(e, Dt);
    knot_getState(&s);
    EXPECT_EQ(s.wireframe, 0);
    EXPECT_EQ(r3d_fov, 250.0f);
    EXPECT_EQ(s.position[2], 50.0f);
    EXPECT_EQ(s.bright, video_findPaletteBrightest(s.palette));
    expectLiveEquals([&] { video_fadePaletteFromBlack(s.palette, 0, 256, 4.0f * Dt); }, "fade-in");

    // The projection of the next frame uses the fov the previous render left: 250 -> 2.4 % smaller.
    const Model* m = s.model;
    ASSERT_GT(m->numVerts, 0);
    e.update(Dt);
    knot_getState(&s);
    expectFirstVertexProjectedWithFov(s, m, 250.0f);
    e.render();
    e.postRetraceUpdate(Dt);

    ASSERT_NO_FATAL_FAILURE(at(13, 20));
    frame(e, 4.0f);
    knot_getState(&before);
    EXPECT_EQ(before.fade_timer, 1.0f);

    ASSERT_NO_FATAL_FAILURE(at(14, 0));
    e.update(Dt);
    knot_getState(&s);
    const float step = Dt * 50.0f;
    EXPECT_FLOAT_EQ(s.rotation[0], wrapOnce(before.rotation[0] - 50.0f + step));
    EXPECT_FLOAT_EQ(s.rotation[1], wrapOnce(before.rotation[1] - 20.0f + step));
    EXPECT_FLOAT_EQ(s.rotation[2], wrapOnce(before.rotation[2] - 30.0f + 2.0f * step));
    EXPECT_EQ(s.wireframe, 1);
    e.render();
    EXPECT_EQ(r3d_fov, 256.0f);  // the wireframe pass's r3d_begin reset it
    e.postRetraceUpdate(Dt);
    knot_getState(&s);
    EXPECT_EQ(s.flash_timer, Dt);
    expectLiveEquals([&] { video_fadePaletteFromWhite(s.palette, 0, 256, Dt); }, "kick flash");

    e.update(Dt);
    knot_getState(&s);
    expectFirstVertexProjectedWithFov(s, m, 256.0f);
    e.render();
    e.postRetraceUpdate(Dt);

    ASSERT_NO_FATAL_FAILURE(at(14, 58));
    frame(e, Dt);
    knot_getState(&s);
    EXPECT_EQ(s.fadeout_timer, 4.0f * Dt);
    frame(e, 100.0f);
    knot_getState(&s);
    EXPECT_EQ(s.fadeout_timer, 1.0f);
    EXPECT_EQ(s.flash_timer, 1.0f);
    EXPECT_EQ(s.fade_timer, 1.0f);
    e.deinit();
}

TEST(Scenes, SkullRocking)
{
    Effect& e = Skull_effect;
    ASSERT_EQ(e.init(), 1);
    e.start();
    ObjectSceneState s;
    ASSERT_NO_FATAL_FAILURE(at(15, 0));
    for (int k = 0; k < 3; k++) {
        frame(e, k == 1 ? 7.0f : 0.1f);  // 7 s: one 2 pi comes off
        skull_getState(&s);
        EXPECT_GE(s.sway_phase, 0.0f);
        EXPECT_LT(s.sway_phase, 6.2831855f);
        const float c = g_sincosf[2 * (int)(lrintf(s.sway_phase * 1303.7972f) & 8191) + 1];
        EXPECT_EQ(s.rotation[0], 8.0f * c);
        EXPECT_EQ(s.rotation[1], 45.0f * c);
        EXPECT_EQ(s.rotation[2], 0.0f);
        EXPECT_EQ(s.position[2], 80.0f);
    }
    EXPECT_NEAR(s.sway_phase, 7.2f - 6.2831855f, 1e-5f);
    EXPECT_EQ(s.wireframe, 0);

    ASSERT_NO_FATAL_FAILURE(at(16, 0));
    frame(e, Dt);
    skull_getState(&s);
    EXPECT_EQ(s.wireframe, 1);
    EXPECT_EQ(s.flash_timer, Dt);
    EXPECT_EQ(r3d_fov, 256.0f);
    ASSERT_NO_FATAL_FAILURE(at(16, 58));
    frame(e, Dt);
    frame(e, 1.0f);
    skull_getState(&s);
    EXPECT_EQ(s.fadeout_timer, 1.0f);
    e.deinit();
}

TEST(Scenes, TendrilKeepsItsXAngle)
{
    Effect& e = Tendril_effect;
    ASSERT_EQ(e.init(), 1);
    e.start();
    ObjectSceneState s;
    ASSERT_NO_FATAL_FAILURE(at(21, 0));
    frame(e, Dt);
    tendril_getState(&s);
    EXPECT_EQ(s.rotation[0], 0.0f);
    EXPECT_NEAR(s.rotation[1], 2.0f * 50.0f * Dt, 1e-5f);
    EXPECT_NEAR(s.rotation[2], 0.01f * 50.0f * Dt, 1e-7f);
    EXPECT_EQ(s.position[2], 80.0f);

    ASSERT_NO_FATAL_FAILURE(at(22, 0));
    frame(e, Dt);
    tendril_getState(&s);
    EXPECT_EQ(s.rotation[0], -50.0f);  // not wrapped either: the axis is never touched
    EXPECT_EQ(s.wireframe, 1);
    EXPECT_EQ(s.flash_timer, Dt);
    for (int k = 0; k < 200; k++) {
        at(22, 1 + k % 50);
        frame(e, Dt * (1 + k % 7));
    }
    tendril_getState(&s);
    EXPECT_EQ(s.rotation[0], -50.0f);
    EXPECT_GE(s.rotation[1], 0.0f);
    EXPECT_LT(s.rotation[1], 360.0f);
    e.deinit();
}

TEST(Scenes, FinalTorusOverlayToggles)
{
    Effect& e = FinalTorus_effect;
    ASSERT_EQ(e.init(), 1);
    e.start();
    ObjectSceneState s;
    ASSERT_NO_FATAL_FAILURE(at(23, 0));
    frame(e, Dt);
    tor_getState(&s);
    EXPECT_EQ(s.wireframe, 0);
    EXPECT_EQ(s.position[2], 60.0f);

    // On from rows 0, 16, 32, 48, off from 8, 24, 40; a flash every time; rows in between change
    // nothing.
    for (int row = 0; row < 56; row++) {
        ASSERT_NO_FATAL_FAILURE(at(24, row));
        frame(e, Dt);
        tor_getState(&s);
        const int on = (row / 8) % 2 == 0;
        ASSERT_EQ(s.wireframe, on) << "row " << row;
        ASSERT_EQ(r3d_fov, on ? 256.0f : 250.0f) << "row " << row;
        if (row % 8 == 0) {
            ASSERT_EQ(s.flash_timer, Dt) << "row " << row;
        }
    }
    // Row 56 cuts the flash of row 48 off and fades to black over a whole second.
    tor_getState(&s);
    ASSERT_LT(s.flash_timer, 1.0f);
    ASSERT_NO_FATAL_FAILURE(at(24, 56));
    frame(e, Dt);
    tor_getState(&s);
    EXPECT_EQ(s.flash_timer, 1.0f);
    EXPECT_EQ(s.fadeout_timer, Dt);
    EXPECT_EQ(s.wireframe, 1);
    expectLiveEquals([&] { video_fadePaletteToBlack(s.palette, 0, 256, Dt); }, "fade-out without flash");
    frame(e, 0.5f);
    tor_getState(&s);
    EXPECT_EQ(s.fadeout_timer, Dt + 0.5f);
    frame(e, 0.75f);
    tor_getState(&s);
    EXPECT_EQ(s.fadeout_timer, 1.0f);
    e.deinit();
}

// A pack without its background image fails the scene's init (and so the start-up) instead of
// reading past the pack when the background is copied; a missing pack ends the process.
namespace {
void put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int k = 0; k < 4; k++)
        b[at + k] = (uint8_t)(v >> (8 * k));
}
// A datafile image holding the given (name, bytes) entries.
std::vector<uint8_t> datafile(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files)
{
    std::vector<uint8_t> b(8 + 80 * files.size());
    put32(b, 0, FileIdent);
    put32(b, 4, (uint32_t)files.size());
    for (size_t i = 0; i < files.size(); i++) {
        const size_t e = 8 + 80 * i;
        put32(b, e, (uint32_t)b.size());
        put32(b, e + 4, (uint32_t)files[i].second.size());
        std::memcpy(&b[e + 16], files[i].first.c_str(), files[i].first.size() + 1);
        b.insert(b.end(), files[i].second.begin(), files[i].second.end());
    }
    return b;
}
}  // namespace

TEST(ScenesDeathTest, BadPacksFailInit)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A pack of the fixed part only: no image in any directory slot.
    const std::vector<uint8_t> pack(0x30300 + 48, 0);
    const auto noBackground = datafile({{"srcdata/knot.qxp", pack}});
    EXPECT_EXIT(
        {
            char error[256];
            if (!file_tryMountMemory(noBackground.data(), noBackground.size(), error, sizeof error))
                std::exit(5);
            std::exit(Knot_effect.init() == 0 ? 3 : 4);
        },
        ::testing::ExitedWithCode(3), "");
    const auto empty = datafile({{"srcdata/other.qxp", pack}});
    EXPECT_EXIT(
        {
            char error[256];
            if (!file_tryMountMemory(empty.data(), empty.size(), error, sizeof error))
                std::exit(5);
            std::exit(Wire_effect.init() == 0 ? 3 : 4);
        },
        ::testing::ExitedWithCode(1), "");  // a missing asset ends the process at once
}
