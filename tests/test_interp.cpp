// Interpolated grid: the packed block, the whole-frame two-texture walk against a closed-form
// model, the wrap-around and carry rules, light rows, T1 scrolling and the light-level guard.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "interp.h"
#include "interpa.h"
#include "video.h"

namespace {

struct Tables {
    std::vector<uint8_t> t0 = std::vector<uint8_t>(65536), t1 = std::vector<uint8_t>(65536);
    std::vector<uint8_t> blend = std::vector<uint8_t>(65536), light = std::vector<uint8_t>(65536);
    std::vector<uint16_t> disp = std::vector<uint16_t>(65536);

    // Pixel = T0[a]: identity displacement, blend passes T0, light passes the colour.
    Tables()
    {
        for (int a = 0; a < 65536; a++) {
            t0[a] = (uint8_t)(a % 251);
            t1[a] = (uint8_t)(a % 241);
            disp[a] = (uint16_t)a;
            blend[a] = (uint8_t)a;  // B[t1][t0] = t0
            light[a] = (uint8_t)a;  // L[l][c] = c
        }
    }
    void scramble(uint32_t seed)
    {
        auto next = [&] {
            seed = seed * 1664525u + 1013904223u;
            return seed >> 8;
        };
        for (int a = 0; a < 65536; a++) {
            t0[a] = (uint8_t)next();
            t1[a] = (uint8_t)next();
            disp[a] = (uint16_t)next();
            blend[a] = (uint8_t)next();
            light[a] = (uint8_t)next();
        }
    }
};

class Interp : public ::testing::Test {
protected:
    Tables tab;
    uint8_t* block = nullptr;
    // The frame with a guard row above and below, as the video buffers have.
    std::vector<uint8_t> mem = std::vector<uint8_t>(VideoPixels + 2 * VideoWidth, 0xEE);
    uint8_t* frame = mem.data() + VideoWidth;

    void SetUp() override
    {
        interp_setPackedImages(nullptr);
        interp_setStartAddressOffset(0);
        fillGrid([](int, int) { return InterpNode{0, 0, 0}; });
    }
    void TearDown() override
    {
        interp_setPackedImages(nullptr);
        interp_destroyTextures(block);
    }
    void pack()
    {
        interp_destroyTextures(block);
        block = interp_createTextures(tab.t0.data(), tab.t1.data(), tab.disp.data(), tab.blend.data(),
                                      tab.light.data());
        interp_setPackedImages(block);
    }
    template <class F> void fillGrid(F f)
    {
        for (int j = 0; j < InterpGridHeight; j++)
            for (int i = 0; i < InterpGridWidth; i++)
                interp_node(i, j) = f(i, j);
    }
    uint8_t at(int x, int y) const { return frame[y * VideoWidth + x]; }
};

// Closed form of the walk: node differences as signed 16-bit numbers, 16.16 steps floored by 8.
uint8_t modelPixel(const Tables& t, uint16_t startOfs, int x, int y)
{
    const int i = x / 8, j = y / 8, px = x % 8, py = y % 8;
    auto value = [&](auto field) -> int64_t {
        const int64_t tl = field(interp_node(i, j)), tr = field(interp_node(i + 1, j));
        const int64_t bl = field(interp_node(i, j + 1)), br = field(interp_node(i + 1, j + 1));
        auto wrapDiff = [](int64_t a, int64_t b) { return (int64_t)(int16_t)(uint16_t)(b - a); };
        auto floor8 = [](int64_t n) { return n >= 0 ? n / 8 : -((-n + 7) / 8); };
        const int64_t left = tl * 65536 + py * floor8(wrapDiff(tl, bl) * 65536);
        const int64_t right = tr * 65536 + py * floor8(wrapDiff(tr, br) * 65536);
        const int64_t span = (int64_t)(int32_t)(uint32_t)(right - left);
        return left + px * floor8(span);
    };
    auto toInt = [](int64_t f) { return (uint32_t)((uint64_t)f >> 16) & 0xFFFFu; };
    const uint32_t u = toInt(value([](const InterpNode& n) { return n.u; }));
    const uint32_t v = toInt(value([](const InterpNode& n) { return n.v; }));
    const uint32_t l = toInt(value([](const InterpNode& n) { return n.l > 255 ? 255 : n.l; }));
    const uint32_t a = (v * 256 + u) & 0xFFFF;
    const uint32_t o = (t.disp[a] + startOfs) & 0xFFFF;
    return t.light[l * 256 + t.blend[t.t1[o] * 256 + t.t0[a]]];
}

TEST_F(Interp, BlockIsAlignedAndHoldsTheFiveTablesAtTheirOffsets)
{
    tab.scramble(7);
    pack();
    ASSERT_EQ((uintptr_t)block % 65536, 0u);
    EXPECT_EQ(memcmp(block + InterpT0Offset, tab.t0.data(), 65536), 0);
    EXPECT_EQ(memcmp(block + InterpDispOffset, tab.disp.data(), 131072), 0);
    EXPECT_EQ(memcmp(block + InterpT1Offset, tab.t1.data(), 65536), 0);
    EXPECT_EQ(memcmp(block + InterpBlendOffset, tab.blend.data(), 65536), 0);
    EXPECT_EQ(memcmp(block + InterpLightOffset, tab.light.data(), 65536), 0);
    EXPECT_EQ(InterpBlockBytes, 6 * 65536);
}

TEST_F(Interp, NothingIsDrawnWithoutABlockOrAfterItIsDestroyed)
{
    interp_render(frame);
    EXPECT_EQ(std::vector<uint8_t>(mem.size(), 0xEE), mem);
    pack();
    interp_destroyTextures(block);  // the active block: the render must forget it
    block = nullptr;
    interp_render(frame);
    EXPECT_EQ(std::vector<uint8_t>(mem.size(), 0xEE), mem);
}

TEST_F(Interp, ConstantGridFillsTheFrameAndEveryPixelIsWritten)
{
    tab.scramble(11);
    pack();
    interp_render(frame);
    const uint8_t expect = tab.light[tab.blend[tab.t1[tab.disp[0]] * 256 + tab.t0[0]]];
    for (int n = 0; n < VideoPixels; n++)
        ASSERT_EQ(frame[n], expect) << n;
    for (int n = 0; n < VideoWidth; n++) {  // the guard rows are never touched
        ASSERT_EQ(mem[n], 0xEE);
        ASSERT_EQ(mem[VideoWidth + VideoPixels + n], 0xEE);
    }
}

TEST_F(Interp, LightRowsZeroAnd255DecideTheColours)
{
    tab.scramble(3);
    for (int c = 0; c < 256; c++) {
        tab.light[c] = 3;
        tab.light[255 * 256 + c] = 200;
    }
    pack();
    for (uint16_t l : {0, 255}) {
        fillGrid([&](int i, int j) { return InterpNode{(uint16_t)(i * 37), (uint16_t)(j * 91), l}; });
        interp_render(frame);
        for (int n = 0; n < VideoPixels; n++)
            ASSERT_EQ(frame[n], l ? 200 : 3) << n;
    }
}

TEST_F(Interp, UGrowingBy8ReadsOneTexelPerPixel)
{
    pack();
    fillGrid([](int i, int) { return InterpNode{(uint16_t)(i * 8), 5, 0}; });
    interp_render(frame);
    for (int y = 0; y < VideoHeight; y += 37)
        for (int x = 0; x < VideoWidth; x++)  // u runs on past 255 and carries into row 6
            ASSERT_EQ(at(x, y), tab.t0[5 * 256 + x]) << x << "," << y;
}

TEST_F(Interp, UCarriesIntoTheNextRowAndStepsTakeTheShortWay)
{
    pack();
    fillGrid([](int i, int) { return InterpNode{(uint16_t)(i == 1 ? 260 : 252), 0, 0}; });
    interp_render(frame);
    for (int x = 0; x < 8; x++)  // 252..255 of row 0, then 0..3 of row 1
        EXPECT_EQ(at(x, 3), tab.t0[252 + x]) << x;
    // 65535 to 0 is +1, not -65535: all eight pixels of a row sit on texel 65535.
    fillGrid([](int i, int) { return InterpNode{0, 0, 0}; });
    interp_node(0, 0) = interp_node(0, 1) = {65535, 0, 0};
    interp_render(frame);
    EXPECT_EQ(at(0, 0), tab.t0[65535]);
    EXPECT_EQ(at(7, 0), tab.t0[65535]);
}

TEST_F(Interp, StartOffsetScrollsTheSecondTextureOnly)
{
    for (int a = 0; a < 65536; a++)
        tab.blend[a] = (uint8_t)(a >> 8);  // B[t1][t0] = t1
    pack();
    fillGrid([](int i, int j) { return InterpNode{(uint16_t)(i * 8), (uint16_t)(j * 8), 0}; });
    for (uint16_t ofs : {0, 256, 1}) {
        interp_setStartAddressOffset(ofs);
        interp_render(frame);
        for (int y = 0; y < VideoHeight; y += 13)
            for (int x = 0; x < VideoWidth; x += 7)
                ASSERT_EQ(at(x, y), tab.t1[((y * 256 + x) + ofs) & 0xFFFF]) << ofs << " " << x << "," << y;
    }
}

TEST_F(Interp, RandomGridMatchesTheClosedFormWalk)
{
    tab.scramble(99);
    pack();
    uint32_t seed = 5;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return (uint16_t)(seed >> 16);
    };
    fillGrid([&](int, int) { return InterpNode{next(), next(), (uint16_t)(next() & 255)}; });
    interp_setStartAddressOffset(0x1234);
    interp_render(frame);
    for (int y = 0; y < VideoHeight; y++)
        for (int x = 0; x < VideoWidth; x++)
            ASSERT_EQ(at(x, y), modelPixel(tab, 0x1234, x, y)) << x << "," << y;
}

// A light level past the table's last row would address beyond the block: it is drawn as 255.
TEST_F(Interp, LightAbove255IsDrawnAs255AndStaysInsideTheBlock)
{
    for (int a = 0; a < 65536; a++)
        tab.light[a] = (uint8_t)(a >> 8);  // pixel = light row
    pack();
    const uint16_t levels[] = {256, 300, 4096, 65535};
    fillGrid([&](int i, int j) { return InterpNode{(uint16_t)i, (uint16_t)j, levels[(i + j) % 4]}; });
    interp_node(3, 3).l = 0;
    interp_render(frame);
    for (int y = 0; y < VideoHeight; y++)
        for (int x = 0; x < VideoWidth; x++) {
            const bool nearDark = x >= 16 && x < 32 && y >= 16 && y < 32;
            ASSERT_TRUE(nearDark || at(x, y) == 255) << x << "," << y;
        }
    EXPECT_EQ(at(24, 24), 0);   // the dark node itself
    EXPECT_EQ(at(20, 24), 127); // halfway between 255 and 0, floored
}

TEST_F(Interp, RenderBlocksRedrawsOnlyItsClippedRange)
{
    tab.scramble(5);
    pack();
    fillGrid([](int i, int j) { return InterpNode{(uint16_t)(i * 13), (uint16_t)(j * 29), (uint16_t)(i + j)}; });
    interp_render(frame);
    const std::vector<uint8_t> whole(mem);
    std::fill(mem.begin(), mem.end(), 0xEE);
    interp_renderBlocks(frame, 3, 2, 5, 3);  // blocks (3, 2) and (4, 2)
    for (int y = 0; y < VideoHeight; y++)
        for (int x = 0; x < VideoWidth; x++) {
            const bool inside = x >= 24 && x < 40 && y >= 16 && y < 24;
            ASSERT_EQ(at(x, y), inside ? whole[VideoWidth + y * VideoWidth + x] : 0xEE) << x << "," << y;
        }
    // Ranges past the grid are clipped to it; empty or inverted ones draw nothing.
    std::fill(mem.begin(), mem.end(), 0xEE);
    interp_renderBlocks(frame, 5, 5, 3, 9);
    interp_renderBlocks(frame, 40, 0, 99, 25);
    EXPECT_EQ(std::vector<uint8_t>(mem.size(), 0xEE), mem);
    interp_renderBlocks(frame, -7, -3, 1000, 1000);
    EXPECT_EQ(whole, mem);
}

TEST(InterpRect, SingleTextureBlockWrapsCoordinatesAndRecordsItsSteps)
{
    std::vector<uint8_t> tex(65536), dst(VideoWidth * 8, 0xEE);
    for (int a = 0; a < 65536; a++)
        tex[a] = (uint8_t)(a % 253);
    interp_rect(dst.data(), tex.data(), 0, 0, 8, 0, 0, 8, 8, 8);
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++)
            ASSERT_EQ(dst[y * VideoWidth + x], tex[y * 256 + x]);
    EXPECT_EQ(dst[8], 0xEE);
    EXPECT_EQ(uGrad, 65536);
    EXPECT_EQ(vGrad, 0);
    // Negative corners wrap into 0..255; -8 to 0 reads columns 248..255 of row 255 (v = -1).
    interp_rect(dst.data(), tex.data(), -8, -1, 0, -1, -8, 7, 0, 7);
    for (int x = 0; x < 8; x++)
        EXPECT_EQ(dst[x], tex[255 * 256 + 248 + x]) << x;
    EXPECT_EQ(dst[7 * VideoWidth], tex[6 * 256 + 248]);
    // Extreme corners stay defined: steps come from 64-bit differences.
    interp_rect(dst.data(), tex.data(), -32768, -32768, 32767, -32768, -32768, 32767, 32767, 32767);
    EXPECT_EQ(uGrad, (int32_t)((65535LL * 65536) / 8));
    EXPECT_EQ(dst[0], tex[0]);  // -32768 & 255 = 0
}

}  // namespace
