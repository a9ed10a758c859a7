// Font sheets: glyph bitmaps laid out the way the engine's font loader addresses them, written as
// colour-mapped 8-bit TGA files. The "fonts" generator writes the show's sheet srcdata/312.tga.
#pragma once
#include "mkassets.h"

#include <vector>

namespace fontsheet {

struct Layout {
    int charWidth, charHeight;  // cell size; charWidth is also the advance
    int gapX, gapY;             // empty columns / rows between cells
    int charsPerRow;
    int firstChar;
};

// Pixel values of the show's sheet: the scenes key out Background and recolour Ink.
constexpr uint8_t Background = 254;
constexpr uint8_t Ink = 255;

// The show's layout: 16 x 12 cells, no column gap, 4 rows between glyph rows, 20 per row,
// characters 32..127 (96 glyphs in a 320 x 80 sheet).
constexpr Layout ShowLayout{16, 12, 0, 4, 20, 32};
constexpr int ShowGlyphs = 96;

// Sheet of `glyphs.size()` cells; glyphs[i] holds charWidth x charHeight indices (row by row) of
// character firstChar + i. Gaps and the rows past the last cell are `background`. The sheet is
// charsPerRow cells wide and as many cell rows high as needed, each followed by its gap. `palette`
// is 768 bytes of 6-bit components (written as 8-bit, as TGA files hold them).
mkassets::Bytes buildSheet(const Layout& layout, const std::vector<std::vector<uint8_t>>& glyphs, uint8_t background,
                           const uint8_t* palette);

// The show's glyphs, one 16 x 12 cell each (Background / Ink), characters 32..127.
std::vector<std::vector<uint8_t>> showGlyphs();
// The complete srcdata/312.tga.
mkassets::Bytes showSheet();

}  // namespace fontsheet
