// Height-map loader through the datafile layer. First byte: the shift, and whether the rest is
// taken as it is or repeated up to a full 256 x 256 map.
#include <cstddef>
#include <cstdint>

#include "../render3d_datafile.h"
#include "impack.h"
#include "mem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const int shift = (int)(data[0] >> 1) - 8;
    render3d_test::Bytes file(data + 1, data + size);
    if ((data[0] & 1) && size > 1) {
        file.resize(65536 + (size % 3));
        for (size_t i = size - 1; i < file.size(); i++)
            file[i] = data[1 + i % (size - 1)];
    }
    if (!render3d_test::mount({{"srcdata/fuzz.raw", file}}))
        return 0;
    char error[256];
    uint16_t* table = util_tryLoadBump("srcdata/fuzz.raw", shift, error, sizeof(error));
    if (table) {
        for (int i = 0; i < 65536; i++)
            if ((table[i] >> 8) != (i >> 8))
                __builtin_trap();  // the row must never change
        mem_free(table);
    }
    file_unmountData();
    return 0;
}
