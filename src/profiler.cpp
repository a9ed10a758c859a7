// Section timing with the high-resolution counter; a table of totals and averages written to
// profiler.txt on deinit.
#include "profiler.h"

#include <chrono>
#include <cstdint>

#include "mem.h"

struct ProfilerData {
    const char* tag;     // identity of the section (compared as a pointer); null = free slot
    int64_t startTime;   // counter at the last profiler_startSample
    float totalTime;     // seconds over all samples
    uint32_t sampleCount;
};

static ProfilerData* s_profilerData = nullptr;
static int64_t s_freq = 0;

static_assert((ProfilerDataTableSize & (ProfilerDataTableSize - 1)) == 0, "table size must be a power of two");

static int64_t counterNow()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The tag's home slot is its address masked; a taken slot passes on to the next ones without
// wrapping: when the end is reached the last slot is used, whoever holds it.
static ProfilerData* lookup(const char* tag)
{
    size_t index = (uintptr_t)tag & (ProfilerDataTableSize - 1);
    for (; index < ProfilerDataTableSize; index++) {
        ProfilerData* slot = &s_profilerData[index];
        if (slot->tag == nullptr || slot->tag == tag)
            return slot;
    }
    return &s_profilerData[ProfilerDataTableSize - 1];
}

void profiler_init(void)
{
    if (!s_profilerData)
        s_profilerData = (ProfilerData*)mem_malloc(sizeof(ProfilerData) * ProfilerDataTableSize);
    for (int i = 0; i < ProfilerDataTableSize; i++)
        s_profilerData[i] = ProfilerData{nullptr, 0, 0.0f, 0};
    s_freq = 1000000000;
}

void profiler_startSample(const char* tag)
{
    if (!s_profilerData || !tag)
        return;
    ProfilerData* slot = lookup(tag);
    slot->tag = tag;
    slot->startTime = counterNow();
}

void profiler_endSample(const char* tag)
{
    if (!s_profilerData || !tag)
        return;
    int64_t now = counterNow();
    ProfilerData* slot = lookup(tag);
    slot->sampleCount++;
    slot->totalTime += (float)((double)(now - slot->startTime) / (double)s_freq);
}

int profiler_slotOf(const char* tag)
{
    if (!s_profilerData)
        return -1;
    for (int i = 0; i < ProfilerDataTableSize; i++)
        if (s_profilerData[i].tag == tag)
            return i;
    return -1;
}

static void writeRule(FILE* f)
{
    for (int i = 0; i < 57; i++)
        fputc('-', f);
}

void profiler_writeReport(FILE* f, const struct tm* when)
{
    if (!s_profilerData || !f)
        return;
    bool any = false;
    for (int i = 0; i < ProfilerDataTableSize; i++) {
        const ProfilerData* slot = &s_profilerData[i];
        if (!slot->tag)
            continue;
        if (!any) {
            fprintf(f, "\nProfiler\n========\n\n");
            fprintf(f, "Captured %02d:%02d:%02d %02d/%02d/%04d\n\n", when->tm_hour, when->tm_min, when->tm_sec,
                    when->tm_mday, when->tm_mon + 1, when->tm_year + 1900);
            fprintf(f, "%-24s %s  %s  %s\n", "Tag", "Avg Time (s)", "Total (s)", "Samples");
            writeRule(f);
            fputc('\n', f);
            any = true;
        }
        // A section started but never ended has no samples: its average is shown as 0.
        float average = slot->sampleCount ? slot->totalTime / (float)slot->sampleCount : 0.0f;
        fprintf(f, "%-24s %-10.6f    %-10.6f %-6u\n", slot->tag, (double)average, (double)slot->totalTime,
                slot->sampleCount);
    }
    if (any) {
        writeRule(f);
        fprintf(f, "\n\n");
    }
}

void profiler_deinit(void)
{
    if (!s_profilerData)
        return;
    FILE* f = fopen("profiler.txt", "w");
    if (f) {
        time_t now = time(nullptr);
        struct tm local;
        localtime_r(&now, &local);
        profiler_writeReport(f, &local);
        fclose(f);
    }
    mem_free(s_profilerData);
    s_profilerData = nullptr;
}
