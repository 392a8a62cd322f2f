// Float volumes from headerless 16-bit voxel files.
#include "volume_util.h"
#include "xrw.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Reads exactly n bytes; a regular file shorter than that is refused before
// allocating, and a stream of unknown size is read in growing chunks.
unsigned char *readRawBytes(FILE *f, long long n)
{
    struct stat st;
    bool sized = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    if (sized && st.st_size < n)
        return nullptr;
    long long cap = sized ? n : std::min(n, 1LL << 24), got = 0;
    unsigned char *buf = static_cast<unsigned char *>(malloc(std::max(cap, 1LL)));
    if (!buf)
        return nullptr;
    for (;;) {
        got += static_cast<long long>(fread(buf + got, 1, cap - got, f));
        if (got < cap || cap == n)
            break;
        long long next = std::min(n, cap * 2);
        unsigned char *grown = static_cast<unsigned char *>(realloc(buf, next));
        if (!grown)
            break;
        buf = grown;
        cap = next;
    }
    if (got != n) {
        free(buf);
        return nullptr;
    }
    return buf;
}

} // namespace

Xvol *loadRaw(const char *filename, int nx, int ny, int nz, int format)
{
    if (!filename) {
        fprintf(stderr, "No file name given to loadRaw.\n");
        return nullptr;
    }
    Xvol *xvol = newXvol();
    if (!xvol)
        return nullptr;
    if (copyVolumeName(xvol->filename, filename) < 0) {
        free(xvol);
        return nullptr;
    }
    FILE *f = fopen(filename, "rb");
    if (!f) {
        fprintf(stderr, "Failed to open %s.\n", filename);
        free(xvol);
        return nullptr;
    }
    xvol->nx = nx;
    xvol->ny = ny;
    xvol->nz = nz;
    long long n = -1;
    unsigned char *bytes = nullptr;
    if (format == RAW_UINT8)
        fprintf(stderr, "RAW_UINT8 not yet implemented!\n");
    else if (format != RAW_UINT16)
        fprintf(stderr, "Unknown RAW format.\n");
    else if ((n = countVoxels(nx, ny, nz)) >= 0 && !(bytes = readRawBytes(f, 2 * n)))
        fprintf(stderr, "failed to read correct number of data points!\n");
    fclose(f);
    if (!bytes || allocXvolData(xvol) < 0) {
        free(bytes);
        free(xvol);
        return nullptr;
    }
    const size_t planeValues = static_cast<size_t>(nx) * ny;
    for (int x = 0; x < nx; x++)
        for (int y = 0; y < ny; y++) {
            float *row = xvol->data[x][y];
            const unsigned char *p = bytes + 2 * (static_cast<size_t>(x) + static_cast<size_t>(nx) * y);
            for (int z = 0; z < nz; z++) {
                const unsigned char *q = p + 2 * planeValues * z;
                float v = static_cast<float>(q[0] | q[1] << 8);
                row[z] = v < 100.0f ? 0.0f : (v > 1500.0f ? 1500.0f : v);
            }
        }
    free(bytes);
    setUnitGreyXvol(xvol);
    return xvol;
}
