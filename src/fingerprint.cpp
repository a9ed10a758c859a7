// fingerprint: FNV-1a 64 with one step per 32-bit pixel word or 16-bit sample (not per byte: a
// quarter of the work, and every bit still reaches the hash). Frames and samples are hashed in the
// order they are presented, so a frame moved from one position to another changes the hash too.
#include "fingerprint.h"

#include <cstring>

#include "effect.h"

enum { FingerprintPixels = 320 * 200 };

struct FingerprintEntry {
    const char* name;  // a scene's static name
    int64_t frames;
    uint64_t hash;
};

static const uint64_t FnvBasis = 0xcbf29ce484222325ull;
static const uint64_t FnvPrime = 0x100000001b3ull;

static FingerprintEntry s_scenes[MaxEffects];
static int s_numScenes;
static FingerprintEntry s_audio;

void fingerprint_begin(void)
{
    std::memset(s_scenes, 0, sizeof s_scenes);
    s_numScenes = 0;
    s_audio = {"audio", 0, FnvBasis};
}

static FingerprintEntry* fingerprint_entry(const char* scene)
{
    for (int i = 0; i < s_numScenes; i++)
        if (std::strcmp(s_scenes[i].name, scene) == 0)
            return &s_scenes[i];
    if (s_numScenes == MaxEffects)
        return nullptr;
    s_scenes[s_numScenes] = {scene, 0, FnvBasis};
    return &s_scenes[s_numScenes++];
}

void fingerprint_frame(const char* scene, const uint32_t* surface)
{
    FingerprintEntry* e = fingerprint_entry(scene ? scene : "end");
    if (!e)
        return;
    uint64_t h = e->hash;
    for (int i = 0; i < FingerprintPixels; i++)
        h = (h ^ surface[i]) * FnvPrime;
    e->hash = h;
    e->frames++;
}

void fingerprint_audio(const int16_t* samples, int frames)
{
    uint64_t h = s_audio.hash;
    for (int i = 0; i < frames * 2; i++)
        h = (h ^ (uint16_t)samples[i]) * FnvPrime;
    s_audio.hash = h;
    s_audio.frames += frames;
}

static void fingerprint_line(FILE* out, const FingerprintEntry& e)
{
    std::fprintf(out, "fingerprint  %s  frames %lld  0x%016llx\n", e.name, (long long)e.frames,
                 (unsigned long long)e.hash);
}

void fingerprint_print(FILE* out)
{
    for (int i = 0; i < s_numScenes; i++)
        fingerprint_line(out, s_scenes[i]);
    fingerprint_line(out, s_audio);
}
