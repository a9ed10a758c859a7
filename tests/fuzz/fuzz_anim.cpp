// Keyframe track loader through the datafile layer. The first byte picks how the input becomes a
// .qxa file: taken as it is, or behind a fixed one-track header (count 1, name "Cam") so that
// small inputs explore key counts and key values. A set that loads is played back: every track
// is found by its name, ticked, sampled and stepped, and the playback invariants are checked.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "../render3d_datafile.h"
#include "anim.h"

static void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

static bool ordinary(const AnimKey& k)
{
    return std::fabs(k.x) < 1e30f && std::fabs(k.y) < 1e30f && std::fabs(k.z) < 1e30f && std::fabs(k.time) < 1e30f;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    render3d_test::Bytes file;
    if (data[0] & 1) {
        file.assign(4 + AnimNameSize, 0);
        file[0] = 1;
        std::memcpy(&file[4], "Cam", 3);
    }
    file.insert(file.end(), data + 1, data + size);
    if (!render3d_test::mount({{"srcdata/fuzz.qxa", file}}))
        return 0;
    char error[256] = "";
    AnimSet* set = anim_tryLoad("srcdata/fuzz.qxa", error, sizeof(error));
    if (set) {
        const float dt = (float)(data[0] >> 1) / 16.0f;
        for (uint32_t i = 0; i < set->numAnims; i++) {
            Anim* a = set->anims[i];
            check(std::memchr(a->name, 0, sizeof(a->name)) != nullptr);
            Anim* found = anim_findAnim(set, a->name);
            check(found != nullptr && found <= a && std::strcmp(found->name, a->name) == 0);
            anim_start(a);
            for (int step = 0; step < 8; step++) {
                anim_tick(a, dt);
                check(a->numKeys == 0 ? a->currentKey == 0 : a->currentKey < a->numKeys);
                vec3 p;
                anim_getCurrentPosition(a, &p);
                // Inside a key span the position is a convex mix of its two keys (checked for keys
                // of ordinary size, where no intermediate overflows).
                const uint32_t k = a->currentKey;
                if (k + 1 < a->numKeys && a->time >= a->keys[k].time && a->time <= a->keys[k + 1].time &&
                    ordinary(a->keys[k]) && ordinary(a->keys[k + 1]))
                    check(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
                if (step & 1)
                    anim_nextKeyframe(a);
                (void)anim_isPositionAnimating(a);
            }
        }
        anim_destroy(set);
    } else {
        check(error[0] != 0 && std::strchr(error, '\n') == nullptr);
    }
    file_unmountData();
    return 0;
}
