// The renderer's pixels are the same on every target: the same source also builds as
// test_rasterexact_v3, with the renderer and this file compiled for x86-64-v3 (AVX2, FMA), where
// a multiply-add fused by the compiler, or any reordered float operation, changes set-up values,
// and with them pixels; and as test_rasterexact_soft, with the directed rounding done in software
// as the web build does it. Every build must give the hashes below.
//
// The frames: a textured torus projected at several angles and drawn by every variant and as a
// wireframe, 3,000 triangles with random corners (many partly off screen), and 2,000 lines. A
// deliberate change to the renderer's pixels regenerates the table with
//   TIDEWATER_RASTER_PRINT=1 build/test_rasterexact
// and says why in the commit.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "mat.h"
#include "model.h"
#include "r3d.h"
#include "render3d_torus.h"
#include "tridiff.h"
#include "trifull.h"
#include "trimask.h"

namespace {

// clang-format off
const uint64_t s_expected[] = {
    0xdaf1319ae6ba65dcull,  // torus, mask
    0xe283ad4703c86b87ull,  // torus, diffuse
    0x6b8107468ccbd26bull,  // torus, full
    0x082d60e26545239eull,  // torus, wireframe
    0xe4a37a16130d129dull,  // random triangles
    0x8d74266dd46358c5ull,  // random lines
};
// clang-format on

// Frame bytes, then depth words.
uint64_t hashBuffers(const std::vector<uint8_t>& frame)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : frame)
        h = (h ^ b) * 0x100000001b3ull;
    for (int i = 0; i < R3dPixels; i++)
        h = (h ^ r3d_zbuffer[i]) * 0x100000001b3ull;
    return h;
}

// A generator of our own (not <random>'s distributions, whose results differ between standard
// libraries): 32-bit xorshift, floats built from 24 bits exactly.
struct Rng {
    uint32_t s = 0x9e3779b9u;
    uint32_t next()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    float in(float lo, float hi) { return lo + (hi - lo) * (float)(next() >> 8) * (1.0f / 16777216.0f); }
};

ProjVertex randomVertex(Rng& rng)
{
    ProjVertex p;
    p.x = rng.in(-60.0f, 380.0f);
    p.y = rng.in(-50.0f, 250.0f);
    p.invZ = rng.in(0.05f, 0.95f);
    p.nz = 0;
    p.u = rng.in(-3.0f, 3.0f);
    p.v = rng.in(-3.0f, 3.0f);
    p.envU = rng.in(0.0f, 1.0f);
    p.envV = rng.in(0.0f, 1.0f);
    return p;
}

}  // namespace

TEST(RasterExact, FramesAreTheSameOnEveryTarget)
{
#if defined(__x86_64__) && defined(__AVX2__)
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma"))
        GTEST_SKIP() << "this build needs a CPU with AVX2 and FMA";
#endif
    r3d_init();
    std::vector<uint8_t> frame(R3dPixels, 0), diffuse, env, lut;
    render3d_test::torusTextures(diffuse, env, lut);
    r3d_setTexture(0, diffuse.data());
    r3d_setTexture(1, env.data());
    r3d_setLUT(lut.data());
    std::vector<uint64_t> got;

    // Torus: each variant at four angles into one frame, the depth buffer carried over.
    Model torus = {};
    render3d_test::buildTorus(&torus);
    auto torusPass = [&](int variant) {
        for (int k = 0; k < 4; k++) {
            mat m;
            mat_setComponents(&m, -50.0f + 23.5f * (float)k, 20.0f + 41.25f * (float)k, 7.0f * (float)k,
                              0.3f * (float)(k - 2), 0.1f * (float)k, 2.4f + 0.35f * (float)k);
            r3d_transformAndProject(&torus, &m);
            r3d_begin(frame.data());
            if (variant < 3) {
                r3d_setMaskEnabled(variant == 0);
                r3d_setTextureEnabled(1, variant == 2);
                r3d_render(&torus);
            } else {
                r3d_renderWireframe(&torus, 0.001f, (uint8_t)(200 + k));
            }
            r3d_end();
        }
        got.push_back(hashBuffers(frame));
    };
    r3d_setMaskValue(77);
    for (int variant = 0; variant < 4; variant++)
        torusPass(variant);
    r3d_setMaskEnabled(false);
    r3d_setTextureEnabled(1, true);
    model_destroy(&torus);

    // Random triangles, the three variants in turn, both windings (half are culled). Batches of
    // 20 into a cleared frame keep most of their pixels visible, and each batch goes into the hash.
    Rng rng;
    uint64_t batches = 0;
    for (int t = 0; t < 3000; t++) {
        if (t % 20 == 0) {
            batches = batches * 31 + hashBuffers(frame);
            r3d_clearZbuffer();
            std::fill(frame.begin(), frame.end(), 0);
        }
        const ProjVertex a = randomVertex(rng), b = randomVertex(rng), c = randomVertex(rng);
        r3d_begin(frame.data());
        if (t % 3 == 0)
            draw_triangle_mask(&a, &b, &c);
        else if (t % 3 == 1)
            draw_triangle_diffuse(&a, &b, &c);
        else
            draw_triangle_full(&a, &b, &c);
        r3d_end();
    }
    got.push_back(batches * 31 + hashBuffers(frame));

    // Lines over the last batch, their ends made before the pass (whose rounding would change them).
    std::vector<ProjVertex> ends;
    for (int i = 0; i < 4000; i++)
        ends.push_back(randomVertex(rng));
    r3d_begin(frame.data());
    for (int i = 0; i < 2000; i++)
        r3d_drawLine(&ends[2 * i], &ends[2 * i + 1], (uint8_t)i);
    r3d_end();
    got.push_back(hashBuffers(frame));
    r3d_deinit();

    ASSERT_EQ(got.size(), std::size(s_expected));
    if (std::getenv("TIDEWATER_RASTER_PRINT")) {
        for (uint64_t h : got)
            std::printf("    0x%016llxull,\n", (unsigned long long)h);
        return;
    }
    const char* what[] = {"torus, mask", "torus, diffuse", "torus, full", "torus, wireframe", "random triangles",
                          "random lines"};
    for (size_t i = 0; i < got.size(); i++)
        EXPECT_EQ(got[i], s_expected[i]) << what[i];
}
