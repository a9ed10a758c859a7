// The opening and closing scenes' generated assets: the Credits palette with its spark colours,
// the light and translucency tables computed against it, the ribbon textures, the chrome logo and
// the glitch pattern; QxLogo's particle sources and gradient palette. Each is read back through
// the engine's loaders where the scene reads it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <vector>

#include "credits_art.h"
#include "file.h"
#include "image.h"
#include "impack.h"
#include "qxlogo_art.h"
#include "render3d_datafile.h"

namespace {

using art::Rgb;

float lum(Rgb c)
{
    return art::luminance(c);
}

credits_art::Palette& palette()
{
    static credits_art::Palette p;
    return p;
}

}  // namespace

TEST(CreditsArt, PaletteHoldsBlackWhiteAndTheFourSparkHues)
{
    credits_art::Palette& p = palette();
    EXPECT_EQ(std::memcmp(p.entry(0), "\0\0\0", 3), 0);
    EXPECT_EQ(std::memcmp(p.entry(255), "\x3f\x3f\x3f", 3), 0);
    for (int i = 1; i < 255; i++)
        EXPECT_NE(std::memcmp(p.entry(i), "\x3f\x3f\x3f", 3), 0) << "a second white at " << i;
    const Rgb aqua = p.colour(credits_art::AquaSpark), violet = p.colour(credits_art::VioletSpark);
    const Rgb rose = p.colour(credits_art::RoseSpark), gold = p.colour(credits_art::GoldSpark);
    EXPECT_TRUE(aqua.g > aqua.r + 10 && aqua.b > aqua.r + 10);
    EXPECT_TRUE(violet.b > violet.g + 10 && violet.r > violet.g);
    EXPECT_TRUE(rose.r > rose.b && rose.b > rose.g);
    EXPECT_TRUE(gold.r > gold.g && gold.g > gold.b + 10);
}

TEST(CreditsArt, LightTableRampsEverySparkFromBlackToBright)
{
    credits_art::Palette& p = palette();
    const std::vector<uint8_t> t = credits_art::lightTable(p);
    ASSERT_EQ(t.size(), 129u * 256u);
    for (int c = 0; c < 256; c++)
        ASSERT_EQ(t[c], 0) << "level 0 is black";
    for (int spark : {credits_art::AquaSpark, credits_art::VioletSpark, credits_art::RoseSpark, credits_art::GoldSpark}) {
        float last = 0.0f;
        std::set<int> steps;
        for (int level = 0; level <= 128; level++) {
            const Rgb c = p.colour(t[level * 256 + spark]);
            EXPECT_GE(lum(c), last - 1.5f) << spark << " at " << level;
            last = std::max(last, lum(c));
            steps.insert(t[level * 256 + spark]);
        }
        EXPECT_GT(last, 40.0f) << spark << " ends bright";
        EXPECT_GE(steps.size(), 20u) << spark << " is a real ramp, not a few colours";
        // Mid-level, the lit colour keeps the spark's hue.
        const Rgb hue = p.colour(spark), mid = p.colour(t[64 * 256 + spark]);
        const float dot = (hue.r * mid.r + hue.g * mid.g + hue.b * mid.b) /
                          (std::sqrt(hue.r * hue.r + hue.g * hue.g + hue.b * hue.b) *
                           std::sqrt(mid.r * mid.r + mid.g * mid.g + mid.b * mid.b));
        EXPECT_GT(dot, 0.95f) << spark;
    }
}

TEST(CreditsArt, TranslucencyGlowsAndNeverDarkens)
{
    credits_art::Palette& p = palette();
    const std::vector<uint8_t> lut = credits_art::translucencyTable(p);
    for (int s = 0; s < 256; s++)
        for (int d = 0; d < 256; d++) {
            const Rgb out = p.colour(lut[s * 256 + d]);
            ASSERT_GE(lum(out), std::max(lum(p.colour(s)), lum(p.colour(d))) - 2.0f) << s << " over " << d;
        }
    for (int i = 0; i < 256; i++) {
        EXPECT_EQ(std::memcmp(p.entry(lut[i]), p.entry(i), 3), 0) << "a black source leaves the frame alone";
        EXPECT_EQ(std::memcmp(p.entry(lut[i * 256]), p.entry(i), 3), 0) << "over black a source shows as itself";
    }
}

TEST(CreditsArt, LogoIsAChromeMarkInsideATransparentBorder)
{
    credits_art::Palette& p = palette();
    std::vector<uint8_t> logo = credits_art::logoImage(p);
    ASSERT_EQ(logo.size(), (size_t)credits_art::LogoWidth * credits_art::LogoHeight);
    int opaque = 0, bright = 0, dark = 0;
    for (int y = 0; y < credits_art::LogoHeight; y++)
        for (int x = 0; x < credits_art::LogoWidth; x++) {
            const uint8_t v = logo[y * credits_art::LogoWidth + x];
            const bool edge = x == 0 || y == 0 || x == credits_art::LogoWidth - 1 || y == credits_art::LogoHeight - 1;
            ASSERT_TRUE(!edge || v == credits_art::LogoTransparent) << "the mark fits inside its image";
            if (v == credits_art::LogoTransparent)
                continue;
            opaque++;
            bright += lum(p.colour(v)) > 50.0f;
            dark += lum(p.colour(v)) < 12.0f;
        }
    EXPECT_GT(opaque, credits_art::LogoWidth * credits_art::LogoHeight / 3);
    EXPECT_GT(bright, opaque / 10) << "chrome highlights";
    EXPECT_GT(dark, opaque / 20) << "the outline and the dark band under the horizon";
}

TEST(CreditsArt, GlitchPatternIsBlockyTearsNotNoise)
{
    const std::vector<uint8_t> g = credits_art::glitchMap();
    ASSERT_EQ(g.size(), 262144u);
    int still = 0, sameAsLeft = 0, strong = 0;
    for (int y = 0; y < 512; y++)
        for (int x = 0; x < 512; x++) {
            const uint8_t v = g[y * 512 + x];
            still += v == 128;
            strong += std::abs(v - 128) >= 40;
            sameAsLeft += x > 0 && v == g[y * 512 + x - 1];
        }
    EXPECT_GT(still, 262144 / 3) << "calm between the tears";
    EXPECT_GT(strong, 262144 / 8) << "and tears that really shift the logo";
    EXPECT_GT(sameAsLeft, 262144 * 9 / 10) << "horizontal runs, not noise";
    // Any 0.125 s step of the scroll (1000 bytes) over the logo's rows shows some tears.
    for (int g0 = 0; g0 < 20000; g0 += 1000) {
        int torn = 0;
        for (int row = 0; row < credits_art::LogoHeight; row++)
            torn += g[(row * 512 + 100 + g0) & 0x3FFFF] != 128;
        EXPECT_GT(torn, 10) << g0;
    }
}

TEST(QxLogoArt, SourcesAreStillLettersSidewaysStreaksAndFallingDrops)
{
    const std::vector<uint8_t> px = qxlogo_art::sourcePixels();
    const int w = qxlogo_art::SourceWidth, h = qxlogo_art::SourceHeight;
    std::set<int> streakRows;
    int counts[4] = {0, 0, 0, 0};
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const uint8_t v = px[y * w + x];
            ASSERT_LE(v, 3);
            counts[v]++;
            if (v == qxlogo_art::Sideways)
                streakRows.insert(y);
            if (v == qxlogo_art::Falling) {
                bool letterAbove = false;
                for (int yy = 0; yy < y; yy++)
                    letterAbove = letterAbove || px[yy * w + x] == qxlogo_art::Still;
                ASSERT_TRUE(letterAbove) << "drops hang below the letters: " << x << "," << y;
            }
        }
    EXPECT_GT(counts[qxlogo_art::Still], 2000);
    EXPECT_GT(counts[qxlogo_art::Sideways], 30);
    EXPECT_GT(counts[qxlogo_art::Falling], 60);
    EXPECT_EQ(streakRows.size(), 2u) << "two speed lines";

    // Through the loader: the colours give the kinds the scene reads.
    const mkassets::Bytes tga = qxlogo_art::sourceTga();
    ASSERT_TRUE(render3d_test::mount({{"srcdata/logopart.tga", render3d_test::Bytes(tga.begin(), tga.end())}}));
    Image* im = image_loadFromFile("srcdata/logopart.tga", 0);
    ASSERT_EQ(im->width, (uint32_t)w);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const uint8_t* c = im->palette + 3 * im->pixels[y * w + x];
            const int kind = !c[0] && !c[1] && !c[2] ? 0 : (c[0] && c[1] && c[2]) ? 1 : c[0] ? 2 : 3;
            ASSERT_EQ(kind, px[y * w + x]) << x << "," << y;
        }
    image_destroy(im);
    file_unmountData();
}

TEST(QxLogoArt, GradientIsADarkToBrightRampWithATint)
{
    const mkassets::Bytes pal = qxlogo_art::gradientPalette();
    ASSERT_EQ(pal.size(), 768u);
    EXPECT_EQ(pal[0] | pal[1] | pal[2], 0);
    EXPECT_EQ(pal[255 * 3], 63);
    float last = -1.0f;
    for (int i = 0; i < 256; i++) {
        const Rgb c = art::rgb(pal[i * 3], pal[i * 3 + 1], pal[i * 3 + 2]);
        EXPECT_GE(lum(c), last) << "index order is brightness order, at " << i;
        last = lum(c);
        ASSERT_LE(pal[i * 3] | pal[i * 3 + 1] | pal[i * 3 + 2], 63);
    }
    EXPECT_GT(pal[40 * 3 + 2], pal[40 * 3] + 20) << "a blue tint in the low range the picture lives in";
}
