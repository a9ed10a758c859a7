// mkassets --icons DIR: the program's icon, tidewater-SIZE.png at the sizes desktops and web app
// manifests ask for, made from the group logo in the Credits scene's chrome on a dark tile.
//
// From 32 pixels up the icon shows the whole "QX"; below that the two letters would be a few
// pixels tall, so the Q alone fills the tile. Under 64 pixels a plain light fill replaces the
// banded chrome, whose dark lower half would merge with the tile; the slits appear only from 96
// pixels, where they are at least a pixel wide. Each pixel averages a grid of samples; the same sources give byte-identical files.
#include "icons.h"

#include "artlib.h"
#include "credits_art.h"
#include "logoshape.h"
#include "mkassets.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace icons {

using art::Rgb;
using art::rgb;

namespace {

// Pixel size of the Credits logo image in logo units: the chrome's bevel and outline widths are
// measured in these, so every icon has the same chrome as the scene.
constexpr float CreditsUnit = 2.6f / float(credits_art::LogoWidth);

struct Mark {
    float (*distance)(float x, float y);  // logo units
    float centreX, centreY, span;        // the mark's box, logo units
    bool plain;                          // light-to-cyan fill instead of the banded chrome
};

float wholeLogo(float x, float y) { return logoshape::distance(x, y, true); }
float wholeLogoNoSlits(float x, float y) { return logoshape::distance(x, y, false); }

Mark markFor(int size) {
    if (size < 32) return {logoshape::distanceQ, 0.0f, -0.07f, 1.16f, true};
    return {size >= 96 ? wholeLogo : wholeLogoNoSlits, 0.03f, -0.08f, 2.30f, size < 64};
}

// One sample at (x, y) in logo units: the tile's colour, with the logo's chrome over it where it
// covers the point and its glow around it. Alpha is the tile's (rounded corners).
Rgb sample(const Mark& m, float x, float y, float glowUnits) {
    const float d = m.distance(x, y) / CreditsUnit;
    if (m.plain && d <= 0.0f) return art::mix(rgb(63, 63, 63), rgb(22, 46, 62), art::smoothstep(0.46f, -0.6f, y));
    if (d <= 2.2f) {
        const float gx = (m.distance(x + CreditsUnit, y) - m.distance(x - CreditsUnit, y)) / CreditsUnit;
        const float gy = (m.distance(x, y - CreditsUnit) - m.distance(x, y + CreditsUnit)) / CreditsUnit;
        return credits_art::chrome(y, d, gx, gy);
    }
    // The tile: deep blue night, darker toward the bottom, and a cyan glow hugging the mark so
    // that its dark lower half stands out from the tile.
    const float t = art::clampf(0.5f - y / m.span, 0.0f, 1.0f);
    const Rgb tile = art::mix(rgb(4, 7, 18), rgb(1, 1, 5), t);
    const float glow = std::exp(-(d * CreditsUnit) / glowUnits);
    return art::mix(tile, rgb(18, 50, 63), 0.85f * glow);
}

// Coverage 0..1 of a rounded square filling [0, size)^2 with corner radius r, at pixel centre p.
float tileAlpha(float px, float py, float size, float r) {
    const float ax = std::fabs(px - size * 0.5f) - (size * 0.5f - r);
    const float ay = std::fabs(py - size * 0.5f) - (size * 0.5f - r);
    const float ox = std::fmax(ax, 0.0f), oy = std::fmax(ay, 0.0f);
    const float dist = std::sqrt(ox * ox + oy * oy) + std::fmin(std::fmax(ax, ay), 0.0f) - r;  // < 0 inside
    return art::clampf(0.5f - dist, 0.0f, 1.0f);
}

uint8_t to8(float v63) { return uint8_t(std::lround(art::clampf(v63, 0.0f, 63.0f) * 255.0f / 63.0f)); }

}  // namespace

std::vector<uint8_t> render(int size) {
    const Mark m = markFor(size);
    const float unitsPerPixel = m.span / (0.86f * float(size));
    const float glowUnits = 4.0f * unitsPerPixel * (size < 32 ? 0.5f : 1.0f);
    const int ss = size >= 128 ? 4 : 8;  // samples per pixel along each axis
    const float radius = float(size) * 0.18f;
    std::vector<uint8_t> rgba(size_t(size) * size * 4);
    for (int py = 0; py < size; ++py)
        for (int px = 0; px < size; ++px) {
            Rgb sum;
            for (int sy = 0; sy < ss; ++sy)
                for (int sx = 0; sx < ss; ++sx) {
                    const float fx = float(px) + (float(sx) + 0.5f) / float(ss) - float(size) * 0.5f;
                    const float fy = float(size) * 0.5f - float(py) - (float(sy) + 0.5f) / float(ss);
                    sum = art::add(sum, sample(m, m.centreX + fx * unitsPerPixel, m.centreY + fy * unitsPerPixel, glowUnits));
                }
            const Rgb c = art::scale(sum, 1.0f / float(ss * ss));
            uint8_t* o = &rgba[(size_t(py) * size + px) * 4];
            o[0] = to8(c.r);
            o[1] = to8(c.g);
            o[2] = to8(c.b);
            o[3] = uint8_t(std::lround(255.0f * tileAlpha(float(px) + 0.5f, float(py) + 0.5f, float(size), radius)));
        }
    return rgba;
}

namespace {

bool writePng(const std::string& path, const std::vector<uint8_t>& rgba, int size) {
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = png_uint_32(size);
    img.height = png_uint_32(size);
    img.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&img, path.c_str(), 0, rgba.data(), 0, nullptr)) {
        std::printf("mkassets: cannot write '%s': %s\n", path.c_str(), img.message);
        return false;
    }
    return true;
}

int iconsCommand(int argc, char** argv) {
    if (argc != 1 || argv[0][0] == '-') {
        std::printf("mkassets: --icons needs one directory (usage: mkassets --icons DIR)\n");
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(argv[0], ec);
    for (int size : Sizes) {
        const std::string path = (std::filesystem::path(argv[0]) / ("tidewater-" + std::to_string(size) + ".png")).string();
        if (!writePng(path, render(size), size)) return 1;
    }
    return 0;
}

}  // namespace

}  // namespace icons

MKASSETS_COMMAND("--icons", icons::iconsCommand, "--icons DIR                            the program's icon, tidewater-SIZE.png, every size");
