// The Credits scene's asset builders, exposed for tests.
#pragma once
#include "artlib.h"

#include <cstdint>
#include <vector>

namespace credits_art {

// Palette indices the scene names: the four spark colours.
constexpr int AquaSpark = 45, VioletSpark = 76, RoseSpark = 238, GoldSpark = 244;
constexpr int LogoWidth = 224, LogoHeight = 112;
constexpr uint8_t LogoTransparent = 2;
constexpr int LightRows = 129;  // light levels 0..128
constexpr int GlitchBytes = 262144;

// The scene palette in its fixed order: black at 0, white at 255 (the only pure white), the
// spark colours at their indices, hue ramps elsewhere. 6-bit components.
class Palette {
public:
    Palette();
    art::Rgb colour(int i) const;
    const uint8_t* entry(int i) const { return m_c[i]; }
    // Nearest entry (weighted squared distance, lowest index on ties), never `exclude`.
    uint8_t nearest(art::Rgb c, int exclude = -1);
    mkassets::Bytes bytes8() const;  // as stored in an image pack

private:
    uint8_t m_c[256][3] = {};
    std::vector<int16_t> m_cache;
};

art::Rgb screen(art::Rgb a, art::Rgb b);
// lut[source * 256 + frame]: the source screened over the frame colour.
std::vector<uint8_t> translucencyTable(Palette& pal);
// The colour of a spark of hue `hue` at level 0..1.
art::Rgb sparkColour(art::Rgb hue, float level);
// LightRows rows of 256: row = level, column = palette index, entry = the lit colour's index.
std::vector<uint8_t> lightTable(Palette& pal);
// The logo's chrome at height y (logo units, up), signed distance d to the outline and distance
// gradient (gx, gy: the change over two pixels), all in pixels of the Credits logo image; d
// beyond about 2.2 is outside the mark, where the outline has faded out.
constexpr art::Rgb ChromeOutline{2, 3, 8};
art::Rgb chrome(float y, float d, float gx, float gy);
// LogoWidth x LogoHeight indices, LogoTransparent around the mark.
std::vector<uint8_t> logoImage(Palette& pal);
std::vector<uint8_t> glitchMap();

}  // namespace credits_art
