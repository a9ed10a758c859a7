// Rings scene. The inner ring turns about its x axis inside the middle ring, which turns about
// its y axis inside the outer ring, which turns about x: each inherits the motion of the rings
// around it. The angles advance after the frame's matrices are built, so the first frame shows
// every ring at angle 0. The camera follows the first track of the scene's animation, looking
// at the centre. Fades in from black on the first frame and out to black at order 18, row 60.
// Timers run from 0 to 1; 1.0 means idle, and none passes 1.0.
#include "rings.h"

#include "anim.h"
#include "effect.h"
#include "impack.h"
#include "log.h"
#include "model.h"
#include "modplay.h"
#include "objscene.h"
#include "r3d.h"
#include "util.h"
#include "video.h"

static const char* const PackFile = "srcdata/lsenv.qxp";
static const char* const AnimFile = "srcdata/ringsani.qxa";

static Model rings[3];
static vec3 ringRot[3];
static vec3 ringPos[3];
static float ring_angles[3] = {0.0f, 0.0f, 0.0f};
static ImagePack* ring_packed;
static uint8_t* texture;
static uint8_t* envmap;
static uint8_t* lut;
static ImagePackImage* rings_bg;
static AnimSet* rings_anims;
static vec3 s_position;
static mat s_inner, s_middle, s_outer;
static float rings_fade_timer = 0.0f;
static float ring_fade_out_timer = 1.0f;

static void rings_fade_out()
{
    ring_fade_out_timer = 0.0f;
}

static Trigger ring_triggers[1] = {
    {18, 60, 0, {rings_fade_out}},
};

static int init()
{
    model_load("srcdata/ringin.qx3", &rings[0]);
    model_load("srcdata/ringmid.qx3", &rings[1]);
    model_load("srcdata/ringout.qx3", &rings[2]);
    for (int i = 0; i < 3; i++) {
        ringRot[i] = {};
        ringPos[i] = {};
    }
    ring_packed = impack_load(PackFile);
    texture = ring_packed->texture;
    envmap = ring_packed->envmap;
    lut = ring_packed->lut;
    rings_bg = &ring_packed->images[0];
    // The background is copied as a whole frame, and the camera samples the first track: a pack
    // without a full-screen image or a file without a keyed first track would be read past.
    if (!rings_bg->pixels || (uint32_t)rings_bg->width * rings_bg->height < 64000) {
        log_print("rings: %s has no 320 x 200 background image\n", PackFile);
        return 0;
    }
    rings_anims = anim_load(AnimFile);
    if (rings_anims->numAnims == 0 || rings_anims->anims[0]->numKeys == 0) {
        log_print("rings: %s has no camera track with keys\n", AnimFile);
        return 0;
    }
    return 1;
}

static void deinit()
{
    for (int i = 0; i < 3; i++)
        model_destroy(&rings[i]);
    anim_destroy(rings_anims);
    rings_anims = nullptr;
    if (ring_packed)
        impack_destroy(ring_packed);
    ring_packed = nullptr;
}

static void start()
{
    s_position = {};
    r3d_clearZbuffer();
    r3d_setTexture(0, texture);
    r3d_setTexture(1, envmap);
    r3d_setLUT(lut);
}

void rings_composeMatrices(const mat* view, const vec3 rotation[3], const vec3 position[3], mat* inner, mat* middle,
                           mat* outer)
{
    mat r[3], t, u;
    for (int i = 0; i < 3; i++)
        mat_set(&r[i], rotation[i], position[i]);
    mat_multiply(&t, &r[2], &r[1]);  // middle inside outer
    mat_multiply(middle, view, &t);
    mat_multiply(&u, &t, &r[0]);  // inner inside both
    mat_multiply(inner, view, &u);
    mat_multiply(outer, view, &r[2]);
}

static void update(float dt)
{
    modplay_updateTriggers(ring_triggers, 1);

    Anim* camera = rings_anims->anims[0];
    anim_tick(camera, dt * 1.0f);
    anim_getCurrentPosition(camera, &s_position);
    mat view;
    mat_lookAtView(&view, s_position, vec3{});

    rings_composeMatrices(&view, ringRot, ringPos, &s_inner, &s_middle, &s_outer);

    ring_angles[0] = math_wrapDegrees(ring_angles[0] + 80.0f * dt);
    ring_angles[1] = math_wrapDegrees(ring_angles[1] + 82.0f * dt);
    ring_angles[2] = math_wrapDegrees(ring_angles[2] + 84.0f * dt);
    ringRot[0].x = ring_angles[0];
    ringRot[1].y = ring_angles[1];
    ringRot[2].x = ring_angles[2];

    r3d_transformAndProject(&rings[0], &s_inner);
    r3d_transformAndProject(&rings[1], &s_middle);
    r3d_transformAndProject(&rings[2], &s_outer);
}

static void postRetraceUpdate(float dt)
{
    // The fade-out comes second, so it wins within a frame should both run.
    if (rings_fade_timer < 1.0f) {
        rings_fade_timer = objscene_advance(rings_fade_timer, 4.0f * dt);
        video_fadePaletteFromBlack(ring_packed->palette, 0, 256, rings_fade_timer);
    }
    if (ring_fade_out_timer < 1.0f) {
        ring_fade_out_timer = objscene_advance(ring_fade_out_timer, 4.0f * dt);
        video_fadePaletteToBlack(ring_packed->palette, 0, 256, ring_fade_out_timer);
    }
}

static void render()
{
    uint8_t* buffer = video_getBuffer(0);
    util_blit(buffer, rings_bg->pixels, 16000);
    r3d_begin(buffer);
    r3d_setFov(250.0f);
    r3d_render(&rings[0]);
    r3d_render(&rings[1]);
    r3d_render(&rings[2]);
    r3d_end();
}

Effect Rings_effect = {"Rings", init, deinit, update, postRetraceUpdate, render, start, false, 17, 0};

void rings_getState(RingsState* out)
{
    for (int i = 0; i < 3; i++) {
        out->angles[i] = ring_angles[i];
        out->rotation[i] = ringRot[i];
        out->models[i] = &rings[i];
    }
    out->position = s_position;
    out->inner = s_inner;
    out->middle = s_middle;
    out->outer = s_outer;
    out->fade_timer = rings_fade_timer;
    out->fade_out_timer = ring_fade_out_timer;
    out->palette = ring_packed ? ring_packed->palette : nullptr;
}
