// Glint::Window, browser half: the page's canvas (#canvas, 320 x 200 backing store; the page scales
// it with crisp pixels), keyboard and mouse events from the browser, and the frame loop driven by
// the browser's animation frames.
//
// Built into the web build only. The canvas is the window: geometry is computed for a window of
// scale 1 (the page does the scaling and full screen), the surface is converted to RGBA and put
// into the canvas once per update.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <cstdio>
#include <cstring>

#include "glint.h"
#include "glint_interface.h"

namespace Glint {

static Window* s_owner;  // the window the browser's events go to (one per program)
static uint8_t* s_rgba;  // the surface as the canvas wants it: R, G, B, A bytes

static EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* e, void*)
{
    if (!s_owner)
        return EM_FALSE;
    int vk = TranslateKeyCodeName(e->code);
    if (vk)
        s_owner->SetKeyDown(vk, type == EMSCRIPTEN_EVENT_KEYDOWN);
    // Typed characters: one printable ASCII character per key press (key names are longer).
    if (type == EMSCRIPTEN_EVENT_KEYDOWN && e->key[0] && !e->key[1] && !e->ctrlKey && !e->metaKey)
        s_owner->AddInputCharacter(e->key[0]);
    // The show's own keys do nothing else in the page; every other key keeps its browser meaning.
    return vk == 0x1B || vk == 0xBB || vk == 0xBD || vk == 0x20 || (vk >= 0x25 && vk <= 0x28) ? EM_TRUE : EM_FALSE;
}

static EM_BOOL onMouse(int type, const EmscriptenMouseEvent* e, void*)
{
    if (!s_owner)
        return EM_FALSE;
    // Canvas coordinates in CSS pixels to surface pixels, whatever size the page shows it at.
    double cssW = 0, cssH = 0;
    emscripten_get_element_css_size("#canvas", &cssW, &cssH);
    if (cssW > 0 && cssH > 0)
        s_owner->SetMousePosition((int)(e->targetX * s_owner->GetWidth() / cssW),
                                  (int)(e->targetY * s_owner->GetHeight() / cssH));
    if (type == EMSCRIPTEN_EVENT_MOUSEDOWN || type == EMSCRIPTEN_EVENT_MOUSEUP) {
        bool down = type == EMSCRIPTEN_EVENT_MOUSEDOWN;
        if (e->button == 0)
            s_owner->SetMouseButtonDown(MouseButton_Left, down);
        else if (e->button == 1)
            s_owner->SetMouseButtonDown(MouseButton_Middle, down);
        else if (e->button == 2)
            s_owner->SetMouseButtonDown(MouseButton_Right, down);
    }
    return EM_FALSE;
}

// Starts (or stops) taking the browser's keyboard and mouse events.
static void listen(bool on)
{
    const char* target = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_keydown_callback(target, nullptr, EM_TRUE, on ? onKey : nullptr);
    emscripten_set_keyup_callback(target, nullptr, EM_TRUE, on ? onKey : nullptr);
    emscripten_set_mousemove_callback("#canvas", nullptr, EM_TRUE, on ? onMouse : nullptr);
    emscripten_set_mousedown_callback("#canvas", nullptr, EM_TRUE, on ? onMouse : nullptr);
    emscripten_set_mouseup_callback("#canvas", nullptr, EM_TRUE, on ? onMouse : nullptr);
}

// clang-format off
EM_JS(void, web_present, (const uint8_t* rgba, int width, int height), {
    const canvas = Module["canvas"];
    if (!canvas)
        return;
    if (!Module.glintContext)
        Module.glintContext = canvas.getContext("2d", {alpha: false});
    const pixels = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
    Module.glintContext.putImageData(new ImageData(pixels, width, height), 0, 0);
});

EM_JS(void, web_setCursor, (int show), {
    if (Module["canvas"])
        Module["canvas"].style.cursor = show ? "" : "none";
});

EM_JS(void, web_loopStarted, (void), {
    Module["frameLoopRunning"] = true;
});

EM_JS(void, web_ended, (int rc), {
    Module["frameLoopRunning"] = false;
    if (Module["onShowEnded"])
        Module["onShowEnded"](rc);
});
// clang-format on

bool Window::DisplayOpen(const char* title, int width, int height)
{
    // The page scales and goes full screen itself: here the window is the canvas at scale 1.
    m_scale = 1;
    m_fullscreen = false;
    m_maintainAspectRatio = false;
    ComputeGeometry(width, height);
    if (emscripten_set_canvas_element_size("#canvas", width, height) != EMSCRIPTEN_RESULT_SUCCESS)
        return false;
    s_rgba = new uint8_t[(size_t)width * (size_t)height * 4];
    s_owner = this;
    listen(true);
    emscripten_set_window_title(title);
    return true;
}

bool Window::DisplayUpdate()
{
    // Events were delivered between animation frames, before this update: the pump is empty.
    UpdateClock();
    if (m_quitPending) {
        m_quitPending = false;
        return false;
    }
    const uint32_t n = m_width * m_height;
    for (uint32_t i = 0; i < n; i++) {
        const uint32_t p = m_pixels[i];
        s_rgba[4 * i + 0] = (uint8_t)(p >> 16);
        s_rgba[4 * i + 1] = (uint8_t)(p >> 8);
        s_rgba[4 * i + 2] = (uint8_t)p;
        s_rgba[4 * i + 3] = 255;
    }
    web_present(s_rgba, (int)m_width, (int)m_height);
    return true;
}

void Window::DisplayClose()
{
    listen(false);
    s_owner = nullptr;
    delete[] s_rgba;
    s_rgba = nullptr;
}

void Window::DisplayShowCursor(bool show)
{
    web_setCursor(show);
}

}  // namespace Glint

// ---- the frame loop, driven by the browser ------------------------------------------------------

static int (*s_frame)(void);
static int (*s_finish)(void);

// Fixed-step runs without a window (screenshots, benchmark) owe nothing to the display: they run
// frames back to back and give the browser its turn about every 20 ms.
static const double FixedStepSlice = 20.0;

static void glint_webTick(void)
{
    int more = 1;
    if (glint_isHeadless() && glint_isFixedStep()) {
        const double until = emscripten_get_now() + FixedStepSlice;
        while ((more = s_frame()) && emscripten_get_now() < until) {
        }
    } else {
        more = s_frame();
    }
    if (more)
        return;
    emscripten_cancel_main_loop();
    int rc = s_finish();
    fflush(stdout);
    Glint::web_ended(rc);
}

int glint_runLoop(int (*frame)(void), int (*finish)(void))
{
    s_frame = frame;
    s_finish = finish;
    // 0 frames per second: the browser's animation frames. No infinite loop: main returns.
    emscripten_set_main_loop(glint_webTick, 0, 0);
    Glint::web_loopStarted();
    return 0;
}

int glint_presentsAtOnce(void) { return 0; }
