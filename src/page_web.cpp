// page: what the web page asks the program around a run. The chapter list comes from the
// timeline the program registers, so the page never keeps a second copy of the scenes.
#include <emscripten.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "effect.h"
#include "file.h"
#include "modplay.h"

// The scenes in playing order, one "NAME ORDER ROW SECONDS" line each, then "end ORDER ROW
// SECONDS" for the end of the show; SECONDS is the music's time at that position. Before main
// runs: mounts the datafile and measures the module, then leaves both as they were.
extern "C" EMSCRIPTEN_KEEPALIVE const char* page_chapters(void)
{
    static std::string s_text;
    const Effect* entries[MaxEffects];
    int count = 0;
    for (const Effect* e; count < MaxEffects && (e = effect_timelineEntry(count));)
        entries[count++] = e;
    std::stable_sort(entries, entries + count, [](const Effect* a, const Effect* b) {
        return a->startOrder < b->startOrder || (a->startOrder == b->startOrder && a->startRow < b->startRow);
    });
    s_text.clear();
    char error[160];
    if (!file_tryMountData("qx-tdwt.dat", error, sizeof error))
        return "";
    modplay_setMode(ModplayMode_Offline);
    if (modplay_init("srcdata/s32.mod")) {
        char line[96];
        for (int i = 0; i < count; i++) {
            const Effect* e = entries[i];
            std::snprintf(line, sizeof line, "%s %d %d %.3f\n", e->name ? e->name : "end", e->startOrder, e->startRow,
                          modplay_getTimeAt((uint16_t)e->startOrder, (uint16_t)e->startRow));
            s_text += line;
        }
        modplay_deinit();
    }
    file_unmountData();
    return s_text.c_str();
}

// The scene on screen ("" before the first frame and after the last).
extern "C" EMSCRIPTEN_KEEPALIVE const char* page_scene(void)
{
    const Effect* e = effect_getCurrent();
    return e && e->name ? e->name : "";
}

// The tab was hidden while the music played on: the timeline moves to the scene being heard, so
// the next frame shows what the music is at (a switch position passed without a poll would
// otherwise keep the old scene to the end of the show).
extern "C" EMSCRIPTEN_KEEPALIVE void page_rejoin(void)
{
    uint16_t order, row;
    modplay_getCurrentPosition(&order, &row);
    effect_catchUp(order, row);
}
