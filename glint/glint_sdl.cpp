// Glint::Window, SDL2 half: a window of the computed size (centred, not resizable; full screen
// on the desktop), a streaming ARGB8888 texture copied with nearest-neighbour scaling, and the
// event pump that turns SDL events into the window's key, button, character and close state.
#include <SDL.h>

#include "glint.h"
#include "glint_interface.h"
#include "log.h"

namespace Glint {

int TranslateScancode(int scancode)
{
    if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z)
        return 0x41 + (scancode - SDL_SCANCODE_A);
    if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9)
        return 0x31 + (scancode - SDL_SCANCODE_1);
    if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12)
        return 0x70 + (scancode - SDL_SCANCODE_F1);
    switch (scancode) {
    case SDL_SCANCODE_0: return 0x30;
    case SDL_SCANCODE_ESCAPE: return 0x1B;
    case SDL_SCANCODE_BACKSPACE: return 0x08;
    case SDL_SCANCODE_TAB: return 0x09;
    case SDL_SCANCODE_RETURN: return 0x0D;
    case SDL_SCANCODE_SPACE: return 0x20;
    case SDL_SCANCODE_END: return 0x23;
    case SDL_SCANCODE_HOME: return 0x24;
    case SDL_SCANCODE_LEFT: return 0x25;
    case SDL_SCANCODE_UP: return 0x26;
    case SDL_SCANCODE_RIGHT: return 0x27;
    case SDL_SCANCODE_DOWN: return 0x28;
    case SDL_SCANCODE_DELETE: return 0x2E;
    case SDL_SCANCODE_LSHIFT: return 0xA0;
    case SDL_SCANCODE_RSHIFT: return 0xA1;
    case SDL_SCANCODE_LCTRL: return 0xA2;
    case SDL_SCANCODE_RCTRL: return 0xA3;
    case SDL_SCANCODE_LALT: return 0xA4;
    case SDL_SCANCODE_RALT: return 0xA5;
    case SDL_SCANCODE_EQUALS: return 0xBB;
    case SDL_SCANCODE_MINUS: return 0xBD;
    default: return 0;
    }
}

bool HandleSdlEvent(Window* window, const void* event)
{
    const SDL_Event* e = (const SDL_Event*)event;
    switch (e->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        int vk = TranslateScancode(e->key.keysym.scancode);
        if (vk != 0)
            window->SetKeyDown(vk, e->type == SDL_KEYDOWN);
        break;
    }
    case SDL_TEXTINPUT:
        // UTF-8: bytes of non-ASCII characters are above 127 and are dropped as unprintable.
        for (const char* p = e->text.text; *p; p++)
            window->AddInputCharacter(*p);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        bool down = e->type == SDL_MOUSEBUTTONDOWN;
        if (e->button.button == SDL_BUTTON_LEFT)
            window->SetMouseButtonDown(MouseButton_Left, down);
        else if (e->button.button == SDL_BUTTON_MIDDLE)
            window->SetMouseButtonDown(MouseButton_Middle, down);
        else if (e->button.button == SDL_BUTTON_RIGHT)
            window->SetMouseButtonDown(MouseButton_Right, down);
        break;
    }
    case SDL_WINDOWEVENT:
        if (e->window.event == SDL_WINDOWEVENT_CLOSE)
            window->NotifyClosed();
        break;
    case SDL_QUIT:
        window->NotifyClosed();
        return false;
    default:
        break;
    }
    return true;
}

bool Window::DisplayOpen(const char* title, int width, int height)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        log_stdio("glint: cannot open the window: no video driver (%s)\n", SDL_GetError());
        return false;
    }
    // With no display SDL quietly falls back to its offscreen driver, and the show would play
    // into nothing. Only accept that when the user asked for it by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (driver && (!SDL_strcmp(driver, "offscreen") || !SDL_strcmp(driver, "dummy")) &&
        !(asked && !SDL_strcasecmp(asked, driver))) {
        log_stdio("glint: cannot open the window: no display (use --headless to run without one)\n");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) {
        log_stdio("glint: cannot open the window: no desktop size (%s)\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    ComputeGeometry(desktop.w, desktop.h);

    Uint32 flags = SDL_WINDOW_SHOWN | (m_fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    SDL_Window* window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          (int)m_windowWidth, (int)m_windowHeight, flags);
    if (!window) {
        log_stdio("glint: cannot open the window: %s\n", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");  // nearest neighbour
    SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, m_vsync ? SDL_RENDERER_PRESENTVSYNC : 0);
    SDL_Texture* texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888,
                                                        SDL_TEXTUREACCESS_STREAMING, width, height)
                                    : nullptr;
    if (!texture) {
        log_stdio("glint: cannot open the window: %s\n", SDL_GetError());
        if (renderer)
            SDL_DestroyRenderer(renderer);
        SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    // The surface's top byte is not alpha: copy, never blend.
    SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_NONE);
    m_window = window;
    m_renderer = renderer;
    m_texture = texture;
    SDL_StartTextInput();
    return true;
}

bool Window::DisplayUpdate()
{
    SDL_Window* window = (SDL_Window*)m_window;
    SDL_Renderer* renderer = (SDL_Renderer*)m_renderer;
    SDL_Texture* texture = (SDL_Texture*)m_texture;

    int gx, gy, wx, wy;
    SDL_GetGlobalMouseState(&gx, &gy);
    SDL_GetWindowPosition(window, &wx, &wy);
    MapMouse(gx - wx, gy - wy);

    UpdateClock();

    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (!HandleSdlEvent(this, &event))
            return false;  // quit: the frame is not shown
    }
    if (m_closed) {
        // Off the screen at once, even while loading goes on; the run ends at its next check.
        SDL_HideWindow(window);
        return true;
    }

    Destination d = ComputeDestination();
    SDL_UpdateTexture(texture, nullptr, m_pixels, (int)(m_width * 4));
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);  // black bars (and whatever the picture does not cover)
    SDL_Rect dst = {d.x, d.y, d.width, d.height};
    SDL_RenderCopy(renderer, texture, nullptr, &dst);
    SDL_RenderPresent(renderer);
    return true;
}

void Window::DisplayClose()
{
    SDL_StopTextInput();
    if (m_texture)
        SDL_DestroyTexture((SDL_Texture*)m_texture);
    if (m_renderer)
        SDL_DestroyRenderer((SDL_Renderer*)m_renderer);
    if (m_window)
        SDL_DestroyWindow((SDL_Window*)m_window);
    m_texture = nullptr;
    m_renderer = nullptr;
    m_window = nullptr;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void Window::DisplayShowCursor(bool show)
{
    SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

}  // namespace Glint

// ---- the frame loop, run by the program itself ---------------------------------------------------

int glint_runLoop(int (*frame)(void), int (*finish)(void))
{
    while (frame()) {
    }
    return finish();
}

int glint_presentsAtOnce(void) { return 1; }
