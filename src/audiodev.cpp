#include "audiodev.h"

#include <SDL.h>

static SDL_AudioDeviceID s_device;
static AudiodevCallback s_callback;
static void* s_user;
static int s_initedSubsystem;

static void SDLCALL audiodev_sdlCallback(void*, Uint8* stream, int len)
{
    s_callback(reinterpret_cast<int16_t*>(stream), len / 4, s_user);
}

int audiodev_open(int rate, int* bufferFrames, AudiodevCallback callback, void* user)
{
    if (s_device)
        return 0;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return 0;
    s_initedSubsystem = 1;
    s_callback = callback;
    s_user = user;
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
    return 1;
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

double audiodev_now(void)
{
    static const double s_freq = static_cast<double>(SDL_GetPerformanceFrequency());
    return static_cast<double>(SDL_GetPerformanceCounter()) / s_freq;
}
