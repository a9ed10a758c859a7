// Models (.qx3): a non-indexed triangle list (three consecutive vertices per triangle) plus
// indexed quads used only for wireframes, and the per-vertex projection array the renderer fills.
#pragma once

#include <cstddef>
#include <cstdint>

#include "math.h"

// 48 bytes, exactly as stored in the file.
struct ModelVertex {
    vec3 pos;          // object-space position; the fourth float is not read
    vec3 normal;       // object-space unit normal
    float u;           // 1.0 spans the 256 texels of a texture row; wraps
    float v;
    float reserved[2];
};
static_assert(sizeof(ModelVertex) == 48, "ModelVertex is the file's 48-byte record");

// Written by the projection each frame (except u, v, copied once at load).
struct ProjVertex {
    float x;     // screen x in pixels
    float y;     // screen y in pixels
    float invZ;  // 1 / camera z; -0.0 (sign bit only) marks a vertex behind the camera
    float nz;    // camera-space z of the rotated normal (normal-aware projection only)
    float u;
    float v;
    float envU;  // 0.5 + 0.5 * camera-space normal x
    float envV;  // 0.5 + 0.5 * camera-space normal y
};

struct Model {
    uint32_t flags;           // bit 0: the file carries one 32-bit extra value per vertex
    uint16_t numVerts;
    uint16_t numTris;         // triangle t uses vertices 3t, 3t+1, 3t+2
    uint16_t numWireIndices;  // four per quad
    ModelVertex* verts;       // start of the single allocation
    ProjVertex* proj;         // follows verts
    int32_t* wireIndices;     // follows proj; null when numWireIndices is 0
    uint32_t* vertexExtra;    // follows the wire indices; null when flags bit 0 is clear
    // Sharing (model_shareVertices), in a block of its own: the triangle list repeats every
    // corner once per triangle, so most vertices repeat an earlier one's position and normal
    // exactly, and with them its projection. numShared = 0: every vertex is projected.
    uint16_t numShared;       // vertices projected: the first of each group of equal ones
    uint16_t numCopies;       // vertices that take an earlier one's projection
    uint16_t numWireEdges;
    uint16_t numWireVerts;
    uint16_t numWirePairs;    // the first 2 * numWirePairs edges: a -> b, then b -> a
    uint16_t* shareList;      // numShared indices, then numCopies (vertex, source) pairs
    uint16_t* wireEdges;      // (from, to) pairs of wire vertices: the distinct directed edges
    uint16_t* wireVerts;      // wire vertex -> vertex index (the first of its group)
    void* wireScratch;        // 16 bytes per wire vertex: the renderer's line ends of a frame
    float* shareComponents;   // 12 arrays of numShared floats: the projected vertices' position and
                              // normal components, then the projection's results of a frame
};

enum { ModelHasExtra = 1 };

// With the counts and flags set, allocates the one block, sets the pointers and zeroes the
// projections (no sharing yet).
void model_create(Model* m);
// After the vertices and wire indices are in place: groups vertices whose position and normal are
// bit for bit the same, so the projection computes each group once and copies it, and lists the
// wireframe's edges once each, without the zero-length ones and without an edge repeated in the
// same direction (both would draw nothing). model_load does this; a scene that rewrites vertex
// positions afterwards calls model_unshareVertices, as equal vertices may no longer stay equal.
// The wireframe then draws from its quads again.
void model_shareVertices(Model* m);
void model_unshareVertices(Model* m);
// Reads the named file into *m and returns 1. A missing or malformed file (counts that do not fit
// the file, numVerts < 3 * numTris, a wireframe index that names no vertex) ends the process with
// one line "model: <name>: <problem>" and exit code 1.
int model_load(const char* name, Model* m);
// The same checks without ending the process: 0 with the reason in error and *m left empty
// (null pointers, zero counts).
int model_tryLoad(const char* name, Model* m, char* error, size_t errorSize);
void model_destroy(Model* m);
