// glint_: the plain-function facade over the program's one Glint::Window.
//
// The clock, headless and hook settings must be made before glint_init. The frame clock advances
// only inside glint_update: by the measured interval in live runs, by exactly 1/fps in
// fixed-step runs (capture, screenshots, benchmark, tests).
#pragma once

#include <cstdint>

#include "glint.h"

// Opens the width x height surface and its window ("tidewater - cobalt mill"). Full screen forces
// scale 1 and keeps the aspect ratio. 1 on success; 0 with one line "glint: ..." when the window
// cannot be opened (nothing may draw into the surface then).
int glint_init(int width, int height, int fullscreen, int scale);
void glint_deinit(void);
// Rolls input over, advances the clock, pumps events, shows the surface, then calls the frame
// hook. Does nothing before a successful glint_init.
void glint_update(void);
uint32_t* glint_getBuffer(void);
void glint_get_mouse(int* x, int* y);
bool glint_keyDown(GlintKey key);  // true only in the frame in which the key went down
bool glint_key(GlintKey key);      // true while the key is held
float glint_getDelta(void);
float glint_getTime(void);

// ---- settings and hooks (before glint_init) ----------------------------------------------------
void glint_setHeadless(int headless);
void glint_setFixedStep(int fps);  // 0: live clock; N > 0: 1/N s per update
int glint_isFixedStep(void);
int glint_isHeadless(void);
void glint_setVsync(int on);
// Called at the end of every update, after the clock advanced, with the surface just presented
// and the step length. Null removes the hook.
void glint_setFrameHook(void (*hook)(const uint32_t* surface, float dt, void* user), void* user);

int glint_isOpen(void);
// Non-zero once the window was closed from outside or a quit signal arrived (it stays so);
// Escape is reported as gone down in that one frame too.
int glint_wasClosed(void);
// The facade's window, for tests and diagnostics.
Glint::Window* glint_getWindow(void);

// ---- the frame loop (one implementation per platform) ------------------------------------------
// Runs frame() until it returns 0, then finish(), and returns finish()'s exit code (desktop:
// glint_sdl.cpp). In the browser (glint_web.cpp) it hands the loop to the browser and returns 0
// at once: frame() runs once per animation frame (fixed-step runs without a window run several per
// animation frame, as fast as they go) until it returns 0; then finish() runs and the page learns
// the exit code.
int glint_runLoop(int (*frame)(void), int (*finish)(void));
// 1 when a presented frame is seen at once (desktop); 0 when the display shows nothing until the
// program returns to the browser.
int glint_presentsAtOnce(void);
