// Knot scene. A torus-knot tube floats over its background on a small closed path, fades in from
// black, is kicked at order 14 row 0 (white flash, wireframe overlay on, orientation jump) and fades
// to black from order 14 row 58. Timers run from 0 to 1; 1.0 means idle, and none passes 1.0.
#include "knot.h"

#include "effect.h"
#include "impack.h"
#include "model.h"
#include "modplay.h"
#include "objscene.h"
#include "video.h"

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

static int init()
{
    if (!objscene_load("knot", "srcdata/knot.qxp", "srcdata/knot.qx3", &knot_packed, &bg, &knot_model))
        return 0;
    texture = knot_packed->texture;
    envmap = knot_packed->envmap;
    lut = knot_packed->lut;
    knot_bright = (uint8_t)video_findPaletteBrightest(knot_packed->palette);
    return 1;
}

static void deinit()
{
    objscene_unload(&knot_packed, &knot_model);
}

static void start()
{
    objscene_start(&s_position, &s_rotation, Knot_StartZ, texture, envmap, lut);
}

static void update(float dt)
{
    const float step = dt * 50.0f * knot_anim_speed;
    modplay_updateTriggers(knot_triggers, 2);
    s_rotation.x = math_wrapDegrees(s_rotation.x + 1.0f * step);
    s_rotation.y = math_wrapDegrees(s_rotation.y + 1.0f * step);
    s_rotation.z = math_wrapDegrees(s_rotation.z + 2.0f * step);
    bob_phase = math_wrapDegrees(bob_phase + 0.5f * step);

    const float s = objscene_bob(&s_position, bob_phase, 2.0f, 3.0f);
    s_position.z = Knot_StartZ + 40.0f * knot_z_anim * s;
    objscene_project(&knot_model, s_rotation, s_position);
}

static void render()
{
    objscene_render(bg, &knot_model, knot_wireframe, knot_bright);
}

static void postRetraceUpdate(float dt)
{
    objscene_fadePalette(knot_packed->palette, dt, &knot_fadeout_timer, 4.0f, &fade_timer, &knot_flash_timer);
}

Effect Knot_effect = {"Knot", init, deinit, update, postRetraceUpdate, render, start, false, 13, 0};

void knot_getState(ObjectSceneState* out)
{
    objscene_getState(out, s_position, s_rotation, bob_phase, fade_timer, knot_flash_timer, knot_fadeout_timer,
                      knot_packed, &knot_model);
    out->wireframe = knot_wireframe;
    out->bright = knot_bright;
}
