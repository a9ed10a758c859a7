// fingerprint: one 64-bit hash per scene over every frame it presents, and one over every sample
// of the music, so that a change meant to leave the show as it was can be proved to (tests, and
// builds for other targets compared with this one).
#pragma once
#include <cstdint>
#include <cstdio>

// Forgets every hash.
void fingerprint_begin(void);
// One presented 320 x 200 surface of 0x00RRGGBB words, drawn by the named scene.
void fingerprint_frame(const char* scene, const uint32_t* surface);
// A block of interleaved stereo 16-bit samples (frames = sample pairs).
void fingerprint_audio(const int16_t* samples, int frames);
// One line per scene in the order the scenes first appeared, then the music:
//   fingerprint  Wire  frames 1268  0x56edd17dd6d96bd5
//   fingerprint  audio  frames 9188736  0x...
void fingerprint_print(FILE* out);
