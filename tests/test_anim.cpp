// Keyframe tracks: playback rules, the loaded block, refusal of malformed files, and the
// mkassets writer read back through the loader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <string>

#include "anim.h"
#include "qxa.h"
#include "render3d_datafile.h"

using render3d_test::Bytes;

namespace {

qxa::Key key(float x, float y, float z, float t) { return qxa::Key{art::v3(x, y, z), t}; }

// Mounts one .qxa image as "srcdata/t.qxa" and loads it; null (and the reason) on refusal.
AnimSet* loadBytes(const Bytes& file, std::string* reason = nullptr)
{
    EXPECT_TRUE(render3d_test::mount({{"srcdata/t.qxa", file}}));
    char error[256] = "";
    AnimSet* set = anim_tryLoad("srcdata/t.qxa", error, sizeof(error));
    if (reason)
        *reason = error;
    return set;
}

AnimSet* loadTracks(const std::vector<qxa::Track>& tracks)
{
    EXPECT_EQ(qxa::check(tracks), "");
    return loadBytes(qxa::build(tracks));
}

vec3 position(const Anim* a)
{
    vec3 p{};
    anim_getCurrentPosition(a, &p);
    return p;
}

class AnimTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        anim_destroy(set);
        file_unmountData();
    }
    AnimSet* set = nullptr;
};

TEST_F(AnimTest, InterpolatesThenHoldsTheLastKey)
{
    set = loadTracks({{"Camera", {key(0, 0, 0, 0), key(10, 0, 0, 2)}}});
    ASSERT_NE(set, nullptr);
    Anim* a = anim_findAnim(set, "Camera");
    ASSERT_NE(a, nullptr);
    anim_start(a);
    anim_tick(a, 0.5f);
    vec3 p = position(a);
    EXPECT_FLOAT_EQ(p.x, 2.5f);
    EXPECT_EQ(p.y, 0.0f);
    EXPECT_EQ(a->currentKey, 0u);
    EXPECT_TRUE(anim_isPositionAnimating(a));
    anim_tick(a, 1.5f);
    EXPECT_EQ(a->currentKey, 1u);
    EXPECT_EQ(position(a).x, 10.0f);  // exactly, not 1 - s + s
    EXPECT_FALSE(anim_isPositionAnimating(a));
    for (int i = 0; i < 3; i++)
        anim_tick(a, 1.0f);
    EXPECT_EQ(a->currentKey, 1u);
    EXPECT_EQ(position(a).x, 10.0f);
    // Rewinding restarts the track.
    anim_start(a);
    EXPECT_EQ(a->currentKey, 0u);
    EXPECT_EQ(a->time, 0.0f);
    EXPECT_EQ(position(a).x, 0.0f);
}

TEST_F(AnimTest, OneTickCanSkipKeysAndTheKeyNeverMovesBack)
{
    set = loadTracks({{"T", {key(0, 0, 0, 0), key(1, 0, 0, 1), key(2, 4, 0, 2), key(3, 0, 0, 3)}}});
    Anim* a = set->anims[0];
    anim_tick(a, 2.5f);
    EXPECT_EQ(a->currentKey, 2u);
    vec3 p = position(a);
    EXPECT_FLOAT_EQ(p.x, 2.5f);
    EXPECT_FLOAT_EQ(p.y, 2.0f);
    anim_tick(a, -2.0f);  // time 0.5 lies before key 2: the key stays, the position holds it
    EXPECT_EQ(a->currentKey, 2u);
    EXPECT_FLOAT_EQ(position(a).x, 2.0f);
    // Time run past the next key without a tick extrapolates along the current segment.
    a->time = 3.5f;
    EXPECT_FLOAT_EQ(position(a).x, 3.5f);
    EXPECT_FLOAT_EQ(position(a).y, -2.0f);
}

TEST_F(AnimTest, NextKeyframeStepsAndStopsOnTheLastKey)
{
    set = loadTracks({{"T", {key(0, 0, 0, 0), key(5, 0, 0, 1.5f), key(7, 0, 0, 4)}}});
    Anim* a = set->anims[0];
    anim_nextKeyframe(a);
    EXPECT_EQ(a->currentKey, 1u);
    EXPECT_EQ(a->time, 1.5f);
    EXPECT_EQ(position(a).x, 5.0f);
    anim_nextKeyframe(a);
    anim_nextKeyframe(a);
    EXPECT_EQ(a->currentKey, 2u);
    EXPECT_EQ(a->time, 4.0f);
    a->time = 9.0f;
    anim_nextKeyframe(a);  // on the last key: kept, time back to its time
    EXPECT_EQ(a->currentKey, 2u);
    EXPECT_EQ(a->time, 4.0f);
}

TEST_F(AnimTest, LookupIsExactAndFirstInFileOrder)
{
    set = loadTracks({{"CameraLookAt", {key(1, 0, 0, 0)}},
                      {"CameraPosition", {key(2, 0, 0, 0)}},
                      {"CameraLookAt", {key(3, 0, 0, 0)}}});
    ASSERT_EQ(set->numAnims, 3u);
    EXPECT_EQ(anim_findAnim(set, "CameraLookAt"), set->anims[0]);
    EXPECT_EQ(anim_findAnim(set, "CameraPosition"), set->anims[1]);
    EXPECT_EQ(anim_findAnim(set, "cameralookat"), nullptr);
    EXPECT_EQ(anim_findAnim(set, "CameraLookAt "), nullptr);
    EXPECT_EQ(anim_findAnim(set, "Camera"), nullptr);
    EXPECT_EQ(anim_findAnim(set, ""), nullptr);
}

TEST_F(AnimTest, BlockHoldsHeaderTableTracksAndKeysInFileOrder)
{
    set = loadTracks({{"a", {key(1, 2, 3, 0), key(4, 5, 6, 1)}}, {"b", {}}, {"c", {key(7, 8, 9, 0.25f)}}});
    ASSERT_NE(set, nullptr);
    const uint8_t* base = (const uint8_t*)set;
    EXPECT_EQ((const uint8_t*)set->anims, base + sizeof(AnimSet));
    EXPECT_EQ((const uint8_t*)set->anims[0], base + sizeof(AnimSet) + 3 * sizeof(Anim*));
    for (uint32_t i = 0; i < 3; i++) {
        const Anim* a = set->anims[i];
        EXPECT_EQ((const uint8_t*)a->keys, (const uint8_t*)a + sizeof(Anim));
        if (i + 1 < 3) {
            EXPECT_EQ((const uint8_t*)set->anims[i + 1], (const uint8_t*)(a->keys + a->numKeys));
        }
        EXPECT_EQ(a->time, 0.0f);
        EXPECT_EQ(a->currentKey, 0u);
    }
    EXPECT_STREQ(set->anims[2]->name, "c");
    EXPECT_EQ(set->anims[0]->keys[1].y, 5.0f);
    EXPECT_EQ(set->anims[2]->keys[0].time, 0.25f);

    // No tracks: only the header, and every lookup fails.
    anim_destroy(set);
    file_unmountData();
    set = loadTracks({});
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->numAnims, 0u);
    EXPECT_EQ(anim_findAnim(set, "Camera"), nullptr);
}

// Tracks the interpolation cannot span have defined results and never divide by zero.
TEST_F(AnimTest, EmptyTracksCutsAndLateFirstKeys)
{
    set = loadTracks({{"empty", {}},
                      {"cut", {key(0, 0, 0, 0), key(8, 0, 0, 0), key(8, 0, 0, 1), key(-4, 0, 0, 1), key(-4, 0, 0, 2)}},
                      {"late", {key(1, 1, 1, 2), key(3, 3, 3, 4)}}});
    ASSERT_NE(set, nullptr);
    Anim* empty = set->anims[0];
    EXPECT_EQ(position(empty).x, 0.0f);
    anim_tick(empty, 1.0f);
    EXPECT_EQ(empty->currentKey, 0u);
    anim_nextKeyframe(empty);
    EXPECT_EQ(empty->currentKey, 0u);
    EXPECT_FALSE(anim_isPositionAnimating(empty));
    EXPECT_EQ(position(empty).z, 0.0f);

    Anim* cut = set->anims[1];
    EXPECT_EQ(position(cut).x, 8.0f);  // sampled before any tick: already past the cut at time 0
    anim_tick(cut, 0.0f);
    EXPECT_EQ(cut->currentKey, 1u);
    anim_tick(cut, 0.5f);
    EXPECT_EQ(position(cut).x, 8.0f);
    anim_tick(cut, 0.5f);
    EXPECT_EQ(cut->currentKey, 3u);
    EXPECT_EQ(position(cut).x, -4.0f);
    cut->currentKey = 2;  // as if time had reached 1 exactly with the next key at the same time
    EXPECT_EQ(position(cut).x, -4.0f);

    // The first key lies ahead: the track waits on it instead of jumping to its last key.
    Anim* late = set->anims[2];
    anim_tick(late, 1.0f);
    EXPECT_EQ(late->currentKey, 0u);
    EXPECT_EQ(position(late).x, 1.0f);
    anim_tick(late, 2.0f);
    EXPECT_EQ(late->currentKey, 0u);
    EXPECT_FLOAT_EQ(position(late).y, 2.0f);
    for (Anim* a : {empty, cut, late}) {
        vec3 p = position(a);
        EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << a->name;
    }
}

// One track "Cam" with two keys, as bytes, for the corruption cases.
Bytes goodFile()
{
    return qxa::build({{"Cam", {key(0, 1, 2, 0), key(3, 4, 5, 1)}}});
}

void putWord(Bytes& b, size_t at, uint32_t v) { render3d_test::put32(b, at, v); }

TEST(AnimLoad, RefusesMalformedFilesWithOneLineNamingThem)
{
    struct Case {
        const char* what;
        Bytes bytes;
        const char* message;
    };
    std::vector<Case> cases;
    Bytes g = goodFile();  // 4 + 36 + 32 = 72 bytes
    ASSERT_EQ(g.size(), 72u);
    cases.push_back({"empty", {}, "track count truncated (0 of 4 bytes)"});
    cases.push_back({"short count", Bytes(g.begin(), g.begin() + 3), "track count truncated"});
    Bytes lying = g;
    putWord(lying, 0, 0xFFFFFFFFu);
    cases.push_back({"huge track count", lying, "4294967295 tracks need at least"});
    Bytes second = g;
    putWord(second, 0, 2);
    second.resize(76);
    cases.push_back({"second track cut short", second, "track 1 header truncated at byte 72 of 76"});
    cases.push_back({"cut in a name", Bytes(g.begin(), g.begin() + 20), "1 tracks need at least 40 bytes, file has 20"});
    Bytes keys = g;
    putWord(keys, 36, 3);
    cases.push_back({"one key too many", keys, "track 0 ('Cam') has 3 keys needing 48 bytes, 32 remain"});
    putWord(keys, 36, 0x10000000u);
    cases.push_back({"key count overflowing 32 bits", keys, "has 268435456 keys needing 4294967296 bytes"});
    Bytes control = keys;
    control[5] = '\n';
    control[6] = (uint8_t)0xE9;
    cases.push_back({"control bytes in a named track", control, "track 0 ('C?" "?') has 268435456 keys"});
    Bytes name = g;
    std::memset(&name[4], 'A', 32);
    cases.push_back({"unterminated name", name, "track 0 name is not NUL-terminated within 32 bytes"});
    Bytes trailing = g;
    trailing.push_back(0);
    cases.push_back({"trailing byte", trailing, "1 bytes after the last of 1 tracks"});
    Bytes order = g;
    putWord(order, 4 + 36 + 16 + 12, 0xBF800000u);  // second key at time -1
    cases.push_back({"keys out of order", order, "track 0 ('Cam') key 1 at time -1 comes before key 0 at 0"});
    Bytes nan = g;
    putWord(nan, 4 + 36 + 4, 0x7FC00000u);  // first key's y
    cases.push_back({"NaN position", nan, "track 0 ('Cam') key 0 holds a number that is not finite"});
    Bytes inf = g;
    putWord(inf, 4 + 36 + 16 + 12, 0x7F800000u);
    cases.push_back({"infinite time", inf, "key 1 holds a number that is not finite"});

    for (const Case& c : cases) {
        std::string reason;
        AnimSet* set = loadBytes(c.bytes, &reason);
        EXPECT_EQ(set, nullptr) << c.what;
        anim_destroy(set);
        EXPECT_EQ(reason.rfind("srcdata/t.qxa: ", 0), 0u) << c.what << ": " << reason;
        EXPECT_NE(reason.find(c.message), std::string::npos) << c.what << ": " << reason;
        EXPECT_EQ(reason.find('\n'), std::string::npos) << c.what;
        file_unmountData();
    }

    ASSERT_TRUE(render3d_test::mount({{"srcdata/t.qxa", g}}));
    char error[128];
    EXPECT_EQ(anim_tryLoad("srcdata/missing.qxa", error, sizeof(error)), nullptr);
    EXPECT_STREQ(error, "srcdata/missing.qxa: not found in the datafile");
    file_unmountData();
}

TEST(AnimLoadDeathTest, LoadEndsStartupOnAMalformedFile)
{
    Bytes g = goodFile();
    g.resize(60);
    EXPECT_EXIT(
        {
            dup2(2, 1);
            render3d_test::mount({{"srcdata/t.qxa", g}});
            anim_load("srcdata/t.qxa");
        },
        testing::ExitedWithCode(1), "anim: srcdata/t.qxa: track 0 \\('Cam'\\) has 2 keys needing 32 bytes, 20 remain");
}

TEST(QxaWriter, RoundTripsThroughTheLoaderBitForBit)
{
    std::vector<qxa::Track> tracks = {
        {"Camera|CameraAction", {key(-1.5f, 2.25f, 1e-7f, 0), key(3e5f, -0.0f, 7, 0.1f), key(1, 2, 3, 0.1f)}},
        {std::string(31, 'n'), {}},
        {"z", {key(0.3f, 0.6f, 0.9f, 12.5f)}},
    };
    Bytes bytes = qxa::build(tracks);
    EXPECT_EQ(bytes.size(), 4u + 3 * 36 + 4 * 16);
    AnimSet* set = loadBytes(bytes);
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->numAnims, tracks.size());
    for (size_t i = 0; i < tracks.size(); i++) {
        const Anim* a = set->anims[i];
        EXPECT_EQ(std::string(a->name), tracks[i].name);
        ASSERT_EQ(a->numKeys, tracks[i].keys.size());
        for (size_t k = 0; k < tracks[i].keys.size(); k++) {
            const qxa::Key& w = tracks[i].keys[k];
            EXPECT_EQ(std::memcmp(&a->keys[k].x, &w.p.x, 4), 0);
            EXPECT_EQ(std::memcmp(&a->keys[k].y, &w.p.y, 4), 0);
            EXPECT_EQ(std::memcmp(&a->keys[k].z, &w.p.z, 4), 0);
            EXPECT_EQ(std::memcmp(&a->keys[k].time, &w.time, 4), 0);
        }
    }
    anim_destroy(set);
    file_unmountData();
}

TEST(QxaWriter, RefusesWhatTheLoaderWouldRefuse)
{
    EXPECT_NE(qxa::check({{std::string(32, 'n'), {}}}).find("must be 1 to 31 bytes"), std::string::npos);
    EXPECT_NE(qxa::check({{"", {}}}), "");
    EXPECT_NE(qxa::check({{"a", {key(0, 0, 0, 1), key(0, 0, 0, 0.5f)}}}).find("comes before key 0"), std::string::npos);
    EXPECT_NE(qxa::check({{"a", {key(NAN, 0, 0, 0)}}}).find("not finite"), std::string::npos);
    EXPECT_EQ(qxa::check({{"a", {key(0, 0, 0, 1), key(1, 0, 0, 1)}}}), "");  // a cut is allowed
}

TEST(QxaSpline, PassesThroughControlsAtFixedStepsEndingOnTheLast)
{
    std::vector<qxa::Key> c = {key(0, 0, 0, 0), key(10, 5, 0, 1), key(0, 10, 2, 2.5f), key(-3, 0, 0, 4)};
    std::vector<qxa::Key> keys = qxa::sampleSpline(c, 0.1f, false);
    ASSERT_GE(keys.size(), 40u);
    for (size_t i = 0; i + 1 < keys.size(); i++) {
        EXPECT_NEAR(keys[i].time, 0.1f * i, 1e-5f);
        EXPECT_GT(keys[i + 1].time - keys[i].time, 0.025f);
    }
    EXPECT_EQ(keys.back().time, 4.0f);
    EXPECT_EQ(keys.back().p.x, -3.0f);
    for (const qxa::Key& k : c) {
        const size_t i = (size_t)std::lround(k.time / 0.1f);
        EXPECT_NEAR(keys[i].p.x, k.p.x, 1e-4f);
        EXPECT_NEAR(keys[i].p.y, k.p.y, 1e-4f);
        EXPECT_NEAR(keys[i].p.z, k.p.z, 1e-4f);
    }
    // Collinear controls evenly spaced in time give a straight line at constant speed.
    std::vector<qxa::Key> line = qxa::sampleSpline({key(0, 0, 0, 0), key(2, 0, 0, 1), key(4, 0, 0, 2)}, 0.25f, false);
    for (const qxa::Key& k : line) {
        EXPECT_NEAR(k.p.x, 2 * k.time, 1e-5f);
        EXPECT_EQ(k.p.y, 0.0f);
    }
}

TEST(QxaSpline, ClosedLoopKeepsItsVelocityAcrossTheJoin)
{
    std::vector<qxa::Key> c;
    for (int i = 0; i <= 8; i++) {
        const float a = 6.2831853f * (i % 8) / 8;
        c.push_back(key(10 * std::cos(a), 10 * std::sin(a), 0, (float)i));
    }
    std::vector<qxa::Key> keys = qxa::sampleSpline(c, 0.05f, true);
    ASSERT_EQ(keys.size(), 161u);
    // The step-to-step change of velocity across the join is no larger than inside a segment
    // (one-sided end tangents would leave a kink several times larger).
    auto turn = [&](size_t a, size_t b, size_t c) { return art::length((keys[c].p - keys[b].p) - (keys[b].p - keys[a].p)); };
    const float inside = turn(79, 80, 81);
    EXPECT_GT(inside, 0.0f);
    EXPECT_LT(art::length((keys[1].p - keys[0].p) - (keys[160].p - keys[159].p)), 1.5f * inside);
    // And the loop stays near its circle.
    for (const qxa::Key& k : keys)
        EXPECT_NEAR(art::length(k.p), 10.0f, 0.15f);
}

}  // namespace
