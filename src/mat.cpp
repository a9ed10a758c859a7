// Matrices: row vectors, translation in row 3, column 3 untouched.
#include "mat.h"

#include <cstring>

static const float DegToRad = 0.017453292f;

void mat_setIdentity(mat* m)
{
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 3; c++)
            m->m[r][c] = (r == c) ? 1.0f : 0.0f;
}

// Sine and cosine through double, narrowed to float in the current mode: the same float on every C
// library in practice (a double result within a unit of a float boundary is the only way two
// libraries could disagree), so the browser build's matrices are the native build's bit for bit;
// float sinf/cosf differ between libraries in the last bit for some angles. Every operation here
// rounds in the current mode: a scene's first frame runs in loading's truncation.
static inline float mat_sin(float a)
{
    return fround_narrowDouble(sin((double)a));
}

static inline float mat_cos(float a)
{
    return fround_narrowDouble(cos((double)a));
}

void mat_copy(mat* dst, const mat* src)
{
    memcpy(dst, src, sizeof(mat));
}

void mat_setRotateX(mat* m, float degrees)
{
    float a = fround_mul(degrees, DegToRad);
    float c = mat_cos(a), s = mat_sin(a);
    mat_setIdentity(m);
    m->m[1][1] = c;
    m->m[1][2] = -s;
    m->m[2][1] = s;
    m->m[2][2] = c;
}

void mat_setRotateY(mat* m, float degrees)
{
    float a = fround_mul(degrees, DegToRad);
    float c = mat_cos(a), s = mat_sin(a);
    mat_setIdentity(m);
    m->m[0][0] = c;
    m->m[0][2] = -s;
    m->m[2][0] = s;
    m->m[2][2] = c;
}

void mat_setRotateZ(mat* m, float degrees)
{
    float a = fround_mul(degrees, DegToRad);
    float c = mat_cos(a), s = mat_sin(a);
    mat_setIdentity(m);
    m->m[0][0] = c;
    m->m[0][1] = -s;
    m->m[1][0] = s;
    m->m[1][1] = c;
}

void mat_set(mat* m, vec3 rotation, vec3 position)
{
    float ax = fround_mul(rotation.x, DegToRad), ay = fround_mul(rotation.y, DegToRad),
          az = fround_mul(rotation.z, DegToRad);
    float cx = mat_cos(ax), sx = mat_sin(ax);
    float cy = mat_cos(ay), sy = mat_sin(ay);
    float cz = mat_cos(az), sz = mat_sin(az);
    m->m[0][0] = fround_mul(cy, cz);
    m->m[0][1] = fround_mul(-sz, cy);
    m->m[0][2] = -sy;
    m->m[1][0] = fround_sub(fround_mul(sz, cx), fround_mul(fround_mul(sx, cz), sy));
    m->m[1][1] = fround_add(fround_mul(fround_mul(sz, sy), sx), fround_mul(cz, cx));
    m->m[1][2] = fround_mul(-sx, cy);
    m->m[2][0] = fround_add(fround_mul(fround_mul(cx, cz), sy), fround_mul(sz, sx));
    m->m[2][1] = fround_sub(fround_mul(sx, cz), fround_mul(fround_mul(sz, sy), cx));
    m->m[2][2] = fround_mul(cx, cy);
    m->m[3][0] = position.x;
    m->m[3][1] = position.y;
    m->m[3][2] = position.z;
}

void mat_setComponents(mat* m, float rx, float ry, float rz, float px, float py, float pz)
{
    vec3 rotation = {rx, ry, rz, 0.0f};
    vec3 position = {px, py, pz, 0.0f};
    mat_set(m, rotation, position);
}

void mat_transformDirection(const mat* m, const vec3* v, vec3* out)
{
    float x = v->x, y = v->y, z = v->z;
    for (int j = 0; j < 3; j++)
        (&out->x)[j] = fround_dot3(x, y, z, m->m[0][j], m->m[1][j], m->m[2][j]);
}

void mat_multiply(mat* out, const mat* a, const mat* b)
{
    // Formed in a local first so that out may be a or b as well.
    float r[4][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            r[i][j] = fround_dot3(b->m[i][0], b->m[i][1], b->m[i][2], a->m[0][j], a->m[1][j], a->m[2][j]);
    for (int j = 0; j < 3; j++)
        r[3][j] = fround_add(fround_dot3(b->m[3][0], b->m[3][1], b->m[3][2], a->m[0][j], a->m[1][j], a->m[2][j]),
                             a->m[3][j]);
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++)
            out->m[i][j] = r[i][j];
}

// Forward, right and up axes of a frame at `from` looking at `to` (up reference +y).
static void lookAxes(vec3 from, vec3 to, vec3* f, vec3* r, vec3* u)
{
    static const vec3 up = {0.0f, 1.0f, 0.0f, 0.0f};
    *f = {fround_sub(to.x, from.x), fround_sub(to.y, from.y), fround_sub(to.z, from.z), 0.0f};
    vec3_normalise(f);
    vec3_cross(&up, f, r);
    vec3_normalise(r);
    vec3_cross(f, r, u);
    vec3_normalise(u);
}

void mat_lookAt(mat* m, vec3 position, vec3 target)
{
    vec3 f, r, u;
    lookAxes(position, target, &f, &r, &u);
    m->m[0][0] = r.x; m->m[0][1] = r.y; m->m[0][2] = r.z;
    m->m[1][0] = u.x; m->m[1][1] = u.y; m->m[1][2] = u.z;
    m->m[2][0] = f.x; m->m[2][1] = f.y; m->m[2][2] = f.z;
    m->m[3][0] = position.x; m->m[3][1] = position.y; m->m[3][2] = position.z;
}

void mat_lookAtView(mat* m, vec3 eye, vec3 target)
{
    vec3 f, r, u;
    lookAxes(eye, target, &f, &r, &u);
    m->m[0][0] = r.x; m->m[1][0] = r.y; m->m[2][0] = r.z;
    m->m[0][1] = u.x; m->m[1][1] = u.y; m->m[2][1] = u.z;
    m->m[0][2] = f.x; m->m[1][2] = f.y; m->m[2][2] = f.z;
    m->m[3][0] = -fround_dot3(r.x, r.y, r.z, eye.x, eye.y, eye.z);
    m->m[3][1] = -fround_dot3(u.x, u.y, u.z, eye.x, eye.y, eye.z);
    m->m[3][2] = -fround_dot3(f.x, f.y, f.z, eye.x, eye.y, eye.z);
}
