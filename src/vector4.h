// vec4: four floats; the same 16-byte layout as vec3, used where the fourth component matters.
#pragma once

extern "C++" {

struct vec4 {
    float x, y, z, w;
};

extern const vec4 vec4_zero;  // (0, 0, 0, 0)

}
