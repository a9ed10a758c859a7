// Images: 8-bit palettised (and 24-bit true-colour) pictures loaded from TGA and BMP files in the
// datafile, raw 768-byte palette files, TGA screen captures and the 2D drawers that put images
// into a 320 x 200 frame buffer.
#pragma once

#include <cstddef>
#include <cstdint>

// One allocation unless flag bit 0 is set: then `pixels` is its own aligned block.
// Layout of the single allocation: record, pixels (if not separate), palette (8-bit images).
struct Image {
    uint8_t* pixels;   // width*height indices, top row first; true colour: width*height*3 (r, g, b)
    uint8_t* palette;  // 768 bytes (256 x r, g, b) or null for a true-colour image
    uint32_t width;
    uint32_t height;
    uint8_t flags;     // bit 0: pixels is a separate aligned block
};

enum { ImageSeparatePixels = 1 };

// Loading. `convert` reduces 8-bit palette components to 6 bits (>> 2). Names ending ".tga" (any
// case) are TGA files, anything else BMP. A missing file, or one too short for what its header
// describes, ends the process with one line "image: <name>: <problem>" and exit code 1, so the
// result is never null.
Image* image_loadFromFile(const char* name, int convert);
Image* image_loadFromFileAligned(const char* name, int convert, uint32_t alignment);
// The same checks without ending the process: null, with the one-line reason in error.
Image* image_tryLoad(const char* name, int convert, uint32_t alignment, char* error, size_t errorSize);
Image* image_create(uint32_t width, uint32_t height);
void image_destroy(Image* image);

// Palettes: 768 bytes, stored as they are used (6-bit components in the show's files). A missing
// or short palette file ends the process like a bad image; the try form returns 0 instead.
uint8_t* image_loadPalette(const char* name);
int image_loadPaletteBuffer(const char* name, uint8_t* buffer);
int image_tryLoadPaletteBuffer(const char* name, uint8_t* buffer, char* error, size_t errorSize);
int image_savePalette(const char* name, const uint8_t* palette);
void image_destroyPalette(uint8_t* palette);

// Writes an 8-bit image as a colour-mapped TGA (bottom row first, palette written unchanged).
// 1 on success, 0 when the file could not be written.
int image_save(const char* name, const uint8_t* pixels, int width, int height, const uint8_t* palette);

// Drawing into a 320 x 200 frame buffer. Every routine keeps its writes inside the frame: the
// "unclipped" ones clip their rectangle once (callers are expected to stay inside anyway).
void image_draw(const Image* image, int x, int y, uint8_t* dst);                      // clipped
void image_drawAdd(const Image* image, int x, int y, float amount, uint8_t* dst);     // clipped, saturating add
void image_drawTransparent(const Image* image, int x, int y, uint8_t* dst, uint8_t key, int centre); // unclipped
// Scaled by `scale`, centred on column 160 (x is ignored), top row at y, index 0 transparent.
// `angle` and `unused` do not affect the result.
void image_drawScaleRot(const Image* image, int x, int y, float scale, float angle, uint8_t* dst, int unused);
void image_drawAddScale(const Image* image, int x, int y, float scale, float amount, uint8_t* dst);
void image_blit(const Image* image, uint8_t* dst, int unused, int offset);            // unclipped word rows
void image_rawDraw(const uint8_t* pixels, int width, int height, int x, int y, uint8_t* dst);
void image_rawDrawTransparent(const uint8_t* pixels, int x, int y, int width, int height, uint8_t* dst, uint8_t key);
// Scaled about the centre (x, y); key transparent; clipped; sampled with truncation.
void image_rawDrawScale(const uint8_t* pixels, float x, float y, int width, int height, float scale,
                        uint8_t* dst, uint8_t key);
void image_rawDrawScaleLut(const uint8_t* pixels, float x, float y, int width, int height, float scale,
                           uint8_t* dst, uint8_t key, const uint8_t* lut);

// Palette rearrangements (8-bit images).
void image_remap(Image* image, int offset, int count);
void image_swapPalette(Image* image, uint8_t a, uint8_t b);
void image_remapSingleColour(uint8_t* pixels, int width, int height, uint8_t a, uint8_t b);
void image_remapPaletteLinear(Image* image);
