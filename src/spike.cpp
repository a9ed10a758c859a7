// Spike scene. Until the kick the spike ball is shown as a smooth sphere (every vertex pushed out to
// radius 13.435 along its direction); at order 12 row 0 it flashes, jumps from depth 60 to 80 and
// grows its spikes over 0.5 s on an ease-in-out curve; from order 12 row 58 it fades to black.
// It has no wireframe overlay, and its depth does not bob. Timers run from 0 to 1; 1.0 means idle, and none passes 1.0.
#include "spike.h"

#include "effect.h"
#include "impack.h"
#include "log.h"
#include "mat.h"
#include "math.h"
#include "mem.h"
#include "model.h"
#include "modplay.h"
#include "r3d.h"
#include "util.h"
#include "video.h"

#include <cmath>

static const float Spike_StartZ = 60.0f;
static const float SphereRadius = 13.435f;

static ImagePack* spike_packed;
static uint8_t* texture;
static uint8_t* envmap;
static uint8_t* lut;
static ImagePackImage* bg;
static Model spike_model;

static vec3 s_position;
static vec3 s_rotation;
static float bob_phase = 0.0f;
static float fade_timer = 0.0f;
static float spike_flash_timer = 1.0f;
static float spike_fadeout_timer = 1.0f;
static vec4* vertices;   // the model's own positions
static vec4* vertices2;  // the same directions on the sphere
static float spike_timer = 1.0f;

static void spike_animate()
{
    spike_timer = 0.0f;
    spike_flash_timer = 0.0f;
    s_position.z = 80.0f;
}

static void spike_fade_out()
{
    spike_fadeout_timer = 0.0f;
}

static Trigger spike_triggers[2] = {
    {12, 0, 0, spike_animate},
    {12, 58, 0, spike_fade_out},
};

static const char* const PackFile = "srcdata/spike.qxp";

static int init()
{
    spike_packed = impack_load(PackFile);
    if (!spike_packed)
        return 0;
    texture = spike_packed->texture;
    envmap = spike_packed->envmap;
    lut = spike_packed->lut;
    bg = &spike_packed->images[0];
    // The background is copied as a whole frame every frame: a smaller image would be read past.
    if (!bg->pixels || (uint32_t)bg->width * bg->height < 64000) {
        log_print("spike: %s has no 320 x 200 background image\n", PackFile);
        return 0;
    }
    if (!model_load("srcdata/spike.qx3", &spike_model))
        return 0;

    // Keep the spiky shape and show the ball until the kick.
    const int n = spike_model.numVerts;
    vertices = (vec4*)mem_malloc(sizeof(vec4) * (n ? n : 1));
    vertices2 = (vec4*)mem_malloc(sizeof(vec4) * (n ? n : 1));
    for (int i = 0; i < n; i++) {
        vec3 p = spike_model.verts[i].pos;
        vertices[i] = {p.x, p.y, p.z, 0.0f};
        vec3_normalise(&p);
        vertices2[i] = {p.x * SphereRadius, p.y * SphereRadius, p.z * SphereRadius, 0.0f};
        spike_model.verts[i].pos.x = vertices2[i].x;
        spike_model.verts[i].pos.y = vertices2[i].y;
        spike_model.verts[i].pos.z = vertices2[i].z;
    }
    return 1;
}

static void deinit()
{
    mem_free(vertices);
    mem_free(vertices2);
    vertices = nullptr;
    vertices2 = nullptr;
    model_destroy(&spike_model);
    if (spike_packed)
        impack_destroy(spike_packed);
    spike_packed = nullptr;
}

static void start()
{
    s_position = {};
    s_position.z = Spike_StartZ;
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

static inline float advance(float timer, float amount)
{
    timer += amount;
    return timer < 1.0f ? timer : 1.0f;
}

float ease_inOutQuad(float t)
{
    return t < 0.5f ? 2.0f * t * t : -1.0f + (4.0f - 2.0f * t) * t;
}

static void update(float dt)
{
    const float step = dt * 50.0f;
    modplay_updateTriggers(spike_triggers, 2);
    s_rotation.x = wrapDegrees(s_rotation.x + 2.0f * step);
    s_rotation.y = wrapDegrees(s_rotation.y + 1.0f * step);
    s_rotation.z = wrapDegrees(s_rotation.z + 2.0f * step);
    bob_phase = wrapDegrees(bob_phase + 2.0f * step);

    // 22.7555 = 8192 / 360 in single precision; the table holds (sin, cos) pairs.
    const int i = (int)(lrintf(bob_phase * 22.7555f) & 8191);
    const float s = g_sincosf[2 * i];
    const float c = g_sincosf[2 * i + 1];
    s_position.x = 5.0f * s;
    s_position.y = 8.0f * c;

    mat matrix;
    mat_set(&matrix, s_rotation, s_position);

    // The morph: the frame on which the timer reaches 1 writes the spiky shape exactly (e = 1).
    if (spike_timer < 1.0f) {
        spike_timer = advance(spike_timer, 2.0f * dt);
        const float e = ease_inOutQuad(spike_timer);
        const float ie = 1.0f - e;
        ModelVertex* v = spike_model.verts;
        for (int i = 0, n = spike_model.numVerts; i < n; i++) {
            v[i].pos.x = vertices2[i].x * ie + vertices[i].x * e;
            v[i].pos.y = vertices2[i].y * ie + vertices[i].y * e;
            v[i].pos.z = vertices2[i].z * ie + vertices[i].z * e;
        }
    }
    r3d_transformAndProject(&spike_model, &matrix);
}

static void render()
{
    uint8_t* buffer = video_getBuffer(0);
    util_blit(buffer, bg->pixels, 16000);
    r3d_begin(buffer);
    r3d_setFov(250.0f);
    r3d_render(&spike_model);
    r3d_end();
}

static void postRetraceUpdate(float dt)
{
    const uint8_t* pal = spike_packed->palette;
    if (spike_fadeout_timer < 1.0f) {
        spike_fadeout_timer = advance(spike_fadeout_timer, 4.0f * dt);
        video_fadePaletteToBlack(pal, 0, 256, spike_fadeout_timer);
    }
    if (fade_timer < 1.0f) {
        fade_timer = advance(fade_timer, 4.0f * dt);
        video_fadePaletteFromBlack(pal, 0, 256, fade_timer);
    }
    if (spike_flash_timer < 1.0f) {
        spike_flash_timer = advance(spike_flash_timer, dt);
        video_fadePaletteFromWhite(pal, 0, 256, spike_flash_timer);
    }
}

Effect Spike_effect = {"Spike", init, deinit, update, postRetraceUpdate, render, start, false, 11, 0};

void spike_getState(ObjectSceneState* out)
{
    *out = {};
    out->position[0] = s_position.x;
    out->position[1] = s_position.y;
    out->position[2] = s_position.z;
    out->rotation[0] = s_rotation.x;
    out->rotation[1] = s_rotation.y;
    out->rotation[2] = s_rotation.z;
    out->bob_phase = bob_phase;
    out->fade_timer = fade_timer;
    out->flash_timer = spike_flash_timer;
    out->fadeout_timer = spike_fadeout_timer;
    out->spike_timer = spike_timer;
    out->palette = spike_packed ? spike_packed->palette : nullptr;
    out->model = &spike_model;
}

const float* spike_getVertices()
{
    return &vertices[0].x;
}

const float* spike_getSphereVertices()
{
    return &vertices2[0].x;
}
