// snoise: simplex gradient noise in one to four dimensions.
//
// Values lie roughly in [-1, 1], are continuous, and are 0 wherever every corner offset is
// zero (every integer in 1D; the origin in every dimension). Deterministic: fixed permutation.
#pragma once

float snoise1(float x);
float snoise2(float x, float y);
float snoise3(float x, float y, float z);
float snoise4(float x, float y, float z, float w);
