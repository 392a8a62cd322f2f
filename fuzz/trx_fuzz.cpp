// loadTrx on arbitrary content (a TRX archive): a record it returns must hold
// what it claims, every point finite and every line inside the points.
#include <cmath>

#include "fuzz_support.h"
#include "tractogram.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    const char *name = fuzz::inputFile(data, size);
    Tractogram *t = loadTrx(name);
    if (t) {
        FUZZ_CHECK(t->nlines > 0 && t->npoints >= 0);
        FUZZ_CHECK(t->first[0] == 0 && t->first[t->nlines] == static_cast<uint32_t>(t->npoints));
        for (long l = 0; l < t->nlines; ++l)
            FUZZ_CHECK(t->first[l] <= t->first[l + 1]);
        for (long i = 0; i < 3 * t->npoints; ++i)
            FUZZ_CHECK(std::isfinite(t->xyz[i]));
        freeTractogram(t);
    }
    return 0;
}
