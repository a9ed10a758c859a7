// The show's services for scene-level tests, brought up once per test program: the real
// datafile mounted, its music loaded on the offline clock, a headless 320 x 200 window, the math
// tables and the renderer.
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

class ShowEnv : public ::testing::Environment {
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
