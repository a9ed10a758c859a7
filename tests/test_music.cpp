// The show's module: well-formed, deterministic, clean loops, and, rendered through the
// tracker player, an accent on every position at which the picture changes, release loudness
// with headroom above the true peak, no long silence, every row on its sample, and the end
// reached three to four minutes in.
#include "effect.h"
#include "music.h"
#include "registry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <unistd.h>
#include <string>

namespace {

uint32_t be16(const mkassets::Bytes& b, size_t at) { return (uint32_t)b[at] << 8 | b[at + 1]; }

const mkassets::Bytes& module() {
    static const mkassets::Bytes m = [] {
        std::string err;
        mkassets::Bytes b = music::buildModule(&err);
        EXPECT_TRUE(err.empty()) << err;
        return b;
    }();
    return m;
}

const music::Render& rendered() {
    static const music::Render r = [] {
        music::Render out;
        std::string err;
        EXPECT_TRUE(music::renderModule(module(), out, err)) << err;
        return out;
    }();
    return r;
}

TEST(Music, ModuleLayoutIsAnEightChannelModuleOfTheWholeSong) {
    const mkassets::Bytes& m = module();
    ASSERT_GT(m.size(), 1084u);
    EXPECT_EQ(std::string((const char*)&m[1080], 4), "8CHN");
    const int orders = m[950];
    EXPECT_EQ(orders, music::EndOrder + 1);
    int patterns = 0;
    for (int i = 0; i < 128; ++i) patterns = std::max(patterns, m[952 + i] + 1);
    size_t expected = 1084 + (size_t)patterns * music::RowsPerPattern * music::Channels * 4;
    for (int s = 0; s < 31; ++s) {
        size_t h = 20 + 30 * s;
        uint32_t len = be16(m, h + 22) * 2, loopStart = be16(m, h + 26) * 2, loopLen = be16(m, h + 28) * 2;
        EXPECT_LE(m[h + 25], 64) << "sample " << s + 1 << " volume";
        if (loopLen > 2) {
            EXPECT_LE(loopStart + loopLen, len) << "sample " << s + 1 << " loops past its end";
        }
        expected += len;
    }
    EXPECT_EQ(m.size(), expected);
}

// Every cell uses a period of the three standard octaves (other players clamp or drop the rest),
// names an existing sample, and every channel is panned inside every pattern so a seek to any
// order restores the stereo picture; no pattern jumps or breaks before the show's end.
TEST(Music, PatternCellsStayWithinWhatEveryPlayerReads) {
    const mkassets::Bytes& m = module();
    static const std::set<uint32_t> periods = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                               428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                               214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};
    int samples = 0;
    for (int s = 0; s < 31; ++s) samples += be16(m, 20 + 30 * s + 22) > 0;
    const int orders = m[950];
    for (int o = 0; o < orders; ++o) {
        int pat = m[952 + o];
        bool panned[music::Channels] = {};
        for (int row = 0; row < music::RowsPerPattern; ++row)
            for (int ch = 0; ch < music::Channels; ++ch) {
                const uint8_t* c = &m[1084 + ((size_t)(pat * music::RowsPerPattern + row) * music::Channels + ch) * 4];
                uint32_t period = (uint32_t)(c[0] & 0x0F) << 8 | c[1];
                int sample = (c[0] & 0xF0) | c[2] >> 4, fx = c[2] & 0x0F;
                SCOPED_TRACE("order " + std::to_string(o) + ", row " + std::to_string(row) + ", channel " + std::to_string(ch));
                if (period) {
                    EXPECT_TRUE(periods.count(period)) << "period " << period;
                }
                EXPECT_LE(sample, samples);
                if (period) {
                    EXPECT_GT(sample, 0) << "a note without an instrument";
                }
                panned[ch] |= fx == 0x8;
                if (o < music::EndOrder) {
                    EXPECT_NE(fx, 0xB) << "position jump";
                    EXPECT_NE(fx, 0xD) << "pattern break";
                    EXPECT_FALSE(fx == 0xF && c[3] != 6 && c[3] != 0x7D) << "tempo change";
                }
            }
        for (int ch = 0; ch < music::Channels; ++ch) EXPECT_TRUE(panned[ch]) << "order " << o << " channel " << ch;
    }
    // Spot check of the cell encoding: the show opens on the impact (B-3) with a crash.
    const uint8_t* first = &m[1084];
    EXPECT_EQ((first[0] & 0x0F) << 8 | first[1], 113);
    EXPECT_EQ(std::string((const char*)&m[20 + 30 * (((first[0] & 0xF0) | first[2] >> 4) - 1)]), "impact");
}

TEST(Music, BuildIsByteIdenticalAndTheGeneratorWritesIt) {
    std::string err;
    EXPECT_EQ(music::buildModule(&err), module());
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("test_music_" + std::to_string(::getpid()));
    bool found = false;
    for (const mkassets::Generator& g : mkassets::allGenerators())
        if (std::string(g.name) == "music") {
            found = true;
            ASSERT_TRUE(g.fn(dir.string()));
        }
    ASSERT_TRUE(found) << "no generator named music";
    std::ifstream f(dir / "srcdata" / "s32.mod", std::ios::binary);
    mkassets::Bytes onDisk((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(onDisk, module());
    fs::remove_all(dir);
}

TEST(Music, InstrumentsAreCompleteAndLoopWithoutClicks) {
    std::vector<music::Sample> samples = music::buildSamples();
    std::set<std::string> names;
    for (const music::Sample& s : samples) names.insert(s.name);
    for (const char* need : {"kick", "snare", "clap", "closed hat", "open hat", "crash", "bass", "pad minor", "lead"})
        EXPECT_TRUE(names.count(need)) << "missing instrument " << need;
    ASSERT_LE(samples.size(), 31u);
    for (const music::Sample& s : samples) {
        SCOPED_TRACE(s.name);
        ASSERT_FALSE(s.pcm.empty());
        EXPECT_EQ(s.pcm.size() % 2, 0u);
        EXPECT_LE(s.pcm.size(), 131070u);  // 16-bit word count in the header
        if (s.loopLength == 0) {
            // One-shots start and stop at rest: no click at the note start or when the sample runs out.
            EXPECT_LE(std::abs(s.pcm.front()), 8);
            EXPECT_LE(std::abs(s.pcm.back()), 2);
            continue;
        }
        ASSERT_EQ(s.loopStart % 2, 0u);
        ASSERT_EQ(s.loopLength % 2, 0u);
        ASSERT_LE(s.loopStart + s.loopLength, s.pcm.size());
        // The jump from the loop's last sample back to its first must look like any other step
        // of the waveform.
        int largestStep = 0;
        for (uint32_t i = s.loopStart + 1; i < s.loopStart + s.loopLength; ++i)
            largestStep = std::max(largestStep, std::abs(s.pcm[i] - s.pcm[i - 1]));
        int seam = std::abs(s.pcm[s.loopStart] - s.pcm[s.loopStart + s.loopLength - 1]);
        EXPECT_LE(seam, largestStep);
        EXPECT_GT(largestStep, 0);
    }
}

// One render serves all checks of the played show (each test runs in its own process under CTest).
TEST(Music, RenderedShowKeepsTimeAccentsAndLevel) {
    const music::Render& r = rendered();
    ASSERT_GE(r.framesToEnd, 0) << "order 27, row 8 never reached";
    double seconds = (double)r.framesToEnd / r.rate;
    EXPECT_GE(seconds, 180.0);
    EXPECT_LE(seconds, 240.0);
    // Every row of every order up to the end plays once, in order, 0.12 s apart: nothing loops,
    // skips or changes tempo, so the positions the show keys on come exactly on time.
    for (int i = 0; i <= music::EndOrder * music::RowsPerPattern + music::EndRow; ++i)
        ASSERT_EQ(r.rowStart[i], (int64_t)i * r.rate * 12 / 100) << "order " << i / 64 << ", row " << i % 64;

    // Accents: every position at which the picture changes, except the fades where the music
    // drops out on purpose, stands 6 dB above the 200 ms before it and is clearly audible.
    for (const music::SyncPoint& p : music::syncPoints()) {
        if (p.exempt) continue;
        int64_t f = r.rowStart[p.order * music::RowsPerPattern + p.row];
        SCOPED_TRACE(std::string(p.scene) + " " + p.what + " at " + std::to_string(p.order) + ":" + std::to_string(p.row));
        EXPECT_GE(music::riseDb(r, f), music::MinRiseDb);
        EXPECT_GT(music::levelDb(r, f, r.rate * 60 / 1000), -30.0) << "too quiet to hear";
    }
    std::string text;
    EXPECT_TRUE(music::syncReport(r, text)) << text;

    // Release level as played: loud enough to stand beside other music, with headroom above the
    // peaks between samples (which converters and encoders reconstruct), nothing clipped.
    EXPECT_NEAR(r.loudnessLufs, music::TargetLoudnessLufs, music::LoudnessToleranceLu);
    EXPECT_LE(r.truePeakDbtp, music::MaxTruePeakDbtp);
    EXPECT_EQ(r.longestFullScaleRun, 0);
    EXPECT_LT(r.longestSilenceSeconds, 2.0);
}

// The sync list runs in playing order without repeats, every fade it exempts says why, and it
// covers the start of every scene on the show's timeline with a required accent and the end.
TEST(Music, SyncPositionsCoverTheTimeline) {
    const std::vector<music::SyncPoint>& points = music::syncPoints();
    ASSERT_FALSE(points.empty());
    for (size_t i = 1; i < points.size(); ++i)
        EXPECT_LT(points[i - 1].order * music::RowsPerPattern + points[i - 1].row,
                  points[i].order * music::RowsPerPattern + points[i].row)
            << points[i].order << ":" << points[i].row << " out of order or repeated";
    for (const music::SyncPoint& p : points)
        if (p.exempt) {
            EXPECT_GT(std::strlen(p.exempt), 10u) << p.order << ":" << p.row;
        }
    auto find = [&](int order, int row) -> const music::SyncPoint* {
        for (const music::SyncPoint& p : points)
            if (p.order == order && p.row == row) return &p;
        return nullptr;
    };
    effect_register();
    const int n = effect_getCount();
    for (int i = 0; i < n; ++i) {
        const Effect* e = effect_get(i);
        const music::SyncPoint* p = find(e->startOrder, e->startRow);
        ASSERT_NE(p, nullptr) << (e->name ? e->name : "end") << " starts at " << e->startOrder << ":" << e->startRow;
        if (e->name) {
            EXPECT_EQ(p->exempt, nullptr) << e->name << "'s start needs an accent";
            EXPECT_STREQ(p->scene, e->name);
        }
    }
    effect_deinit();
    EXPECT_EQ(points.back().order, music::EndOrder);
    EXPECT_EQ(points.back().row, music::EndRow);
}

TEST(Music, LevelMeasuresMatchKnownSignals) {
    music::Render r;
    r.pcm.assign(44100 * 2, 0);
    for (size_t i = 22050 * 2; i < r.pcm.size(); ++i) r.pcm[i] = (i / 2) % 2 ? 16384 : -16384;  // square at -6 dBFS
    EXPECT_NEAR(music::levelDb(r, 22050, 4410), -6.02, 0.01);
    EXPECT_NEAR(music::levelDb(r, 0, 4410), -100.0, 1e-9);  // silence reads as the floor
    EXPECT_NEAR(music::riseDb(r, 22050), 93.98, 0.01);
    EXPECT_NEAR(music::levelDb(r, 44000, 1000), -6.02, 0.01);  // a window past the end is cut short

    // Loudness and true peak against signals of known reading: a 1 kHz sine at full scale in
    // both channels reads 0 LUFS (one channel alone 3 dB less); the weighting takes 4.6 dB off
    // 50 Hz and adds 3.3 dB at 10 kHz (as a reference meter reads them); a quarter-rate sine
    // sampled 45 degrees off its crests peaks 3 dB above its samples, an eighth-rate one 22.5
    // degrees off 0.7 dB above; silence reads as the floors. Each tone fades in and out over
    // 10 ms: a sudden start would really overshoot between the samples.
    const double pi = 3.14159265358979323846, none = NAN;
    struct Case {
        double hz, amplitude, phase;
        bool right;  // also in the right channel
        double lufs, dbtp;
    };
    const Case cases[] = {
        {1000.0, 32767.0, 0.0, true, 0.0, 0.0},
        {1000.0, 32767.0, 0.0, false, -3.01, 0.0},
        {1000.0, 3277.0, 0.0, true, -20.0, -20.0},
        {50.0, 3277.0, 0.0, true, -24.6, -20.0},
        {10000.0, 3277.0, 0.0, true, -16.7, none},
        {11025.0, 16384.0, pi / 4, true, none, -6.02},
        {5512.5, 16384.0, pi / 8, true, none, -6.02},
        {1000.0, 0.0, 0.0, true, -70.0, -100.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.hz) + " Hz at " + std::to_string(c.amplitude));
        music::Render s;
        s.pcm.resize(44100 * 2 * 5);
        const size_t frames = s.pcm.size() / 2, fade = 441;
        for (size_t i = 0; i < frames; ++i) {
            double edge = std::min<double>(1.0, (double)std::min(i, frames - 1 - i) / fade);
            double gain = 0.5 - 0.5 * std::cos(pi * edge);
            int16_t v = (int16_t)std::lround(gain * c.amplitude * std::sin(2.0 * pi * c.hz * (double)i / 44100.0 + c.phase));
            s.pcm[i * 2] = v;
            s.pcm[i * 2 + 1] = c.right ? v : 0;
        }
        if (!std::isnan(c.lufs)) {
            EXPECT_NEAR(music::loudnessLufs(s), c.lufs, 0.06);
        }
        if (!std::isnan(c.dbtp)) {
            EXPECT_NEAR(music::truePeakDbtp(s), c.dbtp, 0.05);
        }
    }
}

TEST(Music, ANonModuleIsRefusedWithOneLine) {
    mkassets::Bytes junk(64, 0x5A);
    music::Render r;
    std::string err;
    EXPECT_FALSE(music::renderModule(junk, r, err));
    EXPECT_NE(err.find("music:"), std::string::npos);
    EXPECT_EQ(err.find('\n'), std::string::npos);
}

}  // namespace
