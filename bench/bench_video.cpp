// Frame presentation: the palette expansion of 64,000 indices to 32-bit pixels, a whole headless
// video_present, and a plain memcpy of the 256,000-byte surface as the yardstick.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "glint_interface.h"
#include "video.h"

namespace {

struct Frame {
    std::vector<uint8_t> indices = std::vector<uint8_t>(VideoPixels);
    std::vector<uint32_t> palette = std::vector<uint32_t>(256);
    std::vector<uint32_t> surface = std::vector<uint32_t>(VideoPixels);
    Frame()
    {
        uint32_t seed = 12345;
        for (auto& i : indices) {
            seed = seed * 1664525u + 1013904223u;
            i = (uint8_t)(seed >> 24);
        }
        for (int i = 0; i < 256; i++)
            palette[i] = (uint32_t)(i * 0x010203) & 0x00FFFFFF;
    }
};

Frame& frame()
{
    static Frame f;
    return f;
}

void BM_PaletteExpand(benchmark::State& state)
{
    Frame& f = frame();
    for (auto _ : state) {
        video_expand(f.surface.data(), f.indices.data(), f.palette.data(), VideoPixels);
        benchmark::DoNotOptimize(f.surface.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * VideoPixels);
    state.SetBytesProcessed(state.iterations() * VideoPixels * 4);
}
BENCHMARK(BM_PaletteExpand);

void BM_SurfaceMemcpy(benchmark::State& state)
{
    Frame& f = frame();
    static std::vector<uint32_t> source(VideoPixels, 0x00123456);
    for (auto _ : state) {
        memcpy(f.surface.data(), source.data(), VideoPixels * 4);
        benchmark::DoNotOptimize(f.surface.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * VideoPixels);
    state.SetBytesProcessed(state.iterations() * VideoPixels * 4);
}
BENCHMARK(BM_SurfaceMemcpy);

// A whole presentation in a headless fixed-step run: expansion plus the window update.
void BM_VideoPresentHeadless(benchmark::State& state)
{
    glint_setHeadless(1);
    glint_setFixedStep(60);
    if (!video_init(1, 0, 2)) {
        state.SkipWithError("video_init failed");
        return;
    }
    memcpy(video_getBuffer(0), frame().indices.data(), VideoPixels);
    for (int i = 0; i < 256; i++)
        video_setPal(i, (uint8_t)(i & 63), (uint8_t)((i >> 1) & 63), (uint8_t)((i >> 2) & 63));
    for (auto _ : state) {
        video_present(1.0f / 60.0f);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * VideoPixels);
    video_deinit();
}
BENCHMARK(BM_VideoPresentHeadless);

}  // namespace
