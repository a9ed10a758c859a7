// 2D particle pool.
#include "particle.h"

#include <cmath>
#include <cstring>

#include "drawdot.h"
#include "math.h"
#include "mem.h"
#include "video.h"

static inline bool live(const Particle2d& p)
{
    return !std::signbit(p.life);
}

ParticleSystem2d* particle2d_create(int count)
{
    if (count < 0)
        count = 0;
    ParticleSystem2d* system = (ParticleSystem2d*)mem_malloc(sizeof(ParticleSystem2d));
    system->count = count;
    system->particles = (Particle2d*)mem_malloc(sizeof(Particle2d) * (size_t)(count ? count : 1));
    memset(system->particles, 0, sizeof(Particle2d) * (size_t)count);
    for (int i = 0; i < count; i++)
        system->particles[i].life = -1.0f;
    system->render = defaultRenderFunc;
    return system;
}

void particle2d_destroy(ParticleSystem2d* system)
{
    if (!system)
        return;
    mem_free(system->particles);
    mem_free(system);
}

Particle2d* particle2d_add(ParticleSystem2d* system, float x, float y)
{
    for (int i = 0; i < system->count; i++) {
        Particle2d* p = &system->particles[i];
        if (p->life <= 0.0f) {
            p->x = x;
            p->y = y;
            p->vx = p->vy = 0.0f;
            p->ax = p->ay = 0.0f;
            p->data = 0;
            return p;
        }
    }
    return nullptr;
}

void particle2d_update(ParticleSystem2d* system, float dt)
{
    for (int i = 0; i < system->count; i++) {
        Particle2d& p = system->particles[i];
        if (!live(p))
            continue;
        p.life -= dt;
        p.x += p.vx * dt;
        p.y += p.vy * dt;
        p.sx = math_roundPosition(p.x);
        p.sy = math_roundPosition(p.y);
    }
}

void particle2d_updateWithAccleration(ParticleSystem2d* system, float dt)
{
    for (int i = 0; i < system->count; i++) {
        Particle2d& p = system->particles[i];
        if (!(p.life > 0.0f))
            continue;
        p.vx += p.ax * dt;
        p.vy += p.ay * dt;
        p.x += p.vx * dt;
        p.y += p.vy * dt;
        p.ax = p.ay = 0.0f;
        p.life -= dt;
        p.sx = math_roundPosition(floorf(p.x));
        p.sy = math_roundPosition(floorf(p.y));
    }
}

void particle2d_updateParticle(Particle2d* p, const float* field, float step)
{
    p->sx = math_roundPosition(p->x);
    p->sy = math_roundPosition(p->y);
    if (p->sx < 0 || p->sx >= VideoWidth || p->sy < 0 || p->sy >= VideoHeight)
        return;
    if (field) {
        const float* cell = field + 2 * ((p->sy / ParticleFieldCell) * ParticleFieldWidth + p->sx / ParticleFieldCell);
        p->ax = cell[0];
        p->ay = cell[1];
    }
    p->vx += p->ax * step;
    p->vy += p->ay * step;
    p->x += p->vx * step;
    p->y += p->vy * step;
    const float speed = 1.0f / math_rsqrt(p->vx * p->vx + p->vy * p->vy);
    if (speed > 2.0f) {
        const float k = 2.0f / speed;
        p->vx *= k;
        p->vy *= k;
    }
}

void particle2d_updateWithField(ParticleSystem2d* system, const float* field, float dt)
{
    const float step = field ? dt * 50.0f : dt;
    for (int i = 0; i < system->count; i++) {
        Particle2d& p = system->particles[i];
        if (!(p.life > 0.0f))
            continue;
        p.life -= dt;
        if (p.life < 0.0f)
            continue;
        const int32_t rx = math_roundPosition(p.x), ry = math_roundPosition(p.y);
        if (rx < 0)
            p.x = 319.0f;
        else if (rx >= VideoWidth)
            p.x = 0.0f;
        if (ry < 0)
            p.y = 199.0f;
        else if (ry >= VideoHeight)
            p.y = 0.0f;
        particle2d_updateParticle(&p, field, step);
    }
}

void particle2d_render(const ParticleSystem2d* system, uint8_t* buffer)
{
    for (int i = 0; i < system->count; i++) {
        const Particle2d& p = system->particles[i];
        if (live(p) && (unsigned)p.sx < (unsigned)VideoWidth && (unsigned)p.sy < (unsigned)VideoHeight)
            system->render(&p, buffer);
    }
}

void particle2d_renderNoCull(const ParticleSystem2d* system, uint8_t* buffer)
{
    for (int i = 0; i < system->count; i++) {
        const Particle2d& p = system->particles[i];
        if (live(p))
            system->render(&p, buffer);
    }
}

void defaultRenderFunc(const Particle2d* particle, uint8_t* buffer)
{
    video_drawAddDot(particle->sx, particle->sy, buffer);
}
