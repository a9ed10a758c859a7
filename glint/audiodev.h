// audiodev: the platform audio output. One device, interleaved stereo int16, fed by a callback.
// On the desktop (audiodev_sdl.cpp, SDL2) the callback runs on the audio thread and everything the main
// thread shares with it is guarded by audiodev_lock/audiodev_unlock. In the browser
// (audiodev_web.cpp) the callback runs on the main thread whenever the page's audio worklet wants
// more, and the lock does nothing.
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
// Index of the sample frame being heard now, counted over every frame the callback has produced
// since the device was opened; never more than that count. Under the lock.
int64_t audiodev_heardFrame(void);
// Drops what the callback has produced and is not heard yet, so that the next frames heard are the
// next ones it produces (after a seek). Under the lock.
void audiodev_flush(void);
// Buffers the device asked for later than expected, or could not fill in time (underruns).
int audiodev_lateBuffers(void);
