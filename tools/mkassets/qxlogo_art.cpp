// The QxLogo scene's assets: srcdata/logopart.tga, the group logo as particle sources, and
// srcdata/bwgrad.pal, the ramp its intensity picture is shown through.
//
// The scene reads the sources by colour: white pixels give still particles, pixels with red only
// give particles drifting sideways, pixels with green or blue and no red drifting up and down. So
// the letters are white, the speed lines trailing out of the slits are red, and the drops running
// off the letters' feet are blue.
#include "artlib.h"
#include "logoshape.h"
#include "mkassets.h"
#include "qxlogo_art.h"

#include <algorithm>
#include <cmath>

namespace qxlogo_art {

constexpr float EdgeBand = 5.0f;  // pixels of the letters' edge that become sources

std::vector<uint8_t> sourcePixels() {
    const int w = SourceWidth, h = SourceHeight;
    std::vector<uint8_t> px(size_t(w) * h, Black);
    // The letters: 190 pixels across, their top LogoTop rows down.
    const int lw = 190, lh = 95, lx = (w - lw) / 2;
    const std::vector<float> cover = logoshape::coverage(lw, lh, 2.6f, false);
    const float unit = 2.6f / float(lw);
    // Only a band along the letters' edges: the cloud's 700 particles then trace the outline of
    // the mark instead of filling it evenly, which keeps the letters legible as a glow.
    for (int y = 0; y < lh; ++y)
        for (int x = 0; x < lw; ++x) {
            const float d = logoshape::distance((float(x) + 0.5f - float(lw) * 0.5f) * unit,
                                                (float(lh) * 0.5f - float(y) - 0.5f) * unit, false) / unit;
            if (cover[size_t(y) * lw + x] >= 0.5f && d > -EdgeBand) px[size_t(LogoTop + y) * w + lx + x] = Still;
        }
    auto inLetters = [&](int x, int y) {  // image pixel inside the letters' shape
        const int lxp = x - lx, lyp = y - LogoTop;
        return lxp >= 0 && lxp < lw && lyp >= 0 && lyp < lh && cover[size_t(lyp) * lw + lxp] >= 0.5f;
    };
    // Speed lines: the two slits of the chrome mark continue as dashed lines out of both sides of
    // the letters, thinning out with distance.
    for (float slitY : logoshape::SlitY) {
        const int y = LogoTop + int(std::lround(float(lh) * 0.5f - slitY / unit - 0.5f));
        int first = w, last = -1;
        for (int x = 0; x < w; ++x)
            if (inLetters(x, y - 2) || inLetters(x, y + 2)) first = std::min(first, x), last = std::max(last, x);
        for (int x = 0; x < w; ++x) {
            const int gap = x < first ? first - x : x > last ? x - last : 0;
            const float keep = 1.0f - float(gap) / 48.0f;
            const bool dash = gap > 0 && keep > 0 && art::hashf(x / 3, y, 11) < keep;
            if (dash) px[size_t(y) * w + x] = Sideways;
        }
    }
    // Drops: short dashed runs below the bottom edge of the letters' feet.
    for (int x = 0; x < w; ++x) {
        int bottom = -1;
        for (int y = h - 1; y >= 0; --y)
            if (px[size_t(y) * w + x] == Still) { bottom = y; break; }
        if (bottom < 0 || art::hashf(x, 0, 23) > 0.22f) continue;
        const int len = 4 + int(art::hashf(x, 1, 23) * 18.0f);
        for (int y = bottom + 2; y < std::min(h, bottom + 2 + len); ++y)
            if ((y - bottom) % 5 != 4) px[size_t(y) * w + x] = Falling;
    }
    return px;
}

mkassets::Bytes sourceTga() {
    const std::vector<uint8_t> px = sourcePixels();
    mkassets::Bytes b;
    const uint8_t header[] = {0, 1, 1, 0, 0, 0, 1, 24, 0, 0, 0, 0};
    mkassets::putBytes(b, header, sizeof(header));
    mkassets::putU16(b, SourceWidth);
    mkassets::putU16(b, SourceHeight);
    mkassets::putU8(b, 8);
    mkassets::putU8(b, 0);
    // Colour map (blue, green, red): black, white, pure red, sea blue; the rest black.
    for (int i = 0; i < 256; ++i) {
        const uint8_t r = i == Still || i == Sideways ? 255 : 0;
        const uint8_t g = i == Still ? 255 : i == Falling ? 150 : 0;
        const uint8_t bl = i == Still ? 255 : i == Falling ? 255 : 0;
        mkassets::putU8(b, bl);
        mkassets::putU8(b, g);
        mkassets::putU8(b, r);
    }
    for (int y = SourceHeight - 1; y >= 0; --y) mkassets::putBytes(b, &px[size_t(y) * SourceWidth], SourceWidth);
    return b;
}

mkassets::Bytes gradientPalette() {
    // Black through deep indigo and sea blue to aqua and a white-hot top; index order is
    // brightness order. The picture's intensities mostly sit in the lower third, so the ramp
    // gains colour early and is white from 70 % up.
    const std::vector<art::Rgb> stops = {art::rgb(0, 0, 0),    art::rgb(5, 2, 18),   art::rgb(6, 12, 40),
                                         art::rgb(8, 32, 56),  art::rgb(24, 54, 63), art::rgb(63, 63, 63)};
    const float pos[] = {0.0f, 0.035f, 0.09f, 0.17f, 0.32f, 0.7f};
    mkassets::Bytes b;
    for (int i = 0; i < 256; ++i) {
        const float t = float(i) / 255.0f;
        int k = 0;
        while (k < 4 && t > pos[k + 1]) ++k;
        const art::Rgb c = art::mix(stops[k], stops[k + 1], art::clampf((t - pos[k]) / (pos[k + 1] - pos[k]), 0.0f, 1.0f));
        for (float v : {c.r, c.g, c.b}) b.push_back(uint8_t(std::lround(art::clampf(v, 0.0f, 63.0f))));
    }
    return b;
}

}  // namespace qxlogo_art

static bool generate(const std::string& outdir) {
    return mkassets::writeFile(outdir, "srcdata/logopart.tga", qxlogo_art::sourceTga()) &&
           mkassets::writeFile(outdir, "srcdata/bwgrad.pal", qxlogo_art::gradientPalette());
}

MKASSETS_GENERATOR("qxlogo", generate);
