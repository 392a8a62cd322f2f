// readMghFile on arbitrary bytes: MGH headers and voxels, plain or gzip.
#include <cmath>

#include "fuzz_support.h"
#include "mgh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Compressed voxels may be 1032 times the input, all of which is read.
    if (size > (1 << 16))
        return 0;
    MghFile mgh;
    if (readMghFile(fuzz::inputFile(data, size), &mgh) != 0) {
        FUZZ_CHECK(mgh.values.empty());
        return 0;
    }
    long long n = static_cast<long long>(mgh.dims[0]) * mgh.dims[1] * mgh.dims[2];
    FUZZ_CHECK(mgh.dims[0] >= 1 && mgh.dims[1] >= 1 && mgh.dims[2] >= 1 && mgh.dims[3] >= 1);
    FUZZ_CHECK(n <= 2147483647LL && static_cast<long long>(mgh.values.size()) == n);
    bool gz = size >= 2 && data[0] == 0x1f && data[1] == 0x8b;
    // Plain voxels all come from the file.
    int bytes = mgh.type == MGH_UCHAR ? 1 : mgh.type == MGH_SHORT ? 2 : 4;
    FUZZ_CHECK(gz || kMghHeaderBytes + n * bytes <= static_cast<long long>(size));
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 4; c++)
            FUZZ_CHECK(std::isfinite(mgh.vox2ras[r][c]));
    for (float s : mgh.voxelSize)
        FUZZ_CHECK(std::isfinite(s) && s > 0);
    volatile float last = mgh.values.back();
    (void)last;
    return 0;
}
