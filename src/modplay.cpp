#include "modplay.h"

#include "audiodev.h"
#include "file.h"
#include "log.h"
#include "mem.h"

#include <libopenmpt/libopenmpt.h>

#include <cmath>
#include <cstdio>
#include <cstring>

// Samples are rendered in chunks of this many frames; live playback stamps each chunk's first
// sample with the position it was rendered at, so the row being heard can be looked up later.
static const int ChunkFrames = 128;
// Wanted device buffer (23 ms): small enough that the heard-row estimate stays within a frame,
// large enough that a busy machine does not starve the device.
static const int DeviceFrames = 1024;
// Ring of (sample, order, row) stamps; must cover more than the device's queued audio (the
// browser's queue is the longest: 16384 frames, and one fill of up to 4096 more).
static const int MarkerCount = 512;
static const uint16_t NoPosition = 0xFFFF;

struct PositionMark {
    int64_t sample;
    uint16_t order;
    uint16_t row;
};

static void* s_moduleData;
static int s_moduleDataSize;
static openmpt_module* s_chan;  // the music; null = none
static ModplayMode s_mode = ModplayMode_Live;
static int s_deviceOpen;
static int s_deviceFrames;
static int s_playing;

// Render state (live: audio thread under the device lock; offline/mute: main thread).
static int64_t s_rendered;  // sample frames produced since modplay_play, silence after the end included
static int64_t s_endSample = -1;  // frame index at which the module ran out; -1 while it plays
static double s_owed;  // offline/mute: exact frames due since modplay_play
static int16_t s_scratch[ChunkFrames * ModplayChannels];
static ModplaySink s_sink;
static void* s_sinkUser;

// Live only.
static PositionMark s_marks[MarkerCount];
static int s_markHead;   // index of the newest stamp
static int s_markCount;
static int s_lateCallbacks;  // kept from the device when it closes
static int64_t s_queries;

static void modplay_resetMarks(uint16_t order, uint16_t row)
{
    // One stamp older than anything that can be heard: the position holds until audio rendered
    // after it is reached.
    s_marks[0].sample = INT64_MIN;
    s_marks[0].order = order;
    s_marks[0].row = row;
    s_markHead = 0;
    s_markCount = 1;
}

static void modplay_pushMark(int64_t sample, uint16_t order, uint16_t row)
{
    s_markHead = (s_markHead + 1) & (MarkerCount - 1);
    s_marks[s_markHead].sample = sample;
    s_marks[s_markHead].order = order;
    s_marks[s_markHead].row = row;
    if (s_markCount < MarkerCount)
        s_markCount++;
}

// Renders `frames` frames into out, zeros once the module has ended; stamps each chunk with the
// position it starts at when `stamp` is set (live playback).
static void modplay_render(int16_t* out, int frames, int stamp)
{
    int done = 0;
    while (done < frames) {
        int n = frames - done;
        if (n > ChunkFrames)
            n = ChunkFrames;
        int16_t* dst = out + done * ModplayChannels;
        int got = 0;
        if (s_endSample < 0) {
            if (stamp)
                modplay_pushMark(s_rendered, static_cast<uint16_t>(openmpt_module_get_current_order(s_chan)),
                                 static_cast<uint16_t>(openmpt_module_get_current_row(s_chan)));
            got = static_cast<int>(openmpt_module_read_interleaved_stereo(s_chan, ModplayRate, static_cast<size_t>(n), dst));
            if (got < n)
                s_endSample = s_rendered + got;
        }
        if (got < n)
            std::memset(dst + got * ModplayChannels, 0, static_cast<size_t>(n - got) * ModplayChannels * sizeof(int16_t));
        s_rendered += n;
        done += n;
    }
}

// The device counts the frames it asked for from its opening; the callback renders every one of
// them (the device only starts once playback has), so a heard frame index is a rendered one.
static void modplay_deviceCallback(int16_t* out, int frames, void*)
{
    if (!s_chan || !s_playing) {
        std::memset(out, 0, static_cast<size_t>(frames) * ModplayChannels * sizeof(int16_t));
        s_rendered += frames;
        return;
    }
    modplay_render(out, frames, 1);
}

void modplay_setMode(ModplayMode mode) { s_mode = mode; }
ModplayMode modplay_getMode(void) { return s_mode; }

static int modplay_create(const char* name)
{
    uint32_t version = openmpt_get_library_version();
    if ((version >> 24) != OPENMPT_API_VERSION_MAJOR || ((version >> 16) & 0xFF) < OPENMPT_API_VERSION_MINOR) {
        log_stdio("An incorrect version of libopenmpt was loaded\n");
        return 0;
    }
    if (s_mode == ModplayMode_Live) {
        s_deviceFrames = DeviceFrames;
        if (!audiodev_open(ModplayRate, &s_deviceFrames, modplay_deviceCallback, nullptr)) {
            log_stdio("Failed to initialize audio output device\n");
            log_stdio("modplay: no sound output (%s); --mute plays the show without sound\n", audiodev_error());
            return 0;
        }
        s_deviceOpen = 1;
    }
    // Play once and stop at the end: the default of looping or fading out would keep reporting
    // positions from the start of the song.
    const openmpt_module_initial_ctl ctls[] = {
        {"play.at_end", "stop"},
        {"seek.sync_samples", "1"},
        // Dither draws on a random seed per instance; without it two runs are sample-identical.
        {"dither", "0"},
        {nullptr, nullptr},
    };
    s_chan = openmpt_module_create_from_memory2(s_moduleData, static_cast<size_t>(s_moduleDataSize),
                                                openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
                                                nullptr, nullptr, nullptr, ctls);
    if (!s_chan) {
        log_stdio("Failed to load %s\n", name);
        return 0;
    }
    openmpt_module_set_repeat_count(s_chan, 0);
    s_playing = 0;
    s_rendered = 0;
    s_endSample = -1;
    s_owed = 0.0;
    s_lateCallbacks = 0;
    modplay_resetMarks(0, 0);
    return 1;
}

int modplay_init(const char* name)
{
    log_debug("modplay: loading %s\n", name);
    s_moduleData = file_readAll(name, &s_moduleDataSize);
    log_debug("modplay: loaded %s %i bytes\n", name, s_moduleDataSize);
    return modplay_create(name);
}

int modplay_initFromMemory(const void* data, int size, const char* name)
{
    if (size < 0)
        size = 0;
    s_moduleData = mem_malloc(size > 0 ? static_cast<size_t>(size) : 1);
    if (size > 0)
        std::memcpy(s_moduleData, data, static_cast<size_t>(size));
    s_moduleDataSize = size;
    return modplay_create(name);
}

void modplay_play(void)
{
    if (!s_chan)
        return;
    audiodev_lock();
    s_playing = 1;
    openmpt_module_set_render_param(s_chan, OPENMPT_MODULE_RENDER_MASTERGAIN_MILLIBEL, ModplayGainMillibel);
    audiodev_unlock();
    if (s_deviceOpen)
        audiodev_start();
}

void modplay_deinit(void)
{
    if (s_deviceOpen) {
        s_lateCallbacks = audiodev_lateBuffers();
        audiodev_close();
        s_deviceOpen = 0;
        if (s_lateCallbacks > 0)
            log_stdio("modplay: %d audio buffers were late\n", s_lateCallbacks);
    }
    if (s_chan) {
        openmpt_module_destroy(s_chan);
        s_chan = nullptr;
    }
    s_playing = 0;
    s_sink = nullptr;
    s_sinkUser = nullptr;
    if (s_moduleData) {
        mem_free(s_moduleData);
        s_moduleData = nullptr;
    }
    s_moduleDataSize = 0;
}

void modplay_getCurrentPosition(uint16_t* order, uint16_t* row)
{
    uint16_t o = NoPosition, r = NoPosition;
    s_queries++;
    if (s_chan) {
        if (s_deviceOpen) {
            audiodev_lock();
            if (s_playing) {
                int64_t heard = audiodev_heardFrame();
                if (s_endSample < 0 || heard < s_endSample) {
                    // Newest stamp at or before the heard sample; the ring always holds one.
                    int i = s_markHead;
                    for (int k = 1; k < s_markCount && s_marks[i].sample > heard; k++)
                        i = (i - 1) & (MarkerCount - 1);
                    o = s_marks[i].order;
                    r = s_marks[i].row;
                }
            } else {
                o = static_cast<uint16_t>(openmpt_module_get_current_order(s_chan));
                r = static_cast<uint16_t>(openmpt_module_get_current_row(s_chan));
            }
            audiodev_unlock();
        } else if (s_endSample < 0) {
            o = static_cast<uint16_t>(openmpt_module_get_current_order(s_chan));
            r = static_cast<uint16_t>(openmpt_module_get_current_row(s_chan));
        }
    }
    *order = o;
    *row = r;
}

void modplay_setCurrentPosition(uint16_t order, uint16_t row)
{
    if (!s_chan)
        return;
    audiodev_lock();
    openmpt_module_set_position_order_row(s_chan, order, row);
    // The module may have run out before the seek; it plays again from the new position, and
    // what was rendered from the old one is not played any more.
    s_endSample = -1;
    modplay_resetMarks(static_cast<uint16_t>(openmpt_module_get_current_order(s_chan)),
                       static_cast<uint16_t>(openmpt_module_get_current_row(s_chan)));
    // After the new marks: a flush may render the next frames at once (the browser refills its
    // queue in it), and their stamps must stay.
    if (s_deviceOpen)
        audiodev_flush();
    audiodev_unlock();
}

int modplay_updateTrigger(Trigger* trigger)
{
    if (trigger->triggered)
        return 0;
    uint16_t order, row;
    modplay_getCurrentPosition(&order, &row);
    if (order != trigger->order || row != trigger->row)
        return 0;
    if (row == NoPosition)
        return 0;
    trigger->triggered = 1;
    return 1;
}

void modplay_updateTriggers(Trigger* triggers, int count)
{
    for (int i = 0; i < count; i++)
        if (modplay_updateTrigger(&triggers[i]))
            triggers[i].func();
}

void modplay_setVolume(float level)
{
    if (!s_chan)
        return;
    // Linear level to millibel below the full level; silence is clamped to -100 dB.
    int32_t mb = level > 0.00001f ? static_cast<int32_t>(lrintf(2000.0f * log10f(level))) : -10000;
    if (mb > 0)
        mb = 0;
    mb += ModplayGainMillibel;
    audiodev_lock();
    openmpt_module_set_render_param(s_chan, OPENMPT_MODULE_RENDER_MASTERGAIN_MILLIBEL, mb);
    audiodev_unlock();
}

void modplay_advance(float dt)
{
    if (!s_chan || !s_playing || s_deviceOpen || !(dt > 0.0f))
        return;
    s_owed += static_cast<double>(dt) * double(ModplayRate);
    int64_t target = static_cast<int64_t>(std::floor(s_owed + 0.5));
    while (s_rendered < target) {
        int64_t left = target - s_rendered;
        int n = left > ChunkFrames ? ChunkFrames : static_cast<int>(left);
        modplay_render(s_scratch, n, 0);
        if (s_sink)
            s_sink(s_scratch, n, s_sinkUser);
    }
}

void modplay_setSink(ModplaySink sink, void* user)
{
    s_sink = sink;
    s_sinkUser = user;
}

int modplay_isFinished(void)
{
    if (!s_chan)
        return 1;
    int finished;
    audiodev_lock();
    if (s_endSample < 0)
        finished = 0;
    else if (s_deviceOpen)
        finished = audiodev_heardFrame() >= s_endSample;
    else
        finished = 1;
    audiodev_unlock();
    return finished;
}

double modplay_getTimeAt(uint16_t order, uint16_t row)
{
    if (!s_moduleData || s_moduleDataSize <= 0)
        return -1.0;
    // A second instance, so the playing one keeps its state.
    openmpt_module* probe = openmpt_module_create_from_memory2(s_moduleData, static_cast<size_t>(s_moduleDataSize),
                                                              openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
                                                              nullptr, nullptr, nullptr, nullptr);
    if (!probe)
        return -1.0;
    double t = -1.0;
    if (order < openmpt_module_get_num_orders(probe)) {
        t = openmpt_module_set_position_order_row(probe, order, row);
        if (openmpt_module_get_current_order(probe) != order || openmpt_module_get_current_row(probe) != row)
            t = -1.0;
    }
    openmpt_module_destroy(probe);
    return t;
}

int64_t modplay_getRenderedFrames(void) { return s_rendered; }
int64_t modplay_getQueryCount(void) { return s_queries; }
int modplay_getLateBuffers(void) { return s_deviceOpen ? audiodev_lateBuffers() : s_lateCallbacks; }
