// Images, palettes, TGA capture, packs, height maps and the 2D drawers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "image.h"
#include "impack.h"
#include "mem.h"
#include "render3d_datafile.h"
#include "util.h"

using render3d_test::Bytes;

namespace {

void put16(Bytes& b, size_t at, uint32_t v)
{
    b[at] = (uint8_t)v;
    b[at + 1] = (uint8_t)(v >> 8);
}

// Colour-mapped TGA: header, `mapLength` BGR entries from `map`, then rows as stored (bottom first).
Bytes tga8(int w, int h, int mapLength, const Bytes& map, const Bytes& rows, int idLength = 0)
{
    Bytes b(18, 0);
    b[0] = (uint8_t)idLength;
    b[1] = 1;
    b[2] = 1;
    put16(b, 5, (uint32_t)mapLength);
    b[7] = 24;
    put16(b, 12, (uint32_t)w);
    put16(b, 14, (uint32_t)h);
    b[16] = 8;
    b.insert(b.end(), (size_t)idLength, 0xEE);
    Bytes m = map;
    m.resize((size_t)mapLength * 3, 0);
    b.insert(b.end(), m.begin(), m.end());
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

Bytes bmp8(int w, int h, const Bytes& palette1024, const Bytes& storedRows)
{
    Bytes b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    render3d_test::put32(b, 10, 54 + 1024);
    render3d_test::put32(b, 18, (uint32_t)w);
    render3d_test::put32(b, 22, (uint32_t)h);
    Bytes p = palette1024;
    p.resize(1024, 0);
    b.insert(b.end(), p.begin(), p.end());
    b.insert(b.end(), storedRows.begin(), storedRows.end());
    return b;
}

struct Mounted : ::testing::Test {
    void TearDown() override { file_unmountData(); }
};

using ImageLoad = Mounted;

TEST_F(ImageLoad, TgaRowsAreBottomUpAndMapIsConverted)
{
    Bytes map = {0x40, 0x80, 0xFC};  // blue, green, red of entry 0
    ASSERT_TRUE(render3d_test::mount({{"srcdata/a.tga", tga8(2, 2, 16, map, {1, 2, 3, 4}, 5)}}));
    Image* img = image_loadFromFile("srcdata/A.TGA", 1);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->width, 2u);
    EXPECT_EQ(img->height, 2u);
    EXPECT_EQ(img->flags, 0);
    EXPECT_EQ(Bytes(img->pixels, img->pixels + 4), (Bytes{3, 4, 1, 2}));
    EXPECT_EQ(Bytes(img->palette, img->palette + 3), (Bytes{63, 32, 16}));
    for (int i = 16 * 3; i < 768; i++)
        ASSERT_EQ(img->palette[i], 0) << "entry beyond the map length " << i / 3;
    image_destroy(img);

    img = image_loadFromFile("srcdata/a.tga", 0);
    EXPECT_EQ(Bytes(img->palette, img->palette + 3), (Bytes{252, 128, 64}));
    image_destroy(img);
}

TEST_F(ImageLoad, TgaLongMapIsSkippedAndAlignedPixelsAreSeparate)
{
    Bytes map(300 * 3, 0);
    map[3 * 299] = 9;  // an entry beyond 256 is not loaded, but its bytes are skipped
    ASSERT_TRUE(render3d_test::mount({{"b.tga", tga8(3, 1, 300, map, {7, 8, 9})}}));
    Image* img = image_loadFromFileAligned("b.tga", 0, 65536);
    EXPECT_EQ(img->flags & 1, 1);
    EXPECT_EQ((uintptr_t)img->pixels % 65536, 0u);
    EXPECT_EQ(Bytes(img->pixels, img->pixels + 3), (Bytes{7, 8, 9}));
    image_destroy(img);
}

TEST_F(ImageLoad, TrueColourTgaIsRgbBottomUp)
{
    Bytes b(18, 0);
    b[1] = 0;
    b[2] = 2;
    put16(b, 12, 1);
    put16(b, 14, 2);
    b[16] = 24;
    Bytes px = {1, 2, 3, 4, 5, 6};  // bottom pixel BGR, then top pixel BGR
    b.insert(b.end(), px.begin(), px.end());
    ASSERT_TRUE(render3d_test::mount({{"t.tga", b}}));
    Image* img = image_loadFromFile("t.tga", 1);
    EXPECT_EQ(img->palette, nullptr);
    EXPECT_EQ(Bytes(img->pixels, img->pixels + 6), (Bytes{6, 5, 4, 3, 2, 1}));
    image_destroy(img);
}

TEST_F(ImageLoad, BmpRowsArePaddedToFourBytes)
{
    Bytes pal(1024, 0);
    pal[4 * 5 + 0] = 0x10;  // entry 5: blue, green, red, reserved
    pal[4 * 5 + 1] = 0x20;
    pal[4 * 5 + 2] = 0xFF;
    // 3 x 2, stored bottom row first with one padding byte each.
    ASSERT_TRUE(render3d_test::mount({{"p.bmp", bmp8(3, 2, pal, {4, 5, 6, 0xAA, 1, 2, 3, 0xBB})}}));
    Image* img = image_loadFromFile("p.bmp", 1);
    EXPECT_EQ(Bytes(img->pixels, img->pixels + 6), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Bytes(img->palette + 15, img->palette + 18), (Bytes{63, 8, 4}));
    image_destroy(img);
}

TEST_F(ImageLoad, ShortFilesAreRefusedWithTheirName)
{
    Bytes tga = tga8(4, 4, 256, {}, Bytes(15, 1));  // one pixel short
    Bytes bmp = bmp8(3, 2, {}, Bytes(7, 0));         // one byte of padding short
    Bytes bmpHuge = bmp8(1, 0x7FFFFFFF, {}, {});      // absurd height: refused before allocating
    ASSERT_TRUE(render3d_test::mount({{"s.tga", tga}, {"s.bmp", bmp}, {"h.bmp", bmpHuge}, {"tiny.tga", Bytes(17, 1)}}));
    char err[256];
    for (const char* name : {"s.tga", "s.bmp", "h.bmp", "tiny.tga", "missing.tga"}) {
        err[0] = 0;
        EXPECT_EQ(image_tryLoad(name, 1, 1, err, sizeof(err)), nullptr) << name;
        EXPECT_NE(std::string(err).find(name), std::string::npos) << err;
    }
    EXPECT_EXIT(image_loadFromFile("s.tga", 1), ::testing::ExitedWithCode(1), "");
}

TEST_F(ImageLoad, ErrorIsOneLineNamingTheFileAndProblem)
{
    ASSERT_TRUE(render3d_test::mount({{"x.tga", Bytes(10, 0)}}));
    char err[256];
    EXPECT_EQ(image_tryLoad("srcdata/x.tga", 0, 1, err, sizeof(err)), nullptr);
    EXPECT_EQ(std::string(err), "srcdata/x.tga: TGA header truncated (10 of 18 bytes)");
}

using Palette = Mounted;

TEST_F(Palette, LoadSaveAndShortFile)
{
    Bytes pal(768);
    for (int i = 0; i < 768; i++)
        pal[i] = (uint8_t)(i % 64);
    ASSERT_TRUE(render3d_test::mount({{"g.pal", pal}, {"short.pal", Bytes(767, 0)}}));
    uint8_t* p = image_loadPalette("srcdata/g.pal");
    EXPECT_EQ(Bytes(p, p + 768), pal);
    uint8_t buf[768] = {};
    EXPECT_EQ(image_loadPaletteBuffer("g.pal", buf), 1);
    EXPECT_EQ(Bytes(buf, buf + 768), pal);
    char err[256];
    EXPECT_EQ(image_tryLoadPaletteBuffer("short.pal", buf, err, sizeof(err)), 0);

    std::string path = ::testing::TempDir() + "r3d_pal.pal";
    EXPECT_EQ(image_savePalette(path.c_str(), p), 1);
    std::ifstream in(path, std::ios::binary);
    Bytes back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(back, pal);
    image_destroyPalette(p);
    std::remove(path.c_str());
}

TEST(ImageSave, FrameIsColourMappedTgaWithTopRowLast)
{
    Bytes frame(64000);
    for (int i = 0; i < 64000; i++)
        frame[i] = (uint8_t)(i / 320);  // row number as the pixel value
    Bytes pal(768);
    for (int i = 0; i < 768; i++)
        pal[i] = (uint8_t)i;
    std::string path = ::testing::TempDir() + "r3d_frame.tga";
    ASSERT_EQ(image_save(path.c_str(), frame.data(), 320, 200, pal.data()), 1);
    std::ifstream in(path, std::ios::binary);
    Bytes f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(f.size(), 18u + 768u + 64000u);
    EXPECT_EQ(Bytes(f.begin(), f.begin() + 18),
              (Bytes{0, 1, 1, 0, 0, 0, 1, 24, 0, 0, 0, 0, 0x40, 1, 200, 0, 8, 0}));
    EXPECT_EQ(Bytes(f.begin() + 18, f.begin() + 24), (Bytes{2, 1, 0, 5, 4, 3}));  // blue, green, red
    EXPECT_EQ(f[18 + 768], 199);           // first row written is the bottom row
    EXPECT_EQ(f[18 + 768 + 63999], 0);     // last row written is the top row
    std::remove(path.c_str());
    EXPECT_EQ(image_save("/nonexistent-dir/x.tga", frame.data(), 320, 200, pal.data()), 0);
}

// ---- packs and height maps

Bytes packFile(size_t imageBytes)
{
    Bytes b(ImpackImageDataOffset + imageBytes + ImpackTrailerSize, 0);
    b[ImpackPaletteOffset] = 0xFF;
    b[ImpackPaletteOffset + 767] = 0x80;
    b[ImpackTextureOffset] = 11;
    b[ImpackEnvmapOffset] = 22;
    b[ImpackLutOffset] = 33;
    return b;
}

void setSlot(Bytes& b, int slot, int w, int h, uint32_t offset)
{
    size_t at = b.size() - 32 + slot * 8;
    put16(b, at, (uint32_t)w);
    put16(b, at + 2, (uint32_t)h);
    render3d_test::put32(b, at + 4, offset);
}

using Pack = Mounted;

TEST_F(Pack, LoadsIntoOneAlignedBlock)
{
    Bytes b = packFile(8);
    setSlot(b, 0, 2, 2, ImpackImageDataOffset);
    setSlot(b, 2, 2, 2, ImpackImageDataOffset + 4);
    b[ImpackImageDataOffset + 4] = 77;
    ASSERT_TRUE(render3d_test::mount({{"srcdata/t.qxp", b}}));
    ImagePack* p = impack_load("srcdata/t.qxp");
    uint8_t* block = p->texture;
    EXPECT_EQ((uintptr_t)block % 65536, 0u);
    EXPECT_EQ(p->envmap, block + 0x10000);
    EXPECT_EQ(p->palette, block + 0x20000);
    EXPECT_EQ(p->lut, block + 0x20300);
    EXPECT_EQ(block[0], 11);
    EXPECT_EQ(p->envmap[0], 22);
    EXPECT_EQ(p->lut[0], 33);
    EXPECT_EQ(p->palette[0], 63);
    EXPECT_EQ(p->palette[767], 32);
    EXPECT_EQ(p->images[0].pixels, block + ImpackImageDataOffset);
    EXPECT_EQ(p->images[1].pixels, nullptr);
    EXPECT_EQ(p->images[2].pixels[0], 77);
    EXPECT_EQ(p->images[2].width, 2);
    EXPECT_EQ(p->images[3].pixels, nullptr);
    // The record lives in the block, after the file's bytes.
    EXPECT_GE((uint8_t*)p, block + b.size());
    EXPECT_LT((uint8_t*)p, block + b.size() + 64);
    impack_destroy(p);
}

TEST_F(Pack, ShortPackAndStraySlotAreRefused)
{
    Bytes stray = packFile(8);
    setSlot(stray, 1, 3, 3, ImpackImageDataOffset);  // 9 pixels in an 8 + 48 byte tail: still inside
    Bytes outside = packFile(8);
    setSlot(outside, 3, 200, 200, ImpackImageDataOffset);
    Bytes wrap = packFile(8);
    setSlot(wrap, 0, 1, 1, 0xFFFFFFFFu);
    ASSERT_TRUE(render3d_test::mount({{"short.qxp", Bytes(ImpackMinSize - 1, 0)},
                                      {"inside.qxp", stray},
                                      {"outside.qxp", outside},
                                      {"wrap.qxp", wrap}}));
    char err[256];
    EXPECT_EQ(impack_tryLoad("short.qxp", err, sizeof(err)), nullptr);
    EXPECT_NE(std::string(err).find("short.qxp"), std::string::npos);
    ImagePack* ok = impack_tryLoad("inside.qxp", err, sizeof(err));
    EXPECT_NE(ok, nullptr);
    impack_destroy(ok);
    EXPECT_EQ(impack_tryLoad("outside.qxp", err, sizeof(err)), nullptr);
    EXPECT_NE(std::string(err).find("slot 3"), std::string::npos) << err;
    EXPECT_EQ(impack_tryLoad("wrap.qxp", err, sizeof(err)), nullptr);
    EXPECT_EQ(impack_tryLoad("none.qxp", err, sizeof(err)), nullptr);
    EXPECT_EXIT(impack_load("outside.qxp"), ::testing::ExitedWithCode(1), "");
}

TEST_F(Pack, BumpTableDisplacesColumnsWithinTheRow)
{
    Bytes flat(65536, 255), ramp(65536);
    for (int i = 0; i < 65536; i++)
        ramp[i] = (uint8_t)(i * 7);
    ASSERT_TRUE(render3d_test::mount({{"flat.raw", flat}, {"ramp.raw", ramp}, {"short.raw", Bytes(65535, 0)}}));
    uint16_t* t = util_loadBump("srcdata/flat.raw", 1);
    for (int y = 0; y < 256; y += 17)
        for (int x = 0; x < 256; x++)
            ASSERT_EQ(t[y * 256 + x], y * 256 + ((x + 127) & 255));
    mem_free(t);
    t = util_loadBump("ramp.raw", 3);
    for (int i = 0; i < 65536; i++)
        ASSERT_EQ(t[i], (i & 0xFF00) | (((i & 255) + (ramp[i] >> 3)) & 255));
    mem_free(t);
    char err[256];
    EXPECT_EQ(util_tryLoadBump("short.raw", 1, err, sizeof(err)), nullptr);
    EXPECT_NE(std::string(err).find("short.raw"), std::string::npos);
}

// ---- drawing

struct Frame {
    // Guard rows above and below catch writes outside the 320 x 200 frame.
    Bytes mem = Bytes(320 * 204, 0xEE);
    uint8_t* px() { return mem.data() + 640; }
    uint8_t& at(int x, int y) { return px()[y * 320 + x]; }
    Frame(uint8_t fill = 0) { std::fill(mem.begin() + 640, mem.begin() + 640 + 64000, fill); }
    bool guardsIntact() const
    {
        for (int i = 0; i < 640; i++)
            if (mem[i] != 0xEE || mem[640 + 64000 + i] != 0xEE)
                return false;
        return true;
    }
};

Image* makeImage(int w, int h, uint8_t base = 1)
{
    Image* img = image_create((uint32_t)w, (uint32_t)h);
    for (int i = 0; i < w * h; i++)
        img->pixels[i] = (uint8_t)(base + i);
    for (int i = 0; i < 768; i++)
        img->palette[i] = (uint8_t)(i / 3 % 64);
    return img;
}

TEST(ImageDraw, CopyAndAddClipPerPixel)
{
    Image* img = makeImage(4, 3);
    Frame f;
    image_draw(img, -2, -1, f.px());
    EXPECT_EQ(f.at(0, 0), img->pixels[1 * 4 + 2]);
    EXPECT_EQ(f.at(1, 1), img->pixels[2 * 4 + 3]);
    EXPECT_EQ(f.at(2, 0), 0);
    image_draw(img, 318, 198, f.px());
    EXPECT_EQ(f.at(319, 199), img->pixels[1 * 4 + 1]);
    EXPECT_TRUE(f.guardsIntact());

    Frame g(200);
    Image* one = image_create(2, 1);
    one->pixels[0] = 100;
    one->pixels[1] = 20;
    image_drawAdd(one, 319, 199, 1.0f, g.px());
    EXPECT_EQ(g.at(319, 199), 255);  // 200 + 100 saturates
    image_drawAdd(one, 0, 0, 0.5f, g.px());
    EXPECT_EQ(g.at(0, 0), 250);      // 200 + round(50)
    EXPECT_EQ(g.at(1, 0), 210);
    EXPECT_TRUE(g.guardsIntact());
    image_destroy(one);
    image_destroy(img);
}

TEST(ImageDraw, TransparentCentredAndBlit)
{
    Image* img = image_create(100, 50);
    std::fill(img->pixels, img->pixels + 5000, 5);
    img->pixels[0] = 0;  // key
    Frame f(9);
    image_drawTransparent(img, 0, 0, f.px(), 0, 1);
    EXPECT_EQ(f.at(110, 75), 9);    // key pixel left the frame alone
    EXPECT_EQ(f.at(111, 75), 5);
    EXPECT_EQ(f.at(209, 124), 5);
    EXPECT_EQ(f.at(210, 124), 9);
    EXPECT_EQ(f.at(209, 125), 9);
    EXPECT_EQ(f.at(109, 80), 9);
    image_drawTransparent(img, 300, 190, f.px(), 0, 0);  // would leave the frame: clipped
    EXPECT_TRUE(f.guardsIntact());
    image_destroy(img);

    Image* odd = makeImage(7, 2);  // 7 wide: one word per row
    Frame g;
    image_blit(odd, g.px(), 0, 10 * 320 + 4);
    EXPECT_EQ(g.at(4, 10), odd->pixels[0]);
    EXPECT_EQ(g.at(7, 11), odd->pixels[7 + 3]);
    EXPECT_EQ(g.at(8, 10), 0);
    image_destroy(odd);
}

TEST(ImageDraw, RawScaleDoublesAboutTheCentre)
{
    Bytes src(100);
    for (int i = 0; i < 100; i++)
        src[i] = (uint8_t)(i + 1);
    Frame f;
    util_fpuSetFullMode();
    image_rawDrawScale(src.data(), 160, 100, 10, 10, 2.0f, f.px(), 0);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++) {
            const bool inside = x >= 150 && x <= 169 && y >= 90 && y <= 109;
            const int expect = inside ? src[((y - 90) / 2) * 10 + (x - 150) / 2] : 0;
            ASSERT_EQ(f.at(x, y), expect) << x << "," << y;
        }
    // Mostly off screen, large: clipped, samples stay inside the source. Called in another mode,
    // the drawer still samples by truncation and leaves round-to-nearest in force.
    util_fpuSetCeilMode();
    image_rawDrawScale(src.data(), 5, 195, 10, 10, 7.3f, f.px(), 0);
    EXPECT_TRUE(f.guardsIntact());
    EXPECT_EQ(lrintf(2.5f), 2);
    EXPECT_EQ(f.at(0, 199), src[((199 - 158) * 10 / 73) * 10 + (0 + 31) * 10 / 73]);
    // Lut variant: table[source * 256 + dst].
    Bytes lut(65536);
    for (int i = 0; i < 65536; i++)
        lut[i] = (uint8_t)((i >> 8) ^ (i & 255));
    Frame g(3);
    image_rawDrawScaleLut(src.data(), 160, 100, 10, 10, 1.0f, g.px(), 0, lut.data());
    EXPECT_EQ(g.at(155, 95), src[0] ^ 3);
    EXPECT_EQ(g.at(164, 104), src[99] ^ 3);
    EXPECT_EQ(g.at(165, 104), 3);
}

TEST(ImageDraw, ScaleRotIsCentredOnColumn160WithIndexZeroTransparent)
{
    Image* img = makeImage(10, 4);
    img->pixels[1] = 0;
    Frame f(7);
    util_fpuSetFullMode();
    image_drawScaleRot(img, 999, 20, 1.0f, 45.0f, f.px(), 0);
    EXPECT_EQ(f.at(155, 20), img->pixels[0]);
    EXPECT_EQ(f.at(156, 20), 7);  // index 0 is transparent
    EXPECT_EQ(f.at(164, 23), img->pixels[39]);
    EXPECT_EQ(f.at(165, 23), 7);
    // Rounding the sample position reaches one past the last column/row: held inside the image.
    image_drawScaleRot(img, 0, 190, 2.0f, 0.0f, f.px(), 0);
    EXPECT_EQ(f.at(169, 197), img->pixels[39]);
    image_drawAddScale(img, 315, 198, 3.0f, 1.0f, f.px());
    EXPECT_TRUE(f.guardsIntact());
    image_destroy(img);
}

TEST(ImagePalette, SwapRemapAndSort)
{
    Image* img = makeImage(4, 4, 0);
    Bytes pixels(img->pixels, img->pixels + 16), pal(img->palette, img->palette + 768);
    image_swapPalette(img, 3, 200);
    EXPECT_EQ(img->pixels[3], 200);
    EXPECT_EQ(img->palette[200 * 3], pal[3 * 3]);
    image_swapPalette(img, 3, 200);
    EXPECT_EQ(Bytes(img->pixels, img->pixels + 16), pixels);
    EXPECT_EQ(Bytes(img->palette, img->palette + 768), pal);

    image_remap(img, 2, 16);  // overlapping ranges go through a copy
    for (int i = 0; i < 16; i++) {
        EXPECT_EQ(img->pixels[i], pixels[i] + 2);
        EXPECT_EQ(img->palette[(i + 2) * 3], pal[i * 3]);
    }
    EXPECT_EQ(img->palette[0], pal[0]);
    image_remap(img, 250, 16);  // entries past 255 are dropped; pixel values wrap
    EXPECT_EQ(img->pixels[15], (uint8_t)(17 + 250));

    // Sort: the picture keeps its colours, the palette ends up dark to bright.
    Image* s = image_create(3, 1);
    memset(s->palette, 0, 768);
    for (int i = 0; i < 256; i++) {
        s->palette[i * 3 + 0] = (uint8_t)((255 - i) % 64);
        s->palette[i * 3 + 1] = (uint8_t)((255 - i) / 4);
    }
    s->pixels[0] = 0;
    s->pixels[1] = 100;
    s->pixels[2] = 255;
    Bytes before;
    for (int i = 0; i < 3; i++)
        before.insert(before.end(), s->palette + s->pixels[i] * 3, s->palette + s->pixels[i] * 3 + 3);
    image_remapPaletteLinear(s);
    Bytes after;
    for (int i = 0; i < 3; i++)
        after.insert(after.end(), s->palette + s->pixels[i] * 3, s->palette + s->pixels[i] * 3 + 3);
    EXPECT_EQ(after, before);
    for (int i = 0; i < 255; i++) {
        const uint8_t* a = s->palette + i * 3;
        const uint8_t* b = a + 3;
        ASSERT_LE(a[0] * a[0] + a[1] * a[1] + a[2] * a[2], b[0] * b[0] + b[1] * b[1] + b[2] * b[2]) << i;
    }
    image_destroy(s);

    uint8_t raw[4] = {1, 2, 1, 3};
    image_remapSingleColour(raw, 2, 2, 1, 3);
    EXPECT_EQ(Bytes(raw, raw + 4), (Bytes{3, 2, 3, 1}));
    image_destroy(img);
}

}  // namespace
