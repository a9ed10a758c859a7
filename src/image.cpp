// Images: TGA/BMP loading, palettes, TGA capture and the 2D image drawers.
#include "image.h"

#include <cstdio>
#include <cstring>

// 18-byte colour-mapped TGA header, written field by field (little-endian).
static void put16(uint8_t* p, int v)
{
    p[0] = (uint8_t)(v & 0xFF);
    p[1] = (uint8_t)((v >> 8) & 0xFF);
}

int image_save(const char* name, const uint8_t* pixels, int width, int height, const uint8_t* palette)
{
    FILE* fp = fopen(name, "wb");
    if (!fp)
        return 0;
    uint8_t header[18];
    memset(header, 0, sizeof(header));
    header[1] = 1;        // colour-mapped
    header[2] = 1;        // uncompressed colour-mapped image
    put16(header + 5, 256);
    header[7] = 24;       // 3-byte colour-map entries
    put16(header + 12, width);
    put16(header + 14, height);
    header[16] = 8;
    int ok = fwrite(header, 1, sizeof(header), fp) == sizeof(header);
    uint8_t map[768];
    for (int i = 0; i < 256; i++) {  // stored blue, green, red; components taken unchanged
        map[i * 3 + 0] = palette[i * 3 + 2];
        map[i * 3 + 1] = palette[i * 3 + 1];
        map[i * 3 + 2] = palette[i * 3 + 0];
    }
    ok = ok && fwrite(map, 1, sizeof(map), fp) == sizeof(map);
    for (int row = height - 1; row >= 0 && ok; row--)  // bottom row first
        ok = fwrite(pixels + (size_t)row * (size_t)width, 1, (size_t)width, fp) == (size_t)width;
    if (fclose(fp) != 0)
        ok = 0;
    return ok;
}
