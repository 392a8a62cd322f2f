// loadRaw: the first byte picks the format code and how the dimensions are
// given (small bytes, or full 32-bit values to reach overflowing and
// negative products); the rest of the input is the file.
#include "fuzz_support.h"
#include "xrw.h"

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
