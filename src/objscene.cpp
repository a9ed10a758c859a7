// objscene_: shared mechanics of the object scenes; see objscene.h.
#include "objscene.h"

#include "impack.h"
#include "log.h"
#include "mat.h"
#include "model.h"
#include "r3d.h"
#include "util.h"
#include "video.h"

#include <cmath>

int objscene_load(const char* scene, const char* packFile, const char* modelFile, ImagePack** pack,
                  ImagePackImage** bg, Model* model)
{
    *pack = impack_load(packFile);
    if (!*pack)
        return 0;
    *bg = &(*pack)->images[0];
    if (!(*bg)->pixels || (uint32_t)(*bg)->width * (*bg)->height < 64000) {
        log_print("%s: %s has no 320 x 200 background image\n", scene, packFile);
        return 0;
    }
    return model_load(modelFile, model);
}

void objscene_unload(ImagePack** pack, Model* model)
{
    model_destroy(model);
    if (*pack)
        impack_destroy(*pack);
    *pack = nullptr;
}

void objscene_start(vec3* position, vec3* rotation, float startZ, uint8_t* texture, uint8_t* envmap,
                    uint8_t* lut)
{
    *position = {};
    position->z = startZ;
    *rotation = {};
    r3d_clearZbuffer();
    r3d_setTexture(0, texture);
    r3d_setTexture(1, envmap);
    r3d_setLUT(lut);
}

float objscene_bob(vec3* position, float bobPhase, float xScale, float yScale)
{
    // 22.7555 = 8192 / 360 in single precision; the table holds (sin, cos) pairs.
    const int i = (int)(lrintf(bobPhase * 22.7555f) & 8191);
    const float s = g_sincosf[2 * i];
    const float c = g_sincosf[2 * i + 1];
    position->x = xScale * s;
    position->y = yScale * c;
    return s;
}

void objscene_project(Model* model, const vec3& rotation, const vec3& position)
{
    mat matrix;
    mat_set(&matrix, rotation, position);
    r3d_transformAndProject(model, &matrix);
}

void objscene_fadePalette(const uint8_t* palette, float dt, float* fadeoutTimer, float fadeoutRate,
                          float* fadeTimer, float* flashTimer)
{
    if (*fadeoutTimer < 1.0f) {
        *fadeoutTimer = objscene_advance(*fadeoutTimer, fadeoutRate * dt);
        video_fadePaletteToBlack(palette, 0, 256, *fadeoutTimer);
    }
    if (*fadeTimer < 1.0f) {
        *fadeTimer = objscene_advance(*fadeTimer, 4.0f * dt);
        video_fadePaletteFromBlack(palette, 0, 256, *fadeTimer);
    }
    if (*flashTimer < 1.0f) {
        *flashTimer = objscene_advance(*flashTimer, dt);
        video_fadePaletteFromWhite(palette, 0, 256, *flashTimer);
    }
}

void objscene_render(const ImagePackImage* bg, Model* model, int wireframe, uint8_t bright)
{
    uint8_t* buffer = video_getBuffer(0);
    util_blit(buffer, bg->pixels, 16000);
    r3d_begin(buffer);
    r3d_setFov(250.0f);
    r3d_render(model);
    if (wireframe) {
        r3d_begin(buffer);
        r3d_renderWireframe(model, 0.0005f, bright);
    }
    r3d_end();
}

void objscene_getState(ObjectSceneState* out, const vec3& position, const vec3& rotation, float bobPhase,
                       float fadeTimer, float flashTimer, float fadeoutTimer, const ImagePack* pack,
                       const Model* model)
{
    *out = {};
    out->position[0] = position.x;
    out->position[1] = position.y;
    out->position[2] = position.z;
    out->rotation[0] = rotation.x;
    out->rotation[1] = rotation.y;
    out->rotation[2] = rotation.z;
    out->bob_phase = bobPhase;
    out->fade_timer = fadeTimer;
    out->flash_timer = flashTimer;
    out->fadeout_timer = fadeoutTimer;
    out->spike_timer = 1.0f;
    out->palette = pack ? pack->palette : nullptr;
    out->model = model;
}
