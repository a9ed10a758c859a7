// Assets of the ray-cast grid scenes (flesh tunnel, metal floor), for mkassets and its tests.
#pragma once
#include "artlib.h"
#include "qxa.h"

#include <cstdint>
#include <vector>

namespace gridpacks {

// 256 x 256 light table: entry (level, c) = the entry of `pal` nearest to colour c darkened to
// level / 255; row 0 is all index 0 (black).
std::vector<uint8_t> lightTable(art::Palette& pal);
// The tunnel's look-at track "Camera|CameraAction".
qxa::Track tunnelTrack();
// The plane's "CameraPosition" and "CameraLookAt" tracks.
std::vector<qxa::Track> planeTracks();

}  // namespace gridpacks
