// Models: reading .qx3 files into one block (vertices, projections, wire indices, extra values).
//
// File layout (little-endian, no magic): flags u32, numVerts u16, numTris u16, numWireIndices u16,
// numVerts 48-byte vertices, numWireIndices s32 indices (if any), numVerts u32 extras (flags bit 0).
// Every count is checked against the file before anything is read, and every wireframe index must
// name a vertex: the renderer indexes the projection array with them unchecked.
#include "model.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file.h"
#include "log.h"
#include "mem.h"
#include "util.h"

enum { ModelHeaderSize = 10, ModelVertexSize = 48 };

void model_create(Model* m)
{
    const size_t nv = m->numVerts, nw = m->numWireIndices;
    const int extra = (m->flags & ModelHasExtra) != 0;
    const size_t bytes = nv * sizeof(ModelVertex) + nv * sizeof(ProjVertex) + nw * sizeof(int32_t) +
                         (extra ? nv * sizeof(uint32_t) : 0);
    uint8_t* block = (uint8_t*)mem_malloc(bytes ? bytes : 1);
    m->verts = (ModelVertex*)block;
    m->proj = (ProjVertex*)(block + nv * sizeof(ModelVertex));
    uint8_t* tail = (uint8_t*)(m->proj + nv);
    m->wireIndices = nw ? (int32_t*)tail : nullptr;
    tail += nw * sizeof(int32_t);
    m->vertexExtra = extra ? (uint32_t*)tail : nullptr;
}

void model_destroy(Model* m)
{
    mem_free(m->verts);
    m->verts = nullptr;
    m->proj = nullptr;
    m->wireIndices = nullptr;
    m->vertexExtra = nullptr;
}

static void clear_model(Model* m)
{
    memset(m, 0, sizeof(*m));
}

int model_tryLoad(const char* name, Model* m, char* error, size_t errorSize)
{
    clear_model(m);
    const int fileSize = file_getFileSize(name);
    if (fileSize < 0) {
        util_setError(error, errorSize, "%s: not found in the datafile", name);
        return 0;
    }
    if (fileSize < ModelHeaderSize) {
        util_setError(error, errorSize, "%s: header truncated (%d of %d bytes)", name, fileSize, (int)ModelHeaderSize);
        return 0;
    }
    FileHandle fh = file_open(name);
    uint8_t header[ModelHeaderSize];
    file_read(fh, header, ModelHeaderSize);
    Model h = {};
    h.flags = (uint32_t)header[0] | ((uint32_t)header[1] << 8) | ((uint32_t)header[2] << 16) |
              ((uint32_t)header[3] << 24);
    h.numVerts = (uint16_t)(header[4] | (header[5] << 8));
    h.numTris = (uint16_t)(header[6] | (header[7] << 8));
    h.numWireIndices = (uint16_t)(header[8] | (header[9] << 8));
    const int extra = (h.flags & ModelHasExtra) != 0;
    const size_t need = ModelHeaderSize + (size_t)h.numVerts * ModelVertexSize + (size_t)h.numWireIndices * 4 +
                        (extra ? (size_t)h.numVerts * 4 : 0);
    if (need > (size_t)fileSize) {
        file_close(fh);
        util_setError(error, errorSize, "%s: %u vertices, %u wire indices%s need %zu bytes, file has %d", name,
                  h.numVerts, h.numWireIndices, extra ? " and extras" : "", need, fileSize);
        return 0;
    }
    if ((uint32_t)h.numVerts < 3u * h.numTris) {
        file_close(fh);
        util_setError(error, errorSize, "%s: %u triangles need %u vertices, file has %u", name, h.numTris,
                  3u * h.numTris, h.numVerts);
        return 0;
    }
    *m = h;
    model_create(m);
    file_read(fh, m->verts, (int)(h.numVerts * ModelVertexSize));
    if (h.numWireIndices)
        file_read(fh, m->wireIndices, (int)h.numWireIndices * 4);
    if (extra)
        file_read(fh, m->vertexExtra, (int)h.numVerts * 4);
    file_close(fh);
    for (uint32_t i = 0; i < h.numWireIndices; i++) {
        const int32_t index = m->wireIndices[i];
        if (index < 0 || index >= (int32_t)h.numVerts) {
            util_setError(error, errorSize, "%s: wireframe index %u is %d, outside the %u vertices", name, i, index,
                      h.numVerts);
            model_destroy(m);
            clear_model(m);
            return 0;
        }
    }
    // Texture coordinates are fixed for the model's life; the projection never rewrites them.
    for (uint32_t i = 0; i < h.numVerts; i++) {
        m->proj[i].u = m->verts[i].u;
        m->proj[i].v = m->verts[i].v;
    }
    return 1;
}

int model_load(const char* name, Model* m)
{
    char error[256];
    if (!model_tryLoad(name, m, error, sizeof(error))) {
        log_print("model: %s\n", error);
        exit(1);
    }
    return 1;
}
