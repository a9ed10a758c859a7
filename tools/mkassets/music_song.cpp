// The song: bars written as tracker text, the arrangement order by order, and the writer of the
// 8-channel module.
//
// Bar text: 16 cells separated by spaces, one per row (a bar is 4 beats of 4 rows).
//   .          empty cell
//   ^          cut the channel's note (EC0)
//   ~          continue vibrato (464)
//   /XYY       effect X with parameter YY only (hex), e.g. /A01 volume slide down
//   D-3, A#2   a note (octaves 1-3) on the lane's instrument
//   1 3 5 b7 8 10 _5 ...   a chord degree, relative to the bar's chord (bass and arp lanes);
//              3 and 10 follow the chord's quality
//   P          the pad chord of the bar (pad lane), S a stab on the bar's chord
//   x X k s g c t m l h j o r q R w z   drum and effect hits, see s_hits
// Any note, degree or hit may carry an effect: "x/C20", "D-3/305".
//
// Arrangement: each order lists its four chords and, for each of the eight lanes, four bar
// names ("name*3" repeats, "name@20" plays it at volume 20, "name!" ends it with a breath, "-" is
// an empty bar). Orders map one-to-one onto patterns.
//
// The piece: D minor, 125 BPM, speed 6. Two main progressions, Dm Bb F C and Dm Gm Bb A, carry
// theme A (long notes with vibrato) and theme B (syncopated); Bb C Dm Dm / Bb C A A carries the
// slow theme of the breakdown and the outro. Every scene start is a drop after two quiet rows,
// every scene fade a fill or a sweep into that gap. Every other row at which the picture changes
// (a name, a glitch burst, a new look, a flash, a greeting, a whiteout) lands a hit out of a
// breath: the held lanes rest for the two rows before it ("!" bars), so the hit stands at least
// 6 dB above what precedes it; where changes come on every beat the bass and lead are gated onto
// the beats, and where they come two or three rows apart the hits are short stutters.
#include "music.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace music {
namespace {

enum Lane { Kick, Snare, Hats, Bass, Pad, Arp, Lead, Fx, LaneCount };
static_assert(LaneCount == Channels, "one lane per channel");

// Stereo placement per lane (8xx: 00 left, 80 centre, FF right); written once per pattern.
const uint8_t s_lanePan[LaneCount] = {0x80, 0x74, 0x9C, 0x80, 0x5C, 0xA8, 0x88, 0x80};

struct Hit {
    char letter;
    const char* instrument;
    const char* note;
    int volume;  // -1 = the sample's own
};
const Hit s_hits[] = {
    {'x', "kick", "B-3", -1},       {'X', "impact", "B-3", -1},   {'k', "kick", "B-3", 0x28},
    {'s', "snare", "B-3", -1},      {'g', "snare", "B-3", 0x16},  {'c', "clap", "B-3", -1},
    {'t', "tom", "B-3", -1},        {'m', "tom", "G-3", -1},      {'l', "tom", "D-3", -1},
    {'h', "closed hat", "B-3", -1}, {'j', "closed hat", "B-3", 0x18}, {'o', "open hat", "B-3", -1},
    {'r', "crash", "B-3", -1},      {'q', "crash", "B-3", 0x1C},  {'R', "riser", "B-3", -1},
    {'w', "downsweep", "B-3", -1},  {'z', "glitch", "B-3", -1},   {'Z', "glitch", "E-3", -1},
};

// ---- bars --------------------------------------------------------------------------------------
struct BarText {
    const char* name;
    const char* cells;
};
const BarText s_bars[] = {
    // kick
    {"k.hit",    "X . . . . . . . . . . . . . . ."},
    {"k.intro",  "X . . . . . . . . . x . . . . ."},
    {"k.introb", "x . . . . . . . . . x . . . . ."},
    {"k.drop",   "X . . . x . . . x . . . x . . ."},
    {"k.four",   "x . . . x . . . x . . . x . . ."},
    {"k.stop",   "x . . . x . . . x . . . . . . ."},
    {"k.half",   "x . . . . . . . . . x . . . . ."},
    {"k.halfx",  "X . . . . . . . . . x . . . . ."},
    {"k.halfs",  "x . . . . . . . . . . . . . . ."},
    {"k.speed",  "x . . x x . . . x . . x x . x ."},
    {"k.white",  "x . . x x . . . . . X . . ^ . ."},
    {"k.die",    "x . . . x . . . x . . . ^ . X ."},
    {"k.g0",     "X . . . . . . . . . . . x . ^ ."},
    {"k.g1",     "x . ^ . . . . . x ^ . x/EC2 . . x/EC2 ."},
    {"k.g2",     "x/EC2 . X . . . . . . . . . . . . ."},
    {"k.g3",     "X . . . x . . . x . x . . . . ."},
    {"k.torus",  "X . . . . . . . X . . . . . . ."},
    {"k.torusend", "X . . . x . . . . . . . . . . ."},
    {"k.particles", ". . X . . . . . . . . . . . . ."},
    // snare and claps
    {"s.half",   ". . . . . . . . c . . . . . . ."},
    {"s.clap",   ". . . . c . . . . . . . c . . ."},
    {"s.clapf",  ". . . . c . . . . . . . c g g ."},
    {"s.snare",  ". . . . s . . g . . g . s . . ."},
    {"s.stop",   ". . . . s . . . s . s s s . . ."},
    {"s.fade",   ". . . . s . . . s . t m . . . ."},
    {"s.beat0",  ". . . . . . . . c . . . c . . ."},
    {"s.beat",   "c . . . c . . . c . . . c . . ."},
    {"s.beat3",  "c . . . c . . . c . t m . . . ."},
    {"s.skull",  ". . . . . . . . s . . . . . . ."},
    {"s.skullf", ". . . . . . . . s . . . s s s s"},
    {"s.skullstop", ". . . . . . . . s . t m l . . ."},
    {"s.g2",     ". . c . . . . . g . . . g . g ."},
    {"s.roll",   "s/C10 s/C14 s/C18 s/C1C s/C20 s/C24 s/C28 s/C2C s/C30 s/C34 s/C38 s/C40 . . . ."},
    {"s.white",  ". . . . c . . . . . s . . . . ."},
    {"s.torus",  "s . . . c . . . s . . . c . . ."},
    {"s.torusend", ". . . . c . . . . . . . . . . ."},
    {"s.end",    "s . . . . . . . . . . . . . . ."},
    // hats
    {"h.soft",   "j . j . j . j . j . j . j . j ."},
    {"h.8",      "h . o . h . o . h . o . h . o ."},
    {"h.16",     "h j o j h j h j h j o j h j h j"},
    {"h.8end",   "h . o . h . o . h . o . h . . ."},
    {"h.16end",  "h j o j h j h j h j o j h . . ."},
    {"h.16die",  "h j o j h j h j h j o j ^ . . ."},
    {"h.stop",   "h . o . h . o . h . . . . . . ."},
    {"h.ring",   "o . . . . . . . . . . . . . . ."},
    {"h.torus",  "h . o . h . . . h . o . h . . ."},
    {"h.g2",     ". . r . . . . . . . . . . . . ."},
    {"h.ring50", ". . o . . . . . . . . . . . . ."},
    // bass (degrees of the bar's chord)
    {"b.hold",   "1/C30 . . . . . . . . . . . . . . ."},
    {"b.off",    "1 . . . . . 1 . . . 8 . . . 1 ."},
    {"b.roll",   "1 . 1 8 . 1 . 8 1 . 1 8 . 1 8 ."},
    {"b.rollend", "1 . 1 8 . 1 . 8 1 . 1 8 . ^ . ."},
    {"b.oct",    "1 . 8 . 1 . 8 . 1 . 8 . 1 . 8 5"},
    {"b.16",     "1 1 8 1 1 8 1 1 8 1 1 8 1 5 8 1"},
    {"b.16die",  "1 1 8 1 1 8 1 1 8 1 1 8 ^ . . ."},
    {"b.stop",   "1 . 1 8 . 1 . 8 1 . ^ . . . . ."},
    {"b.long",   "1 . . . . . . . . . 1 . 5 . . ."},
    {"b.g0",     "1 . . . . . . . . . ^ . 1 . ^ ."},
    {"b.g1",     "1 . ^ . . . . . 1 ^ . 1/EC2 . . 1/EC2 ."},
    {"b.g2",     "1/EC2 . 1 . . . . . . . . . . . ^ ."},
    {"b.g3",     "1 . . . 1 . . . 1 . 1 . ^ . . ."},
    {"b.torus",  "1 . 1 8 . 1 ^ . 1 . 1 8 . 1 ^ ."},
    {"b.torusend", "1 . 1 8 . 1 . 8 ^ . . . . . . ."},
    {"b.end",    "1 . . . . . . . . . . . . . . ."},
    {"b.pump",   "1 8 ^ . 1 8 ^ . 1 8 ^ . 1 8 ^ ."},
    {"b.pumpstop", "1 8 ^ . 1 8 ^ . 1 8 ^ . . . . ."},
    {"b.16br",   "1 1 8 1 1 8 ^ . 1 1 8 1 1 8 ^ ."},
    {"b.white",  "1 . 1 8 . 1 . 8 ^ . 1 . . ^ . ."},
    {"b.particles", "^ . 1 . . . . . . . ^ . . . . ."},
    // pad
    {"p.hold",   "P . . . . . . . . . . . . . . ."},
    {"p.pump",   "P . . . /C10 /A20 /A20 /A20 /C10 /A20 /A20 /A20 /C10 /A20 /A20 /A20"},
    {"p.holdq",  "P/C20 . . . . . . . . . . . . . . ."},
    {"p.swell",  "P/C08 /A20 /A20 /A20 /A20 /A20 /A20 . . . . . . . . ."},
    {"p.stop",   "P . . . . . . . . . . . . ^ . ."},
    {"p.stopq",  "P/C20 . . . . . . . . . . . ^ . . ."},
    {"p.fade",   "P . . . . . . . /A02 /A02 /A04 /A04 /A04 ^ . ."},
    {"p.end",    "P . . . . . . . /A01 . /A01 . /A01 . /A01 ."},
    {"p.g2",     ". . P/C08 /A20 /A20 /A20 /A20 /A20 /A20 . . . . . . ."},
    {"p.white",  "P . . . . . . . ^ . P . . ^ . ."},
    {"p.particles", "^ . P . . . . . . . . . ^ . . ."},
    // arp and stabs
    {"a.8q",     "1/C20 . 5/C18 . 8/C20 . 5/C18 . 10/C20 . 8/C18 . 5/C20 . 3/C18 ."},
    {"a.8",      "1 . 5 . 8 . 5 . 10 . 8 . 5 . 3 ."},
    {"a.16",     "1 5 8 5 10 8 5 8 1 5 8 5 10 8 5 3"},
    {"a.16die",  "1 5 8 5 10 8 5 8 1 5 8 5 ^ . . ."},
    {"a.slow",   "1/C18 . . . 5/C14 . . . 8/C10 . . . ^ . . ."},
    {"a.stop",   "1 . 5 . 8 . 5 . 10 . 8 . ^ . . ."},
    {"a.stab",   "S . . . . . . . . . . . . . . ."},
    {"a.beat0",  ". . . . . . . . S . . . S . . ."},
    {"a.beat",   "S . . . S . . . S . . . S . . ."},
    {"a.beat3",  "S . . . S . . . S . . . . . . ."},
    {"a.g0",     "S . . . . . . . . . . . S . . ."},
    {"a.g1",     "S . ^ . . . . . S ^ . S/EC2 . . S/EC2 ."},
    {"a.skull",  "S . . . . . . S . . S . . . . ."},
    {"a.phrase", "S . . . . . . . S . . . . . . ."},
    {"a.particles", "^ . S . . . . . . . . . . . . ."},
    {"a.g2",     "S/EC2 . S . . . . . . . . . . . . ."},
    {"a.phrasestop", "S . . . . . . . . . S . . . . ."},
    // lead: theme A over Dm Bb F C, its answer, theme B over Dm Gm Bb A, the slow theme
    {"l.a1", "D-3 . . . ~ ~ A-2 . F-3 . . . E-3 . D-3 ."},
    {"l.a2", "D-3 . ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ C-3 . A#2 ."},
    {"l.a3", "C-3 . . . ~ ~ A-2 . C-3 . . . F-3 . ~ ~"},
    {"l.a4", "E-3 . ~ ~ ~ ~ ~ ~ ~ ~ D-3 . C-3 . ^ ."},
    {"l.a5", "A-3 . . . ~ ~ G-3 . F-3 . . . E-3 . F-3 ."},
    {"l.a6", "D-3 . ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ F-3 . G-3 ."},
    {"l.a7", "A-3 . . . G-3 . F-3 . C-3 . ~ ~ F-3 . ~ ~"},
    {"l.a8", "E-3 . ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ ^ . . ."},
    {"l.a4x", "E-3 . ~ ~ ~ ~ ~ ~ ~ ~ D-3 . ^ . . ."},
    {"l.b1", "D-3 . . D-3 . . F-3 . A-3 . . G-3 . . F-3 ."},
    {"l.b2", "G-3 . . F-3 . . D-3 . A#2 . ~ ~ D-3 . ~ ~"},
    {"l.b3", "F-3 . . D-3 . . A#2 . D-3 . . F-3 . . G-3 ."},
    {"l.b4", "E-3 . ~ ~ ~ ~ C#3 . ~ ~ E-3 . A-2 . ~ ~"},
    {"l.b4x", "E-3 . ~ ~ ~ ~ C#3 . ~ ~ E-3 . ^ . . ."},
    {"l.b5", "A-3 . . A-3 . . G-3 . F-3 . . E-3 . . D-3 ."},
    {"l.b6", "A#3 . . A-3 . . G-3 . D-3 . ~ ~ G-3 . ~ ~"},
    {"l.b7", "F-3 . . G-3 . . A-3 . A#3 . . A-3 . . F-3 ."},
    {"l.b8", "E-3 . ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ ^ . . ."},
    {"l.c1", "F-3 . . . ~ ~ ~ ~ D-3 . . . ~ ~ ~ ~"},
    {"l.c2", "E-3 . . . ~ ~ ~ ~ G-3 . . . ~ ~ ~ ~"},
    {"l.c3", "A-3 . . . ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ ~"},
    {"l.c4", "F-3 . . . ~ ~ ~ ~ E-3 . . . D-3 . . ."},
    {"l.c5", "F-3 . . . ~ ~ ~ ~ A#3 . . . ~ ~ ~ ~"},
    {"l.c6", "G-3 . . . ~ ~ ~ ~ E-3 . . . ~ ~ ~ ~"},
    {"l.c7", "C#3 . . . ~ ~ ~ ~ E-3 . . . ~ ~ ~ ~"},
    {"l.c8", "A-3 . . . ~ ~ ~ ~ ~ ~ ~ ~ ^ . . ."},
    {"l.t1", "G-3 . . . ~ ~ ~ ~ A#3 . . . A-3 . G-3 ."},
    {"l.t2", "F-3 . . . ~ ~ ~ ~ ~ ~ ~ ~ ^ . . ."},
    {"l.s1", "D-2 . . . ~ ~ ~ ~ F-2 . E-2 . D-2 . C-2 ."},
    {"l.s2", "D-2 . ~ ~ ~ ~ ~ ~ ~ ~ ~ ~ ^ . . ."},
    {"l.s3", "F-2 . . . ~ ~ ~ ~ A-2 . G-2 . F-2 . D-2 ."},
    {"l.s4", "E-2 . ~ ~ ~ ~ ~ ~ C#2 . ~ ~ ^ . . ."},
    {"l.s5", "E-2 . . . ~ ~ ~ ~ C#2 . D-2 . E-2 . . ."},
    {"l.p1", "A-2 . D-3 . F-3 . ^ . E-3 . D-3 . A-2 . ^ ."},
    {"l.p2", "A#2 . D-3 . F-3 . ^ . A-3 . G-3 . F-3 . ^ ."},
    {"l.p3", "A-2 . C-3 . F-3 . ^ . E-3 . F-3 . A-3 . ^ ."},
    {"l.p4", "G-3 . E-3 . C-3 . ^ . E-3 . ~ ~ ~ ~ ^ ."},
    {"l.p5", "D-3 . F-3 . A-3 . ^ . G-3 . F-3 . D-3 . ^ ."},
    {"l.p6", "G-3 . A#3 . A-3 . ^ . G-3 . F-3 . D-3 . ^ ."},
    {"l.p7", "F-3 . A#3 . A-3 . ^ . G-3 . F-3 . G-3 . ^ ."},
    {"l.p8", "E-3 . ~ ~ ~ ~ ~ ~ ^ . A-3 . . ^ . ."},
    {"l.a4p", "^ . E-3 . ~ ~ ~ ~ ~ ~ D-3 . ^ . . ."},
    // theme B's second half chopped onto the beats, for the strobe section of order 8
    {"l.g5", "A-3 . . ^ A-3 G-3 . ^ F-3 . . ^ E-3 D-3 . ^"},
    {"l.g6", "A#3 . . ^ A-3 G-3 . ^ D-3 . . ^ G-3 . . ^"},
    {"l.g7", "F-3 . . ^ G-3 A-3 . ^ A#3 . . ^ A-3 F-3 . ^"},
    {"l.g8", "E-3 . . ^ C#3 . . ^ E-3 . . ^ . . . ."},
    {"l.i1", "A-2 . . . . . . . D-3 . . . E-3 . F-3 ."},
    {"l.i2", "G-3 . . . . . . . F-3 . . . D-3 . . ."},
    {"l.i3", "D-3 . . . . . . . F-3 . . . A#2 . . ."},
    {"l.i4", "C#3 . . . . . . . E-3 . . . ^ . . ."},
    {"l.end", "D-3 . . . ~ ~ ~ ~ /A01 ~ /A01 ~ /A01 ~ /A01 ~"},
    // any lane: a slow fade (volume down 5 every other row)
    {"fade",     "/A01 . /A01 . /A01 . /A01 . /A01 . /A01 . /A01 . /A01 ."},
    // effects
    {"f.crash",  "r . . . . . . . . . . . . . . ."},
    {"f.crashq", "q . . . . . . . . . . . . . . ."},
    {"f.g0",     "r . . . . . . . . . . . z . . ."},
    {"f.g1",     "z . . . . . . . Z . . Z . . z ."},
    {"f.g2",     "z . R . . . . . . . . . . . . ."},
    {"f.down58", ". . . . . . . . . . w . . . . ."},
    {"f.down46", ". . . . . . . . . . . . . . w ."},
    {"f.down60", ". . . . . . . . . . . . w/C24 . . ."},
    {"f.riser30", ". . . . . . . . . . . . . . R ."},
    {"f.white",  ". . . . . . . . . . r . . ^ . ."},
    {"f.torus",  "r . . . . . . . r . . . . . . ."},
    {"f.torusend", "r . . . . . . . w . . . . . . ."},
    {"f.particles", ". . r . . . . . . . . . . . . ."},
    {"f.endbreak", ". . . . . . . . /D00 . . . . . . ."},
};

// ---- arrangement -------------------------------------------------------------------------------
struct OrderText {
    const char* chords;
    const char* lanes[LaneCount];  // kick, snare, hats, bass, pad, arp, lead, fx
};
const OrderText s_orders[] = {
    // Credits: the pad swells in under impacts on each name (row 0) and dissolve (row 32); the
    // band breathes before each, and stops for two rows before the logo.
    /* 0 */ {"Dm Bb F C", {"k.hit - k.hit -", "-", "-", "-", "p.swell p.hold*3", "-", "-", "f.crash - f.crashq -"}},
    /* 1 */ {"Dm Bb F C", {"k.hit - k.hit -", "-", "-", "-", "p.hold*4", "a.8q a.8q! a.8q a.8q!", "-", "f.crash - f.crashq -"}},
    /* 2 */ {"Dm Gm Bb A", {"k.hit - k.hit -", "-", "h.soft*4", "b.hold b.hold! b.hold b.hold!", "p.hold*4", "a.8q a.8q! a.8q a.8q!", "l.i1@18 l.i2@18! l.i3@18 l.i4@18", "f.crash - f.crashq -"}},
    /* 3 */ {"Dm Bb F C", {"k.intro k.introb k.intro k.introb", "s.half*4", "h.8*4", "b.off b.off! b.off b.off!", "p.hold*4", "a.8q a.8q! a.8q a.8q!", "l.a1@20 l.a2@20! l.a3@20 l.a4@20", "f.crash - f.crashq -"}},
    // Logo: stark glitch stutters at rows 0 12 16 24 27 30 32 over a faint pad; the zoom at 34 brings
    // an impact, a crash, the pad swelling back and a riser; a snare roll into the whiteout at 48.
    /* 4 */ {"Dm Dm Bb A", {"k.g0 k.g1 k.g2 k.g3", "- - s.g2 s.roll", "- - h.g2 -", "b.g0 b.g1 b.g2 b.g3", "p.hold@14 - p.g2 p.stop", "a.g0 a.g1 a.g2 -", "-", "f.g0 f.g1 f.g2 -"}},
    // Wire: the first drop; a new look on every order, each after a two-row stop; order 8 strobes with
    // the wire flashes: hits on every beat, bass and theme B chopped onto the beats; fades at 58.
    /* 5 */ {"Dm Bb F C", {"k.drop k.four*3", "s.clap*3 s.clapf", "h.8*3 h.8end", "b.roll*3 b.rollend", "p.hold*4", "a.8q*3 a.8q!", "l.a1 l.a2 l.a3 l.a4", "f.crash - - -"}},
    /* 6 */ {"Dm Bb F C", {"k.drop k.four*3", "s.clap*3 s.clapf", "h.8*3 h.8end", "b.roll*3 b.rollend", "p.hold*4", "a.8q*3 a.8q!", "l.a5 l.a6 l.a7 l.a8", "f.crash - - -"}},
    /* 7 */ {"Dm Gm Bb A", {"k.drop k.four*3", "s.clap*3 s.clapf", "h.16*3 h.16end", "b.roll*3 b.rollend", "p.hold*4", "a.8*3 a.8!", "l.b1 l.b2 l.b3 l.b4!", "f.crash - - -"}},
    /* 8 */ {"Dm Gm Bb A", {"k.drop k.four k.four k.stop", "s.beat0 s.beat s.beat s.beat3", "h.16*3 h.stop", "b.pump*3 b.pumpstop", "p.hold*3 p.stop", "a.beat0 a.beat a.beat a.beat3", "l.g5 l.g6 l.g7 l.g8", "f.crash - - f.down58"}},
    // Tunnel: rolling sixteenths; they stop two rows before the light dies at order 10, row 46, which
    // falls on an impact and a down-sweep.
    /* 9 */ {"Dm Dm Bb A", {"k.drop k.four*3", "-", "h.16*4", "b.16*4", "p.holdq*4", "a.16*4", "-", "f.crash - - -"}},
    /* 10 */ {"Gm Bb A A", {"k.four k.four k.die -", "-", "h.16 h.16 h.16die -", "b.16 b.16 b.16die -", "p.holdq*3 p.stopq", "a.16 a.16 a.16die a.slow", "l.t1 l.t2 - -", "- - f.down46 -"}},
    // Spike
    /* 11 */ {"Dm Gm Bb A", {"k.drop k.four k.four k.stop", "s.snare*3 s.stop", "h.8*3 h.stop", "b.oct*3 b.stop", "p.pump*3 p.stop", "a.8*3 a.stop", "l.b1 l.b2 l.b3 l.b4x", "f.crash - - -"}},
    /* 12 */ {"Dm Gm Bb A", {"k.drop k.four k.four k.stop", "s.snare*3 s.fade", "h.8*3 h.stop", "b.oct*3 b.stop", "p.pump*3 p.stop", "a.8*3 a.stop", "l.b5 l.b6 l.b7 l.b8", "f.crash - - f.down58"}},
    // Knot
    /* 13 */ {"Dm Bb F C", {"k.drop k.four k.four k.stop", "s.clap*3 s.stop", "h.16*3 h.stop", "b.roll*3 b.stop", "p.hold*3 p.stop", "a.16*3 a.stop", "l.a1 l.a2 l.a3 l.a4x", "f.crash - - -"}},
    /* 14 */ {"Dm Bb F C", {"k.drop k.four k.four k.stop", "s.clap*3 s.fade", "h.16*3 h.stop", "b.roll*3 b.stop", "p.hold*3 p.stop", "a.16*3 a.stop", "l.a5 l.a6 l.a7 l.a8", "f.crash - - f.down58"}},
    // Skull: half time, heavy.
    /* 15 */ {"Gm Gm Dm Dm", {"k.halfx k.half k.half k.halfs", "s.skull s.skull s.skull s.skullstop", "h.8*3 h.stop", "b.long*3 b.stop", "p.hold*3 p.stop", "a.skull*3 a.stab", "l.s1 l.s2 l.s3 l.s2", "f.crash - - -"}},
    /* 16 */ {"Bb Bb A A", {"k.halfx k.half k.half k.halfs", "s.skull s.skull s.skullf s.skullstop", "h.8*3 h.stop", "b.long*3 b.stop", "p.hold*3 p.stop", "a.skull*3 a.stab", "l.s3 l.s2 l.s5 l.s4", "f.crash - - f.down58"}},
    // Rings: the breakdown; fades at order 18, row 60.
    /* 17 */ {"Bb C Dm Dm", {"k.hit k.halfs*3", "-", "h.soft*4", "b.hold*4", "p.hold*4", "a.8*4", "l.c1 l.c2 l.c3 l.c4", "f.crash - - -"}},
    /* 18 */ {"Bb C A A", {"k.halfs*4", "- - - s.half", "h.soft*4", "b.hold*4", "p.hold*3 p.stop", "a.8*3 a.stop", "l.c5 l.c6 l.c7 l.c8", "f.crashq - - f.down60"}},
    // Plane: a phrase every 8 rows (one greeting each, the bass and pad breathing before it); faster
    // from order 20; the riser ends two rows before the whiteout at 20:58, which lands on A major.
    /* 19 */ {"Dm Bb F C", {"k.drop k.four*3", "s.clap*4", "h.torus*4", "b.torus*4", "p.hold*4", "a.phrase*4", "l.p1 l.p2 l.p3 l.p4", "f.crash - - -"}},
    /* 20 */ {"Dm Gm Bb A", {"k.drop k.speed! k.speed k.white", "s.clap*3 s.white", "h.16*3 h.stop", "b.16br b.16br b.16 b.white", "p.hold*3 p.white", "a.phrase*3 a.phrasestop", "l.p5 l.p6 l.p7 l.p8", "f.crash f.riser30 - f.white"}},
    // Tendril: the main theme at full strength.
    /* 21 */ {"Dm Bb F C", {"k.drop k.four k.four k.stop", "s.clap*3 s.stop", "h.16*3 h.stop", "b.roll*3 b.stop", "p.pump*3 p.stop", "a.16*3 a.stop", "l.a1 l.a2 l.a3 l.a4x", "f.crash - - -"}},
    /* 22 */ {"Dm Bb F C", {"k.drop k.four k.four k.stop", "s.clap*3 s.fade", "h.16*3 h.stop", "b.roll*3 b.stop", "p.pump*3 p.stop", "a.16*3 a.stop", "l.a5 l.a6 l.a7 l.a8", "f.crash - - f.down58"}},
    // FinalTorus: theme B, then hammer hits every 8 rows to 48 and a fade from 56.
    /* 23 */ {"Dm Gm Bb A", {"k.drop k.four k.four k.stop", "s.snare*3 s.stop", "h.16*3 h.stop", "b.oct*3 b.stop", "p.pump*3 p.stop", "a.16*3 a.stop", "l.b1 l.b2 l.b3 l.b4x", "f.crash - - -"}},
    /* 24 */ {"Dm Gm Bb A", {"k.torus*3 k.torusend", "s.torus*3 s.torusend", "h.torus*3 h.stop", "b.torus*3 b.torusend", "p.hold*3 p.fade", "a.phrase*3 a.stab", "l.b5 l.b6 l.b7 l.b8", "f.torus*3 f.torusend"}},
    // QxLogo: the outro; the band stops two rows before the particles stop at order 26, row 50, where
    // the last phrase lands on a hit and rings; the final hit at order 27.
    /* 25 */ {"Bb C Dm Dm", {"k.drop k.four*3", "s.clap*4", "h.8*4", "b.roll*4", "p.hold*4", "a.8*4", "l.c1 l.c2 l.c3 l.c4", "f.crash - - -"}},
    /* 26 */ {"Dm Bb F C", {"k.four*3 k.particles", "s.clap*3 -", "h.8*3 h.ring50", "b.roll*3 b.particles", "p.hold*3 p.particles", "a.8*3 a.particles", "l.a1 l.a2 l.a3 l.a4p", "- - - f.particles"}},
    /* 27 */ {"Dm Dm Dm Dm", {"k.hit - - -", "s.end - - -", "h.ring - - -", "b.end fade fade -", "p.end fade fade -", "a.stab - - -", "l.end fade fade -", "f.crash - f.endbreak -"}},
};
constexpr int OrderCount = (int)(sizeof(s_orders) / sizeof(s_orders[0]));
static_assert(OrderCount == EndOrder + 1, "the song runs to the show's last order");

// ---- parsing -----------------------------------------------------------------------------------
struct Cell {
    int note = -1;  // 0 = C-1 ... 35 = B-3
    int sample = 0; // 1-based, 0 = none
    int fx = 0, param = 0;
    bool hasFx = false;
};
using Pattern = std::vector<Cell>;  // RowsPerPattern * Channels, row-major

struct Chord {
    int root;   // semitone, C = 0
    bool minor;
};

const int s_periods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                           428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                           214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

bool parseNote(const std::string& t, int& note) {
    static const char* names = "C-C#D-D#E-F-F#G-G#A-A#B-";
    if (t.size() != 3 || t[2] < '1' || t[2] > '3') return false;
    for (int i = 0; i < 12; ++i)
        if (t[0] == names[2 * i] && t[1] == names[2 * i + 1]) {
            note = (t[2] - '1') * 12 + i;
            return true;
        }
    return false;
}

bool parseChord(const std::string& t, Chord& c) {
    static const int roots[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (t.empty() || t[0] < 'A' || t[0] > 'G') return false;
    c.root = roots[t[0] - 'A'];
    size_t i = 1;
    if (i < t.size() && t[i] == 'b') { c.root = (c.root + 11) % 12; ++i; }
    else if (i < t.size() && t[i] == '#') { c.root = (c.root + 1) % 12; ++i; }
    c.minor = i < t.size() && t[i] == 'm';
    if (c.minor) ++i;
    return i == t.size();
}

// Places a chord root in the octave starting at `low` (note index).
int placeRoot(const Chord& c, int low) { return low + ((c.root - low % 12) + 12) % 12; }

bool degreeOffset(const std::string& t, const Chord& c, int& off) {
    int third = c.minor ? 3 : 4;
    struct D { const char* name; int semis; };
    const D table[] = {{"1", 0}, {"2", 2}, {"3", third}, {"4", 5}, {"5", 7}, {"6", c.minor ? 8 : 9},
                       {"b7", 10}, {"8", 12}, {"9", 14}, {"10", 12 + third}, {"_5", -5}, {"_8", -12}};
    for (const D& d : table)
        if (t == d.name) { off = d.semis; return true; }
    return false;
}

struct Song {
    std::map<std::string, int> sampleIndex;  // name -> 1-based sample number
    std::string err;

    bool fail(const std::string& what) {
        if (err.empty()) err = what;
        return false;
    }

    int sampleOf(const char* name) {
        auto it = sampleIndex.find(name);
        return it == sampleIndex.end() ? 0 : it->second;
    }

    bool parseCell(const std::string& tok, Lane lane, const Chord& chord, Cell& c) {
        if (tok == ".") return true;
        if (tok == "^") { c.hasFx = true; c.fx = 0xE; c.param = 0xC0; return true; }
        if (tok == "~") { c.hasFx = true; c.fx = 0x4; c.param = 0x64; return true; }
        std::string head = tok, fx;
        size_t slash = tok.find('/');
        if (slash != std::string::npos) {
            head = tok.substr(0, slash);
            fx = tok.substr(slash + 1);
            unsigned v = 0;
            if (fx.size() != 3 || std::sscanf(fx.c_str(), "%x", &v) != 1) return fail("bad effect '" + tok + "'");
            c.hasFx = true;
            c.fx = (int)(v >> 8);
            c.param = (int)(v & 0xFF);
        }
        if (head.empty()) return true;
        int note = -1;
        if (parseNote(head, note)) {
            const char* inst = lane == Bass ? "bass" : lane == Lead ? "lead" : lane == Arp ? "pluck" : nullptr;
            if (!inst) return fail("note '" + tok + "' on a lane without a pitched instrument");
            c.note = note;
            c.sample = sampleOf(inst);
            return true;
        }
        if (head == "P" || head == "S") {
            c.note = placeRoot(chord, 19);  // G-2 ... F#3
            c.sample = head == "S" ? sampleOf("stab") : sampleOf(chord.minor ? "pad minor" : "pad major");
            return true;
        }
        int off = 0;
        if ((lane == Bass || lane == Arp) && degreeOffset(head, chord, off)) {
            c.note = placeRoot(chord, 9) + off;  // roots A-1 ... G#2
            c.sample = sampleOf(lane == Bass ? "bass" : "pluck");
            if (c.note < 0 || c.note > 35) return fail("degree '" + tok + "' leaves the note range");
            return true;
        }
        if (head.size() == 1)
            for (const Hit& h : s_hits)
                if (h.letter == head[0]) {
                    parseNote(h.note, c.note);
                    c.sample = sampleOf(h.instrument);
                    if (h.volume >= 0 && !c.hasFx) { c.hasFx = true; c.fx = 0xC; c.param = h.volume; }
                    return true;
                }
        return fail("unknown cell '" + tok + "'");
    }

    // `ref` is a bar name, optionally with "@VV": every note without an effect of its own then
    // starts at volume VV (hex), which turns any bar into a softer echo of itself. A trailing "!"
    // is a breath: the lane falls silent for the bar's last two rows (a cut, then a rest), so the
    // next downbeat lands out of a short gap instead of on top of a held note.
    bool writeBar(std::string ref, Lane lane, const Chord& chord, Pattern& p, int bar) {
        if (ref == "-") return true;
        const bool breath = !ref.empty() && ref.back() == '!';
        if (breath) ref.pop_back();
        std::string name = ref.substr(0, ref.find('@'));
        int volume = -1;
        if (name.size() != ref.size()) {
            unsigned v = 0;
            if (std::sscanf(ref.c_str() + name.size() + 1, "%x", &v) != 1 || v > 0x40) return fail("bad volume in '" + ref + "'");
            volume = (int)v;
        }
        const char* text = nullptr;
        for (const BarText& b : s_bars)
            if (name == b.name) text = b.cells;
        if (!text) return fail("unknown bar '" + name + "'");
        std::istringstream in(text);
        std::string tok;
        int row = 0;
        while (in >> tok) {
            if (row >= 16) return fail(std::string("bar '") + name + "' has more than 16 cells");
            Cell& c = p[(bar * 16 + row) * Channels + lane];
            if (!parseCell(tok, lane, chord, c)) return fail(err + " in bar '" + name + "'");
            if (volume >= 0 && c.sample && !c.hasFx) {
                c.hasFx = true;
                c.fx = 0xC;
                c.param = volume;
            }
            ++row;
        }
        if (row != 16) return fail(std::string("bar '") + name + "' has fewer than 16 cells");
        if (breath) {
            Cell cut;
            cut.hasFx = true;
            cut.fx = 0xE;
            cut.param = 0xC0;
            p[(bar * 16 + 14) * Channels + lane] = cut;
            p[(bar * 16 + 15) * Channels + lane] = Cell();
        }
        return true;
    }

    bool buildPattern(const OrderText& o, int index, Pattern& p) {
        p.assign(RowsPerPattern * Channels, Cell());
        std::istringstream cin(o.chords);
        Chord chords[4];
        std::string tok;
        int n = 0;
        while (cin >> tok) {
            if (n >= 4 || !parseChord(tok, chords[n])) return fail("order " + std::to_string(index) + ": bad chords");
            ++n;
        }
        if (n != 4) return fail("order " + std::to_string(index) + ": needs four chords");
        for (int lane = 0; lane < LaneCount; ++lane) {
            std::vector<std::string> bars;
            std::istringstream lin(o.lanes[lane]);
            while (lin >> tok) {
                size_t star = tok.find('*');
                int times = star == std::string::npos ? 1 : std::atoi(tok.c_str() + star + 1);
                std::string name = tok.substr(0, star);
                for (int i = 0; i < times; ++i) bars.push_back(name);
            }
            if (bars.size() == 1 && bars[0] == "-") bars.assign(4, "-");
            if (bars.size() != 4) return fail("order " + std::to_string(index) + ", lane " + std::to_string(lane) + ": needs four bars");
            for (int b = 0; b < 4; ++b)
                if (!writeBar(bars[b], (Lane)lane, chords[b], p, b)) return fail(err);
        }
        // Panning goes on the first free effect slot of each channel, early in the pattern, so
        // that a seek to any order restores the stereo picture within a few rows.
        for (int lane = 0; lane < LaneCount; ++lane)
            for (int row = 0; row < RowsPerPattern; ++row) {
                Cell& c = p[row * Channels + lane];
                if (c.hasFx) continue;
                c.hasFx = true;
                c.fx = 0x8;
                c.param = s_lanePan[lane];
                break;
            }
        return true;
    }
};

void putBE16(mkassets::Bytes& b, uint32_t v) {
    b.push_back((uint8_t)(v >> 8));
    b.push_back((uint8_t)v);
}

void putName(mkassets::Bytes& b, const std::string& s, size_t width) {
    for (size_t i = 0; i < width; ++i) b.push_back(i < s.size() ? (uint8_t)s[i] : 0);
}

}  // namespace

mkassets::Bytes buildModule(std::string* errOut) {
    std::vector<Sample> samples = buildSamples();
    Song song;
    for (size_t i = 0; i < samples.size(); ++i) song.sampleIndex[samples[i].name] = (int)i + 1;

    std::vector<Pattern> patterns(OrderCount);
    for (int o = 0; o < OrderCount; ++o)
        if (!song.buildPattern(s_orders[o], o, patterns[o])) {
            if (errOut) *errOut = "music: " + song.err;
            return {};
        }

    mkassets::Bytes m;
    putName(m, "tidewater", 20);
    for (int i = 0; i < 31; ++i) {
        if (i < (int)samples.size()) {
            const Sample& s = samples[i];
            putName(m, s.name, 22);
            putBE16(m, (uint32_t)s.pcm.size() / 2);
            m.push_back(0);  // finetune
            m.push_back(s.volume);
            putBE16(m, s.loopLength ? s.loopStart / 2 : 0);
            putBE16(m, s.loopLength ? s.loopLength / 2 : 1);
        } else {
            putName(m, "", 22);
            putBE16(m, 0);
            m.push_back(0);
            m.push_back(0);
            putBE16(m, 0);
            putBE16(m, 1);
        }
    }
    m.push_back((uint8_t)OrderCount);
    m.push_back(0x7F);
    for (int i = 0; i < 128; ++i) m.push_back(i < OrderCount ? (uint8_t)i : 0);
    putName(m, "8CHN", 4);
    for (const Pattern& p : patterns)
        for (const Cell& c : p) {
            int period = c.note >= 0 ? s_periods[c.note] : 0;
            m.push_back((uint8_t)((c.sample & 0xF0) | (period >> 8)));
            m.push_back((uint8_t)(period & 0xFF));
            m.push_back((uint8_t)(((c.sample & 0x0F) << 4) | (c.hasFx ? c.fx : 0)));
            m.push_back((uint8_t)(c.hasFx ? c.param : 0));
        }
    for (const Sample& s : samples) mkassets::putBytes(m, s.pcm.data(), s.pcm.size());
    return m;
}

static bool generateMusic(const std::string& outdir) {
    std::string err;
    mkassets::Bytes mod = buildModule(&err);
    if (mod.empty()) {
        std::printf("\n%s\n", err.c_str());
        return false;
    }
    return mkassets::writeFile(outdir, "srcdata/s32.mod", mod);
}

MKASSETS_GENERATOR("music", generateMusic);

}  // namespace music
