// The group logo "QX" as a shape: a heavy rounded-square Q whose tail runs parallel to the X's
// falling stroke, both letters slanted forward and cut by two thin horizontal slits in their lower
// half. Credits draws it in chrome (srcdata/credits.qxp, image 0); QxLogo turns it into particle
// sources (srcdata/logopart.tga). Shared so that both scenes show the same mark.
#pragma once

#include <vector>

namespace logoshape {

// Heights of the two slits, in logo units.
constexpr float SlitY[2] = {-0.20f, -0.33f};

// Signed distance (negative inside) at (x, y) in logo units: the logo spans about -1..1 across
// and -0.5..0.5 up (y up).
// `slits` false leaves out the two slits (too thin to survive as a glow).
float distance(float x, float y, bool slits = true);
// The Q alone, without slits, moved so that its ring is centred on (0, 0): the mark where the
// whole logo would be too small to read.
float distanceQ(float x, float y);

// Coverage 0..1 of each pixel of a w x h raster whose width spans `span` logo units (centred),
// 4 x 4 samples per pixel. Row 0 is the top.
std::vector<float> coverage(int w, int h, float span, bool slits = true);

}  // namespace logoshape
