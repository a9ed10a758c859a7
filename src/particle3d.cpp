// 3D particle pool.
#include "particle3d.h"

#include <cmath>

#include "drawdot.h"
#include "mem.h"
#include "video.h"

float particle3d_fov = 256.0f;

static inline bool live(const Particle3d& p)
{
    return !std::signbit(p.life);
}

Particle3dSystem* particle3d_create(int capacity)
{
    if (capacity < 0)
        capacity = 0;
    Particle3dSystem* s = (Particle3dSystem*)mem_malloc(sizeof(Particle3dSystem));
    s->capacity = capacity;
    s->numLive = 0;
    s->particles = (Particle3d*)mem_malloc(sizeof(Particle3d) * (size_t)(capacity ? capacity : 1));
    for (int i = 0; i < capacity; i++) {
        Particle3d& p = s->particles[i];
        p = Particle3d{};
        p.life = -1.0f;
    }
    s->renderFunc = defaultRenderFunc;
    mat_set(&s->matrix, vec3{0, 0, 0, 0}, vec3{0, 0, 0, 0});
    return s;
}

void particle3d_destroy(Particle3dSystem* s)
{
    if (!s)
        return;
    mem_free(s->particles);
    mem_free(s);
}

Particle3d* particle3d_spawn(Particle3dSystem* s)
{
    for (int i = 0; i < s->capacity; i++)
        if (s->particles[i].life < 0.0f)
            return &s->particles[i];
    return nullptr;
}

// The projection rounds in the current mode (the show's first frame runs in loading's truncation)
// through O: the plain operators where that is the hardware's or round-to-nearest, fround's
// current-mode operations otherwise.
template <class O>
static void update(Particle3dSystem* s, float dt, const O& o)
{
    const float(*m)[4] = s->matrix.m;
    int count = 0;
    for (int i = 0; i < s->capacity; i++) {
        Particle3d& p = s->particles[i];
        if (!live(p))
            continue;
        count++;
        if (p.acc.x != 0.0f || p.acc.y != 0.0f || p.acc.z != 0.0f) {
            p.vel.x += p.acc.x * dt;
            p.vel.y += p.acc.y * dt;
            p.vel.z += p.acc.z * dt;
            p.acc.x = p.acc.y = p.acc.z = 0.0f;
        }
        p.pos.x += p.vel.x * dt;
        p.pos.y += p.vel.y * dt;
        p.pos.z += p.vel.z * dt;
        p.life -= dt;
        const vec3& q = p.pos;
        // Column c of the matrix applied to the position, operation by operation in this order.
        const auto transformed = [&](int c) {
            return o.add(o.add(o.add(o.mul(q.x, m[0][c]), o.mul(q.y, m[1][c])), o.mul(q.z, m[2][c])), m[3][c]);
        };
        p.depth = transformed(2);
        if (std::signbit(p.depth))
            continue;
        const float f = o.div(particle3d_fov, p.depth);
        const float x = transformed(0);
        const float y = transformed(1);
        p.sx = o.add(160.0f, o.mul(x, f));
        p.sy = o.sub(100.0f, o.mul(y, f));
    }
    s->numLive = count;
}

void particle3d_update(Particle3dSystem* s, float dt)
{
    if (fround_plain())
        update(s, dt, FroundPlainOps{});
    else
        update(s, dt, FroundOps{});
}

void particle3d_render(const Particle3dSystem* s, uint8_t* frameBuffer)
{
    for (int i = 0; i < s->capacity; i++) {
        const Particle3d& p = s->particles[i];
        if (live(p) && p.depth >= 0.0f && p.sx >= 0.0f && p.sx < 320.0f && p.sy >= 0.0f && p.sy < 200.0f)
            s->renderFunc(&p, frameBuffer);
    }
}

void defaultRenderFunc(const Particle3d* p, uint8_t* frameBuffer)
{
    // The tests also hold NaN back; inside them the rounded position fits an int.
    if (p->sx + 4.0f < 320.0f && p->sy + 4.0f < 200.0f && p->sx >= -4.0f && p->sy >= -4.0f)
        video_drawAddDot((int)lrintf(p->sx), (int)lrintf(p->sy), frameBuffer);
}
