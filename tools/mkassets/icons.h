// The program's icon at every size it is installed in (mkassets --icons DIR).
#pragma once
#include <cstdint>
#include <vector>

namespace icons {

constexpr int Sizes[] = {16, 22, 24, 32, 48, 64, 128, 192, 256, 512};

// size x size RGBA pixels, top row first.
std::vector<uint8_t> render(int size);

}  // namespace icons
