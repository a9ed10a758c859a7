// anim: .qxa loading into one block, and linear playback of position tracks.
//
// The loader makes two passes over the open file: the first walks the track headers to size the
// block (checking every name and count against the bytes that remain), the second fills it. Keys
// are decoded field by field, so the block's layout depends only on this build's structures.
#include "anim.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "file.h"
#include "fround.h"
#include "log.h"
#include "mem.h"
#include "util.h"

enum { AnimCountSize = 4, AnimTrackHeaderSize = AnimNameSize + 4, AnimKeysPerRead = 256 };

// Records in the block keep the alignment of their pointer fields: the Anim records follow the
// pointer table and the keys of the previous track (16 bytes each), so both sizes must keep it.
static_assert(sizeof(AnimSet) % alignof(Anim) == 0 && sizeof(Anim) % alignof(Anim) == 0 &&
                  sizeof(AnimKey) % alignof(Anim) == 0,
              "Anim records stay aligned inside the block");

static float get_f32(const uint8_t* p)
{
    const uint32_t bits = util_get32(p);
    float f;
    memcpy(&f, &bits, 4);
    return f;
}

static int name_is_terminated(const uint8_t* name)
{
    return memchr(name, 0, AnimNameSize) != nullptr;
}

// A stored name as it may appear in a one-line message: bytes outside printable ASCII as '?'.
struct PrintableName {
    char text[AnimNameSize];
};
static PrintableName printable(const char* name)
{
    PrintableName p = {};
    for (int i = 0; i < AnimNameSize - 1 && name[i]; i++)
        p.text[i] = (name[i] >= 0x20 && name[i] < 0x7F) ? name[i] : '?';
    return p;
}

// The track's keys, decoded and checked: finite numbers, times that never decrease.
static int check_keys(const char* file, uint32_t track, const Anim* a, char* error, size_t errorSize)
{
    for (uint32_t k = 0; k < a->numKeys; k++) {
        const AnimKey& key = a->keys[k];
        if (!std::isfinite(key.x) || !std::isfinite(key.y) || !std::isfinite(key.z) || !std::isfinite(key.time)) {
            util_setError(error, errorSize, "%s: track %u ('%s') key %u holds a number that is not finite", file,
                          track, printable(a->name).text, k);
            return 0;
        }
        if (k > 0 && key.time < a->keys[k - 1].time) {
            util_setError(error, errorSize, "%s: track %u ('%s') key %u at time %g comes before key %u at %g", file,
                          track, printable(a->name).text, k, (double)key.time, k - 1, (double)a->keys[k - 1].time);
            return 0;
        }
    }
    return 1;
}

AnimSet* anim_tryLoad(const char* name, char* error, size_t errorSize)
{
    const int fileSize = file_getFileSize(name);
    if (fileSize < 0) {
        util_setError(error, errorSize, "%s: not found in the datafile", name);
        return nullptr;
    }
    if (fileSize < AnimCountSize) {
        util_setError(error, errorSize, "%s: track count truncated (%d of %d bytes)", name, fileSize,
                      (int)AnimCountSize);
        return nullptr;
    }
    FileHandle fh = file_open(name);
    uint8_t field[AnimTrackHeaderSize];
    file_read(fh, field, AnimCountSize);
    const uint32_t numAnims = util_get32(field);
    // Every track takes at least its name and count: this bounds the sizing loop by the file.
    const size_t size = (size_t)fileSize;
    if ((size - AnimCountSize) / AnimTrackHeaderSize < numAnims) {
        file_close(fh);
        util_setError(error, errorSize, "%s: %u tracks need at least %zu bytes, file has %d", name, numAnims,
                      AnimCountSize + (size_t)numAnims * AnimTrackHeaderSize, fileSize);
        return nullptr;
    }

    // Sizing pass.
    size_t bytes = sizeof(AnimSet) + (size_t)numAnims * sizeof(Anim*);
    size_t at = AnimCountSize;
    for (uint32_t i = 0; i < numAnims; i++) {
        if (size - at < AnimTrackHeaderSize) {
            file_close(fh);
            util_setError(error, errorSize, "%s: track %u header truncated at byte %zu of %d", name, i, at, fileSize);
            return nullptr;
        }
        file_read(fh, field, AnimTrackHeaderSize);
        at += AnimTrackHeaderSize;
        if (!name_is_terminated(field)) {
            file_close(fh);
            util_setError(error, errorSize, "%s: track %u name is not NUL-terminated within %d bytes", name, i,
                          (int)AnimNameSize);
            return nullptr;
        }
        const uint32_t numKeys = util_get32(field + AnimNameSize);
        const size_t keyBytes = (size_t)numKeys * AnimKeySize;
        if (keyBytes > size - at) {
            file_close(fh);
            util_setError(error, errorSize, "%s: track %u ('%s') has %u keys needing %zu bytes, %zu remain", name, i,
                          printable((const char*)field).text, numKeys, keyBytes, size - at);
            return nullptr;
        }
        file_seek(fh, (int)keyBytes, 1);
        at += keyBytes;
        bytes += sizeof(Anim) + (size_t)numKeys * sizeof(AnimKey);
    }
    if (at != size) {
        file_close(fh);
        util_setError(error, errorSize, "%s: %zu bytes after the last of %u tracks", name, size - at, numAnims);
        return nullptr;
    }

    // Filling pass.
    file_seek(fh, AnimCountSize, 0);
    uint8_t* block = (uint8_t*)mem_malloc(bytes);
    AnimSet* set = (AnimSet*)block;
    set->numAnims = numAnims;
    set->anims = (Anim**)(block + sizeof(AnimSet));
    uint8_t* next = (uint8_t*)(set->anims + numAnims);
    uint8_t chunk[(size_t)AnimKeysPerRead * AnimKeySize];
    for (uint32_t i = 0; i < numAnims; i++) {
        Anim* a = (Anim*)next;
        set->anims[i] = a;
        a->time = 0.0f;
        a->currentKey = 0;
        file_read(fh, field, AnimTrackHeaderSize);
        memcpy(a->name, field, AnimNameSize);
        a->numKeys = util_get32(field + AnimNameSize);
        a->keys = (AnimKey*)(next + sizeof(Anim));
        for (uint32_t k = 0; k < a->numKeys; k += AnimKeysPerRead) {
            const uint32_t n = a->numKeys - k < (uint32_t)AnimKeysPerRead ? a->numKeys - k : (uint32_t)AnimKeysPerRead;
            file_read(fh, chunk, (int)(n * AnimKeySize));
            for (uint32_t j = 0; j < n; j++) {
                const uint8_t* p = chunk + j * AnimKeySize;
                a->keys[k + j] = AnimKey{get_f32(p), get_f32(p + 4), get_f32(p + 8), get_f32(p + 12)};
            }
        }
        next = (uint8_t*)(a->keys + a->numKeys);
        if (!check_keys(name, i, a, error, errorSize)) {
            file_close(fh);
            mem_free(block);
            return nullptr;
        }
    }
    file_close(fh);
    return set;
}

AnimSet* anim_load(const char* name)
{
    char error[256];
    AnimSet* set = anim_tryLoad(name, error, sizeof(error));
    if (!set) {
        log_print("anim: %s\n", error);
        exit(1);
    }
    return set;
}

void anim_destroy(AnimSet* set)
{
    mem_free(set);
}

Anim* anim_findAnim(const AnimSet* set, const char* name)
{
    for (uint32_t i = 0; i < set->numAnims; i++)
        if (strcmp(set->anims[i]->name, name) == 0)
            return set->anims[i];
    return nullptr;
}

void anim_start(Anim* a)
{
    a->currentKey = 0;
    a->time = 0.0f;
}

void anim_tick(Anim* a, float dt)
{
    a->time += dt;
    // The last key at or before time, from the current one on; the scan stops at the first key
    // still in the future. Starting from currentKey (not the last key) keeps a track whose first
    // key lies ahead of time on its first key.
    uint32_t c = a->currentKey;
    for (uint32_t j = a->currentKey; j < a->numKeys; j++) {
        if (a->time < a->keys[j].time)
            break;
        c = j;
    }
    a->currentKey = c;
}

void anim_getCurrentPosition(const Anim* a, vec3* out)
{
    if (a->numKeys == 0) {
        out->x = out->y = out->z = 0.0f;
        return;
    }
    const uint32_t k = a->currentKey < a->numKeys ? a->currentKey : a->numKeys - 1;
    const AnimKey& k0 = a->keys[k];
    // Before the current key the track holds it (a first key later than 0, or a negative tick).
    if (k == a->numKeys - 1 || a->time < k0.time) {
        out->x = k0.x;
        out->y = k0.y;
        out->z = k0.z;
        return;
    }
    const AnimKey& k1 = a->keys[k + 1];
    const float span = k1.time - k0.time;
    if (!(span > 0.0f)) {  // equal times: a cut, already at the later key
        out->x = k1.x;
        out->y = k1.y;
        out->z = k1.z;
        return;
    }
    // In the current mode: a scene's first frame runs in loading's truncation.
    const float s = fround_div(fround_sub(a->time, k0.time), span);
    const float r = fround_sub(1.0f, s);
    out->x = fround_add(fround_mul(r, k0.x), fround_mul(s, k1.x));
    out->y = fround_add(fround_mul(r, k0.y), fround_mul(s, k1.y));
    out->z = fround_add(fround_mul(r, k0.z), fround_mul(s, k1.z));
}

void anim_nextKeyframe(Anim* a)
{
    if (a->numKeys == 0)
        return;
    a->currentKey += 1;
    if (a->currentKey >= a->numKeys)
        a->currentKey = a->numKeys - 1;
    a->time = a->keys[a->currentKey].time;
}

int anim_isPositionAnimating(const Anim* a)
{
    return a->currentKey + 1 < a->numKeys;
}
