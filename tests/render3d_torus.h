// A fixed textured torus for the rasteriser benchmark and the whole-frame rendering test:
// 40 x 25 quads (2,000 triangles, non-indexed) with outward normals, texture coordinates that
// wrap several times, wound so that faces toward the camera run clockwise on screen.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "mat.h"
#include "model.h"

namespace render3d_test {

constexpr int TorusMajor = 40, TorusMinor = 25;

// share: group equal vertices as a loaded model does (model_shareVertices).
inline void buildTorus(Model* m, float R = 1.0f, float r = 0.45f, bool share = true)
{
    m->flags = 0;
    m->numTris = (uint16_t)(TorusMajor * TorusMinor * 2);
    m->numVerts = (uint16_t)(m->numTris * 3);
    m->numWireIndices = (uint16_t)(TorusMajor * TorusMinor * 4);
    model_create(m);
    auto point = [&](int i, int j, ModelVertex& v) {
        const float a = 6.2831853f * (float)i / TorusMajor, b = 6.2831853f * (float)j / TorusMinor;
        const float ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
        v.pos = {(R + r * cb) * ca, r * sb, (R + r * cb) * sa, 0};
        v.normal = {cb * ca, sb, cb * sa, 0};
        v.u = 4.0f * (float)i / TorusMajor;
        v.v = 2.0f * (float)j / TorusMinor;
        v.reserved[0] = v.reserved[1] = 0;
    };
    int n = 0, w = 0;
    for (int i = 0; i < TorusMajor; i++)
        for (int j = 0; j < TorusMinor; j++) {
            ModelVertex q[4];
            point(i, j, q[0]);
            point(i + 1, j, q[1]);
            point(i + 1, j + 1, q[2]);
            point(i, j + 1, q[3]);
            const int tris[2][3] = {{0, 1, 2}, {0, 2, 3}};
            bool swapped = false;
            for (const auto& t : tris) {
                ModelVertex a = q[t[0]], b = q[t[1]], c = q[t[2]];
                const float e1x = b.pos.x - a.pos.x, e1y = b.pos.y - a.pos.y, e1z = b.pos.z - a.pos.z;
                const float e2x = c.pos.x - a.pos.x, e2y = c.pos.y - a.pos.y, e2z = c.pos.z - a.pos.z;
                const float nx = e1y * e2z - e1z * e2y, ny = e1z * e2x - e1x * e2z, nz = e1x * e2y - e1y * e2x;
                if (nx * a.normal.x + ny * a.normal.y + nz * a.normal.z < 0) {
                    ModelVertex s = b;
                    b = c;
                    c = s;
                    swapped = true;
                }
                m->verts[n++] = a;
                m->verts[n++] = b;
                m->verts[n++] = c;
            }
            // Wireframe quad q0, q1, q2, q3 wherever the two triangles put those corners.
            m->wireIndices[w++] = n - 6;
            m->wireIndices[w++] = swapped ? n - 4 : n - 5;
            m->wireIndices[w++] = swapped ? n - 5 : n - 4;
            m->wireIndices[w++] = swapped ? n - 2 : n - 1;
        }
    for (int i = 0; i < m->numVerts; i++) {
        m->proj[i].u = m->verts[i].u;
        m->proj[i].v = m->verts[i].v;
    }
    if (share)
        model_shareVertices(m);
}

// Tilted towards the viewer, 3.3 units away: about half of the 320 x 200 screen.
inline mat torusMatrix(float spinDegrees = 20.0f)
{
    mat m;
    mat_setComponents(&m, -50.0f, 20.0f, 0.0f, 0.0f, -0.1f, 3.3f);
    return m;
}

// Textures: a checker with a diagonal ramp, a radial environment map, and a shading table that
// brightens the diffuse index by the environment index (indices are a brightness ramp).
inline void torusTextures(std::vector<uint8_t>& diffuse, std::vector<uint8_t>& env, std::vector<uint8_t>& lut)
{
    diffuse.resize(65536);
    env.resize(65536);
    lut.resize(65536);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++) {
            diffuse[y * 256 + x] = (uint8_t)((((x >> 5) ^ (y >> 5)) & 1) ? 40 + ((x + y) & 63) : 140 + ((x - y) & 63));
            const float dx = (x - 128) / 128.0f, dy = (y - 128) / 128.0f;
            const float d = std::sqrt(dx * dx + dy * dy);
            env[y * 256 + x] = (uint8_t)(d >= 1.0f ? 0 : (1.0f - d) * 255.0f);
        }
    for (int e = 0; e < 256; e++)
        for (int d = 0; d < 256; d++) {
            const int v = d * (64 + e) / 320 + e / 3;
            lut[e * 256 + d] = (uint8_t)(v > 255 ? 255 : v);
        }
}

}  // namespace render3d_test
