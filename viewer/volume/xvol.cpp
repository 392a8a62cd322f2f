// Float volumes: conversion from and to byte volumes, statistics,
// normalisation and release.
#include "two_cores.h"
#include "volume_util.h"
#include "xrw.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include <sys/mman.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// The statistics and resampling sums are separate single-precision operations
// in a fixed order; a fused multiply-add would change their last bits.
#ifdef __clang__
#pragma clang fp contract(off)
#endif

long long countVoxels(int nx, int ny, int nz)
{
    if (nx < 0 || ny < 0 || nz < 0) {
        fprintf(stderr, "Invalid volume dimensions %d x %d x %d.\n", nx, ny, nz);
        return -1;
    }
    long long n = static_cast<long long>(nx) * ny;
    if (n > INT_MAX || (n *= nz) > INT_MAX) {
        fprintf(stderr, "Volume dimensions %d x %d x %d exceed %d voxels.\n", nx, ny, nz, INT_MAX);
        return -1;
    }
    // A volume without voxels still needs a row table for every plane and a
    // float row for every (i, j): with a zero dimension a header of a few
    // bytes could ask for billions of allocations.
    const long long MAX_EMPTY_TABLES = 1LL << 22;
    long long tables = static_cast<long long>(nx) * (ny + 1LL);
    if (n == 0 && tables > MAX_EMPTY_TABLES) {
        fprintf(stderr, "Volume of %d x %d x %d holds no voxels but would need %lld rows.\n", nx, ny, nz,
                tables);
        return -1;
    }
    return n;
}

Xvol *newXvol()
{
    Xvol *xvol = static_cast<Xvol *>(calloc(1, sizeof(Xvol)));
    if (!xvol)
        fprintf(stderr, "Failed to create parsed volume container.\n");
    return xvol;
}

int copyVolumeName(char *field, const char *path)
{
    size_t len = strlen(path);
    if (len >= XRW_NAME_LEN) {
        fprintf(stderr, "File name of %zu characters is too long (at most %d).\n", len, XRW_NAME_LEN - 1);
        return -1;
    }
    memcpy(field, path, len + 1);
    return 0;
}

void setUnitGreyXvol(Xvol *xvol)
{
    xvol->dx = xvol->dy = xvol->dz = 1.0f;
    for (int i = 0; i < 256; i++)
        xvol->cmap_r[i] = xvol->cmap_g[i] = xvol->cmap_b[i] = static_cast<float>(i) / 255.0f;
}

namespace {

// Large volumes get all their rows carved from one mapping that is populated
// up front: faulting the pages in one at a time costs more than filling them.
// No huge pages are asked for: where memory is fragmented the kernel then
// compacts it at every fault, which took up to a second for 512 MB. The
// plane and row tables stay separate allocations; freeXvol finds such
// volumes here by their plane table.
const size_t ARENA_MIN_BYTES = 1 << 20;
const size_t HUGE_PAGE = 2 << 20;

struct RowArena {
    float ***data;
    void *base;
    size_t bytes;
};

std::vector<RowArena> rowArenas;

// Rows of `bytes` bytes at a huge-page boundary inside a mapping of `*mapped`
// bytes at `*base`; null when nothing can be mapped.
float *mapRowArena(size_t bytes, void **base, size_t *mapped, bool populate)
{
    *mapped = bytes + HUGE_PAGE;
    void *p = mmap(nullptr, *mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return nullptr;
    *base = p;
    char *rows = reinterpret_cast<char *>((reinterpret_cast<uintptr_t>(p) + HUGE_PAGE - 1) &
                                          ~static_cast<uintptr_t>(HUGE_PAGE - 1));
#ifdef MADV_POPULATE_WRITE
    // Filling the pages is the kernel zeroing them: two halves on two cores.
    if (!populate)
        ;
    else if (bytes >= (size_t(64) << 20)) {
        size_t half = (bytes / 2) & ~(HUGE_PAGE - 1);
        std::thread other([=] { madvise(rows + half, bytes - half, MADV_POPULATE_WRITE); });
        madvise(rows, half, MADV_POPULATE_WRITE);
        other.join();
    } else {
        madvise(rows, bytes, MADV_POPULATE_WRITE);
    }
#endif
    return reinterpret_cast<float *>(rows);
}

// Releases the first `planes` planes (each with its first `rows` rows, unless
// they live in an arena) and the plane table, leaving the record itself.
void releaseXvolData(float ***data, int planes, int rows)
{
    if (!data)
        return;
    auto arena =
        std::find_if(rowArenas.begin(), rowArenas.end(), [&](const RowArena &a) { return a.data == data; });
    bool inArena = arena != rowArenas.end();
    for (int i = 0; i < planes; i++) {
        if (!data[i])
            continue;
        for (int j = 0; j < rows && !inArena; j++)
            free(data[i][j]);
        free(data[i]);
    }
    free(data);
    if (inArena) {
        munmap(arena->base, arena->bytes);
        rowArenas.erase(arena);
    }
}

} // namespace

namespace {

// Rows a caller fills are populated up front; others read as zero (an
// untouched arena, or cleared rows).
int allocXvolRows(Xvol *xvol, bool filled)
{
    int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    if (countVoxels(nx, ny, nz) < 0)
        return -1;
    // Empty axes still get a (one-byte) table, so an empty volume has data.
    float ***data = static_cast<float ***>(malloc(std::max(nx, 1) * sizeof(float **)));
    if (!data) {
        fprintf(stderr, "Failed to allocate float volume.\n");
        return -1;
    }
    size_t arenaBytes = static_cast<size_t>(nx) * ny * nz * sizeof(float), mapped = 0;
    void *base = nullptr;
    float *arena = arenaBytes >= ARENA_MIN_BYTES ? mapRowArena(arenaBytes, &base, &mapped, filled) : nullptr;
    if (arena)
        rowArenas.push_back({data, base, mapped});
    for (int i = 0; i < nx; i++) {
        data[i] = static_cast<float **>(malloc(std::max(ny, 1) * sizeof(float *)));
        if (!data[i]) {
            fprintf(stderr, "Failed to allocate row in float volume.\n");
            releaseXvolData(data, i, ny);
            return -1;
        }
        for (int j = 0; j < ny; j++) {
            data[i][j] = arena ? arena + (static_cast<size_t>(i) * ny + j) * nz
                         : filled ? static_cast<float *>(malloc(std::max(nz, 1) * sizeof(float)))
                                  : static_cast<float *>(calloc(std::max(nz, 1), sizeof(float)));
            if (!data[i][j]) {
                fprintf(stderr, "Failed to allocate column in float volume.\n");
                for (int r = 0; r < j; r++)
                    free(data[i][r]);
                free(data[i]);
                releaseXvolData(data, i, ny);
                return -1;
            }
        }
    }
    xvol->data = data;
    return 0;
}

} // namespace

int allocXvolData(Xvol *xvol)
{
    return allocXvolRows(xvol, true);
}

void freeXvol(Xvol *xvol)
{
    if (!xvol)
        return;
    releaseXvolData(xvol->data, xvol->nx, xvol->ny);
    free(xvol);
}

namespace {

// Width in bytes of the tile of x-columns gathered for the stride-1 copy.
const int TILE_X = 64;

// Writes tile column `column` (rows t from 0 to n-1, TILE_X bytes apart) to
// row[0..n) reversed, through the table of b/255.
void writeReversedColumn(float *row, const unsigned char *column, int n, const float *lut)
{
    for (int t = 0; t < n; t++)
        row[n - 1 - t] = lut[column[static_cast<size_t>(t) * TILE_X]];
}

#ifdef __SSE2__
// Transposes 16 x 16 bytes: afterwards v[c] holds what was column c. Four
// rounds of interleaving rows i and i+8 rotate the row and column bits.
inline void transpose16(__m128i v[16])
{
    for (int round = 0; round < 4; round++) {
        __m128i out[16];
        for (int i = 0; i < 8; i++) {
            out[2 * i] = _mm_unpacklo_epi8(v[i], v[i + 8]);
            out[2 * i + 1] = _mm_unpackhi_epi8(v[i], v[i + 8]);
        }
        for (int i = 0; i < 16; i++)
            v[i] = out[i];
    }
}

inline __m128 reverse4(__m128 v)
{
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
}

// Stores 16 bytes (z ascending) as floats b/255 at dst[15] down to dst[0]. A
// single-precision b/255.0f equals b/255.0 rounded to single precision for
// every byte, so the division gives the table's values. Aligned stores go
// straight to memory: the rows are not read back soon.
inline void storeReversed16(float *dst, __m128i bytes)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128 d = _mm_set1_ps(255.0f);
    __m128i lo = _mm_unpacklo_epi8(bytes, zero), hi = _mm_unpackhi_epi8(bytes, zero);
    __m128 f[4] = {
        _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)), _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero)),
        _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero)), _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero))};
    bool aligned = ((uintptr_t)dst & 15) == 0;
    for (int q = 0; q < 4; q++) {
        __m128 v = reverse4(_mm_div_ps(f[3 - q], d));
        if (aligned)
            _mm_stream_ps(dst + 4 * q, v);
        else
            _mm_storeu_ps(dst + 4 * q, v);
    }
}
#endif

// Stride 1: a straight copy of b/255. For each y, a tile of 64 x-columns is
// first gathered for all z (one cache line of bytes per z), then every row is
// written whole, 16 x 16 blocks transposed at a time, so both the byte volume
// (x fastest) and the rows (z fastest) are walked along their cache lines.
void copyBytesToXvol(const Xraw *xraw, Xvol *xvol)
{
    float lut[256];
    for (int b = 0; b < 256; b++)
        lut[b] = static_cast<float>(b / 255.0);

    const int TILE_Z = 1024;
    const int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    const size_t planeBytes = static_cast<size_t>(xraw->nx) * xraw->ny;
    // Rows j0..j1-1 of every plane: each j writes its own output rows, so
    // large volumes take two halves of j on the two cores.
    auto copyRows = [&](int j0, int j1, int) {
        std::vector<unsigned char> tileStore(static_cast<size_t>(TILE_X) * TILE_Z);
        unsigned char(*tile)[TILE_X] = reinterpret_cast<unsigned char(*)[TILE_X]>(tileStore.data());
        for (int j = j0; j < j1; j++) {
            for (int k0 = 0; k0 < nz; k0 += TILE_Z) {
                int kn = std::min(TILE_Z, nz - k0);
                for (int i0 = 0; i0 < nx; i0 += TILE_X) {
                    int in = std::min(TILE_X, nx - i0);
                    const unsigned char *src =
                        xraw->data + i0 + static_cast<size_t>(xraw->nx) * j + planeBytes * k0;
                    for (int k = 0; k < kn; k++)
                        memcpy(tile[k], src + planeBytes * k, in);
                    // Row i of this tile, shifted so that rows[i][p] is output
                    // position p of tile row kn-1-p.
                    float *rows[TILE_X];
                    for (int i = 0; i < in; i++)
                        rows[i] = xvol->data[i0 + i][ny - 1 - j] + (nz - kn - k0);
                    int i = 0;
#ifdef __SSE2__
                    for (; i + 16 <= in; i += 16) {
                        int t = 0;
                        for (; t + 16 <= kn; t += 16) {
                            __m128i v[16];
                            for (int r = 0; r < 16; r++)
                                v[r] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(&tile[t + r][i]));
                            transpose16(v);
                            for (int c = 0; c < 16; c++)
                                storeReversed16(rows[i + c] + (kn - 16 - t), v[c]);
                        }
                        for (int c = 0; c < 16; c++)
                            writeReversedColumn(rows[i + c], &tile[t][i + c], kn - t, lut);
                    }
#endif
                    for (; i < in; i++)
                        writeReversedColumn(rows[i], &tile[0][i], kn, lut);
                }
            }
        }
#ifdef __SSE2__
        _mm_sfence();
#endif
    };
    vq::runOnTwoCores(static_cast<size_t>(nx) * ny * nz >= (size_t(1) << 22), ny, ny / 2, copyRows);
}

// Strides above 1: the box mean, summed in a fixed order in single precision.
void averageBytesToXvol(const Xraw *xraw, Xvol *xvol, const int *stride)
{
    double lut[256];
    for (int b = 0; b < 256; b++)
        lut[b] = b / 255.0;

    const int sx = stride[0], sy = stride[1], sz = stride[2];
    const int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    const size_t rowBytes = xraw->nx, planeBytes = static_cast<size_t>(xraw->nx) * xraw->ny;
    const float count = static_cast<float>(static_cast<long long>(sx) * sy * sz);
    for (int i = 0; i < nx; i++) {
        for (int j = 0; j < ny; j++) {
            float *row = xvol->data[i][ny - 1 - j];
            for (int k = 0; k < nz; k++) {
                const unsigned char *corner = xraw->data + static_cast<size_t>(sx) * i +
                                              rowBytes * (static_cast<size_t>(sy) * j) +
                                              planeBytes * (static_cast<size_t>(sz) * k);
                float sum = 0.0f;
                for (int a = 0; a < sx; a++)
                    for (int b = 0; b < sy; b++) {
                        const unsigned char *p = corner + a + rowBytes * b;
                        for (int c = 0; c < sz; c++)
                            sum = static_cast<float>(static_cast<double>(sum) + lut[p[planeBytes * c]]);
                    }
                row[nz - 1 - k] = sum / count;
            }
        }
    }
}

} // namespace

namespace {

// The record of xraw averaged over stride, its rows allocated (populated for
// filling, or left to read as zero) and its colour table set; null after
// one line on stderr.
Xvol *shapeXvol(const Xraw *xraw, const int *stride, bool filled)
{
    if (!xraw || !xraw->data) {
        fprintf(stderr, "Invalid data given to parseXraw.\n");
        return nullptr;
    }
    if (!stride || stride[0] < 1 || stride[1] < 1 || stride[2] < 1) {
        fprintf(stderr, "Invalid averaging stride given to parseXraw.\n");
        return nullptr;
    }
    if (countVoxels(xraw->nx, xraw->ny, xraw->nz) < 0)
        return nullptr;
    Xvol *xvol = newXvol();
    if (!xvol)
        return nullptr;
    memcpy(xvol->filename, xraw->filename, XRW_NAME_LEN);
    xvol->filename[XRW_NAME_LEN - 1] = '\0';
    xvol->nx = xraw->nx / stride[0];
    xvol->ny = xraw->ny / stride[1];
    xvol->nz = xraw->nz / stride[2];
    xvol->dx = static_cast<float>(stride[0]) * xraw->dx;
    xvol->dy = static_cast<float>(stride[1]) * xraw->dy;
    xvol->dz = static_cast<float>(stride[2]) * xraw->dz;
    if (allocXvolRows(xvol, filled) < 0) {
        free(xvol);
        return nullptr;
    }
    for (int c = 0; c < 256; c++) {
        xvol->cmap_r[c] = static_cast<float>(xraw->cmap_r[c]) / 255.0f;
        xvol->cmap_g[c] = static_cast<float>(xraw->cmap_g[c]) / 255.0f;
        xvol->cmap_b[c] = static_cast<float>(xraw->cmap_b[c]) / 255.0f;
    }
    return xvol;
}

} // namespace

Xvol *Xraw2Xvol(const Xraw *xraw, const int *stride)
{
    Xvol *xvol = shapeXvol(xraw, stride, true);
    // A volume without voxels has nothing to fill (its loops could still
    // run through hundreds of millions of empty rows).
    if (!xvol || static_cast<long long>(xvol->nx) * xvol->ny * xvol->nz == 0)
        ;
    else if (stride[0] == 1 && stride[1] == 1 && stride[2] == 1)
        copyBytesToXvol(xraw, xvol);
    else
        averageBytesToXvol(xraw, xvol, stride);
    return xvol;
}

Xvol *Xraw2XvolUnfilled(const Xraw *xraw)
{
    const int one[3] = {1, 1, 1};
    return shapeXvol(xraw, one, false);
}

void fillXvolFromBytes(const Xraw *xraw, Xvol *xvol)
{
    if (xraw && xraw->data && xvol && xvol->nx == xraw->nx && xvol->ny == xraw->ny && xvol->nz == xraw->nz &&
        static_cast<long long>(xvol->nx) * xvol->ny * xvol->nz > 0)
        copyBytesToXvol(xraw, xvol);
}

namespace {

// One voxel's share of the statistics, in their fixed order and precision.
inline void addToStats(float v, float &sum, float &sumSq, float &mn, float &mx)
{
    sum += v;
    float sq = v * v;
    sumSq += sq;
    mn = v < mn ? v : mn;
    mx = v > mx ? v : mx;
}

// One row of floats into the running sums and extremes. A run of zeros (of
// either sign) changes neither sum, which is never -0, and only its first
// member can change min or max; so of eight zeros only the first is
// visited.
inline void addRowToStats(const float *row, int nz, float &sum, float &sumSq, float &mn, float &mx)
{
    int k = 0;
    for (; k + 8 <= nz; k += 8) {
        uint32_t bits = 0;
        for (int t = 0; t < 8; t++) {
            uint32_t w;
            memcpy(&w, row + k + t, 4);
            bits |= w;
        }
        if ((bits & 0x7fffffffu) == 0) {
            addToStats(row[k], sum, sumSq, mn, mx);
            continue;
        }
        for (int t = 0; t < 8; t++)
            addToStats(row[k + t], sum, sumSq, mn, mx);
    }
    for (; k < nz; k++)
        addToStats(row[k], sum, sumSq, mn, mx);
}

// The same for the row whose k-th float is lut[bytes[nz - 1 - k]] (a zero
// byte being +0): the bytes run the other way.
inline void addReversedBytesToStats(const unsigned char *bytes, int nz, const float *lut, float &sum,
                                    float &sumSq, float &mn, float &mx)
{
    int k = 0;
    for (; k + 8 <= nz; k += 8) {
        const unsigned char *group = bytes + (nz - 8 - k); // k + 7 down to k
        uint64_t bits;
        memcpy(&bits, group, 8);
        if (bits == 0) {
            addToStats(0.0f, sum, sumSq, mn, mx);
            continue;
        }
        for (int t = 7; t >= 0; t--)
            addToStats(lut[group[t]], sum, sumSq, mn, mx);
    }
    for (; k < nz; k++)
        addToStats(lut[bytes[nz - 1 - k]], sum, sumSq, mn, mx);
}

// Rows of the gathered columns, one after another; the sums stay in
// registers here.
__attribute__((noinline)) void addGatheredToStats(const unsigned char *rows, int count, int nz, const float *lut, float &sumOut,
                        float &sumSqOut, float &mnOut, float &mxOut)
{
    float sum = sumOut, sumSq = sumSqOut, mn = mnOut, mx = mxOut;
    for (int r = 0; r < count; r++)
        addReversedBytesToStats(rows + static_cast<size_t>(r) * nz, nz, lut, sum, sumSq, mn, mx);
    sumOut = sum;
    sumSqOut = sumSq;
    mnOut = mn;
    mxOut = mx;
}

void finishStats(long long count, float sum, float sumSq, float mn, float mx, float stats[4])
{
    float n = static_cast<float>(count);
    float mean = sum / n;
    float meanSq = mean * mean;
    float var = sumSq / n - meanSq;
    stats[0] = mn;
    stats[1] = mean;
    stats[2] = sqrtf(var);
    stats[3] = mx;
}

// Bytes at x = x0 .. x0+n-1 (n at most 64), y = y0 .. y1-1, every z, into
// out: for each x a plane of rows (ny-1-y) of nz bytes, z ascending, rows
// apart. 16 x 16 blocks are transposed at a time.
void gatherColumns(const Xraw *xraw, int x0, int n, int y0, int y1, unsigned char *out, size_t rows)
{
    const int nx = xraw->nx, ny = xraw->ny, nz = xraw->nz;
    const size_t plane = static_cast<size_t>(nx) * ny;
    for (int y = y0; y < y1; y++) {
        const unsigned char *src = xraw->data + x0 + static_cast<size_t>(nx) * y;
        const size_t at = static_cast<size_t>(ny - 1 - y) * nz;
        int z0 = 0;
#ifdef __SSE2__
        for (; z0 + 16 <= nz; z0 += 16) {
            int d = 0;
            for (; d + 16 <= n; d += 16) {
                __m128i v[16];
                for (int r = 0; r < 16; r++)
                    v[r] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + d + plane * (z0 + r)));
                transpose16(v);
                for (int c = 0; c < 16; c++)
                    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + rows * (d + c) + at + z0), v[c]);
            }
            for (; d < n; d++)
                for (int r = 0; r < 16; r++)
                    out[rows * d + at + z0 + r] = src[d + plane * (z0 + r)];
        }
#endif
        for (; z0 < nz; z0++)
            for (int d = 0; d < n; d++)
                out[rows * d + at + z0] = src[d + plane * z0];
    }
}

} // namespace

int statsXvol(const Xvol *xvol, float stats[4])
{
    const int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    if (!xvol->data || nx <= 0 || ny <= 0 || nz <= 0)
        return -1;
    float mn = xvol->data[0][0][0], mx = mn, sum = 0.0f, sumSq = 0.0f;
    for (int i = 0; i < nx; i++) {
        float *const *plane = xvol->data[i];
        for (int j = 0; j < ny; j++)
            addRowToStats(plane[j], nz, sum, sumSq, mn, mx);
    }
    finishStats(static_cast<long long>(nx) * ny * nz, sum, sumSq, mn, mx, stats);
    return 0;
}

int statsXrawVoxels(const Xraw *xraw, float stats[4])
{
    const int nx = xraw->nx, ny = xraw->ny, nz = xraw->nz;
    if (!xraw->data || nx <= 0 || ny <= 0 || nz <= 0)
        return -1;
    float lut[256];
    for (int b = 0; b < 256; b++)
        lut[b] = static_cast<float>(b / 255.0);
    // Row (i, j) of the floats is the bytes at x = i, y = ny-1-j, z from
    // nz-1 down. The columns of a run of x are gathered on both cores, then
    // taken in order.
    const size_t plane = static_cast<size_t>(nx) * ny, rows = static_cast<size_t>(ny) * nz;
    const int run = static_cast<int>(std::max<size_t>(1, std::min<size_t>(64, (size_t(64) << 20) / rows)));
    std::vector<unsigned char> gathered(static_cast<size_t>(run) * rows);
    float mn = lut[xraw->data[plane * (nz - 1) + static_cast<size_t>(nx) * (ny - 1)]], mx = mn;
    float sum = 0.0f, sumSq = 0.0f;
    for (int i0 = 0; i0 < nx; i0 += run) {
        const int n = std::min(run, nx - i0);
        vq::runOnTwoCores(static_cast<size_t>(n) * rows >= (size_t(1) << 20), ny, ny / 2,
                          [&](int y0, int y1, int) { gatherColumns(xraw, i0, n, y0, y1, gathered.data(), rows); });
        addGatheredToStats(gathered.data(), n * ny, nz, lut, sum, sumSq, mn, mx);
    }
    finishStats(static_cast<long long>(nx) * ny * nz, sum, sumSq, mn, mx, stats);
    return 0;
}

void showXvolStats(const Xvol *xvol, const float *st)
{
    printf("Parsed data (from '%.*s'):\n", XRW_NAME_LEN - 1, xvol->filename);
    printf("volume dimensions: %6d %6d %6d\n", xvol->nx, xvol->ny, xvol->nz);
    printf("      voxel sizes: %6.3f %6.3f %6.3f\n", xvol->dx, xvol->dy, xvol->dz);
    printf("total volume size: %6.1f %6.1f %6.1f\n", static_cast<float>(xvol->nx) * xvol->dx,
           static_cast<float>(xvol->ny) * xvol->dy, static_cast<float>(xvol->nz) * xvol->dz);
    if (!st)
        printf("    min, mean(stddev), max: no voxels\n");
    else
        printf("    min, mean(stddev), max: %6.4f %6.4f(%6.4f) %6.4f\n", st[0], st[1], st[2], st[3]);
}

void showXvol(const Xvol *xvol)
{
    float st[4];
    showXvolStats(xvol, statsXvol(xvol, st) < 0 ? nullptr : st);
}

namespace {

// A voxel as a byte: below 0 is 0, above 255.999 (after scaling by 256) is 255.
unsigned char quantiseVoxel(float v)
{
    float w = v * 256.0f;
    if (std::isnan(w) || w < 0.0f)
        return 0;
    if (static_cast<double>(w) > 255.999)
        return 255;
    return static_cast<unsigned char>(static_cast<int>(floorf(w)));
}

// A colour entry keeps the low 8 bits of floor(c * 255.999), unclamped; values
// too large for an int (or not finite) are taken modulo 256 (or as 0) rather
// than converted out of range.
unsigned char quantiseColour(float c)
{
    float scaled = static_cast<float>(static_cast<double>(c) * 255.999);
    if (!std::isfinite(scaled))
        return 0;
    double f = fmod(static_cast<double>(floorf(scaled)), 256.0);
    if (f < 0)
        f += 256.0;
    return static_cast<unsigned char>(static_cast<int>(f));
}

} // namespace

Xraw *Xvol2Xraw(const Xvol *xvol)
{
    if (!xvol || !xvol->data) {
        fprintf(stderr, "Invalid data given to parseXraw.\n");
        return nullptr;
    }
    long long n = countVoxels(xvol->nx, xvol->ny, xvol->nz);
    if (n < 0)
        return nullptr;
    Xraw *xraw = static_cast<Xraw *>(calloc(1, sizeof(Xraw)));
    if (!xraw) {
        fprintf(stderr, "Failed to create parsed volume container.\n");
        return nullptr;
    }
    memcpy(xraw->filename, xvol->filename, XRW_NAME_LEN);
    xraw->filename[XRW_NAME_LEN - 1] = '\0';
    xraw->nx = xvol->nx;
    xraw->ny = xvol->ny;
    xraw->nz = xvol->nz;
    xraw->dx = xvol->dx;
    xraw->dy = xvol->dy;
    xraw->dz = xvol->dz;
    xraw->data = static_cast<unsigned char *>(malloc(std::max(n, 1LL)));
    if (!xraw->data) {
        fprintf(stderr, "Failed to allocate unsigned char volume.\n");
        free(xraw);
        return nullptr;
    }
    const int nx = xraw->nx, ny = xraw->ny, nz = xraw->nz;
    const size_t planeBytes = static_cast<size_t>(nx) * ny;
    for (int i = 0; i < nx; i++)
        for (int j = 0; j < ny; j++) {
            const float *row = xvol->data[i][ny - 1 - j];
            unsigned char *dst = xraw->data + i + static_cast<size_t>(nx) * j;
            for (int k = 0; k < nz; k++)
                dst[planeBytes * k] = quantiseVoxel(row[nz - 1 - k]);
        }
    for (int c = 0; c < 256; c++) {
        xraw->cmap_r[c] = quantiseColour(xvol->cmap_r[c]);
        xraw->cmap_g[c] = quantiseColour(xvol->cmap_g[c]);
        xraw->cmap_b[c] = quantiseColour(xvol->cmap_b[c]);
    }
    return xraw;
}

void normaliseXvol(Xvol *xvol)
{
    if (!xvol || !xvol->data || xvol->nx <= 0)
        return;
    float mn = INFINITY, mx = -INFINITY;
    for (int i = 0; i < xvol->nx; i++)
        for (int j = 0; j < xvol->ny; j++)
            for (int k = 0; k < xvol->nz; k++) {
                float v = xvol->data[i][j][k];
                mn = v < mn ? v : mn;
                mx = v > mx ? v : mx;
            }
    float range = mx - mn;
    for (int i = 0; i < xvol->nx; i++)
        for (int j = 0; j < xvol->ny; j++)
            for (int k = 0; k < xvol->nz; k++)
                xvol->data[i][j][k] = (xvol->data[i][j][k] - mn) / range;
}
