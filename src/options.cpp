#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

// A whole decimal number in [lo, hi] with nothing after it.
static int options_parseInt(const char* text, long lo, long hi, long* value)
{
    if (!text || !*text)
        return 0;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi)
        return 0;
    *value = v;
    return 1;
}

int options_parsePos(const char* text, MusicPos* pos)
{
    if (!text)
        return 0;
    char buf[32];
    size_t n = std::strlen(text);
    if (n == 0 || n >= sizeof buf)
        return 0;
    std::memcpy(buf, text, n + 1);
    char* colon = std::strchr(buf, ':');
    long order = 0, row = 0;
    if (colon)
        *colon = '\0';
    // Signs and blanks are not positions; strtol would take them.
    for (char* p = buf; *p; p++)
        if ((*p < '0' || *p > '9') && *p != ':')
            return 0;
    if (!options_parseInt(buf, 0, 0xFFFE, &order))
        return 0;
    if (colon) {
        for (char* p = colon + 1; *p; p++)
            if (*p < '0' || *p > '9')
                return 0;
        if (!options_parseInt(colon + 1, 0, 0xFFFE, &row))
            return 0;
    }
    pos->order = static_cast<uint16_t>(order);
    pos->row = static_cast<uint16_t>(row);
    return 1;
}

static int options_parseShots(const char* text, Options* o)
{
    const char* p = text;
    o->numShots = 0;
    while (*p) {
        const char* comma = std::strchr(p, ',');
        size_t len = comma ? static_cast<size_t>(comma - p) : std::strlen(p);
        char item[32];
        if (len == 0 || len >= sizeof item || !std::memchr(p, ':', len))
            return 0;
        std::memcpy(item, p, len);
        item[len] = '\0';
        if (o->numShots >= MaxShots)
            return 0;
        if (!options_parsePos(item, &o->shots[o->numShots]))
            return 0;
        o->numShots++;
        if (!comma)
            break;
        p = comma + 1;
        if (!*p)
            return 0;  // trailing comma
    }
    return o->numShots > 0;
}

static int options_bad(const char* option, const char* value, const char* want)
{
    if (value)
        std::printf("main: bad value '%s' for %s (%s)\n", value, option, want);
    else
        std::printf("main: %s needs a value (%s)\n", option, want);
    return 0;
}

int options_parse(int argc, char** argv, Options* o)
{
    std::memset(o, 0, sizeof *o);
    o->scale = 2;
    o->fps = DefaultFps;
    o->outDir = "shots";
    for (int i = 0; i < argc; i++) {
        const char* a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        long v;
        if (std::strcmp(a, "-fullscreen") == 0) {
            o->fullscreen = 1;
        } else if (std::strcmp(a, "-scale") == 0) {
            // As last argument it changes nothing. Only whole numbers from 1 up are usable
            // sizes: 0, negatives and words are refused rather than turned into 0.
            if (next) {
                if (!options_parseInt(next, 1, MaxScale, &v))
                    return options_bad("-scale", next, "a whole number from 1 to 16");
                o->scale = static_cast<int>(v);
                i++;
            }
        } else if (std::strcmp(a, "--headless") == 0) {
            o->headless = 1;
        } else if (std::strcmp(a, "--mute") == 0) {
            o->mute = 1;
        } else if (std::strcmp(a, "--vsync") == 0) {
            o->vsync = 1;
        } else if (std::strcmp(a, "--benchmark") == 0) {
            o->benchmark = 1;
        } else if (std::strcmp(a, "--fingerprint") == 0) {
            o->fingerprint = 1;
        } else if (std::strcmp(a, "--capture") == 0) {
            if (!next || !*next)
                return options_bad("--capture", nullptr, "a .mp4 or .mkv file, or a directory");
            o->capture = next;
            i++;
        } else if (std::strcmp(a, "--fps") == 0) {
            if (!next)
                return options_bad("--fps", nullptr, "frames per second, 1 to 1000");
            if (!options_parseInt(next, 1, MaxFps, &v))
                return options_bad("--fps", next, "frames per second, 1 to 1000");
            o->fps = static_cast<int>(v);
            i++;
        } else if (std::strcmp(a, "--shots") == 0) {
            if (!next)
                return options_bad("--shots", nullptr, "positions order:row separated by commas");
            if (!options_parseShots(next, o))
                return options_bad("--shots", next, "positions order:row separated by commas");
            i++;
        } else if (std::strcmp(a, "--out") == 0) {
            if (!next || !*next)
                return options_bad("--out", nullptr, "a directory");
            o->outDir = next;
            i++;
        } else if (std::strcmp(a, "--start") == 0 || std::strcmp(a, "--end") == 0) {
            int isStart = a[2] == 's';
            if (!next)
                return options_bad(a, nullptr, "a music position ORDER or ORDER:ROW");
            if (!options_parsePos(next, isStart ? &o->start : &o->end))
                return options_bad(a, next, "a music position ORDER or ORDER:ROW");
            (isStart ? o->hasStart : o->hasEnd) = 1;
            i++;
        } else if (std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0) {
            o->help = 1;
        } else if (std::strcmp(a, "--version") == 0) {
            o->version = 1;
        }
    }
    int modes = (o->capture != nullptr) + (o->numShots > 0) + o->benchmark;
    if (modes > 1) {
        std::printf("main: --capture, --shots and --benchmark cannot be combined\n");
        return 0;
    }
    if (o->hasStart && o->hasEnd &&
        (o->end.order < o->start.order || (o->end.order == o->start.order && o->end.row <= o->start.row))) {
        std::printf("main: --end %u:%u is not after --start %u:%u\n", o->end.order, o->end.row, o->start.order,
                    o->start.row);
        return 0;
    }
    return 1;
}

int options_isFixedStep(const Options* o) { return o->capture || o->numShots > 0 || o->benchmark || o->fingerprint; }

int options_isHeadless(const Options* o) { return o->headless || o->numShots > 0 || o->benchmark || o->fingerprint; }

void options_printHelp(FILE* out)
{
    std::fputs(
        "usage: tidewater [options]\n"
        "\n"
        "Plays the show in a window with sound; Escape ends it. The keys = and - seek the music by\n"
        "one row, with left Shift by one order. The datafile qx-tdwt.dat is looked for in the\n"
        "current directory, then beside the program.\n"
        "\n"
        "  -fullscreen           cover the desktop (the picture keeps its aspect ratio)\n"
        "  -scale N              window (and capture) size: 320 x 200 times N, 1 to 16; default 2\n"
        "  --headless            open no window (with --mute, --capture, --shots or --benchmark)\n"
        "  --mute                no audio device; the music clock still runs in real time\n"
        "  --vsync               wait for the display's refresh instead of running uncapped\n"
        "  --capture OUT         render the show at fixed time steps: OUT ending .mp4 or .mkv is\n"
        "                        encoded with ffmpeg, music included; any other OUT is a directory\n"
        "                        that gets numbered PNG frames and audio.wav\n"
        "  --fps N               frames per second of --capture, --shots and --benchmark; default 60\n"
        "  --shots LIST          save the frames at the music positions in LIST (order:row,...)\n"
        "                        as OO-RR.png, headless and as fast as possible\n"
        "  --out DIR             folder for --shots; default shots\n"
        "  --benchmark           headless fixed-step run; prints frame times per scene\n"
        "  --fingerprint         fixed-step run that prints one hash per scene over every frame it\n"
        "                        shows, and one over the music; combines with the other modes\n"
        "  --start ORDER[:ROW]   begin at that music position, with the scene that covers it\n"
        "  --end ORDER[:ROW]     end the run at that position (the show ends at 27:8)\n"
        "  -h, --help            this text\n"
        "  --version             the program's version\n",
        out);
}
