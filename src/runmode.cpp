#include "runmode.h"

#include "capture.h"
#include "effect.h"
#include "fingerprint.h"
#include "glint_console.h"
#include "glint_interface.h"
#include "glint_os.h"
#include "kb.h"
#include "log.h"
#include "mem.h"
#include "modplay.h"
#include "pngout.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

using Clock = std::chrono::steady_clock;

static const Options* s_options;
static int s_active;
static int s_capturing;
static int s_shotsOpen;  // screenshots still being looked for
static int s_shotsLeft;
static uint8_t s_shotTaken[MaxShots];
static int s_shotFailed;
static int64_t s_framesShown;
static int64_t s_expectedFrames;  // 0 = unknown
static Clock::time_point s_begin;
static Clock::time_point s_frameStart;
// The music rendered in lockstep over the run, in ms: part of every frame's time here, printed
// apart so that the frames' own share shows (a live run renders it in blocks, off the frames).
static double s_musicMs;
static double s_lastProgress;
static int s_lastDecile;
static int s_tty;
// Benchmark: work time of every frame and the effect that drew it.
static float* s_times;
static uint8_t* s_timeEffect;
static int64_t s_timeCount;
static int64_t s_timeCap;
static int s_frameEffect;
// Where the timeline reached its end marker (0xFFFF: not reached).
static uint16_t s_endOrder = 0xFFFF, s_endRow = 0xFFFF;

static double runmode_seconds(void) { return std::chrono::duration<double>(Clock::now() - s_begin).count(); }

static void runmode_sink(const int16_t* samples, int frames, void*)
{
    if (s_capturing)
        capture_audio(samples, frames);
    if (s_options->fingerprint)
        fingerprint_audio(samples, frames);
}

static void runmode_progress(int final)
{
    double now = runmode_seconds();
    if (!final && now - s_lastProgress < (s_tty ? 0.2 : 0.0))
        return;
    double shown = double(s_framesShown) / s_options->fps;
    double speed = now > 0.0 ? shown / now : 0.0;
    uint16_t order, row;
    modplay_getCurrentPosition(&order, &row);
    char pos[16];
    if (order == 0xFFFF)
        std::snprintf(pos, sizeof pos, "end");
    else
        std::snprintf(pos, sizeof pos, "%02u:%02u", order, row);
    double frac = s_expectedFrames > 0 ? std::min(1.0, double(s_framesShown) / double(s_expectedFrames)) : 0.0;
    if (final)
        frac = 1.0;
    if (s_tty) {
        s_lastProgress = now;
        char bar[31];
        int fill = int(frac * 30.0);
        for (int i = 0; i < 30; i++)
            bar[i] = i < fill ? '#' : '.';
        bar[30] = '\0';
        char eta[24] = "";
        if (s_expectedFrames > 0 && speed > 0.0 && !final) {
            double left = double(s_expectedFrames - s_framesShown) / s_options->fps / speed;
            if (left < 0.0)
                left = 0.0;
            std::snprintf(eta, sizeof eta, "  %d:%02d left", int(left) / 60, int(left) % 60);
        }
        std::fprintf(stderr, "\rcapture [%s] %lld", bar, static_cast<long long>(s_framesShown));
        if (s_expectedFrames > 0)
            std::fprintf(stderr, "/%lld", static_cast<long long>(s_expectedFrames));
        std::fprintf(stderr, " frames  %s  %.1fx%s   %s", pos, speed, eta, final ? "\n" : "");
        std::fflush(stderr);
    } else {
        // Not a terminal: one line per tenth, so logs stay readable.
        int decile = int(frac * 10.0);
        if (decile <= s_lastDecile || (!final && s_expectedFrames <= 0))
            return;
        s_lastDecile = decile;
        std::fprintf(stderr, "capture: %3d%%  %lld frames  %s  %.1fx\n", int(frac * 100.0),
                     static_cast<long long>(s_framesShown), pos, speed);
    }
}

static void runmode_takeShots(const uint32_t* surface)
{
    uint16_t order, row;
    modplay_getCurrentPosition(&order, &row);
    if (order == 0xFFFF)
        return;
    for (int i = 0; i < s_options->numShots; i++) {
        const MusicPos& p = s_options->shots[i];
        if (s_shotTaken[i] || p.order != order || p.row != row)
            continue;
        s_shotTaken[i] = 1;
        s_shotsLeft--;
        char path[4096];
        std::snprintf(path, sizeof path, "%s/%02u-%02u.png", s_options->outDir, p.order, p.row);
        if (!pngout_write(path, surface, 320, 200, 1))
            s_shotFailed = 1;
    }
}

// The window calls this after every presented frame, with the clock already advanced by dt:
// the frame just shown was drawn at the music position polled before the music advances here.
static void runmode_hook(const uint32_t* surface, float dt, void*)
{
    if (!s_active)
        return;
    if (s_shotsOpen)
        runmode_takeShots(surface);
    // The frame's samples go out before the frame: the encoder reads its sound input ahead of
    // the picture while it starts up.
    const Clock::time_point musicStart = Clock::now();
    modplay_advance(dt);
    s_musicMs += std::chrono::duration<double, std::milli>(Clock::now() - musicStart).count();
    if (s_capturing)
        capture_frame(surface);
    if (s_options->fingerprint)
        fingerprint_frame(effect_getCurrent() ? effect_getCurrent()->name : nullptr, surface);
    s_framesShown++;
    if (s_capturing)
        runmode_progress(0);
}

void runmode_configure(const Options* o)
{
    s_options = o;
    int fixed = options_isFixedStep(o);
    glint_setHeadless(options_isHeadless(o));
    glint_setFixedStep(fixed ? o->fps : 0);
    glint_setVsync(o->vsync);
    modplay_setMode(fixed ? ModplayMode_Offline : (o->mute ? ModplayMode_Mute : ModplayMode_Live));
    glint_setFrameHook(runmode_hook, nullptr);
}

int runmode_begin(const Options* o)
{
    s_options = o;
    s_framesShown = 0;
    s_lastProgress = -1.0;
    s_lastDecile = -1;
    s_shotFailed = 0;
    s_tty = glint_stderrIsTerminal();
    MusicPos end = o->hasEnd ? o->end : MusicPos{27, 8};
    double tEnd = modplay_getTimeAt(end.order, end.row);
    double tStart = o->hasStart ? modplay_getTimeAt(o->start.order, o->start.row) : 0.0;
    if (o->hasStart && tStart < 0.0) {
        std::printf("main: --start %u:%u is not a position in the music\n", o->start.order, o->start.row);
        return 0;
    }
    s_expectedFrames = 0;
    if (tEnd > 0.0 && tStart >= 0.0 && tEnd > tStart)
        s_expectedFrames = int64_t(std::ceil((tEnd - tStart) * o->fps)) + 1;
    // A screenshot the run cannot reach is refused now, not after playing the whole show.
    for (int i = 0; i < o->numShots; i++) {
        const MusicPos& p = o->shots[i];
        double t = modplay_getTimeAt(p.order, p.row);
        const char* why = nullptr;
        if (t < 0.0)
            why = "is not a position in the music";
        else if (o->hasStart && t < tStart)
            why = "comes before --start";
        else if (tEnd >= 0.0 && t >= tEnd)
            why = o->hasEnd ? "is not before --end" : "is not before the end of the show";
        if (why) {
            std::printf("main: --shots position %u:%u %s\n", p.order, p.row, why);
            return 0;
        }
    }

    s_shotsLeft = o->numShots;
    s_shotsOpen = o->numShots > 0;
    std::memset(s_shotTaken, 0, sizeof s_shotTaken);
    if (s_shotsOpen && !glint_makeDirectory(o->outDir) && errno != EEXIST) {
        std::printf("shots: cannot create directory %s: %s\n", o->outDir, std::strerror(errno));
        return 0;
    }
    if (o->benchmark) {
        s_timeCap = s_expectedFrames > 0 ? s_expectedFrames + 1024 : int64_t(o->fps) * 3600;
        s_times = static_cast<float*>(mem_malloc(size_t(s_timeCap) * sizeof(float)));
        s_timeEffect = static_cast<uint8_t*>(mem_malloc(size_t(s_timeCap)));
        s_timeCount = 0;
    }
    s_capturing = 0;
    if (o->fingerprint) {
        fingerprint_begin();
        modplay_setSink(runmode_sink, nullptr);
    }
    if (o->capture) {
        if (!capture_open(o->capture, o->fps, o->scale))
            return 0;
        s_capturing = 1;
        modplay_setSink(runmode_sink, nullptr);
    }
    s_endOrder = s_endRow = 0xFFFF;
    s_begin = Clock::now();
    s_musicMs = 0.0;
    s_active = 1;
    return 1;
}

void runmode_frameStart(void)
{
    if (!s_times)
        return;
    const Effect* cur = effect_getCurrent();
    s_frameEffect = 255;
    for (int i = 0; i < effect_getCount() && i < 255; i++)
        if (effect_get(i) == cur)
            s_frameEffect = i;
    s_frameStart = Clock::now();
}

void runmode_frameEnd(void)
{
    if (s_endOrder == 0xFFFF && effect_isEnded())
        modplay_getCurrentPosition(&s_endOrder, &s_endRow);
    if (!s_times || s_timeCount >= s_timeCap)
        return;
    s_times[s_timeCount] = float(std::chrono::duration<double, std::milli>(Clock::now() - s_frameStart).count());
    s_timeEffect[s_timeCount] = uint8_t(s_frameEffect);
    s_timeCount++;
}

int runmode_shouldStop(void)
{
    if (!s_active)
        return 0;
    // Ctrl-C during a capture ends the run, so the file written so far can be finished.
    if (s_capturing && (capture_failed() || capture_interrupted()))
        return 1;
    if (s_shotsOpen && (s_shotsLeft == 0 || s_shotFailed))
        return 1;
    if (s_options->hasEnd) {
        uint16_t order, row;
        modplay_getCurrentPosition(&order, &row);
        if (order != 0xFFFF && (order > s_options->end.order || (order == s_options->end.order && row >= s_options->end.row)))
            return 1;
    }
    // Played out without the timeline's end position ever being polled (a seek or a long frame
    // stepped over it): nothing more will happen, so the run ends instead of hanging.
    return modplay_isFinished();
}

void runmode_formatSceneLine(char* out, int size, const char* name, int frames, const float* sortedMs)
{
    float median = frames > 0 ? sortedMs[frames / 2] : 0.0f;
    if (frames > 0 && frames % 2 == 0)
        median = 0.5f * (sortedMs[frames / 2 - 1] + sortedMs[frames / 2]);
    int p99i = frames > 0 ? int(std::ceil(0.99 * frames)) - 1 : 0;
    float p99 = frames > 0 ? sortedMs[p99i] : 0.0f;
    double fps = median > 0.0f ? 1000.0 / median : 0.0;
    std::snprintf(out, size_t(size), "%s  frames %d  median %.2f ms  p99 %.2f ms  %.0f fps", name, frames, median, p99,
                  fps);
}

static void runmode_printBenchmark(double wall)
{
    // Scenes in playing order (start position), each with its sorted frame times.
    int n = effect_getCount();
    int order[MaxEffects];
    int count = 0;
    for (int i = 0; i < n && count < MaxEffects; i++)
        if (effect_get(i)->name)
            order[count++] = i;
    std::stable_sort(order, order + count, [](int a, int b) {
        const Effect* x = effect_get(a);
        const Effect* y = effect_get(b);
        return x->startOrder != y->startOrder ? x->startOrder < y->startOrder : x->startRow < y->startRow;
    });
    float* scratch = static_cast<float*>(mem_malloc(size_t(s_timeCount > 0 ? s_timeCount : 1) * sizeof(float)));
    for (int k = 0; k < count; k++) {
        int idx = order[k];
        int frames = 0;
        for (int64_t i = 0; i < s_timeCount; i++)
            if (s_timeEffect[i] == idx)
                scratch[frames++] = s_times[i];
        if (frames == 0)
            continue;
        std::sort(scratch, scratch + frames);
        char line[256];
        runmode_formatSceneLine(line, sizeof line, effect_get(idx)->name, frames, scratch);
        std::printf("%s\n", line);
    }
    mem_free(scratch);
    double show = double(s_framesShown) / s_options->fps;
    char end[24] = "end not reached";
    if (s_endOrder != 0xFFFF)
        std::snprintf(end, sizeof end, "ended at %02u:%02u", s_endOrder, s_endRow);
    std::printf("total  frames %lld  wall %.2f s  show %.2f s  %.1fx real time  %s  music %.3f ms per frame\n",
                static_cast<long long>(s_framesShown), wall, show, wall > 0.0 ? show / wall : 0.0, end,
                s_framesShown > 0 ? s_musicMs / double(s_framesShown) : 0.0);
}

int runmode_finish(void)
{
    if (!s_active)
        return 0;
    double wall = runmode_seconds();
    s_active = 0;
    int rc = 0;
    if (s_capturing) {
        modplay_setSink(nullptr, nullptr);
        s_capturing = 0;
        int failedEarly = capture_failed();
        if (!failedEarly)
            runmode_progress(1);
        else if (s_tty)
            std::fputc('\n', stderr);
        int complete = capture_close();
        int sig = capture_interrupted();
        if (sig) {
            if (complete)
                std::printf("capture: interrupted; the first %lld frames are in %s\n",
                            static_cast<long long>(capture_getFrames()), s_options->capture);
            else
                std::printf("capture: interrupted; %s was not written\n", s_options->capture);
            rc = 128 + sig;
        } else if (!complete) {
            rc = 1;
        } else {
            // Wall time up to the finished file, encoder tail and muxing included.
            double total = runmode_seconds();
            double shown = double(capture_getFrames()) / s_options->fps;
            std::printf("capture: %lld frames (%.2f s of show) in %.1f s, %.2fx real time, written to %s\n",
                        static_cast<long long>(capture_getFrames()), shown, total, total > 0.0 ? shown / total : 0.0,
                        s_options->capture);
        }
    }
    if (s_options->numShots > 0) {
        // A failed write was reported as such and ended the run: the positions after it were not
        // missed by the run, so they are not listed as unreached.
        if (s_shotFailed)
            rc = 1;
        for (int i = 0; i < s_options->numShots && !s_shotFailed; i++) {
            if (!s_shotTaken[i]) {
                std::printf("shots: position %u:%u was not reached\n", s_options->shots[i].order,
                            s_options->shots[i].row);
                rc = 1;
            }
        }
    }
    if (s_options->fingerprint) {
        modplay_setSink(nullptr, nullptr);
        fingerprint_print(stdout);
    }
    if (s_times) {
        runmode_printBenchmark(wall);
        mem_free(s_times);
        mem_free(s_timeEffect);
        s_times = nullptr;
        s_timeEffect = nullptr;
    }
    std::fflush(stdout);
    return rc;
}

void runmode_lastFrame(void) { s_shotsOpen = 0; }

int runmode_seekTarget(int plus, int minus, int shift, uint16_t* order, uint16_t* row)
{
    if (plus) {
        if (shift) {
            (*order)++;
        } else if (++*row == 64) {
            (*order)++;
            *row = 0;
        }
        return 1;
    }
    if (minus) {
        if (shift || *row == 0)
            *order = *order > 0 ? uint16_t(*order - 1) : uint16_t(0);
        else
            (*row)--;
        return 1;
    }
    return 0;
}

void runmode_seekKeys(void)
{
    int plus = kb_keyDown(0xBB);
    int minus = !plus && kb_keyDown(0xBD);
    if (!plus && !minus)
        return;
    uint16_t order, row;
    modplay_getCurrentPosition(&order, &row);
    // After the music's end there is no position to step from.
    if (order == 0xFFFF)
        return;
    if (runmode_seekTarget(plus, minus, kb_key(0xA0), &order, &row)) {
        modplay_setCurrentPosition(order, row);
        log_debug("effect: current order, row = %hu, %hu\n", order, row);
    }
}
