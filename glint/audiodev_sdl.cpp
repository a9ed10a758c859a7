#include "audiodev.h"

#include <SDL.h>

#include "glint_os.h"

static SDL_AudioDeviceID s_device;
static AudiodevCallback s_callback;
static void* s_user;
static int s_initedSubsystem;
static int s_rate;
static int s_bufferFrames;

// Callback bookkeeping (audio thread, under the device lock for readers).
static int64_t s_produced;        // frames produced by all callbacks before the last one
static int64_t s_producedTotal;   // ... and including it
static double s_callbackTime;     // now() at the start of the last callback; 0 before the first
static double s_callbackPeriod;   // seconds one device buffer lasts
static int s_lateCallbacks;

// Seconds on a monotonic high-resolution clock (safe to call from the callback).
static double now(void)
{
    static const double s_freq = static_cast<double>(SDL_GetPerformanceFrequency());
    return static_cast<double>(SDL_GetPerformanceCounter()) / s_freq;
}

static void SDLCALL audiodev_sdlCallback(void*, Uint8* stream, int len)
{
    double t = now();
    if (s_callbackTime > 0.0 && t - s_callbackTime > 1.5 * s_callbackPeriod + 0.005)
        s_lateCallbacks++;
    s_callbackTime = t;
    s_produced = s_producedTotal;
    s_producedTotal += len / 4;
    s_callback(reinterpret_cast<int16_t*>(stream), len / 4, s_user);
}

// The device itself: SDL's audio subsystem and the default output, paused.
static int openDevice(int rate, int* bufferFrames)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return 0;
    s_initedSubsystem = 1;
    SDL_AudioSpec want{}, have{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = static_cast<Uint16>(*bufferFrames);
    want.callback = audiodev_sdlCallback;
    // Rate, format and channels are fixed: SDL converts if the hardware differs. Only the buffer
    // size may change, and the caller learns what it got.
    s_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
    if (!s_device) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        s_initedSubsystem = 0;
        return 0;
    }
    *bufferFrames = have.samples;
    s_rate = rate;
    s_bufferFrames = have.samples;
    s_callbackPeriod = static_cast<double>(have.samples) / rate;
    s_produced = s_producedTotal = 0;
    s_callbackTime = 0.0;
    s_lateCallbacks = 0;
    return 1;
}

int audiodev_open(int rate, int* bufferFrames, AudiodevCallback callback, void* user)
{
    if (s_device)
        return 0;
    s_callback = callback;
    s_user = user;
    // Without a sound card the sound system prints its own diagnostics (ALSA's configuration
    // errors) while SDL probes it; the caller reports the failure and what to do instead.
    int stderrSaved = glint_silenceStderr();
    int ok = openDevice(rate, bufferFrames);
    glint_restoreStderr(stderrSaved);
    return ok;
}

void audiodev_start(void)
{
    if (s_device)
        SDL_PauseAudioDevice(s_device, 0);
}

void audiodev_close(void)
{
    if (s_device) {
        SDL_CloseAudioDevice(s_device);
        s_device = 0;
    }
    if (s_initedSubsystem) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        s_initedSubsystem = 0;
    }
}

void audiodev_lock(void)
{
    if (s_device)
        SDL_LockAudioDevice(s_device);
}

void audiodev_unlock(void)
{
    if (s_device)
        SDL_UnlockAudioDevice(s_device);
}

const char* audiodev_error(void) { return SDL_GetError(); }

int64_t audiodev_heardFrame(void)
{
    // The buffer the last callback filled starts playing once the one before it has drained
    // (one device buffer later); SDL tells no more than that.
    double since = s_callbackTime > 0.0 ? now() - s_callbackTime : 0.0;
    int64_t heard = s_produced - s_bufferFrames + static_cast<int64_t>(since * s_rate);
    if (heard > s_produced)
        heard = s_produced;
    if (heard < s_produced - s_bufferFrames)
        heard = s_produced - s_bufferFrames;
    return heard < 0 ? 0 : heard;
}

void audiodev_flush(void)
{
    // SDL cannot take back a buffer it has been given; with one small buffer nothing needs to.
}

int audiodev_lateBuffers(void) { return s_lateCallbacks; }
