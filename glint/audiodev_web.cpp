// audiodev, browser half: the page's AudioContext (44100 Hz) plays through an audio worklet
// (web/audio-worklet.js) that reads a queue of rendered frames on the audio thread.
//
// The main thread keeps the queue about QueueFrames long: whenever the worklet reports how far it
// has played, the page asks for the frames missing (audiodev_webFill), which runs the callback
// here, on the main thread, between animation frames. A busy frame only shortens the queue; the
// worklet plays on. Frames are numbered in the order the callback produced them; the worklet
// reports which frame it played at which context frame, and the context's output timestamp says
// which context frame is being heard now: together they give the frame being heard.
#include "audiodev.h"

#include <emscripten.h>

#include <cstring>

// About 370 ms queued: long frames, a busy machine or a slow tab pass without a gap. The position
// the program sees does not depend on it (it comes from the audio clock); only a seek's delay
// would, and a seek drops the queue.
static const int QueueFrames = 16384;
// The page fills in blocks of at most this many frames.
static const int FillFrames = 4096;

static AudiodevCallback s_callback;
static void* s_user;
static int s_open;
static int16_t s_block[FillFrames * 2];

// clang-format off
EM_JS(int, web_audioOpen, (int rate, int queueFrames), {
    const ctx = Module["audioContext"];
    if (!ctx || ctx.sampleRate !== rate || typeof AudioWorkletNode === "undefined")
        return 0;
    let node;
    try {
        node = new AudioWorkletNode(ctx, "tidewater-audio", {numberOfInputs: 0, outputChannelCount: [2]});
    } catch (e) {
        return 0;
    }
    // pos/frame: the worklet played frame `pos` at context frame `frame` (valid when `synced`).
    const audio = {node: node, sent: 0, pos: 0, frame: 0, synced: false, late: 0, started: false,
                   queue: queueFrames};
    Module.tidewaterAudioState = audio;
    // Fill up to the queue length: frames produced so far minus frames played.
    audio.fill = () => {
        if (!audio.started)
            return;
        for (let want = audio.queue - (audio.sent - audio.pos); want > 0;) {
            const n = Math.min(want, 4096);
            const ptr = Module["_audiodev_webFill"](n);
            const pcm = new Float32Array(2 * n);
            const src = HEAP16.subarray(ptr >> 1, (ptr >> 1) + 2 * n);
            for (let i = 0; i < 2 * n; i++)
                pcm[i] = src[i] / 32768;
            node.port.postMessage({frames: pcm, first: audio.sent}, [pcm.buffer]);
            audio.sent += n;
            want -= n;
        }
    };
    node.port.onmessage = (e) => {
        const m = e.data;
        if (m.playing && m.pos >= audio.pos) {  // not from before a flush
            audio.pos = m.pos;
            audio.frame = m.frame;
            audio.synced = true;
        }
        audio.late = m.late;
        if (Module["onAudioReport"])
            Module["onAudioReport"](m);
        audio.fill();
    };
    return 1;
});

EM_JS(void, web_audioStart, (void), {
    const audio = Module.tidewaterAudioState;
    audio.node.connect(Module["audioContext"].destination);
    audio.started = true;
    audio.fill();
});

EM_JS(void, web_audioClose, (void), {
    const audio = Module.tidewaterAudioState;
    if (!audio)
        return;
    audio.started = false;
    audio.node.port.onmessage = null;
    audio.node.disconnect();
    Module.tidewaterAudioState = null;
});

// Frame being heard: the context frame at the speaker now, from the output timestamp (which
// includes the output latency), mapped through the worklet's last report.
EM_JS(double, web_audioHeard, (void), {
    const audio = Module.tidewaterAudioState;
    const ctx = Module["audioContext"];
    if (!audio || !audio.started)
        return 0;
    if (!audio.synced)
        return audio.pos;  // nothing of what is queued has played yet
    const ts = ctx.getOutputTimestamp();
    let t = ts.contextTime;
    if (ts.performanceTime > 0)
        t += Math.max(0, performance.now() - ts.performanceTime) / 1000;
    const heard = audio.pos + (t * ctx.sampleRate - audio.frame);
    return Math.max(0, Math.min(Math.floor(heard), audio.sent));
});

EM_JS(void, web_audioFlush, (void), {
    const audio = Module.tidewaterAudioState;
    if (!audio || !audio.started)
        return;
    // Everything produced so far goes; the worklet plays on from the next frame produced.
    audio.node.port.postMessage({flush: audio.sent});
    audio.pos = audio.sent;
    audio.synced = false;
    audio.fill();
});

EM_JS(int, web_audioLate, (void), {
    const audio = Module.tidewaterAudioState;
    return audio ? audio.late : 0;
});
// clang-format on

extern "C" EMSCRIPTEN_KEEPALIVE int16_t* audiodev_webFill(int frames)
{
    if (frames > FillFrames)
        frames = FillFrames;
    if (s_open && s_callback)
        s_callback(s_block, frames, s_user);
    else
        std::memset(s_block, 0, sizeof s_block);
    return s_block;
}

int audiodev_open(int rate, int* bufferFrames, AudiodevCallback callback, void* user)
{
    if (s_open)
        return 0;
    s_callback = callback;
    s_user = user;
    if (!web_audioOpen(rate, QueueFrames))
        return 0;
    *bufferFrames = QueueFrames;
    s_open = 1;
    return 1;
}

void audiodev_start(void)
{
    if (s_open)
        web_audioStart();
}

void audiodev_close(void)
{
    if (!s_open)
        return;
    web_audioClose();
    s_open = 0;
}

// One thread: the callback never runs while the program holds the "lock".
void audiodev_lock(void) {}
void audiodev_unlock(void) {}

const char* audiodev_error(void)
{
    return "no audio context (the page starts one on a click)";
}

int64_t audiodev_heardFrame(void)
{
    return s_open ? (int64_t)web_audioHeard() : 0;
}

void audiodev_flush(void)
{
    if (s_open)
        web_audioFlush();
}

int audiodev_lateBuffers(void)
{
    return s_open ? web_audioLate() : 0;
}
