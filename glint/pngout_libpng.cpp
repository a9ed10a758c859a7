#include "pngout.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

static const char* s_path;

static void pngout_error(png_structp png, png_const_charp message)
{
    std::printf("pngout: cannot write %s: %s\n", s_path, message);
    longjmp(png_jmpbuf(png), 1);
}

static void pngout_warning(png_structp, png_const_charp) {}

// libpng's own writer reports a failed write as "Write Error"; this one names the cause (a full
// disk, a file size limit), which is what the user has to act on.
static void pngout_writeData(png_structp png, png_bytep data, png_size_t length)
{
    FILE* fp = static_cast<FILE*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, length, fp) != length)
        png_error(png, std::strerror(errno));
}

static void pngout_flush(png_structp png) { std::fflush(static_cast<FILE*>(png_get_io_ptr(png))); }

int pngout_write(const char* path, const uint32_t* surface, int width, int height, int scale)
{
    if (scale < 1)
        scale = 1;
    s_path = path;
    FILE* fp = std::fopen(path, "wb");
    if (!fp) {
        std::printf("pngout: cannot create %s: %s\n", path, std::strerror(errno));
        return 0;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngout_error, pngout_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, nullptr);
        std::fclose(fp);
        std::printf("pngout: out of memory writing %s\n", path);
        return 0;
    }
    const int outW = width * scale;
    // Row buffer outside the setjmp scope: nothing with a destructor may be skipped by longjmp.
    std::vector<png_byte> row(static_cast<size_t>(outW) * 3);
    int ok = 0;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_write_fn(png, fp, pngout_writeData, pngout_flush);
        // Frames are written by the thousand: speed matters more than the last percent of size.
        png_set_compression_level(png, 1);
        png_set_filter(png, 0, PNG_FILTER_SUB);
        png_set_IHDR(png, info, static_cast<png_uint_32>(outW), static_cast<png_uint_32>(height * scale), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; y++) {
            const uint32_t* src = surface + static_cast<size_t>(y) * width;
            png_byte* d = row.data();
            for (int x = 0; x < width; x++) {
                uint32_t c = src[x];
                for (int k = 0; k < scale; k++) {
                    d[0] = static_cast<png_byte>(c >> 16);
                    d[1] = static_cast<png_byte>(c >> 8);
                    d[2] = static_cast<png_byte>(c);
                    d += 3;
                }
            }
            for (int k = 0; k < scale; k++)
                png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        ok = 1;
    }
    png_destroy_write_struct(&png, &info);
    if (std::fclose(fp) != 0 && ok) {
        std::printf("pngout: cannot write %s: %s\n", path, std::strerror(errno));
        ok = 0;
    }
    if (!ok)
        std::remove(path);
    return ok;
}
