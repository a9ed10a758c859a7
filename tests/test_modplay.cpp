// Music playback over the real player, with a module the test writes itself.
#include "modplay.h"
#include "runmode.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <utility>
#include <vector>

#include "tinymod.h"

namespace {

struct Pos {
    uint16_t order, row;
};
Pos pos()
{
    Pos p;
    modplay_getCurrentPosition(&p.order, &p.row);
    return p;
}

class Offline : public ::testing::Test {
protected:
    void SetUp() override
    {
        modplay_setMode(ModplayMode_Offline);
        std::vector<uint8_t> mod = tinymod_build(4);
        ASSERT_EQ(1, modplay_initFromMemory(mod.data(), int(mod.size()), "tiny.mod"));
    }
    void TearDown() override
    {
        modplay_deinit();
        modplay_setMode(ModplayMode_Live);
    }
};

int s_calls[8];
int s_callOrder[8];
int s_callCount;
void cb0() { s_callOrder[s_callCount++] = 0; s_calls[0]++; }
void cb1() { s_callOrder[s_callCount++] = 1; s_calls[1]++; }
void cb2() { s_callOrder[s_callCount++] = 2; s_calls[2]++; }
void resetCalls()
{
    for (int& c : s_calls) c = 0;
    s_callCount = 0;
}

}  // namespace

TEST(Trigger, PayloadIsPointerSized)
{
    static Trigger t[] = {{1, 2, 0, cb0}, {3, 4, 0, {.code = 7}}};
    EXPECT_EQ(sizeof(void*), sizeof(t[0].code));
    EXPECT_EQ(cb0, t[0].func);
    EXPECT_EQ(7u, t[1].code);
}

TEST_F(Offline, PositionsAdvanceInLockstepAndPlayOnce)
{
    // Before play and right after it: the start.
    Pos p = pos();
    EXPECT_EQ(0, p.order);
    EXPECT_EQ(0, p.row);
    modplay_play();
    // 50 steps a second is one row per step at speed 1 (882 samples a tick).
    int lastLinear = 0;
    int seenOrders[4] = {0, 0, 0, 0};
    for (int frame = 0; frame < 64 * 4 + 10; frame++) {
        modplay_advance(0.02f);
        EXPECT_EQ(int64_t(frame + 1) * 882, modplay_getRenderedFrames());
        p = pos();
        if (p.order == 0xFFFF) {
            EXPECT_EQ(0xFFFF, p.row);
            EXPECT_TRUE(modplay_isFinished());
            EXPECT_GE(frame, 64 * 4 - 2);
            break;
        }
        ASSERT_LT(p.order, 4);
        ASSERT_LT(p.row, 64);
        int linear = p.order * 64 + p.row;
        // One row per step, give or take the tick boundary falling on the step boundary.
        EXPECT_GE(linear, lastLinear);
        EXPECT_LE(linear - frame, 1);
        EXPECT_GE(linear - frame, -1);
        lastLinear = linear;
        seenOrders[p.order]++;
    }
    for (int o = 0; o < 4; o++) EXPECT_GT(seenOrders[o], 60) << o;
    // Played once: the end stays the end, it does not wrap round to the start.
    for (int i = 0; i < 100; i++) modplay_advance(0.02f);
    p = pos();
    EXPECT_EQ(0xFFFF, p.order);
    EXPECT_TRUE(modplay_isFinished());
}

TEST_F(Offline, FractionalStepsCarryAndSinkGetsEverySample)
{
    static int64_t s_sunk;
    s_sunk = 0;
    modplay_setSink([](const int16_t*, int frames, void*) { s_sunk += frames; }, nullptr);
    modplay_play();
    // 44100 / 60 = 735 exactly; 44100 / 59 leaves a fraction that must not be lost.
    for (int i = 0; i < 590; i++) modplay_advance(1.0f / 59.0f);
    EXPECT_NEAR(double(modplay_getRenderedFrames()), 441000.0, 1.0);
    EXPECT_EQ(s_sunk, modplay_getRenderedFrames());
    // Past the end the sink keeps receiving silence, so audio stays as long as the video.
    for (int i = 0; i < 60; i++) modplay_advance(1.0f / 60.0f);
    EXPECT_EQ(s_sunk, modplay_getRenderedFrames());
}

TEST_F(Offline, RepeatableRuns)
{
    static uint64_t s_hash;
    auto run = []() {
        s_hash = 1469598103934665603ull;
        modplay_setSink([](const int16_t* s, int frames, void*) {
            for (int i = 0; i < frames * 2; i++) s_hash = (s_hash ^ uint16_t(s[i])) * 1099511628211ull;
        }, nullptr);
        modplay_play();
        uint64_t positions = 0;
        for (int i = 0; i < 200; i++) {
            modplay_advance(1.0f / 60.0f);
            Pos p = pos();
            positions = positions * 31 + p.order * 64 + p.row;
        }
        return std::make_pair(s_hash, positions);
    };
    auto a = run();
    modplay_deinit();
    std::vector<uint8_t> mod = tinymod_build(4);
    ASSERT_EQ(1, modplay_initFromMemory(mod.data(), int(mod.size()), "tiny.mod"));
    auto b = run();
    EXPECT_EQ(a, b);
    EXPECT_NE(1469598103934665603ull, a.first);  // the module is not silent
}

TEST_F(Offline, SeekReportsTheTarget)
{
    modplay_play();
    modplay_advance(0.1f);
    modplay_setCurrentPosition(2, 0);
    Pos p = pos();
    EXPECT_EQ(2, p.order);
    EXPECT_EQ(0, p.row);
    modplay_advance(0.2f);
    p = pos();
    EXPECT_EQ(2, p.order);
    EXPECT_GE(p.row, 9);
    EXPECT_LE(p.row, 11);
    // Seeking back after the end plays again from there.
    for (int i = 0; i < 400; i++) modplay_advance(0.02f);
    EXPECT_TRUE(modplay_isFinished());
    modplay_setCurrentPosition(1, 10);
    EXPECT_FALSE(modplay_isFinished());
    p = pos();
    EXPECT_EQ(1, p.order);
    EXPECT_EQ(10, p.row);
}

TEST_F(Offline, TimeAtPositions)
{
    EXPECT_NEAR(0.0, modplay_getTimeAt(0, 0), 1e-9);
    EXPECT_NEAR(1.28, modplay_getTimeAt(1, 0), 0.03);
    EXPECT_NEAR(2.56 + 8 * 0.02, modplay_getTimeAt(2, 8), 0.03);
    EXPECT_LT(modplay_getTimeAt(9, 0), 0.0);  // past the last order
    // The playing instance is not disturbed.
    Pos p = pos();
    EXPECT_EQ(0, p.order);
    EXPECT_EQ(0, p.row);
}

TEST_F(Offline, TriggersSharingAPositionFireInTableOrder)
{
    resetCalls();
    Trigger t[] = {{1, 5, 0, cb1}, {1, 5, 0, cb0}, {1, 6, 0, cb2}};
    modplay_play();
    modplay_setCurrentPosition(1, 5);
    modplay_updateTriggers(t, 3);
    ASSERT_EQ(2, s_callCount);
    EXPECT_EQ(1, s_callOrder[0]);
    EXPECT_EQ(0, s_callOrder[1]);
    EXPECT_EQ(1u, t[0].triggered);
    EXPECT_EQ(1u, t[1].triggered);
    EXPECT_EQ(0u, t[2].triggered);
    // Seeking back and playing through again does not fire them again; the third fires once.
    modplay_setCurrentPosition(1, 0);
    for (int i = 0; i < 20; i++) {
        modplay_advance(0.02f);
        modplay_updateTriggers(t, 3);
    }
    EXPECT_EQ(1, s_calls[0]);
    EXPECT_EQ(1, s_calls[1]);
    EXPECT_EQ(1, s_calls[2]);
}

TEST_F(Offline, TriggerQueriesAndEndOfMusic)
{
    resetCalls();
    Trigger t[] = {{0, 0, 0, cb0}, {0xFFFF, 0xFFFF, 0, cb1}, {3, 63, 0, {.code = 42}}};
    int64_t q = modplay_getQueryCount();
    modplay_updateTriggers(t, 0);
    EXPECT_EQ(q, modplay_getQueryCount());  // count 0: no query
    modplay_play();
    modplay_updateTriggers(t, 2);
    EXPECT_EQ(q + 2, modplay_getQueryCount());  // one per unfired record
    EXPECT_EQ(1, s_calls[0]);
    modplay_updateTriggers(t, 2);
    EXPECT_EQ(q + 3, modplay_getQueryCount());  // the fired one costs nothing
    // Play past the end: the failed-query position never fires a trigger, not even one that
    // names it, and a code payload fires only through modplay_updateTrigger.
    int fired = 0;
    for (int i = 0; i < 300; i++) {
        modplay_advance(0.02f);
        modplay_updateTriggers(t, 2);
        fired += modplay_updateTrigger(&t[2]);
    }
    EXPECT_TRUE(modplay_isFinished());
    EXPECT_EQ(0, s_calls[1]);
    EXPECT_EQ(0u, t[1].triggered);
    EXPECT_EQ(1, fired);
    EXPECT_EQ(1u, t[2].triggered);
}

// Matching is exact: a trigger fires only in a poll whose position equals its own. A step longer
// than a row, a seek over it or a start after it leaves it unfired; a seek back never re-arms it.
namespace {

// One recording callback per row, so a table can hold a trigger on every row of an order.
std::vector<int> s_fired;
template <int N>
void record()
{
    s_fired.push_back(N);
}
template <int... N>
constexpr std::array<TriggerFunc, sizeof...(N)> recorders(std::integer_sequence<int, N...>)
{
    return {record<N>...};
}
constexpr auto s_recorders = recorders(std::make_integer_sequence<int, 64>());

// Polls the table once and returns the indices that fired, in firing order.
std::vector<int> poll(std::vector<Trigger>& t)
{
    s_fired.clear();
    modplay_updateTriggers(t.data(), int(t.size()));
    return s_fired;
}

std::vector<Trigger> table(std::initializer_list<Pos> positions)
{
    std::vector<Trigger> t;
    for (const Pos& p : positions) t.push_back({p.order, p.row, 0, s_recorders[t.size()]});
    return t;
}

}  // namespace

TEST_F(Offline, StepsLongerThanARowNeverFireTheRowsBetween)
{
    std::vector<Trigger> t;
    for (uint16_t row = 0; row < 64; row++) t.push_back({1, row, 0, s_recorders[row]});
    modplay_play();
    int fired = 0;
    int lastLinear = -1;
    // 2.5 rows a step: every poll lands on one row and steps over one or two.
    for (int step = 0; step < 80; step++) {
        Pos p = pos();
        std::vector<int> want;
        if (p.order == 1) want.push_back(p.row);
        ASSERT_EQ(want, poll(t)) << "poll at " << p.order << ":" << p.row;
        fired += int(want.size());
        if (p.order != 0xFFFF) {
            ASSERT_GT(p.order * 64 + p.row, lastLinear);  // always forward, never the same row twice
            lastLinear = p.order * 64 + p.row;
        }
        modplay_advance(0.05f);
    }
    EXPECT_GE(fired, 20);
    EXPECT_LE(fired, 30);  // most rows were stepped over, and none of those fired
}

TEST_F(Offline, AStartAfterATriggerNeverFiresIt)
{
    // As --start does: play, then seek before the first poll.
    std::vector<Trigger> t = table({{0, 10}, {1, 5}, {1, 9}, {1, 10}, {1, 20}, {2, 0}});
    modplay_play();
    modplay_setCurrentPosition(1, 10);
    std::vector<int> fired;
    for (int step = 0; step < 200; step++) {
        for (int i : poll(t)) fired.push_back(i);
        modplay_advance(0.02f);
    }
    EXPECT_EQ((std::vector<int>{3, 4, 5}), fired);
    EXPECT_EQ(0u, t[0].triggered);
    EXPECT_EQ(0u, t[1].triggered);
    EXPECT_EQ(0u, t[2].triggered);
}

TEST_F(Offline, SeekKeysJumpOverTriggersAndNeverReArmThem)
{
    std::vector<Trigger> t = table({{1, 20}, {1, 30}, {2, 10}, {2, 20}, {2, 21}, {1, 20}});
    modplay_play();
    // One authoring-key press, with the program's own arithmetic.
    auto press = [](int plus, int minus, int shift) {
        Pos p = pos();
        ASSERT_EQ(1, runmode_seekTarget(plus, minus, shift, &p.order, &p.row));
        modplay_setCurrentPosition(p.order, p.row);
    };
    modplay_setCurrentPosition(1, 20);
    EXPECT_EQ((std::vector<int>{0, 5}), poll(t));  // both records of 1:20, in table order
    ASSERT_NO_FATAL_FAILURE(press(1, 0, 1));        // one order on: 2:20
    EXPECT_EQ(std::vector<int>{3}, poll(t));        // not 1:30 nor 2:10, which were jumped over
    ASSERT_NO_FATAL_FAILURE(press(0, 1, 0));        // 2:19
    EXPECT_EQ(std::vector<int>{}, poll(t));
    ASSERT_NO_FATAL_FAILURE(press(1, 0, 0));        // 2:20 again: already fired
    EXPECT_EQ(std::vector<int>{}, poll(t));
    ASSERT_NO_FATAL_FAILURE(press(1, 0, 0));        // 2:21
    EXPECT_EQ(std::vector<int>{4}, poll(t));
    ASSERT_NO_FATAL_FAILURE(press(0, 1, 1));        // back one order: 1:21
    ASSERT_NO_FATAL_FAILURE(press(0, 1, 0));        // 1:20
    EXPECT_EQ(std::vector<int>{}, poll(t));
    // Playing on from 1:20 reaches what the seek jumped over, each exactly once.
    std::vector<int> fired;
    for (int step = 0; step < 80; step++) {
        modplay_advance(0.02f);
        for (int i : poll(t)) fired.push_back(i);
    }
    EXPECT_EQ((std::vector<int>{1, 2}), fired);
}

TEST(ModplayFailure, CorruptModuleNamesIt)
{
    modplay_setMode(ModplayMode_Offline);
    const char junk[] = "this is not a tracker module at all";
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, modplay_initFromMemory(junk, int(sizeof junk), "srcdata/junk.mod"));
    EXPECT_EQ("Failed to load srcdata/junk.mod\n", testing::internal::GetCapturedStdout());
    modplay_deinit();
    Pos p = pos();
    EXPECT_EQ(0xFFFF, p.order);  // nothing loaded: a failed query
    modplay_setMode(ModplayMode_Live);
}

TEST(ModplayFailure, NoAudioDevice)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    std::vector<uint8_t> mod = tinymod_build(1);
    modplay_setMode(ModplayMode_Live);
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, modplay_initFromMemory(mod.data(), int(mod.size()), "tiny.mod"));
    EXPECT_EQ("Failed to initialize audio output device\nmodplay: no sound output (Audio target 'no-such-driver' not "
              "available); --mute plays the show without sound\n",
              testing::internal::GetCapturedStdout());
    modplay_deinit();
}

TEST(ModplayLive, HeardPositionFollowsRealTime)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    std::vector<uint8_t> mod = tinymod_build(4);
    modplay_setMode(ModplayMode_Live);
    ASSERT_EQ(1, modplay_initFromMemory(mod.data(), int(mod.size()), "tiny.mod"));
    Pos p = pos();
    EXPECT_EQ(0, p.order);
    EXPECT_EQ(0, p.row);
    auto t0 = std::chrono::steady_clock::now();
    modplay_play();
    int last = 0;
    for (int i = 0; i < 50; i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        p = pos();
        ASSERT_NE(0xFFFF, p.order);
        int linear = p.order * 64 + p.row;
        EXPECT_GE(linear, last);  // heard rows never go backwards
        last = linear;
    }
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    // 50 rows a second. The heard row never runs ahead of real time; how far it trails depends
    // on the device and the machine's load, so only progress is required.
    EXPECT_LE(last, int(secs * 50) + 2);
    EXPECT_GE(last, 5);
    modplay_setCurrentPosition(3, 0);
    p = pos();
    EXPECT_EQ(3, p.order);
    EXPECT_LE(p.row, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    p = pos();
    EXPECT_EQ(3, p.order);
    EXPECT_GE(p.row, 1);
    modplay_deinit();
}
