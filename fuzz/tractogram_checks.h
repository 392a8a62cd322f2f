// Shared by the tractogram fuzz targets: what a record a reader returns
// must hold, checked, then freed.
#pragma once

#include <cmath>

#include "fuzz_support.h"
#include "tractogram.h"

namespace fuzz {

// Lines inside the points in order, every point finite.
inline void checkTractogram(Tractogram *t)
{
    if (!t)
        return;
    FUZZ_CHECK(t->nlines > 0 && t->npoints >= 0);
    FUZZ_CHECK(t->first[0] == 0 && t->first[t->nlines] == static_cast<uint32_t>(t->npoints));
    for (long l = 0; l < t->nlines; ++l)
        FUZZ_CHECK(t->first[l] <= t->first[l + 1]);
    for (long i = 0; i < 3 * t->npoints; ++i)
        FUZZ_CHECK(std::isfinite(t->xyz[i]));
    freeTractogram(t);
}

} // namespace fuzz
