// modplay: the show's one tracker module, played once from order 0, and the music position
// (order, row) that every scene switch and in-scene event is keyed to.
//
// Three ways to run the clock:
//   ModplayMode_Live     an audio device plays the module; positions are the row being heard.
//   ModplayMode_Offline  no device; modplay_advance renders exactly the samples of each clock step,
//                        so the position advances in lockstep with the frames (capture, shots,
//                        benchmark, tests). The samples go to the sink, if one is set.
//   ModplayMode_Mute     the same as offline, but driven by the live clock: music time passes in
//                        real time and nothing is heard.
#pragma once
#include <cstdint>

typedef void (*TriggerFunc)(void);

// One-shot event at a music position. Scenes keep tables of these as initialised static data:
//   static Trigger s_triggers[] = { {5, 16, 0, wire_flash}, {5, 32, 0, {.code = 3}} };
// The payload is pointer-sized: a callback for modplay_updateTriggers, or a plain command code
// for scenes that test their records one by one with modplay_updateTrigger.
struct Trigger {
    uint16_t order;
    uint16_t row;
    uint32_t triggered;  // 0 until fired, then 1; never reset
    union {
        TriggerFunc func;
        uintptr_t code;
    };
};

enum ModplayMode { ModplayMode_Live = 0, ModplayMode_Offline = 1, ModplayMode_Mute = 2 };

// Output sample format of every mode: interleaved stereo signed 16-bit at ModplayRate.
enum { ModplayRate = 44100, ModplayChannels = 2 };

// The player's gain at full music volume, in millibel (+4.3 dB), the same for the device, the
// capture and the browser: it brings the show to release loudness, about -15.4 LUFS integrated,
// with the loudest hit (order 24, row 32) at -1.1 dBTP and no sample at full scale. The module
// itself cannot be louder: its samples already span the 8-bit range and the drums and bass
// already play at the top volume, so any level change there would shift the mix.
// mkassets --music-report renders with it and checks both figures.
enum { ModplayGainMillibel = 430 };

// Receives each block of rendered samples in offline/mute runs (frames = stereo sample pairs).
typedef void (*ModplaySink)(const int16_t* samples, int frames, void* user);

// Must be called before modplay_init (default: live).
void modplay_setMode(ModplayMode mode);
ModplayMode modplay_getMode(void);

// Loads the module `name` from the datafile, checks the library, opens the audio device (live)
// and creates the music. 1 = ready, 0 = failure (one line printed).
int modplay_init(const char* name);
// The same from bytes already in memory (copied); `name` is only used in messages.
int modplay_initFromMemory(const void* data, int size, const char* name);
void modplay_play(void);
void modplay_deinit(void);

// Current position; a failed query (nothing loaded, or the music has played to its end)
// reads as order 0xFFFF, row 0xFFFF.
void modplay_getCurrentPosition(uint16_t* order, uint16_t* row);
void modplay_setCurrentPosition(uint16_t order, uint16_t row);

int modplay_updateTrigger(Trigger* trigger);
void modplay_updateTriggers(Trigger* triggers, int count);

// Music volume, 0 to 1, below the full level (ModplayGainMillibel); modplay_play sets 1.
void modplay_setVolume(float level);

// Offline/mute runs: render the samples of one clock step of dt seconds (the fraction of a
// sample is carried to the next step). Does nothing before modplay_play or in live mode.
void modplay_advance(float dt);
void modplay_setSink(ModplaySink sink, void* user);

// 1 once the module has played to its end (and, live, its last sample has been heard).
int modplay_isFinished(void);
// Seconds from the module's start to (order, row), or a negative value when the module does
// not reach it. Only valid before modplay_play.
double modplay_getTimeAt(uint16_t order, uint16_t row);
// Samples rendered since modplay_play (offline/mute), for tests and capture.
int64_t modplay_getRenderedFrames(void);
// Position queries made so far (each trigger test and each timeline poll is one).
int64_t modplay_getQueryCount(void);
// Audio buffers the live device asked for later than expected (a sign of underruns).
int modplay_getLateBuffers(void);
