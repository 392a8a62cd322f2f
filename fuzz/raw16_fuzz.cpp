// loadRaw: the first byte picks the format code and how the dimensions are
// given (small bytes, or full 32-bit values to reach overflowing and
// negative products); the rest of the input is the file.
#include "fuzz_support.h"
#include "xrw.h"

// Every row of a float volume is an allocation of its own: volumes of more
// row tables and rows than this (a zero size lets a few header bytes ask
// for millions of empty rows) only repeat the same code at the allocator's
// pace, and are left to tests/volume. Larger requests that loadRaw refuses
// before allocating still go through.
constexpr long long kMaxRows = 1 << 12;
// The file's values are all read and checked; longer bodies add time, not paths.
constexpr size_t kMaxBody = 1 << 16;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > fuzz::kMaxInput || size < 1)
        return 0;
    uint8_t mode = data[0];
    // Mostly 16-bit, the format that is read; now and then the refused codes.
    int format = RAW_UINT16;
    if ((mode & 0x0f) == 0x0f)
        format = RAW_UINT8;
    else if ((mode & 0x0f) == 0x0e)
        format = static_cast<int>(fuzz::le32(data, size, 1));
    int nx, ny, nz;
    size_t header;
    if (mode & 0x80) {
        nx = static_cast<int>(fuzz::le32(data, size, 1));
        ny = static_cast<int>(fuzz::le32(data, size, 5));
        nz = static_cast<int>(fuzz::le32(data, size, 9));
        header = 13;
    } else {
        nx = size > 1 ? data[1] : 0;
        ny = size > 2 ? data[2] : 0;
        nz = size > 3 ? data[3] : 0;
        header = 4;
    }
    const uint8_t *body = size > header ? data + header : data;
    size_t bodySize = size > header ? size - header : 0;
    if (bodySize > kMaxBody)
        return 0;
    // Whether loadRaw gets as far as allocating (dimensions it accepts, a
    // file that holds them), and how many rows that makes.
    long long rows = static_cast<long long>(nx) * (ny + 1LL), plane = static_cast<long long>(nx) * ny;
    long long voxels = nx >= 0 && ny >= 0 && nz >= 0 && plane <= 2147483647LL ? plane * nz : -1;
    bool allocates = nx >= 0 && ny >= 0 && nz >= 0 && voxels >= 0 && voxels <= 2147483647LL &&
                     (voxels > 0 ? 2 * voxels <= static_cast<long long>(bodySize) : rows <= (1LL << 22));
    if (format == RAW_UINT16 && allocates && rows > kMaxRows)
        return 0;
    Xvol *v = loadRaw(fuzz::inputFile(body, bodySize), nx, ny, nz, format);
    if (!v)
        return 0;
    // Only a file that holds every value loads, and every voxel is windowed.
    FUZZ_CHECK(format == RAW_UINT16);
    FUZZ_CHECK(v->nx == nx && v->ny == ny && v->nz == nz);
    FUZZ_CHECK(nx >= 0 && ny >= 0 && nz >= 0);
    size_t n = static_cast<size_t>(nx) * ny * nz;
    FUZZ_CHECK(2 * n <= bodySize);
    for (int i = 0; i < nx; i++)
        for (int j = 0; j < ny; j++)
            for (int k = 0; k < nz; k++) {
                float f = v->data[i][j][k];
                size_t at = 2 * (i + static_cast<size_t>(nx) * j + static_cast<size_t>(nx) * ny * k);
                unsigned raw = body[at] | body[at + 1] << 8;
                float want = raw < 100 ? 0.0f : raw > 1500 ? 1500.0f : static_cast<float>(raw);
                FUZZ_CHECK(f == want);
            }
    freeXvol(v);
    return 0;
}
