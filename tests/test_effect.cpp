// The timeline with fake scenes, driven by the real player and a headless fixed-step window.
#include "effect.h"

#include "glint_interface.h"
#include "modplay.h"
#include "progress.h"
#include "runmode.h"
#include "timer.h"
#include "video.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tinymod.h"

namespace {

std::vector<std::string> s_log;

// Each fake scene logs its calls as "<name>.<call>".
#define FAKE_SCENE(N, ORDER, ROW, INITRESULT)                                              \
    int N##_init() { s_log.push_back(#N ".init"); return INITRESULT; }                      \
    void N##_deinit() { s_log.push_back(#N ".deinit"); }                                    \
    void N##_update(float) { s_log.push_back(#N ".update"); }                               \
    void N##_post(float) { s_log.push_back(#N ".post"); }                                   \
    void N##_render() { s_log.push_back(#N ".render"); }                                    \
    void N##_start() { s_log.push_back(#N ".start"); }                                      \
    Effect N##_fx = {#N, N##_init, N##_deinit, N##_update, N##_post, N##_render, N##_start, \
                     true, ORDER, ROW};

FAKE_SCENE(A, 0, 0, 1)
FAKE_SCENE(B, 0, 8, 1)
FAKE_SCENE(C, 1, 0, 1)
FAKE_SCENE(D, 1, 0, 1)
FAKE_SCENE(Bad, 2, 0, 0)
FAKE_SCENE(X, 9, 4, 1)
FAKE_SCENE(Y, 9, 2, 1)
FAKE_SCENE(Z, 9, 8, 1)
FAKE_SCENE(Q, 5, 8, 1)
FAKE_SCENE(R, 5, 2, 1)
FAKE_SCENE(E, 1, 8, 1)
FAKE_SCENE(F, 2, 0, 1)

int count(const char* entry)
{
    int n = 0;
    for (auto& s : s_log) n += s == entry;
    return n;
}

class Timeline : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        glint_setHeadless(1);
        glint_setFixedStep(50);  // one row per frame at speed 1
        ASSERT_EQ(1, video_init(1, 0, 1));
    }
    static void TearDownTestSuite() { video_deinit(); }
    void SetUp() override
    {
        s_log.clear();
        modplay_setMode(ModplayMode_Offline);
        std::vector<uint8_t> mod = tinymod_build(28);
        ASSERT_EQ(1, modplay_initFromMemory(mod.data(), int(mod.size()), "tiny.mod"));
        glint_setFrameHook([](const uint32_t*, float dt, void*) { modplay_advance(dt); }, nullptr);
    }
    void TearDown() override
    {
        glint_setFrameHook(nullptr, nullptr);
        effect_deinit();
        modplay_deinit();
    }
    // One iteration of the frame loop; returns effect_update's result.
    static int frame()
    {
        float dt = timer_update();
        int running = effect_update(dt);
        video_present(dt);
        effect_postRetraceUpdate(dt);
        return running;
    }
    static void begin()
    {
        timer_start();
        modplay_play();
        effect_start();
    }
};

}  // namespace

TEST_F(Timeline, RegistrationInitAndDeinitOrder)
{
    Effect* list[] = {&C_fx, &Bad_fx, &A_fx, &B_fx};
    effect_registerList(list, 4, nullptr);
    ASSERT_EQ(5, effect_getCount());
    const Effect* end = effect_get(4);
    EXPECT_EQ(nullptr, end->name);
    EXPECT_EQ(27, end->startOrder);
    EXPECT_EQ(8, end->startRow);
    EXPECT_EQ(nullptr, end->init);

    progress_setTotal(effect_getCount() + 5);
    int before = progress_getCurrent();
    // A failing init does not stop the others; everything is initialised, the result is 0.
    EXPECT_EQ(0, effect_init());
    EXPECT_EQ(before + 5, progress_getCurrent());  // one step per entry, end marker included
    EXPECT_EQ((std::vector<std::string>{"C.init", "Bad.init", "A.init", "B.init"}), s_log);
    EXPECT_FALSE(A_fx.started);  // init clears the flag the record came with
    s_log.clear();
    effect_deinit();
    EXPECT_EQ((std::vector<std::string>{"C.deinit", "Bad.deinit", "A.deinit", "B.deinit"}), s_log);
    Effect* again[] = {&A_fx};
    effect_registerList(again, 1, nullptr);  // TearDown deinits a live list
}

TEST_F(Timeline, ShowTimelineRegistersEveryScene)
{
    effect_register();
    // Registration order fixes init, deinit and the loading bar; the end marker comes last.
    const std::vector<std::string> names = {"FinalTorus", "Skull", "Tendril", "Knot", "Spike", "Wire",
                                            "Credits", "QxLogo", "Tunnel", "Plane", "Rings"};
    ASSERT_EQ((int)names.size() + 1, effect_getCount());
    for (size_t i = 0; i < names.size(); i++)
        EXPECT_EQ(names[i], effect_get((int)i)->name) << "entry " << i;
    const Effect* end = effect_get((int)names.size());
    EXPECT_EQ(nullptr, end->name);
    EXPECT_EQ(27, end->startOrder);
    EXPECT_EQ(8, end->startRow);
    // Credits opens the show at 0:0, whatever the registration order.
    effect_start();
    ASSERT_NE(nullptr, effect_getCurrent());
    EXPECT_STREQ("Credits", effect_getCurrent()->name);
    EXPECT_EQ(0, effect_getCurrent()->startOrder);
    EXPECT_EQ(0, effect_getCurrent()->startRow);
}

TEST_F(Timeline, NextEffectTieBreaks)
{
    // Same start: the first registered wins.
    {
        Effect* list[] = {&A_fx, &D_fx, &C_fx};
        effect_registerList(list, 3, &A_fx);
        effect_start();
        EXPECT_EQ(&D_fx, effect_getNext());
    }
    // Same order, different rows, after an earlier order: the smaller row, whatever the order
    // of registration.
    {
        Effect* list[] = {&A_fx, &Q_fx, &R_fx};
        effect_registerList(list, 3, &A_fx);
        effect_start();
        EXPECT_EQ(&R_fx, effect_getNext());
    }
    // Rows of the current effect are not compared: an entry of the same order with an earlier
    // row is the next one.
    {
        Effect* list[] = {&Z_fx, &X_fx, &Y_fx};
        effect_registerList(list, 3, &X_fx);
        effect_start();
        EXPECT_EQ(&Y_fx, effect_getNext());
    }
    // The end marker follows the last scene, and nothing follows the end marker.
    {
        Effect* list[] = {&A_fx};
        effect_registerList(list, 1, &A_fx);
        effect_start();
        ASSERT_NE(nullptr, effect_getNext());
        EXPECT_EQ(27, effect_getNext()->startOrder);
        effect_startAt(27, 8);
        EXPECT_TRUE(effect_isEnded());
        EXPECT_EQ(nullptr, effect_getNext());
    }
}

TEST_F(Timeline, SwitchesAtExactPositionsAndEnds)
{
    Effect* list[] = {&F_fx, &E_fx, &A_fx};
    effect_registerList(list, 3, &A_fx);
    progress_setTotal(effect_getCount() + 5);
    ASSERT_EQ(1, effect_init());
    s_log.clear();
    begin();
    EXPECT_EQ(&A_fx, effect_getCurrent());
    EXPECT_EQ(&E_fx, effect_getNext());
    // First frame: start, update, render, then the after-presentation step.
    ASSERT_EQ(1, frame());
    EXPECT_EQ((std::vector<std::string>{"A.start", "A.update", "A.render", "A.post"}), s_log);
    int frames = 1;
    uint16_t order = 0, row = 0;
    while (effect_getCurrent() == &A_fx && frames < 200) {
        frame();
        frames++;
    }
    // The switch happened in the after-presentation step of the frame whose poll read 1:8.
    modplay_getCurrentPosition(&order, &row);
    EXPECT_EQ(1, order);
    EXPECT_EQ(8, row);
    EXPECT_NEAR(72, frames, 1);
    EXPECT_EQ(&E_fx, effect_getCurrent());
    EXPECT_EQ(0, count("E.start"));  // E is drawn from the next frame on
    frame();
    EXPECT_EQ(1, count("E.start"));
    // Seeking forward past F's start does not start F.
    modplay_setCurrentPosition(2, 10);
    frame();
    frame();
    EXPECT_EQ(&E_fx, effect_getCurrent());
    // A poll landing exactly on it does.
    modplay_setCurrentPosition(2, 0);
    effect_postRetraceUpdate(0.0f);
    EXPECT_EQ(&F_fx, effect_getCurrent());
    frame();
    // Seeking back does not bring E back, and nothing is started twice.
    modplay_setCurrentPosition(1, 8);
    effect_postRetraceUpdate(0.0f);
    frame();
    EXPECT_EQ(&F_fx, effect_getCurrent());
    EXPECT_EQ(1, count("A.start"));
    EXPECT_EQ(1, count("E.start"));
    EXPECT_EQ(1, count("F.start"));
    // Play to the end marker: update returns 0 and calls nothing.
    modplay_setCurrentPosition(27, 0);
    int guard = 0;
    while (!effect_isEnded() && guard++ < 200) frame();
    ASSERT_TRUE(effect_isEnded());
    modplay_getCurrentPosition(&order, &row);
    EXPECT_EQ(27, order);
    EXPECT_EQ(8, row);
    size_t calls = s_log.size();
    EXPECT_EQ(0, effect_update(0.02f));
    effect_postRetraceUpdate(0.02f);
    EXPECT_EQ(calls, s_log.size());
}

TEST_F(Timeline, StartAtPicksTheCoveringScene)
{
    Effect* list[] = {&C_fx, &B_fx, &A_fx, &Q_fx};
    effect_registerList(list, 4, &A_fx);
    effect_startAt(0, 7);
    EXPECT_EQ(&A_fx, effect_getCurrent());
    effect_startAt(0, 8);
    EXPECT_EQ(&B_fx, effect_getCurrent());
    effect_startAt(3, 0);
    EXPECT_EQ(&C_fx, effect_getCurrent());
    EXPECT_EQ(&Q_fx, effect_getNext());
    effect_startAt(30, 0);
    EXPECT_TRUE(effect_isEnded());
}

// A hidden browser tab: the music played on past several switches without a poll.
TEST_F(Timeline, CatchUpMovesOnlyForwardToTheCoveringScene)
{
    Effect* list[] = {&F_fx, &C_fx, &A_fx, &Q_fx};
    effect_registerList(list, 4, &A_fx);
    effect_start();
    effect_catchUp(0, 63);  // still A's range
    EXPECT_EQ(&A_fx, effect_getCurrent());
    effect_catchUp(3, 5);  // past C's and F's starts
    EXPECT_EQ(&F_fx, effect_getCurrent());
    EXPECT_EQ(&Q_fx, effect_getNext());
    effect_catchUp(1, 9);  // never back
    EXPECT_EQ(&F_fx, effect_getCurrent());
    effect_catchUp(0xFFFF, 0xFFFF);  // the music played out
    EXPECT_TRUE(effect_isEnded());
    // The show's own timeline, unregistered: eleven scenes, then the end marker at 27:8.
    int n = 0;
    while (effect_timelineEntry(n) && effect_timelineEntry(n)->name)
        n++;
    EXPECT_EQ(11, n);
    ASSERT_NE(nullptr, effect_timelineEntry(11));
    EXPECT_EQ(27, effect_timelineEntry(11)->startOrder);
    EXPECT_EQ(8, effect_timelineEntry(11)->startRow);
    EXPECT_EQ(nullptr, effect_timelineEntry(12));
}

TEST_F(Timeline, SeekKeysSeekOncePerPress)
{
    Effect* list[] = {&A_fx};
    effect_registerList(list, 1, &A_fx);
    Glint::Window* w = glint_getWindow();
    begin();
    modplay_setCurrentPosition(10, 63);
    uint16_t order, row;
    auto press = [&](int vk, bool shift) {
        glint_update();  // a frame with the keys up
        w->SetKeyDown(0xA0, shift);
        w->SetKeyDown(vk, true);
        modplay_setCurrentPosition(order, row);  // undo the frame's music step
        runmode_seekKeys();
        modplay_getCurrentPosition(&order, &row);
    };
    order = 10;
    row = 63;
    press(0xBB, false);
    EXPECT_EQ(11, order);
    EXPECT_EQ(0, row);
    // Held: later frames do not repeat the seek.
    glint_update();
    modplay_setCurrentPosition(order, row);
    runmode_seekKeys();
    modplay_getCurrentPosition(&order, &row);
    EXPECT_EQ(11, order);
    EXPECT_EQ(0, row);
    w->SetKeyDown(0xBB, false);
    order = 10;
    row = 20;
    press(0xBB, true);
    EXPECT_EQ(11, order);
    EXPECT_EQ(20, row);
    w->SetKeyDown(0xBB, false);
    order = 10;
    row = 0;
    press(0xBD, false);
    EXPECT_EQ(9, order);
    EXPECT_EQ(0, row);
    w->SetKeyDown(0xBD, false);
    order = 0;
    row = 5;
    press(0xBD, true);
    EXPECT_EQ(0, order);
    EXPECT_EQ(5, row);
    w->SetKeyDown(0xBD, false);
    w->SetKeyDown(0xA0, false);
    // Seeking never changes the current effect by itself.
    EXPECT_EQ(&A_fx, effect_getCurrent());
}
