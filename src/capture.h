// capture: records the frames and the music of a fixed-step run.
//   OUT ending .mp4 or .mkv: one ffmpeg process, in its own process group, takes the frames on its
//   standard input and the samples on a second pipe (its descriptor 3) and encodes both at once
//   (H.264, nearest-neighbour scaled; AAC) into OUT.part, which becomes OUT only once the encoder
//   has finished it. OUT therefore either is complete or does not exist.
//   any other OUT: a directory of numbered PNG frames (000000.png, ...) and audio.wav.
// Every failure (ffmpeg missing or failing, a full disk) prints one line and makes the run end
// with a non-zero exit; a failed OUT is removed rather than left truncated.
//
// Interrupts: from capture_open to capture_close, SIGINT ends the run instead of the program. The
// first one lets the encoder finish the frames written so far; a second one (or SIGTERM, SIGHUP)
// abandons the file: the encoder is killed, nothing is left behind. The encoder dies with the
// program if the program is killed outright.
#pragma once
#include <cstdint>

int capture_open(const char* out, int fps, int scale);
int capture_frame(const uint32_t* surface);            // 320 x 200 0x00RRGGBB
int capture_audio(const int16_t* samples, int frames);  // interleaved stereo 16-bit, 44100 Hz
// Finishes the outputs. 1 = complete; 0 = failure or abandoned (message printed for a failure,
// partial output removed).
int capture_close(void);
int capture_failed(void);
int64_t capture_getFrames(void);
// What interrupted the capture, as a POSIX signal number (2: Ctrl-C, 15: terminate, 1: the
// terminal or console closed), or 0.
int capture_interrupted(void);
// 1 when OUT names a video file (by its extension).
int capture_isVideoFile(const char* out);
