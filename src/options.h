// options: the command line. The show's own arguments ("-fullscreen", "-scale N") plus the
// program's modes (capture, screenshots, benchmark, headless, mute, start/end positions).
// Unknown plain words and single-dash arguments are ignored with a warning, as the show always
// ignored them; an unknown "--" argument is in the program's own option space and is refused.
#pragma once
#include <cstdint>
#include <cstdio>

enum { MaxShots = 256, MaxScale = 16, DefaultFps = 60, MaxFps = 1000 };

struct MusicPos {
    uint16_t order;
    uint16_t row;
};

struct Options {
    int fullscreen;       // "-fullscreen"
    int scale;            // "-scale N", default 2 (full screen forces 1 later, in the window code)
    int headless;         // --headless
    int mute;             // --mute
    int vsync;            // --vsync
    int benchmark;        // --benchmark
    int fingerprint;      // --fingerprint
    const char* capture;  // --capture OUT, null when absent
    int fps;              // --fps N, default 60
    int numShots;         // --shots order:row,...
    MusicPos shots[MaxShots];
    const char* outDir;   // --out DIR, default "shots"
    int hasStart;         // --start ORDER[:ROW]
    MusicPos start;
    int hasEnd;           // --end ORDER[:ROW]
    MusicPos end;
    int help;             // -h, --help
    int version;          // --version
};

// Examines every argument in order (the program name included). 1 = usable; 0 = a bad value,
// after one line naming the option and the problem on standard output.
int options_parse(int argc, char** argv, Options* options);
// Fixed-step runs (capture, screenshots, benchmark) advance the clock by 1/fps per frame.
int options_isFixedStep(const Options* options);
// Runs that open no window.
int options_isHeadless(const Options* options);
void options_printHelp(FILE* out);
// The known option nearest to an unknown argument (dashes and any "=value" ignored), or null
// when none is within a slip of the fingers: "--captrue" -> "--capture", "--scale" -> "-scale".
const char* options_nearest(const char* arg);
// text for echoing in a one-line message, written to buf (size bytes): control characters as '?',
// cut to a readable length with "..." when longer. Returns buf.
const char* options_echo(const char* text, char* buf, int size);
// Parses "ORDER[:ROW]" (decimal, each 0..65534). 1 = ok.
int options_parsePos(const char* text, MusicPos* pos);
