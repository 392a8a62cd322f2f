// The 3-D texture of a volume: RGBA texels through the volume's colour block.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "startup.h"
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

int fillTexture(int v, const Xvol *xvol, const float tr[12])
{
    int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    int lo = 1000 + 256 * v, hi = lo + 255;
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
    // Every voxel once. The volume runs k fastest and the texture i fastest,
    // so the pass goes through tiles of 16 i (one cache line of texels) by
    // 64 k (four lines of floats): the tile's rows are read as sequential
    // streams, its texels gathered on the stack and written out as whole
    // lines, one per slice.
    const int tileI = 16, tileK = 64;
    unsigned char tile[tileK][tileI * 4];
    int alphaLo = 255, alphaHi = 0;
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
