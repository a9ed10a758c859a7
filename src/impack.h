// Image packs (.qxp): two 256 x 256 textures, a palette, a 256 x 256 shading table and up to four
// images in one file, loaded with one read into one 64 KiB-aligned block. Also the height-map
// loader that builds displacement tables for the interpolated-grid texturing.
#pragma once

#include <cstddef>
#include <cstdint>

struct ImagePackImage {
    uint16_t width;
    uint16_t height;
    uint8_t* pixels;  // into the pack's block; null for an empty slot
};

// Lives inside its own block, after the file's bytes; every pointer points into that block.
struct ImagePack {
    uint8_t* texture;  // block + 0x00000, 64 KiB-aligned; also the block that impack_destroy frees
    uint8_t* envmap;   // block + 0x10000
    uint8_t* palette;  // block + 0x20000, 6-bit components after loading
    uint8_t* lut;      // block + 0x20300
    ImagePackImage images[4];
};

enum {
    ImpackTextureOffset = 0x00000,
    ImpackEnvmapOffset = 0x10000,
    ImpackPaletteOffset = 0x20000,
    ImpackLutOffset = 0x20300,
    ImpackImageDataOffset = 0x30300,
    ImpackTrailerSize = 48,   // 16 reserved bytes + 4 directory slots of 8 bytes
    ImpackMinSize = ImpackImageDataOffset + ImpackTrailerSize
};

// A pack that is missing, shorter than its fixed part, or whose directory slot points outside the
// file ends the process with one line "impack: <name>: <problem>" and exit code 1. The try form
// returns null with the reason in error instead.
ImagePack* impack_load(const char* name);
ImagePack* impack_tryLoad(const char* name, char* error, size_t errorSize);
void impack_destroy(ImagePack* pack);

// Displacement table: 65536 uint16 entries, entry (x, y) = y*256 + ((x + (h(x, y) >> shift)) & 255).
// Owned by the caller, freed with mem_free. A missing height map or one shorter than 65536 bytes
// ends the process with one line "util: <name>: <problem>", exit code 1; the try form returns null.
uint16_t* util_loadBump(const char* name, int shift);
uint16_t* util_tryLoadBump(const char* name, int shift, char* error, size_t errorSize);
