// font_: text from a sheet of fixed-size glyphs stored as an 8-bit image, and glyphs turned into
// 2D particles so that text can burst apart.
//
// Glyph g = (character - firstChar) as a signed byte sits in sheet column g % charsPerRow, row
// g / charsPerRow; its top-left pixel is at sheet x = column * (charWidth + gapX), sheet y =
// row * (charHeight + gapY). A character whose glyph the sheet does not hold (before firstChar,
// more than 127 past it, or past the sheet's last whole cell) draws and adds nothing. Glyph
// pixels are copied unchanged (palette indices); a scene recolours the sheet after loading.
// Every drawer keeps its writes inside the 320 x 200 frame, whatever the position.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image.h"
#include "particle.h"

struct Font {
    uint32_t charWidth;    // glyph width, also the advance to the next character
    uint32_t charHeight;
    uint32_t gapX;         // empty columns between neighbouring glyphs in the sheet
    uint32_t gapY;         // empty rows between glyph rows
    uint32_t charsPerRow;
    uint8_t firstChar;
    uint8_t transparent;   // index font_drawChar and the particles leave out; 0 after loading
    Image* image;          // the sheet, owned by the font
};

// Loads the sheet (6-bit palette) and checks it against the cells: positive sizes and glyphs per
// row, an 8-bit sheet, charsPerRow whole cells across and at least one row of whole cells down.
// Failure ends the process with one line "font: <name>: <problem>" and exit code 1.
Font* font_loadFromFile(const char* name, int charWidth, int charHeight, int gapX, int gapY, int charsPerRow,
                        int firstChar);
// The same checks without ending the process: null, with the one-line reason in error.
Font* font_tryLoad(const char* name, int charWidth, int charHeight, int gapX, int gapY, int charsPerRow,
                   int firstChar, char* error, size_t errorSize);
void font_destroy(Font* font);

// Number of glyphs the sheet holds (whole cells).
int font_glyphCount(const Font* font);

// Copies the glyph to (x, y), leaving out pixels equal to font->transparent.
void font_drawChar(const Font* font, uint8_t* buffer, int c, int x, int y);
// Copies the glyph, leaving out pixels of index 0.
void font_drawCharClipped(const Font* font, uint8_t* buffer, int c, int x, int y);
// One character after another, x advancing by charWidth.
void font_drawString(const Font* font, uint8_t* buffer, const char* text, int x, int y);
void font_drawStringClipped(const Font* font, uint8_t* buffer, const char* text, int x, int y);
// The first count characters (nothing for count <= 0; never past the terminating zero).
void font_drawPartialString(const Font* font, uint8_t* buffer, const char* text, int count, int x, int y);
// One particle per glyph pixel that is not transparent, at (x + column, y + row), row by row:
// life 2, velocity and acceleration 0. Pixels for which the pool has no free particle are skipped.
void font_addCharParticles(const Font* font, ParticleSystem2d* system, int c, int x, int y);
void font_addStringParticles(const Font* font, ParticleSystem2d* system, const char* text, int count, int x, int y);
