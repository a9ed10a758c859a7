// Skull scene. A skull rocks slowly from side to side (one radian of sway phase per second, whatever
// the speed factor) while it bobs over its background; it fades in from black, is kicked at order 16
// row 0 (white flash, wireframe overlay on) and fades to black from order 16 row 58.
// Timers run from 0 to 1; 1.0 means idle, and none passes 1.0.
#include "skull.h"

#include "effect.h"
#include "impack.h"
#include "model.h"
#include "modplay.h"
#include "objscene.h"
#include "video.h"

#include <cmath>

static const float skull_StartZ = 80.0f;

static ImagePack* skull_packed;
static uint8_t* texture;
static uint8_t* envmap;
static uint8_t* lut;
static ImagePackImage* skull_bg;
static Model skull_model;
static uint8_t skull_bright;

static vec3 s_position;
static vec3 s_rotation;
static float bob_phase = 0.0f;
static float sway_phase = 0.0f;  // radians
static int skull_wireframe = 0;
static float fade_timer = 0.0f;
static float skull_flash_timer = 1.0f;
static float skull_fadeout_timer = 1.0f;
static float skull_anim_speed = 1.0f;
static float skull_z_anim = 0.0f;

static void skull_animate()
{
    skull_wireframe = 1;
    skull_flash_timer = 0.0f;
}

static void skull_fade_out()
{
    skull_fadeout_timer = 0.0f;
}

static Trigger spike_triggers[2] = {
    {16, 0, 0, skull_animate},
    {16, 58, 0, skull_fade_out},
};

static int init()
{
    if (!objscene_load("skull", "srcdata/skull.qxp", "srcdata/skull.qx3", &skull_packed, &skull_bg,
                       &skull_model))
        return 0;
    texture = skull_packed->texture;
    envmap = skull_packed->envmap;
    lut = skull_packed->lut;
    skull_bright = (uint8_t)video_findPaletteBrightest(skull_packed->palette);
    return 1;
}

static void deinit()
{
    objscene_unload(&skull_packed, &skull_model);
}

static void start()
{
    objscene_start(&s_position, &s_rotation, skull_StartZ, texture, envmap, lut);
}

static void update(float dt)
{
    const float step = dt * 50.0f * skull_anim_speed;
    modplay_updateTriggers(spike_triggers, 2);
    // The rocking sets the orientation outright every frame.
    const float TwoPi = 6.2831855f;
    sway_phase += dt;
    if (sway_phase >= TwoPi)
        sway_phase -= TwoPi;
    else if (sway_phase < 0.0f)
        sway_phase += TwoPi;
    // 1303.7972 = 8192 / (2 pi) in single precision.
    const float cs = g_sincosf[2 * (int)(lrintf(sway_phase * 1303.7972f) & 8191) + 1];
    s_rotation.x = 8.0f * cs;
    s_rotation.y = 45.0f * cs;
    s_rotation.z = 0.0f;
    bob_phase = math_wrapDegrees(bob_phase + 0.5f * step);

    const float s = objscene_bob(&s_position, bob_phase, 2.0f, 3.0f);
    s_position.z = skull_StartZ + 40.0f * skull_z_anim * s;
    objscene_project(&skull_model, s_rotation, s_position);
}

static void render()
{
    objscene_render(skull_bg, &skull_model, skull_wireframe, skull_bright);
}

static void postRetraceUpdate(float dt)
{
    objscene_fadePalette(skull_packed->palette, dt, &skull_fadeout_timer, 4.0f, &fade_timer, &skull_flash_timer);
}

Effect Skull_effect = {"Skull", init, deinit, update, postRetraceUpdate, render, start, false, 15, 0};

void skull_getState(ObjectSceneState* out)
{
    objscene_getState(out, s_position, s_rotation, bob_phase, fade_timer, skull_flash_timer, skull_fadeout_timer,
                      skull_packed, &skull_model);
    out->wireframe = skull_wireframe;
    out->bright = skull_bright;
    out->sway_phase = sway_phase;
}
