// Model builders of the 3D scenes; the "models" generator writes them as srcdata/*.qx3.
// Exposed so that tests can check the meshes without going through files.
#pragma once
#include "artlib.h"

namespace models {

// Radius onto which the Spike scene pushes every vertex direction before its kick.
constexpr float SpikeSphereRadius = 13.435f;

art::Mesh torus();
art::Mesh spike();
art::Mesh knot();
art::Mesh tendril();
art::Mesh skull();

// The skull's signed distance field in its own units (face toward -z, y up, about 2.3 tall);
// `detail` adds the fine bone relief. The texture is one front projection of the skull:
// u = 0.5 + x / SkullTexWidth, v = 0.5 - y / SkullTexHeight.
float skullField(art::V3 p, bool detail);
constexpr float SkullTexWidth = 2.2f;
constexpr float SkullTexHeight = 2.6f;
void skullTexCoord(art::V3 p, float& u, float& v);

}  // namespace models
