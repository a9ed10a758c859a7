// Interpolated grid: interp_rectEnvLight over the whole 320 x 200 frame, beside a plain memcpy of
// the 64,000-byte frame in the same run as the yardstick (the ratio is the figure that travels).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "interp.h"
#include "interpa.h"
#include "video.h"

namespace {

struct Scene {
    std::vector<uint8_t> frame = std::vector<uint8_t>(VideoPixels);
    uint8_t* block = nullptr;

    // Smooth textures, a bump-like displacement, a blend that mixes the two and a light table
    // that darkens by row, with a tunnel-like grid (u from the angle, v from the depth, light
    // falling towards the centre): the tables are read the way a scene reads them.
    Scene()
    {
        std::vector<uint8_t> t0(65536), t1(65536), blend(65536), light(65536);
        std::vector<uint16_t> disp(65536);
        for (int y = 0; y < 256; y++)
            for (int x = 0; x < 256; x++) {
                const float fx = (float)x * 6.2831853f / 256.0f, fy = (float)y * 6.2831853f / 256.0f;
                const int a = y * 256 + x;
                t0[a] = (uint8_t)(128 + 60 * sinf(3 * fx) * cosf(2 * fy) + 60 * sinf(5 * fy + fx));
                t1[a] = (uint8_t)(128 + 120 * sinf(4 * fx + 2 * sinf(3 * fy)));
                const int h = (int)(64 + 60 * sinf(7 * fx) * sinf(6 * fy));
                disp[a] = (uint16_t)(y * 256 + ((x + (h >> 1)) & 255));
                blend[a] = (uint8_t)((x * 3 + y) / 4);  // row = t1, column = t0
                light[a] = (uint8_t)((x * y) / 255);    // row = level, column = colour
            }
        block = interp_createTextures(t0.data(), t1.data(), disp.data(), blend.data(), light.data());
        interp_setPackedImages(block);
        interp_setStartAddressOffset(0x0345);
        for (int j = 0; j < InterpGridHeight; j++)
            for (int i = 0; i < InterpGridWidth; i++) {
                const float x = (float)(i * 8 - 160), y = (float)(j * 8 - 100);
                const float r = sqrtf(x * x + y * y) + 1.0f;
                const float angle = atan2f(y, x);
                interp_node(i, j) = {(uint16_t)(int)(angle * 512.0f / 3.14159265f),
                                     (uint16_t)(int)(8192.0f / r), (uint16_t)(r > 255 ? 255 : r)};
            }
    }
    ~Scene() { interp_destroyTextures(block); }
};

void BM_InterpRectEnvLight(benchmark::State& state)
{
    Scene s;
    for (auto _ : state) {
        interp_render(s.frame.data());
        benchmark::DoNotOptimize(s.frame.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * VideoPixels);
    state.SetBytesProcessed(state.iterations() * VideoPixels);
}
BENCHMARK(BM_InterpRectEnvLight);

void BM_FrameMemcpy(benchmark::State& state)
{
    std::vector<uint8_t> src(VideoPixels, 0x5A), dst(VideoPixels);
    for (auto _ : state) {
        memcpy(dst.data(), src.data(), VideoPixels);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * VideoPixels);
    state.SetBytesProcessed(state.iterations() * VideoPixels);
}
BENCHMARK(BM_FrameMemcpy);

}  // namespace
