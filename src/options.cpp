#include "options.h"

#include <algorithm>
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
    int items = 1;
    for (const char* c = text; *c; c++)
        items += *c == ',';
    if (items > MaxShots) {
        // The list itself would be a wall of text: say the limit and the count.
        std::printf("main: --shots takes at most %d positions, not %d\n", int(MaxShots), items);
        return -1;
    }
    while (*p) {
        const char* comma = std::strchr(p, ',');
        size_t len = comma ? static_cast<size_t>(comma - p) : std::strlen(p);
        char item[32];
        if (len == 0 || len >= sizeof item || !std::memchr(p, ':', len))
            return 0;
        std::memcpy(item, p, len);
        item[len] = '\0';
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

// Every option the program knows, for the nearest-match suggestion.
static const char* const s_known[] = {"-fullscreen", "-scale",  "--headless", "--mute",  "--vsync",
                                      "--benchmark", "--capture", "--fps",     "--shots", "--out",
                                      "--start",     "--end",   "-h",         "--help",  "--version",
                                      "--fingerprint"};

// An argument echoed in a message is cut to this many characters, so one line stays one line.
enum { EchoMax = 48 };

const char* options_echo(const char* text, char* buf, int size)
{
    if (size < 4)
        return "";
    size_t keep = std::min(size_t(size) - 4, size_t(EchoMax));
    size_t n = 0;
    // Control characters (a newline pasted into an argument) would break the line.
    for (; text[n] && n < keep; n++)
        buf[n] = (unsigned char)text[n] < 0x20 || text[n] == 0x7F ? '?' : text[n];
    if (text[n]) {
        std::memcpy(buf + n, "...", 3);
        n += 3;
    }
    buf[n] = '\0';
    return buf;
}

// Edit distance with adjacent transpositions counted as one edit ("captrue" is one from
// "capture"). Both strings are short: option names, and arguments cut to EchoMax.
static int options_distance(const char* a, size_t la, const char* b, size_t lb)
{
    int d[EchoMax + 2][EchoMax + 2];
    if (la > EchoMax || lb > EchoMax)
        return EchoMax;
    for (size_t i = 0; i <= la; i++)
        d[i][0] = int(i);
    for (size_t j = 0; j <= lb; j++)
        d[0][j] = int(j);
    for (size_t i = 1; i <= la; i++) {
        for (size_t j = 1; j <= lb; j++) {
            int cost = a[i - 1] != b[j - 1];
            int best = std::min(std::min(d[i - 1][j] + 1, d[i][j - 1] + 1), d[i - 1][j - 1] + cost);
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                best = std::min(best, d[i - 2][j - 2] + 1);
            d[i][j] = best;
        }
    }
    return d[la][lb];
}

const char* options_nearest(const char* arg)
{
    // Compare names without their dashes and without an "=value" tail, so "--fullscreen" finds
    // "-fullscreen" and "--fps=30" finds "--fps".
    while (*arg == '-')
        arg++;
    size_t la = std::strcspn(arg, "=");
    if (la == 0)
        return nullptr;
    const char* best = nullptr;
    int bestDistance = 0;
    for (const char* known : s_known) {
        const char* name = known;
        while (*name == '-')
            name++;
        size_t lb = std::strlen(name);
        int dist = options_distance(arg, la, name, lb);
        // Close enough to be a slip of the fingers: a third of the name, and one edit from three
        // letters on (one or two letters are one edit from almost anything).
        int shorter = int(std::min(la, lb));
        int limit = std::max(shorter / 3, shorter >= 3 ? 1 : 0);
        if (dist <= limit && (!best || dist < bestDistance)) {
            best = known;
            bestDistance = dist;
        }
    }
    return best;
}

static int options_bad(const char* option, const char* value, const char* want)
{
    char buf[EchoMax + 4];
    if (value)
        std::printf("main: bad value '%s' for %s (%s)\n", options_echo(value, buf, sizeof buf), option, want);
    else
        std::printf("main: %s needs a value (%s)\n", option, want);
    return 0;
}

// Arguments outside the program's own "--" space are ignored, as the show always did, but said.
static int options_unknown(const char* a)
{
    char buf[EchoMax + 4];
    const char* shown = options_echo(a, buf, sizeof buf);
    if (a[0] != '-' || a[1] != '-') {
        std::printf("main: ignoring unknown argument '%s'\n", shown);
        return 1;
    }
    const char* near = options_nearest(a);
    if (near)
        std::printf("main: unknown option '%s' (did you mean %s? see tidewater --help)\n", shown, near);
    else
        std::printf("main: unknown option '%s' (see tidewater --help)\n", shown);
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
            } else {
                std::printf("main: -scale without a value changes nothing; the scale stays %d\n", o->scale);
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
            int shots = options_parseShots(next, o);
            if (shots < 0)
                return 0;
            if (shots == 0)
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
        } else if (i > 0 && !options_unknown(a)) {
            return 0;
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
        "current directory, then beside the program, then in ../share/tidewater/ from the\n"
        "program's directory (where a package installs it).\n"
        "\n"
        "  -fullscreen           cover the desktop (the picture keeps its aspect ratio)\n"
        "  -scale N              window (and capture) size: 320 x 200 times N, 1 to 16; default 2\n"
        "  --headless            open no window (with --mute, --capture, --shots or --benchmark)\n"
        "  --mute                no audio device; the music clock still runs in real time\n"
        "  --vsync               wait for the display's refresh instead of running uncapped\n"
        "  --capture OUT         render the show at fixed time steps: OUT ending .mp4 or .mkv is\n"
        "                        encoded with ffmpeg, music included; any other OUT is a directory\n"
        "                        that gets numbered PNG frames and audio.wav; Ctrl-C finishes\n"
        "                        what was rendered, a second Ctrl-C abandons it\n"
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
        "  --version             the program's version\n"
        "\n"
        "Unknown arguments starting with -- are refused; other unknown arguments are ignored.\n",
        out);
}
