// loadTck on arbitrary content (a MRtrix .tck): a record it returns must hold
// what it claims, every point finite and every line inside the points.
#include "tractogram_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    fuzz::checkTractogram(loadTck(fuzz::inputFile(data, size)));
    return 0;
}
