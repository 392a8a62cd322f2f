// The 3-D texture of a volume: RGBA texels through the volume's colour block.
#include <cmath>
#include <cstdio>
#include <cstring>

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

}  // namespace

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
    if (texels)
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
    for (int i = 0; i < nx && !empty; i++)
        for (int j = 0; j < ny; j++) {
            const float *row = xvol->data[i][j];
            unsigned char *t = texels + 4 * static_cast<size_t>(i) + rowStride * j;
            for (int k = 0; k < nz; k++, t += sliceStride) {
                float value = row[k];
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
                if (alpha < minaf)
                    minaf = alpha;
                if (alpha > maxaf)
                    maxaf = alpha;
            }
        }
    svqpt(tex3d[v]);
    std::fprintf(stderr, "minaf = %f, maxaf = %f\n", minaf, maxaf);
    return 0;
}
