// Window class, facade, keyboard module and timer (headless: no display needed).
#include <gtest/gtest.h>

#include <SDL.h>

#include <cfenv>
#include <csignal>
#include <cstring>
#include <vector>

#include "glint.h"
#include "glint_interface.h"
#include "glint_os.h"
#include "kb.h"
#include "timer.h"
#include "util.h"

namespace {

// A headless window with a pretended desktop.
struct TestWindow {
    Glint::Window w;
    bool open(int scale, bool fullscreen = false, bool aspect = false, int dw = 1920, int dh = 1080)
    {
        w.SetHeadless(true);
        w.SetFixedStep(60);
        w.SetDesktopSize(dw, dh);
        return w.Open("test", 320, 200, fullscreen, aspect, scale);
    }
    ~TestWindow() { w.Close(); }
};

SDL_Event keyEvent(bool down, SDL_Scancode sc)
{
    SDL_Event e;
    memset(&e, 0, sizeof(e));
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.scancode = sc;
    return e;
}

}  // namespace

TEST(GlintGeometry, WindowedScales)
{
    util_fpuSetFullMode();
    for (int scale : {1, 2, 3}) {
        TestWindow t;
        ASSERT_TRUE(t.open(scale));
        EXPECT_EQ(t.w.GetWindowWidth(), 320u * scale);
        EXPECT_EQ(t.w.GetWindowHeight(), 200u * scale);
        EXPECT_EQ(t.w.GetScaleX(), (float)scale);
        EXPECT_EQ(t.w.GetScaleY(), (float)scale);
        Glint::Destination d = t.w.ComputeDestination();
        EXPECT_EQ(d.x, 0);
        EXPECT_EQ(d.y, 0);
        EXPECT_EQ(d.width, 320 * scale);
        EXPECT_EQ(d.height, 200 * scale);
        EXPECT_EQ(d.barHeight, 0);
    }
}

TEST(GlintGeometry, FullScreenKeepingAspect)
{
    util_fpuSetFullMode();
    {
        TestWindow t;
        ASSERT_TRUE(t.open(1, true, true, 1024, 768));
        EXPECT_FLOAT_EQ(t.w.GetScaleX(), 3.2f);
        EXPECT_FLOAT_EQ(t.w.GetScaleY(), 3.2f);
        EXPECT_EQ(t.w.GetWindowWidth(), 1024u);
        EXPECT_EQ(t.w.GetWindowHeight(), 768u);
        Glint::Destination d = t.w.ComputeDestination();
        EXPECT_EQ(d.width, 1024);
        EXPECT_EQ(d.height, 640);
        EXPECT_EQ(d.y, 64);
        EXPECT_EQ(d.barHeight, 64);
    }
    {
        TestWindow t;
        ASSERT_TRUE(t.open(1, true, true, 1920, 1080));
        Glint::Destination d = t.w.ComputeDestination();
        EXPECT_EQ(d.width, 1920);
        EXPECT_EQ(d.height, 1200);
        EXPECT_EQ(d.y, -60) << "centred; the top and bottom 60 rows fall outside";
        EXPECT_EQ(d.barHeight, 0);
    }
}

TEST(GlintGeometry, FullScreenStretched)
{
    util_fpuSetFullMode();
    TestWindow t;
    ASSERT_TRUE(t.open(1, true, false, 1920, 1080));
    EXPECT_FLOAT_EQ(t.w.GetScaleX(), 6.0f);
    EXPECT_FLOAT_EQ(t.w.GetScaleY(), 5.4f);
    Glint::Destination d = t.w.ComputeDestination();
    EXPECT_EQ(d.width, 1920);
    EXPECT_EQ(d.height, 1080);
    EXPECT_EQ(d.y, 0);
    EXPECT_EQ(d.barHeight, 0);
}

TEST(GlintGeometry, MouseInSurfacePixels)
{
    util_fpuSetFullMode();
    TestWindow t1;
    ASSERT_TRUE(t1.open(1));
    t1.w.MapMouse(17, 199);
    EXPECT_EQ(t1.w.GetMouseX(), 17);
    EXPECT_EQ(t1.w.GetMouseY(), 199);
    TestWindow t2;
    ASSERT_TRUE(t2.open(2));
    t2.w.MapMouse(-1, 101);
    EXPECT_EQ(t2.w.GetMouseX(), 0) << "integer division truncates toward zero";
    EXPECT_EQ(t2.w.GetMouseY(), 50);
    t2.w.MapMouse(-3, 700);
    EXPECT_EQ(t2.w.GetMouseX(), -1);
    EXPECT_EQ(t2.w.GetMouseY(), 350);
    TestWindow t3;
    ASSERT_TRUE(t3.open(1, true, true, 1024, 768));
    t3.w.MapMouse(8, 5);  // 2.5 and 1.5625 in the current (nearest) mode
    EXPECT_EQ(t3.w.GetMouseX(), 2);
    EXPECT_EQ(t3.w.GetMouseY(), 2);
}

TEST(GlintWindow, OpenAndClose)
{
    Glint::Window w;
    EXPECT_EQ(w.GetPixels(), nullptr);
    for (int k = 0; k < GlintKey_Num; k++)
        EXPECT_NE(w.m_keyMap[k], -1) << "every key index is mapped";
    EXPECT_EQ(w.m_keyMap[GlintKey_Plus], 0xBB);
    EXPECT_EQ(w.m_keyMap[GlintKey_RightShift], 0xA1);
    w.SetHeadless(true);
    EXPECT_FALSE(w.Open("t", 320, 200, false, false, 0)) << "scale 0 is refused";
    EXPECT_EQ(w.GetPixels(), nullptr);
    ASSERT_TRUE(w.Open("t", 320, 200, false, false, 2));
    ASSERT_NE(w.GetPixels(), nullptr);
    EXPECT_EQ(w.GetWidth(), 320u);
    EXPECT_EQ(w.GetHeight(), 200u);
    EXPECT_EQ(w.GetTime(), 0.0f);
    w.Close();
    EXPECT_FALSE(w.IsOpen());
}

TEST(GlintWindow, KeysGoDownOnceAndStayHeld)
{
    TestWindow t;
    ASSERT_TRUE(t.open(2));
    Glint::Window& w = t.w;
    w.Update();
    SDL_Event down = keyEvent(true, SDL_SCANCODE_ESCAPE);
    Glint::HandleSdlEvent(&w, &down);  // arrives in this frame's pump
    EXPECT_TRUE(w.HasKeyGoneDown(GlintKey_Escape));
    EXPECT_TRUE(w.IsKeyDown(GlintKey_Escape));
    w.Update();
    EXPECT_FALSE(w.HasKeyGoneDown(GlintKey_Escape)) << "gone down only in the first frame";
    EXPECT_TRUE(w.IsKeyDown(GlintKey_Escape));
    SDL_Event up = keyEvent(false, SDL_SCANCODE_ESCAPE);
    Glint::HandleSdlEvent(&w, &up);
    EXPECT_FALSE(w.IsKeyDown(GlintKey_Escape));
    EXPECT_TRUE(w.HasKeyGoneUp(GlintKey_Escape));
    w.Update();
    EXPECT_FALSE(w.HasKeyGoneUp(GlintKey_Escape));
    // Pressed and released between two updates: never seen.
    Glint::HandleSdlEvent(&w, &down);
    Glint::HandleSdlEvent(&w, &up);
    w.Update();
    EXPECT_FALSE(w.HasKeyGoneDown(GlintKey_Escape));
    EXPECT_FALSE(w.IsKeyDown(GlintKey_Escape));
}

TEST(GlintWindow, ScancodesBecomeVirtualKeys)
{
    struct {
        SDL_Scancode sc;
        int vk;
    } cases[] = {
        {SDL_SCANCODE_ESCAPE, 0x1B}, {SDL_SCANCODE_SPACE, 0x20},  {SDL_SCANCODE_BACKSPACE, 0x08},
        {SDL_SCANCODE_END, 0x23},    {SDL_SCANCODE_HOME, 0x24},   {SDL_SCANCODE_LEFT, 0x25},
        {SDL_SCANCODE_UP, 0x26},     {SDL_SCANCODE_RIGHT, 0x27},  {SDL_SCANCODE_DOWN, 0x28},
        {SDL_SCANCODE_DELETE, 0x2E}, {SDL_SCANCODE_0, 0x30},      {SDL_SCANCODE_1, 0x31},
        {SDL_SCANCODE_9, 0x39},      {SDL_SCANCODE_A, 0x41},      {SDL_SCANCODE_Z, 0x5A},
        {SDL_SCANCODE_F1, 0x70},     {SDL_SCANCODE_F12, 0x7B},    {SDL_SCANCODE_LSHIFT, 0xA0},
        {SDL_SCANCODE_RSHIFT, 0xA1}, {SDL_SCANCODE_LCTRL, 0xA2},  {SDL_SCANCODE_RCTRL, 0xA3},
        {SDL_SCANCODE_LALT, 0xA4},   {SDL_SCANCODE_RALT, 0xA5},   {SDL_SCANCODE_EQUALS, 0xBB},
        {SDL_SCANCODE_MINUS, 0xBD},
    };
    for (auto& c : cases)
        EXPECT_EQ(Glint::TranslateScancode(c.sc), c.vk) << SDL_GetScancodeName(c.sc);
    EXPECT_EQ(Glint::TranslateScancode(SDL_SCANCODE_KP_PLUS), 0) << "keypad plus is not the main-keyboard key";

    TestWindow t;
    ASSERT_TRUE(t.open(1));
    t.w.Update();
    SDL_Event e = keyEvent(true, SDL_SCANCODE_RCTRL);
    Glint::HandleSdlEvent(&t.w, &e);
    EXPECT_TRUE(t.w.m_keyDown[0xA3]);
    EXPECT_FALSE(t.w.m_keyDown[0xA2]);
    EXPECT_FALSE(t.w.m_keyDown[0x11]) << "the generic Control code is never recorded";
    e = keyEvent(true, SDL_SCANCODE_LSHIFT);
    Glint::HandleSdlEvent(&t.w, &e);
    EXPECT_TRUE(t.w.IsKeyDown(GlintKey_LeftShift));
    EXPECT_FALSE(t.w.IsKeyDown(GlintKey_RightShift));
}

// The browser's half names keys by KeyboardEvent.code: every key the SDL half knows comes out as
// the same virtual-key code, and names it does not know (or nearly knows) as none.
TEST(GlintWindow, BrowserKeyNamesBecomeTheSameVirtualKeys)
{
    struct {
        const char* name;
        SDL_Scancode sc;
    } cases[] = {
        {"Escape", SDL_SCANCODE_ESCAPE},     {"Space", SDL_SCANCODE_SPACE},       {"Backspace", SDL_SCANCODE_BACKSPACE},
        {"Tab", SDL_SCANCODE_TAB},           {"Enter", SDL_SCANCODE_RETURN},      {"End", SDL_SCANCODE_END},
        {"Home", SDL_SCANCODE_HOME},         {"ArrowLeft", SDL_SCANCODE_LEFT},    {"ArrowUp", SDL_SCANCODE_UP},
        {"ArrowRight", SDL_SCANCODE_RIGHT},  {"ArrowDown", SDL_SCANCODE_DOWN},    {"Delete", SDL_SCANCODE_DELETE},
        {"Digit0", SDL_SCANCODE_0},          {"Digit1", SDL_SCANCODE_1},          {"Digit9", SDL_SCANCODE_9},
        {"KeyA", SDL_SCANCODE_A},            {"KeyZ", SDL_SCANCODE_Z},            {"F1", SDL_SCANCODE_F1},
        {"F9", SDL_SCANCODE_F9},             {"F10", SDL_SCANCODE_F10},           {"F12", SDL_SCANCODE_F12},
        {"ShiftLeft", SDL_SCANCODE_LSHIFT},  {"ShiftRight", SDL_SCANCODE_RSHIFT}, {"ControlLeft", SDL_SCANCODE_LCTRL},
        {"ControlRight", SDL_SCANCODE_RCTRL}, {"AltLeft", SDL_SCANCODE_LALT},     {"AltRight", SDL_SCANCODE_RALT},
        {"Equal", SDL_SCANCODE_EQUALS},      {"Minus", SDL_SCANCODE_MINUS},       {"NumpadAdd", SDL_SCANCODE_KP_PLUS},
    };
    for (auto& c : cases)
        EXPECT_EQ(Glint::TranslateKeyCodeName(c.name), Glint::TranslateScancode(c.sc)) << c.name;
    for (const char* name : {"", "Key", "KeyAB", "Keya", "Digit", "Digit10", "F0", "F13", "F1x", "F", "Escape2", "escape"})
        EXPECT_EQ(Glint::TranslateKeyCodeName(name), 0) << '"' << name << '"';
}

TEST(GlintWindow, AtMostSixteenPrintableCharactersPerFrame)
{
    TestWindow t;
    ASSERT_TRUE(t.open(1));
    Glint::Window& w = t.w;
    w.Update();
    for (char c : std::string("abcdefghijklmnopqrst"))
        w.AddInputCharacter(c);
    EXPECT_STREQ(w.GetInputCharacters(), "abcdefghijklmnop");
    w.Update();
    EXPECT_STREQ(w.GetInputCharacters(), "") << "cleared every update";
    w.AddInputCharacter('\r');
    w.AddInputCharacter((char)0xE9);
    w.AddInputCharacter(127);
    w.AddInputCharacter(' ');
    w.AddInputCharacter('~');
    EXPECT_STREQ(w.GetInputCharacters(), " ~");
    SDL_Event e;
    memset(&e, 0, sizeof(e));
    e.type = SDL_TEXTINPUT;
    strcpy(e.text.text, "x\xC3\xA9y");  // x, e-acute (two UTF-8 bytes), y
    Glint::HandleSdlEvent(&w, &e);
    EXPECT_STREQ(w.GetInputCharacters(), " ~xy");
}

TEST(GlintWindow, MouseButtonsRollOver)
{
    TestWindow t;
    ASSERT_TRUE(t.open(1));
    Glint::Window& w = t.w;
    w.Update();
    SDL_Event e;
    memset(&e, 0, sizeof(e));
    e.type = SDL_MOUSEBUTTONDOWN;
    e.button.button = SDL_BUTTON_RIGHT;
    Glint::HandleSdlEvent(&w, &e);
    EXPECT_TRUE(w.HasMouseGoneDown(Glint::MouseButton_Right));
    EXPECT_FALSE(w.IsMouseDown(Glint::MouseButton_Left));
    w.Update();
    EXPECT_FALSE(w.HasMouseGoneDown(Glint::MouseButton_Right));
    EXPECT_TRUE(w.IsMouseDown(Glint::MouseButton_Right));
}

TEST(GlintWindow, ClosingEndsTheRunLikeEscape)
{
    TestWindow t;
    ASSERT_TRUE(t.open(1));
    Glint::Window& w = t.w;
    EXPECT_TRUE(w.Update());
    SDL_Event e;
    memset(&e, 0, sizeof(e));
    e.type = SDL_QUIT;
    EXPECT_FALSE(Glint::HandleSdlEvent(&w, &e)) << "the pump stops at a quit";
    EXPECT_TRUE(w.WasClosed());
    EXPECT_TRUE(w.HasKeyGoneDown(GlintKey_Escape));

    TestWindow u;
    ASSERT_TRUE(u.open(1));
    u.w.Update();
    float before = u.w.GetTime();
    u.w.NotifyClosed();
    EXPECT_FALSE(u.w.Update()) << "the update that sees the quit reports it";
    EXPECT_GT(u.w.GetTime(), before) << "and still advances the clock";
    EXPECT_TRUE(u.w.Update());
}

// SIGTERM or Ctrl-C in a live run: the first closes the window at its next update, as the window
// manager's close does, so the run ends with the credits; a second (either) ends the process.
TEST(GlintWindowDeathTest, QuitSignalClosesTheWindowOnce)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int sig : {SIGTERM, SIGINT}) {
        const int other = sig == SIGTERM ? SIGINT : SIGTERM;
        auto run = [sig, other] {
            glint_catchQuitSignals();
            TestWindow t;
            if (!t.open(1) || !t.w.Update() || t.w.WasClosed())
                std::exit(4);
            raise(sig);
            t.w.Update();
            if (!t.w.WasClosed() || !t.w.HasKeyGoneDown(GlintKey_Escape))
                std::exit(5);
            raise(other);
            std::exit(6);
        };
        EXPECT_EXIT(run(), ::testing::KilledBySignal(other), "") << sig;
    }
}

TEST(GlintWindow, FixedStepClock)
{
    TestWindow t;
    ASSERT_TRUE(t.open(1));
    for (int i = 0; i < 3; i++)
        t.w.Update();
    EXPECT_EQ(t.w.GetDelta(), 1.0f / 60.0f);
    EXPECT_FLOAT_EQ(t.w.GetTime(), 3.0f / 60.0f);

    Glint::Window live;
    live.SetHeadless(true);
    ASSERT_TRUE(live.Open("t", 320, 200, false, false, 1));
    SDL_Delay(5);
    live.Update();
    EXPECT_GE(live.GetDelta(), 0.004f) << "live clock measures real time";
    EXPECT_EQ(live.GetTime(), live.GetDelta());
    live.Close();
}

// ---- facade, keyboard module, timer -------------------------------------------------------------

namespace {

class Facade : public ::testing::Test {
protected:
    void SetUp() override
    {
        glint_setHeadless(1);
        glint_setFixedStep(60);
        ASSERT_EQ(glint_init(320, 200, 0, 2), 1);
    }
    void TearDown() override
    {
        glint_setFrameHook(nullptr, nullptr);
        glint_deinit();
    }
    static void press(int vk, bool down) { glint_getWindow()->SetKeyDown(vk, down); }
};

struct HookLog {
    int calls = 0;
    const uint32_t* surface = nullptr;
    float dt = 0.0f;
    float timeSeen = 0.0f;
};

void hook(const uint32_t* surface, float dt, void* user)
{
    HookLog* log = (HookLog*)user;
    log->calls++;
    log->surface = surface;
    log->dt = dt;
    log->timeSeen = glint_getTime();
}

}  // namespace

TEST_F(Facade, OpensHeadlessAndReportsTheFixedStep)
{
    EXPECT_TRUE(glint_isOpen());
    EXPECT_TRUE(glint_isFixedStep());
    EXPECT_TRUE(glint_isHeadless());
    ASSERT_NE(glint_getBuffer(), nullptr);
    EXPECT_EQ(glint_getWindow()->GetScale(), 2);
    EXPECT_EQ(glint_init(320, 200, 0, 2), 0) << "only one window";
}

TEST(FacadeInit, FullScreenForcesScaleOneAndKeepsAspect)
{
    glint_setHeadless(1);
    ASSERT_EQ(glint_init(320, 200, 1, 3), 1);
    Glint::Window* w = glint_getWindow();
    EXPECT_EQ(w->GetScale(), 1);
    EXPECT_TRUE(w->IsFullscreen());
    EXPECT_EQ(w->GetScaleX(), w->GetScaleY());
    glint_deinit();
    EXPECT_FALSE(glint_isOpen());
    EXPECT_EQ(glint_getBuffer(), nullptr);
    glint_update();  // after deinit: nothing happens
}

TEST_F(Facade, FrameHookSeesEveryUpdateAfterTheClock)
{
    HookLog log;
    glint_setFrameHook(hook, &log);
    glint_update();
    glint_update();
    EXPECT_EQ(log.calls, 2);
    EXPECT_EQ(log.surface, glint_getBuffer());
    EXPECT_EQ(log.dt, 1.0f / 60.0f);
    EXPECT_EQ(log.timeSeen, glint_getTime());
    EXPECT_EQ(glint_getDelta(), 1.0f / 60.0f);
}

TEST_F(Facade, KeyboardModuleThroughTheMapping)
{
    glint_update();
    press(0x1B, true);
    EXPECT_TRUE(kb_keyDown(0x1B));
    glint_update();
    EXPECT_FALSE(kb_keyDown(0x1B)) << "one frame per press";
    EXPECT_TRUE(kb_key(0x1B));
    press(0x1B, false);

    press(0xA0, true);
    for (int i = 0; i < 3; i++) {
        EXPECT_TRUE(kb_key(0xA0));
        glint_update();
    }
    press(0xA0, false);
    press(0xA1, true);
    EXPECT_TRUE(glint_key(GlintKey_RightShift));
    EXPECT_FALSE(kb_key(0xA1)) << "right Shift has no row";
    EXPECT_FALSE(kb_keyDown(0xA1));
    press(0xA1, false);

    press(0xBB, true);
    press(0xBD, true);
    press(0x41, true);
    press(0x24, true);
    EXPECT_TRUE(kb_keyDown(0xBB));
    EXPECT_TRUE(kb_keyDown(0xBD));
    EXPECT_TRUE(kb_keyDown(0x41));
    EXPECT_FALSE(kb_key(0x24)) << "Home has no row";
    EXPECT_FALSE(kb_key(0x00));
    EXPECT_FALSE(kb_key(0xFF));
    for (int vk : {0xBB, 0xBD, 0x41, 0x24})
        press(vk, false);
    kb_init();
    kb_update();
    kb_deinit();
}

TEST_F(Facade, MouseThroughTheFacade)
{
    glint_getWindow()->SetMousePosition(12, 34);
    int x = -1, y = -1;
    glint_get_mouse(&x, &y);
    EXPECT_EQ(x, 12);
    EXPECT_EQ(y, 34);
}

TEST_F(Facade, TimerArithmetic)
{
    timer_init();
    glint_update();
    timer_start();
    float t0 = timer_getTime();
    EXPECT_EQ(timer_getTime(), t0) << "no update, no change";
    EXPECT_EQ(timer_update(), 0.0f) << "no presentation since timer_start";
    float elapsedBefore = timer_getElapsedTime();
    const int frames = 10;
    float sum = 0.0f;
    for (int i = 0; i < frames; i++) {
        glint_update();
        float d = timer_update();
        EXPECT_FLOAT_EQ(d, 1.0f / 60.0f);
        sum += d;
    }
    EXPECT_FLOAT_EQ(timer_getElapsedTime() - elapsedBefore, timer_getTime() - t0);
    EXPECT_FLOAT_EQ(sum, timer_getTime() - t0);

    // timer_delay waits on the frame clock, updating the window meanwhile.
    float before = timer_getTime();
    timer_delay(0.1f);
    EXPECT_GT(timer_getTime() - before, 0.1f);
    EXPECT_LT(timer_getTime() - before, 0.1f + 2.0f / 60.0f);
    timer_deinit();
}
