// gridscene_: what the two ray-cast grid scenes (Tunnel, Plane) share: loading the packed texture
// block from a pack, a light table and a height map, and turning the four corner rays of the
// camera into the rows of rays that the grid nodes sample.
#pragma once

#include <cstdint>

#include "mat.h"

struct ImagePack;

// Loads the pack, the 256 x 256 light table (pixels only) and the displacement table (shift 1)
// and builds the interp block from them. Missing or short files end the process (their loaders
// say so); a light table of another size gets one line naming the scene and the file, and a
// null result. The pack stays loaded (its palette is the scene's); free it with impack_destroy.
uint8_t* gridscene_loadTextures(const char* scene, const char* packName, const char* lightName,
                                const char* bumpName, ImagePack** pack);

// Corner rays in the order top-left, bottom-left, bottom-right, top-right.
enum { GridCornerTL, GridCornerBL, GridCornerBR, GridCornerTR };

// The rays of the top row's ends and their change per step down: each corner ray turned by the
// view matrix into rotated[], left/right the top corners, the deltas (bottom - top) * rowScale.
struct GridRays {
    vec3 rotated[4];
    vec3 left, right, leftDelta, rightDelta;
};
void gridscene_turnRays(const mat* view, const vec3 rays[4], float rowScale, GridRays* out);

// A 0..1 timer moved on by amount, stopping at exactly 1.0.
inline float gridscene_advance(float timer, float amount)
{
    timer += amount;
    return timer < 1.0f ? timer : 1.0f;
}

// Vector steps of the ray casting, rounded in the current mode: a scene's first frame runs in
// loading's truncation.
inline vec3 gridscene_add(vec3 a, vec3 b)
{
    return {fround_add(a.x, b.x), fround_add(a.y, b.y), fround_add(a.z, b.z), 0.0f};
}
inline vec3 gridscene_sub(vec3 a, vec3 b)
{
    return {fround_sub(a.x, b.x), fround_sub(a.y, b.y), fround_sub(a.z, b.z), 0.0f};
}
inline vec3 gridscene_scale(vec3 a, float s)
{
    return {fround_mul(a.x, s), fround_mul(a.y, s), fround_mul(a.z, s), 0.0f};
}
