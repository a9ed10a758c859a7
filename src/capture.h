// capture: records the frames and the music of a fixed-step run.
//   OUT ending .mp4 or .mkv: the frames are piped to ffmpeg (H.264, nearest-neighbour scaled)
//   while the samples go to a WAV file beside OUT; at the end a second ffmpeg pass muxes both
//   into OUT and the two intermediate files are removed.
//   any other OUT: a directory of numbered PNG frames (000000.png, ...) and audio.wav.
// Every failure (ffmpeg missing or failing, a full disk) prints one line and makes the run end
// with a non-zero exit; a failed OUT is removed rather than left truncated.
#pragma once
#include <cstdint>

int capture_open(const char* out, int fps, int scale);
int capture_frame(const uint32_t* surface);            // 320 x 200 0x00RRGGBB
int capture_audio(const int16_t* samples, int frames);  // interleaved stereo 16-bit, 44100 Hz
// Finishes the outputs. 1 = complete; 0 = failure (message printed, partial output removed).
int capture_close(void);
int capture_failed(void);
int64_t capture_getFrames(void);
// 1 when OUT names a video file (by its extension).
int capture_isVideoFile(const char* out);
