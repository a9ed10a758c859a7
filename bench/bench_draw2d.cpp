// Full-frame filters and additive dots, each beside a plain memcpy of one 64,000-byte frame in the
// same run as the yardstick. Counters: ns per pixel (filters) and dots per second.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "drawdot.h"
#include "util.h"
#include "video.h"

namespace {

// Two frames laid out like the video module's buffers, spare rows included, holding a picture
// with some structure (the filters' cost does not depend on it).
struct Frames {
    std::vector<uint8_t> a = std::vector<uint8_t>(VideoWidth * (VideoHeight + 2));
    std::vector<uint8_t> b = std::vector<uint8_t>(VideoWidth * (VideoHeight + 2));
    uint8_t* src = a.data() + VideoWidth;
    uint8_t* dst = b.data() + VideoWidth;
    Frames()
    {
        uint32_t seed = 99;
        for (int i = 0; i < VideoPixels; i++) {
            seed = seed * 1664525u + 1013904223u;
            src[i] = (uint8_t)((i % 320) ^ (i / 320) ^ (seed >> 28));
        }
    }
};

Frames& frames()
{
    static Frames f;
    return f;
}

void perPixel(benchmark::State& state)
{
    // Seconds per pixel (printed with an SI prefix: 180p is 0.18 ns).
    state.counters["s/pixel"] = benchmark::Counter((double)VideoPixels, benchmark::Counter::kIsIterationInvariantRate |
                                                                          benchmark::Counter::kInvert);
    state.SetBytesProcessed(state.iterations() * VideoPixels);
}

void BM_FrameMemcpy(benchmark::State& state)
{
    Frames& f = frames();
    for (auto _ : state) {
        memcpy(f.dst, f.src, VideoPixels);
        benchmark::DoNotOptimize(f.dst);
        benchmark::ClobberMemory();
    }
    perPixel(state);
}
BENCHMARK(BM_FrameMemcpy);

void BM_Blur(benchmark::State& state)
{
    Frames& f = frames();
    for (auto _ : state) {
        video_blur(f.src, f.dst);
        benchmark::DoNotOptimize(f.dst);
        benchmark::ClobberMemory();
    }
    perPixel(state);
}
BENCHMARK(BM_Blur);

void BM_BlurBig(benchmark::State& state)
{
    Frames& f = frames();
    for (auto _ : state) {
        video_blurBig(f.src, f.dst);
        benchmark::DoNotOptimize(f.dst);
        benchmark::ClobberMemory();
    }
    perPixel(state);
}
BENCHMARK(BM_BlurBig);

void BM_BlurRadial(benchmark::State& state)
{
    Frames& f = frames();
    util_fpuSetFullMode();
    video_setRadialBlurLookup(12.0f);
    for (auto _ : state) {
        video_blurRadial(f.dst);
        benchmark::DoNotOptimize(f.dst);
        benchmark::ClobberMemory();
    }
    perPixel(state);
}
BENCHMARK(BM_BlurRadial);

// A particle-like spread of dots over the whole frame (the edge ones take the clipped path).
template <typename Dot>
void dots(benchmark::State& state, Dot dot)
{
    Frames& f = frames();
    enum { N = 4096 };
    static int xy[N][2];
    uint32_t seed = 5;
    for (auto& p : xy) {
        seed = seed * 1664525u + 1013904223u;
        p[0] = (int)((seed >> 8) % 324) - 2;
        p[1] = (int)((seed >> 20) % 204) - 2;
    }
    memset(f.dst, 0, VideoPixels);
    for (auto _ : state) {
        for (auto& p : xy)
            dot(p[0], p[1], f.dst);
        benchmark::ClobberMemory();
    }
    state.counters["dots/s"] = benchmark::Counter((double)N, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_AddDot(benchmark::State& state)
{
    dots(state, [](int x, int y, uint8_t* b) { video_drawAddDot(x, y, b); });
}
BENCHMARK(BM_AddDot);

void BM_AddDotColBig(benchmark::State& state)
{
    dots(state, [](int x, int y, uint8_t* b) { video_drawAddDotColBig(x, y, b, 6); });
}
BENCHMARK(BM_AddDotColBig);

}  // namespace
