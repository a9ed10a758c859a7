// The program's entry: brings every subsystem up in a fixed order behind the loading bar, plays
// the show until the timeline ends or Escape, and takes everything down, ending with the banner.
#include "banner.h"
#include "effect.h"
#include "file.h"
#include "glint_interface.h"
#include "glint_os.h"
#include "kb.h"
#include "log.h"
#include "math.h"
#include "mem.h"
#include "modplay.h"
#include "options.h"
#include "progress.h"
#include "r3d.h"
#include "random.h"
#include "runmode.h"
#include "timer.h"
#include "util.h"
#include "video.h"

#include <cstdint>
#include <cstdio>

static const char* const DATAFILE = "qx-tdwt.dat";
static const char* const modfile = "srcdata/s32.mod";

static Options s_options;

static int init(int argc, char** argv)
{
    (void)argc;
    (void)argv;  // parsed by main: the run's modes must be known before the audio device opens
    util_fpuInit();
    log_init(0);
    mem_init();
    log_debug("main: mounting datafile %s\n", DATAFILE);
    file_mountData(DATAFILE);
    if (!modplay_init(modfile))
        return 0;
    log_debug("main: initialising\n");
    if (!video_init(1, s_options.fullscreen, s_options.scale)) {
        log_stdio("video: failed to init!\n");
        return 0;
    }
    effect_register();
    progress_setTotal(effect_getCount() + 5);
    timer_init();
    progress_inc();
    progress_inc();
    math_init();
    progress_inc();
    kb_init();
    progress_inc();
    r3d_init();
    progress_inc();
    g_seed = 0;
    if (!effect_init()) {
        log_stdio("Failed to initialise effect system\n");
        return 0;
    }
    return 1;
}

static void deinit(void)
{
    r3d_deinit();
    modplay_deinit();
    effect_deinit();
    timer_deinit();
    video_deinit();
    math_deinit();
    banner_show();
    file_unmountData();
    mem_deinit();
    log_deinit();
}

// Exit code of start() when the frame loop may begin.
static const int Running = -1;
static int s_running;

// Options, loading and everything up to the first frame. Running, or the exit code.
static int start(int argc, char** argv)
{
    if (!options_parse(argc, argv, &s_options))
        return 1;
    if (s_options.help) {
        options_printHelp(stdout);
        return 0;
    }
    if (s_options.version) {
        std::printf("tidewater %s\n", TIDEWATER_VERSION);
        return 0;
    }
    runmode_configure(&s_options);
    // A live run ends on SIGTERM or Ctrl-C as on closing the window: credits and exit 0, even
    // while loading. Fixed-step runs (capture, screenshots, benchmark) keep their own handling.
    if (!glint_isFixedStep())
        glint_catchQuitSignals();
    if (!init(argc, argv))
        return 1;
    if (!runmode_begin(&s_options)) {
        deinit();
        return 1;
    }

    timer_start();
    modplay_play();
    if (s_options.hasStart) {
        modplay_setCurrentPosition(s_options.start.order, s_options.start.row);
        effect_startAt(s_options.start.order, s_options.start.row);
    } else {
        effect_start();
    }
    s_running = 1;
    return Running;
}

// One iteration of the frame loop; 0 once the run is over.
static int frame(void)
{
    if (kb_keyDown(0x1B) || glint_wasClosed())  // Escape, or the window closed (at any time)
        return 0;
    if (!s_running || runmode_shouldStop())
        return 0;
    float dt = timer_update();
    kb_update();
    runmode_frameStart();
    s_running = effect_update(dt);
    // Loading's truncation lasts until the first frame's drawing; the opening scene's ribbons and
    // every renderer pass end in the full mode, but a run started at a scene that draws neither
    // would otherwise keep truncating for good, and show that scene unlike the show does.
    util_fpuSetFullMode();
    video_present(dt);
    effect_postRetraceUpdate(dt);
    runmode_frameEnd();
    runmode_seekKeys();
    return 1;
}

// The last, black frame and shut-down; returns the exit code.
static int finish(void)
{
    runmode_lastFrame();
    util_clear(video_getBuffer(0), 0, 16000);
    video_present(0.0f);
    int rc = runmode_finish();
    deinit();
    return rc;
}

int main(int argc, char** argv)
{
    int rc = start(argc, argv);
    if (rc != Running)
        return rc;
    // In the browser this returns at once; the browser calls frame() from its animation frames
    // and finish() at the end, after main has returned.
    return glint_runLoop(frame, finish);
}
