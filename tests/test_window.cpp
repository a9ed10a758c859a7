// The real window path, driven from outside (see scripts/window-check): with
// TIDEWATER_WINDOW_OUT set, two frames are drawn once headless and once in an SDL window at
// scale 2 (the loading bar, then a full-colour frame that shows any channel mix-up); every
// surface is written as PPM. The window shows frame 1 until the file "next" appears, then frame
// 2 until Escape arrives. Without the variable the driver is skipped, so ordinary test runs need
// no display.
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
#include "vector4.h"
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

void drawColourFrame()
{
    uint8_t palette[768];
    vec4 s0 = {0, 0, 0, 0}, s1 = {63, 0, 0, 0}, s2 = {0, 63, 0, 0}, s3 = {0, 0, 63, 0}, s4 = {63, 63, 20, 0};
    video_makePaletteStops(s0, s1, s2, s3, s4, palette);
    video_setPalette(palette);
    uint8_t* b = video_getBuffer(0);
    for (int y = 0; y < 200; y++)
        for (int x = 0; x < 320; x++)
            b[y * 320 + x] = (uint8_t)((x * 4 / 5 + (y / 25) * 32) & 255);
    video_drawPalette();
    video_present(0.0f);
}

bool exists(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "r");
    if (f)
        fclose(f);
    return f != nullptr;
}

void touch(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
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
    ASSERT_TRUE(writePpm(dir + "/headless1.ppm", glint_getBuffer()));
    drawColourFrame();
    ASSERT_TRUE(writePpm(dir + "/headless2.ppm", glint_getBuffer()));
    video_deinit();

    // The window: 640 x 400 at the default scale 2 (or full screen with TIDEWATER_WINDOW_FULLSCREEN
    // set), live clock.
    const char* full = getenv("TIDEWATER_WINDOW_FULLSCREEN");
    bool fullscreen = full && *full && *full != '0';
    glint_setHeadless(0);
    glint_setFixedStep(0);
    ASSERT_EQ(video_init(1, fullscreen, 2), 1) << "no window (is DISPLAY set?)";
    Glint::Window* w = glint_getWindow();
    if (!fullscreen) {
        EXPECT_EQ(w->GetWindowWidth(), 640u);
        EXPECT_EQ(w->GetWindowHeight(), 400u);
    }
    printf("window: %u x %u, scale %d, picture %.4f x %.4f per pixel\n", w->GetWindowWidth(), w->GetWindowHeight(),
           w->GetScale(), (double)w->GetScaleX(), (double)w->GetScaleY());
    drawLoadingBar();
    ASSERT_TRUE(writePpm(dir + "/window-surface1.ppm", glint_getBuffer()));
    touch(dir + "/ready1");

    // Keep presenting (frame 1, then frame 2 once asked) until Escape goes down or the window
    // is closed; at most 60 s.
    auto start = std::chrono::steady_clock::now();
    bool escape = false, second = false;
    int frames = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
        if (!second && exists(dir + "/next")) {
            drawColourFrame();
            ASSERT_TRUE(writePpm(dir + "/window-surface2.ppm", glint_getBuffer()));
            touch(dir + "/ready2");
            second = true;
        }
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
