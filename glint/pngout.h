// pngout: writes a 320 x 200 0x00RRGGBB surface as an RGB PNG, scaled up by whole pixels.
#pragma once
#include <cstdint>

// 1 = written; 0 = failure, after one line naming the file and the problem.
int pngout_write(const char* path, const uint32_t* surface, int width, int height, int scale);
