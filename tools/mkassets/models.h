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

}  // namespace models
