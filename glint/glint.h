// Glint: the one window of the program, its 32-bit presentation surface, the keyboard and mouse
// state it sees and the frame clock.
//
// The portable half (glint.cpp) keeps the state, rolls input over, advances the clock and computes
// the presentation geometry. Two platform halves provide the rest: a display half, which is
// glint_sdl.cpp natively (an SDL2 window, streaming texture, event pump) and glint_web.cpp in the
// browser (the page's canvas and keyboard), and glint_headless.cpp (no window at all; the surface
// still receives every frame). SetHeadless() chooses between them before Open().
//
// Surface format: one 32-bit word per pixel, 0x00RRGGBB (blue in the lowest byte, top byte
// ignored), rows top row first with no gap between rows.
#pragma once

#include <cassert>
#include <cstdint>

// Facade key indices; each maps to a one-byte virtual-key code through Window::m_keyMap.
enum GlintKey : uint8_t {
    GlintKey_Escape,
    GlintKey_Up,
    GlintKey_Down,
    GlintKey_Left,
    GlintKey_Right,
    GlintKey_Home,
    GlintKey_End,
    GlintKey_Backspace,
    GlintKey_Delete,
    GlintKey_LeftShift,
    GlintKey_RightShift,
    GlintKey_Space,
    GlintKey_F1,
    GlintKey_F2,
    GlintKey_F3,
    GlintKey_Plus,
    GlintKey_Minus,
    GlintKey_A,
    GlintKey_Num
};

namespace Glint {

typedef GlintKey Key;

extern const char* const GlintWindowClass;  // "GlintWindowClass": the window's class name

enum MouseButton : uint8_t {
    MouseButton_Left = 0,
    MouseButton_Middle = 1,
    MouseButton_Right = 2,
    MouseButton_Num = 3
};

// Where the scaled surface lands in the window (client coordinates). y may be negative when a
// full-screen picture kept at its aspect ratio is taller than the desktop; the window clips it.
struct Destination {
    int x, y, width, height;
    int barHeight;  // rows of black above and below (0 when there are no bars)
};

class Window {
public:
    Window();
    ~Window();

    bool Open(const char* title, int width, int height, bool fullscreen, bool maintainAspectRatio, int scale);
    bool Update();
    void Close();

    bool HasKeyGoneDown(Key key) const
    {
        int index = m_keyMap[key];
        if (index == -1)
            return false;
        assert(index >= 0 && index < (int)sizeof(m_keyDown));
        return m_keyDown[index] && !m_lastKeyDown[index];
    }
    bool IsKeyDown(Key key) const
    {
        int index = m_keyMap[key];
        if (index == -1)
            return false;
        assert(index >= 0 && index < (int)sizeof(m_keyDown));
        return m_keyDown[index];
    }
    bool HasKeyGoneUp(Key key) const
    {
        int index = m_keyMap[key];
        if (index == -1)
            return false;
        return !m_keyDown[index] && m_lastKeyDown[index];
    }
    bool HasAnyKeyGoneDown() const
    {
        for (int i = 0; i < 256; i++)
            if (m_keyDown[i] && !m_lastKeyDown[i])
                return true;
        return false;
    }
    bool IsAnyKeyDown() const
    {
        for (int i = 0; i < 256; i++)
            if (m_keyDown[i])
                return true;
        return false;
    }
    bool HasMouseGoneDown(MouseButton b) const { return m_mouseButtonDown[b] && !m_lastMouseButtonDown[b]; }
    bool HasMouseGoneUp(MouseButton b) const { return !m_mouseButtonDown[b] && m_lastMouseButtonDown[b]; }
    bool IsMouseDown(MouseButton b) const { return m_mouseButtonDown[b]; }

    uint32_t* GetPixels() const { return m_pixels; }
    int GetMouseX() const { return m_mouseX; }
    int GetMouseY() const { return m_mouseY; }
    float GetDelta() const { return m_delta; }
    float GetTime() const { return m_time; }
    uint32_t GetWidth() const { return m_width; }
    uint32_t GetHeight() const { return m_height; }
    const char* GetInputCharacters() const { return m_inputCharacters; }
    void ClearInputCharacters() { m_inputCharacters[0] = 0; }

    void SetMouseButtonDown(MouseButton b, bool down) { m_mouseButtonDown[b] = down; }
    void SetKeyDown(int vk, bool down) { m_keyDown[vk & 0xFF] = down; }
    void SetMousePosition(int x, int y) { m_mouseX = x; m_mouseY = y; }
    void AddInputCharacter(char ch);

    // ---- extensions of this build (call before Open) ------------------------------------------
    void SetHeadless(bool headless) { m_headless = headless; }
    // 0: live clock (high-resolution counter); N > 0: every Update advances the clock by 1/N s.
    void SetFixedStep(int fps) { m_fixedStep = fps > 0 ? fps : 0; }
    void SetVsync(bool on) { m_vsync = on; }
    // Desktop size the headless half pretends to have (default 1920 x 1080).
    void SetDesktopSize(int width, int height) { m_desktopWidth = width; m_desktopHeight = height; }
    // ---------------------------------------------------------------------------------------------
    bool IsOpen() const { return m_open; }
    bool IsHeadless() const { return m_headless; }
    int GetFixedStep() const { return m_fixedStep; }
    // True once the window was closed from outside (close button, window manager, SIGTERM or
    // SIGINT through glint_catchQuitSignals); it stays true, so a close that comes while nothing
    // looks at the keys (loading) is not lost.
    bool WasClosed() const { return m_closed; }
    // Called by a platform half when the window is closed from outside: reported as a quit and
    // as Escape going down in that frame. Escape stays held until a release that never comes,
    // so the owner must read WasClosed(), not only Escape.
    void NotifyClosed();
    // The live clock's next interval starts now (the display was not shown for a while, as in
    // a hidden browser tab: that time is not one long frame).
    void RestartClock();
    void ShowMouseCursor(bool show);

    // Geometry (filled by Open): outer window size, scale factors, where the surface is drawn.
    uint32_t GetWindowWidth() const { return m_windowWidth; }
    uint32_t GetWindowHeight() const { return m_windowHeight; }
    float GetScaleX() const { return m_scalex; }
    float GetScaleY() const { return m_scaley; }
    int GetScale() const { return m_scale; }
    bool IsFullscreen() const { return m_fullscreen; }
    // Destination rectangle of the scaled copy; conversions in the current rounding mode.
    Destination ComputeDestination() const;
    // Window geometry for a desktop of the given size (sets m_scalex/y, m_windowWidth/Height).
    void ComputeGeometry(int desktopWidth, int desktopHeight);
    // Cursor from client coordinates to surface pixels (sets m_mouseX/Y).
    void MapMouse(int clientX, int clientY);

private:
    void PlatformInit();
    bool PlatformOpen(const char* title, int width, int height);
    bool PlatformUpdate();
    void PlatformClose();
    void UpdateMouse();
    void UpdateKeyboard();
    void UpdateClock();

    // The two platform halves: the display (glint_sdl.cpp or glint_web.cpp) and glint_headless.cpp.
    bool DisplayOpen(const char* title, int width, int height);
    bool DisplayUpdate();
    void DisplayClose();
    void DisplayShowCursor(bool show);
    bool HeadlessOpen(const char* title, int width, int height);
    bool HeadlessUpdate();
    void HeadlessClose();

public:
    int m_mouseX;
    int m_mouseY;
    bool m_lastMouseButtonDown[MouseButton_Num];
    bool m_mouseButtonDown[MouseButton_Num];
    int m_keyMap[GlintKey_Num];
    bool m_lastKeyDown[256];
    bool m_keyDown[256];
    bool m_anyKeyDown;
    char m_inputCharacters[17];
    float m_delta;
    uint32_t* m_pixels;
    uint32_t m_width, m_height;
    uint32_t m_windowWidth, m_windowHeight;
    int m_scale;
    bool m_fullscreen;
    bool m_maintainAspectRatio;
    float m_scalex, m_scaley;
    void* m_window;      // SDL_Window* (null headless and in the browser)
    float m_time;
    int64_t m_lastTime;
    int64_t m_freq;

    // Platform state of this build.
    void* m_renderer;    // SDL_Renderer*
    void* m_texture;     // SDL_Texture*
    bool m_headless;
    bool m_vsync;
    bool m_open;
    bool m_closed;
    bool m_quitPending;  // a close arrived; the next pump reports the quit
    int m_fixedStep;
    int m_desktopWidth, m_desktopHeight;
};

// SDL scancode to the one-byte virtual-key code the window stores; 0 for keys it does not know.
int TranslateScancode(int scancode);
// A browser's key code name (KeyboardEvent.code, layout-independent like a scan code: "KeyA",
// "Equal", "ShiftLeft", ...) to the same virtual-key code; 0 for keys it does not know.
int TranslateKeyCodeName(const char* code);
// Feeds one SDL event (an SDL_Event*) to the window as the pump would; returns false for a quit.
bool HandleSdlEvent(Window* window, const void* event);

}  // namespace Glint
