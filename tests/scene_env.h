// The engine as the scene suites need it: the real datafile mounted, offline music, a headless
// 8-bit video mode at a fixed 60 Hz step, math tables and the renderer. Include once per suite.
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

}  // namespace scene_test
