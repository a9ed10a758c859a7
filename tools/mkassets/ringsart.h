// Assets of the Rings scene: three nested gimbal rings, their image pack and the camera path.
//
// Every ring lies in its xy plane, centred on the origin, with a rectangular cross-section whose
// edges are chamfered. The scene turns the inner ring about x inside the middle ring, the middle
// ring about y inside the outer one, and the outer ring about x, so each ring carries pivot pins
// on the axis it turns about: the inner ring's reach out toward the middle ring along x, the
// middle ring's toward the outer ring along y, and the outer ring has axle stubs along x.
//
// Since every rotation is about an axis through the common centre, a ring's points keep their
// distances from it: the rings never touch, whatever the angles, when the farthest point of each
// ring (pins included) is nearer the centre than the nearest point of the next ring's surface.
#pragma once
#include "artlib.h"
#include "qxa.h"

namespace ringsart {

struct RingShape {
    float innerRadius, outerRadius;  // of the rectangular section, before chamfering
    float depth;                     // extent along z
    float chamfer;                   // cut off every edge of the section, at 45 degrees
    int segments;                    // facets around
    int uRepeat;                     // texture repeats around (whole, so the join has no seam)
    int pinAxis;                     // 0: pins along x, 1: along y
    float pinRadius, pinEnd;         // pin section and how far from the centre it reaches
    float knobRadius, knobStart;     // a wider cap from knobStart to pinEnd (knobRadius 0: none)
};

// Index 0 inner, 1 middle, 2 outer.
const RingShape& ringShape(int ring);
art::Mesh ringMesh(int ring);

// The texture's bands across the section (v), in the order the section is walked: inner face,
// chamfer, top face (+z), chamfer, outer face, chamfer, bottom face, chamfer.
constexpr float SectionV[9] = {0.0f, 0.10f, 0.14f, 0.46f, 0.50f, 0.60f, 0.64f, 0.96f, 1.0f};

// The camera track: keys every 1/20 s from time 0 to CameraPathSeconds, circling the rings while
// it swoops in and out between CameraMinDistance and CameraMaxDistance from the centre.
constexpr float CameraPathSeconds = 16.0f;
constexpr float CameraMinDistance = 56.0f;
constexpr float CameraMaxDistance = 96.0f;
qxa::Track cameraTrack();

}  // namespace ringsart
