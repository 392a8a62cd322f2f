// The 3-D texture of a volume: RGBA texels through the volume's colour block.
#include <sys/mman.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "crosshair.h"
#include "startup.h"
#include "two_cores.h"
#include "vqscene.h"
#include "xrw.h"

namespace {

// Opacity byte for ramp position f; values outside the byte range are clamped.
unsigned char opacityByte(double amin, double amax, float f)
{
    double a = 255.0 * (amin + (amax - amin) * f);
    if (!(a > 0))
        return 0;
    if (a >= 255)
        return 255;
    return static_cast<unsigned char>(a);
}

// Integer part of 255 times a colour component, kept within the byte range.
unsigned char colourByte(float c)
{
    double x = 255.0 * c;
    if (!(x > 0))
        return 0;
    if (x >= 255)
        return 255;
    return static_cast<unsigned char>(x);
}

// Copies n texels of a tile out; a whole aligned line goes around the cache,
// since nothing reads it again during the pass.
inline void writeTexels(unsigned char *out, const unsigned char *src, int n)
{
#if defined(__SSE2__)
    if (n == 16 && (reinterpret_cast<uintptr_t>(out) & 15) == 0) {
        const __m128i *s = reinterpret_cast<const __m128i *>(src);
        __m128i *d = reinterpret_cast<__m128i *>(out);
        _mm_stream_si128(d, _mm_loadu_si128(s));
        _mm_stream_si128(d + 1, _mm_loadu_si128(s + 1));
        _mm_stream_si128(d + 2, _mm_loadu_si128(s + 2));
        _mm_stream_si128(d + 3, _mm_loadu_si128(s + 3));
        return;
    }
#endif
    std::memcpy(out, src, 4 * static_cast<size_t>(n));
}

} // namespace

// Gives the float voxels' pages back to the system once the texture no
// longer needs them (they read as zero afterwards); only for a volume whose
// rows lie end to end in one block. Every row is checked: rows allocated one
// by one can put the last row just where the block's would be, and the
// pages between them then hold other allocations.
void dropFloatVoxels(const Xvol *xvol)
{
    // Slice views keep drawing them.
    if (crosshair.ortho)
        return;
    size_t rows = static_cast<size_t>(xvol->nx) * xvol->ny, nz = xvol->nz;
    const float *first = xvol->data[0][0];
    for (int i = 0; i < xvol->nx; i++)
        for (int j = 0; j < xvol->ny; j++)
            if (xvol->data[i][j] != first + (static_cast<size_t>(i) * xvol->ny + j) * nz)
                return;
    const uintptr_t page = 4096;
    uintptr_t a = (reinterpret_cast<uintptr_t>(first) + page - 1) / page * page;
    uintptr_t b = reinterpret_cast<uintptr_t>(first + rows * nz) / page * page;
    if (b > a)
        madvise(reinterpret_cast<void *>(a), b - a, MADV_DONTNEED);
}

void dropByteVoxels(Xraw *xraw)
{
    // The crosshair's readout reads them.
    if (crosshair.wanted)
        return;
    size_t bytes = xraw && xraw->data ? static_cast<size_t>(xraw->nx) * xraw->ny * xraw->nz : 0;
    if (bytes < (size_t(1) << 20))
        return;
    const uintptr_t page = 4096;
    uintptr_t a = (reinterpret_cast<uintptr_t>(xraw->data) + page - 1) / page * page;
    uintptr_t b = (reinterpret_cast<uintptr_t>(xraw->data) + bytes) / page * page;
    if (b > a)
        madvise(reinterpret_cast<void *>(a), b - a, MADV_DONTNEED);
}

bool texelsFromBytes(int v, const Xraw *xraw)
{
    const int *stride = settings.stride[v];
    return xraw && xraw->data && stride[0] == 1 && stride[1] == 1 && stride[2] == 1 && !settings.clipData &&
           settings.boundaryPlanes <= 0;
}

int fillTexture(int v, const Xvol *xvol, const float tr[12])
{
    int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    int lo = colourBlockStart(v), hi = lo + 255;
    tex3d[v] = svqc3dt(nx, ny, nz);
    _nx[v] = nx;
    _ny[v] = ny;
    _nz[v] = nz;
    std::memcpy(_tr[v], tr, sizeof _tr[v]);

    float lowBound = dmin[v], highBound = dmax[v];
    // With an empty data range every voxel sits at one end of the ramp; one
    // exactly at the bound takes the top, as if just above it.
    bool flatRange = !(highBound != lowBound);
    float scale = static_cast<float>(1.0 / (highBound - lowBound));

    int w = 0, h = 0, d = 0;
    unsigned char *texels = svqg3dt(tex3d[v], &w, &h, &d);
    std::fprintf(stderr, "3d texture IS %d x %d x %d\n", w, h, d);
    bool empty = nx <= 0 || ny <= 0 || nz <= 0;
    if (!empty && (!texels || w < nx || h < ny || d < nz)) {
        std::fprintf(stderr, "Failed to create a %d x %d x %d 3d texture.\n", nx, ny, nz);
        return -1;
    }
    // Texels beyond the volume stay 0; those inside are all written below.
    if (texels && (w != nx || h != ny || d != nz || empty))
        std::memset(texels, 0, static_cast<size_t>(w) * h * d * 4);

    // The colour of each index of the block, read once: the same bytes the
    // per-voxel query gives, without a library call per voxel.
    unsigned char rgb[256][3];
    for (int c = 0; c < 256; c++) {
        float r, g, b;
        vqqcr(lo + c, &r, &g, &b);
        rgb[c][0] = colourByte(r);
        rgb[c][1] = colourByte(g);
        rgb[c][2] = colourByte(b);
    }

    float minaf = 9e30f, maxaf = -9e30f;
    double a0 = amin[v], a1 = amax[v];
    size_t rowStride = static_cast<size_t>(w) * 4, sliceStride = static_cast<size_t>(w) * h * 4;
    // Texel of one voxel value; the opacity byte also returned for the range.
    auto texel = [&](float value, unsigned char *t) {
        float f;
        int ci;
        if (flatRange) {
            f = value < lowBound ? 0.0f : 1.0f;
            ci = value < lowBound ? 0 : 255;
        } else {
            f = (value - lowBound) * scale;
            if (f < 0 || f != f) {
                f = 0;
                ci = 0;
            } else if (f > 1) {
                f = 1;
                ci = 255;
            } else {
                ci = static_cast<int>(255.0 * f);
                if (ci > hi - lo)
                    ci = hi - lo;
            }
        }
        unsigned char alpha = value < lowBound ? 0 : opacityByte(a0, a1, f);
        t[0] = rgb[ci][0];
        t[1] = rgb[ci][1];
        t[2] = rgb[ci][2];
        t[3] = alpha;
        return alpha;
    };
    const int tileI = 16, tileK = 64;
    int alphaLo = 255, alphaHi = 0;
    Xraw *xraw = settings.xvols[v] == xvol ? settings.xraws[v] : nullptr;
    size_t count = static_cast<size_t>(nx) * ny * nz;
    // Floats made from the bytes one for one and left as they were hold
    // exactly byte b / 255 at voxel (i, ny-1-j, nz-1-k) of the bytes: then
    // each texel row is one row of the bytes through a table of 256 texels,
    // with no pass over the floats at all.
    bool fromBytes = texelsFromBytes(v, xraw) && xraw->nx == nx && xraw->ny == ny && xraw->nz == nz;
    if (!empty && fromBytes) {
        uint32_t texelOf[256];
        int alphaOf[256];
        for (int b = 0; b < 256; b++) {
            unsigned char t[4];
            alphaOf[b] = texel(static_cast<float>(b / 255.0), t);
            std::memcpy(&texelOf[b], t, 4);
        }
        dropFloatVoxels(xvol);
        const unsigned char *bytes = xraw->data;
        const size_t plane = static_cast<size_t>(nx) * ny;
        // Which byte values occur, for the opacity range printed below.
        unsigned char seen[2][256] = {};
        auto writeSlices = [&](int k0, int k1, int half) {
            unsigned char *met = seen[half];
            for (int k = k0; k < k1; k++)
                for (int j = 0; j < ny; j++) {
                    unsigned char *out = texels + rowStride * j + sliceStride * k;
                    const unsigned char *src =
                        bytes + static_cast<size_t>(nx) * (ny - 1 - j) + plane * (nz - 1 - k);
                    for (int i = 0; i < nx; i++) {
                        met[src[i]] = 1;
                        std::memcpy(out + 4 * i, &texelOf[src[i]], 4);
                    }
                }
        };
        vq::runOnTwoCores(count >= (size_t(1) << 22), nz, nz / 2, writeSlices);
        for (int b = 0; b < 256; b++)
            if (seen[0][b] || seen[1][b]) {
                alphaLo = alphaOf[b] < alphaLo ? alphaOf[b] : alphaLo;
                alphaHi = alphaOf[b] > alphaHi ? alphaOf[b] : alphaHi;
            }
        dropByteVoxels(xraw);
        svqpt(tex3d[v]);
        std::fprintf(stderr, "minaf = %f, maxaf = %f\n", static_cast<float>(alphaLo),
                     static_cast<float>(alphaHi));
        return 0;
    }
    // Through a palette: a texel depends on the voxel value alone, and a
    // volume has at most 256 distinct texels when made from bytes without
    // averaging (65536 at most in any case: 256 colours by 256 opacities).
    // The first pass writes each voxel's palette index in the texture's own
    // order over the byte volume, which nothing reads after the conversion
    // (one byte a voxel, two where averaging left room); the float voxels
    // are then given back, and the second pass writes the texels in storage
    // order. So the texels and the float voxels are never held together.
    size_t room = xraw && xraw->data ? static_cast<size_t>(xraw->nx) * xraw->ny * xraw->nz : 0;
    int codeBytes = room >= 2 * count ? 2 : 1;
    if (!empty && room >= count) {
        std::vector<uint32_t> palette;
        std::unordered_map<uint32_t, int> codeOf;
        size_t most = codeBytes == 1 ? 256 : 65536;
        struct Code {
            uint32_t bits;
            int code;
        };
        const int codeMemoBits = 12;
        std::atomic<bool> full{false};
        std::mutex paletteLock;
        auto codeFor = [&](float value) {
            std::lock_guard<std::mutex> hold(paletteLock);
            unsigned char t[4];
            int alpha = texel(value, t);
            uint32_t word;
            std::memcpy(&word, t, 4);
            auto it = codeOf.find(word);
            if (it != codeOf.end())
                return it->second;
            if (palette.size() == most) {
                full.store(true, std::memory_order_relaxed);
                return 0;
            }
            alphaLo = alpha < alphaLo ? alpha : alphaLo;
            alphaHi = alpha > alphaHi ? alpha : alphaHi;
            palette.push_back(word);
            codeOf.emplace(word, static_cast<int>(palette.size()) - 1);
            return static_cast<int>(palette.size()) - 1;
        };
        unsigned char *codes = xraw->data;
        const size_t rowCodes = static_cast<size_t>(nx), sliceCodes = static_cast<size_t>(nx) * ny;
        // Tiles of i apart write codes apart: large volumes take two runs
        // of tiles on the two cores, each remembering codes by value itself
        // (the palette is shared; which voxel gets which code does not
        // change the texels).
        auto codeTiles = [&](int iFrom, int iTo, int) {
            std::vector<Code> known(1 << codeMemoBits, Code{0, -1});
            uint16_t codeTile[tileK][tileI];
            for (int i0 = iFrom; i0 < iTo && !full.load(std::memory_order_relaxed); i0 += tileI) {
                int ni = i0 + tileI < nx ? tileI : nx - i0;
                for (int j = 0; j < ny && !full.load(std::memory_order_relaxed); j++)
                    for (int k0 = 0; k0 < nz; k0 += tileK) {
                        int nk = k0 + tileK < nz ? tileK : nz - k0;
                        for (int di = 0; di < ni; di++) {
                            const float *row = xvol->data[i0 + di][j] + k0;
                            for (int dk = 0; dk < nk; dk++) {
                                uint32_t bits;
                                std::memcpy(&bits, &row[dk], 4);
                                Code &c = known[(bits * 2654435761u) >> (32 - codeMemoBits)];
                                if (c.code < 0 || c.bits != bits) {
                                    c.bits = bits;
                                    c.code = codeFor(row[dk]);
                                }
                                codeTile[dk][di] = static_cast<uint16_t>(c.code);
                            }
                        }
                        for (int dk = 0; dk < nk; dk++) {
                            size_t at = i0 + rowCodes * j + sliceCodes * (k0 + dk);
                            if (codeBytes == 1)
                                for (int di = 0; di < ni; di++)
                                    codes[at + di] = static_cast<unsigned char>(codeTile[dk][di]);
                            else
                                std::memcpy(codes + 2 * at, codeTile[dk], 2 * ni);
                        }
                    }
            }
        };
        int tiles = (nx + tileI - 1) / tileI;
        vq::runOnTwoCores(count >= (size_t(1) << 22), nx, tiles / 2 * tileI, codeTiles);
        if (!full) {
            dropFloatVoxels(xvol);
            // Slices apart are independent: large volumes take both cores
            // (the texel storage's pages are first touched here too).
            auto writeSlices = [&](int k0, int k1, int) {
                for (int k = k0; k < k1; k++)
                    for (int j = 0; j < ny; j++) {
                        unsigned char *out = texels + rowStride * j + sliceStride * k;
                        size_t at = rowCodes * j + sliceCodes * k;
                        if (codeBytes == 1) {
                            const unsigned char *c = codes + at;
                            for (int i = 0; i < nx; i++)
                                std::memcpy(out + 4 * i, &palette[c[i]], 4);
                        } else {
                            const unsigned char *c = codes + 2 * at;
                            for (int i = 0; i < nx; i++) {
                                uint16_t code;
                                std::memcpy(&code, c + 2 * i, 2);
                                std::memcpy(out + 4 * i, &palette[code], 4);
                            }
                        }
                    }
            };
            vq::runOnTwoCores(count >= (size_t(1) << 22), nz, nz / 2, writeSlices);
            dropByteVoxels(xraw);
            svqpt(tex3d[v]);
            std::fprintf(stderr, "minaf = %f, maxaf = %f\n", static_cast<float>(alphaLo), static_cast<float>(alphaHi));
            return 0;
        }
        // More distinct texels than indices: the voxels are still all there.
        alphaLo = 255;
        alphaHi = 0;
    }

    // Every voxel once. The volume runs k fastest and the texture i fastest,
    // so the pass goes through tiles of 16 i (one cache line of texels) by
    // 64 k (four lines of floats): the tile's rows are read as sequential
    // streams, its texels gathered on the stack and written out as whole
    // lines, one per slice.
    unsigned char tile[tileK][tileI * 4];
    // A texel depends on the voxel value alone, and volumes hold few distinct
    // values (at most 256 without averaging, long runs of empty space), so
    // texels are remembered by value in a small direct-mapped table. Every
    // entry holds a value met in the volume, so its opacity is counted once.
    struct Memo {
        uint32_t bits;
        unsigned char texel[4];
    };
    const int memoBits = 12;
    Memo memo[1 << memoBits];
    if (!empty) {
        Memo first;
        std::memcpy(&first.bits, &xvol->data[0][0][0], 4);
        alphaLo = alphaHi = texel(xvol->data[0][0][0], first.texel);
        for (Memo &m : memo)
            m = first;
    }
    for (int i0 = 0; i0 < nx && !empty; i0 += tileI) {
        int ni = i0 + tileI < nx ? tileI : nx - i0;
        for (int j = 0; j < ny; j++) {
            const float *rows[tileI];
            for (int di = 0; di < ni; di++)
                rows[di] = xvol->data[i0 + di][j];
            for (int k0 = 0; k0 < nz; k0 += tileK) {
                int nk = k0 + tileK < nz ? tileK : nz - k0;
                for (int di = 0; di < ni; di++) {
                    const float *row = rows[di] + k0;
                    if (k0 + 2 * tileK < nz)
                        __builtin_prefetch(row + 2 * tileK);
                    for (int dk = 0; dk < nk; dk++) {
                        uint32_t bits;
                        std::memcpy(&bits, &row[dk], 4);
                        Memo &m = memo[(bits * 2654435761u) >> (32 - memoBits)];
                        if (m.bits != bits) {
                            m.bits = bits;
                            int alpha = texel(row[dk], m.texel);
                            alphaLo = alpha < alphaLo ? alpha : alphaLo;
                            alphaHi = alpha > alphaHi ? alpha : alphaHi;
                        }
                        std::memcpy(&tile[dk][4 * di], m.texel, 4);
                    }
                }
                unsigned char *out = texels + 4 * static_cast<size_t>(i0) + rowStride * j + sliceStride * k0;
                for (int dk = 0; dk < nk; dk++, out += sliceStride)
                    writeTexels(out, tile[dk], ni);
            }
        }
    }
#if defined(__SSE2__)
    _mm_sfence();
#endif
    if (!empty) {
        minaf = static_cast<float>(alphaLo);
        maxaf = static_cast<float>(alphaHi);
    }
    svqpt(tex3d[v]);
    std::fprintf(stderr, "minaf = %f, maxaf = %f\n", minaf, maxaf);
    return 0;
}
