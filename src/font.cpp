// Bitmap font.
#include "font.h"

#include <cstdlib>

#include "log.h"
#include "mem.h"
#include "util.h"
#include "video.h"

Font* font_tryLoad(const char* name, int charWidth, int charHeight, int gapX, int gapY, int charsPerRow,
                   int firstChar, char* error, size_t errorSize)
{
    if (charWidth <= 0 || charHeight <= 0 || charsPerRow <= 0 || gapX < 0 || gapY < 0) {
        util_setError(error, errorSize, "%s: bad glyph layout (%d x %d, gaps %d, %d, %d per row)", name, charWidth,
                      charHeight, gapX, gapY, charsPerRow);
        return nullptr;
    }
    Image* image = image_tryLoad(name, 1, 1, error, errorSize);
    if (!image)
        return nullptr;
    const char* problem = nullptr;
    const uint64_t across = (uint64_t)charsPerRow * ((uint64_t)charWidth + gapX) - gapX;
    if (!image->palette)
        problem = "the sheet is not an 8-bit palettised image";
    else if (across > image->width)
        problem = "the sheet is narrower than its glyphs per row";
    else if ((uint64_t)charHeight > image->height)
        problem = "the sheet is shorter than one glyph row";
    if (problem) {
        util_setError(error, errorSize, "%s: %s (%ux%u sheet, %d glyphs of %dx%d per row)", name, problem,
                      image->width, image->height, charsPerRow, charWidth, charHeight);
        image_destroy(image);
        return nullptr;
    }
    Font* font = (Font*)mem_malloc(sizeof(Font));
    font->charWidth = (uint32_t)charWidth;
    font->charHeight = (uint32_t)charHeight;
    font->gapX = (uint32_t)gapX;
    font->gapY = (uint32_t)gapY;
    font->charsPerRow = (uint32_t)charsPerRow;
    font->firstChar = (uint8_t)firstChar;
    font->transparent = 0;
    font->image = image;
    return font;
}

Font* font_loadFromFile(const char* name, int charWidth, int charHeight, int gapX, int gapY, int charsPerRow,
                        int firstChar)
{
    char error[256];
    Font* font = font_tryLoad(name, charWidth, charHeight, gapX, gapY, charsPerRow, firstChar, error, sizeof(error));
    if (!font) {
        log_print("font: %s\n", error);
        exit(1);
    }
    return font;
}

void font_destroy(Font* font)
{
    if (!font)
        return;
    image_destroy(font->image);
    mem_free(font);
}

// Whole cells only, computed from the sheet as it is now (a caller may have changed the record).
int font_glyphCount(const Font* font)
{
    const Image* im = font->image;
    if (!im || !font->charWidth || !font->charHeight || !font->charsPerRow)
        return 0;
    const uint64_t pitchX = (uint64_t)font->charWidth + font->gapX;
    const uint64_t pitchY = (uint64_t)font->charHeight + font->gapY;
    if ((uint64_t)font->charsPerRow * pitchX - font->gapX > im->width || font->charHeight > im->height)
        return 0;
    const uint64_t rows = (im->height - font->charHeight) / pitchY + 1;
    const uint64_t count = rows * font->charsPerRow;
    return count > 256 ? 256 : (int)count;  // a signed byte addresses at most 128 of them anyway
}

// The glyph's first sheet pixel, or null when the sheet does not hold the character.
static const uint8_t* glyph(const Font* font, int c)
{
    const int g = (int8_t)(uint8_t)(c - font->firstChar);
    if (g < 0 || g >= font_glyphCount(font))
        return nullptr;
    const uint64_t col = (uint64_t)g % font->charsPerRow, row = (uint64_t)g / font->charsPerRow;
    const uint64_t sx = col * ((uint64_t)font->charWidth + font->gapX);
    const uint64_t sy = row * ((uint64_t)font->charHeight + font->gapY);
    return font->image->pixels + sy * font->image->width + sx;
}

// The glyph rows and columns that land on the frame at (x, y): [c0, c1) x [r0, r1).
static bool clipGlyph(const Font* font, int x, int y, int* c0, int* c1, int* r0, int* r1)
{
    const int64_t w = font->charWidth, h = font->charHeight;
    if (x <= -w || x >= VideoWidth || y <= -h || y >= VideoHeight)
        return false;
    *c0 = x < 0 ? -x : 0;
    *r0 = y < 0 ? -y : 0;
    *c1 = (int)(x + w > VideoWidth ? VideoWidth - x : w);
    *r1 = (int)(y + h > VideoHeight ? VideoHeight - y : h);
    return true;
}

static void drawGlyph(const Font* font, uint8_t* buffer, int c, int x, int y, uint8_t key)
{
    const uint8_t* src = glyph(font, c);
    int c0, c1, r0, r1;
    if (!src || !clipGlyph(font, x, y, &c0, &c1, &r0, &r1))
        return;
    const uint32_t pitch = font->image->width;
    for (int r = r0; r < r1; r++) {
        const uint8_t* s = src + (size_t)r * pitch;
        uint8_t* d = buffer + (y + r) * VideoWidth + x;
        for (int col = c0; col < c1; col++)
            if (s[col] != key)
                d[col] = s[col];
    }
}

void font_drawChar(const Font* font, uint8_t* buffer, int c, int x, int y)
{
    drawGlyph(font, buffer, c, x, y, font->transparent);
}

void font_drawCharClipped(const Font* font, uint8_t* buffer, int c, int x, int y)
{
    drawGlyph(font, buffer, c, x, y, 0);
}

// Calls draw(character, x) for the first count characters (all when count < 0) up to the
// terminating zero; stops once the pen is past the right edge.
template <typename Draw>
static void eachChar(const Font* font, const char* text, int count, int x, Draw draw)
{
    int64_t pen = x;
    for (int i = 0; text[i] && (count < 0 || i < count); i++) {
        if (pen >= VideoWidth)
            break;
        draw((uint8_t)text[i], (int)pen);
        pen += font->charWidth;
    }
}

void font_drawString(const Font* font, uint8_t* buffer, const char* text, int x, int y)
{
    eachChar(font, text, -1, x, [&](int c, int px) { drawGlyph(font, buffer, c, px, y, font->transparent); });
}

void font_drawStringClipped(const Font* font, uint8_t* buffer, const char* text, int x, int y)
{
    eachChar(font, text, -1, x, [&](int c, int px) { drawGlyph(font, buffer, c, px, y, 0); });
}

void font_drawPartialString(const Font* font, uint8_t* buffer, const char* text, int count, int x, int y)
{
    if (count <= 0)
        return;
    eachChar(font, text, count, x, [&](int c, int px) { drawGlyph(font, buffer, c, px, y, font->transparent); });
}

void font_addCharParticles(const Font* font, ParticleSystem2d* system, int c, int x, int y)
{
    const uint8_t* src = glyph(font, c);
    if (!src)
        return;
    const uint32_t pitch = font->image->width;
    for (uint32_t r = 0; r < font->charHeight; r++)
        for (uint32_t col = 0; col < font->charWidth; col++) {
            if (src[(size_t)r * pitch + col] == font->transparent)
                continue;
            Particle2d* p = particle2d_add(system, (float)x + (float)col, (float)y + (float)r);
            if (!p)
                return;  // the pool is full and stays full for the rest of the glyph
            p->life = 2.0f;
            p->vx = p->vy = 0.0f;
            p->ax = p->ay = 0.0f;
        }
}

void font_addStringParticles(const Font* font, ParticleSystem2d* system, const char* text, int count, int x, int y)
{
    if (count <= 0)
        return;
    int64_t pen = x;
    for (int i = 0; text[i] && i < count; i++) {
        font_addCharParticles(font, system, (uint8_t)text[i], (int)pen, y);
        pen += font->charWidth;
        if (pen > INT32_MAX)
            break;
    }
}
