// The show's music: a synthesised 8-channel tracker module ("8CHN", ProTracker layout) written
// as srcdata/s32.mod, plus an offline renderer that measures the accents at the show's sync
// positions.
//
// Everything here is deterministic: instruments are computed from fixed parameters and a fixed
// noise seed, the song is plain text in music_song.cpp, and the writer emits the same bytes on
// every run.
#pragma once
#include "mkassets.h"

#include <cstdint>
#include <string>
#include <vector>

namespace music {

// Song layout, fixed by the show: 64 rows per pattern, speed 6 at 125 BPM (0.12 s per row).
constexpr int RowsPerPattern = 64;
constexpr int Channels = 8;
constexpr int EndOrder = 27;  // the show ends at (EndOrder, EndRow)
constexpr int EndRow = 8;

// One synthesised instrument as stored in the module: 8-bit signed PCM, loop in samples
// (loopLength 0 = one-shot).
struct Sample {
    std::string name;
    std::vector<int8_t> pcm;
    uint32_t loopStart = 0;
    uint32_t loopLength = 0;
    uint8_t volume = 64;
};

// Synthesises every instrument (index i is module sample number i + 1).
std::vector<Sample> buildSamples();

// Builds the complete module. Returns an empty vector (and sets err) only if the song text
// does not parse, which the tests catch.
mkassets::Bytes buildModule(std::string* err = nullptr);

// A position at which the picture visibly changes: a scene start, a kick, a name, a dissolve, a
// glitch burst, a look change, a flash, an overlay toggle, a greeting, the speed-up, a whiteout,
// the light dying, a fade. Each needs an audible accent (a rise of at least MinRiseDb) unless
// `exempt` says why the music deliberately drops out there instead.
struct SyncPoint {
    uint16_t order;
    uint16_t row;
    const char* scene;
    const char* what;
    const char* exempt;  // null: accent required
};
constexpr double MinRiseDb = 6.0;
// Release level, as played (the player's full-volume gain included): integrated loudness within
// LoudnessToleranceLu of TargetLoudnessLufs, the true peak at or below MaxTruePeakDbtp, and no
// sample at 16-bit full scale.
constexpr double TargetLoudnessLufs = -15.0;
constexpr double LoudnessToleranceLu = 1.0;
constexpr double MaxTruePeakDbtp = -1.0;
// Every position of the show in playing order, grouped by scene.
const std::vector<SyncPoint>& syncPoints();

// Offline render of a module through the tracker player at the show's full volume, played once
// from order 0.
struct Render {
    int rate = 44100;
    std::vector<int16_t> pcm;          // interleaved stereo, 16-bit
    std::vector<int64_t> rowStart;     // first frame of (order, row) at index order*64+row, -1 = never played
    int64_t framesToEnd = -1;          // first frame of (EndOrder, EndRow), -1 = not reached
    double peak = 0;                   // largest absolute float sample before 16-bit conversion
    int longestFullScaleRun = 0;       // longest run of consecutive frames at 16-bit full scale
    double longestSilenceSeconds = 0;  // longest stretch below -60 dBFS before order EndOrder
    double loudnessLufs = -70;         // integrated loudness of the whole render
    double truePeakDbtp = -100;        // true peak of the whole render
};
bool renderModule(const mkassets::Bytes& mod, Render& out, std::string& err);

// Level in dB of the 60 ms after `frame` against the 200 ms before it (RMS of both channels);
// a silent "before" counts as -100 dBFS.
double riseDb(const Render& r, int64_t frame);
// RMS level in dBFS of [frame, frame + frames).
double levelDb(const Render& r, int64_t frame, int64_t frames);
// Integrated loudness in LUFS of the stereo PCM (K-weighted, 400 ms blocks gated at -70 LUFS
// and 10 LU below the ungated level, as loudness meters measure it); -70 for silence.
double loudnessLufs(const Render& r);
// Largest magnitude in dBTP between the samples, found by 4x oversampling (inter-sample peaks
// that a converter or an encoder's reconstruction would produce); -100 for silence.
double truePeakDbtp(const Render& r);

// The sync report as text: the positions grouped by scene with the measured rise, plus a summary.
// Returns false if a required accent falls short, a position never plays, the end is not
// reached, the level is not the release level (loudness, true peak) or a sample clips.
bool syncReport(const Render& r, std::string& text);

// Writes a 16-bit stereo WAV of the render (for listening and spectrograms).
bool writeWav(const Render& r, const std::string& path);

}  // namespace music
