// BMP loader through the datafile layer; a loaded image is drawn scaled so that the accepted
// sizes reach the scaled drawers too.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "../render3d_datafile.h"
#include "image.h"
#include "util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!render3d_test::mount({{"srcdata/fuzz.bmp", render3d_test::Bytes(data, data + size)}}))
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
