// The show's audio output, on the browser's audio thread: plays a queue of rendered frames
// (interleaved stereo float blocks, numbered in the order the program produced them) and reports
// which frame it played at which context frame, so the page can tell the frame being heard.
//
// Messages in:  {frames: Float32Array, first: index of its first frame}   queue a block
//               {flush: index}   drop everything before that frame (after a seek)
// Messages out: {pos, frame, late, playing}: with `playing`, frame `pos` was played at context
//               frame `frame`; without, the queue is empty. `late` counts the times the queue ran
//               dry while playing.
const ReportQuanta = 8;  // a report about every 23 ms at 44100 Hz, and after every gap

class TidewaterAudio extends AudioWorkletProcessor {
    constructor() {
        super();
        this.blocks = [];
        this.head = 0;       // offset into blocks[0], in frames
        this.next = 0;       // index of the next frame to play
        this.queued = 0;     // frames queued from `next` on
        this.playing = false;
        this.late = 0;
        this.sinceReport = ReportQuanta;
        this.port.onmessage = (e) => {
            const m = e.data;
            if (m.flush !== undefined) {
                this.blocks = [];
                this.head = 0;
                this.queued = 0;
                this.next = m.flush;
                this.playing = false;
                return;
            }
            if (m.first + m.frames.length / 2 <= this.next)
                return;  // produced before a flush
            this.blocks.push(m);
            this.queued += m.frames.length / 2;
        };
    }

    process(inputs, outputs) {
        const left = outputs[0][0], right = outputs[0][1];
        const n = left.length;
        const first = this.next;
        const gap = !this.playing;
        let i = 0;
        while (i < n && this.blocks.length) {
            const b = this.blocks[0];
            const frames = b.frames.length / 2;
            const take = Math.min(n - i, frames - this.head);
            const pcm = b.frames;
            for (let j = 0, k = 2 * this.head; j < take; j++, k += 2) {
                left[i + j] = pcm[k];
                right[i + j] = pcm[k + 1];
            }
            i += take;
            this.head += take;
            if (this.head === frames) {
                this.blocks.shift();
                this.head = 0;
            }
        }
        this.next += i;
        this.queued -= i;
        if (i < n && (i > 0 || !gap))
            this.late++;  // ran dry while playing
        this.playing = i === n;
        // A quantum that started with a queued frame tells where that frame played (`playing`);
        // one without tells only that the queue wants filling.
        if (i > 0 && (gap || ++this.sinceReport >= ReportQuanta)) {
            this.port.postMessage({pos: first, frame: currentFrame, late: this.late, playing: true});
            this.sinceReport = 0;
        } else if (i === 0 && ++this.sinceReport >= ReportQuanta) {
            this.port.postMessage({pos: this.next, frame: currentFrame, late: this.late, playing: false});
            this.sinceReport = 0;
        }
        return true;
    }
}

registerProcessor("tidewater-audio", TidewaterAudio);
