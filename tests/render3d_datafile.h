// Builds a datafile image in memory from (name, bytes) pairs and mounts it, so that the asset
// loaders can be exercised through the real file layer (tests and fuzz targets).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "file.h"

namespace render3d_test {

using Bytes = std::vector<uint8_t>;

inline void put32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[at + i] = (uint8_t)(v >> (8 * i));
}

inline Bytes buildDatafile(const std::vector<std::pair<std::string, Bytes>>& files)
{
    const size_t dirEnd = 8 + 80 * files.size();
    size_t total = dirEnd;
    for (const auto& f : files)
        total += f.second.size();
    Bytes out(total, 0);
    put32(out, 0, 0x54445851u);
    put32(out, 4, (uint32_t)files.size());
    size_t data = dirEnd;
    for (size_t i = 0; i < files.size(); i++) {
        const size_t e = 8 + 80 * i;
        put32(out, e, (uint32_t)data);
        put32(out, e + 4, (uint32_t)files[i].second.size());
        std::strncpy((char*)&out[e + 16], files[i].first.c_str(), 63);
        if (!files[i].second.empty())
            std::memcpy(&out[data], files[i].second.data(), files[i].second.size());
        data += files[i].second.size();
    }
    return out;
}

inline bool mount(const std::vector<std::pair<std::string, Bytes>>& files)
{
    Bytes image = buildDatafile(files);
    char error[256];
    return file_tryMountMemory(image.data(), image.size(), error, sizeof(error)) != 0;
}

}  // namespace render3d_test
