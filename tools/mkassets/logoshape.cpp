#include "logoshape.h"

#include <algorithm>
#include <cmath>

namespace logoshape {

namespace {

constexpr float Slant = 0.22f;  // forward lean: x moves right by this much per unit up

// Rounded square (superellipse, exponent 4) of radius r: approximate signed distance.
float squircle(float x, float y, float r) {
    const float ax = std::fabs(x), ay = std::fabs(y);
    return std::pow(ax * ax * ax * ax + ay * ay * ay * ay, 0.25f) - r;
}

// A bar of half-width t along the segment a..b.
float bar(float px, float py, float ax, float ay, float bx, float by, float t) {
    const float dx = bx - ax, dy = by - ay;
    const float h = std::clamp(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0f, 1.0f);
    const float ex = px - ax - dx * h, ey = py - ay - dy * h;
    return std::sqrt(ex * ex + ey * ey) - t;
}

constexpr float QCentre = -0.50f;

// The Q, upright: a thick rounded-square ring with a hard-cut tail into its lower right corner.
float uprightQ(float ux, float uy) {
    const float ring = std::max(squircle(ux - QCentre, uy, 0.46f), -squircle(ux - QCentre, uy, 0.22f));
    // The tail pierces the ring's lower right corner and drops below the baseline, cut flat.
    const float tail = std::max(bar(ux, uy, QCentre + 0.06f, -0.04f, QCentre + 0.58f, -0.62f, 0.09f), -(uy + 0.60f));
    return std::min(ring, tail);
}

}  // namespace

float distanceQ(float x, float y) { return uprightQ(x + QCentre - Slant * y, y); }

float distance(float x, float y, bool slits) {
    // Undo the slant so the letters are built upright.
    const float ux = x - Slant * y, uy = y;
    const float top = 0.46f;
    const float q = uprightQ(ux, uy);
    // X: two heavy strokes, cut flat at cap height and baseline.
    const float x1 = bar(ux, uy, 0.10f, -top, 0.94f, top, 0.115f);
    const float x2 = bar(ux, uy, 0.10f, top, 0.94f, -top, 0.115f);
    const float xs = std::max(std::min(x1, x2), std::fabs(uy) - top);
    float d = std::min(q, xs);
    // Two thin slits through the lower half.
    if (slits)
        for (float sy : SlitY) d = std::max(d, 0.018f - std::fabs(uy - sy));
    return d;
}

std::vector<float> coverage(int w, int h, float span, bool slits) {
    std::vector<float> out(size_t(w) * h);
    const float unit = span / float(w);  // logo units per pixel
    for (int py = 0; py < h; ++py)
        for (int px = 0; px < w; ++px) {
            int in = 0;
            for (int sy = 0; sy < 4; ++sy)
                for (int sx = 0; sx < 4; ++sx) {
                    const float x = (float(px) + (float(sx) + 0.5f) / 4.0f - float(w) * 0.5f) * unit;
                    const float y = (float(h) * 0.5f - float(py) - (float(sy) + 0.5f) / 4.0f) * unit;
                    in += distance(x, y, slits) <= 0.0f;
                }
            out[size_t(py) * w + px] = float(in) / 16.0f;
        }
    return out;
}

}  // namespace logoshape
