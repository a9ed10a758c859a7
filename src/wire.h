// Wire scene: a rotating torus over a background picture, walked through four looks (see-through
// wireframe, hidden-line wireframe, solid shaded, solid with flashing wireframe) and a final fade.
#pragma once

#include <cstdint>

struct Effect;
struct Model;

extern Effect Wire_effect;

// Read-only snapshot of the scene's state, for tests and tools.
struct WireState {
    float position[4];
    float rotation[4];
    int wireframe, filled, mask, diffuse, env, hide;
    float flash_timer, wire_flash_timer, wire_fade_timer;
    uint32_t clearColour;
    uint8_t brightCol;
    const uint8_t* palette;  // the pack's palette (6-bit components)
    const uint8_t* lut;      // the patched shading table
    const uint8_t* background;  // 320 x 200 indices, or null when the pack has none
    const Model* model;
};
void wire_getState(WireState* out);
