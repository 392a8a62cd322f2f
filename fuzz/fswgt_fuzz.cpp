// loadObjWgtFromFS on arbitrary text.
#include <cmath>

#include "fuzz_support.h"
#include "obj.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    ObjWgt *w = loadObjWgtFromFS(fuzz::inputFile(data, size));
    if (!w)
        return 0;
    FUZZ_CHECK(w->nverts >= 0);
    FUZZ_CHECK(w->nverts == 0 || (w->vert && w->wgt));
    // The bounds are those of the weights read (NaN weights never count).
    float lo = INFINITY, hi = -INFINITY;
    for (int i = 0; i < w->nverts; i++) {
        volatile int v = w->vert[i];
        (void)v;
        if (w->wgt[i] < lo)
            lo = w->wgt[i];
        if (w->wgt[i] > hi)
            hi = w->wgt[i];
    }
    FUZZ_CHECK(lo == w->wmin && hi == w->wmax);
    freeObjWgt(w);
    return 0;
}
