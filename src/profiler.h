// profiler_: named code sections timed with the high-resolution counter; profiler.txt on deinit.
// A section is identified by its tag pointer, not by the string's contents.
#pragma once

#include <cstdio>
#include <ctime>

enum { ProfilerDataTableSize = 256 };  // power of two: used as the hash mask

void profiler_init(void);
void profiler_startSample(const char* tag);
void profiler_endSample(const char* tag);
void profiler_deinit(void);  // writes profiler.txt into the current directory, frees the table
// The report with the given capture time (profiler_deinit uses the local time now).
void profiler_writeReport(FILE* f, const struct tm* when);
// Slot index a tag occupies, or -1 when it has none (for tests).
int profiler_slotOf(const char* tag);
