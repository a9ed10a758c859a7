// FinalTorus scene. A torus tumbles over its background; through order 24 every 8 rows a trigger
// flashes the palette white and toggles the wireframe overlay (on from rows 0, 16, 32, 48, off from
// 8, 24, 40), and from row 56 the picture fades to black over a whole second, cutting off a flash
// that may still be running. Timers run from 0 to 1; 1.0 means idle, and none passes 1.0.
#include "tor.h"

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

static const char* const PackFile = "srcdata/tor.qxp";

static int init()
{
    tor_packed = impack_load(PackFile);
    if (!tor_packed)
        return 0;
    texture = tor_packed->texture;
    envmap = tor_packed->envmap;
    lut = tor_packed->lut;
    bg = &tor_packed->images[0];
    // The background is copied as a whole frame every frame: a smaller image would be read past.
    if (!bg->pixels || (uint32_t)bg->width * bg->height < 64000) {
        log_print("tor: %s has no 320 x 200 background image\n", PackFile);
        return 0;
    }
    if (!model_load("srcdata/torus.qx3", &tor_model))
        return 0;
    tor_bright = (uint8_t)video_findPaletteBrightest(tor_packed->palette);
    return 1;
}

static void deinit()
{
    model_destroy(&tor_model);
    if (tor_packed)
        impack_destroy(tor_packed);
    tor_packed = nullptr;
}

static void start()
{
    s_position = {};
    s_position.z = tor_StartZ;
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
    const float step = dt * 50.0f * tor_anim_speed;
    modplay_updateTriggers(tor_triggers, 8);
    s_rotation.x = wrapDegrees(s_rotation.x + 3.0f * step);
    s_rotation.y = wrapDegrees(s_rotation.y + 1.0f * step);
    s_rotation.z = wrapDegrees(s_rotation.z + 2.0f * step);
    bob_phase = wrapDegrees(bob_phase + 0.5f * step);

    // 22.7555 = 8192 / 360 in single precision; the table holds (sin, cos) pairs.
    const int i = (int)(lrintf(bob_phase * 22.7555f) & 8191);
    const float s = g_sincosf[2 * i];
    const float c = g_sincosf[2 * i + 1];
    s_position.x = 4.0f * s;
    s_position.y = 1.0f * c;
    s_position.z = tor_StartZ + 40.0f * tor_z_anim * s;

    mat matrix;
    mat_set(&matrix, s_rotation, s_position);
    r3d_transformAndProject(&tor_model, &matrix);
}

static void render()
{
    uint8_t* buffer = video_getBuffer(0);
    util_blit(buffer, bg->pixels, 16000);
    r3d_begin(buffer);
    r3d_setFov(250.0f);
    r3d_render(&tor_model);
    if (tor_wireframe) {
        r3d_begin(buffer);
        r3d_renderWireframe(&tor_model, 0.0005f, tor_bright);
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
    const uint8_t* pal = tor_packed->palette;
    if (tor_fadeout_timer < 1.0f) {
        tor_fadeout_timer = advance(tor_fadeout_timer, 1.0f * dt);  // 1 s
        video_fadePaletteToBlack(pal, 0, 256, tor_fadeout_timer);
    }
    if (fade_timer < 1.0f) {
        fade_timer = advance(fade_timer, 4.0f * dt);
        video_fadePaletteFromBlack(pal, 0, 256, fade_timer);
    }
    if (tor_flash_timer < 1.0f) {
        tor_flash_timer = advance(tor_flash_timer, dt);
        video_fadePaletteFromWhite(pal, 0, 256, tor_flash_timer);
    }
}

Effect FinalTorus_effect = {"FinalTorus", init, deinit, update, postRetraceUpdate, render, start, false, 23, 0};

void tor_getState(ObjectSceneState* out)
{
    *out = {};
    out->position[0] = s_position.x;
    out->position[1] = s_position.y;
    out->position[2] = s_position.z;
    out->rotation[0] = s_rotation.x;
    out->rotation[1] = s_rotation.y;
    out->rotation[2] = s_rotation.z;
    out->bob_phase = bob_phase;
    out->wireframe = tor_wireframe;
    out->bright = tor_bright;
    out->fade_timer = fade_timer;
    out->flash_timer = tor_flash_timer;
    out->fadeout_timer = tor_fadeout_timer;
    out->spike_timer = 1.0f;
    out->palette = tor_packed ? tor_packed->palette : nullptr;
    out->model = &tor_model;
}
