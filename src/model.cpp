// Models: reading .qx3 files into one block (vertices, projections, wire indices, extra values).
//
// File layout (little-endian, no magic): flags u32, numVerts u16, numTris u16, numWireIndices u16,
// numVerts 48-byte vertices, numWireIndices s32 indices (if any), numVerts u32 extras (flags bit 0).
// Every count is checked against the file before anything is read, and every wireframe index must
// name a vertex: the renderer indexes the projection array with them unchecked.
#include "model.h"

#include <algorithm>
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
    memset(m->proj, 0, nv * sizeof(ProjVertex));  // equal vertices start with equal records
    uint8_t* tail = (uint8_t*)(m->proj + nv);
    m->wireIndices = nw ? (int32_t*)tail : nullptr;
    tail += nw * sizeof(int32_t);
    m->vertexExtra = extra ? (uint32_t*)tail : nullptr;
    m->numShared = m->numCopies = m->numWireEdges = m->numWireVerts = m->numWirePairs = 0;
    m->shareList = m->wireEdges = m->wireVerts = nullptr;
    m->wireScratch = nullptr;
    m->shareComponents = nullptr;
}

// Position and normal, the inputs of the projection, as bits: -0.0 and +0.0 differ here, as they
// may in the projection's results.
struct ShareKey {
    uint32_t bits[6];
};

static ShareKey share_key(const ModelVertex& v)
{
    const float f[6] = {v.pos.x, v.pos.y, v.pos.z, v.normal.x, v.normal.y, v.normal.z};
    ShareKey k;
    memcpy(k.bits, f, sizeof(f));
    return k;
}

// The vertex a wireframe index e names at the other end of its quad's edge.
static uint32_t wire_next(const Model* m, uint32_t e)
{
    return (uint32_t)m->wireIndices[(e & ~3u) | ((e + 1) & 3u)];
}

// Reorders edges (from, to pairs) so that the edges whose reverse is also there come first, each
// followed by its reverse, keeping their first-seen order otherwise; returns the count of pairs.
static uint32_t pair_wire_edges(uint16_t* edges, uint32_t count)
{
    uint64_t* keys = (uint64_t*)mem_malloc((count ? count : 1) * sizeof(uint64_t));
    uint16_t* copy = (uint16_t*)mem_malloc((count ? count : 1) * 2 * sizeof(uint16_t));
    uint8_t* placed = (uint8_t*)mem_malloc(count ? count : 1);
    memcpy(copy, edges, count * 2 * sizeof(uint16_t));
    memset(placed, 0, count ? count : 1);
    for (uint32_t k = 0; k < count; k++)
        keys[k] = ((uint64_t)copy[2 * k] << 48) | ((uint64_t)copy[2 * k + 1] << 32) | k;
    std::sort(keys, keys + count);
    uint32_t pairs = 0, out = 0;
    for (uint32_t k = 0; k < count; k++) {
        if (placed[k])
            continue;
        const uint64_t reverse = ((uint64_t)copy[2 * k + 1] << 48) | ((uint64_t)copy[2 * k] << 32);
        const uint64_t* at = std::lower_bound(keys, keys + count, reverse);
        if (at == keys + count || (*at >> 32) != (reverse >> 32) || placed[(uint32_t)*at])
            continue;
        const uint32_t r = (uint32_t)*at;
        placed[k] = placed[r] = 1;
        edges[out++] = copy[2 * k], edges[out++] = copy[2 * k + 1];
        edges[out++] = copy[2 * r], edges[out++] = copy[2 * r + 1];
        pairs++;
    }
    for (uint32_t k = 0; k < count; k++)
        if (!placed[k])
            edges[out++] = copy[2 * k], edges[out++] = copy[2 * k + 1];
    mem_free(placed);
    mem_free(copy);
    mem_free(keys);
    return pairs;
}

void model_shareVertices(Model* m)
{
    const uint32_t nv = m->numVerts, nw = m->numWireIndices, quadIndices = nw & ~3u;
    model_unshareVertices(m);
    if (nv == 0)
        return;
    // source[i]: the first vertex with vertex i's key (sorted by key, then index).
    ShareKey* keys = (ShareKey*)mem_malloc(nv * sizeof(ShareKey));
    uint16_t* order = (uint16_t*)mem_malloc(nv * sizeof(uint16_t));
    uint16_t* source = (uint16_t*)mem_malloc(nv * sizeof(uint16_t));
    for (uint32_t i = 0; i < nv; i++) {
        keys[i] = share_key(m->verts[i]);
        order[i] = (uint16_t)i;
    }
    std::sort(order, order + nv, [keys](uint16_t a, uint16_t b) {
        for (int k = 0; k < 6; k++)
            if (keys[a].bits[k] != keys[b].bits[k])
                return keys[a].bits[k] < keys[b].bits[k];
        return a < b;
    });
    uint32_t shared = 0;
    for (uint32_t k = 0; k < nv; k++) {
        const uint16_t i = order[k], prev = order[k > 0 ? k - 1 : 0];
        const bool same = k > 0 && memcmp(&keys[i], &keys[prev], sizeof(ShareKey)) == 0;
        source[i] = same ? source[prev] : i;
        shared += !same;
    }

    // Wire edges, each quad outlined closed: an edge is kept the first time its pair of sources
    // appears in that direction (sorting (pair << 32 | position) puts each pair's first first);
    // a zero-length edge draws nothing and is left out. The ends of the kept edges become the
    // wire vertices, numbered in the order the edges first name them.
    uint64_t* edgeKeys = (uint64_t*)mem_malloc((nw ? nw : 1) * sizeof(uint64_t));
    uint32_t candidates = 0;
    for (uint32_t e = 0; e < quadIndices; e++) {
        const uint32_t a = (uint32_t)m->wireIndices[e], b = wire_next(m, e);
        if (a < nv && b < nv && source[a] != source[b])
            edgeKeys[candidates++] = ((uint64_t)source[a] << 48) | ((uint64_t)source[b] << 32) | e;
    }
    std::sort(edgeKeys, edgeKeys + candidates);
    uint8_t* keep = (uint8_t*)mem_malloc(nw ? nw : 1);
    memset(keep, 0, nw ? nw : 1);
    uint32_t edges = 0;
    for (uint32_t k = 0; k < candidates; k++)
        if (k == 0 || (edgeKeys[k] >> 32) != (edgeKeys[k - 1] >> 32)) {
            keep[(uint32_t)edgeKeys[k]] = 1;
            edges++;
        }
    uint16_t* slot = order;  // reused: vertex -> wire vertex + 1, 0 for none
    memset(slot, 0, nv * sizeof(uint16_t));
    uint32_t wireVerts = 0;
    for (uint32_t e = 0; e < quadIndices; e++)
        if (keep[e])
            for (uint32_t v : {(uint32_t)source[m->wireIndices[e]], (uint32_t)source[wire_next(m, e)]})
                if (!slot[v])
                    slot[v] = (uint16_t)++wireVerts;

    // One block: share list, wire edges and wire vertices (16-bit words), then the components
    // and the wireframe's scratch.
    const size_t words = shared + 2 * (nv - shared) + 2 * edges + wireVerts;
    const size_t componentsAt = (words * sizeof(uint16_t) + 15) & ~(size_t)15;
    const size_t scratchAt = componentsAt + 12 * shared * sizeof(float);
    uint8_t* block = (uint8_t*)mem_malloc(scratchAt + wireVerts * 16);
    m->shareList = (uint16_t*)block;
    m->wireEdges = m->shareList + shared + 2 * (nv - shared);
    m->wireVerts = m->wireEdges + 2 * edges;
    m->shareComponents = (float*)(block + componentsAt);
    m->wireScratch = block + scratchAt;
    uint16_t* out = m->shareList;
    float* c = m->shareComponents;
    for (uint32_t i = 0; i < nv; i++)
        if (source[i] == i) {
            const ModelVertex& v = m->verts[i];
            const uint32_t k = (uint32_t)(out - m->shareList);
            c[k] = v.pos.x, c[shared + k] = v.pos.y, c[2 * shared + k] = v.pos.z;
            c[3 * shared + k] = v.normal.x, c[4 * shared + k] = v.normal.y, c[5 * shared + k] = v.normal.z;
            *out++ = (uint16_t)i;
        }
    for (uint32_t i = 0; i < nv; i++)
        if (source[i] != i) {
            *out++ = (uint16_t)i;
            *out++ = source[i];
        }
    for (uint32_t e = 0; e < quadIndices; e++)
        if (keep[e]) {
            *out++ = (uint16_t)(slot[source[m->wireIndices[e]]] - 1);
            *out++ = (uint16_t)(slot[source[wire_next(m, e)]] - 1);
        }
    for (uint32_t i = 0; i < nv; i++)
        if (slot[i])
            m->wireVerts[slot[i] - 1] = (uint16_t)i;
    m->numWirePairs = (uint16_t)pair_wire_edges(m->wireEdges, edges);
    m->numShared = (uint16_t)shared;
    m->numCopies = (uint16_t)(nv - shared);
    m->numWireEdges = (uint16_t)edges;
    m->numWireVerts = (uint16_t)wireVerts;
    mem_free(keep);
    mem_free(edgeKeys);
    mem_free(keys);
    mem_free(order);
    mem_free(source);
}

void model_unshareVertices(Model* m)
{
    if (m->shareList)
        mem_free(m->shareList);
    m->numShared = m->numCopies = m->numWireEdges = m->numWireVerts = m->numWirePairs = 0;
    m->shareList = m->wireEdges = m->wireVerts = nullptr;
    m->wireScratch = nullptr;
    m->shareComponents = nullptr;
}

void model_destroy(Model* m)
{
    mem_free(m->verts);
    m->verts = nullptr;
    m->proj = nullptr;
    m->wireIndices = nullptr;
    m->vertexExtra = nullptr;
    model_unshareVertices(m);
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
    model_shareVertices(m);
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
