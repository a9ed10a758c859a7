#include "qxa.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

using art::V3;

namespace qxa {

static bool finite(const V3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

std::string check(const std::vector<Track>& tracks) {
    char line[160];
    for (size_t i = 0; i < tracks.size(); i++) {
        const Track& t = tracks[i];
        if (t.name.empty() || t.name.size() > 31 || t.name.find('\0') != std::string::npos) {
            std::snprintf(line, sizeof(line), "track %zu name '%s' must be 1 to 31 bytes", i, t.name.c_str());
            return line;
        }
        for (size_t k = 0; k < t.keys.size(); k++) {
            if (!finite(t.keys[k].p) || !std::isfinite(t.keys[k].time)) {
                std::snprintf(line, sizeof(line), "track '%s' key %zu is not finite", t.name.c_str(), k);
                return line;
            }
            if (k > 0 && t.keys[k].time < t.keys[k - 1].time) {
                std::snprintf(line, sizeof(line), "track '%s' key %zu at %g comes before key %zu at %g",
                              t.name.c_str(), k, (double)t.keys[k].time, k - 1, (double)t.keys[k - 1].time);
                return line;
            }
        }
    }
    return {};
}

mkassets::Bytes build(const std::vector<Track>& tracks) {
    mkassets::Bytes b;
    mkassets::putU32(b, uint32_t(tracks.size()));
    for (const Track& t : tracks) {
        char name[32] = {};
        std::memcpy(name, t.name.data(), std::min<size_t>(t.name.size(), 31));
        mkassets::putBytes(b, name, sizeof(name));
        mkassets::putU32(b, uint32_t(t.keys.size()));
        for (const Key& k : t.keys) {
            mkassets::putF32(b, k.p.x);
            mkassets::putF32(b, k.p.y);
            mkassets::putF32(b, k.p.z);
            mkassets::putF32(b, k.time);
        }
    }
    return b;
}

bool write(const std::string& outdir, const std::string& name, const std::vector<Track>& tracks) {
    const std::string problem = check(tracks);
    if (!problem.empty()) {
        std::printf("mkassets: %s: %s\n", name.c_str(), problem.c_str());
        return false;
    }
    return mkassets::writeFile(outdir, name, build(tracks));
}

// Cubic Hermite segment from p0 to p1 over a time span h, tangents m0, m1 in units per second.
static V3 hermite(V3 p0, V3 m0, V3 p1, V3 m1, float h, float s) {
    const float s2 = s * s, s3 = s2 * s;
    return p0 * (2 * s3 - 3 * s2 + 1) + m0 * (h * (s3 - 2 * s2 + s)) + p1 * (-2 * s3 + 3 * s2) + m1 * (h * (s3 - s2));
}

std::vector<Key> sampleSpline(const std::vector<Key>& c, float step, bool closed) {
    const size_t n = c.size();
    if (n < 2 || !(step > 0)) return c;
    const float period = c[n - 1].time - c[0].time;
    // Tangent at control i: central difference, wrapping across the join of a loop.
    auto tangent = [&](size_t i) -> V3 {
        if (closed && (i == 0 || i == n - 1)) {
            const Key& prev = c[n - 2];
            const Key& next = c[1];
            return (next.p - prev.p) * (1.0f / (next.time - prev.time + period));
        }
        const Key& prev = c[i == 0 ? 0 : i - 1];
        const Key& next = c[i == n - 1 ? n - 1 : i + 1];
        return (next.p - prev.p) * (1.0f / (next.time - prev.time));
    };
    std::vector<Key> keys;
    size_t seg = 0;
    for (int i = 0;; i++) {
        const float t = c[0].time + step * float(i);
        if (t >= c[n - 1].time - step * 0.25f) break;  // no sliver segment before the end key
        while (seg + 2 < n && t >= c[seg + 1].time) seg++;
        const float h = c[seg + 1].time - c[seg].time;
        const float s = (t - c[seg].time) / h;
        keys.push_back(Key{hermite(c[seg].p, tangent(seg), c[seg + 1].p, tangent(seg + 1), h, s), t});
    }
    keys.push_back(c[n - 1]);
    return keys;
}

}  // namespace qxa
