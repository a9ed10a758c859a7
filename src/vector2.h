// vec2: 2D points and sizes.
#pragma once

extern "C++" {

struct vec2 {
    float x, y;
};

// 1 / math_rsqrt(x^2 + y^2): within about 0.2 % of the exact length.
float vec2_length(const vec2* v);

}
