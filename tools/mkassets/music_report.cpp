// Offline render of the module and the sync report: does every position the show reacts to
// carry an audible accent?
//
//   mkassets --music-report [--wav FILE] [MODULE]
//
// Without MODULE the module is built in memory, exactly as the generator writes it.
#include "music.h"

#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace music {

const std::vector<SyncPoint>& syncPoints() {
    static const std::vector<SyncPoint> points = [] {
        std::vector<SyncPoint> p = {
            {0, 0, "Credits start, name 1", true},
            {0, 32, "Credits dissolve 1", false},
            {1, 0, "Credits name 2", false},
            {1, 32, "Credits dissolve 2", false},
            {2, 0, "Credits name 3", false},
            {2, 32, "Credits dissolve 3", false},
            {3, 0, "Credits name 4", false},
            {3, 32, "Credits dissolve 4", false},
            {4, 0, "Credits logo, glitch", false},
            {4, 12, "glitch", false},
            {4, 16, "glitch", false},
            {4, 24, "glitch", false},
            {4, 27, "glitch", false},
            {4, 30, "glitch", false},
            {4, 32, "glitch", false},
            {4, 34, "zoom", false},
            {4, 48, "whiteout", false},
            {5, 0, "Wire start, look 1", true},
            {6, 0, "Wire look 2", false},
            {7, 0, "Wire look 3", false},
            {8, 0, "Wire look 4", false},
        };
        for (uint16_t r = 8; r <= 56; r += 4) p.push_back({8, r, "Wire flash", false});
        p.push_back({8, 58, "Wire fade", false});
        p.push_back({9, 0, "Tunnel start", true});
        p.push_back({10, 46, "Tunnel light dies", false});
        p.push_back({11, 0, "Spike start", true});
        p.push_back({12, 0, "Spike kick", true});
        p.push_back({12, 58, "Spike fade", false});
        p.push_back({13, 0, "Knot start", true});
        p.push_back({14, 0, "Knot kick", true});
        p.push_back({14, 58, "Knot fade", false});
        p.push_back({15, 0, "Skull start", true});
        p.push_back({16, 0, "Skull kick", true});
        p.push_back({16, 58, "Skull fade", false});
        p.push_back({17, 0, "Rings start", true});
        p.push_back({18, 60, "Rings fade", false});
        p.push_back({19, 0, "Plane start, greeting", true});
        for (uint16_t r = 8; r <= 56; r += 8) p.push_back({19, r, "Plane greeting", false});
        p.push_back({20, 0, "Plane speeds up, greeting", false});
        for (uint16_t r = 8; r <= 56; r += 8) p.push_back({20, r, "Plane greeting", false});
        p.push_back({20, 58, "Plane whiteout", false});
        p.push_back({21, 0, "Tendril start", true});
        p.push_back({22, 0, "Tendril kick", true});
        p.push_back({22, 58, "Tendril fade", false});
        p.push_back({23, 0, "FinalTorus start", true});
        p.push_back({24, 0, "FinalTorus kick", true});
        for (uint16_t r = 8; r <= 48; r += 8) p.push_back({24, r, "FinalTorus hit", false});
        p.push_back({24, 56, "FinalTorus fade", false});
        p.push_back({25, 0, "QxLogo start", true});
        p.push_back({26, 50, "QxLogo particles stop", false});
        p.push_back({27, 0, "final hit", false});
        p.push_back({27, 8, "end of the show", false});
        return p;
    }();
    return points;
}

bool renderModule(const mkassets::Bytes& mod, Render& out, std::string& err) {
    out = Render();
    int error = 0;
    const char* message = nullptr;
    openmpt_module* m = openmpt_module_create_from_memory2(mod.data(), mod.size(), openmpt_log_func_silent, nullptr,
                                                           openmpt_error_func_ignore, nullptr, &error, &message, nullptr);
    if (!m) {
        err = std::string("music: the player cannot load the module (") + (message ? message : "unknown error") + ")";
        openmpt_free_string(message);
        return false;
    }
    openmpt_free_string(message);
    openmpt_module_set_repeat_count(m, 0);

    // 63 frames divide one tick (882 frames at 125 BPM) evenly, so a row change shows up on the
    // first chunk of its first tick.
    constexpr int Chunk = 63;
    const int totalRows = (EndOrder + 1) * RowsPerPattern;
    out.rowStart.assign(totalRows, -1);
    float buf[Chunk * 2];
    int lastOrder = -1, lastRow = -1, runLength = 0;
    out.pcm.reserve((size_t)out.rate * 2 * 220);
    // A module that plays for hours (or a foreign file the player reads as one) stops here.
    const int64_t maxFrames = (int64_t)out.rate * 600;
    for (;;) {
        int64_t frame = (int64_t)out.pcm.size() / 2;
        if (frame >= maxFrames) break;
        size_t got = openmpt_module_read_interleaved_float_stereo(m, out.rate, Chunk, buf);
        if (got == 0) break;
        int order = openmpt_module_get_current_order(m), row = openmpt_module_get_current_row(m);
        if ((order != lastOrder || row != lastRow) && order >= 0 && order <= EndOrder && row >= 0 && row < RowsPerPattern) {
            int64_t& slot = out.rowStart[order * RowsPerPattern + row];
            if (slot < 0) slot = frame;
        }
        lastOrder = order;
        lastRow = row;
        for (size_t i = 0; i < got; ++i) {
            bool full = false;
            for (int c = 0; c < 2; ++c) {
                float v = buf[i * 2 + c];
                out.peak = std::max(out.peak, (double)std::fabs(v));
                long s = std::lround((double)v * 32768.0);
                s = std::clamp(s, -32768L, 32767L);
                full |= s == 32767 || s == -32768;
                out.pcm.push_back((int16_t)s);
            }
            runLength = full ? runLength + 1 : 0;
            out.longestFullScaleRun = std::max(out.longestFullScaleRun, runLength);
        }
    }
    openmpt_module_destroy(m);
    out.framesToEnd = out.rowStart[EndOrder * RowsPerPattern + EndRow];

    // Silence: 10 ms windows below -60 dBFS, counted up to the start of the last order.
    int64_t limit = out.rowStart[EndOrder * RowsPerPattern];
    if (limit < 0) limit = (int64_t)out.pcm.size() / 2;
    const int64_t win = out.rate / 100;
    int64_t quiet = 0, longest = 0;
    for (int64_t f = 0; f + win <= limit; f += win) {
        quiet = levelDb(out, f, win) < -60.0 ? quiet + win : 0;
        longest = std::max(longest, quiet);
    }
    out.longestSilenceSeconds = (double)longest / out.rate;
    return true;
}

double levelDb(const Render& r, int64_t frame, int64_t frames) {
    int64_t total = (int64_t)r.pcm.size() / 2;
    int64_t a = std::clamp<int64_t>(frame, 0, total), b = std::clamp<int64_t>(frame + frames, 0, total);
    double sum = 0;
    for (int64_t i = a * 2; i < b * 2; ++i) sum += (double)r.pcm[i] * r.pcm[i];
    double rms = b > a ? std::sqrt(sum / (double)((b - a) * 2)) / 32768.0 : 0.0;
    return 20.0 * std::log10(std::max(rms, 1e-5));
}

double riseDb(const Render& r, int64_t frame) {
    return levelDb(r, frame, r.rate * 60 / 1000) - levelDb(r, frame - r.rate * 200 / 1000, r.rate * 200 / 1000);
}

bool syncReport(const Render& r, std::string& text) {
    char line[512];
    bool ok = true;
    text = "order:row  rise dB  after dBFS  need   what\n";
    int strictCount = 0, strictPass = 0;
    double minStrict = 1e9;
    for (const SyncPoint& p : syncPoints()) {
        int64_t f = r.rowStart[p.order * RowsPerPattern + p.row];
        if (f < 0) {
            std::snprintf(line, sizeof line, "%5d:%-3d  never played                 %s\n", p.order, p.row, p.what);
            text += line;
            ok = false;
            continue;
        }
        double rise = riseDb(r, f), after = levelDb(r, f, r.rate * 60 / 1000);
        bool pass = !p.strict || rise >= MinStrictRiseDb;
        if (p.strict) {
            ++strictCount;
            strictPass += pass;
            minStrict = std::min(minStrict, rise);
        }
        ok &= pass;
        std::snprintf(line, sizeof line, "%5d:%-3d  %+7.1f  %10.1f  %-5s  %s%s\n", p.order, p.row, rise, after,
                      p.strict ? ">= 6" : "", p.what, pass ? "" : "  <-- too weak");
        text += line;
    }
    double toEnd = r.framesToEnd >= 0 ? (double)r.framesToEnd / r.rate : -1;
    bool timeOk = toEnd >= 180.0 && toEnd <= 240.0;
    bool clipOk = r.longestFullScaleRun <= 4;
    bool silenceOk = r.longestSilenceSeconds < 2.0;
    ok &= timeOk && clipOk && silenceOk;
    std::snprintf(line, sizeof line,
                  "\nscene starts and kicks: %d of %d rise by at least 6 dB (weakest %+.1f dB)\n"
                  "time to %d:%d: %.2f s (%d:%05.2f)%s\n"
                  "peak %.1f dBFS, longest full-scale run %d frames%s\n"
                  "longest silence before order %d: %.2f s%s\n",
                  strictPass, strictCount, minStrict, EndOrder, EndRow, toEnd, (int)(toEnd / 60), std::fmod(std::max(toEnd, 0.0), 60.0),
                  timeOk ? "" : "  <-- outside 3 to 4 minutes", 20.0 * std::log10(std::max(r.peak, 1e-9)),
                  r.longestFullScaleRun, clipOk ? "" : "  <-- clipping", EndOrder, r.longestSilenceSeconds,
                  silenceOk ? "" : "  <-- too long");
    text += line;
    return ok;
}

bool writeWav(const Render& r, const std::string& path) {
    mkassets::Bytes w;
    uint32_t dataBytes = (uint32_t)(r.pcm.size() * 2);
    mkassets::putBytes(w, "RIFF", 4);
    mkassets::putU32(w, 36 + dataBytes);
    mkassets::putBytes(w, "WAVEfmt ", 8);
    mkassets::putU32(w, 16);
    mkassets::putU16(w, 1);
    mkassets::putU16(w, 2);
    mkassets::putU32(w, (uint32_t)r.rate);
    mkassets::putU32(w, (uint32_t)r.rate * 4);
    mkassets::putU16(w, 4);
    mkassets::putU16(w, 16);
    mkassets::putBytes(w, "data", 4);
    mkassets::putU32(w, dataBytes);
    for (int16_t s : r.pcm) mkassets::putU16(w, (uint16_t)s);
    std::ofstream f(path, std::ios::binary);
    if (!f.write((const char*)w.data(), (std::streamsize)w.size())) {
        std::printf("music: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

static int musicReport(int argc, char** argv) {
    std::string wav, input;
    for (int i = 0; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--wav") && i + 1 < argc) wav = argv[++i];
        else if (argv[i][0] != '-' && input.empty()) input = argv[i];
        else {
            std::printf("music: unknown argument '%s' (usage: mkassets --music-report [--wav FILE] [MODULE])\n", argv[i]);
            return 2;
        }
    }
    mkassets::Bytes mod;
    if (input.empty()) {
        std::string err;
        mod = buildModule(&err);
        if (mod.empty()) {
            std::printf("%s\n", err.c_str());
            return 1;
        }
    } else {
        std::ifstream f(input, std::ios::binary);
        if (!f) {
            std::printf("music: cannot open %s\n", input.c_str());
            return 1;
        }
        mod.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    Render r;
    std::string err, text;
    if (!renderModule(mod, r, err)) {
        std::printf("%s\n", err.c_str());
        return 1;
    }
    bool ok = syncReport(r, text);
    std::fputs(text.c_str(), stdout);
    if (!wav.empty() && !writeWav(r, wav)) return 1;
    return ok ? 0 : 1;
}

MKASSETS_COMMAND("--music-report", musicReport, "--music-report [--wav FILE] [MODULE]   render the music, print the sync report");

}  // namespace music
