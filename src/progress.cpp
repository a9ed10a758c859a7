// The loading bar: a one-pixel outline whose inside fills from the left, centred in the frame,
// presented at every step; after the last step it collapses to a line, shrinks to a point and
// fades out.
#include "progress.h"

#include <chrono>
#include <cstdint>
#include <thread>

#include "fround.h"
#include "glint_interface.h"
#include "timer.h"
#include "util.h"
#include "video.h"

static int s_total = 0;
static int s_current = 0;
static int s_colour = 255;  // grey level of the bar in a 32-bit frame buffer

// Reciprocal of a phase's 0.15 s, as the stored single-precision value.
static const float PhaseLength = 0.15f;
static const float PhaseRate = 6.6666665f;

static void drawBar(int w, int h)
{
    uint8_t* buffer = video_getBuffer(0);
    if (!buffer)
        return;
    int left = (320 - w) >> 1;
    int top = (200 - h) >> 1;
    // Loading runs in truncation: the float operations here round in the current mode.
    float f = s_total > 0 ? fround_div((float)s_current, (float)s_total) : 0.0f;
    if (video_getCurrentBpp() == 8) {
        util_clear(buffer, 0, 16000);
        for (int y = 0; y < h; y++) {
            uint8_t* row = buffer + (top + y) * 320 + left;
            bool edgeRow = y == 0 || y == h - 1;
            for (int x = 0; x < w; x++)
                if (fround_div((float)x, (float)w) < f || x == 0 || x == w - 1 || edgeRow)
                    row[x] = 1;
        }
    } else if (video_getCurrentBpp() == 32) {
        uint32_t* words = (uint32_t*)buffer;
        uint32_t c = (uint32_t)s_colour & 0xFF;
        uint32_t pixel = (c << 16) | (c << 8) | c;
        util_clear(words, 0, 64000);
        for (int y = 0; y < h; y++) {
            uint32_t* row = words + (top + y) * 320 + left;
            bool edgeRow = y == 0 || y == h - 1;
            for (int x = 0; x < w; x++)
                if (fround_div((float)x, (float)w) < f || x == 0 || x == w - 1 || edgeRow)
                    row[x] = pixel;
        }
    }
    video_present(0.0f);
}

void progress_setTotal(int total)
{
    s_total = total;
    s_current = 0;
    s_colour = 255;
    if (video_getCurrentBpp() == 8) {
        video_setPal(0, 0, 0, 0);
        video_setPal(1, 63, 63, 63);
    }
    drawBar(BarWidth, BarHeight);
}

// k = 1 - e / 0.15 limited to 0..1, e the frame-clock time since the phase began.
static float phaseK(float start, float* e)
{
    *e = fround_sub(timer_getTime(), start);
    float k = fround_sub(1.0f, fround_mul(*e, PhaseRate));
    if (k < 0.0f)
        k = 0.0f;
    if (k > 1.0f)
        k = 1.0f;
    return k;
}

static void closingAnimation(void)
{
    // Each drawBar presents a frame, which is what advances the frame clock. The conversions
    // truncate toward zero whatever the rounding mode (loading runs with truncation anyway).
    float e;
    float start = timer_getTime();
    do {
        float k = phaseK(start, &e);
        float height = fround_mul(k, (float)BarHeight);
        if (height < 1.0f)
            height = 1.0f;
        drawBar(BarWidth, (int)height);
    } while (e <= PhaseLength && !glint_wasClosed());

    start = timer_getTime();
    do {
        float k = phaseK(start, &e);
        float width = fround_mul(k, (float)BarWidth);
        if (width < 1.0f)
            width = 1.0f;
        drawBar((int)width, 1);
        if (video_getCurrentBpp() == 8) {
            float g = fround_mul(k, 63.0f);
            if (g > 63.0f)
                g = 63.0f;
            uint8_t grey = (uint8_t)(int)g;
            video_setPal(1, grey, grey, grey);
        } else {
            float c = fround_mul(k, 255.0f);
            if (c > 255.0f)
                c = 255.0f;
            s_colour = (int)c;
        }
        video_present(0.0f);
    } while (e <= PhaseLength && !glint_wasClosed());

    if (video_getCurrentBpp() == 8)
        util_clear(video_getBuffer(0), 0, 16000);
}

void progress_inc(void)
{
    // Each step is held for 50 ms of wall time; in fixed-step runs wall time means nothing. In the
    // browser loading runs before the page gets its turn to show anything: holding would only
    // keep the page frozen longer.
    // Once the window is closed nobody watches: the rest of loading runs without holding or
    // animating, so the run ends promptly.
    const bool watched = !glint_wasClosed();
    if (glint_presentsAtOnce() && !glint_isFixedStep() && watched)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    s_current++;
    if (s_current > s_total)
        s_current = s_total;
    drawBar(BarWidth, BarHeight);
    // Without a window the frame clock never moves: there is nothing to animate.
    if (s_current == s_total && glint_isOpen() && video_getBuffer(0) && watched)
        closingAnimation();
}

int progress_getCurrent(void)
{
    return s_current;
}

int progress_getTotal(void)
{
    return s_total;
}
