// Skull scene. A skull rocks slowly from side to side (one radian of sway phase per second, whatever
// the speed factor) while it bobs over its background; it fades in from black, is kicked at order 16
// row 0 (white flash, wireframe overlay on) and fades to black from order 16 row 58. Timers run from 0 to 1; 1.0 means idle, and none passes 1.0.
#include "skull.h"

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

static const char* const PackFile = "srcdata/skull.qxp";

static int init()
{
    skull_packed = impack_load(PackFile);
    if (!skull_packed)
        return 0;
    texture = skull_packed->texture;
    envmap = skull_packed->envmap;
    lut = skull_packed->lut;
    skull_bg = &skull_packed->images[0];
    // The background is copied as a whole frame every frame: a smaller image would be read past.
    if (!skull_bg->pixels || (uint32_t)skull_bg->width * skull_bg->height < 64000) {
        log_print("skull: %s has no 320 x 200 background image\n", PackFile);
        return 0;
    }
    if (!model_load("srcdata/skull.qx3", &skull_model))
        return 0;
    skull_bright = (uint8_t)video_findPaletteBrightest(skull_packed->palette);
    return 1;
}

static void deinit()
{
    model_destroy(&skull_model);
    if (skull_packed)
        impack_destroy(skull_packed);
    skull_packed = nullptr;
}

static void start()
{
    s_position = {};
    s_position.z = skull_StartZ;
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
    bob_phase = wrapDegrees(bob_phase + 0.5f * step);

    // 22.7555 = 8192 / 360 in single precision; the table holds (sin, cos) pairs.
    const int i = (int)(lrintf(bob_phase * 22.7555f) & 8191);
    const float s = g_sincosf[2 * i];
    const float c = g_sincosf[2 * i + 1];
    s_position.x = 2.0f * s;
    s_position.y = 3.0f * c;
    s_position.z = skull_StartZ + 40.0f * skull_z_anim * s;

    mat matrix;
    mat_set(&matrix, s_rotation, s_position);
    r3d_transformAndProject(&skull_model, &matrix);
}

static void render()
{
    uint8_t* buffer = video_getBuffer(0);
    util_blit(buffer, skull_bg->pixels, 16000);
    r3d_begin(buffer);
    r3d_setFov(250.0f);
    r3d_render(&skull_model);
    if (skull_wireframe) {
        r3d_begin(buffer);
        r3d_renderWireframe(&skull_model, 0.0005f, skull_bright);
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
    const uint8_t* pal = skull_packed->palette;
    if (skull_fadeout_timer < 1.0f) {
        skull_fadeout_timer = advance(skull_fadeout_timer, 4.0f * dt);
        video_fadePaletteToBlack(pal, 0, 256, skull_fadeout_timer);
    }
    if (fade_timer < 1.0f) {
        fade_timer = advance(fade_timer, 4.0f * dt);
        video_fadePaletteFromBlack(pal, 0, 256, fade_timer);
    }
    if (skull_flash_timer < 1.0f) {
        skull_flash_timer = advance(skull_flash_timer, dt);
        video_fadePaletteFromWhite(pal, 0, 256, skull_flash_timer);
    }
}

Effect Skull_effect = {"Skull", init, deinit, update, postRetraceUpdate, render, start, false, 15, 0};

void skull_getState(ObjectSceneState* out)
{
    *out = {};
    out->position[0] = s_position.x;
    out->position[1] = s_position.y;
    out->position[2] = s_position.z;
    out->rotation[0] = s_rotation.x;
    out->rotation[1] = s_rotation.y;
    out->rotation[2] = s_rotation.z;
    out->bob_phase = bob_phase;
    out->wireframe = skull_wireframe;
    out->bright = skull_bright;
    out->fade_timer = fade_timer;
    out->flash_timer = skull_flash_timer;
    out->fadeout_timer = skull_fadeout_timer;
    out->spike_timer = 1.0f;
    out->sway_phase = sway_phase;
    out->palette = skull_packed ? skull_packed->palette : nullptr;
    out->model = &skull_model;
}
