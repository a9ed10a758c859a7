// Plane scene: a low flight over an endless floor of metal plates, riveted steel and brass scales,
// with energy flowing in the slots between them, fading to black towards the horizon. Greetings
// appear one per 8 rows; from order 20 the flight speeds up, and at order 20, row 58 the picture
// turns white. One ray per node of the interpolated grid is intersected with the plane y = 0.
#pragma once

#include <cstdint>

#include "mat.h"

struct Effect;

extern Effect Plane_effect;

enum { PlaneGreetCount = 13 };

struct PlaneGreet {
    int x, y;
    const char* text;
};
// The 13 greetings in the order they appear (the last is "YOU!").
const PlaneGreet* plane_getGreets(void);

// The light level at ray parameter t: 255 (1 - min(t, 128) / 128), rounded in the current mode,
// low byte (253 at t = 1, 0 from 128 on).
int plane_light(float t);

// Read-only snapshot of the scene's state, for tests and tools.
struct PlaneState {
    int current_greet;  // -1 before the first greeting
    int plane_fast;
    float plane_speed;
    float plane_fade_in_timer;
    float plane_fade_out_timer;  // 1.0 = idle
    mat plane_view_matrix;
    vec3 camera;                 // P, the camera position of the last update
    vec3 look_at;                // L, the point it looks at
    uint16_t start_ofs;          // the second texture's scroll set by the last update
    uint8_t white;               // the palette entry the greetings are drawn in
    const uint8_t* palette;      // the pack's palette (6-bit components)
};
void plane_getState(PlaneState* out);
