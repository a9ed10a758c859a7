// audiodev: the platform audio output (SDL2). One device, interleaved stereo int16, fed by a
// callback on the audio thread. Everything the main thread shares with the callback is guarded
// by audiodev_lock/audiodev_unlock.
#pragma once
#include <cstdint>

typedef void (*AudiodevCallback)(int16_t* out, int frames, void* user);

// Opens the default output device paused. *bufferFrames (in: wanted, out: obtained) is the
// device buffer length in sample frames. 1 = open, 0 = failure (reason from audiodev_error).
int audiodev_open(int rate, int* bufferFrames, AudiodevCallback callback, void* user);
void audiodev_start(void);
void audiodev_close(void);
void audiodev_lock(void);
void audiodev_unlock(void);
const char* audiodev_error(void);
// Seconds on a monotonic high-resolution clock (safe to call from the callback).
double audiodev_now(void);
