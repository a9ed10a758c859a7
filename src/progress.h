// progress_: the loading bar, drawn into frame buffer 0 and presented at once.
#pragma once

enum { BarWidth = 200, BarHeight = 40 };

// Sets the number of steps (and restarts the count), sets palette entries 0 (black) and
// 1 (white) and draws the empty bar.
void progress_setTotal(int total);
// One step done: hold 50 ms (not in fixed-step runs), draw; after the last step play the closing
// animation (collapse to a line, shrink to a point, fade out) and leave buffer 0 black.
void progress_inc(void);
int progress_getCurrent(void);
int progress_getTotal(void);
