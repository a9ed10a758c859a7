// Credits scene: the opening. Four member names are typed letter by letter over a slowly turning
// cloud of sparks, each later crumbling into dots from the left; two translucent ribbons wipe in
// from the right; at order 4 the group logo comes up with a flash, is shaken by glitch bursts,
// turns into a plain logo that grows and, from row 48, zooms while the palette fades to white.
#pragma once

#include <cstdint>

struct Effect;
struct Font;
struct Particle2d;
struct ParticleSystem2d;
struct Particle3dSystem;

extern Effect Credits_effect;

// Read-only snapshot of the scene's state, for tests and tools.
struct CreditsState {
    const char* currentCredit;
    int currentCreditIndex, currentCreditLength;
    const char* messageBuffer;
    int textLength;
    float timer;
    const float* shuffleTimers;
    int currentCreditActive, isHidingCredit;
    float reveal, indexx, indexy;
    float spark_spawn_timer, spark_phase;
    int spark_count;
    float dot_colour_timer;
    int dot_colour;
    float spark_rotation[3];
    int logo_visible, logo_done;
    float logo_scale, logo_scale_speed, logo_scale_value;
    float glitch_xscale, glitch_yscale, glitch_ofs, glitch_timer;
    float flash_pal;
    uint8_t white, black;
    int lightRows;                  // rows of 256 entries in the light table
    const uint8_t* palette;         // the pack's palette (6-bit components)
    const uint8_t* lut;             // translucency table [source * 256 + frame]
    const uint8_t* light_lut;       // [level * 256 + colour]
    const Font* font;
    const ParticleSystem2d* text_particles;
    const Particle3dSystem* misc_particles;
};
void credits_getState(CreditsState* out);

// The spark callback's light-table row for a particle: the level of life and depth, limited to
// the table's rows (a spark nearer than the cloud would ask for a row past the table).
int credits_sparkLevel(float life, float initialLife, float depth, int rows);
