// Grid state, the packed texture block and the whole-frame render of the interpolated grid.
#include "interp.h"

#include "interpa.h"
#include "mem.h"
#include "util.h"

InterpNode interp_uvlGrid[InterpGridNodes];
uint8_t* interp_packed_pixels;
uint16_t interp_start_ofs;
uint8_t* interp_buffer;
const InterpNode* uvlgrid;

uint8_t* interp_createTextures(const uint8_t* t0, const uint8_t* t1, const uint16_t* disp,
                               const uint8_t* blend, const uint8_t* light)
{
    uint8_t* block = (uint8_t*)mem_alignedMalloc(InterpBlockBytes, 65536);
    util_blit(block + InterpT0Offset, t0, 65536 / 4);
    util_blit(block + InterpDispOffset, disp, 131072 / 4);
    util_blit(block + InterpT1Offset, t1, 65536 / 4);
    util_blit(block + InterpBlendOffset, blend, 65536 / 4);
    util_blit(block + InterpLightOffset, light, 65536 / 4);
    return block;
}

void interp_destroyTextures(uint8_t* block)
{
    if (!block)
        return;
    if (interp_packed_pixels == block)  // never leave the render pointing at freed memory
        interp_packed_pixels = nullptr;
    mem_alignedFree(block);
}

void interp_setPackedImages(uint8_t* block) { interp_packed_pixels = block; }
void interp_setTextures(uint8_t* block) { interp_setPackedImages(block); }
void interp_setStartAddressOffset(uint16_t ofs) { interp_start_ofs = ofs; }

void interp_render(uint8_t* frame)
{
    uvlgrid = interp_uvlGrid;
    interp_buffer = frame;
    if (interp_packed_pixels)
        interp_rectEnvLight();
}

static int clampBlock(int n, int count) { return n < 0 ? 0 : (n > count ? count : n); }

void interp_renderBlocks(uint8_t* frame, int i0, int j0, int i1, int j1)
{
    const int columns = InterpGridWidth - 1, rows = InterpGridHeight - 1;
    i0 = clampBlock(i0, columns);
    i1 = clampBlock(i1, columns);
    j0 = clampBlock(j0, rows);
    j1 = clampBlock(j1, rows);
    uvlgrid = interp_uvlGrid;
    interp_buffer = frame;
    if (interp_packed_pixels && i0 < i1 && j0 < j1)
        interp_rectEnvLightBlocks(i0, j0, i1, j1);
}
