// anim: keyframed position tracks (.qxa), played back by linear interpolation.
//
// File layout (little-endian, no magic, nothing between the fields):
//   0   u32  numAnims
//   then per track: 32-byte NUL-padded name, u32 numKeys, numKeys x (f32 x, y, z, time)
//
// A loaded set is one mem_malloc block: the AnimSet header, the table of numAnims Anim pointers,
// then for each track in file order its Anim record immediately followed by its keys. Tracks
// keep their playback state (time, currentKey) in the block; the set holds nothing else.
//
// Defined results for tracks the interpolation cannot span:
//   - a track with no keys samples as the origin; ticking only advances its time and
//     anim_nextKeyframe leaves it alone;
//   - two keys with equal times are a cut: the track jumps from the first position to the
//     second at that time (a zero-length segment samples as its end key, never divides by zero).
// Keys out of time order, and non-finite positions or times, are refused when loading.
#pragma once

#include <cstddef>
#include <cstdint>

#include "math.h"

// 16 bytes, exactly as stored in the file.
struct AnimKey {
    float x, y, z;
    float time;
};
static_assert(sizeof(AnimKey) == 16, "AnimKey is the file's 16-byte record");

struct Anim {
    uint32_t numKeys;
    float time;           // playback time in the unit of the key times; 0 after loading
    uint32_t currentKey;  // last key at or before time (0 before the first key); 0 after loading
    char name[32];        // NUL-terminated track name as stored in the file
    AnimKey* keys;        // the keys, right behind this record in the same block
};

struct AnimSet {
    uint32_t numAnims;
    Anim** anims;  // numAnims pointers, right behind this header in the same block
};

enum { AnimNameSize = 32, AnimKeySize = 16 };

// Reads the named .qxa file into one block. A missing or malformed file (a count or name that
// runs past the end of the file, a name without its NUL, bytes after the last track, keys out of
// time order, a non-finite number) ends the process with one line "anim: <name>: <problem>" and
// exit code 1.
AnimSet* anim_load(const char* name);
// The same checks without ending the process: null with the one-line reason in error.
AnimSet* anim_tryLoad(const char* name, char* error, size_t errorSize);
// Frees the block; every Anim pointer into it becomes invalid. Null is allowed.
void anim_destroy(AnimSet* set);

// The first track in file order whose name equals `name` exactly (case-sensitive); null if none.
Anim* anim_findAnim(const AnimSet* set, const char* name);
// Rewinds: currentKey = 0, time = 0.
void anim_start(Anim* a);
// Advances time by dt and moves currentKey forward to the last key at or before the new time.
// currentKey never moves backward.
void anim_tick(Anim* a, float dt);
// The position at the current time, interpolated between the current key and the next one
// (extrapolated along that segment when time has run past it without a tick). On the last key
// the position is that key's exactly.
void anim_getCurrentPosition(const Anim* a, vec3* out);
// Steps currentKey to the next key (never past the last) and sets time to that key's time.
void anim_nextKeyframe(Anim* a);
// 1 while the track is still moving: a later key than the current one exists. 0 once the last
// key has been reached, and for a track with no keys.
int anim_isPositionAnimating(const Anim* a);
