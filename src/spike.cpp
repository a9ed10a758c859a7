// Spike scene. Until the kick the spike ball is shown as a smooth sphere (every vertex pushed out to
// radius 13.435 along its direction); at order 12 row 0 it flashes, jumps from depth 60 to 80 and
// grows its spikes over 0.5 s on an ease-in-out curve; from order 12 row 58 it fades to black.
// It has no wireframe overlay, and its depth does not bob. Timers run from 0 to 1; 1.0 means idle,
// and none passes 1.0.
#include "spike.h"

#include "effect.h"
#include "fround.h"
#include "impack.h"
#include "mem.h"
#include "model.h"
#include "modplay.h"
#include "objscene.h"

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

static int init()
{
    if (!objscene_load("spike", "srcdata/spike.qxp", "srcdata/spike.qx3", &spike_packed, &bg, &spike_model))
        return 0;
    texture = spike_packed->texture;
    envmap = spike_packed->envmap;
    lut = spike_packed->lut;

    // The morph rewrites every position each frame: project each vertex on its own.
    model_unshareVertices(&spike_model);
    // Keep the spiky shape and show the ball until the kick.
    const int n = spike_model.numVerts;
    vertices = (vec4*)mem_malloc(sizeof(vec4) * (n ? n : 1));
    vertices2 = (vec4*)mem_malloc(sizeof(vec4) * (n ? n : 1));
    for (int i = 0; i < n; i++) {
        vec3 p = spike_model.verts[i].pos;
        vertices[i] = {p.x, p.y, p.z, 0.0f};
        vec3_normalise(&p);
        // Loading runs in truncation: rounded so, in software where the platform has no modes.
        vertices2[i] = {fround_mul(p.x, SphereRadius), fround_mul(p.y, SphereRadius), fround_mul(p.z, SphereRadius), 0.0f};
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
    objscene_unload(&spike_packed, &spike_model);
}

static void start()
{
    objscene_start(&s_position, &s_rotation, Spike_StartZ, texture, envmap, lut);
}

static void update(float dt)
{
    const float step = dt * 50.0f;
    modplay_updateTriggers(spike_triggers, 2);
    s_rotation.x = math_wrapDegrees(s_rotation.x + 2.0f * step);
    s_rotation.y = math_wrapDegrees(s_rotation.y + 1.0f * step);
    s_rotation.z = math_wrapDegrees(s_rotation.z + 2.0f * step);
    bob_phase = math_wrapDegrees(bob_phase + 2.0f * step);
    objscene_bob(&s_position, bob_phase, 5.0f, 8.0f);

    // The morph: the frame on which the timer reaches 1 writes the spiky shape exactly (e = 1).
    if (spike_timer < 1.0f) {
        spike_timer = objscene_advance(spike_timer, 2.0f * dt);
        const float e = ease_inOutQuad(spike_timer);
        const float ie = 1.0f - e;
        ModelVertex* v = spike_model.verts;
        for (int i = 0, n = spike_model.numVerts; i < n; i++) {
            v[i].pos.x = vertices2[i].x * ie + vertices[i].x * e;
            v[i].pos.y = vertices2[i].y * ie + vertices[i].y * e;
            v[i].pos.z = vertices2[i].z * ie + vertices[i].z * e;
        }
    }
    objscene_project(&spike_model, s_rotation, s_position);
}

static void render()
{
    objscene_render(bg, &spike_model, 0, 0);
}

static void postRetraceUpdate(float dt)
{
    objscene_fadePalette(spike_packed->palette, dt, &spike_fadeout_timer, 4.0f, &fade_timer, &spike_flash_timer);
}

Effect Spike_effect = {"Spike", init, deinit, update, postRetraceUpdate, render, start, false, 11, 0};

void spike_getState(ObjectSceneState* out)
{
    objscene_getState(out, s_position, s_rotation, bob_phase, fade_timer, spike_flash_timer, spike_fadeout_timer,
                      spike_packed, &spike_model);
    out->spike_timer = spike_timer;
}

const float* spike_getVertices()
{
    return &vertices[0].x;
}

const float* spike_getSphereVertices()
{
    return &vertices2[0].x;
}
