// Font loader through the datafile layer. The input is the sheet; its length picks one of a few
// glyph layouts. A font that loads draws every character code at the frame's edges (both
// variants) and turns a few into particles, so the checks against the sheet are exercised.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "../render3d_datafile.h"
#include "font.h"
#include "particle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<uint8_t> frame(320 * 202);
    static ParticleSystem2d* particles = particle2d_create(64);
    if (!render3d_test::mount({{"srcdata/fuzz.tga", render3d_test::Bytes(data, data + size)}}))
        return 0;
    struct Layout {
        int w, h, gx, gy, perRow, first;
    };
    static const Layout layouts[] = {
        {16, 12, 0, 4, 20, 32}, {8, 8, 0, 0, 16, 0}, {3, 5, 2, 1, 7, 200}, {1, 1, 0, 0, 1, 65},
    };
    const Layout& l = layouts[size & 3];
    char error[256];
    Font* font = font_tryLoad("srcdata/fuzz.tga", l.w, l.h, l.gx, l.gy, l.perRow, l.first, error, sizeof(error));
    if (font) {
        font->transparent = (uint8_t)(size >> 2);
        uint8_t* buffer = frame.data() + 320;
        const int xs[] = {-20, -1, 0, 150, 310, 319};
        const int ys[] = {-20, 0, 190, 199};
        for (int c = 0; c < 256; c++) {
            const int x = xs[c % 6], y = ys[c % 4];
            font_drawChar(font, buffer, c, x, y);
            font_drawCharClipped(font, buffer, c, x + 3, y + 1);
        }
        font_drawString(font, buffer, "FUZZ \x80\xff", 300, 195);
        font_addStringParticles(font, particles, "\x20\x41\xc8", 3, 10, 10);
        for (int i = 0; i < particles->count; i++)
            particles->particles[i].life = -1.0f;
        font_destroy(font);
    }
    file_unmountData();
    return 0;
}
