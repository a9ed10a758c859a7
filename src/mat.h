// mat: 4 x 4 floats, m[row][column]. Points are row vectors multiplied on the left:
// p'[j] = p.x*m[0][j] + p.y*m[1][j] + p.z*m[2][j] + m[3][j]; rows 0-2 hold the image of each axis,
// row 3 the translation. Only columns 0-2 are used; column 3 is never read or written (except
// that mat_copy copies it). Angles are in degrees. The result is always the first argument.
#pragma once

#include "math.h"

extern "C++" {

struct mat {
    float m[4][4];
};

void mat_setIdentity(mat* m);
void mat_copy(mat* dst, const mat* src);
void mat_setRotateX(mat* m, float degrees);
void mat_setRotateY(mat* m, float degrees);
void mat_setRotateZ(mat* m, float degrees);
// Linear part Rx * Ry * Rz (turn about X first, then Y, then Z), row 3 = position.
void mat_set(mat* m, vec3 rotation, vec3 position);
void mat_setComponents(mat* m, float rx, float ry, float rz, float px, float py, float pz);
void mat_transformDirection(const mat* m, const vec3* v, vec3* out);
// out = b applied first, then a. out may be the same matrix as a or b.
void mat_multiply(mat* out, const mat* a, const mat* b);
// Object-to-world matrix for something at position facing target (up is +y).
void mat_lookAt(mat* m, vec3 position, vec3 target);
// World-to-camera matrix: +z from the eye toward the target, +x right, +y up.
void mat_lookAtView(mat* m, vec3 eye, vec3 target);

}
