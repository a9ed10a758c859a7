// pngout, browser half: the same RGB PNG without libpng (the web build has none). The image data
// is a zlib stream of stored (uncompressed) deflate blocks: valid everywhere, and screenshots in
// the browser are few (the page may compress what it downloads anyway).
#include "pngout.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

static uint32_t crc32(uint32_t crc, const uint8_t* p, size_t n)
{
    crc = ~crc;
    for (size_t i = 0; i < n; i++) {
        crc ^= p[i];
        for (int k = 0; k < 8; k++)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

static void put32(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back((uint8_t)(v >> 24));
    out.push_back((uint8_t)(v >> 16));
    out.push_back((uint8_t)(v >> 8));
    out.push_back((uint8_t)v);
}

static void chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data)
{
    put32(out, (uint32_t)data.size());
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    put32(out, crc32(0, out.data() + start, out.size() - start));
}

int pngout_write(const char* path, const uint32_t* surface, int width, int height, int scale)
{
    if (scale < 1)
        scale = 1;
    const uint32_t outW = (uint32_t)(width * scale), outH = (uint32_t)(height * scale);
    // Raw scan lines: filter byte 0, then R, G, B per pixel.
    std::vector<uint8_t> raw;
    raw.reserve((size_t)outH * (1 + 3 * outW));
    for (int y = 0; y < height; y++) {
        const size_t rowStart = raw.size();
        raw.push_back(0);
        for (int x = 0; x < width; x++) {
            const uint32_t c = surface[(size_t)y * width + x];
            for (int k = 0; k < scale; k++) {
                raw.push_back((uint8_t)(c >> 16));
                raw.push_back((uint8_t)(c >> 8));
                raw.push_back((uint8_t)c);
            }
        }
        for (int k = 1; k < scale; k++)
            raw.insert(raw.end(), raw.begin() + (long)rowStart, raw.begin() + (long)rowStart + 1 + 3 * outW);
    }
    // zlib: header, stored blocks of at most 65535 bytes, Adler-32 of the raw data.
    std::vector<uint8_t> z = {0x78, 0x01};
    uint32_t a = 1, b = 0;
    for (uint8_t v : raw) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    for (size_t at = 0; at < raw.size() || at == 0;) {
        const size_t n = raw.size() - at > 65535 ? 65535 : raw.size() - at;
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back((uint8_t)n);
        z.push_back((uint8_t)(n >> 8));
        z.push_back((uint8_t)~n);
        z.push_back((uint8_t)(~n >> 8));
        z.insert(z.end(), raw.begin() + (long)at, raw.begin() + (long)(at + n));
        at += n;
        if (n == 0)
            break;
    }
    put32(z, (b << 16) | a);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    put32(ihdr, outW);
    put32(ihdr, outH);
    ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, filter set 0, no interlace
    chunk(png, "IHDR", ihdr);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", {});

    FILE* fp = std::fopen(path, "wb");
    if (!fp) {
        std::printf("pngout: cannot create %s: %s\n", path, std::strerror(errno));
        return 0;
    }
    const bool ok = std::fwrite(png.data(), 1, png.size(), fp) == png.size();
    if (std::fclose(fp) != 0 || !ok) {
        std::printf("pngout: cannot write %s: %s\n", path, std::strerror(errno));
        std::remove(path);
        return 0;
    }
    return 1;
}
