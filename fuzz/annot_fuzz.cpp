// readAnnot on arbitrary bytes: FreeSurfer annotations with colour tables
// of the old layout and of version 2.
#include <vector>

#include "fuzz_support.h"
#include "overlay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    std::vector<Colour3> colours;
    std::vector<char> known;
    if (readAnnot(fuzz::inputFile(data, size), &colours, &known) != 0)
        return 0;
    // Eight bytes a vertex, and a colour for every vertex with a label.
    FUZZ_CHECK(colours.size() == known.size());
    FUZZ_CHECK(4 + 8 * colours.size() <= size);
    for (size_t i = 0; i < colours.size(); i++)
        if (known[i])
            FUZZ_CHECK(colours[i].r >= 0 && colours[i].r <= 1 && colours[i].g >= 0 && colours[i].g <= 1 &&
                       colours[i].b >= 0 && colours[i].b <= 1);
    return 0;
}
