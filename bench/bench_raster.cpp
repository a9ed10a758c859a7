// Rasteriser throughput on a fixed scene: a 2,000-triangle textured torus covering about half of
// the 320 x 200 frame, drawn by each variant (mask, diffuse, full), plus projection and wireframe.
// Counters: triangles per second (submitted triangles) and pixels per second (pixels rasterised
// by the front-facing triangles, occluded ones included, counted once at set-up).
#include <benchmark/benchmark.h>

#include <vector>

#include "../tests/render3d_torus.h"
#include "r3d.h"
#include "tridiff.h"
#include "trifull.h"
#include "trimask.h"

namespace {

struct RasterScene {
    Model torus = {};
    mat matrix;
    std::vector<uint8_t> frame = std::vector<uint8_t>(64000, 0);
    std::vector<uint8_t> diffuse, env, lut;
    double pixelsPerFrame = 0;

    RasterScene()
    {
        r3d_init();
        render3d_test::buildTorus(&torus);
        matrix = render3d_test::torusMatrix();
        r3d_transformAndProject(&torus, &matrix);
        render3d_test::torusTextures(diffuse, env, lut);
        r3d_setTexture(0, diffuse.data());
        r3d_setTexture(1, env.data());
        r3d_setLUT(lut.data());
        // Rasterised pixels: each triangle on its own into an empty frame (depth always passes).
        r3d_setMaskValue(1);
        long total = 0;
        for (int t = 0; t < torus.numTris; t++) {
            std::fill(frame.begin(), frame.end(), 0);
            r3d_clearZbuffer();
            r3d_begin(frame.data());
            draw_triangle_mask(&torus.proj[3 * t], &torus.proj[3 * t + 1], &torus.proj[3 * t + 2]);
            r3d_end();
            for (uint8_t p : frame)
                total += p;
        }
        pixelsPerFrame = (double)total;
        r3d_clearZbuffer();
    }
    ~RasterScene()
    {
        model_destroy(&torus);
        r3d_deinit();
    }
};

RasterScene& scene()
{
    static RasterScene s;
    return s;
}

void run(benchmark::State& state, bool mask, bool env)
{
    RasterScene& s = scene();
    r3d_setMaskEnabled(mask);
    r3d_setTextureEnabled(0, true);
    r3d_setTextureEnabled(1, env);
    for (auto _ : state) {
        r3d_begin(s.frame.data());
        r3d_render(&s.torus);
        r3d_end();
        benchmark::DoNotOptimize(s.frame.data());
    }
    r3d_setMaskEnabled(false);
    r3d_setTextureEnabled(1, true);
    state.counters["triangles/s"] = benchmark::Counter((double)s.torus.numTris, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["pixels/s"] = benchmark::Counter(s.pixelsPerFrame, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["pixels/frame"] = s.pixelsPerFrame;
}

void BM_RasterMask(benchmark::State& state) { run(state, true, false); }
void BM_RasterDiffuse(benchmark::State& state) { run(state, false, false); }
void BM_RasterFull(benchmark::State& state) { run(state, false, true); }

void BM_ProjectTorus(benchmark::State& state)
{
    RasterScene& s = scene();
    for (auto _ : state) {
        r3d_transformAndProject(&s.torus, &s.matrix);
        benchmark::DoNotOptimize(s.torus.proj);
    }
    state.counters["vertices/s"] = benchmark::Counter((double)s.torus.numVerts, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_WireframeTorus(benchmark::State& state)
{
    RasterScene& s = scene();
    for (auto _ : state) {
        r3d_begin(s.frame.data());
        r3d_renderWireframe(&s.torus, 0.001f, 255);
        r3d_end();
        benchmark::DoNotOptimize(s.frame.data());
    }
    state.counters["lines/s"] = benchmark::Counter((double)s.torus.numWireIndices, benchmark::Counter::kIsIterationInvariantRate);
}

// Pure span throughput: two triangles covering the whole frame, textured across several wraps.
void fill(benchmark::State& state, bool mask, bool env)
{
    RasterScene& s = scene();
    ProjVertex q[4];
    const float xs[4] = {0, 320, 320, 0}, ys[4] = {0, 0, 200, 200};
    for (int i = 0; i < 4; i++) {
        q[i].x = xs[i];
        q[i].y = ys[i];
        q[i].invZ = 0.25f + 0.001f * (float)i;
        q[i].nz = 0;
        q[i].u = xs[i] / 100.0f;
        q[i].v = ys[i] / 120.0f;
        q[i].envU = 0.2f + xs[i] / 640.0f;
        q[i].envV = 0.3f + ys[i] / 400.0f;
    }
    r3d_setMaskEnabled(mask);
    r3d_setTextureEnabled(1, env);
    void (*draw)(const ProjVertex*, const ProjVertex*, const ProjVertex*) =
        mask ? draw_triangle_mask : (env ? draw_triangle_full : draw_triangle_diffuse);
    for (auto _ : state) {
        r3d_begin(s.frame.data());
        draw(&q[0], &q[1], &q[3]);
        draw(&q[1], &q[2], &q[3]);
        r3d_end();
        benchmark::DoNotOptimize(s.frame.data());
    }
    r3d_setMaskEnabled(false);
    r3d_setTextureEnabled(1, true);
    state.counters["pixels/s"] = benchmark::Counter(64000.0, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_FillMask(benchmark::State& state) { fill(state, true, false); }
void BM_FillDiffuse(benchmark::State& state) { fill(state, false, false); }
void BM_FillFull(benchmark::State& state) { fill(state, false, true); }

BENCHMARK(BM_FillMask)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillDiffuse)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FillFull)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RasterMask)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RasterDiffuse)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RasterFull)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProjectTorus)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WireframeTorus)->Unit(benchmark::kMicrosecond);

}  // namespace
