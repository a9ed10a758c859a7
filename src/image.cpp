// Images: TGA/BMP loading, palettes, TGA capture and the 2D image drawers.
//
// Loaders read the whole file from the datafile and check every size against what the header
// describes before touching the pixels, so a corrupt asset is reported, never read past.
#include "image.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file.h"
#include "fround.h"
#include "log.h"
#include "math.h"
#include "mem.h"
#include "util.h"

enum { ScreenW = 320, ScreenH = 200, TgaHeaderSize = 18, BmpHeaderSize = 54, BmpPaletteSize = 1024 };


static void put16(uint8_t* p, int v)
{
    p[0] = (uint8_t)(v & 0xFF);
    p[1] = (uint8_t)((v >> 8) & 0xFF);
}

// Reads a whole datafile entry, or reports it missing. `size` receives the entry's length.
static uint8_t* read_entry(const char* name, int* size, char* error, size_t errorSize)
{
    int n = file_getFileSize(name);
    if (n < 0) {
        util_setError(error, errorSize, "%s: not found in the datafile", name);
        return nullptr;
    }
    *size = n;
    return (uint8_t*)file_readAll(name, nullptr);
}

// Record, then the pixels unless they are separate, then the palette when there is one.
static Image* alloc_image(uint32_t width, uint32_t height, size_t pixelBytes, int hasPalette, uint32_t alignment)
{
    const int separate = alignment > 1;
    size_t total = sizeof(Image) + (separate ? 0 : pixelBytes) + (hasPalette ? 768 : 0);
    Image* image = (Image*)mem_malloc(total);
    uint8_t* tail = (uint8_t*)(image + 1);
    image->width = width;
    image->height = height;
    image->flags = 0;
    if (separate) {
        image->pixels = (uint8_t*)mem_alignedMalloc(pixelBytes ? pixelBytes : 1, alignment);
        image->flags |= ImageSeparatePixels;
    } else {
        image->pixels = tail;
        tail += pixelBytes;
    }
    image->palette = hasPalette ? tail : nullptr;
    return image;
}

static int has_tga_extension(const char* name)
{
    const char* dot = strrchr(name, '.');
    return dot && strcasecmp(dot, ".tga") == 0;
}

// TGA: 18-byte header, ID bytes, colour map (blue, green, red entries), rows bottom-up.
static Image* load_tga(const char* name, const uint8_t* data, size_t size, int convert, uint32_t alignment,
                       char* error, size_t errorSize)
{
    if (size < TgaHeaderSize) {
        util_setError(error, errorSize, "%s: TGA header truncated (%zu of 18 bytes)", name, size);
        return nullptr;
    }
    const uint32_t idLength = data[0];
    const int mapped = data[1] == 1;
    const uint32_t mapLength = util_get16(data + 5);
    const uint32_t width = util_get16(data + 12);
    const uint32_t height = util_get16(data + 14);
    const uint64_t count = (uint64_t)width * height;
    const uint64_t mapBytes = mapped ? (uint64_t)mapLength * 3 : 0;
    const uint64_t pixelBytes = mapped ? count : count * 3;
    const uint64_t need = TgaHeaderSize + idLength + mapBytes + pixelBytes;
    if (need > size) {
        util_setError(error, errorSize, "%s: TGA data truncated (%ux%u needs %llu bytes, file has %zu)", name,
                  width, height, (unsigned long long)need, size);
        return nullptr;
    }
    Image* image = alloc_image(width, height, (size_t)pixelBytes, mapped, alignment);
    const uint8_t* p = data + TgaHeaderSize + idLength;
    const int shift = convert ? 2 : 0;
    if (mapped) {
        memset(image->palette, 0, 768);
        const uint32_t entries = mapLength < 256 ? mapLength : 256;
        for (uint32_t i = 0; i < entries; i++) {
            image->palette[i * 3 + 0] = (uint8_t)(p[i * 3 + 2] >> shift);
            image->palette[i * 3 + 1] = (uint8_t)(p[i * 3 + 1] >> shift);
            image->palette[i * 3 + 2] = (uint8_t)(p[i * 3 + 0] >> shift);
        }
        p += mapBytes;  // a longer map is skipped, so the pixels are read from where they are
        for (uint32_t row = 0; row < height; row++)
            memcpy(image->pixels + (size_t)(height - 1 - row) * width, p + (size_t)row * width, width);
    } else {
        const size_t stride = (size_t)width * 3;
        for (uint32_t row = 0; row < height; row++) {
            const uint8_t* src = p + (size_t)row * stride;
            uint8_t* dst = image->pixels + (size_t)(height - 1 - row) * stride;
            for (uint32_t x = 0; x < width; x++) {
                dst[x * 3 + 0] = src[x * 3 + 2];
                dst[x * 3 + 1] = src[x * 3 + 1];
                dst[x * 3 + 2] = src[x * 3 + 0];
            }
        }
    }
    return image;
}

// BMP: 54-byte header, 256 palette entries of (blue, green, red, reserved), then 8-bit rows padded
// to 4 bytes from the pixel-data offset, bottom row first.
static Image* load_bmp(const char* name, const uint8_t* data, size_t size, int convert, char* error,
                       size_t errorSize)
{
    if (size < BmpHeaderSize + BmpPaletteSize) {
        util_setError(error, errorSize, "%s: BMP header and palette truncated (%zu of %d bytes)", name, size,
                  BmpHeaderSize + BmpPaletteSize);
        return nullptr;
    }
    const uint32_t offset = util_get32(data + 10);
    const uint32_t width = util_get32(data + 18);
    const uint32_t height = util_get32(data + 22);
    const uint64_t stride = ((uint64_t)width + 3) & ~(uint64_t)3;
    const uint64_t need = (uint64_t)offset + stride * height;
    // Only as many pixels as the file can hold: with width 0 a huge height would otherwise pass.
    if (need > size || (uint64_t)width * height > size) {
        util_setError(error, errorSize, "%s: BMP pixels run past the end (%ux%u at offset %u needs %llu bytes, file has %zu)",
                  name, width, height, offset, (unsigned long long)need, size);
        return nullptr;
    }
    Image* image = alloc_image(width, height, (size_t)width * height, 1, 1);
    const uint8_t* map = data + BmpHeaderSize;
    const int shift = convert ? 2 : 0;
    for (int i = 0; i < 256; i++) {
        image->palette[i * 3 + 0] = (uint8_t)(map[i * 4 + 2] >> shift);
        image->palette[i * 3 + 1] = (uint8_t)(map[i * 4 + 1] >> shift);
        image->palette[i * 3 + 2] = (uint8_t)(map[i * 4 + 0] >> shift);
    }
    if (width && height) {
        for (uint32_t row = 0; row < height; row++)
            memcpy(image->pixels + (size_t)(height - 1 - row) * width, data + offset + (size_t)(row * stride), width);
    }
    return image;
}

Image* image_tryLoad(const char* name, int convert, uint32_t alignment, char* error, size_t errorSize)
{
    int size = 0;
    uint8_t* data = read_entry(name, &size, error, errorSize);
    if (!data)
        return nullptr;
    Image* image = has_tga_extension(name)
                       ? load_tga(name, data, (size_t)size, convert, alignment, error, errorSize)
                       : load_bmp(name, data, (size_t)size, convert, error, errorSize);
    mem_free(data);
    return image;
}

[[noreturn]] static void fail(const char* module, const char* error)
{
    log_print("%s: %s\n", module, error);
    exit(1);
}

Image* image_loadFromFileAligned(const char* name, int convert, uint32_t alignment)
{
    char error[256];
    Image* image = image_tryLoad(name, convert, alignment, error, sizeof(error));
    if (!image)
        fail("image", error);
    return image;
}

Image* image_loadFromFile(const char* name, int convert)
{
    return image_loadFromFileAligned(name, convert, 1);
}

Image* image_create(uint32_t width, uint32_t height)
{
    return alloc_image(width, height, (size_t)width * height, 1, 1);
}

void image_destroy(Image* image)
{
    if (!image)
        return;
    if (image->flags & ImageSeparatePixels)
        mem_alignedFree(image->pixels);
    mem_free(image);
}

// ---- palettes

int image_tryLoadPaletteBuffer(const char* name, uint8_t* buffer, char* error, size_t errorSize)
{
    int size = file_getFileSize(name);
    if (size < 0) {
        util_setError(error, errorSize, "%s: not found in the datafile", name);
        return 0;
    }
    if (size < 768) {
        util_setError(error, errorSize, "%s: palette truncated (%d of 768 bytes)", name, size);
        return 0;
    }
    FileHandle fh = file_open(name);
    file_read(fh, buffer, 768);
    file_close(fh);
    return 1;
}

int image_loadPaletteBuffer(const char* name, uint8_t* buffer)
{
    char error[256];
    if (!image_tryLoadPaletteBuffer(name, buffer, error, sizeof(error)))
        fail("image", error);
    return 1;
}

uint8_t* image_loadPalette(const char* name)
{
    uint8_t* palette = (uint8_t*)mem_malloc(768);
    char error[256];
    if (!image_tryLoadPaletteBuffer(name, palette, error, sizeof(error))) {
        mem_free(palette);
        fail("image", error);
    }
    return palette;
}

int image_savePalette(const char* name, const uint8_t* palette)
{
    FILE* fp = fopen(name, "wb");
    if (!fp)
        return 0;
    int ok = fwrite(palette, 1, 768, fp) == 768;
    if (fclose(fp) != 0)
        ok = 0;
    return ok;
}

void image_destroyPalette(uint8_t* palette)
{
    mem_free(palette);
}

// ---- TGA capture

int image_save(const char* name, const uint8_t* pixels, int width, int height, const uint8_t* palette)
{
    FILE* fp = fopen(name, "wb");
    if (!fp)
        return 0;
    uint8_t header[TgaHeaderSize];
    memset(header, 0, sizeof(header));
    header[1] = 1;  // colour-mapped
    header[2] = 1;  // uncompressed colour-mapped image
    put16(header + 5, 256);
    header[7] = 24;  // 3-byte colour-map entries
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

// ---- drawing

// The visible part of a w x h rectangle placed at (x, y): source columns [c0, c1), rows [r0, r1).
struct ClipRect {
    int c0, c1, r0, r1;
};

static ClipRect clip_rect(int x, int y, int w, int h)
{
    ClipRect r;
    r.c0 = x < 0 ? -x : 0;
    r.r0 = y < 0 ? -y : 0;
    r.c1 = x + w > ScreenW ? ScreenW - x : w;
    r.r1 = y + h > ScreenH ? ScreenH - y : h;
    return r;
}

void image_draw(const Image* image, int x, int y, uint8_t* dst)
{
    image_rawDraw(image->pixels, (int)image->width, (int)image->height, x, y, dst);
}

// source value s adds round(s * amount) in the current mode; a table gives the same values.
static void add_table(float amount, int* table)
{
    for (int s = 0; s < 256; s++)
        table[s] = (int)fround_toInt(fround_mul((float)s, amount));
}

static inline uint8_t add_sat(int add, uint8_t d)
{
    int v = add + d;
    return (uint8_t)(v > 255 ? 255 : v);
}

void image_drawAdd(const Image* image, int x, int y, float amount, uint8_t* dst)
{
    int table[256];
    add_table(amount, table);
    const int w = (int)image->width;
    ClipRect r = clip_rect(x, y, w, (int)image->height);
    for (int row = r.r0; row < r.r1; row++) {
        const uint8_t* src = image->pixels + (size_t)row * w;
        uint8_t* out = dst + (y + row) * ScreenW + x;
        for (int col = r.c0; col < r.c1; col++)
            out[col] = add_sat(table[src[col]], out[col]);
    }
}

void image_drawTransparent(const Image* image, int x, int y, uint8_t* dst, uint8_t key, int centre)
{
    if (centre) {
        x = 160 - (int)(image->width / 2);
        y = 100 - (int)(image->height / 2);
    }
    image_rawDrawTransparent(image->pixels, x, y, (int)image->width, (int)image->height, dst, key);
}

// The scaled walk: a cols x rows rectangle at (left, top) of the frame, clipped to it, sampling
// source (u, v converted) with u and v accumulated by du, dv from 0, in whatever rounding mode the
// caller has set (fround: in software where the platform has no modes). Rounding can land one past the last source column or row; samples are
// held inside the image. plot(sourceRow, frameRowOffset, srcCol, c0, c1) fills columns [c0, c1).
template <typename Plot>
static void scaled_walk(const uint8_t* pixels, int w, int h, long left, long top, long cols, long rows, float du,
                        float dv, Plot plot)
{
    int srcCol[ScreenW];
    int c0 = ScreenW, c1 = 0;
    float u = 0.0f;
    for (long c = 0; c < cols; c++, u = fround_add(u, du)) {
        long tx = left + c;
        if (tx >= ScreenW)
            break;
        if (tx < 0)
            continue;
        long s = (long)fround_toInt(u);
        srcCol[tx] = (int)(s < w ? s : w - 1);
        if (tx < c0)
            c0 = (int)tx;
        c1 = (int)tx + 1;
    }
    float v = 0.0f;
    for (long rr = 0; rr < rows && c0 < c1; rr++, v = fround_add(v, dv)) {
        long ty = top + rr;
        if (ty >= ScreenH)
            break;
        if (ty < 0)
            continue;
        long sr = (long)fround_toInt(v);
        if (sr >= h)
            sr = h - 1;
        plot(pixels + (size_t)sr * w, (int)ty * ScreenW, srcCol, c0, c1);
    }
}

// The two drawers that run in the current (round-to-nearest) mode: the rectangle is
// round(w * scale) x round(h * scale) at (left, top).
template <typename Plot>
static void scaled_walk_round(const Image* image, int left, int top, float scale, Plot plot)
{
    const int w = (int)image->width, h = (int)image->height;
    if (w <= 0 || h <= 0)
        return;
    const float sw = (float)w * scale, sh = (float)h * scale;
    const long cols = lrintf(sw), rows = lrintf(sh);
    if (!(cols > 0 && rows > 0))
        return;
    scaled_walk(image->pixels, w, h, left, top, cols, rows, (float)w / sw, (float)h / sh, plot);
}

void image_drawScaleRot(const Image* image, int x, int y, float scale, float angle, uint8_t* dst, int unused)
{
    const float sw = (float)image->width * scale;
    const int left = (int)lrintf(160.0f - 0.5f * sw);
    scaled_walk_round(image, left, y, scale, [dst](const uint8_t* src, int rowOff, const int* srcCol, int c0, int c1) {
        uint8_t* out = dst + rowOff;
        for (int tx = c0; tx < c1; tx++) {
            uint8_t s = src[srcCol[tx]];
            if (s != 0)
                out[tx] = s;
        }
    });
}

void image_drawAddScale(const Image* image, int x, int y, float scale, float amount, uint8_t* dst)
{
    int table[256];
    add_table(amount, table);
    scaled_walk_round(image, x, y, scale, [dst, &table](const uint8_t* src, int rowOff, const int* srcCol, int c0, int c1) {
        uint8_t* out = dst + rowOff;
        for (int tx = c0; tx < c1; tx++)
            out[tx] = add_sat(table[src[srcCol[tx]]], out[tx]);
    });
}

void image_blit(const Image* image, uint8_t* dst, int unused, int offset)
{
    const size_t w = image->width;
    const size_t bytes = (w / 4) * 4;
    for (size_t row = 0; row < image->height; row++) {
        const long start = (long)offset + (long)row * ScreenW;
        if (start < 0 || start + (long)bytes > ScreenW * ScreenH)
            continue;  // a row that would leave the frame buffer is not written
        util_blit(dst + start, image->pixels + row * w, (int)(bytes / 4));
    }
}

void image_rawDraw(const uint8_t* pixels, int width, int height, int x, int y, uint8_t* dst)
{
    ClipRect r = clip_rect(x, y, width, height);
    if (r.c1 <= r.c0)
        return;
    for (int row = r.r0; row < r.r1; row++)
        memcpy(dst + (y + row) * ScreenW + x + r.c0, pixels + (size_t)row * width + r.c0, (size_t)(r.c1 - r.c0));
}

void image_rawDrawTransparent(const uint8_t* pixels, int x, int y, int width, int height, uint8_t* dst, uint8_t key)
{
    ClipRect r = clip_rect(x, y, width, height);
    for (int row = r.r0; row < r.r1; row++) {
        const uint8_t* src = pixels + (size_t)row * width;
        uint8_t* out = dst + (y + row) * ScreenW + x;
        for (int col = r.c0; col < r.c1; col++) {
            uint8_t s = src[col];
            if (s != key)
                out[col] = s;
        }
    }
}

// Scaled walk about a centre, sampled with truncation: columns = round(sw) in the caller's mode,
// then the truncating mode for the edges, rows = trunc(sh) and every sample; full mode afterwards.
template <typename Plot>
static void scaled_walk_trunc(const uint8_t* pixels, float x, float y, int w, int h, float scale, Plot plot)
{
    if (w <= 0 || h <= 0)
        return;
    const float sw = (float)w * scale, sh = (float)h * scale;
    const long cols = (long)fround_toInt(sw);
    util_fpuSetFloorMode();
    const long left = (long)fround_toInt(fround_sub(x, 0.5f * sw));
    const long top = (long)fround_toInt(fround_sub(y, 0.5f * sh));
    const long rows = (long)fround_toInt(sh);
    scaled_walk(pixels, w, h, left, top, cols, rows, fround_div((float)w, sw), fround_div((float)h, sh), plot);
    util_fpuSetFullMode();
}

void image_rawDrawScale(const uint8_t* pixels, float x, float y, int width, int height, float scale, uint8_t* dst,
                        uint8_t key)
{
    scaled_walk_trunc(pixels, x, y, width, height, scale,
                      [dst, key](const uint8_t* src, int rowOff, const int* srcCol, int c0, int c1) {
                          uint8_t* out = dst + rowOff;
                          for (int tx = c0; tx < c1; tx++) {
                              uint8_t s = src[srcCol[tx]];
                              if (s != key)
                                  out[tx] = s;
                          }
                      });
}

void image_rawDrawScaleLut(const uint8_t* pixels, float x, float y, int width, int height, float scale,
                           uint8_t* dst, uint8_t key, const uint8_t* lut)
{
    scaled_walk_trunc(pixels, x, y, width, height, scale,
                      [dst, key, lut](const uint8_t* src, int rowOff, const int* srcCol, int c0, int c1) {
                          uint8_t* out = dst + rowOff;
                          for (int tx = c0; tx < c1; tx++) {
                              uint8_t s = src[srcCol[tx]];
                              if (s != key)
                                  out[tx] = lut[s * 256 + out[tx]];
                          }
                      });
}

// ---- palette rearrangement

void image_remap(Image* image, int offset, int count)
{
    if (count > 256)
        count = 256;
    if (count <= 0)
        return;
    uint8_t tmp[768];
    memcpy(tmp, image->palette, (size_t)count * 3);
    for (int i = 0; i < count; i++) {
        int target = offset + i;
        if (target < 0 || target > 255)
            continue;  // entries that would land outside the palette are dropped
        memcpy(image->palette + target * 3, tmp + i * 3, 3);
    }
    const size_t n = (size_t)image->width * image->height;
    for (size_t i = 0; i < n; i++)
        image->pixels[i] = (uint8_t)(image->pixels[i] + offset);
}

void image_swapPalette(Image* image, uint8_t a, uint8_t b)
{
    uint8_t t[3];
    memcpy(t, image->palette + a * 3, 3);
    memcpy(image->palette + a * 3, image->palette + b * 3, 3);
    memcpy(image->palette + b * 3, t, 3);
    image_remapSingleColour(image->pixels, (int)image->width, (int)image->height, a, b);
}

void image_remapSingleColour(uint8_t* pixels, int width, int height, uint8_t a, uint8_t b)
{
    const size_t n = (size_t)width * (size_t)height;
    for (size_t i = 0; i < n; i++) {
        uint8_t p = pixels[i];
        pixels[i] = p == a ? b : (p == b ? a : p);
    }
}

static float colour_length(const uint8_t* c)
{
    float sum = (float)(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
    return 1.0f / math_rsqrt(sum);
}

void image_remapPaletteLinear(Image* image)
{
    uint8_t map[256];
    for (int i = 0; i < 256; i++)
        map[i] = (uint8_t)i;
    uint8_t* pal = image->palette;
    for (int i = 0; i < 255; i++) {
        int best = i;
        float bestLen = colour_length(pal + i * 3);
        for (int j = i + 1; j < 256; j++) {
            float len = colour_length(pal + j * 3);
            if (len < bestLen) {
                bestLen = len;
                best = j;
            }
        }
        if (best != i) {
            uint8_t t[3];
            memcpy(t, pal + i * 3, 3);
            memcpy(pal + i * 3, pal + best * 3, 3);
            memcpy(pal + best * 3, t, 3);
            uint8_t m = map[i];
            map[i] = map[best];
            map[best] = m;
        }
    }
    uint8_t inverse[256];  // pixel value p moves to the position that now holds old entry p
    for (int i = 0; i < 256; i++)
        inverse[map[i]] = (uint8_t)i;
    const size_t n = (size_t)image->width * image->height;
    for (size_t i = 0; i < n; i++)
        image->pixels[i] = inverse[image->pixels[i]];
}
