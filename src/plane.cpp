// Plane scene. The camera follows an animated path and looks at an animated point; the ray through
// each grid node meets the floor y = 0 at parameter t (in units of the ray's length, the corner
// rays being unit vectors): u and v are the hit's x and z at 16 texels per unit, and the light
// falls linearly to nothing at t = 128. A node whose ray points level with or above the horizon
// is dark and keeps the u and v the grid held.
#include "plane.h"

#include <cmath>

#include "anim.h"
#include "effect.h"
#include "font.h"
#include "gridscene.h"
#include "image.h"
#include "impack.h"
#include "interp.h"
#include "log.h"
#include "modplay.h"
#include "video.h"

static const float PlaneFar = 128.0f;
// Hits further out than this are treated as misses: they would be dark anyway (t >= 128), and
// beyond it the hit point's texel numbers would no longer fit the conversion.
static const float PlaneMaxHit = 1e6f;

static ImagePack* plane_image_pack;
static uint8_t* plane_interp_textures;
static AnimSet* plane_anims;
static Anim* plane_camera_position;
static Anim* plane_camera_lookat;
static Font* plane_font;
static uint8_t plane_white;

static int current_greet = -1;
static int plane_fast = 0;
static float plane_speed = 1.0f;
static float plane_fade_in_timer = 0.0f;
static float plane_fade_out_timer = 1.0f;
static const vec3 s_planeNormal = {0.0f, 1.0f, 0.0f, 0.0f};
static vec3 s_rays[4] = {{-1, 1, 1, 0}, {-1, -1, 1, 0}, {1, -1, 1, 0}, {1, 1, 1, 0}};
static mat plane_view_matrix;
static GridRays plane_rotated_rays;
static vec3 s_camera, s_lookAt;

static const PlaneGreet greets[PlaneGreetCount] = {
    {20, 50, "NIGHTLOOM"},       {40, 20, "KRILL SOCIETY"}, {50, 80, "VELVET ORBIT"},
    {30, 50, "THE RUST MONKS"},  {80, 20, "QUARTZ OTTERS"}, {90, 70, "CATHODE BLOOM"},
    {100, 30, "MOTH RADIO"},     {10, 90, "SILICON SWANS"}, {70, 50, "GLASS HARBOUR"},
    {200, 30, "ZEPHYRA"},        {40, 70, "LOW ORBIT CLUB"}, {80, 90, "FERROCENE"},
    {128, 64, "YOU!"},
};

const PlaneGreet* plane_getGreets(void) { return greets; }

static void plane_update_greet() { current_greet++; }
static void plane_trigger_fast() { plane_fast = 1; }
static void plane_fade_out() { plane_fade_out_timer = 0.0f; }

static Trigger plane_triggers[15] = {
    {19, 0, 0, plane_update_greet},  {19, 8, 0, plane_update_greet},  {19, 16, 0, plane_update_greet},
    {19, 24, 0, plane_update_greet}, {19, 32, 0, plane_update_greet}, {19, 40, 0, plane_update_greet},
    {19, 48, 0, plane_update_greet}, {19, 56, 0, plane_update_greet}, {20, 0, 0, plane_update_greet},
    {20, 8, 0, plane_update_greet},  {20, 16, 0, plane_update_greet}, {20, 24, 0, plane_update_greet},
    {20, 32, 0, plane_update_greet}, {20, 0, 0, plane_trigger_fast},  {20, 58, 0, plane_fade_out},
};

// The ray casting rounds in the current mode (the scene's first frame of a run that starts here
// runs in loading's truncation, and so does init); the products by powers of two are exact.
int plane_light(float t)
{
    const float d = t < PlaneFar ? t : PlaneFar;
    return (int)(fround_toInt(fround_mul(255.0f, fround_sub(1.0f, fround_mul(d, fround_div(1.0f, PlaneFar))))) & 0xFF);
}

static int init()
{
    plane_interp_textures = gridscene_loadTextures("plane", "srcdata/plane.qxp", "srcdata/plnltlut.tga",
                                                   "srcdata/met-scal.raw", &plane_image_pack);
    if (!plane_interp_textures)
        return 0;
    plane_anims = anim_load("srcdata/planeani.qxa");
    plane_camera_lookat = anim_findAnim(plane_anims, "CameraLookAt");
    plane_camera_position = anim_findAnim(plane_anims, "CameraPosition");
    if (!plane_camera_lookat || !plane_camera_position) {
        log_print("plane: srcdata/planeani.qxa needs the tracks 'CameraPosition' and 'CameraLookAt'\n");
        return 0;
    }
    for (vec3& r : s_rays) {
        const float len = fround_div(1.0f, math_rsqrt(fround_dot3(r.x, r.y, r.z, r.x, r.y, r.z)));
        r = {fround_div(r.x, len), fround_div(r.y, len), fround_div(r.z, len), 0.0f};
    }
    plane_font = font_loadFromFile("srcdata/312.tga", 16, 12, 0, 4, 20, 32);
    if (!plane_font)
        return 0;
    plane_font->transparent = 254;
    plane_white = (uint8_t)video_findPaletteNearestIndex(plane_image_pack->palette, 63, 63, 63);
    Image* sheet = plane_font->image;
    const uint32_t count = sheet->width * sheet->height;
    for (uint32_t i = 0; i < count; i++)
        if (sheet->pixels[i] == 255)
            sheet->pixels[i] = plane_white;
    return 1;
}

static void deinit()
{
    interp_destroyTextures(plane_interp_textures);
    if (plane_image_pack)
        impack_destroy(plane_image_pack);
    anim_destroy(plane_anims);
    if (plane_font)
        font_destroy(plane_font);
    plane_interp_textures = nullptr;
    plane_image_pack = nullptr;
    plane_anims = nullptr;
    plane_camera_position = plane_camera_lookat = nullptr;
    plane_font = nullptr;
}

static void start()
{
    anim_start(plane_camera_position);
    anim_start(plane_camera_lookat);
    anim_tick(plane_camera_position, 2.0f);
    anim_tick(plane_camera_lookat, 2.0f);
    mat_setIdentity(&plane_view_matrix);
    interp_setPackedImages(plane_interp_textures);
}

static void update(float dt)
{
    modplay_updateTriggers(plane_triggers, 15);
    if (plane_fast)
        plane_speed += dt * 0.5f;

    const float step = dt * 0.25f * plane_speed;
    anim_tick(plane_camera_position, step);
    anim_tick(plane_camera_lookat, step);
    anim_getCurrentPosition(plane_camera_position, &s_camera);
    anim_getCurrentPosition(plane_camera_lookat, &s_lookAt);
    mat_lookAt(&plane_view_matrix, s_camera, s_lookAt);

    interp_setStartAddressOffset(
        (uint16_t)((fround_toInt(s_camera.z * 4.0f) * 256 + fround_toInt(s_camera.x * 4.0f)) & 0xFFFF));

    gridscene_turnRays(&plane_view_matrix, s_rays, 0.005f, &plane_rotated_rays);
}

static void render()
{
    const mat& m = plane_view_matrix;
    const vec3 p = {m.m[3][0], m.m[3][1], m.m[3][2], 0.0f};
    const float d0 = -fround_dot3(s_planeNormal.x, s_planeNormal.y, s_planeNormal.z, p.x, p.y, p.z);
    vec3 left = plane_rotated_rays.left, right = plane_rotated_rays.right;
    const vec3 leftStep = gridscene_scale(plane_rotated_rays.leftDelta, 8.0f);
    const vec3 rightStep = gridscene_scale(plane_rotated_rays.rightDelta, 8.0f);
    InterpNode* node = interp_uvlGrid;
    for (int j = 0; j < InterpGridHeight; j++) {
        const vec3 step = gridscene_scale(gridscene_sub(right, left), 0.003125f * 8.0f);
        vec3 d = left;
        for (int i = 0; i < InterpGridWidth; i++, node++) {
            const float t = fround_div(d0, fround_dot3(s_planeNormal.x, s_planeNormal.y, s_planeNormal.z, d.x, d.y, d.z));
            if (t > 0.0f && t < PlaneMaxHit) {
                const vec3 h = gridscene_add(p, gridscene_scale(d, t));
                node->u = (uint16_t)fround_toInt(h.x * 16.0f);
                node->v = (uint16_t)fround_toInt(h.z * 16.0f);
                node->l = (uint16_t)plane_light(t);
            } else {
                node->l = 0;
            }
            d = gridscene_add(d, step);
        }
        left = gridscene_add(left, leftStep);
        right = gridscene_add(right, rightStep);
    }
    uint8_t* frame = video_getBuffer(0);
    interp_render(frame);
    if (current_greet >= 0 && current_greet < PlaneGreetCount) {
        const PlaneGreet& g = greets[current_greet];
        font_drawString(plane_font, frame, g.text, g.x, g.y);
    }
}

static void postRetraceUpdate(float dt)
{
    const uint8_t* pal = plane_image_pack->palette;
    if (plane_fade_in_timer < 1.0f) {
        plane_fade_in_timer = gridscene_advance(plane_fade_in_timer, dt);
        video_fadePaletteFromBlack(pal, 0, 256, plane_fade_in_timer);
    }
    if (plane_fade_out_timer < 1.0f) {
        plane_fade_out_timer = gridscene_advance(plane_fade_out_timer, dt * 2.0f);
        video_fadePaletteToWhite(pal, 0, 256, plane_fade_out_timer);
    }
}

Effect Plane_effect = {"Plane", init, deinit, update, postRetraceUpdate, render, start, false, 19, 0};

void plane_getState(PlaneState* out)
{
    out->current_greet = current_greet;
    out->plane_fast = plane_fast;
    out->plane_speed = plane_speed;
    out->plane_fade_in_timer = plane_fade_in_timer;
    out->plane_fade_out_timer = plane_fade_out_timer;
    out->plane_view_matrix = plane_view_matrix;
    out->camera = s_camera;
    out->look_at = s_lookAt;
    out->start_ofs = interp_start_ofs;
    out->white = plane_white;
    out->palette = plane_image_pack ? plane_image_pack->palette : nullptr;
}
