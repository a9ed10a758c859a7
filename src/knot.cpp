// Knot scene. A torus-knot tube floats over its background on a small closed path, fades in from
// black, is kicked at order 14 row 0 (white flash, wireframe overlay on, orientation jump) and fades
// to black from order 14 row 58. Timers run from 0 to 1; 1.0 means idle, and none passes 1.0.
#include "knot.h"

#include "effect.h"
#include "impack.h"
#include "log.h"
#include "mat.h"
#include "math.h"
#include "model.h"
#include "modplay.h"
#include "r3d.h"
#include "util.h"
#include "video.h"

#include <cmath>

static const float Knot_StartZ = 50.0f;

static ImagePack* knot_packed;
static uint8_t* texture;
static uint8_t* envmap;
static uint8_t* lut;
static ImagePackImage* bg;
static Model knot_model;
static uint8_t knot_bright;

static vec3 s_position;
static vec3 s_rotation;
static float bob_phase = 0.0f;
static int knot_wireframe = 0;
static float fade_timer = 0.0f;
static float knot_flash_timer = 1.0f;
static float knot_fadeout_timer = 1.0f;
static float knot_anim_speed = 1.0f;
static float knot_z_anim = 0.0f;

static void knot_animate()
{
    knot_flash_timer = 0.0f;
    knot_wireframe = 1;
    s_rotation.x -= 50.0f;
    s_rotation.y -= 20.0f;
    s_rotation.z -= 30.0f;
}

static void knot_fade_out()
{
    knot_fadeout_timer = 0.0f;
}

static Trigger knot_triggers[2] = {
    {14, 0, 0, knot_animate},
    {14, 58, 0, knot_fade_out},
};

static const char* const PackFile = "srcdata/knot.qxp";

static int init()
{
    knot_packed = impack_load(PackFile);
    if (!knot_packed)
        return 0;
    texture = knot_packed->texture;
    envmap = knot_packed->envmap;
    lut = knot_packed->lut;
    bg = &knot_packed->images[0];
    // The background is copied as a whole frame every frame: a smaller image would be read past.
    if (!bg->pixels || (uint32_t)bg->width * bg->height < 64000) {
        log_print("knot: %s has no 320 x 200 background image\n", PackFile);
        return 0;
    }
    if (!model_load("srcdata/knot.qx3", &knot_model))
        return 0;
    knot_bright = (uint8_t)video_findPaletteBrightest(knot_packed->palette);
    return 1;
}

static void deinit()
{
    model_destroy(&knot_model);
    if (knot_packed)
        impack_destroy(knot_packed);
    knot_packed = nullptr;
}

static void start()
{
    s_position = {};
    s_position.z = Knot_StartZ;
    s_rotation = {};
    r3d_clearZbuffer();
    r3d_setTexture(0, texture);
    r3d_setTexture(1, envmap);
    r3d_setLUT(lut);
}

// One turn at most: an angle a trigger moved far out of range comes back over several frames.
static inline float wrapDegrees(float a)
{
    if (a >= 360.0f)
        return a - 360.0f;
    if (a < 0.0f)
        return a + 360.0f;
    return a;
}

static void update(float dt)
{
    const float step = dt * 50.0f * knot_anim_speed;
    modplay_updateTriggers(knot_triggers, 2);
    s_rotation.x = wrapDegrees(s_rotation.x + 1.0f * step);
    s_rotation.y = wrapDegrees(s_rotation.y + 1.0f * step);
    s_rotation.z = wrapDegrees(s_rotation.z + 2.0f * step);
    bob_phase = wrapDegrees(bob_phase + 0.5f * step);

    // 22.7555 = 8192 / 360 in single precision; the table holds (sin, cos) pairs.
    const int i = (int)(lrintf(bob_phase * 22.7555f) & 8191);
    const float s = g_sincosf[2 * i];
    const float c = g_sincosf[2 * i + 1];
    s_position.x = 2.0f * s;
    s_position.y = 3.0f * c;
    s_position.z = Knot_StartZ + 40.0f * knot_z_anim * s;

    mat matrix;
    mat_set(&matrix, s_rotation, s_position);
    r3d_transformAndProject(&knot_model, &matrix);
}

static void render()
{
    uint8_t* buffer = video_getBuffer(0);
    util_blit(buffer, bg->pixels, 16000);
    r3d_begin(buffer);
    r3d_setFov(250.0f);
    r3d_render(&knot_model);
    if (knot_wireframe) {
        r3d_begin(buffer);
        r3d_renderWireframe(&knot_model, 0.0005f, knot_bright);
    }
    r3d_end();
}

static inline float advance(float timer, float amount)
{
    timer += amount;
    return timer < 1.0f ? timer : 1.0f;
}

static void postRetraceUpdate(float dt)
{
    const uint8_t* pal = knot_packed->palette;
    if (knot_fadeout_timer < 1.0f) {
        knot_fadeout_timer = advance(knot_fadeout_timer, 4.0f * dt);
        video_fadePaletteToBlack(pal, 0, 256, knot_fadeout_timer);
    }
    if (fade_timer < 1.0f) {
        fade_timer = advance(fade_timer, 4.0f * dt);
        video_fadePaletteFromBlack(pal, 0, 256, fade_timer);
    }
    if (knot_flash_timer < 1.0f) {
        knot_flash_timer = advance(knot_flash_timer, dt);
        video_fadePaletteFromWhite(pal, 0, 256, knot_flash_timer);
    }
}

Effect Knot_effect = {"Knot", init, deinit, update, postRetraceUpdate, render, start, false, 13, 0};

void knot_getState(ObjectSceneState* out)
{
    *out = {};
    out->position[0] = s_position.x;
    out->position[1] = s_position.y;
    out->position[2] = s_position.z;
    out->rotation[0] = s_rotation.x;
    out->rotation[1] = s_rotation.y;
    out->rotation[2] = s_rotation.z;
    out->bob_phase = bob_phase;
    out->wireframe = knot_wireframe;
    out->bright = knot_bright;
    out->fade_timer = fade_timer;
    out->flash_timer = knot_flash_timer;
    out->fadeout_timer = knot_fadeout_timer;
    out->spike_timer = 1.0f;
    out->palette = knot_packed ? knot_packed->palette : nullptr;
    out->model = &knot_model;
}
