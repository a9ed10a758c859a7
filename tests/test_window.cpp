// The real window path, driven from outside (see scripts/window-check): with
// TIDEWATER_WINDOW_OUT set, the loading bar is drawn once headless and once in an SDL window at
// scale 2; both surfaces are written as PPM, then the window stays up until Escape arrives.
// Without the variable the driver is skipped, so ordinary test runs need no display.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <SDL.h>

#include "glint_interface.h"
#include "kb.h"
#include "progress.h"
#include "util.h"
#include "video.h"

namespace {

bool writePpm(const std::string& path, const uint32_t* surface)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    fprintf(f, "P6\n320 200\n255\n");
    for (int i = 0; i < 64000; i++) {
        uint32_t p = surface[i];
        unsigned char rgb[3] = {(unsigned char)(p >> 16), (unsigned char)(p >> 8), (unsigned char)p};
        fwrite(rgb, 1, 3, f);
    }
    return fclose(f) == 0;
}

void drawLoadingBar()
{
    progress_setTotal(17);
    for (int i = 0; i < 8; i++)
        progress_inc();
}

}  // namespace

TEST(WindowDriver, LoadingBarUntilEscape)
{
    const char* out = getenv("TIDEWATER_WINDOW_OUT");
    if (!out || !*out)
        GTEST_SKIP() << "set TIDEWATER_WINDOW_OUT (scripts/window-check does) to drive the window";
    std::string dir = out;
    util_fpuSetFullMode();

    // The same frame headless: the reference picture.
    glint_setHeadless(1);
    glint_setFixedStep(60);
    ASSERT_EQ(video_init(1, 0, 2), 1);
    drawLoadingBar();
    ASSERT_TRUE(writePpm(dir + "/headless.ppm", glint_getBuffer()));
    video_deinit();

    // The window: 640 x 400 at the default scale 2, live clock.
    glint_setHeadless(0);
    glint_setFixedStep(0);
    ASSERT_EQ(video_init(1, 0, 2), 1) << "no window (is DISPLAY set?)";
    Glint::Window* w = glint_getWindow();
    EXPECT_EQ(w->GetWindowWidth(), 640u);
    EXPECT_EQ(w->GetWindowHeight(), 400u);
    drawLoadingBar();
    ASSERT_TRUE(writePpm(dir + "/window-surface.ppm", glint_getBuffer()));
    FILE* ready = fopen((dir + "/ready").c_str(), "w");
    ASSERT_NE(ready, nullptr);
    fclose(ready);

    // Keep presenting until Escape goes down (or the window is closed), at most 60 s.
    auto start = std::chrono::steady_clock::now();
    bool escape = false;
    int frames = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
        video_present(0.0f);
        frames++;
        if (kb_keyDown(0x1B)) {
            escape = true;
            break;
        }
        SDL_Delay(10);
    }
    bool closed = glint_wasClosed();
    video_deinit();
    EXPECT_TRUE(escape) << "Escape never arrived";
    printf("window: %s after %d frames\n", closed ? "closed from outside" : "Escape went down", frames);
}
