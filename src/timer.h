// timer_: per-frame intervals from the window's frame clock.
#pragma once

void timer_init(void);
void timer_deinit(void);
void timer_start(void);           // the clock now is the reference for the next timer_update
float timer_getTime(void);        // the frame clock (seconds since the window opened)
float timer_getElapsedTime(void); // sum of all intervals returned by timer_update
float timer_update(void);         // seconds since the previous timer_update (or timer_start)
// Waits until the frame clock has advanced by more than the given seconds, presenting the
// window's surface meanwhile (the clock only advances with window updates).
void timer_delay(float seconds);
