// artlib: shared helpers for the picture and model generators.
//
// Colours are floats on the 6-bit scale the show's palettes use (0..63 per component). A palette
// is built from ramps, sorted dark to bright (index 0 black, index 255 the near-white used for
// wireframes) and then searched for nearest colours. Noise is periodic so that 256 x 256 textures
// tile without seams. Everything is deterministic: no clock, no global random state.
#pragma once
#include "mkassets.h"

#include <array>
#include <functional>
#include <cstdint>
#include <string>
#include <vector>

namespace art {

struct Rgb {
    float r = 0, g = 0, b = 0;
};
inline Rgb rgb(float r, float g, float b) { return Rgb{r, g, b}; }
Rgb mix(Rgb a, Rgb b, float t);
Rgb scale(Rgb a, float s);
Rgb add(Rgb a, Rgb b);
float luminance(Rgb c);
float clampf(float v, float lo, float hi);
float smoothstep(float e0, float e1, float x);

// A 256-entry palette with 6-bit components and a cached nearest-colour search.
class Palette {
public:
    // Appends `count` entries along a gradient through `stops` (colour positions 0..1, evenly
    // spaced when `pos` is empty).
    void ramp(int count, const std::vector<Rgb>& stops, const std::vector<float>& pos = {});
    void add(Rgb c);
    // Pads to 256 entries, sorts by brightness with pure black first and (63, 63, 63) last,
    // and clamps every other component to 0..62 so that the greedy "brightest" search of the
    // engine ends on the last entry.
    void finish();

    Rgb colour(int i) const;
    const uint8_t* entry(int i) const { return m_c[i]; }
    // Index of the nearest entry (weighted squared distance, lowest index on ties); finishes
    // the palette first if that has not been done.
    uint8_t nearest(Rgb c);
    // 768 bytes with 8-bit components, as stored in image packs (6-bit value v as v*4 + v/16).
    mkassets::Bytes bytes8() const;
    mkassets::Bytes bytes6() const;
    int size() const { return int(m_list.size()); }

private:
    std::vector<Rgb> m_list;
    uint8_t m_c[256][3] = {};
    std::vector<int16_t> m_cache;  // 64^3 lazily filled nearest indices, -1 = unknown
    bool m_finished = false;
};

// Ordered-dither threshold in -0.5..0.5 for pixel (x, y) (8 x 8 Bayer matrix).
float bayer(int x, int y);
// Quantises a colour image (w*h) to palette indices with ordered dither of `amount` 6-bit steps.
std::vector<uint8_t> quantise(Palette& pal, const std::vector<Rgb>& img, int w, int h, float amount = 1.0f);

// Integer hash -> [0, 1).
uint32_t hash32(uint32_t x);
float hashf(int x, int y, int seed);
float hashf3(int x, int y, int z, int seed);
// Value noise with period `per` lattice cells in both directions; x, y in lattice units.
float pnoise(float x, float y, int per, int seed);
// Periodic fractal noise over the unit square: fx, fy in [0,1) map onto `baseper` cells at the
// first octave; result roughly in [-1, 1].
float pfbm(float fx, float fy, int baseper, int octaves, int seed, float gain = 0.5f);
// Non-periodic 3D value noise and fractal sum (for solids), result roughly in [-1, 1].
float noise3(float x, float y, float z, int seed);
float fbm3(float x, float y, float z, int octaves, int seed);
// Periodic cellular noise on the unit square with n x n cells: distances to the nearest and the
// second nearest feature point (in cell units) and the nearest point's id.
struct Cell {
    float f1, f2;
    uint32_t id;
};
Cell pvoronoi(float fx, float fy, int n, int seed);

// Environment map of light levels: a sphere map (u = 0.5 + 0.5 nx, v = 0.5 + 0.5 ny, camera space,
// y up, normal toward the viewer has nz < 0) filled by `shade(nx, ny, nz)` in 0..1. The outermost
// ring blends into `rimLevel` so that the wrap at u or v = 1.0 shows no seam.
std::vector<uint8_t> envMap(const std::function<float(float, float, float)>& shade, float rimLevel);

// Shading table: lut[e * 256 + d] = nearest palette colour to `light(diffuse colour d, e/255)`.
std::vector<uint8_t> shadingTable(Palette& pal, const std::function<Rgb(Rgb, float)>& light);

// Image pack (.qxp): texture, envmap, palette (8-bit components), lut, and up to four images.
struct PackImage {
    int w, h;
    std::vector<uint8_t> pixels;
};
mkassets::Bytes buildPack(const std::vector<uint8_t>& texture, const std::vector<uint8_t>& envmap,
                          const Palette& pal, const std::vector<uint8_t>& lut,
                          const std::vector<PackImage>& images);

// Colour-mapped 8-bit TGA (bottom-up rows, 256 colour-map entries with 8-bit components).
mkassets::Bytes buildTga8(const std::vector<uint8_t>& pixels, int w, int h, const Palette& pal);

// ---- models (.qx3)
struct V3 {
    float x = 0, y = 0, z = 0;
};
inline V3 v3(float x, float y, float z) { return V3{x, y, z}; }
V3 operator+(V3 a, V3 b);
V3 operator-(V3 a, V3 b);
V3 operator*(V3 a, float s);
float dot(V3 a, V3 b);
V3 cross(V3 a, V3 b);
float length(V3 a);
V3 normalise(V3 a);

struct MVert {
    V3 p, n;
    float u = 0, v = 0;
};
struct Mesh {
    std::vector<MVert> verts;  // three per triangle, then any extra wireframe-only vertices
    int numTris = 0;
    std::vector<int32_t> wire;  // groups of four

    // Adds a triangle wound so that its geometric normal agrees with the vertex normals
    // (or as given, when `orient` is false); zero-area triangles are dropped.
    void tri(const MVert& a, const MVert& b, const MVert& c, bool orient = true);
    int addExtra(const MVert& v);  // after all triangles
};
mkassets::Bytes buildQx3(const Mesh& m);

// Parametric surface sampled on an (ns x nt) grid: s along, t around (periodic). `wrapS` joins
// the last column to the first. Texture u = s * uRep, v = t * vRep (continuous across the wrap,
// so a whole-number repeat has no seam). Normals come from the surface's partial derivatives,
// oriented away from the centre of each ring of constant s (tubes, tori).
struct ParamSurface {
    virtual ~ParamSurface() = default;
    virtual V3 pos(float s, float t) const = 0;
};
void gridMesh(Mesh& m, const ParamSurface& surf, int ns, int nt, bool wrapS, float uRep, float vRep,
              int wireStepS = 1, int wireStepT = 1);

}  // namespace art
