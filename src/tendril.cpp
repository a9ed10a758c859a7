// Tendril scene. A twisting organic shape spins about its y axis over its background, fades in from
// black, is kicked at order 22 row 0 (white flash, wireframe overlay on, orientation jump) and fades
// to black from order 22 row 58. Its x angle never advances, so after the kick it stays at -50.
// Timers run from 0 to 1; 1.0 means idle, and none passes 1.0.
#include "tendril.h"

#include "effect.h"
#include "impack.h"
#include "model.h"
#include "modplay.h"
#include "objscene.h"
#include "video.h"

static const float Tendril_StartZ = 80.0f;

static ImagePack* tendril_packed;
static uint8_t* texture;
static uint8_t* envmap;
static uint8_t* lut;
static ImagePackImage* bg;
static Model tendril_model;
static uint8_t tendril_bright;

static vec3 s_position;
static vec3 s_rotation;
static float bob_phase = 0.0f;
static int tendril_wireframe = 0;
static float fade_timer = 0.0f;
static float knot_flash_timer = 1.0f;
static float tendril_fadeout_timer = 1.0f;
static float knot_anim_speed = 1.0f;
static float knot_z_anim = 0.0f;

static void tendril_animate()
{
    knot_flash_timer = 0.0f;
    tendril_wireframe = 1;
    s_rotation.x -= 50.0f;
    s_rotation.y -= 20.0f;
    s_rotation.z -= 30.0f;
}

static void tendril_fade_out()
{
    tendril_fadeout_timer = 0.0f;
}

static Trigger spike_triggers[2] = {
    {22, 0, 0, tendril_animate},
    {22, 58, 0, tendril_fade_out},
};

static int init()
{
    if (!objscene_load("tendril", "srcdata/tendril.qxp", "srcdata/tendril.qx3", &tendril_packed, &bg,
                       &tendril_model))
        return 0;
    texture = tendril_packed->texture;
    envmap = tendril_packed->envmap;
    lut = tendril_packed->lut;
    tendril_bright = (uint8_t)video_findPaletteBrightest(tendril_packed->palette);
    return 1;
}

static void deinit()
{
    objscene_unload(&tendril_packed, &tendril_model);
}

static void start()
{
    objscene_start(&s_position, &s_rotation, Tendril_StartZ, texture, envmap, lut);
}

static void update(float dt)
{
    const float step = dt * 50.0f * knot_anim_speed;
    modplay_updateTriggers(spike_triggers, 2);
    // x has no spin and is left alone entirely: it keeps what the kick gave it.
    s_rotation.y = math_wrapDegrees(s_rotation.y + 2.0f * step);
    s_rotation.z = math_wrapDegrees(s_rotation.z + 0.01f * step);
    bob_phase = math_wrapDegrees(bob_phase + 0.5f * step);

    const float s = objscene_bob(&s_position, bob_phase, 2.0f, 3.0f);
    s_position.z = Tendril_StartZ + 40.0f * knot_z_anim * s;
    objscene_project(&tendril_model, s_rotation, s_position);
}

static void render()
{
    objscene_render(bg, &tendril_model, tendril_wireframe, tendril_bright);
}

static void postRetraceUpdate(float dt)
{
    objscene_fadePalette(tendril_packed->palette, dt, &tendril_fadeout_timer, 4.0f, &fade_timer,
                         &knot_flash_timer);
}

Effect Tendril_effect = {"Tendril", init, deinit, update, postRetraceUpdate, render, start, false, 21, 0};

void tendril_getState(ObjectSceneState* out)
{
    objscene_getState(out, s_position, s_rotation, bob_phase, fade_timer, knot_flash_timer,
                      tendril_fadeout_timer, tendril_packed, &tendril_model);
    out->wireframe = tendril_wireframe;
    out->bright = tendril_bright;
}
