// The QxLogo scene's asset builders, exposed for tests.
#pragma once
#include "mkassets.h"

#include <cstdint>
#include <vector>

namespace qxlogo_art {

constexpr int SourceWidth = 264, SourceHeight = 124;
constexpr int LogoTop = 6;  // first row of the letters in the source image
// Source image indices: not a point, still, drifting sideways, drifting up and down.
constexpr uint8_t Black = 0, Still = 1, Sideways = 2, Falling = 3;

std::vector<uint8_t> sourcePixels();   // SourceWidth x SourceHeight, top row first
mkassets::Bytes sourceTga();           // srcdata/logopart.tga
mkassets::Bytes gradientPalette();     // srcdata/bwgrad.pal, 6-bit components

}  // namespace qxlogo_art
