// Model loader through the datafile layer. A model that loads is projected and drawn with all
// three rasterisers and as a wireframe, so arbitrary vertex data (NaN, infinities, huge and tiny
// values) reaches the renderer too.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "../render3d_datafile.h"
#include "mat.h"
#include "model.h"
#include "r3d.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = false;
    static std::vector<uint8_t> frame(64000);
    static std::vector<uint8_t> texture(65536, 1);
    if (!ready) {
        r3d_init();
        r3d_setTexture(0, texture.data());
        r3d_setTexture(1, texture.data());
        r3d_setLUT(texture.data());
        ready = true;
    }
    if (!render3d_test::mount({{"srcdata/fuzz.qx3", render3d_test::Bytes(data, data + size)}}))
        return 0;
    Model m;
    char error[256];
    if (model_tryLoad("srcdata/fuzz.qx3", &m, error, sizeof(error))) {
        mat matrix;
        mat_setIdentity(&matrix);
        matrix.m[3][2] = 3.0f;
        for (uint32_t i = 0; i < m.numVerts; i++)
            m.proj[i].x = m.proj[i].y = m.proj[i].invZ = m.proj[i].envU = m.proj[i].envV = 0.0f;
        r3d_transformAndProjectWithNormal(&m, &matrix);
        r3d_begin(frame.data());
        r3d_setFov(size & 4 ? 256.0f : 4096.0f);
        r3d_setMaskEnabled((size & 3) == 0);
        r3d_setTextureEnabled(1, (size & 3) == 1);
        r3d_render(&m);
        r3d_renderWireframe(&m, 0.001f, 255);
        r3d_end();
        model_destroy(&m);
    }
    file_unmountData();
    return 0;
}
