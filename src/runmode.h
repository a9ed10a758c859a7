// runmode: what a run does beside the show itself, driven from the window's frame hook and
// from the frame loop: offline/mute music advance, capture with its terminal progress bar,
// screenshots at music positions, per-scene frame timing, and the end of run conditions.
#pragma once
#include <cstdint>

#include "options.h"

// Chooses the clock, window and music modes from the options. Before modplay_init/video_init.
void runmode_configure(const Options* options);
// After loading, before the first frame: opens the capture, sizes the timing table. Needs the
// music loaded (it measures the show's length). 1 = ready; 0 = failure, message printed.
int runmode_begin(const Options* options);
// Frame loop, around each frame's work (update, render, present, after-presentation step).
void runmode_frameStart(void);
void runmode_frameEnd(void);
// 1 when the run must end now: --end reached, all screenshots taken, the music played out, or
// the capture failed.
int runmode_shouldStop(void);
// After the last (black) frame: closes the capture, prints the benchmark table, reports shots
// never reached. Returns the exit code (0 = success).
// Before the final black frame: screenshots are no longer looked for.
void runmode_lastFrame(void);
int runmode_finish(void);

// The authoring keys: = / + (0xBB) and - (0xBD) seek the music by one row, patterns taken as
// 64 rows, with left Shift (0xA0) held by one order; never below order 0. Returns 1 with the
// target in order/row when a seek is due (plus wins over minus), else 0.
int runmode_seekTarget(int plus, int minus, int shift, uint16_t* order, uint16_t* row);
// Once per frame after the after-presentation step: one seek per key press.
void runmode_seekKeys(void);

// Formats the benchmark line of one scene (name first), for tests.
void runmode_formatSceneLine(char* out, int size, const char* name, int frames, const float* sortedMs);
