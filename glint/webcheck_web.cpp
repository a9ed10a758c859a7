// webcheck: what the web build's checks (web/test/driver.mjs) ask the program in the browser,
// beside running it: the music rendered offline, the position being polled and the music's row
// timing. Nothing of the show calls these.
#include <emscripten.h>
#include <libopenmpt/libopenmpt.h>

#include <cstdio>
#include <string>

#include "file.h"
#include "mem.h"
#include "modplay.h"

static uint64_t s_hash;

static void webcheck_sink(const int16_t* samples, int frames, void*)
{
    // FNV-1a 64 over the little-endian bytes of the interleaved samples.
    const uint8_t* p = (const uint8_t*)samples;
    for (int i = 0; i < frames * ModplayChannels * 2; i++) {
        s_hash ^= p[i];
        s_hash *= 0x100000001b3ull;
    }
}

// Renders the whole module offline as a 60 fps capture does (one clock step per frame) and
// returns "FRAMES HASH": sample frames to the end and the FNV-1a 64 of their bytes.
extern "C" EMSCRIPTEN_KEEPALIVE const char* webcheck_music(void)
{
    static char s_result[64];
    file_mountData("qx-tdwt.dat");
    modplay_setMode(ModplayMode_Offline);
    if (!modplay_init("srcdata/s32.mod"))
        return "failed";
    s_hash = 0xcbf29ce484222325ull;
    modplay_setSink(webcheck_sink, nullptr);
    modplay_play();
    while (!modplay_isFinished())
        modplay_advance(1.0f / 60.0f);
    std::snprintf(s_result, sizeof s_result, "%lld %016llx", (long long)modplay_getRenderedFrames(),
                  (unsigned long long)s_hash);
    modplay_deinit();
    file_unmountData();
    return s_result;
}

// The position the program would poll now: order << 16 | row (0xFFFFFFFF: none).
extern "C" EMSCRIPTEN_KEEPALIVE uint32_t webcheck_position(void)
{
    uint16_t order, row;
    modplay_getCurrentPosition(&order, &row);
    return (uint32_t)order << 16 | row;
}

// Start time in seconds of every row the module plays, in playing order: "order row seconds"
// lines. A separate player instance plays the module from the mounted datafile through once, at a
// low rate and in steps of 5 ms, noting each new position (seeking to every row instead
// would replay the song up to it each time).
extern "C" EMSCRIPTEN_KEEPALIVE const char* webcheck_rowTimes(void)
{
    static std::string s_text;
    s_text.clear();
    int size = 0;
    void* data = file_readAll("srcdata/s32.mod", &size);
    openmpt_module* m = data ? openmpt_module_create_from_memory2(data, (size_t)size, openmpt_log_func_silent, nullptr,
                                                                  openmpt_error_func_ignore, nullptr, nullptr, nullptr,
                                                                  nullptr)
                             : nullptr;
    if (m) {
        const int Rate = 8000, Step = 40;  // 5 ms steps: rows last about 120 ms
        int16_t scratch[Step];
        int64_t frames = 0;
        int lastOrder = -1, lastRow = -1;
        char line[64];
        openmpt_module_set_repeat_count(m, 0);
        for (;;) {
            // The position before a read is that of its first frame.
            const int order = openmpt_module_get_current_order(m), row = openmpt_module_get_current_row(m);
            const size_t got = openmpt_module_read_mono(m, Rate, Step, scratch);
            if (got == 0)
                break;
            if (order != lastOrder || row != lastRow) {
                std::snprintf(line, sizeof line, "%d %d %.6f\n", order, row, (double)frames / Rate);
                s_text += line;
                lastOrder = order;
                lastRow = row;
            }
            frames += (int64_t)got;
        }
        openmpt_module_destroy(m);
    }
    if (data)
        mem_free(data);
    return s_text.c_str();
}
