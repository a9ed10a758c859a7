// Video module: buffers, live palette, presentation, searches, fades, flashes, gradients.
#include <gtest/gtest.h>

#include <cfenv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "glint_interface.h"
#include "util.h"
#include "video.h"

namespace {

class Video : public ::testing::Test {
protected:
    void SetUp() override
    {
        util_fpuSetFullMode();
        glint_setHeadless(1);
        glint_setFixedStep(60);
        ASSERT_EQ(video_init(1, 0, 2), 1);
    }
    void TearDown() override { video_deinit(); }
};

struct Palette {
    uint8_t c[768];
    Palette() { memset(c, 0, sizeof(c)); }
    void set(int i, int r, int g, int b)
    {
        c[i * 3] = (uint8_t)r;
        c[i * 3 + 1] = (uint8_t)g;
        c[i * 3 + 2] = (uint8_t)b;
    }
};

uint32_t live(int i)
{
    return video_getLivePalette()[i];
}

uint32_t rgb6(int r, int g, int b)
{
    auto x = [](int c) { return (uint32_t)((c << 2) | (c >> 4)); };
    return (x(r) << 16) | (x(g) << 8) | x(b);
}

}  // namespace

TEST_F(Video, BuffersAndTheirSpareRows)
{
    EXPECT_EQ(video_getCurrentMode(), 1);
    EXPECT_EQ(video_getCurrentBpp(), 8);
    EXPECT_TRUE(video_isGraphics());
    uint8_t* b0 = video_getBuffer(0);
    uint8_t* b1 = video_getBuffer(1);
    ASSERT_NE(b0, nullptr);
    ASSERT_NE(b1, nullptr);
    EXPECT_EQ(video_getBuffer(2), nullptr);
    EXPECT_EQ(video_getBuffer(-1), nullptr);
    EXPECT_EQ(b1 - b0, 320 * 202) << "one block, buffer i at i * S + 320";
    for (int i = -320; i < 64000 + 320; i++) {
        ASSERT_EQ(b0[i], 0) << i;
        ASSERT_EQ(b1[i], 0) << i;
    }
    video_swapBuffers();
    EXPECT_EQ(video_getBuffer(0), b1);
    EXPECT_EQ(video_getBuffer(1), b0);
    video_swapBuffers();
    EXPECT_EQ(video_getBpp(1), 8);
    EXPECT_EQ(video_getBpp(3), 16);
    EXPECT_EQ(video_getBpp(4), 32);
    EXPECT_EQ(video_getBpp(2), 0);
}

TEST(VideoInit, UnknownModeAndMissingWindowFail)
{
    glint_setHeadless(1);
    EXPECT_EQ(video_init(7, 0, 2), 0);
    EXPECT_FALSE(video_isGraphics());
    // A window that cannot be opened (no usable video driver) fails with a message, not a crash.
    glint_setHeadless(0);
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(video_init(1, 0, 2), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("glint: cannot open the window"), std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    EXPECT_FALSE(video_isGraphics());
    EXPECT_EQ(video_getRGBBuffer(), nullptr);
    video_present(0.0f);  // nothing to show, nothing to crash
    unsetenv("SDL_VIDEODRIVER");
    glint_setHeadless(1);
}

TEST_F(Video, SetPalExpandsSixBitComponents)
{
    video_setPal(5, 63, 63, 63);
    EXPECT_EQ(live(5), 0x00FFFFFFu);
    video_setPal(5, 0, 0, 0);
    EXPECT_EQ(live(5), 0u);
    video_setPal(5, 32, 16, 1);
    EXPECT_EQ(live(5), 0x00824104u);
    uint8_t r, g, b;
    video_getPal(5, &r, &g, &b);
    EXPECT_EQ(r, 0x82);
    EXPECT_EQ(g, 0x41);
    EXPECT_EQ(b, 0x04);
}

TEST_F(Video, GetPaletteReturnsEightBitComponents)
{
    Palette p;
    for (int i = 0; i < 256; i++)
        p.set(i, i & 63, (i * 7) & 63, 63 - (i & 63));
    video_setPalette(p.c);
    uint8_t back[768];
    video_getPalette(back);
    for (int i = 0; i < 768; i++) {
        int c = p.c[i];
        ASSERT_EQ(back[i], (c << 2) | (c >> 4)) << i;
    }
    video_setPaletteWhite();
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(live(i), 0x00FFFFFFu);
    video_setPaletteBlack();
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(live(i), 0u);
    // A range takes each entry from the same position of the array.
    video_setPaletteRange(p.c, 10, 3);
    EXPECT_EQ(live(9), 0u);
    EXPECT_EQ(live(10), rgb6(10, 70 & 63, 53));
    EXPECT_EQ(live(12), rgb6(12, 84 & 63, 51));
    EXPECT_EQ(live(13), 0u);
    video_setPaletteRange(p.c, 250, 20);  // clipped at the end, no overrun
    EXPECT_EQ(live(255), rgb6(63, (255 * 7) & 63, 0));
}

// Ranges at the ends of int (first + count would overflow): each setter and fade touches exactly
// the entries the range reaches inside the palette.
TEST_F(Video, PaletteRangesAtTheEndsOfInt)
{
    Palette p;
    for (int i = 0; i < 256; i++)
        p.set(i, 21, 40, 63);
    const int Max = INT_MAX, Min = INT_MIN;
    const struct {
        int first, count, begin, end;  // entries [begin, end) change
    } cases[] = {{10, Max, 10, 256}, {-5, Max, 0, 256}, {Max, Max, 0, 0}, {Max, 1, 0, 0},
                 {Min, Max, 0, 0},   {Min, 1, 0, 0},    {255, Max, 255, 256}, {0, Min, 0, 0}};
    void (*const fades[])(const uint8_t*, int, int, float) = {video_fadePaletteToBlack, video_fadePaletteFromBlack,
                                                              video_fadePaletteToWhite, video_fadePaletteFromWhite};
    for (const auto& c : cases) {
        for (int f = -1; f < 4; f++) {
            video_setPaletteBlack();
            if (f < 0)
                video_setPaletteRange(p.c, c.first, c.count);
            else
                fades[f](p.c, c.first, c.count, 0.5f);
            for (int i = 0; i < 256; i++)
                ASSERT_EQ(live(i) != 0, i >= c.begin && i < c.end)
                    << "first " << c.first << " count " << c.count << " fade " << f << " entry " << i;
        }
    }
}

TEST_F(Video, PresentExpandsBufferZeroIntoTheSurface)
{
    video_setPal(7, 10, 20, 30);
    memset(video_getBuffer(0), 7, 64000);
    memset(video_getBuffer(1), 3, 64000);
    video_present(0.0f);
    const uint32_t* s = video_getRGBBuffer();
    ASSERT_NE(s, nullptr);
    for (int i = 0; i < 64000; i++)
        ASSERT_EQ(s[i], rgb6(10, 20, 30)) << i;

    // Every index through the expansion, at every position (the fast path handles odd tails).
    Palette p;
    for (int i = 0; i < 256; i++)
        p.set(i, i & 63, (i >> 2) & 63, (255 - i) & 63);
    video_setPalette(p.c);
    uint8_t* b0 = video_getBuffer(0);
    for (int i = 0; i < 64000; i++)
        b0[i] = (uint8_t)(i * 31 + (i >> 9));
    video_copyIndexBufferToRGB(0);
    for (int i = 0; i < 64000; i++)
        ASSERT_EQ(s[i], live(b0[i])) << i;
    std::vector<uint32_t> dst(37 + 1, 0xDEADBEEF);
    video_expand(dst.data(), b0, video_getLivePalette(), 37);
    for (int i = 0; i < 37; i++)
        ASSERT_EQ(dst[i], live(b0[i]));
    EXPECT_EQ(dst[37], 0xDEADBEEFu) << "nothing written past the count";

    // A palette change colours the next presentation, not the one already shown.
    memset(b0, 7, 64000);
    video_present(0.0f);
    uint32_t before = s[0];
    video_setPal(7, 63, 0, 0);
    EXPECT_EQ(s[0], before);
    video_present(0.0f);
    EXPECT_EQ(s[0], 0x00FF0000u);
}

TEST(VideoExpand, MatchesTheTableLookupAndStopsAtCount)
{
    // Words with every byte in use (the top byte too), every index, odd counts and offsets.
    std::vector<uint32_t> palette(256);
    for (int i = 0; i < 256; i++)
        palette[i] = (uint32_t)i * 0x01020304u ^ 0xA5C3E10Fu;
    std::vector<uint8_t> src(64000 + 77);
    uint32_t seed = 99;
    for (auto& b : src) {
        seed = seed * 1664525u + 1013904223u;
        b = (uint8_t)(seed >> 24);
    }
    for (int i = 0; i < 256; i++)
        src[i] = (uint8_t)i;
    for (int count : {64000, 1, 7, 63, 64, 65, 128, 200, 1000}) {
        for (int offset : {0, 3}) {
            std::vector<uint32_t> a(count + 1, 0x12345678u);
            video_expand(a.data(), src.data() + offset, palette.data(), count);
            for (int n = 0; n < count; n++)
                ASSERT_EQ(a[n], palette[src[offset + n]]) << "count " << count << " pixel " << n;
            EXPECT_EQ(a[count], 0x12345678u);
        }
    }
}

TEST_F(Video, DrawPaletteStrip)
{
    uint8_t* b0 = video_getBuffer(0);
    memset(b0, 200, 64000);
    video_drawPalette();
    int written = 0;
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++) {
            uint8_t v = b0[y * 320 + x];
            if (y < 10 && x < 256) {
                EXPECT_EQ(v, x);
                written++;
            } else {
                ASSERT_EQ(v, 200) << x << "," << y;
            }
        }
    EXPECT_EQ(written, 2560);
}

TEST_F(Video, CaptureWritesAnImageOfTheBuffer)
{
    video_drawPalette();
    std::string path = testing::TempDir() + "capture_test.tga";
    EXPECT_EQ(video_captureBuffer(path.c_str(), 0), 1);
    FILE* f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    fseek(f, 0, SEEK_END);
    EXPECT_GE(ftell(f), 64000 + 768);
    fclose(f);
    remove(path.c_str());
    EXPECT_EQ(video_captureBuffer(path.c_str(), 5), 0);
}

TEST(VideoModes, WordCopyInTheDeeperModes)
{
    glint_setHeadless(1);
    glint_setFixedStep(60);
    ASSERT_EQ(video_init(4, 0, 1), 1);
    EXPECT_EQ(video_getCurrentBpp(), 32);
    EXPECT_EQ(video_getBuffer(1) - video_getBuffer(0), 4 * 320 * 202);
    uint32_t* words = (uint32_t*)video_getBuffer(0);
    for (int i = 0; i < 64000; i++)
        words[i] = (uint32_t)i * 2654435761u;
    video_present(0.0f);
    EXPECT_EQ(0, memcmp(video_getRGBBuffer(), words, 256000));
    video_swapBuffers();  // buffer 0 is now the upper half of the block: still no overrun
    video_present(0.0f);
    video_deinit();

    ASSERT_EQ(video_init(3, 0, 1), 1);
    EXPECT_EQ(video_getCurrentBpp(), 16);
    video_swapBuffers();
    video_present(0.0f);  // a 16-bit buffer holds half the surface's words: nothing read past it
    video_deinit();
}

TEST(VideoSearch, ExactMatch)
{
    Palette p;
    p.set(3, 10, 20, 30);
    p.set(9, 10, 20, 30);
    EXPECT_EQ(video_findPaletteIndex(p.c, 10, 20, 30), 3);
    EXPECT_EQ(video_findPaletteIndex(p.c, 0, 0, 0), 0);
    EXPECT_EQ(video_findPaletteIndex(p.c, 1, 2, 3), -1);
}

TEST(VideoSearch, NearestPrefersExactAndLowerIndex)
{
    Palette p;
    for (int i = 0; i < 256; i++)
        p.set(i, 63, 63, 63);
    p.set(40, 30, 30, 30);
    p.set(41, 31, 30, 30);
    p.set(100, 31, 30, 30);
    EXPECT_EQ(video_findPaletteNearestIndex(p.c, 31, 30, 30), 41);
    EXPECT_EQ(video_findPaletteNearestIndex(p.c, 30, 30, 30), 40);
    EXPECT_EQ(video_findPaletteNearestIndex(p.c, 33, 31, 30), 41);
    EXPECT_EQ(video_findPaletteNearestIndex(p.c, 62, 63, 63), 0) << "ties go to the lowest index";
    p.set(200, 0, 0, 5);
    EXPECT_EQ(video_findPaletteNearestIndex(p.c, 0, 0, 0), 200);
}

TEST(VideoSearch, BrightestIsAGreedyChain)
{
    Palette ramp;
    for (int i = 0; i < 256; i++) {
        int v = i < 64 ? i : 63;
        ramp.set(i, v, v, v);
    }
    EXPECT_EQ(video_findPaletteBrightest(ramp.c), 63);
    Palette red;
    for (int i = 1; i < 256; i++)
        red.set(i, 63, 0, 0);
    EXPECT_EQ(video_findPaletteBrightest(red.c), 0) << "an entry with a zero component never qualifies";
    Palette chain;
    chain.set(1, 10, 10, 10);
    chain.set(2, 60, 5, 60);   // not above (10, 10, 10) in green
    chain.set(3, 20, 20, 20);
    chain.set(4, 15, 63, 63);  // not above (20, 20, 20) in red
    EXPECT_EQ(video_findPaletteBrightest(chain.c), 3) << "the end of the chain, not the largest sum";
}

TEST(VideoSearch, DarkestMirrorsBrightest)
{
    Palette p;
    for (int i = 0; i < 256; i++)
        p.set(i, 63, 63, 63);
    EXPECT_EQ(video_findPaletteDarkest(p.c), 0) << "first entry below (255, 255, 255) is 0 itself";
    p.set(0, 255, 255, 255);
    p.set(1, 255, 200, 255);
    p.set(5, 50, 50, 50);
    p.set(6, 40, 60, 10);
    p.set(7, 30, 30, 30);
    EXPECT_EQ(video_findPaletteDarkest(p.c), 7);
    Palette none;
    memset(none.c, 255, sizeof(none.c));
    EXPECT_EQ(video_findPaletteDarkest(none.c), 0);
}

TEST(VideoFade, FadesTouchOnlyTheirRangeAndRoundToEven)
{
    util_fpuSetFullMode();
    Palette p;
    for (int i = 0; i < 256; i++)
        p.set(i, 21, 40, 63);
    video_setPaletteRange(p.c, 0, 256);

    video_fadePaletteToBlack(p.c, 10, 5, 1.0f);
    for (int i = 10; i < 15; i++)
        EXPECT_EQ(live(i), 0u);
    EXPECT_EQ(live(9), rgb6(21, 40, 63));
    EXPECT_EQ(live(15), rgb6(21, 40, 63));

    video_fadePaletteFromWhite(p.c, 0, 256, 0.0f);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(live(i), 0x00FFFFFFu);

    video_fadePaletteFromBlack(p.c, 0, 1, 0.5f);
    EXPECT_EQ(live(0), rgb6(10, 20, 32)) << "10.5 rounds to 10, 31.5 to 32";
    video_fadePaletteToBlack(p.c, 0, 1, 0.0f);
    EXPECT_EQ(live(0), rgb6(21, 40, 63));
    video_fadePaletteToWhite(p.c, 0, 1, 1.0f);
    EXPECT_EQ(live(0), 0x00FFFFFFu);
    video_fadePaletteToWhite(p.c, 0, 1, 0.0f);
    EXPECT_EQ(live(0), rgb6(21, 40, 63));
    video_fadePaletteFromWhite(p.c, 0, 1, 1.0f);
    EXPECT_EQ(live(0), rgb6(21, 40, 63));
    video_fadePaletteFromBlack(p.c, 0, 1, 0.0f);
    EXPECT_EQ(live(0), 0u);

    // Empty and out-of-range requests change nothing.
    video_setPaletteWhite();
    video_fadePaletteToBlack(p.c, 3, 0, 1.0f);
    video_fadePaletteToBlack(p.c, 3, -4, 1.0f);
    video_fadePaletteToBlack(p.c, 300, 10, 1.0f);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(live(i), 0x00FFFFFFu);
    video_fadePaletteToBlack(p.c, 250, 100, 1.0f);  // clipped at 255
    EXPECT_EQ(live(249), 0x00FFFFFFu);
    EXPECT_EQ(live(255), 0u);
}

TEST(VideoFade, LerpBetweenTwoPalettes)
{
    util_fpuSetFullMode();
    Palette a, b;
    for (int i = 0; i < 256; i++) {
        a.set(i, 0, 10, 63);
        b.set(i, 63, 20, 0);
    }
    video_lerpPalette(a.c, b.c, 0.0f);
    EXPECT_EQ(live(17), rgb6(0, 10, 63));
    video_lerpPalette(a.c, b.c, 1.0f);
    EXPECT_EQ(live(17), rgb6(63, 20, 0));
    video_lerpPalette(a.c, b.c, 0.5f);
    EXPECT_EQ(live(17), rgb6(32, 15, 32)) << "31.5 rounds to even";
}

TEST(VideoFlash, EaseOutBlend)
{
    util_fpuSetFullMode();
    Palette p;
    for (int i = 0; i < 256; i++)
        p.set(i, 0, 32, 63);
    video_flash(0.0f, p.c, 63, 0, 10);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(live(i), rgb6(63, 0, 10));
    video_flash(1.0f, p.c, 63, 0, 10);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(live(i), rgb6(0, 32, 63));
    // t = 0.5: the palette weighs 0.875, the flash colour 0.125.
    video_flashWhite(0.5f, p.c);
    EXPECT_EQ(live(0), rgb6(8, 36, 63));  // 7.875, 35.875, 63
}

TEST_F(Video, TriggeredWhiteFlashPlaysDuringPresentation)
{
    Palette p;
    for (int i = 0; i < 256; i++)
        p.set(i, 0, 0, 0);
    video_setPaletteBlack();
    video_triggerFlashWhite(0.1f, p.c);
    video_present(0.05f);
    EXPECT_EQ(live(0), 0x00FFFFFFu) << "first frame after the trigger is pure white";
    video_present(0.05f);
    EXPECT_EQ(live(0), rgb6(8, 8, 8)) << "t = 0.5 from the timer before this frame's step";
    video_setPal(0, 1, 2, 3);
    video_present(0.05f);
    EXPECT_EQ(live(0), rgb6(1, 2, 3)) << "the flash has ended and leaves the palette alone";

    // A step longer than the flash ends it after one more blended frame.
    video_triggerFlashWhite(0.1f, p.c);
    video_present(1.0f);
    EXPECT_EQ(live(0), 0x00FFFFFFu);
    video_setPal(0, 1, 2, 3);
    video_present(0.05f);
    EXPECT_EQ(live(0), rgb6(1, 2, 3));
    // A zero-length flash never starts.
    video_triggerFlashWhite(0.0f, p.c);
    video_present(0.05f);
    EXPECT_EQ(live(0), rgb6(1, 2, 3));
}

TEST(VideoGradient, StopsRunBetweenFiveStops)
{
    util_fpuSetFullMode();
    uint8_t pal[768];
    vec4 s = {10, 20, 30, 0};
    video_makePaletteStops(s, s, s, s, s, pal);
    for (int i = 0; i < 256; i++) {
        ASSERT_EQ(pal[i * 3], 10);
        ASSERT_EQ(pal[i * 3 + 1], 20);
        ASSERT_EQ(pal[i * 3 + 2], 30);
    }
    vec4 s0 = {0, 0, 0, 0}, s1 = {63, 0, 32, 0}, s2 = {0, 63, 5, 0}, s3 = {40, 40, 40, 0}, s4 = {63, 63, 63, 0};
    video_makePaletteStops(s0, s1, s2, s3, s4, pal);
    const vec4* stops[5] = {&s0, &s1, &s2, &s3, &s4};
    for (int run = 0; run < 4; run++) {
        const vec4& a = *stops[run];
        const vec4& b = *stops[run + 1];
        EXPECT_EQ(pal[run * 64 * 3], (uint8_t)a.x);
        EXPECT_EQ(pal[run * 64 * 3 + 2], (uint8_t)a.z);
        EXPECT_EQ(pal[(run * 64 + 63) * 3 + 1], (uint8_t)b.y);
        EXPECT_EQ(pal[(run * 64 + 63) * 3 + 2], (uint8_t)b.z);
    }
    EXPECT_EQ(0, memcmp(&pal[63 * 3], &pal[64 * 3], 3)) << "entries 63 and 64 both equal s1";
    EXPECT_EQ(pal[32 * 3], 32) << "63 * 32/63 = 32";
    // Values above 63 are limited to 63.
    vec4 hi = {70, 63, 100, 0};
    video_makePaletteStops(hi, hi, hi, hi, hi, pal);
    EXPECT_EQ(pal[0], 63);
    EXPECT_EQ(pal[2], 63);
}

TEST(VideoGradient, CosineGradient)
{
    util_fpuSetFullMode();
    uint8_t pal[768];
    // Constant channels: a + b*cos(...) with b = 0.
    vec4 a = {0.5f, 1.0f, -0.5f, 0}, b = {0, 0, 0, 0}, c = {1, 1, 1, 0}, d = {0, 0, 0, 0};
    video_makePalette(a, b, c, d, pal);
    for (int i = 0; i < 256; i++) {
        ASSERT_EQ(pal[i * 3], 32) << "31.5 rounds to even";
        ASSERT_EQ(pal[i * 3 + 1], 63);
        ASSERT_EQ(pal[i * 3 + 2], 63) << "a negative value ends as 63, not 0";
    }
    // A classic ramp: 0.5 + 0.5 cos(2pi(t + 0.5)) runs from 0 up to 63.
    vec4 a2 = {0.5f, 0.5f, 0.5f, 0}, b2 = {0.5f, 0.5f, 0.5f, 0}, c2 = {0.5f, 0.5f, 0.5f, 0}, d2 = {0.5f, 0.5f, 0.5f, 0};
    video_makePalette(a2, b2, c2, d2, pal);
    EXPECT_EQ(pal[0], 0);
    EXPECT_EQ(pal[255 * 3], 63);
    for (int i = 1; i < 256; i++)
        ASSERT_GE(pal[i * 3], pal[(i - 1) * 3]) << i;
}
