// Glint::Window, portable half: state, input roll-over, clock and presentation geometry.
#include "glint.h"

#include "fround.h"
#include "glint_os.h"

#include <chrono>
#include <cmath>
#include <cstring>

namespace Glint {

const char* const GlintWindowClass = "GlintWindowClass";

// Monotonic nanosecond counter: the frame clock's high-resolution time base.
static int64_t readCounter()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Window::Window()
    : m_mouseX(0), m_mouseY(0), m_anyKeyDown(false), m_delta(0.0f), m_pixels(nullptr), m_width(0),
      m_height(0), m_windowWidth(0), m_windowHeight(0), m_scale(1), m_fullscreen(false),
      m_maintainAspectRatio(false), m_scalex(1.0f), m_scaley(1.0f), m_window(nullptr), m_time(0.0f),
      m_lastTime(0), m_freq(1), m_renderer(nullptr), m_texture(nullptr), m_headless(false),
      m_vsync(false), m_open(false), m_closed(false), m_quitPending(false), m_fixedStep(0),
      m_desktopWidth(1920), m_desktopHeight(1080)
{
    memset(m_lastMouseButtonDown, 0, sizeof(m_lastMouseButtonDown));
    memset(m_mouseButtonDown, 0, sizeof(m_mouseButtonDown));
    memset(m_inputCharacters, 0, sizeof(m_inputCharacters));
    memset(m_lastKeyDown, 0, sizeof(m_lastKeyDown));
    memset(m_keyDown, 0, sizeof(m_keyDown));
    PlatformInit();
}

Window::~Window()
{
    delete[] m_pixels;
}

void Window::PlatformInit()
{
    for (int i = 0; i < GlintKey_Num; i++)
        m_keyMap[i] = -1;
    m_keyMap[GlintKey_Escape] = 0x1B;
    m_keyMap[GlintKey_Up] = 0x26;
    m_keyMap[GlintKey_Down] = 0x28;
    m_keyMap[GlintKey_Left] = 0x25;
    m_keyMap[GlintKey_Right] = 0x27;
    m_keyMap[GlintKey_Home] = 0x24;
    m_keyMap[GlintKey_End] = 0x23;
    m_keyMap[GlintKey_Backspace] = 0x08;
    m_keyMap[GlintKey_Delete] = 0x2E;
    m_keyMap[GlintKey_LeftShift] = 0xA0;
    m_keyMap[GlintKey_RightShift] = 0xA1;
    m_keyMap[GlintKey_Space] = 0x20;
    m_keyMap[GlintKey_F1] = 0x70;
    m_keyMap[GlintKey_F2] = 0x71;
    m_keyMap[GlintKey_F3] = 0x72;
    m_keyMap[GlintKey_Plus] = 0xBB;
    m_keyMap[GlintKey_Minus] = 0xBD;
    m_keyMap[GlintKey_A] = 0x41;
}

bool Window::Open(const char* title, int width, int height, bool fullscreen, bool maintainAspectRatio, int scale)
{
    if (m_open || width <= 0 || height <= 0 || scale <= 0)
        return false;
    delete[] m_pixels;
    m_pixels = new uint32_t[(size_t)width * (size_t)height]();
    m_width = (uint32_t)width;
    m_height = (uint32_t)height;
    m_scale = scale;
    m_time = 0.0f;
    m_delta = 0.0f;
    m_fullscreen = fullscreen;
    m_maintainAspectRatio = maintainAspectRatio;
    m_closed = false;
    m_quitPending = false;
    if (!PlatformOpen(title, width, height)) {
        delete[] m_pixels;
        m_pixels = nullptr;
        return false;
    }
    m_freq = 1000000000;
    m_lastTime = readCounter();
    m_open = true;
    return true;
}

bool Window::Update()
{
    UpdateMouse();
    UpdateKeyboard();
    if (!m_closed && glint_quitSignalled())
        NotifyClosed();
    bool result = PlatformUpdate();
    m_time = fround_add(m_time, m_delta);
    return result;
}

void Window::Close()
{
    if (!m_open)
        return;
    PlatformClose();
    m_open = false;
}

void Window::UpdateMouse()
{
    memcpy(m_lastMouseButtonDown, m_mouseButtonDown, sizeof(m_mouseButtonDown));
}

void Window::UpdateKeyboard()
{
    memset(m_inputCharacters, 0, sizeof(m_inputCharacters));
    memcpy(m_lastKeyDown, m_keyDown, sizeof(m_keyDown));
}

void Window::UpdateClock()
{
    if (m_fixedStep > 0) {
        // Fixed time: the same step every update, so those runs repeat frame for frame. The first
        // frame runs in the truncating mode that loading left in force: its step is chopped.
        m_delta = fround_div(1.0f, (float)m_fixedStep);
        return;
    }
    int64_t counter = readCounter();
    m_delta = (float)(counter - m_lastTime) / (float)m_freq;
    m_lastTime = counter;
}

void Window::AddInputCharacter(char ch)
{
    // Printable in the classic locale: 32..126 (bytes above 127 arrive negative).
    int c = (signed char)ch;
    if (c < 32 || c > 126)
        return;
    size_t len = strlen(m_inputCharacters);
    if (len + 1 < sizeof(m_inputCharacters)) {
        m_inputCharacters[len] = ch;
        m_inputCharacters[len + 1] = 0;
    }
}

void Window::NotifyClosed()
{
    m_closed = true;
    m_quitPending = true;
    m_keyDown[0x1B] = true;
}

void Window::RestartClock()
{
    m_lastTime = readCounter();
}

void Window::ShowMouseCursor(bool show)
{
    if (m_open && !m_headless)
        DisplayShowCursor(show);
}

void Window::ComputeGeometry(int desktopWidth, int desktopHeight)
{
    m_scalex = m_scaley = (float)m_scale;
    if (m_fullscreen) {
        m_windowWidth = (uint32_t)desktopWidth;
        m_windowHeight = (uint32_t)desktopHeight;
        m_scalex = (float)desktopWidth / (float)m_width;
        m_scaley = m_maintainAspectRatio ? m_scalex : (float)desktopHeight / (float)m_height;
    } else {
        // The platform sizes the client area directly; decorations are the window manager's.
        m_windowWidth = m_width * (uint32_t)m_scale;
        m_windowHeight = m_height * (uint32_t)m_scale;
    }
}

Destination Window::ComputeDestination() const
{
    Destination d = {0, 0, (int)m_width, (int)m_height, 0};
    if (m_scale > 1 || m_fullscreen) {
        // Converted in the current rounding mode, as every conversion of the frame path.
        d.width = (int)lrintf((float)m_width * m_scalex);
        d.height = (int)lrintf((float)m_height * m_scaley);
        if (m_maintainAspectRatio) {
            d.y = ((int)m_windowHeight - d.height) / 2;
            if (d.y > 0)
                d.barHeight = d.y;
        }
    }
    return d;
}

void Window::MapMouse(int clientX, int clientY)
{
    if (m_fullscreen) {
        m_mouseX = (int)lrintf((float)clientX / m_scalex);
        m_mouseY = (int)lrintf((float)clientY / m_scaley);
    } else {
        m_mouseX = clientX / m_scale;
        m_mouseY = clientY / m_scale;
    }
}

int TranslateKeyCodeName(const char* code)
{
    if (!strncmp(code, "Key", 3) && code[3] >= 'A' && code[3] <= 'Z' && !code[4])
        return 0x41 + (code[3] - 'A');
    if (!strncmp(code, "Digit", 5) && code[5] >= '0' && code[5] <= '9' && !code[6])
        return 0x30 + (code[5] - '0');
    if (code[0] == 'F' && code[1] >= '1' && code[1] <= '9') {
        int n = code[1] - '0';
        if (code[2] >= '0' && code[2] <= '9' && !code[3])
            n = n * 10 + (code[2] - '0');
        else if (code[2])
            return 0;
        return n >= 1 && n <= 12 ? 0x70 + n - 1 : 0;
    }
    static const struct {
        const char* name;
        int vk;
    } Table[] = {
        {"Escape", 0x1B},     {"Backspace", 0x08},    {"Tab", 0x09},         {"Enter", 0x0D},
        {"Space", 0x20},      {"End", 0x23},          {"Home", 0x24},        {"ArrowLeft", 0x25},
        {"ArrowUp", 0x26},    {"ArrowRight", 0x27},   {"ArrowDown", 0x28},   {"Delete", 0x2E},
        {"ShiftLeft", 0xA0},  {"ShiftRight", 0xA1},   {"ControlLeft", 0xA2}, {"ControlRight", 0xA3},
        {"AltLeft", 0xA4},    {"AltRight", 0xA5},     {"Equal", 0xBB},       {"Minus", 0xBD},
    };
    for (const auto& k : Table)
        if (!strcmp(code, k.name))
            return k.vk;
    return 0;
}

bool Window::PlatformOpen(const char* title, int width, int height)
{
    return m_headless ? HeadlessOpen(title, width, height) : DisplayOpen(title, width, height);
}

bool Window::PlatformUpdate()
{
    return m_headless ? HeadlessUpdate() : DisplayUpdate();
}

void Window::PlatformClose()
{
    if (m_headless)
        HeadlessClose();
    else
        DisplayClose();
}

}  // namespace Glint
