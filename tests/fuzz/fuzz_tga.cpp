// TGA loader through the datafile layer; a loaded 8-bit image is also drawn (clipped) so that
// the width/height the loader accepted are exercised by the drawers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "../render3d_datafile.h"
#include "image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!render3d_test::mount({{"srcdata/fuzz.tga", render3d_test::Bytes(data, data + size)}}))
        return 0;
    char error[256];
    const uint32_t alignment = (size & 1) ? 65536 : 1;
    Image* image = image_tryLoad("srcdata/fuzz.tga", (int)(size & 2), alignment, error, sizeof(error));
    if (image) {
        if (image->palette && image->width <= 512 && image->height <= 512) {
            static std::vector<uint8_t> frame(64000);
            image_draw(image, 300 - (int)image->width, 190 - (int)image->height, frame.data());
            image_drawTransparent(image, -3, -3, frame.data(), 0, 0);
        }
        image_destroy(image);
    }
    file_unmountData();
    return 0;
}
