// The scenes' trigger tables over fixed-step runs, as the program plays them: at 60 frames a
// second every row is polled and every trigger fires once, at its own position; at 5 frames a
// second a frame spans more than a row, and a trigger whose row is stepped over never fires, not
// even late. The whole show still ends at the timeline's end marker (or, when that switch is
// stepped over, once the music has played out).
//
// Each run happens in a child process: a scene's triggers fire once per process.
// cmake-needs: datafile
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "effect.h"
#include "knot.h"
#include "modplay.h"
#include "objscene.h"
#include "progress.h"
#include "skull.h"
#include "spike.h"
#include "tendril.h"
#include "tor.h"
#include "wire.h"

#include "scene_env.h"

namespace {

// What a trigger does that shows in the scene's state right after its update: the timer it
// restarts reads exactly 0 until the after-presentation step advances it.
enum Event : uint8_t { Flash = 1, WireFlash = 2, Hide = 4, FadeOut = 8 };

struct Expected {
    const Effect* scene;
    uint16_t order, row;
    uint8_t event;
};

// The six scenes' tables, written out here so that a trigger moved in a scene is caught.
std::vector<Expected> expectedTriggers()
{
    std::vector<Expected> t = {
        {&Wire_effect, 5, 0, Flash},     {&Wire_effect, 6, 0, Flash},       {&Wire_effect, 7, 0, Flash},
        {&Wire_effect, 8, 0, Flash},     {&Wire_effect, 8, 58, Hide},       {&Spike_effect, 12, 0, Flash},
        {&Spike_effect, 12, 58, FadeOut}, {&Knot_effect, 14, 0, Flash},     {&Knot_effect, 14, 58, FadeOut},
        {&Skull_effect, 16, 0, Flash},   {&Skull_effect, 16, 58, FadeOut}, {&Tendril_effect, 22, 0, Flash},
        {&Tendril_effect, 22, 58, FadeOut}, {&FinalTorus_effect, 24, 56, FadeOut},
    };
    for (uint16_t row = 8; row <= 56; row += 4) t.push_back({&Wire_effect, 8, row, WireFlash});
    for (uint16_t row = 0; row <= 48; row += 8) t.push_back({&FinalTorus_effect, 24, row, Flash});
    return t;
}

// The events visible in the current scene's state (0 for scenes this test does not know).
uint8_t eventsOf(const Effect* scene, int* wireHidden)
{
    if (scene == &Wire_effect) {
        WireState s;
        wire_getState(&s);
        uint8_t e = (s.flash_timer == 0.0f ? Flash : 0) | (s.wire_flash_timer == 0.0f ? WireFlash : 0) |
                    (s.hide && !*wireHidden ? Hide : 0);
        *wireHidden = s.hide;
        return e;
    }
    void (*get)(ObjectSceneState*) = scene == &Spike_effect       ? spike_getState
                                     : scene == &Knot_effect      ? knot_getState
                                     : scene == &Skull_effect     ? skull_getState
                                     : scene == &Tendril_effect   ? tendril_getState
                                     : scene == &FinalTorus_effect ? tor_getState
                                                                   : nullptr;
    if (!get)
        return 0;
    ObjectSceneState s;
    get(&s);
    return uint8_t((s.flash_timer == 0.0f ? Flash : 0) | (s.fadeout_timer == 0.0f ? FadeOut : 0));
}

struct Frame {
    uint16_t order, row;  // polled by the scene's update
    const Effect* scene;  // the current effect (static records: the same address in both processes)
    const Effect* next;   // the one the timeline switches to next
    uint8_t events;
};

struct ShowRun {
    std::vector<Frame> frames;
    int ended = 0;     // 1: the timeline reached its end marker
    int musicOut = 0;  // 1: the music played out first
    uint16_t endOrder = 0, endRow = 0;
};

// The program's frame loop at a fixed step, without presentation and keys: update and render,
// the clock step (where the window advances the music), then the after-presentation step with
// the timeline's switch check. Ends as the program does: end marker, or music played out. With
// `only`, the run starts where that scene starts, as --start does, and stops when it hands over.
void playShow(int fps, const Effect* only, ShowRun* run)
{
    effect_register();
    progress_setTotal(effect_getCount() + 5);
    if (!effect_init())
        _exit(3);
    const float dt = 1.0f / float(fps);
    modplay_play();
    if (only) {
        modplay_setCurrentPosition(uint16_t(only->startOrder), uint16_t(only->startRow));
        effect_startAt(only->startOrder, only->startRow);
    } else {
        effect_start();
    }
    int wireHidden = 0;
    for (int frame = 0; frame < fps * 400; frame++) {
        Frame f;
        modplay_getCurrentPosition(&f.order, &f.row);
        const Effect* cur = effect_getCurrent();
        if (only && cur != only)
            return;
        f.scene = cur;
        f.next = effect_getNext();
        if (!effect_update(dt)) {
            run->ended = 1;
            run->endOrder = f.order;
            run->endRow = f.row;
            return;
        }
        f.events = eventsOf(cur, &wireHidden);
        run->frames.push_back(f);
        modplay_advance(dt);
        effect_postRetraceUpdate(dt);
        if (modplay_isFinished()) {
            run->musicOut = 1;
            return;
        }
    }
}

// Plays the show in a child process and brings its frames back through a pipe.
ShowRun playShowInChild(int fps, const Effect* only = nullptr)
{
    int fds[2];
    ShowRun run;
    if (pipe(fds) != 0)
        return run;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        ShowRun r;
        playShow(fps, only, &r);
        int header[5] = {int(r.frames.size()), r.ended, r.endOrder, r.endRow, r.musicOut};
        bool ok = write(fds[1], header, sizeof header) == ssize_t(sizeof header);
        const char* p = reinterpret_cast<const char*>(r.frames.data());
        size_t left = r.frames.size() * sizeof(Frame);
        while (ok && left > 0) {
            ssize_t n = write(fds[1], p, left);
            ok = n > 0;
            p += n > 0 ? n : 0;
            left -= n > 0 ? size_t(n) : 0;
        }
        _exit(ok ? 0 : 2);
    }
    close(fds[1]);
    int header[5] = {0, 0, 0, 0, 0};
    if (read(fds[0], header, sizeof header) == ssize_t(sizeof header)) {
        run.frames.resize(size_t(header[0]));
        run.ended = header[1];
        run.endOrder = uint16_t(header[2]);
        run.endRow = uint16_t(header[3]);
        run.musicOut = header[4];
        char* p = reinterpret_cast<char*>(run.frames.data());
        size_t left = run.frames.size() * sizeof(Frame);
        ssize_t n = 1;
        while (left > 0 && (n = read(fds[0], p, left)) > 0) {
            p += n;
            left -= size_t(n);
        }
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    return run;
}

std::string name(const Expected& e)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %u:%u", e.scene->name, e.order, e.row);
    return buf;
}

// Every frame shows exactly the events of the triggers of the current scene that sit on the
// polled position and have not fired yet. Returns, per expected trigger, whether it fired.
std::vector<bool> checkFrames(const ShowRun& run)
{
    std::vector<Expected> table = expectedTriggers();
    std::vector<bool> fired(table.size(), false);
    for (size_t k = 0; k < run.frames.size(); k++) {
        const Frame& f = run.frames[k];
        const Effect* scene = f.scene;
        uint8_t want = 0;
        for (size_t i = 0; i < table.size(); i++) {
            const Expected& e = table[i];
            if (e.scene == scene && !fired[i] && e.order == f.order && e.row == f.row) {
                want |= e.event;
                fired[i] = true;
            }
        }
        EXPECT_EQ(want, f.events) << "frame " << k << " at " << f.order << ":" << f.row << " in "
                                  << (scene && scene->name ? scene->name : "?");
        if (want != f.events)
            break;  // one report is enough; the rest would follow from it
    }
    return fired;
}

}  // namespace

TEST(ShowTriggers, EveryTriggerFiresOnceAtItsPositionAt60Fps)
{
    ShowRun run = playShowInChild(60);
    ASSERT_GT(run.frames.size(), 10000u);
    std::vector<Expected> table = expectedTriggers();
    std::vector<bool> fired = checkFrames(run);
    for (size_t i = 0; i < table.size(); i++)
        EXPECT_TRUE(fired[i]) << name(table[i]) << " never fired";
    EXPECT_EQ(1, run.ended);
    EXPECT_EQ(27, run.endOrder);
    EXPECT_EQ(8, run.endRow);
}

// How many triggers of the scenes that ran were never fired.
int countUnfired(const ShowRun& run, const std::vector<bool>& fired)
{
    std::vector<Expected> table = expectedTriggers();
    int unfired = 0;
    for (size_t i = 0; i < table.size(); i++) {
        bool sceneRan = false;
        for (const Frame& f : run.frames)
            sceneRan |= f.scene == table[i].scene;
        unfired += sceneRan && !fired[i];
    }
    return unfired;
}

TEST(ShowTriggers, SteppedOverRowsNeverFireAt5Fps)
{
    // 0.2 s a frame against 0.12 s a row: one row in three or so is never polled. Each scene
    // from its own start, so that it runs whatever the switches before it do at this rate.
    int steppedOver = 0;
    for (const Effect* scene : {&Wire_effect, &Spike_effect, &Knot_effect, &Skull_effect, &Tendril_effect,
                                &FinalTorus_effect}) {
        ShowRun run = playShowInChild(5, scene);
        ASSERT_GT(run.frames.size(), 20u) << scene->name;
        steppedOver += countUnfired(run, checkFrames(run));
    }
    // The checks only mean something if rows with triggers were stepped over.
    EXPECT_GE(steppedOver, 3);

    // The whole show: a stepped-over switch leaves a scene running past its time, and the timeline
    // ends when 27:8 is polled with the end marker next; otherwise the run goes on until the music
    // has played out.
    ShowRun run = playShowInChild(5);
    ASSERT_GT(run.frames.size(), 900u);
    checkFrames(run);
    bool endDue = false;
    for (const Frame& f : run.frames)
        endDue |= f.order == 27 && f.row == 8 && f.next && !f.next->name;
    if (endDue) {
        EXPECT_EQ(1, run.ended);
        EXPECT_EQ(27, run.endOrder);
        EXPECT_EQ(8, run.endRow);
    } else {
        EXPECT_EQ(0, run.ended);
        EXPECT_EQ(1, run.musicOut);
    }
}
