// qxa: the animation writer of the scene generators.
//
// A .qxa file is a list of named tracks of timed position keys (layout in src/anim.h). The
// generators describe camera and look-at paths by a few timed control points and sample them
// into keys at a fixed time step with a Catmull-Rom spline, so the motion is smooth (continuous
// velocity) while playback interpolates linearly between keys.
#pragma once
#include "artlib.h"
#include "mkassets.h"

#include <string>
#include <vector>

namespace qxa {

struct Key {
    art::V3 p;
    float time = 0;
};

struct Track {
    std::string name;  // at most 31 bytes: the file keeps 32 with the NUL
    std::vector<Key> keys;
};

// Empty when the tracks can be written; otherwise the first problem as one line (a name too long
// or empty, a key time before its predecessor's, a number that is not finite).
std::string check(const std::vector<Track>& tracks);
// The file's bytes. Tracks must pass check().
mkassets::Bytes build(const std::vector<Track>& tracks);
// check(), build() and writeFile(); on a problem prints "mkassets: <name>: <problem>" and
// returns false.
bool write(const std::string& outdir, const std::string& name, const std::vector<Track>& tracks);

// Samples the spline through the control points (times strictly increasing) into keys every
// `step` seconds from the first control time; the last key lies exactly on the last control
// point (a shorter final step). The curve passes through every control point at its time;
// tangents are the time-weighted central differences of the neighbours. `closed`: the path is a
// loop whose last control point should equal the first, and the tangents wrap across the join so
// the velocity is continuous there too; an open path uses one-sided tangents at its ends.
std::vector<Key> sampleSpline(const std::vector<Key>& controls, float step, bool closed);

}  // namespace qxa
