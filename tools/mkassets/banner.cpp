// The exit banner "srcdata/tidwtr.asc": the title in block letters with a drop shadow, standing
// on a line of waves. Plain ASCII, LF line ends, built from the glyph table below alone.
#include "mkassets.h"

#include <string>
#include <vector>

namespace {

constexpr int GlyphRows = 5;

struct Glyph {
    char letter;
    const char* rows[GlyphRows];
};

// Each glyph row is one character per cell; '#' is ink. Cells are drawn two characters wide.
const Glyph s_glyphs[] = {
    {'T', {"#####", "  #  ", "  #  ", "  #  ", "  #  "}},
    {'I', {"###", " # ", " # ", " # ", "###"}},
    {'D', {"#### ", "#   #", "#   #", "#   #", "#### "}},
    {'E', {"#####", "#    ", "#### ", "#    ", "#####"}},
    {'W', {"#   #", "#   #", "# # #", "## ##", "#   #"}},
    {'A', {" ### ", "#   #", "#####", "#   #", "#   #"}},
    {'R', {"#### ", "#   #", "#### ", "#  # ", "#   #"}},
};

const Glyph* findGlyph(char c) {
    for (const Glyph& g : s_glyphs)
        if (g.letter == c) return &g;
    return nullptr;
}

std::string trimRight(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

}  // namespace

namespace mkassets {

std::string bannerText() {
    const char* title = "TIDEWATER";
    const std::string margin = "      ";
    std::vector<std::string> ink(GlyphRows, margin);
    for (const char* p = title; *p; ++p) {
        const Glyph* g = findGlyph(*p);
        for (int r = 0; r < GlyphRows; ++r) ink[r] += std::string(g->rows[r]) + "  ";
    }
    const size_t width = ink[0].size() + margin.size() - 2;

    std::string text = "\n";
    for (const std::string& row : ink) text += trimRight(row) + "\n";
    // The waterline, then the title's reflection: bottom row first, fading and rippling sideways.
    std::string water;
    while (water.size() < width) water += "~-";
    water.resize(width);
    text += water + "\n";
    struct Ripple { int row; char ch; int shift; };
    const Ripple ripples[] = {{4, '=', 1}, {3, '-', 0}, {2, '.', 1}, {1, '.', -1}};
    for (const Ripple& rp : ripples) {
        std::string line = ink[rp.row];
        for (char& c : line)
            if (c == '#') c = rp.ch;
        if (rp.shift > 0) line.insert(line.begin(), ' ');
        if (rp.shift < 0) line.erase(line.begin());
        text += trimRight(line) + "\n";
    }
    const std::string tag = "a real-time voyage in 320 x 200";
    text += "\n" + std::string((width - tag.size()) / 2, ' ') + tag + "\n\n";
    return text;
}

}  // namespace mkassets

static bool generateBanner(const std::string& outdir) {
    return mkassets::writeText(outdir, "srcdata/tidwtr.asc", mkassets::bannerText());
}

MKASSETS_GENERATOR("banner", generateBanner);
