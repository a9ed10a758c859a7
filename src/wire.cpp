// Wire scene. The torus turns 60 degrees per second on every axis; music triggers switch the look
// (and jump the orientation) at orders 5-8, flash the wire every 4 rows of order 8 and start the
// final fade at order 8 row 58. All state is loaded once and never reset: the scene runs once.
#include "wire.h"

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

#include <cstring>

static const float StartZ = 55.0f;

static ImagePack* wire_packed;
static uint8_t* wire_texture;
static uint8_t* wire_envmap;
static uint8_t* pal;
static uint8_t* lut;
static ImagePackImage* wire_bg;
static Model wire_model;
static uint32_t clearColour;
static uint8_t brightCol;

static vec3 s_position;
static vec3 s_rotation;
static int wire_wireframe = 0;
static int wire_filled = 0;
static int wire_mask = 0;
static int wire_diffuse = 0;
static int wire_env = 0;
static int wire_hide = 0;
static float flash_timer = 1.0f;
static float wire_flash_timer = 1.0f;
static float wire_fade_timer = 0.0f;

static void setLook(int wireframe, int filled, int mask, int diffuse, int env)
{
    wire_wireframe = wireframe;
    wire_filled = filled;
    wire_mask = mask;
    wire_diffuse = diffuse;
    wire_env = env;
    flash_timer = 0.0f;
}

static void wire_start()
{
    setLook(1, 0, 1, 0, 0);
}

static void wire_do_filled()
{
    s_rotation.x *= 5.0f;
    s_rotation.y *= -34.0f;
    s_rotation.z *= 23.0f;
    setLook(1, 1, 1, 0, 0);
}

static void wire_do_diffuse_env()
{
    s_rotation.x -= 15.0f;
    s_rotation.y -= 156.0f;
    s_rotation.z += 78.0f;
    setLook(0, 1, 0, 1, 1);
}

static void wire_do_all()
{
    s_rotation.x *= 5.0f;
    s_rotation.y *= 4.0f;
    s_rotation.z *= -18.0f;
    setLook(1, 1, 0, 1, 1);
}

static void wire_flash()
{
    wire_flash_timer = 0.0f;
}

static void wire_flash_done()
{
    wire_hide = 1;
}

static Trigger wire_triggers[18] = {
    {5, 0, 0, wire_start},
    {6, 0, 0, wire_do_filled},
    {7, 0, 0, wire_do_diffuse_env},
    {8, 0, 0, wire_do_all},
    {8, 8, 0, wire_flash},
    {8, 12, 0, wire_flash},
    {8, 16, 0, wire_flash},
    {8, 20, 0, wire_flash},
    {8, 24, 0, wire_flash},
    {8, 28, 0, wire_flash},
    {8, 32, 0, wire_flash},
    {8, 36, 0, wire_flash},
    {8, 40, 0, wire_flash},
    {8, 44, 0, wire_flash},
    {8, 48, 0, wire_flash},
    {8, 52, 0, wire_flash},
    {8, 56, 0, wire_flash},
    {8, 58, 0, wire_flash_done},
};

static int init()
{
    wire_packed = impack_load("srcdata/blueenv.qxp");
    if (!wire_packed)
        return 0;
    wire_texture = wire_packed->texture;
    wire_envmap = wire_packed->envmap;
    pal = wire_packed->palette;
    lut = wire_packed->lut;
    wire_bg = &wire_packed->images[0];
    // The background is copied as a whole frame: a smaller image would be read past its end.
    if (wire_bg->pixels && (uint32_t)wire_bg->width * wire_bg->height < 64000) {
        log_print("wire: srcdata/blueenv.qxp: background image smaller than 320 x 200\n");
        return 0;
    }
    if (!model_load("srcdata/torus.qx3", &wire_model))
        return 0;

    // No black entry gives -1, i.e. 0xFF in every byte.
    const uint32_t black = (uint8_t)video_findPaletteIndex(pal, 0, 0, 0);
    clearColour = black * 0x01010101u;
    brightCol = (uint8_t)video_findPaletteBrightest(pal);

    // Keep the brightest colour for the wireframe alone, so that the wire flash (which changes only
    // that entry) never touches a shaded surface.
    const uint8_t grey = (uint8_t)video_findPaletteNearestIndex(pal, 60, 60, 60);
    for (int i = 0; i < 65536; i++)
        if (lut[i] == brightCol)
            lut[i] = grey;
    return 1;
}

static void deinit()
{
    model_destroy(&wire_model);
    if (wire_packed)
        impack_destroy(wire_packed);
    wire_packed = nullptr;
}

static void start()
{
    s_position = {};
    s_position.z = StartZ;
    s_rotation = {};
    r3d_clearZbuffer();
    r3d_setTexture(0, wire_texture);
    r3d_setTexture(1, wire_envmap);
    r3d_setLUT(lut);
}

static void update(float dt)
{
    const float step = dt * 60.0f;
    modplay_updateTriggers(wire_triggers, 18);
    s_rotation.x = math_wrapDegrees(s_rotation.x + step);
    s_rotation.y = math_wrapDegrees(s_rotation.y + step);
    s_rotation.z = math_wrapDegrees(s_rotation.z + step);
    mat matrix;
    mat_set(&matrix, s_rotation, s_position);
    r3d_transformAndProject(&wire_model, &matrix);
}

static void render()
{
    uint8_t* buffer = video_getBuffer(0);
    if (wire_bg->pixels)
        util_blit(buffer, wire_bg->pixels, 16000);
    else
        util_clear(buffer, clearColour, 16000);

    r3d_begin(buffer);
    r3d_setMaskValue((uint8_t)(clearColour & 0xFF));
    r3d_setTextureEnabled(0, wire_diffuse != 0);
    r3d_setTextureEnabled(1, wire_env != 0);
    if (wire_filled) {
        r3d_setMaskEnabled(wire_mask != 0);
        r3d_render(&wire_model);
    }
    if (wire_mask)
        r3d_begin(buffer);
    if (wire_wireframe)
        r3d_renderWireframe(&wire_model, 0.001f, brightCol);
    r3d_end();
    r3d_setMaskValue(255);
}

static inline float advance(float timer, float amount)
{
    timer += amount;
    return timer < 1.0f ? timer : 1.0f;
}

static void processFlash(float dt)
{
    if (flash_timer < 1.0f) {
        flash_timer = advance(flash_timer, dt);
        video_fadePaletteFromWhite(pal, 0, 256, flash_timer);
    }
    if (wire_flash_timer < 1.0f) {
        wire_flash_timer = advance(wire_flash_timer, 4.0f * dt);
        video_fadePaletteToBlack(pal, brightCol, 1, wire_flash_timer);
    }
}

static void postRetraceUpdate(float dt)
{
    if (wire_hide) {
        video_fadePaletteToBlack(pal, 0, 256, wire_fade_timer);
        wire_fade_timer = advance(wire_fade_timer, 2.0f * dt);
    }
    processFlash(dt);
}

Effect Wire_effect = {"Wire", init, deinit, update, postRetraceUpdate, render, start, false, 5, 0};

void wire_getState(WireState* out)
{
    out->position[0] = s_position.x;
    out->position[1] = s_position.y;
    out->position[2] = s_position.z;
    out->position[3] = 0.0f;
    out->rotation[0] = s_rotation.x;
    out->rotation[1] = s_rotation.y;
    out->rotation[2] = s_rotation.z;
    out->rotation[3] = 0.0f;
    out->wireframe = wire_wireframe;
    out->filled = wire_filled;
    out->mask = wire_mask;
    out->diffuse = wire_diffuse;
    out->env = wire_env;
    out->hide = wire_hide;
    out->flash_timer = flash_timer;
    out->wire_flash_timer = wire_flash_timer;
    out->wire_fade_timer = wire_fade_timer;
    out->clearColour = clearColour;
    out->brightCol = brightCol;
    out->palette = pal;
    out->lut = lut;
    out->background = wire_bg ? wire_bg->pixels : nullptr;
    out->model = &wire_model;
}
