// objscene_: the mechanics shared by the five object scenes (Spike, Knot, Skull, Tendril, FinalTorus).
// Each scene keeps its own file-local state and passes it in; nothing here holds state.
// Timers run from 0 to 1; 1.0 means idle, and none passes 1.0.
#pragma once

#include <cstdint>

#include "math.h"

struct ImagePack;
struct ImagePackImage;
struct Model;

// Read-only snapshot of an object scene's state, for tests and tools. Fields a scene does not have
// read as 0 (wireframe, bright) or 1.0 (spike_timer); sway_phase is Skull's alone.
struct ObjectSceneState {
    float position[4];
    float rotation[4];
    float bob_phase;
    int wireframe;
    uint8_t bright;
    float fade_timer;     // fade-in from black
    float flash_timer;    // white flash
    float fadeout_timer;  // fade to black
    float spike_timer;
    float sway_phase;
    const uint8_t* palette;  // the pack's palette (6-bit components)
    const Model* model;
};

// Loads the image pack and the model. The background (the pack's first image) is copied as a whole
// frame every frame, so a pack without a 320 x 200 one is refused: a smaller image would be read past.
// Returns 1, or 0 after one line naming the scene and the problem; deinit frees what was loaded either way.
int objscene_load(const char* scene, const char* packFile, const char* modelFile, ImagePack** pack,
                  ImagePackImage** bg, Model* model);
void objscene_unload(ImagePack** pack, Model* model);

// First frame of a scene: back to the start pose, z-buffer cleared, both texture slots and the LUT
// set (which draws the model textured and environment-mapped).
void objscene_start(vec3* position, vec3* rotation, float startZ, uint8_t* texture, uint8_t* envmap,
                    uint8_t* lut);


static inline float objscene_advance(float timer, float amount)
{
    timer += amount;
    return timer < 1.0f ? timer : 1.0f;
}

// The bob path: x = xScale sin φ, y = yScale cos φ with φ = bobPhase in degrees; returns sin φ for the
// scenes whose depth also bobs. Depth is left to the caller.
float objscene_bob(vec3* position, float bobPhase, float xScale, float yScale);

// Builds the model matrix from the pose and projects the model with it.
void objscene_project(Model* model, const vec3& rotation, const vec3& position);

// The palette chain, in this order so a later one wins within a frame: fade-out (fadeoutRate per
// second), fade-in from black (0.25 s), white flash (1 s). Each active one rewrites all 256 entries.
void objscene_fadePalette(const uint8_t* palette, float dt, float* fadeoutTimer, float fadeoutRate,
                          float* fadeTimer, float* flashTimer);

// Background, then the model, then (if wireframe) the overlay in colour `bright`, drawn with a small
// depth offset. The overlay's r3d_begin resets the field of view to 256 for the next projection.
void objscene_render(const ImagePackImage* bg, Model* model, int wireframe, uint8_t bright);

// Fills the fields every scene has; the rest read as a scene without them (see ObjectSceneState).
void objscene_getState(ObjectSceneState* out, const vec3& position, const vec3& rotation, float bobPhase,
                       float fadeTimer, float flashTimer, float fadeoutTimer, const ImagePack* pack,
                       const Model* model);
