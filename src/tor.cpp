// FinalTorus scene. A torus tumbles over its background; through order 24 every 8 rows a trigger
// flashes the palette white and toggles the wireframe overlay (on from rows 0, 16, 32, 48, off from
// 8, 24, 40), and from row 56 the picture fades to black over a whole second, cutting off a flash
// that may still be running. Timers run from 0 to 1; 1.0 means idle, and none passes 1.0.
#include "tor.h"

#include "effect.h"
#include "impack.h"
#include "model.h"
#include "modplay.h"
#include "objscene.h"
#include "video.h"

static const float tor_StartZ = 60.0f;

static ImagePack* tor_packed;
static uint8_t* texture;
static uint8_t* envmap;
static uint8_t* lut;
static ImagePackImage* bg;
static Model tor_model;
static uint8_t tor_bright;

static vec3 s_position;
static vec3 s_rotation;
static float bob_phase = 0.0f;
static int tor_wireframe = 0;
static float fade_timer = 0.0f;
static float tor_flash_timer = 1.0f;
static float tor_fadeout_timer = 1.0f;
static float tor_anim_speed = 1.0f;
static float tor_z_anim = 0.0f;

static void tor_animate()
{
    tor_flash_timer = 0.0f;
    tor_wireframe = !tor_wireframe;
}

static void tor_fade_out()
{
    tor_flash_timer = 1.0f;  // a running flash stops here
    tor_fadeout_timer = 0.0f;
}

static Trigger tor_triggers[8] = {
    {24, 0, 0, tor_animate},
    {24, 8, 0, tor_animate},
    {24, 16, 0, tor_animate},
    {24, 24, 0, tor_animate},
    {24, 32, 0, tor_animate},
    {24, 40, 0, tor_animate},
    {24, 48, 0, tor_animate},
    {24, 56, 0, tor_fade_out},
};

static int init()
{
    if (!objscene_load("tor", "srcdata/tor.qxp", "srcdata/torus.qx3", &tor_packed, &bg, &tor_model))
        return 0;
    texture = tor_packed->texture;
    envmap = tor_packed->envmap;
    lut = tor_packed->lut;
    tor_bright = (uint8_t)video_findPaletteBrightest(tor_packed->palette);
    return 1;
}

static void deinit()
{
    objscene_unload(&tor_packed, &tor_model);
}

static void start()
{
    objscene_start(&s_position, &s_rotation, tor_StartZ, texture, envmap, lut);
}

static void update(float dt)
{
    const float step = dt * 50.0f * tor_anim_speed;
    modplay_updateTriggers(tor_triggers, 8);
    s_rotation.x = math_wrapDegrees(s_rotation.x + 3.0f * step);
    s_rotation.y = math_wrapDegrees(s_rotation.y + 1.0f * step);
    s_rotation.z = math_wrapDegrees(s_rotation.z + 2.0f * step);
    bob_phase = math_wrapDegrees(bob_phase + 0.5f * step);

    const float s = objscene_bob(&s_position, bob_phase, 4.0f, 1.0f);
    s_position.z = tor_StartZ + 40.0f * tor_z_anim * s;
    objscene_project(&tor_model, s_rotation, s_position);
}

static void render()
{
    objscene_render(bg, &tor_model, tor_wireframe, tor_bright);
}

static void postRetraceUpdate(float dt)
{
    // The fade-out takes 1 s here, four times as long as in the other scenes.
    objscene_fadePalette(tor_packed->palette, dt, &tor_fadeout_timer, 1.0f, &fade_timer, &tor_flash_timer);
}

Effect FinalTorus_effect = {"FinalTorus", init, deinit, update, postRetraceUpdate, render, start, false, 23, 0};

void tor_getState(ObjectSceneState* out)
{
    objscene_getState(out, s_position, s_rotation, bob_phase, fade_timer, tor_flash_timer, tor_fadeout_timer,
                      tor_packed, &tor_model);
    out->wireframe = tor_wireframe;
    out->bright = tor_bright;
}
