// Frame intervals from the window's frame clock.
#include "timer.h"

#include <chrono>
#include <thread>

#include "fround.h"
#include "glint_interface.h"

static float s_lastTime = 0.0f;
static float s_elapsed = 0.0f;

void timer_init(void)
{
}

void timer_deinit(void)
{
}

void timer_start(void)
{
    s_lastTime = glint_getTime();
}

float timer_getTime(void)
{
    return glint_getTime();
}

float timer_getElapsedTime(void)
{
    return s_elapsed;
}

float timer_update(void)
{
    float t = glint_getTime();
    float d = fround_sub(t, s_lastTime);  // the first frame's runs in the truncating mode
    s_elapsed = fround_add(s_elapsed, d);
    s_lastTime = t;
    return d;
}

void timer_delay(float seconds)
{
    // The clock only moves with window updates, so the wait keeps the window updating (and
    // its events flowing). Without a window there is no clock to wait on.
    if (!glint_isOpen())
        return;
    float start = glint_getTime();
    while (glint_getTime() - start <= seconds) {
        if (!glint_isFixedStep())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        glint_update();
    }
}
