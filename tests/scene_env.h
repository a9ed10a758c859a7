// The engine as the scene suites need it: the real datafile mounted, offline music, a headless
// 8-bit video mode at a fixed 60 Hz step, math tables and the renderer, and the helpers that step a
// scene. Include once per suite.
#pragma once

#include <gtest/gtest.h>

#include "file.h"
#include "glint_interface.h"
#include "log.h"
#include "math.h"
#include "mem.h"
#include "modplay.h"
#include "r3d.h"
#include "util.h"
#include "effect.h"
#include "video.h"

namespace scene_test {

class Env : public ::testing::Environment {
public:
    void SetUp() override
    {
        util_fpuInit();
        log_init(0);
        mem_init();
        file_mountData(TIDEWATER_DATAFILE);
        modplay_setMode(ModplayMode_Offline);
        ASSERT_EQ(modplay_init("srcdata/s32.mod"), 1);
        glint_setHeadless(1);
        glint_setFixedStep(60);
        ASSERT_EQ(video_init(1, 0, 1), 1);
        math_init();
        r3d_init();
        util_fpuSetFullMode();
    }
    void TearDown() override
    {
        r3d_deinit();
        math_deinit();
        video_deinit();
        modplay_deinit();
        file_unmountData();
    }
};
inline const auto* const s_env = ::testing::AddGlobalTestEnvironment(new Env);

// The fixed step the environment runs at.
inline const float Dt = 1.0f / 60.0f;

// Seeks the music and checks the module has that position.
inline void at(int order, int row)
{
    modplay_setCurrentPosition((uint16_t)order, (uint16_t)row);
    uint16_t o, r;
    modplay_getCurrentPosition(&o, &r);
    ASSERT_EQ(o, order);
    ASSERT_EQ(r, row);
}

// One frame as the timeline runs it (presentation left out: it does not touch scene state).
inline void frame(Effect& e, float dt)
{
    e.update(dt);
    e.render();
    e.postRetraceUpdate(dt);
}

}  // namespace scene_test
