// The module's instruments, synthesised from fixed parameters.
//
// Pitch mapping: the player turns a note's period into a playback rate of 3579364 / period Hz
// (C-2, period 428, plays at 8363 Hz). Each instrument is rendered at the rate of the note it is
// mostly played at, so the sample is replayed near its own rate:
//   drums and effects   played at B-3 (31676 Hz), natural pitch
//   bass                C-2 sounds C2  (rate 8363, one cycle = 128 samples)
//   pads, stab          C-3 sounds a chord on C3 / C4 (rate 16726)
//   lead, pluck         C-3 sounds C5  (rate 16726, one cycle = 32 samples)
// Looped instruments are built so that every oscillator and every modulation completes a whole
// number of cycles over the loop and all filters have settled before the loop start: the loop
// seam is then continuous by construction.
#include "music.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace music {
namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double PeriodClock = 3579364.0;  // rate = PeriodClock / period
constexpr double RateB3 = PeriodClock / 113.0;
constexpr double RateC2 = PeriodClock / 428.0;
constexpr double RateC3 = PeriodClock / 214.0;

using Buf = std::vector<double>;

// xorshift32 with a fixed seed per instrument: the same noise on every run.
struct Noise {
    uint32_t s;
    explicit Noise(uint32_t seed) : s(seed ? seed : 1) {}
    double next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return (double)(s >> 8) * (2.0 / 16777216.0) - 1.0;
    }
};

// Topology-preserving state-variable filter: stable at any cutoff below Nyquist.
struct Svf {
    double ic1 = 0, ic2 = 0;
    double lp = 0, bp = 0, hp = 0;
    void run(double x, double cutoff, double rate, double q) {
        double fc = std::min(cutoff, rate * 0.49);
        double g = std::tan(Pi * fc / rate);
        double k = 1.0 / q;
        double a1 = 1.0 / (1.0 + g * (g + k));
        double a2 = g * a1;
        double a3 = g * a2;
        double v3 = x - ic2;
        double v1 = a1 * ic1 + a2 * v3;
        double v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2 * v1 - ic1;
        ic2 = 2 * v2 - ic2;
        lp = v2;
        bp = v1;
        hp = x - k * v1 - v2;
    }
};

// One cycle of a band-limited waveform (sum of harmonics), `size` points.
enum class Wave { Saw, Square };
Buf cycleTable(Wave w, int size, int harmonics) {
    Buf t(size, 0.0);
    for (int h = 1; h <= harmonics; ++h) {
        if (w == Wave::Square && (h % 2) == 0) continue;
        // Gentle roll-off of the top harmonics keeps the ringing of the band limit down.
        double taper = std::cos(0.5 * Pi * (double)(h - 1) / (double)(harmonics + 1));
        double a = (w == Wave::Saw ? ((h & 1) ? 1.0 : -1.0) : 1.0) / h * taper;
        for (int i = 0; i < size; ++i) t[i] += a * std::sin(2 * Pi * (double)h * i / size);
    }
    double peak = 1e-9;
    for (double v : t) peak = std::max(peak, std::fabs(v));
    for (double& v : t) v /= peak;
    return t;
}

// Reads a table at an exact rational phase: `num / den` cycles.
double tableAt(const Buf& t, uint64_t num, uint64_t den) {
    uint64_t p = num % den;
    double pos = (double)p * (double)t.size() / (double)den;
    size_t i = (size_t)pos;
    double f = pos - (double)i;
    return t[i] + (t[(i + 1) % t.size()] - t[i]) * f;
}

// Short fades at both ends so one-shots start and stop at zero.
void fadeEnds(Buf& b, double rate, double inSec, double outSec) {
    size_t in = (size_t)(inSec * rate), out = (size_t)(outSec * rate);
    for (size_t i = 0; i < in && i < b.size(); ++i) b[i] *= (double)i / (double)in;
    for (size_t i = 0; i < out && i < b.size(); ++i) b[b.size() - 1 - i] *= (double)i / (double)out;
}

// A small room: four damped feedback combs into two all-passes (delays scaled from 44.1 kHz).
// Adds `seconds` of tail to the buffer and mixes the wet signal in at `wet`.
void room(Buf& b, double rate, double wet, double feedback, double seconds) {
    const int combs[4] = {1116, 1277, 1422, 1557};
    const int allpasses[2] = {556, 341};
    size_t dry = b.size();
    b.resize((dry + (size_t)(seconds * rate)) & ~(size_t)1, 0.0);
    // The room hears the dry sound above about 400 Hz only, so low bodies do not boom.
    Buf in(b.size(), 0.0);
    Svf hp;
    for (size_t i = 0; i < b.size(); ++i) {
        hp.run(b[i], 400, rate, 0.7);
        in[i] = hp.hp;
    }
    Buf out(b.size(), 0.0);
    for (int c = 0; c < 4; ++c) {
        size_t d = (size_t)(combs[c] * rate / 44100.0);
        Buf line(d, 0.0);
        double damp = 0;
        for (size_t i = 0; i < b.size(); ++i) {
            double y = line[i % d];
            damp = y * 0.7 + damp * 0.3;
            line[i % d] = in[i] + damp * feedback;
            out[i] += y * 0.25;
        }
    }
    for (int a : allpasses) {
        size_t d = (size_t)(a * rate / 44100.0);
        Buf line(d, 0.0);
        for (size_t i = 0; i < out.size(); ++i) {
            double buffered = line[i % d];
            double y = buffered - out[i];
            line[i % d] = out[i] + buffered * 0.5;
            out[i] = y;
        }
    }
    for (size_t i = 0; i < b.size(); ++i) b[i] += wet * out[i];
}

// Scales to the 8-bit range (peak 126) with rounding.
Sample toSample(const char* name, const Buf& b, uint8_t volume, uint32_t loopStart = 0, uint32_t loopLength = 0) {
    Sample s;
    s.name = name;
    s.volume = volume;
    double peak = 1e-12;
    for (double v : b) peak = std::max(peak, std::fabs(v));
    size_t n = b.size() + (b.size() & 1);  // module samples are whole 16-bit words
    s.pcm.assign(n, 0);
    for (size_t i = 0; i < b.size(); ++i) {
        long v = std::lround(b[i] * 126.0 / peak);
        s.pcm[i] = (int8_t)std::clamp(v, -127L, 127L);
    }
    s.loopStart = loopStart;
    s.loopLength = loopLength;
    return s;
}

Buf alloc(double seconds, double rate) { return Buf((size_t)(seconds * rate) & ~(size_t)1, 0.0); }

// ---- drums -----------------------------------------------------------------------------------

// Sine body with a fast pitch drop, a noise click on top, soft-clipped for punch. The body dies
// within about half a beat, so a kick on every beat leaves the next one room to stand out. The
// "boom" variant adds a long sub tail and low rumble for scene starts.
Sample kick(bool boom) {
    const double r = RateB3;
    Buf b = alloc(boom ? 2.2 : 0.5, r);
    Noise nz(boom ? 0xB00Bu : 0x1C4u);
    Svf hp, rumble;
    double ph = 0, sub = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        double t = i / r;
        double f = 46 + 120 * std::exp(-t / 0.032) + 420 * std::exp(-t / 0.0035);
        ph += f / r;
        double body = std::sin(2 * Pi * ph) * std::exp(-t / (boom ? 0.34 : 0.22));
        hp.run(nz.next(), 1800, r, 0.7);
        double click = hp.hp * std::exp(-t / 0.0018) * 0.5;
        double x = std::tanh(2.2 * (body + click));
        if (boom) {
            sub += (36 + 20 * std::exp(-t / 0.09)) / r;
            rumble.run(nz.next(), 220, r, 0.8);
            x += 0.75 * std::sin(2 * Pi * sub) * std::exp(-t / 0.75) * std::min(1.0, t / 0.004);
            x += 0.9 * rumble.lp * std::exp(-t / 0.45);
        }
        b[i] = x;
    }
    fadeEnds(b, r, 0.0002, boom ? 0.3 : 0.03);
    return toSample(boom ? "impact" : "kick", b, 64);
}

Sample snare() {
    const double r = RateB3;
    Buf b = alloc(0.42, r);
    Noise nz(0x5A4Eu);
    Svf hp, lp;
    double p1 = 0, p2 = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        double t = i / r;
        p1 += 185 * (1 + 0.3 * std::exp(-t / 0.012)) / r;
        p2 += 330 * (1 + 0.2 * std::exp(-t / 0.012)) / r;
        double body = 0.8 * std::sin(2 * Pi * p1) * std::exp(-t / 0.055) + 0.35 * std::sin(2 * Pi * p2) * std::exp(-t / 0.035);
        hp.run(nz.next(), 1400, r, 0.6);
        lp.run(hp.hp, 9000, r, 0.7);
        double noise = lp.lp * (0.9 * std::exp(-t / 0.12) + 0.6 * std::exp(-t / 0.012));
        b[i] = std::tanh(1.4 * (body + noise));
    }
    room(b, r, 0.35, 0.8, 0.35);
    fadeEnds(b, r, 0.0002, 0.06);
    return toSample("snare", b, 60);
}

// Several quick noise bursts through a band-pass, then a short room tail.
Sample clap() {
    const double r = RateB3;
    Buf b = alloc(0.45, r);
    Noise nz(0xC1A9u);
    Svf bp, bp2;
    const double hits[] = {0.0, 0.010, 0.021, 0.032};
    for (size_t i = 0; i < b.size(); ++i) {
        double t = i / r;
        double env = 0;
        for (double h : hits)
            if (t >= h) env = std::max(env, std::exp(-(t - h) / 0.0055));
        if (t >= hits[3]) env = std::max(env, 0.55 * std::exp(-(t - hits[3]) / 0.13));
        double n = nz.next();
        bp.run(n, 1250, r, 1.4);
        bp2.run(n, 2600, r, 1.2);
        b[i] = (bp.bp + 0.5 * bp2.bp) * env;
    }
    room(b, r, 0.4, 0.8, 0.35);
    fadeEnds(b, r, 0.0002, 0.06);
    return toSample("clap", b, 62);
}

// Six detuned square oscillators (the classic metallic cluster) plus noise, high-passed.
Sample hat(bool open) {
    const double r = RateB3;
    Buf b = alloc(open ? 0.8 : 0.16, r);
    Noise nz(open ? 0x0BE7u : 0xC105u);
    const double freqs[] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    double ph[6] = {0, 0.13, 0.41, 0.27, 0.66, 0.82};
    Svf bp, hp;
    for (size_t i = 0; i < b.size(); ++i) {
        double t = i / r;
        double m = 0;
        for (int k = 0; k < 6; ++k) {
            ph[k] += freqs[k] * 1.9 / r;
            m += (ph[k] - std::floor(ph[k]) < 0.5) ? 1.0 : -1.0;
        }
        double x = m / 6.0 * 0.6 + nz.next() * 0.7;
        bp.run(x, 10500, r, 0.8);
        hp.run(bp.bp, 7000, r, 0.7);
        double env = open ? (0.6 * std::exp(-t / 0.26) + 0.4 * std::exp(-t / 0.03)) : std::exp(-t / 0.032);
        b[i] = hp.hp * env;
    }
    fadeEnds(b, r, 0.0003, open ? 0.1 : 0.02);
    return toSample(open ? "open hat" : "closed hat", b, open ? 46 : 44);
}

Sample crash() {
    const double r = RateB3;
    Buf b = alloc(3.0, r);
    Noise nz(0xC4A5u);
    const double freqs[] = {296.0, 421.0, 587.0, 733.0, 911.0, 1147.0};
    double ph[6] = {0, 0.3, 0.6, 0.1, 0.8, 0.45};
    Svf hp, lp;
    for (size_t i = 0; i < b.size(); ++i) {
        double t = i / r;
        double m = 0;
        for (int k = 0; k < 6; ++k) {
            ph[k] += freqs[k] * 2.3 / r;
            m += (ph[k] - std::floor(ph[k]) < 0.5) ? 1.0 : -1.0;
        }
        double x = nz.next() * 0.8 + m / 6.0 * 0.5;
        hp.run(x, 3200 + 2500 * std::exp(-t / 0.3), r, 0.6);
        lp.run(hp.hp, 12500, r, 0.6);
        double env = 0.65 * std::exp(-t / 0.85) + 0.35 * std::exp(-t / 0.07);
        b[i] = lp.lp * env * std::min(1.0, t / 0.0015);
    }
    fadeEnds(b, r, 0.0, 0.4);
    return toSample("crash", b, 44);
}

Sample tom() {
    const double r = RateB3;
    Buf b = alloc(0.7, r);
    Noise nz(0x7037u);
    Svf lp;
    double ph = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        double t = i / r;
        ph += 150 * (1 + 0.55 * std::exp(-t / 0.045)) / r;
        lp.run(nz.next(), 2500, r, 0.7);
        b[i] = std::tanh(1.3 * (std::sin(2 * Pi * ph) * std::exp(-t / 0.2) + lp.lp * 0.5 * std::exp(-t / 0.015)));
    }
    room(b, r, 0.25, 0.78, 0.3);
    fadeEnds(b, r, 0.0002, 0.06);
    return toSample("tom", b, 54);
}

// White noise through two band-passes sweeping up, growing louder, ending with a short fade:
// played on the row where the sweep should start, it peaks 26 rows (3.12 s) later.
Sample riser() {
    const double r = RateB3;
    Buf b = alloc(3.12, r);
    Noise nz(0x415Eu);
    Svf bp1, bp2;
    double ph = 0;
    const double T = b.size() / r;
    for (size_t i = 0; i < b.size(); ++i) {
        double t = i / r, u = t / T;
        double fc = 220 * std::pow(9000.0 / 220.0, std::pow(u, 1.2));
        double n = nz.next();
        bp1.run(n, fc, r, 3.0);
        bp2.run(n, fc * 1.9, r, 2.0);
        ph += (110 * std::pow(8.0, u)) / r;
        double tone = (2 * (ph - std::floor(ph)) - 1) * 0.12;
        b[i] = (bp1.bp + 0.6 * bp2.bp + tone) * (0.08 + 0.92 * u * u);
    }
    fadeEnds(b, r, 0.01, 0.012);
    return toSample("riser", b, 48);
}

// The reverse gesture for fades: noise sweeping down and dying away.
Sample downsweep() {
    const double r = RateB3;
    Buf b = alloc(2.0, r);
    Noise nz(0xD0E5u);
    Svf bp;
    for (size_t i = 0; i < b.size(); ++i) {
        double t = i / r;
        double fc = 7000 * std::pow(150.0 / 7000.0, std::min(1.0, t / 1.6));
        bp.run(nz.next(), fc, r, 2.2);
        b[i] = bp.bp * std::exp(-t / 0.55);
    }
    fadeEnds(b, r, 0.004, 0.1);
    return toSample("downsweep", b, 46);
}

// Sample-and-hold noise with a crushed square: the digital glitch under the logo bursts.
Sample glitch() {
    const double r = RateB3;
    Buf b = alloc(0.22, r);
    Noise nz(0x611Cu);
    double held = 0;
    int hold = 0;
    for (size_t i = 0; i < b.size(); ++i) {
        double t = i / r;
        if (hold-- <= 0) {
            held = nz.next();
            hold = 6 + (int)((nz.next() + 1) * 20);
        }
        double sq = (std::fmod(t * (t < 0.08 ? 880.0 : 1320.0), 1.0) < 0.5) ? 0.5 : -0.5;
        double x = held * 0.8 + sq;
        b[i] = std::round(x * 4) / 4 * std::exp(-t / 0.07);
    }
    fadeEnds(b, r, 0.0005, 0.02);
    return toSample("glitch", b, 40);
}

// ---- pitched instruments ---------------------------------------------------------------------

// Plucky bass: saw plus a square an octave down, through a low-pass whose cutoff falls after
// the attack; settles to a steady tone that loops over whole cycles.
Sample bass() {
    const double r = RateC2;
    const int P = 128;  // one cycle of C2 at this rate (65.3 Hz)
    Buf saw = cycleTable(Wave::Saw, P, 56);
    Buf sq = cycleTable(Wave::Square, 2 * P, 56);
    const uint32_t loopStart = 8192, loopLen = 2 * P * 8;
    Buf b(loopStart + loopLen, 0.0);
    Svf f;
    for (size_t i = 0; i < b.size(); ++i) {
        double t = std::min<double>(i, loopStart - 2048) / r;  // envelopes freeze before the loop
        double cutoff = 320 + 2600 * std::exp(-t / 0.07);
        double x = saw[i % P] * 0.8 + sq[i % (2 * P)] * 0.45;
        f.run(x, cutoff, r, 1.1);
        double amp = 0.5 + 0.5 * std::exp(-t / 0.18);
        b[i] = std::tanh(1.3 * f.lp) * amp * std::min(1.0, (double)i / 12.0);
    }
    return toSample("bass", b, 64, loopStart, loopLen);
}

// Detuned-saw chord, slowly breathing through a swept low-pass. Chord tones sit on whole cycle
// counts over the 32768-sample loop, three saws each, one step apart: 0.5 Hz beating.
Sample pad(bool major) {
    const double r = RateC3;
    const uint32_t L = 32768, attack = 2048;
    // C3 G3 C4 Eb4/E4 G4 as cycles per loop (C3 = 256 cycles: 130.7 Hz)
    const int tones[] = {256, 384, 512, major ? 645 : 609, 768};
    const double gains[] = {0.9, 0.7, 0.7, 0.6, 0.45};
    std::vector<Buf> tables;
    for (int k : tones) tables.push_back(cycleTable(Wave::Saw, 4096, std::max(2, (int)(0.45 * L / k))));
    Buf b(attack + L, 0.0);
    Svf f1, f2;
    for (size_t i = 0; i < b.size(); ++i) {
        double x = 0;
        for (int v = 0; v < 5; ++v)
            for (int d = -1; d <= 1; ++d) x += gains[v] * tableAt(tables[v], (uint64_t)(tones[v] + d) * i, L);
        double lfo = std::sin(2 * Pi * (double)(i % L) / L);
        double lfo2 = std::sin(2 * Pi * 2.0 * (double)(i % L) / L + 1.0);
        double cutoff = 1100 * std::pow(2.0, 0.9 * lfo + 0.25 * lfo2);
        f1.run(x, cutoff, r, 0.9);
        f2.run(f1.lp, cutoff * 1.6, r, 0.6);
        double amp = i < attack ? std::sin(0.5 * Pi * (double)i / attack) : 1.0;
        b[i] = f2.lp * amp;
    }
    // The filters start cold; replace their first cycle of settling by running the loop twice.
    // The loop proper is then copied from the second pass so its ends meet exactly.
    Buf again(L, 0.0);
    for (size_t i = 0; i < L; ++i) {
        size_t n = attack + i;
        double x = 0;
        for (int v = 0; v < 5; ++v)
            for (int d = -1; d <= 1; ++d) x += gains[v] * tableAt(tables[v], (uint64_t)(tones[v] + d) * n, L);
        double lfo = std::sin(2 * Pi * (double)(n % L) / L);
        double lfo2 = std::sin(2 * Pi * 2.0 * (double)(n % L) / L + 1.0);
        double cutoff = 1100 * std::pow(2.0, 0.9 * lfo + 0.25 * lfo2);
        f1.run(x, cutoff, r, 0.9);
        f2.run(f1.lp, cutoff * 1.6, r, 0.6);
        again[i] = f2.lp;
    }
    // The attack's end runs into the second pass's start: both come from the same settled state
    // after a whole loop, so copying keeps continuity at the loop start as well as the seam.
    for (size_t i = 0; i < L; ++i) b[attack + i] = again[i];
    return toSample(major ? "pad major" : "pad minor", b, 46, attack, L);
}

// Power-chord stab (root, fifth, octave; C4 at C-3) with a snappy filter envelope.
Sample stab() {
    const double r = RateC3;
    Buf saw = cycleTable(Wave::Saw, 4096, 20);
    Buf b = alloc(0.7, r);
    const double ratios[] = {1.0, 1.5, 2.0, 3.0};
    const double detune[] = {-0.006, 0.0, 0.005};
    double ph[4][3] = {};
    Svf f;
    for (size_t i = 0; i < b.size(); ++i) {
        double t = i / r;
        double x = 0;
        for (int v = 0; v < 4; ++v)
            for (int d = 0; d < 3; ++d) {
                ph[v][d] += 261.6 * ratios[v] * (1 + detune[d]) / r;
                ph[v][d] -= std::floor(ph[v][d]);
                x += tableAt(saw, (uint64_t)(ph[v][d] * 1048576.0), 1048576) * (v == 3 ? 0.5 : 1.0);
            }
        f.run(x, 700 + 5200 * std::exp(-t / 0.06), r, 1.3);
        b[i] = f.lp * std::exp(-t / 0.2);
    }
    room(b, r, 0.35, 0.82, 0.5);
    fadeEnds(b, r, 0.001, 0.08);
    return toSample("stab", b, 50);
}

// Lead: two saws a hair apart (256 and 257 cycles per 8192-sample loop) over a square one
// octave down, low-passed, with a brighter onset. Vibrato and slides come from the pattern.
Sample lead() {
    const double r = RateC3;
    const uint32_t L = 8192, loopStart = 4096;
    Buf s1 = cycleTable(Wave::Saw, 4096, 15);
    Buf sq = cycleTable(Wave::Square, 4096, 29);
    Buf b(loopStart + L, 0.0);
    Svf f;
    for (size_t i = 0; i < b.size(); ++i) {
        double t = std::min<double>(i, 2048) / r;
        double x = tableAt(s1, 256ull * i, L) * 0.55 + tableAt(s1, 257ull * i, L) * 0.55 + tableAt(sq, 128ull * i, L) * 0.35;
        f.run(x, 3000 + 3500 * std::exp(-t / 0.05), r, 0.9);
        b[i] = f.lp * std::min(1.0, (double)i / 80.0);
    }
    return toSample("lead", b, 56, loopStart, L);
}

// Two-operator FM pluck (modulator at twice the carrier) whose index falls quickly.
Sample pluck() {
    const double r = RateC3;
    Buf b = alloc(1.1, r);
    const double f = r / 32.0;  // C5
    for (size_t i = 0; i < b.size(); ++i) {
        double t = i / r;
        double index = 2.6 * std::exp(-t / 0.045) + 0.35;
        double m = std::sin(2 * Pi * 2 * f * t);
        double c = std::sin(2 * Pi * f * t + index * m);
        b[i] = c * std::exp(-t / 0.3) * std::min(1.0, t / 0.0015);
    }
    fadeEnds(b, r, 0.0, 0.1);
    return toSample("pluck", b, 27);
}

}  // namespace

std::vector<Sample> buildSamples() {
    std::vector<Sample> s;
    s.push_back(kick(false));
    s.push_back(kick(true));
    s.push_back(snare());
    s.push_back(clap());
    s.push_back(hat(false));
    s.push_back(hat(true));
    s.push_back(crash());
    s.push_back(tom());
    s.push_back(riser());
    s.push_back(downsweep());
    s.push_back(glitch());
    s.push_back(bass());
    s.push_back(pad(false));
    s.push_back(pad(true));
    s.push_back(stab());
    s.push_back(lead());
    s.push_back(pluck());
    return s;
}

}  // namespace music
