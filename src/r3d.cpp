// The 3D renderer: projection, passes, depth buffer, texture block, solid and wireframe drawing.
//
// Depth words are ceil(invZ * 65536) + r3d_zadd (unsigned, larger = nearer). For camera z > 1 a
// frame's values lie in [r3d_zadd, r3d_zadd + 65536), and every r3d_end raises r3d_zadd by 65536,
// so earlier frames always lose and the buffer is cleared only when r3d_zadd wraps.
#include "r3d.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "fround.h"
#include "log.h"
#include "mem.h"
#include "tridiff.h"
#include "trifull.h"
#include "trifulla.h"
#include "trimask.h"
#include "trisetup.h"
#include "util.h"

uint32_t* r3d_zbuffer = nullptr;
uint32_t r3d_zadd = 0;
uint8_t* r3d_buffer = nullptr;
uint8_t* r3d_texture_memory = nullptr;
float r3d_fov = 256.0f;
uint8_t r3d_mask_value = 255;
bool r3d_hasDiffuse = false;
bool r3d_hasEnvmap = false;
bool r3d_hasLut = false;
bool r3d_inBegin = false;

static bool s_mask = false;

enum { TextureSize = 65536, DiffuseSlot = 0, EnvmapSlot = 65536, LutSlot = 131072 };

void r3d_init(void)
{
    r3d_zbuffer = (uint32_t*)mem_malloc(R3dPixels * sizeof(uint32_t));
    memset(r3d_zbuffer, 0, R3dPixels * sizeof(uint32_t));
    r3d_texture_memory = (uint8_t*)mem_alignedMalloc(MaxTextureMemory, 65536);
    memset(r3d_texture_memory, 0, MaxTextureMemory);  // defined texels before any scene sets its own
    r3d_zadd = 0;
    draw_span_full_init();
}

void r3d_deinit(void)
{
    mem_free(r3d_zbuffer);
    mem_alignedFree(r3d_texture_memory);
    r3d_zbuffer = nullptr;
    r3d_texture_memory = nullptr;
}

void r3d_setFov(float fov)
{
    r3d_fov = fov;
}

// x * a + y * b + z * c, in that order.
template <class O>
static inline float dot3(const O& o, float x, float y, float z, float a, float b, float c)
{
    return o.add(o.add(o.mul(x, a), o.mul(y, b)), o.mul(z, c));
}

// The projection's operations are O's: the plain ones, or (where rounding is done in software) the
// current mode's for a scene's first frame, which projects in loading's truncation.
template <bool WithNormal, class O>
static void project_vertex(const ModelVertex& vertex, ProjVertex& out, const float (*M)[4], float fov, const O& o)
{
    const vec3& p = vertex.pos;
    const float z = o.add(dot3(o, p.x, p.y, p.z, M[0][2], M[1][2], M[2][2]), M[3][2]);
    if (std::signbit(z)) {
        out.invZ = -0.0f;  // behind the camera: the only mark; x, y, env keep old values
        return;
    }
    const float iz = o.div(1.0f, z);
    const float x = o.add(dot3(o, p.x, p.y, p.z, M[0][0], M[1][0], M[2][0]), M[3][0]);
    const float y = o.add(dot3(o, p.x, p.y, p.z, M[0][1], M[1][1], M[2][1]), M[3][1]);
    out.x = o.add(160.0f, o.mul(o.mul(x, fov), iz));
    out.y = o.sub(100.0f, o.mul(o.mul(y, fov), iz));
    out.invZ = iz;
    const vec3& n = vertex.normal;
    out.envU = o.add(0.5f, o.mul(0.5f, dot3(o, n.x, n.y, n.z, M[0][0], M[1][0], M[2][0])));
    out.envV = o.add(0.5f, o.mul(0.5f, dot3(o, n.x, n.y, n.z, M[0][1], M[1][1], M[2][1])));
    if (WithNormal)
        out.nz = dot3(o, n.x, n.y, n.z, M[0][2], M[1][2], M[2][2]);
}

// project_vertex for n vertices whose components lie in arrays of their own, so that it runs as
// vector operations: the same operations in the same order, four vertices at a time. A vertex
// behind the camera gets only its mark in invZ.
template <class O>
static void project_components(uint32_t n, const float (*M)[4], float fov, const float* __restrict px,
                               const float* __restrict py, const float* __restrict pz, const float* __restrict nx,
                               const float* __restrict ny, const float* __restrict nz, float* __restrict outX,
                               float* __restrict outY, float* __restrict outInvZ, float* __restrict outEnvU,
                               float* __restrict outEnvV, float* __restrict outNz, const O& o)
{
    const float m00 = M[0][0], m01 = M[0][1], m02 = M[0][2], m10 = M[1][0], m11 = M[1][1], m12 = M[1][2];
    const float m20 = M[2][0], m21 = M[2][1], m22 = M[2][2], m30 = M[3][0], m31 = M[3][1], m32 = M[3][2];
    for (uint32_t k = 0; k < n; k++) {
        const float z = o.add(dot3(o, px[k], py[k], pz[k], m02, m12, m22), m32);
        const float iz = o.div(1.0f, z);
        const float x = o.add(dot3(o, px[k], py[k], pz[k], m00, m10, m20), m30);
        const float y = o.add(dot3(o, px[k], py[k], pz[k], m01, m11, m21), m31);
        outX[k] = o.add(160.0f, o.mul(o.mul(x, fov), iz));
        outY[k] = o.sub(100.0f, o.mul(o.mul(y, fov), iz));
        outInvZ[k] = std::signbit(z) ? -0.0f : iz;
        outEnvU[k] = o.add(0.5f, o.mul(0.5f, dot3(o, nx[k], ny[k], nz[k], m00, m10, m20)));
        outEnvV[k] = o.add(0.5f, o.mul(0.5f, dot3(o, nx[k], ny[k], nz[k], m01, m11, m21)));
        outNz[k] = dot3(o, nx[k], ny[k], nz[k], m02, m12, m22);
    }
}

// A shared model projects the first vertex of each group of equal ones and copies the result to
// the others: the same inputs give the same results, and the records of a group are equal from
// their creation on (model_create zeroes them), so a copy is exactly what projecting would have
// left there, including the fields a vertex behind the camera keeps.
template <bool WithNormal, class O>
static void project(Model* m, const mat* matrix, const O& o)
{
    const float(*M)[4] = matrix->m;
    const float fov = r3d_fov;
    const ModelVertex* verts = m->verts;
    ProjVertex* proj = m->proj;
    if (m->numShared == 0) {
        for (uint32_t i = 0; i < m->numVerts; i++)
            project_vertex<WithNormal>(verts[i], proj[i], M, fov, o);
        return;
    }
    const uint32_t ns = m->numShared;
    const float* in = m->shareComponents;  // x, y, z of the positions and the normals, then the results
    float* out = m->shareComponents + 6 * ns;
    project_components(ns, M, fov, in, in + ns, in + 2 * ns, in + 3 * ns, in + 4 * ns, in + 5 * ns, out, out + ns,
                       out + 2 * ns, out + 3 * ns, out + 4 * ns, out + 5 * ns, o);
    const uint16_t* list = m->shareList;
    for (uint32_t k = 0; k < ns; k++) {
        ProjVertex& to = proj[list[k]];
        to.invZ = out[2 * ns + k];
        if (std::signbit(to.invZ))
            continue;  // x, y, env keep their old values
        to.x = out[k];
        to.y = out[ns + k];
        to.envU = out[3 * ns + k];
        to.envV = out[4 * ns + k];
        if (WithNormal)
            to.nz = out[5 * ns + k];
    }
    const uint16_t* copies = list + ns;
    for (uint32_t k = 0; k < m->numCopies; k++) {
        const ProjVertex& from = proj[copies[2 * k + 1]];
        ProjVertex& to = proj[copies[2 * k]];
        to.x = from.x;  // all but the vertex's own u, v
        to.y = from.y;
        to.invZ = from.invZ;
        to.nz = from.nz;
        to.envU = from.envU;
        to.envV = from.envV;
    }
}

template <bool WithNormal>
static void project(Model* m, const mat* matrix)
{
    if (fround_plain())
        project<WithNormal>(m, matrix, FroundPlainOps{});
    else
        project<WithNormal>(m, matrix, FroundOps{});
}

void r3d_transformAndProject(Model* m, const mat* matrix)
{
    project<false>(m, matrix);
}

void r3d_transformAndProjectWithNormal(Model* m, const mat* matrix)
{
    project<true>(m, matrix);
}

void r3d_begin(uint8_t* frameBuffer)
{
    r3d_inBegin = true;
    r3d_fov = 256.0f;
    r3d_buffer = frameBuffer;
    util_fpuSetCeilMode();
    draw_span_full_set_buffer();
}

void r3d_end(void)
{
    r3d_inBegin = false;
    util_fpuSetFullMode();
    r3d_zadd += 65536u;
    if (r3d_zadd == 0) {  // carried out of 32 bits: old depths would now beat new ones
        r3d_clearZbuffer();
        r3d_zadd = 0;
    }
}

void r3d_clearZbuffer(void)
{
    log_debug("r3d: clearing z buffer\n");
    util_clear(r3d_zbuffer, 0, R3dPixels);
}

void r3d_setTexture(int slot, const uint8_t* pixels)
{
    bool& flag = slot == 0 ? r3d_hasDiffuse : r3d_hasEnvmap;
    if (!pixels) {
        flag = false;  // the old texels stay in the block
        return;
    }
    memcpy(r3d_texture_memory + (slot == 0 ? DiffuseSlot : EnvmapSlot), pixels, TextureSize);
    flag = true;
}

void r3d_setTextureEnabled(int slot, bool enabled)
{
    (slot == 0 ? r3d_hasDiffuse : r3d_hasEnvmap) = enabled;
}

void r3d_setLUT(const uint8_t* table)
{
    r3d_hasLut = table != nullptr;
    if (table)
        memcpy(r3d_texture_memory + LutSlot, table, TextureSize);
}

void r3d_setMaskEnabled(bool on)
{
    s_mask = on;
}

void r3d_setMaskValue(uint8_t index)
{
    r3d_mask_value = index;
}

void r3d_render(const Model* m)
{
    void (*draw)(const ProjVertex*, const ProjVertex*, const ProjVertex*);
    if (s_mask)
        draw = draw_triangle_mask_front;
    else if (r3d_hasDiffuse && r3d_hasEnvmap)
        draw = draw_triangle_full_front;
    else
        draw = draw_triangle_diffuse_front;
    // A model built by hand with fewer than 3 * numTris vertices draws only its complete triangles.
    const uint32_t tris = m->numTris <= m->numVerts / 3u ? m->numTris : m->numVerts / 3u;
    const ProjVertex* p = m->proj;
    for (uint32_t t = 0; t < tris; t++, p += 3) {
        if (std::signbit(p[0].invZ) || std::signbit(p[1].invZ) || std::signbit(p[2].invZ))
            continue;  // a corner behind the camera: no near-plane clipping, the triangle is skipped
        if (trisetup::front_facing(&p[0], &p[1], &p[2]))  // the rasteriser's own first test
            draw(&p[0], &p[1], &p[2]);
    }
}

// A line's end in integers: its position converted in the current rounding mode (upward in a
// pass) and its depth word, the low 32 bits of integer(invZ * 65536), converted through 64 bits,
// plus r3d_zadd. Ends beyond 2^24 pixels (or not numbers) are not drawable: the 8.8 steps would
// overflow. Wireframes keep one per wire vertex in the model's scratch (16 bytes each).
struct LineEnd {
    int32_t x, y;
    uint32_t z;
    int32_t drawable;
};

static inline LineEnd line_end(float x, float y, float invZ, uint32_t zadd)
{
    const float lim = 16777216.0f;
    LineEnd e = {0, 0, 0, std::fabs(x) <= lim && std::fabs(y) <= lim};
    if (e.drawable) {
        e.x = (int32_t)fround_toInt(x);
        e.y = (int32_t)fround_toInt(y);
        e.z = (uint32_t)(uint64_t)fround_toInt(invZ * 65536.0f) + zadd;
    }
    return e;
}

// A wireframe's end: not drawn behind the camera, and pulled toward the viewer by the depth
// offset so that the line beats the faces it lies on.
static inline LineEnd wire_end(const ProjVertex& p, float depthOffset, uint32_t zadd)
{
    if (std::signbit(p.invZ))
        return LineEnd{0, 0, 0, 0};
    return line_end(p.x, p.y, fround_add(p.invZ, depthOffset), zadd);  // rounded up: in a pass
}

// A line's count of points and its 8.8 fixed-point steps (truncated toward zero); the depth
// steps by a signed 32-bit value. n = 0: nothing to draw.
struct LineSteps {
    int64_t n, sx, sy;
    uint32_t sz;
};

static inline LineSteps line_steps(const LineEnd& a, const LineEnd& b)
{
    const int64_t dx = (int64_t)b.x - a.x, dy = (int64_t)b.y - a.y;
    const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
    const int64_t n = adx > ady ? adx : ady;
    if (n == 0)
        return LineSteps{0, 0, 0, 0};
    return LineSteps{n, (dx * 256) / n, (dy * 256) / n,
                     (uint32_t)((int32_t)(b.z - a.z) / (int32_t)(n > 0x7FFFFFFF ? 0x7FFFFFFF : n))};
}

// The same line drawn from its other end: every step negated. Truncation toward zero is
// symmetric, and a depth difference of -2^31 is its own negation.
static inline LineSteps line_reversed(const LineSteps& s, const LineEnd& a, const LineEnd& b)
{
    const bool lowest = (int32_t)(b.z - a.z) == INT32_MIN;
    return LineSteps{s.n, -s.sx, -s.sy, lowest ? s.sz : (uint32_t)-(int32_t)s.sz};
}

// The DDA from `from`, n points (the far end itself not plotted).
static inline void line_walk(const LineEnd& from, const LineSteps& s, uint8_t colour, uint8_t* buffer,
                             uint32_t* zbuffer)
{
    int64_t X = (int64_t)from.x * 256, Y = (int64_t)from.y * 256;
    uint32_t Z = from.z;
    for (int64_t i = 0; i < s.n; i++) {
        if ((uint64_t)X > 319 * 256 || (uint64_t)Y > 199 * 256)
            return;  // a line stops at its first point off screen (negative ones included)
        const int64_t p = (Y >> 8) * R3dWidth + (X >> 8);
        if (Z > zbuffer[p]) {
            zbuffer[p] = Z;
            buffer[p] = colour;
        }
        X += s.sx;
        Y += s.sy;
        Z += s.sz;
    }
}

static inline void line_draw(const LineEnd& a, const LineEnd& b, uint8_t colour, uint8_t* buffer, uint32_t* zbuffer)
{
    line_walk(a, line_steps(a, b), colour, buffer, zbuffer);
}

void r3d_renderWireframe(const Model* m, float depthOffset, uint8_t colour)
{
    const ProjVertex* proj = m->proj;
    const uint32_t zadd = r3d_zadd;
    uint8_t* const buffer = r3d_buffer;
    uint32_t* const zbuffer = r3d_zbuffer;
    if (m->numShared != 0) {
        // Each wire vertex converted once, then the distinct edges (the ones left out would
        // draw nothing).
        LineEnd* ends = (LineEnd*)m->wireScratch;
        for (uint32_t v = 0; v < m->numWireVerts; v++)
            ends[v] = wire_end(proj[m->wireVerts[v]], depthOffset, zadd);
        // Edges drawn both ways come first, in pairs that share their steps. The order of the
        // lines within one call changes nothing: every line has the same colour, and each depth
        // word ends as the greatest of what it held and what the lines bring.
        const uint16_t* e = m->wireEdges;
        for (uint32_t k = 0; k < m->numWirePairs; k++, e += 4) {
            const LineEnd& a = ends[e[0]];
            const LineEnd& b = ends[e[1]];
            if (!a.drawable || !b.drawable)
                continue;
            const LineSteps s = line_steps(a, b);
            line_walk(a, s, colour, buffer, zbuffer);
            line_walk(b, line_reversed(s, a, b), colour, buffer, zbuffer);
        }
        for (uint32_t k = 2 * m->numWirePairs; k < m->numWireEdges; k++, e += 2) {
            const LineEnd& a = ends[e[0]];
            const LineEnd& b = ends[e[1]];
            if (a.drawable && b.drawable)
                line_draw(a, b, colour, buffer, zbuffer);
        }
        return;
    }
    const uint32_t n = m->numWireIndices, nv = m->numVerts;
    for (uint32_t i = 0; i + 4 <= n; i += 4) {  // closed quads; a shared edge is drawn twice
        for (uint32_t k = 0; k < 4; k++) {
            const uint32_t ia = (uint32_t)m->wireIndices[i + k];
            const uint32_t ib = (uint32_t)m->wireIndices[i + ((k + 1) & 3)];
            if (ia >= nv || ib >= nv || ia == ib)  // from a vertex to itself: nothing to draw
                continue;
            const LineEnd a = wire_end(proj[ia], depthOffset, zadd), b = wire_end(proj[ib], depthOffset, zadd);
            if (a.drawable && b.drawable)
                line_draw(a, b, colour, buffer, zbuffer);
        }
    }
}

void r3d_drawLine(const ProjVertex* a, const ProjVertex* b, uint8_t colour)
{
    const LineEnd ea = line_end(a->x, a->y, a->invZ, r3d_zadd), eb = line_end(b->x, b->y, b->invZ, r3d_zadd);
    if (ea.drawable && eb.drawable)
        line_draw(ea, eb, colour, r3d_buffer, r3d_zbuffer);
}
