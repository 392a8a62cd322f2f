// readLabelTable on arbitrary bytes: FreeSurfer-style colour tables of
// `index name r g b a` lines, then the labels of a few voxels through it.
#include <vector>

#include "fuzz_support.h"
#include "labels.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput)
        return 0;
    std::vector<LabelColour> table;
    if (readLabelTable(fuzz::inputFile(data, size), &table) != 0)
        return 0;
    // A row takes at least `i n r g b a` and a line end.
    FUZZ_CHECK(!table.empty() && table.size() * 12 <= size + 1);
    for (size_t i = 1; i < table.size(); i++)
        FUZZ_CHECK(table[i - 1].label < table[i].label);
    // The table's own labels, and 0, as voxels: all found, bytes ascending.
    std::vector<short> voxels;
    for (size_t i = 0; i < table.size() && voxels.size() < 300; i++)
        if (table[i].label <= 32767)
            voxels.push_back(static_cast<short>(table[i].label));
    voxels.push_back(0);
    std::vector<unsigned char> out(voxels.size());
    unsigned char colours[256][3];
    int n = labelVolumeBytes("fuzz", "fuzz", nullptr, voxels.data(), nullptr, voxels.size(), table,
                             out.data(), colours);
    FUZZ_CHECK(n <= 255);
    for (size_t i = 0; n >= 0 && i < voxels.size(); i++)
        FUZZ_CHECK((voxels[i] == 0) == (out[i] == 0) && out[i] <= n);
    return 0;
}
