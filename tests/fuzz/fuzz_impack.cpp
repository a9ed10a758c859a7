// Image pack loader through the datafile layer. The first byte picks how the input becomes a
// pack: taken as it is (short files, exact sizes), or appended to a zero-filled fixed part so that
// small inputs explore the image directory and the image region behind it.
#include <cstddef>
#include <cstdint>

#include "../render3d_datafile.h"
#include "impack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    render3d_test::Bytes file;
    if (data[0] & 1) {
        file.assign(ImpackImageDataOffset, 0);
        file.insert(file.end(), data + 1, data + size);
    } else {
        file.assign(data + 1, data + size);
    }
    if (!render3d_test::mount({{"srcdata/fuzz.qxp", file}}))
        return 0;
    char error[256];
    ImagePack* pack = impack_tryLoad("srcdata/fuzz.qxp", error, sizeof(error));
    if (pack) {
        unsigned sum = pack->palette[0] + pack->lut[0] + pack->envmap[0];
        for (const ImagePackImage& im : pack->images)
            if (im.pixels)
                for (size_t i = 0; i < (size_t)im.width * im.height; i++)
                    sum += im.pixels[i];  // every accepted slot lies inside the block
        volatile unsigned sink = sum;
        (void)sink;
        impack_destroy(pack);
    }
    file_unmountData();
    return 0;
}
