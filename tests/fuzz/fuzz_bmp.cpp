// BMP loader through the datafile layer; a loaded image is drawn scaled so that the accepted
// sizes reach the scaled drawers too. The first byte picks how the input becomes a file: taken
// as it is (headers, short files), or behind an 8-bit header and palette of 1078 bytes whose
// width and height are the next two bytes, so that small inputs reach the pixel rows (a fuzzer
// growing inputs from nothing never gets past the header and palette by itself).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "../render3d_datafile.h"
#include "image.h"
#include "util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    render3d_test::Bytes file;
    if ((data[0] & 1) && size >= 3) {
        file.assign(1078, 0);
        file[0] = 'B';
        file[1] = 'M';
        render3d_test::put32(file, 10, 1078);
        render3d_test::put32(file, 18, data[1]);
        render3d_test::put32(file, 22, data[2]);
        file[28] = 8;
        file.insert(file.end(), data + 3, data + size);
    } else {
        file.assign(data + 1, data + size);
    }
    if (!render3d_test::mount({{"srcdata/fuzz.bmp", file}}))
        return 0;
    char error[256];
    Image* image = image_tryLoad("srcdata/fuzz.bmp", (int)(size & 1), 1, error, sizeof(error));
    if (image) {
        if (image->width >= 1 && image->width <= 256 && image->height >= 1 && image->height <= 256) {
            static std::vector<uint8_t> frame(64000);
            util_fpuSetFullMode();
            const float scale = 0.25f + (float)(size % 13) * 0.5f;
            image_drawScaleRot(image, 0, (int)(size % 220) - 10, scale, 0.0f, frame.data(), 0);
            image_rawDrawScale(image->pixels, 10.0f, 190.0f, (int)image->width, (int)image->height, scale,
                               frame.data(), 0);
        }
        image_destroy(image);
    }
    file_unmountData();
    return 0;
}
