// Tunnel scene. The camera sits on the tube's axis 8 units behind the z of an animated look-at
// point and turns to face it. For every grid node the ray through that pixel meets the wall at
// parameter t: u runs 128 texels per unit along the tube, v 1024 texels once around it, and the
// light falls with t^2 to nothing at the light radius.
//
// v only matters modulo 256 (the texture repeats four times around), so each node stores the
// value congruent modulo 256 nearest to a neighbour's and the interpolation never sweeps through
// the 1024-texel jump where the angle wraps from +pi to -pi. No single choice can be smooth
// everywhere: around the vanishing point v winds by 1024, so a chain of neighbours must break
// somewhere on a line out from it. The frame is drawn from one chain (each node following the
// node above: the break runs straight down), and the blocks on that break are redrawn from the
// opposite chain (following the node below: its break runs straight up), which is smooth there.
#include "tunnel.h"

#include <cmath>

#include "anim.h"
#include "effect.h"
#include "gridscene.h"
#include "impack.h"
#include "interp.h"
#include "log.h"
#include "modplay.h"
#include "video.h"

static const float LightRadius = 6.0f;
static const float EyeDistance = 8.0f;
// Below this squared sideways length a ray is taken as parallel to the axis: it would hit the
// wall beyond 1000 lengths, far outside any light radius.
static const float MinSideways = 1e-6f;

static ImagePack* tunnel_image_pack;
static uint8_t* tunnel_interp_textures;
static AnimSet* tunnel_anims;
static Anim* tunnel_camera_look_anim;

static float light_fade_timer = LightRadius;
static float tunnel_fade_in_timer = 0.0f;
static vec3 tunnel_look_target;
static vec3 tunnel_eye;
static mat view_matrix;
static const vec3 s_rays[4] = {{-1, 1, 1, 0}, {-1, -1, 1, 0}, {1, -1, 1, 0}, {1, 1, 1, 0}};
static GridRays s_rotatedRays;

// Per-frame node work: the raw v of each node (1024 per turn, the wrap at +-pi included), whether
// its ray met the wall, and the blocks that lay on the first drawing's cut.
enum { MaxCutBlocks = (InterpGridWidth - 1) * (InterpGridHeight - 1) };
static int32_t s_rawV[InterpGridNodes];
static uint8_t s_hit[InterpGridNodes];
static struct {
    int16_t i, j;
} s_cut[MaxCutBlocks];
static int s_cutBlocks;
static int s_redrawnBlocks;

// x * a + y * b in the current mode.
static inline float dot2(float x, float y, float a, float b)
{
    return fround_add(fround_mul(x, a), fround_mul(y, b));
}

// The ray casting rounds in the current mode (the scene's first frame of a run that starts here
// runs in loading's truncation); the products by powers of two are exact.
float tunnel_hit(vec3 p, vec3 d)
{
    const float a = dot2(d.x, d.y, d.x, d.y);
    if (!(a >= MinSideways))
        return -1.0f;
    const float b = 2.0f * dot2(p.x, p.y, d.x, d.y);
    const float c = fround_sub(dot2(p.x, p.y, p.x, p.y), 1.0f);
    const float disc = fround_sub(fround_mul(b, b), fround_mul(4.0f * a, c));
    if (!(disc > 0.0f))  // only outside the tube can a ray miss
        return -1.0f;
    return fround_div(fround_sub(fround_div(1.0f, math_rsqrt(disc)), b), 2.0f * a);
}

int tunnel_light(float t, float radius)
{
    if (!(radius > 0.0f))
        return 0;
    const float k = fround_div(1.0f, fround_mul(radius, radius));
    const float d = t < radius ? t : radius;
    return (int)(fround_toInt(fround_mul(255.0f, fround_sub(1.0f, fround_mul(fround_mul(d, d), k)))) & 0xFF);
}

// The representative of v modulo 256 nearest to ref.
static inline int32_t nearestCongruent(int32_t v, int32_t ref)
{
    return ref + (int8_t)(uint8_t)(v - ref);
}

void tunnel_chainV(const int32_t* rawV, const uint8_t* hit, int followBelow, InterpNode* grid)
{
    const int W = InterpGridWidth, H = InterpGridHeight;
    const int first = followBelow ? H - 1 : 0, dir = followBelow ? -1 : 1;
    for (int j = first; j >= 0 && j < H; j += dir) {
        for (int i = 0; i < W; i++) {
            const int n = j * W + i;
            // The neighbour this node follows: vertically, or along the first row the one before.
            const int ref = j != first ? n - dir * W : (i ? n - 1 : -1);
            if (hit[n]) {
                grid[n].v = (uint16_t)(ref >= 0 ? nearestCongruent(rawV[n], (int16_t)grid[ref].v) : rawV[n]);
            } else {
                // No wall: dark, and the neighbour's place on the texture.
                grid[n].u = ref >= 0 ? grid[ref].u : 0;
                grid[n].v = ref >= 0 ? grid[ref].v : 0;
            }
        }
    }
}

// 1 when two nodes' v differ by more than half a texture repeat (taken the short way).
static inline bool apart(const InterpNode& a, const InterpNode& b)
{
    const int d = (int16_t)(uint16_t)(a.v - b.v);
    return d > 128 || d < -128;
}

int tunnel_blockOnCut(const InterpNode* grid, int i, int j)
{
    const InterpNode* tl = grid + j * InterpGridWidth + i;
    const InterpNode* bl = tl + InterpGridWidth;
    return apart(tl[0], tl[1]) || apart(bl[0], bl[1]) || apart(tl[0], bl[0]) || apart(tl[1], bl[1]);
}

static int init()
{
    tunnel_interp_textures = gridscene_loadTextures("tunnel", "srcdata/tunnel.qxp", "srcdata/tunltlut.tga",
                                                    "srcdata/fleshbmp.raw", &tunnel_image_pack);
    if (!tunnel_interp_textures)
        return 0;
    tunnel_anims = anim_load("srcdata/tunnel.qxa");
    tunnel_camera_look_anim = anim_findAnim(tunnel_anims, "Camera|CameraAction");
    if (!tunnel_camera_look_anim) {
        log_print("tunnel: srcdata/tunnel.qxa has no track 'Camera|CameraAction'\n");
        return 0;
    }
    return 1;
}

static void deinit()
{
    if (tunnel_image_pack)
        impack_destroy(tunnel_image_pack);
    anim_destroy(tunnel_anims);
    interp_destroyTextures(tunnel_interp_textures);
    tunnel_image_pack = nullptr;
    tunnel_anims = nullptr;
    tunnel_camera_look_anim = nullptr;
    tunnel_interp_textures = nullptr;
}

static void start()
{
    anim_start(tunnel_camera_look_anim);
    anim_tick(tunnel_camera_look_anim, 0.1f);
    interp_setPackedImages(tunnel_interp_textures);
}

static void update(float dt)
{
    uint16_t order, row;
    modplay_getCurrentPosition(&order, &row);
    if (order >= 10 && row >= 46) {
        light_fade_timer -= 4.0f * dt;
        if (light_fade_timer < 0.0f)
            light_fade_timer = 0.0f;
    }

    anim_tick(tunnel_camera_look_anim, dt * 0.2f);
    anim_getCurrentPosition(tunnel_camera_look_anim, &tunnel_look_target);
    tunnel_eye = {0.0f, 0.0f, fround_sub(tunnel_look_target.z, EyeDistance), 0.0f};
    mat_lookAt(&view_matrix, tunnel_eye, tunnel_look_target);

    const mat& m = view_matrix;
    interp_setStartAddressOffset(
        (uint16_t)((fround_toInt(fround_mul(m.m[2][1], 200.0f)) * 256 + fround_toInt(fround_mul(m.m[3][2], 30.0f))) &
                   0xFFFF));

    gridscene_turnRays(&view_matrix, s_rays, 0.04f, &s_rotatedRays);
}

static void render()
{
    const mat& m = view_matrix;
    const vec3 p = {m.m[3][0], m.m[3][1], m.m[3][2], 0.0f};
    const float radius = light_fade_timer;
    vec3 left = s_rotatedRays.left, right = s_rotatedRays.right;
    InterpNode* node = interp_uvlGrid;
    for (int j = 0, n = 0; j < InterpGridHeight; j++) {
        const vec3 step = gridscene_scale(gridscene_sub(right, left), 0.025f);
        vec3 d = left;
        for (int i = 0; i < InterpGridWidth; i++, n++) {
            const float t = tunnel_hit(p, d);
            s_hit[n] = t >= 0.0f;
            if (s_hit[n]) {
                const vec3 h = gridscene_add(p, gridscene_scale(d, t));
                // Through double: float atan2f differs between C libraries in the last bit.
                const float angle = fround_narrowDouble(std::atan2((double)h.y, (double)h.x));
                s_rawV[n] = (int32_t)fround_toInt(fround_mul(angle * 2.0f, fround_div(1.0f, 6.28318531f)) * 512.0f);
                node[n].u = (uint16_t)fround_toInt(h.z * 128.0f);
                node[n].l = (uint16_t)tunnel_light(t, radius);
            } else {
                node[n].l = 0;
            }
            d = gridscene_add(d, step);
        }
        left = gridscene_add(left, s_rotatedRays.leftDelta);
        right = gridscene_add(right, s_rotatedRays.rightDelta);
    }

    // Draw with v following the node above, which leaves the cut running down from the
    // vanishing point; then redraw the blocks on that cut with v following the node below,
    // whose cut runs up instead. Only the blocks right around the vanishing point, where v turns
    // fast and the light never reaches, stay on both.
    uint8_t* frame = video_getBuffer(0);
    tunnel_chainV(s_rawV, s_hit, 0, interp_uvlGrid);
    interp_render(frame);
    s_cutBlocks = 0;
    s_redrawnBlocks = 0;
    for (int j = 0; j < InterpGridHeight - 1; j++)
        for (int i = 0; i < InterpGridWidth - 1; i++)
            if (tunnel_blockOnCut(interp_uvlGrid, i, j))
                s_cut[s_cutBlocks++] = {(int16_t)i, (int16_t)j};
    if (!s_cutBlocks)
        return;
    tunnel_chainV(s_rawV, s_hit, 1, interp_uvlGrid);
    for (int k = 0; k < s_cutBlocks; k++)
        if (!tunnel_blockOnCut(interp_uvlGrid, s_cut[k].i, s_cut[k].j)) {
            interp_renderBlocks(frame, s_cut[k].i, s_cut[k].j, s_cut[k].i + 1, s_cut[k].j + 1);
            s_redrawnBlocks++;
        }
}

static void postRetraceUpdate(float dt)
{
    if (tunnel_fade_in_timer < 1.0f) {
        tunnel_fade_in_timer = gridscene_advance(tunnel_fade_in_timer, dt);
        video_fadePaletteFromBlack(tunnel_image_pack->palette, 0, 256, tunnel_fade_in_timer);
    }
}

Effect Tunnel_effect = {"Tunnel", init, deinit, update, postRetraceUpdate, render, start, false, 9, 0};

void tunnel_getState(TunnelState* out)
{
    out->light_fade_timer = light_fade_timer;
    out->tunnel_fade_in_timer = tunnel_fade_in_timer;
    out->look_target = tunnel_look_target;
    out->eye = tunnel_eye;
    out->view_matrix = view_matrix;
    out->start_ofs = interp_start_ofs;
    out->palette = tunnel_image_pack ? tunnel_image_pack->palette : nullptr;
    out->textures = tunnel_interp_textures;
    out->cut_blocks = s_cutBlocks;
    out->redrawn_blocks = s_redrawnBlocks;
}
