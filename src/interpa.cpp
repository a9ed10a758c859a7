// Inner loops of the interpolated grid: the whole-frame two-texture walk and the single-texture
// block. Formats are described in interpa.h.
#include "interpa.h"

#include <cstddef>

#include "interp.h"
#include "video.h"

int32_t uGrad;
int32_t vGrad;

namespace {

// Running values and steps of one edge or one row: u, v, l in 16.16, wrapping modulo 2^32.
struct Uvl {
    uint32_t u, v, l;
};

// Light levels above the table's last row are drawn as that row, so a stray grid value can never
// address past the block. Clamping the four corners bounds every interpolated value in the block.
inline Uvl corner(const InterpNode& n)
{
    const uint32_t l = n.l < InterpMaxLight ? n.l : (uint32_t)InterpMaxLight;
    return {(uint32_t)n.u << 16, (uint32_t)n.v << 16, l << 16};
}

// (to - from) / 8 as a signed 16.16 step: wrap-around difference, arithmetic shift.
inline Uvl step8(const Uvl& from, const Uvl& to)
{
    return {(uint32_t)((int32_t)(to.u - from.u) >> 3), (uint32_t)((int32_t)(to.v - from.v) >> 3),
            (uint32_t)((int32_t)(to.l - from.l) >> 3)};
}

inline void add(Uvl& a, const Uvl& d)
{
    a.u += d.u;
    a.v += d.v;
    a.l += d.l;
}

// One 8-pixel row of a block. The row's 16.16 values and steps are exact multiples of 1/64 texel
// (whole-number nodes, steps divided by 8 twice), so dropping their low 8 bits loses nothing:
// the loop runs u in 24.8 (its integer is bits 8..23), v and l in 8.8, where (v & 0xFF00) is
// already v's row times 256 and (l & 0xFF00) the light-table row. Wrap-around of the 32-bit
// registers leaves those bits as the 16.16 walk would have them.
inline void envLightRow(uint8_t* __restrict dst, const uint8_t* __restrict base, uint32_t startOfs,
                        const Uvl& p, const Uvl& d)
{
    const uint8_t* __restrict t0 = base + InterpT0Offset;
    const uint16_t* __restrict disp = (const uint16_t*)(base + InterpDispOffset);
    const uint8_t* __restrict t1 = base + InterpT1Offset;
    const uint8_t* __restrict blend = base + InterpBlendOffset;
    const uint8_t* __restrict light = base + InterpLightOffset;
    uint32_t u = p.u >> 8, v = p.v >> 8, l = p.l >> 8;
    const uint32_t du = (uint32_t)((int32_t)d.u >> 8), dv = (uint32_t)((int32_t)d.v >> 8);
    const uint32_t dl = (uint32_t)((int32_t)d.l >> 8);
    for (int x = 0; x < InterpBlockSize; x++) {
        const size_t a = ((v & 0xFF00u) + (u >> 8)) & 0xFFFFu;
        const size_t o = (disp[a] + startOfs) & 0xFFFFu;
        const size_t c = blend[((size_t)t1[o] << 8) | t0[a]];
        // The 8-bit mask keeps the read inside the table whatever the running value holds.
        dst[x] = light[(l & 0xFF00u) | c];
        u += du;
        v += dv;
        l += dl;
    }
}

}  // namespace

void interp_rectEnvLightBlocks(int i0, int j0, int i1, int j1)
{
    const uint8_t* base = interp_packed_pixels;
    const InterpNode* grid = uvlgrid;
    const uint32_t startOfs = interp_start_ofs;
    for (int j = j0; j < j1; j++) {
        const InterpNode* top = grid + j * InterpGridWidth;
        const InterpNode* bottom = top + InterpGridWidth;
        uint8_t* blockRow = interp_buffer + j * InterpBlockSize * VideoWidth;
        for (int i = i0; i < i1; i++) {
            Uvl left = corner(top[i]);
            Uvl right = corner(top[i + 1]);
            const Uvl leftStep = step8(left, corner(bottom[i]));
            const Uvl rightStep = step8(right, corner(bottom[i + 1]));
            uint8_t* dst = blockRow + i * InterpBlockSize;
            for (int y = 0; y < InterpBlockSize; y++) {
                envLightRow(dst, base, startOfs, left, step8(left, right));
                add(left, leftStep);
                add(right, rightStep);
                dst += VideoWidth;
            }
        }
    }
}

void interp_rectEnvLight(void)
{
    interp_rectEnvLightBlocks(0, 0, InterpGridWidth - 1, InterpGridHeight - 1);
}

// (b - a) / 8 in 16.16, rounded toward zero; 64-bit so that any pair of 16-bit texel values fits.
static int32_t stepToward0(int64_t a, int64_t b)
{
    return (int32_t)((b - a) / 8);
}

void interp_rect(uint8_t* dst, const uint8_t* texture, int16_t tlu, int16_t tlv, int16_t tru,
                 int16_t trv, int16_t blu, int16_t blv, int16_t bru, int16_t brv)
{
    int32_t lu = tlu * 65536, lv = tlv * 65536;
    int32_t ru = tru * 65536, rv = trv * 65536;
    const int32_t ldu = stepToward0(lu, (int64_t)blu * 65536);
    const int32_t ldv = stepToward0(lv, (int64_t)blv * 65536);
    const int32_t rdu = stepToward0(ru, (int64_t)bru * 65536);
    const int32_t rdv = stepToward0(rv, (int64_t)brv * 65536);
    for (int y = 0; y < InterpBlockSize; y++) {
        uGrad = stepToward0(lu, ru);
        vGrad = stepToward0(lv, rv);
        int32_t u = lu, v = lv;
        for (int x = 0; x < InterpBlockSize; x++) {
            dst[x] = texture[(((uint32_t)(v >> 16) & 255u) << 8) | ((uint32_t)(u >> 16) & 255u)];
            u += uGrad;
            v += vGrad;
        }
        lu += ldu;
        lv += ldv;
        ru += rdu;
        rv += rdv;
        dst += VideoWidth;
    }
}
