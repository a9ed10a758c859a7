// The facade: the program's one window as plain functions.
#include "glint_interface.h"

#include "log.h"

static Glint::Window s_window;
static bool s_headless = false;
static int s_fixedStep = 0;
static bool s_vsync = false;
static void (*s_frameHook)(const uint32_t*, float, void*) = nullptr;
static void* s_frameHookUser = nullptr;

static const char* const WindowTitle = "tidewater - cobalt mill";

int glint_init(int width, int height, int fullscreen, int scale)
{
    if (fullscreen)
        scale = 1;
    if (s_window.IsOpen()) {
        log_stdio("glint: the window is already open\n");
        return 0;
    }
    if (width <= 0 || height <= 0 || scale <= 0) {
        log_stdio("glint: cannot open a %d x %d window at scale %d\n", width, height, scale);
        return 0;
    }
    s_window.SetHeadless(s_headless);
    s_window.SetFixedStep(s_fixedStep);
    s_window.SetVsync(s_vsync);
    // Full screen keeps the aspect ratio; a windowed run always uses the integer scale.
    if (!s_window.Open(WindowTitle, width, height, fullscreen != 0, fullscreen != 0, scale))
        return 0;  // the platform half has said why
    s_window.ShowMouseCursor(false);
    return 1;
}

void glint_deinit(void)
{
    if (!s_window.IsOpen())
        return;
    s_window.ShowMouseCursor(true);
    s_window.Close();
}

void glint_update(void)
{
    if (!s_window.IsOpen())
        return;
    s_window.Update();
    if (s_frameHook)
        s_frameHook(s_window.GetPixels(), s_window.GetDelta(), s_frameHookUser);
}

uint32_t* glint_getBuffer(void)
{
    return s_window.IsOpen() ? s_window.GetPixels() : nullptr;
}

void glint_get_mouse(int* x, int* y)
{
    *x = s_window.GetMouseX();
    *y = s_window.GetMouseY();
}

bool glint_keyDown(GlintKey key)
{
    return s_window.HasKeyGoneDown(key);
}

bool glint_key(GlintKey key)
{
    return s_window.IsKeyDown(key);
}

float glint_getDelta(void)
{
    return s_window.GetDelta();
}

float glint_getTime(void)
{
    return s_window.GetTime();
}

void glint_setHeadless(int headless)
{
    s_headless = headless != 0;
}

void glint_setFixedStep(int fps)
{
    s_fixedStep = fps > 0 ? fps : 0;
    if (!s_window.IsOpen())
        s_window.SetFixedStep(s_fixedStep);
}

int glint_isFixedStep(void)
{
    return s_fixedStep > 0;
}

int glint_isHeadless(void)
{
    return s_headless;
}

void glint_setVsync(int on)
{
    s_vsync = on != 0;
}

void glint_setFrameHook(void (*hook)(const uint32_t* surface, float dt, void* user), void* user)
{
    s_frameHook = hook;
    s_frameHookUser = user;
}

int glint_isOpen(void)
{
    return s_window.IsOpen();
}

int glint_wasClosed(void)
{
    return s_window.WasClosed();
}

Glint::Window* glint_getWindow(void)
{
    return &s_window;
}
