// Bitmap font: loading and its checks, glyph addressing, drawing and clipping, glyph particles, and
// the show's sheet srcdata/312.tga from the generator, read back through the loader.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "file.h"
#include "font.h"
#include "fontsheet.h"
#include "guarded_frame.h"
#include "particle.h"
#include "render3d_datafile.h"

namespace {

constexpr int W = 320;
const char* const SheetName = "srcdata/312.tga";

using Frame = GuardedFrame;

class Font312 : public ::testing::Test {
protected:
    void SetUp() override
    {
        const mkassets::Bytes sheet = fontsheet::showSheet();
        ASSERT_TRUE(render3d_test::mount({{SheetName, render3d_test::Bytes(sheet.begin(), sheet.end())}}));
        font = font_loadFromFile(SheetName, 16, 12, 0, 4, 20, 32);
        ASSERT_NE(font, nullptr);
        font->transparent = fontsheet::Background;
        glyphs = fontsheet::showGlyphs();
    }
    void TearDown() override
    {
        font_destroy(font);
        file_unmountData();
    }
    // The generator's cell of character c.
    const std::vector<uint8_t>& cell(int c) const { return glyphs[c - 32]; }
    int inkPixels(int c) const
    {
        int n = 0;
        for (uint8_t v : cell(c))
            n += v == fontsheet::Ink;
        return n;
    }
    Font* font = nullptr;
    std::vector<std::vector<uint8_t>> glyphs;
};

// Loads a sheet of the given size whose every pixel is `fill`.
Font* tryPlainSheet(int w, int h, int cw, int ch, int gapX, int gapY, int perRow, std::string* error)
{
    std::vector<std::vector<uint8_t>> none;
    uint8_t palette[768] = {};
    fontsheet::Layout l{w, h, 0, 0, 1, 32};
    const mkassets::Bytes tga = fontsheet::buildSheet(l, {std::vector<uint8_t>((size_t)w * h, 7)}, 0, palette);
    if (!render3d_test::mount({{"srcdata/s.tga", render3d_test::Bytes(tga.begin(), tga.end())}}))
        return nullptr;
    char buf[256] = "";
    Font* f = font_tryLoad("srcdata/s.tga", cw, ch, gapX, gapY, perRow, 32, buf, sizeof(buf));
    *error = buf;
    return f;
}

}  // namespace

TEST_F(Font312, SheetRoundTripsThroughTheLoader)
{
    EXPECT_EQ(font->charWidth, 16u);
    EXPECT_EQ(font->charHeight, 12u);
    EXPECT_EQ(font->gapX, 0u);
    EXPECT_EQ(font->gapY, 4u);
    EXPECT_EQ(font->charsPerRow, 20u);
    EXPECT_EQ(font->firstChar, 32);
    ASSERT_EQ(font->image->width, 320u);
    ASSERT_EQ(font->image->height, 80u);
    EXPECT_EQ(font_glyphCount(font), 100);
    // Only the two indices the scenes know; the sheet's palette shows them black and white.
    for (uint32_t i = 0; i < 320 * 80; i++)
        ASSERT_TRUE(font->image->pixels[i] == 254 || font->image->pixels[i] == 255) << i;
    EXPECT_EQ(font->image->palette[254 * 3], 0);
    EXPECT_EQ(font->image->palette[255 * 3 + 1], 63);
    // "A" (65) is glyph 33: sheet column 13 * 16 = 208, row 1 * 16 = 16.
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 16; x++)
            ASSERT_EQ(font->image->pixels[(16 + y) * 320 + 208 + x], cell('A')[y * 16 + x]) << x << "," << y;
    // Every glyph sits at its address, top row first.
    for (int c = 32; c < 128; c++) {
        const int g = c - 32, sx = (g % 20) * 16, sy = (g / 20) * 16;
        for (int y = 0; y < 12; y++)
            ASSERT_EQ(memcmp(&font->image->pixels[(sy + y) * 320 + sx], &cell(c)[y * 16], 16), 0) << c;
    }
}

TEST_F(Font312, GlyphDesignIsCompleteAndSpaced)
{
    EXPECT_EQ(inkPixels(' '), 0);
    std::set<std::vector<uint8_t>> distinct;
    for (int c = 33; c < 128; c++) {
        EXPECT_GE(inkPixels(c), 6) << "character " << c << " has no real glyph";
        distinct.insert(cell(c));
        // Column 0 and columns 14, 15 stay empty: letters never touch.
        for (int y = 0; y < 12; y++)
            for (int x : {0, 14, 15})
                ASSERT_EQ(cell(c)[y * 16 + x], fontsheet::Background) << "character " << c;
    }
    EXPECT_EQ(distinct.size(), 95u) << "every character has its own glyph";
    // Letters are bold: capitals have three-pixel stems, so each carries plenty of ink.
    for (int c = 'A'; c <= 'Z'; c++)
        EXPECT_GE(inkPixels(c), 45) << (char)c;
    // Lower case is small capitals on the same baseline: nothing in the top three rows.
    for (int c = 'a'; c <= 'z'; c++)
        for (int x = 0; x < 3 * 16; x++)
            ASSERT_EQ(cell(c)[x], fontsheet::Background) << (char)c;
    // 34 is the typing cursor: a solid block over the letters' full height and width.
    EXPECT_EQ(inkPixels(34), 13 * 11);
    for (int y = 0; y < 11; y++)
        for (int x = 1; x <= 13; x++)
            ASSERT_EQ(cell(34)[y * 16 + x], fontsheet::Ink);
}

TEST_F(Font312, DrawCharCopiesInkAndKeysOutTheTransparentIndex)
{
    Frame f(3);
    font_drawChar(font, f.p, 'A', 10, 20);
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 16; x++)
            ASSERT_EQ(f.at(10 + x, 20 + y), cell('A')[y * 16 + x] == 255 ? 255 : 3);
    EXPECT_EQ(f.count(255), inkPixels('A'));

    Frame g(3);
    font_drawString(font, g.p, "AB", 10, 20);
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 16; x++)
            ASSERT_EQ(g.at(26 + x, 20 + y), cell('B')[y * 16 + x] == 255 ? 255 : 3) << "B starts at x = 26";
    Frame e(3);
    font_drawString(font, e.p, "", 10, 20);
    font_drawPartialString(font, e.p, "ABC", 0, 10, 20);
    font_drawPartialString(font, e.p, "ABC", -4, 10, 20);
    EXPECT_EQ(e.count(3), 64000);
    font_drawPartialString(font, e.p, "AB", 1, 10, 20);
    EXPECT_EQ(e.count(255), inkPixels('A'));
    font_drawPartialString(font, e.p, "A", 50, 40, 20);  // stops at the terminating zero
    EXPECT_EQ(e.count(255), 2 * inkPixels('A'));
}

TEST_F(Font312, ClippedGlyphKeysOutIndexZeroAndStopsAtTheEdges)
{
    Frame f(0);
    font_drawCharClipped(font, f.p, 'A', 310, 50);
    // Index 0 is the clipped variant's key, so the sheet's 254 background is copied too: exactly
    // the first 10 columns of the cell, nothing wrapped into the next rows.
    EXPECT_EQ(f.count(0), 64000 - 10 * 12);
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 10; x++)
            ASSERT_EQ(f.at(310 + x, 50 + y), cell('A')[y * 16 + x]);
    Frame g(0);
    font_drawCharClipped(font, g.p, 'A', 100, 195);
    EXPECT_EQ(g.count(0), 64000 - 16 * 5);
    EXPECT_TRUE(g.outsideClean());
    Frame h(0);
    font_drawStringClipped(font, h.p, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 0, 0);
    EXPECT_EQ(h.count(0), 64000 - 320 * 12);
}

TEST_F(Font312, HostilePositionsAndCharactersStayInsideTheFrame)
{
    const int xs[] = {INT_MIN, -1000000, -16, -15, -1, 0, 150, 304, 305, 319, 320, 1000000, INT_MAX};
    const int ys[] = {INT_MIN, -12, -11, -1, 0, 100, 188, 189, 199, 200, INT_MAX};
    Frame f(0);
    for (int x : xs)
        for (int y : ys) {
            font_drawChar(font, f.p, 'W', x, y);
            font_drawCharClipped(font, f.p, 'M', x, y);
            font_drawString(font, f.p, "GREETINGS", x, y);
            font_drawStringClipped(font, f.p, "TO ALL", x, y);
            font_drawPartialString(font, f.p, "V0LTA", 3, x, y);
        }
    EXPECT_TRUE(f.outsideClean());
    // A glyph half off the left edge shows its right half exactly.
    Frame g(3);
    font_drawChar(font, g.p, 'K', -8, 0);
    for (int y = 0; y < 12; y++)
        for (int x = 0; x < 8; x++)
            ASSERT_EQ(g.at(x, y), cell('K')[y * 16 + 8 + x] == 255 ? 255 : 3);
    // Characters the sheet does not hold draw nothing: before the first, past the last cell
    // (128..131 would be the sheet's 4 unused cells), and past 127 from the first as a signed byte.
    Frame h(3);
    for (int c : {0, 31, 128, 131, 159, 160, 200, 255, -1, -100, 1000})
        font_drawChar(font, h.p, c, 100, 100);
    font_drawString(font, h.p, "\x1f\x80\xff", 100, 100);
    EXPECT_EQ(h.count(3), 64000);
    EXPECT_TRUE(h.outsideClean());
}

TEST_F(Font312, CharacterParticlesFollowTheGlyph)
{
    ParticleSystem2d* s = particle2d_create(2048);
    font_addCharParticles(font, s, 'A', 40, 150);
    int live = 0;
    for (int i = 0; i < s->count; i++)
        if (s->particles[i].life >= 0.0f) {
            const Particle2d& p = s->particles[i];
            live++;
            EXPECT_EQ(p.life, 2.0f);
            EXPECT_EQ(p.vx, 0.0f);
            EXPECT_EQ(p.ay, 0.0f);
            const int x = (int)p.x - 40, y = (int)p.y - 150;
            ASSERT_EQ(cell('A')[y * 16 + x], 255);
        }
    EXPECT_EQ(live, inkPixels('A'));
    // Row order: the first particle is the top row's first ink pixel.
    EXPECT_EQ(s->particles[0].y, 150.0f);
    font_addStringParticles(font, s, "V0LTA", 2, 40, 150);
    font_addCharParticles(font, s, 34, 40 + 16 * 5, 150);
    font_addCharParticles(font, s, 7, 0, 0);  // not on the sheet: nothing
    int now = 0;
    for (int i = 0; i < s->count; i++)
        now += s->particles[i].life >= 0.0f;
    EXPECT_EQ(now, live + inkPixels('V') + inkPixels('0') + inkPixels(34));
    particle2d_destroy(s);

    // A full system adds nothing and changes nothing.
    ParticleSystem2d* full = particle2d_create(50);
    for (int i = 0; i < 50; i++)
        particle2d_add(full, (float)i, 0)->life = 1.0f;
    std::vector<Particle2d> before(full->particles, full->particles + 50);
    font_addStringParticles(font, full, "EMBERLY", 7, 0, 0);
    EXPECT_EQ(memcmp(before.data(), full->particles, sizeof(Particle2d) * 50), 0);
    particle2d_destroy(full);
}

TEST(FontLoad, SheetsTooSmallForTheirCellsAreRefused)
{
    std::string error;
    Font* ok = tryPlainSheet(64, 28, 16, 12, 0, 4, 4, &error);
    ASSERT_NE(ok, nullptr) << error;
    EXPECT_EQ(font_glyphCount(ok), 8);  // two whole rows of four: 28 = 12 + 4 + 12
    // A record changed after loading is checked again when drawing: nothing is read past the sheet.
    ok->charsPerRow = 5;
    EXPECT_EQ(font_glyphCount(ok), 0);
    Frame f(0);
    font_drawChar(ok, f.p, 33, 0, 0);
    EXPECT_EQ(f.count(0), 64000);
    font_destroy(ok);

    struct Case {
        int w, h, cw, ch, gx, gy, perRow;
        const char* problem;
    };
    const Case cases[] = {
        {63, 28, 16, 12, 0, 4, 4, "narrower than its glyphs per row"},
        {64, 11, 16, 12, 0, 4, 4, "shorter than one glyph row"},
        {64, 28, 16, 12, 1, 4, 4, "narrower than its glyphs per row"},
        {64, 28, 0, 12, 0, 4, 4, "bad glyph layout"},
        {64, 28, 16, -1, 0, 4, 4, "bad glyph layout"},
        {64, 28, 16, 12, 0, 4, 0, "bad glyph layout"},
        {64, 28, 16, 12, -2, 4, 4, "bad glyph layout"},
        {64, 28, INT_MAX, 12, 0, 4, INT_MAX, "narrower than its glyphs per row"},
    };
    for (const Case& c : cases) {
        Font* f = tryPlainSheet(c.w, c.h, c.cw, c.ch, c.gx, c.gy, c.perRow, &error);
        EXPECT_EQ(f, nullptr);
        font_destroy(f);
        EXPECT_NE(error.find("srcdata/s.tga: "), std::string::npos) << error;
        EXPECT_NE(error.find(c.problem), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    file_unmountData();
}

TEST(FontLoad, MissingOrTrueColourSheetIsRefused)
{
    // A 24-bit TGA: no palette, so no glyph indices.
    mkassets::Bytes tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 12, 0, 24, 0};
    tga.resize(tga.size() + 16 * 12 * 3, 9);
    ASSERT_TRUE(render3d_test::mount({{"srcdata/rgb.tga", render3d_test::Bytes(tga.begin(), tga.end())}}));
    char error[256];
    EXPECT_EQ(font_tryLoad("srcdata/rgb.tga", 16, 12, 0, 4, 1, 32, error, sizeof(error)), nullptr);
    EXPECT_NE(std::string(error).find("not an 8-bit"), std::string::npos) << error;
    EXPECT_EQ(font_tryLoad("srcdata/none.tga", 16, 12, 0, 4, 1, 32, error, sizeof(error)), nullptr);
    EXPECT_NE(std::string(error).find("srcdata/none.tga"), std::string::npos) << error;
    file_unmountData();
    font_destroy(nullptr);
}

TEST(FontLoadDeathTest, LoadFailureIsOneLineAndExitCodeOne)
{
    ASSERT_TRUE(render3d_test::mount({{"srcdata/x.bin", {1, 2, 3}}}));
    // The message goes to standard output; point it at stderr where the death test looks.
    EXPECT_EXIT(
        {
            dup2(2, 1);
            font_loadFromFile("srcdata/312.tga", 16, 12, 0, 4, 20, 32);
        },
        testing::ExitedWithCode(1), "^font: srcdata/312.tga: not found in the datafile\n$");
    file_unmountData();
}
