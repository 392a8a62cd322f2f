// Line sets seen as segments, for those who write what a frame drew
// (scene export): the same segments, colours and mapping the renderer draws.
#pragma once

#include <cmath>

#include "model.h"

namespace vq {

// Calls f(a, b, ca, cb) for every segment of draw d, in scene coordinates.
template <class F> void forEachLineSetSegment(const Scene &s, const LineSetDraw &d, F f)
{
    if (d.set < 0 || d.set >= static_cast<int>(s.lineSets.size()))
        return;
    const LineSet &set = s.lineSets[d.set];
    auto scene = [&](long p) {
        const float *q = set.xyz + 3 * p;
        return Vec3{q[0] * d.scale[0] + d.offset[0], q[1] * d.scale[1] + d.offset[1],
                    q[2] * d.scale[2] + d.offset[2]};
    };
    auto given = [](const float *c) { return Rgb{c[0], c[1], c[2]}; };
    for (long l = 0; l < set.nlines; ++l)
        for (long p = set.first[l]; p + 1 < static_cast<long>(set.first[l + 1]); ++p) {
            Rgb ca, cb;
            if (set.colour == kColourPerLine) {
                ca = cb = given(set.rgb + 3 * l);
            } else if (set.colour == kColourPerPoint) {
                ca = given(set.rgb + 3 * p);
                cb = given(set.rgb + 3 * (p + 1));
            } else {
                const float *a = set.xyz + 3 * p, *b = a + 3;
                float dx = b[0] - a[0], dy = b[1] - a[1], dz = b[2] - a[2];
                float len = std::sqrt(dx * dx + dy * dy + dz * dz);
                ca = cb =
                    len > 0 ? Rgb{std::fabs(dx) / len, std::fabs(dy) / len, std::fabs(dz) / len} : Rgb{};
            }
            f(scene(p), scene(p + 1), ca, cb);
        }
}

} // namespace vq
