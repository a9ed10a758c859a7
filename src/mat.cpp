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

// Sine and cosine through double, correctly rounded to float in practice on every C library (a
// double result within a unit of a float midpoint is the only way two libraries could disagree),
// so the browser build's matrices are the native build's bit for bit; float sinf/cosf differ
// between libraries in the last bit for some angles.
static inline float mat_sin(float a)
{
    return (float)sin((double)a);
}

static inline float mat_cos(float a)
{
    return (float)cos((double)a);
}

void mat_copy(mat* dst, const mat* src)
{
    memcpy(dst, src, sizeof(mat));
}

void mat_setRotateX(mat* m, float degrees)
{
    float a = degrees * DegToRad;
    float c = mat_cos(a), s = mat_sin(a);
    mat_setIdentity(m);
    m->m[1][1] = c;
    m->m[1][2] = -s;
    m->m[2][1] = s;
    m->m[2][2] = c;
}

void mat_setRotateY(mat* m, float degrees)
{
    float a = degrees * DegToRad;
    float c = mat_cos(a), s = mat_sin(a);
    mat_setIdentity(m);
    m->m[0][0] = c;
    m->m[0][2] = -s;
    m->m[2][0] = s;
    m->m[2][2] = c;
}

void mat_setRotateZ(mat* m, float degrees)
{
    float a = degrees * DegToRad;
    float c = mat_cos(a), s = mat_sin(a);
    mat_setIdentity(m);
    m->m[0][0] = c;
    m->m[0][1] = -s;
    m->m[1][0] = s;
    m->m[1][1] = c;
}

void mat_set(mat* m, vec3 rotation, vec3 position)
{
    float ax = rotation.x * DegToRad, ay = rotation.y * DegToRad, az = rotation.z * DegToRad;
    float cx = mat_cos(ax), sx = mat_sin(ax);
    float cy = mat_cos(ay), sy = mat_sin(ay);
    float cz = mat_cos(az), sz = mat_sin(az);
    m->m[0][0] = cy * cz;
    m->m[0][1] = -sz * cy;
    m->m[0][2] = -sy;
    m->m[1][0] = sz * cx - sx * cz * sy;
    m->m[1][1] = sz * sy * sx + cz * cx;
    m->m[1][2] = -sx * cy;
    m->m[2][0] = cx * cz * sy + sz * sx;
    m->m[2][1] = sx * cz - sz * sy * cx;
    m->m[2][2] = cx * cy;
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
        (&out->x)[j] = x * m->m[0][j] + y * m->m[1][j] + z * m->m[2][j];
}

void mat_multiply(mat* out, const mat* a, const mat* b)
{
    // Formed in a local first so that out may be a or b as well.
    float r[4][3];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            r[i][j] = b->m[i][0] * a->m[0][j] + b->m[i][1] * a->m[1][j] + b->m[i][2] * a->m[2][j];
    for (int j = 0; j < 3; j++)
        r[3][j] = b->m[3][0] * a->m[0][j] + b->m[3][1] * a->m[1][j] + b->m[3][2] * a->m[2][j] + a->m[3][j];
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 3; j++)
            out->m[i][j] = r[i][j];
}

// Forward, right and up axes of a frame at `from` looking at `to` (up reference +y).
static void lookAxes(vec3 from, vec3 to, vec3* f, vec3* r, vec3* u)
{
    static const vec3 up = {0.0f, 1.0f, 0.0f, 0.0f};
    *f = {to.x - from.x, to.y - from.y, to.z - from.z, 0.0f};
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
    m->m[3][0] = -(r.x * eye.x + r.y * eye.y + r.z * eye.z);
    m->m[3][1] = -(u.x * eye.x + u.y * eye.y + u.z * eye.z);
    m->m[3][2] = -(f.x * eye.x + f.y * eye.y + f.z * eye.z);
}
