// QxLogo scene.
#include "qx_logo.h"

#include <cmath>

#include "drawdot.h"
#include "effect.h"
#include "image.h"
#include "log.h"
#include "mem.h"
#include "modplay.h"
#include "particle.h"
#include "random.h"
#include "util.h"
#include "video.h"

enum { BurstSize = 32, PoolSize = 700 };
static const float BurstInterval = 0.05f;

static ParticleSystem2d* title_particle;
static Image* qx_logo;
static float* logo_points;
static int* logo_velocity;
static int num_logo_points;
static uint8_t* palette;
static int qxlogo_spawn_particles = 1;
static float spawn_timer;
static uint8_t palette_set;

static void qxlogo_stop()
{
    qxlogo_spawn_particles = 0;
}

static Trigger qxlogo_triggers[1] = {{26, 50, 0, qxlogo_stop}};

// 0 at birth and death, 8 at mid-life: that many times the disc of the big dot.
static void particleRenderFunc(const Particle2d* p, uint8_t* buffer)
{
    const float level = (1.0f - 2.0f * fabsf(p->life / p->maxLife - 0.5f)) * 8.0f;
    video_drawAddDotColBig(p->sx, p->sy, buffer, (int)lrintf(level));
}

static int init()
{
    title_particle = particle2d_create(PoolSize);
    title_particle->render = particleRenderFunc;
    // Palette kept as stored: only zero and non-zero components matter for the drift kinds.
    qx_logo = image_loadFromFile("srcdata/logopart.tga", 0);
    if (!qx_logo->palette) {
        log_print("qx_logo: srcdata/logopart.tga: not an 8-bit palettised image\n");
        return 0;
    }
    const int w = (int)qx_logo->width, h = (int)qx_logo->height;
    const size_t pixels = (size_t)w * h;
    logo_points = (float*)mem_malloc(pixels * 2 * sizeof(float) + 1);
    logo_velocity = (int*)mem_malloc(pixels * sizeof(int) + 1);
    num_logo_points = 0;
    for (int x = 0; x < w; x++)
        for (int y = 0; y < h; y++) {
            const uint8_t* c = qx_logo->palette + 3 * qx_logo->pixels[(size_t)y * w + x];
            if (!c[0] && !c[1] && !c[2])
                continue;
            logo_points[2 * num_logo_points] = (float)x + 160.0f - 0.5f * (float)w;
            logo_points[2 * num_logo_points + 1] = (float)y + 100.0f - 0.5f * (float)h;
            logo_velocity[num_logo_points] = (c[0] && c[1] && c[2]) ? 0 : c[0] ? 1 : 2;
            num_logo_points++;
        }
    palette = image_loadPalette("srcdata/bwgrad.pal");
    return 1;
}

static void deinit()
{
    particle2d_destroy(title_particle);
    title_particle = nullptr;
    image_destroyPalette(palette);
    palette = nullptr;
    image_destroy(qx_logo);
    qx_logo = nullptr;
    mem_free(logo_velocity);
    mem_free(logo_points);
    logo_velocity = nullptr;
    logo_points = nullptr;
}

static void start()
{
    util_clear(video_getBuffer(0), 0, 16000);
}

static void spawn()
{
    // A logo without a single lit pixel has nowhere to put a particle (and nothing to pick from).
    if (num_logo_points <= 0)
        return;
    for (int n = 0; n < BurstSize; n++) {
        Particle2d* p = particle2d_add(title_particle, 0.0f, 0.0f);
        if (!p)
            continue;
        const float f = random_float();
        const int i = random_next() % num_logo_points;
        p->life = p->maxLife = (1.0f - f) * 0.8f + f * 2.5f;
        p->x = logo_points[2 * i];
        p->y = logo_points[2 * i + 1];
        switch (logo_velocity[i]) {
        case 2:
            p->vx = 0.0f;
            p->vy = 4.0f * random_float() - 2.0f;
            break;
        case 1:
            p->vx = 4.0f * random_float() - 2.0f;
            p->vy = 0.0f;
            break;
        default:
            p->vx = p->vy = 0.0f;
            break;
        }
    }
}

static void update(float dt)
{
    modplay_updateTriggers(qxlogo_triggers, 1);
    if (qxlogo_spawn_particles) {
        spawn_timer += dt;
        if (spawn_timer > BurstInterval) {
            spawn_timer -= BurstInterval;
            spawn();  // at most one burst a frame; a long frame keeps its surplus
        }
    }
    particle2d_update(title_particle, dt);
}

static void render()
{
    particle2d_render(title_particle, video_getBuffer(0));
    video_blur(video_getBuffer(0), video_getBuffer(1));
    video_swapBuffers();
}

static void postRetraceUpdate(float dt)
{
    if (!palette_set) {
        video_setPalette(palette);
        palette_set = 1;
    }
}

Effect QxLogo_effect = {"QxLogo", init, deinit, update, postRetraceUpdate, render, start, false, 25, 0};

void qxlogo_getState(QxLogoState* out)
{
    out->title_particle = title_particle;
    out->logo_points = logo_points;
    out->logo_velocity = logo_velocity;
    out->num_logo_points = num_logo_points;
    out->qxlogo_spawn_particles = qxlogo_spawn_particles;
    out->spawn_timer = spawn_timer;
    out->palette_set = palette_set;
    out->palette = palette;
}
