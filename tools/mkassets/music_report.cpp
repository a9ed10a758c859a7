// Offline render of the module and the sync report: does every position the show reacts to
// carry an audible accent?
//
//   mkassets --music-report [--wav FILE] [MODULE]
//
// Without MODULE the module is built in memory, exactly as the generator writes it.
#include "modplay.h"
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
    // Why the music drops out where a scene fades to black or the show ends.
    static const char* const FadeFill = "the band stops on a tom fill and a down-sweep before the next drop";
    static const char* const FadeLong = "the bass and drums stop on a down-sweep while the pad fades out with the picture";
    static const char* const FadeCut = "the breakdown cuts out on a down-sweep before the next drop";
    static const char* const End = "the show ends: playback stops under the final chord's ring";
    static const std::vector<SyncPoint> points = [] {
        std::vector<SyncPoint> p;
        auto add = [&p](int order, int row, const char* scene, const char* what, const char* exempt = nullptr) {
            p.push_back({(uint16_t)order, (uint16_t)row, scene, what, exempt});
        };
        add(0, 0, "Credits", "start, name 1 typed");
        for (int o = 0; o < 4; ++o) {
            if (o) add(o, 0, "Credits", "name typed, flash");
            add(o, 32, "Credits", "name dissolves");
        }
        add(4, 0, "Credits", "glitch logo, flash, glitch burst");
        for (int r : {12, 16, 24, 27, 30, 32}) add(4, r, "Credits", "glitch burst");
        add(4, 34, "Credits", "plain logo, zoom starts");
        add(4, 48, "Credits", "zoom speeds up, whiteout");
        add(5, 0, "Wire", "start, wireframe look, flash");
        add(6, 0, "Wire", "hidden-line look, flash, jump");
        add(7, 0, "Wire", "solid look, flash, jump");
        add(8, 0, "Wire", "solid + wire look, flash, jump");
        for (int r = 8; r <= 56; r += 4) add(8, r, "Wire", "wire flash");
        add(8, 58, "Wire", "fade to black", "the band stops on a tom fill and a down-sweep for the 0.5 s fade");
        add(9, 0, "Tunnel", "start, fade in");
        add(10, 46, "Tunnel", "the light dies");
        // An object scene: fades in at its start, is kicked a pattern later and fades out at 58.
        auto objectScene = [&add](int order, const char* scene, const char* kick) {
            add(order, 0, scene, "start, fade in");
            add(order + 1, 0, scene, kick);
            add(order + 1, 58, scene, "fade to black", FadeFill);
        };
        objectScene(11, "Spike", "kick: spikes grow, flash");
        objectScene(13, "Knot", "kick: wireframe on, flash, jump");
        objectScene(15, "Skull", "kick: wireframe on, flash");
        add(17, 0, "Rings", "start, fade in");
        add(18, 60, "Rings", "fade to black", FadeCut);
        add(19, 0, "Plane", "start, fade in, greeting 1");
        for (int r = 8; r <= 56; r += 8) add(19, r, "Plane", "greeting");
        add(20, 0, "Plane", "greeting, speed-up");
        for (int r = 8; r <= 32; r += 8) add(20, r, "Plane", r == 32 ? "greeting YOU!" : "greeting");
        add(20, 58, "Plane", "whiteout");
        objectScene(21, "Tendril", "kick: wireframe on, flash, jump");
        add(23, 0, "FinalTorus", "start, fade in");
        add(24, 0, "FinalTorus", "kick: overlay on, flash");
        for (int r = 8; r <= 48; r += 8) add(24, r, "FinalTorus", r % 16 ? "overlay off, flash" : "overlay on, flash");
        add(24, 56, "FinalTorus", "fade to black", FadeLong);
        add(25, 0, "QxLogo", "start");
        add(26, 50, "QxLogo", "bursts stop, logo dissolves");
        add(EndOrder, EndRow, "end", "end of the show", End);
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
    // At the level the show plays it, so the peak and loudness checks see what is heard.
    openmpt_module_set_render_param(m, OPENMPT_MODULE_RENDER_MASTERGAIN_MILLIBEL, ModplayGainMillibel);

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
    out.loudnessLufs = loudnessLufs(out);
    out.truePeakDbtp = truePeakDbtp(out);
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

double loudnessLufs(const Render& r) {
    // K-weighting: a high shelf (+4 dB above about 1.7 kHz) then a high-pass at 38 Hz, designed
    // for the render's rate from the analogue prototypes.
    const double pi = 3.14159265358979323846;
    double k = std::tan(pi * 1681.974450955533 / r.rate), q = 0.7071752369554196;
    const double vh = std::pow(10.0, 3.999843853973347 / 20.0), vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1.0 + k / q + k * k;
    const double sb[3] = {(vh + vb * k / q + k * k) / a0, 2.0 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0};
    const double sa[2] = {2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};
    k = std::tan(pi * 38.13547087602444 / r.rate);
    q = 0.5003270373238773;
    a0 = 1.0 + k / q + k * k;
    const double ha[2] = {2.0 * (k * k - 1.0) / a0, (1.0 - k / q + k * k) / a0};

    // Mean square of both weighted channels per 100 ms step; a block is four steps.
    const int64_t step = r.rate / 10, frames = (int64_t)r.pcm.size() / 2;
    std::vector<double> steps((size_t)(frames / step), 0.0);
    for (int c = 0; c < 2; ++c) {
        double s1 = 0, s2 = 0, h1 = 0, h2 = 0;  // direct form II states of the two biquads
        for (int64_t i = 0; i < (int64_t)steps.size() * step; ++i) {
            double x = r.pcm[(size_t)(i * 2 + c)] / 32768.0;
            double w = x - sa[0] * s1 - sa[1] * s2;
            double y = sb[0] * w + sb[1] * s1 + sb[2] * s2;
            s2 = s1;
            s1 = w;
            double v = y - ha[0] * h1 - ha[1] * h2;
            double z = v - 2.0 * h1 + h2;
            h2 = h1;
            h1 = v;
            steps[(size_t)(i / step)] += z * z / (double)step;
        }
    }
    std::vector<double> blocks;
    for (size_t i = 3; i < steps.size(); ++i) blocks.push_back((steps[i - 3] + steps[i - 2] + steps[i - 1] + steps[i]) / 4.0);
    auto lufs = [](double power) { return -0.691 + 10.0 * std::log10(power); };
    auto gatedMean = [&](double gateLufs) {
        double sum = 0;
        int n = 0;
        for (double b : blocks)
            if (b > 0 && lufs(b) > gateLufs) {
                sum += b;
                ++n;
            }
        return n ? sum / n : 0.0;
    };
    double ungated = gatedMean(-70.0);
    if (ungated <= 0) return -70.0;
    double gated = gatedMean(lufs(ungated) - 10.0);
    return gated > 0 ? std::max(lufs(gated), -70.0) : -70.0;
}

double truePeakDbtp(const Render& r) {
    // Three interpolated points between each pair of samples, from a Hann-windowed sinc over the
    // 16 nearest samples (8 on each side).
    constexpr int Phases = 4, Taps = 16;
    const double pi = 3.14159265358979323846;
    double h[Phases][Taps];
    for (int p = 1; p < Phases; ++p)
        for (int t = 0; t < Taps; ++t) {
            double x = t - Taps / 2 + 1 - (double)p / Phases;  // distance from the interpolated point
            h[p][t] = std::sin(pi * x) / (pi * x) * (0.5 + 0.5 * std::cos(pi * x / (Taps / 2 + 1)));
        }
    const int64_t frames = (int64_t)r.pcm.size() / 2;
    double peak = 0;
    for (int c = 0; c < 2; ++c) {
        std::vector<double> x((size_t)frames + Taps, 0.0);  // zero padded, sample i at x[i + Taps / 2]
        for (int64_t i = 0; i < frames; ++i) {
            x[(size_t)(i + Taps / 2)] = r.pcm[(size_t)(i * 2 + c)] / 32768.0;
            peak = std::max(peak, std::fabs(x[(size_t)(i + Taps / 2)]));
        }
        for (int64_t i = 0; i + Taps < (int64_t)x.size(); ++i)  // the points after x[i + Taps / 2 - 1]
            for (int p = 1; p < Phases; ++p) {
                double acc = 0;
                for (int t = 0; t < Taps; ++t) acc += h[p][t] * x[(size_t)(i + t)];
                peak = std::max(peak, std::fabs(acc));
            }
    }
    return peak > 0 ? 20.0 * std::log10(peak) : -100.0;
}

bool syncReport(const Render& r, std::string& text) {
    char line[512];
    bool ok = true;
    text = "order:row  rise dB  after dBFS  need     what\n";
    int required = 0, pass = 0, exempt = 0;
    double weakest = 1e9;
    const SyncPoint* weakestAt = nullptr;
    const char* scene = "";
    for (const SyncPoint& p : syncPoints()) {
        if (std::strcmp(scene, p.scene)) {
            scene = p.scene;
            text += std::string(scene) + "\n";
        }
        int64_t f = r.rowStart[p.order * RowsPerPattern + p.row];
        if (f < 0) {
            std::snprintf(line, sizeof line, "%5d:%-3d  never played                    %s\n", p.order, p.row, p.what);
            text += line;
            ok = false;
            continue;
        }
        double rise = riseDb(r, f), after = levelDb(r, f, r.rate * 60 / 1000);
        bool good = p.exempt || rise >= MinRiseDb;
        if (p.exempt) {
            ++exempt;
        } else {
            ++required;
            pass += good;
            if (rise < weakest) {
                weakest = rise;
                weakestAt = &p;
            }
        }
        ok &= good;
        std::snprintf(line, sizeof line, "%5d:%-3d  %+7.1f  %10.1f  %-7s  %s%s%s%s\n", p.order, p.row, rise, after,
                      p.exempt ? "exempt" : ">= 6", p.what, p.exempt ? " (" : "", p.exempt ? p.exempt : "",
                      p.exempt ? ")" : good ? "" : "  <-- too weak");
        text += line;
    }
    double toEnd = r.framesToEnd >= 0 ? (double)r.framesToEnd / r.rate : -1;
    double peakDb = 20.0 * std::log10(std::max(r.peak, 1e-9));
    bool timeOk = toEnd >= 180.0 && toEnd <= 240.0;
    bool peakOk = r.truePeakDbtp <= MaxTruePeakDbtp && r.longestFullScaleRun == 0;
    bool loudnessOk = std::fabs(r.loudnessLufs - TargetLoudnessLufs) <= LoudnessToleranceLu;
    bool silenceOk = r.longestSilenceSeconds < 2.0;
    ok &= timeOk && peakOk && loudnessOk && silenceOk;
    std::snprintf(line, sizeof line,
                  "\naccents: %d of %d rise by at least %.0f dB (weakest %+.1f dB at %d:%d); %d exempt\n"
                  "time to %d:%d: %.2f s (%d:%05.2f)%s\n"
                  "loudness %.1f LUFS integrated%s\n"
                  "peak %.1f dBFS, true peak %.1f dBTP, longest full-scale run %d frames%s\n"
                  "longest silence before order %d: %.2f s%s\n",
                  pass, required, MinRiseDb, weakest, weakestAt ? weakestAt->order : -1, weakestAt ? weakestAt->row : -1,
                  exempt, EndOrder, EndRow, toEnd, (int)(toEnd / 60), std::fmod(std::max(toEnd, 0.0), 60.0),
                  timeOk ? "" : "  <-- outside 3 to 4 minutes", r.loudnessLufs,
                  loudnessOk ? "" : "  <-- not at release level (-15 LUFS +- 1)", peakDb, r.truePeakDbtp,
                  r.longestFullScaleRun, peakOk ? "" : "  <-- too hot", EndOrder, r.longestSilenceSeconds, silenceOk ? "" : "  <-- too long");
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
