// Frame hashes shared by the suites that compare pictures: FNV-1a 64 over a frame's RGB bytes,
// top row first, and the RGB pixels of a PNG the program wrote.
#pragma once
#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

inline uint64_t fnv1a(const uint8_t* p, size_t n)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < n; i++) {
        h ^= p[i];
        h *= 0x100000001b3ull;
    }
    return h;
}

// Decoded RGB pixels of a PNG, or an empty vector (with the reason in `error`).
inline std::vector<uint8_t> readRgb(const std::string& path, int* w, int* h, std::string* error)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        *error = image.message;
        return {};
    }
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        *error = image.message;
        png_image_free(&image);
        return {};
    }
    *w = (int)image.width;
    *h = (int)image.height;
    return pixels;
}
