// readMorphData on arbitrary bytes: FreeSurfer curv/thickness files, new
// (magic 0xFFFFFF, floats) and old (three-byte counts, shorts).
#include <vector>

#include "fuzz_support.h"
#include "overlay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    std::vector<float> values;
    if (readMorphData(fuzz::inputFile(data, size), &values) != 0) {
        FUZZ_CHECK(values.empty());
        return 0;
    }
    // Four bytes a value in the new layout, two in the old one.
    bool fresh = size >= 3 && data[0] == 0xff && data[1] == 0xff && data[2] == 0xff;
    FUZZ_CHECK(fresh ? 15 + 4 * values.size() <= size : 6 + 2 * values.size() <= size);
    volatile float last = values.empty() ? 0.0f : values.back();
    (void)last;
    return 0;
}
