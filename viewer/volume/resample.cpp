// Float volume resampling: trilinear resampling to power-of-two sizes and
// box-averaging rebinning.
#include "volume_util.h"
#include "xrw.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The weighted sums are separate single-precision operations; a
// fused multiply-add would change their last bits.
#ifdef __clang__
#pragma clang fp contract(off)
#endif

namespace {

// Largest power of two not above n; 1 for n of 1 or less.
int pow2Below(int n)
{
    int g = 1;
    if (n > 1)
        while (n / 2 >= g)
            g *= 2;
    return g;
}

} // namespace

// The input voxels one output index samples along one axis, with weights.
struct AxisSample {
    int lo, hi;
    float t;
};

namespace {

AxisSample sampleAxis(int m, int n, int g)
{
    float p = static_cast<float>(m) * static_cast<float>(n) / static_cast<float>(g);
    AxisSample s;
    s.lo = static_cast<int>(floorf(p));
    s.hi = static_cast<int>(ceilf(p));
    s.t = fabsf(p - static_cast<float>(s.hi));
    s.lo = s.lo < 0 ? 0 : (s.lo >= n ? n - 1 : s.lo);
    s.hi = s.hi < 0 ? 0 : (s.hi >= n ? n - 1 : s.hi);
    return s;
}

float axisWeight(const AxisSample &s, int q)
{
    return q == s.hi ? 1.0f - s.t : s.t;
}

void copyHeader(Xvol *out, const Xvol *in)
{
    memcpy(out->filename, in->filename, XRW_NAME_LEN);
    out->filename[XRW_NAME_LEN - 1] = '\0';
    memcpy(out->cmap_r, in->cmap_r, sizeof out->cmap_r);
    memcpy(out->cmap_g, in->cmap_g, sizeof out->cmap_g);
    memcpy(out->cmap_b, in->cmap_b, sizeof out->cmap_b);
}

} // namespace

Xvol *makePow2Xvol(const Xvol *xvol)
{
    if (!xvol || !xvol->data) {
        fprintf(stderr, "Invalid data given to makePow2Xraw.\n");
        return nullptr;
    }
    if (xvol->nx < 1 || xvol->ny < 1 || xvol->nz < 1) {
        fprintf(stderr, "Invalid volume dimensions %d x %d x %d given to makePow2Xraw.\n", xvol->nx, xvol->ny,
                xvol->nz);
        return nullptr;
    }
    Xvol *out = newXvol();
    if (!out)
        return nullptr;
    copyHeader(out, xvol);
    out->nx = pow2Below(xvol->nx);
    out->ny = pow2Below(xvol->ny);
    out->nz = pow2Below(xvol->nz);
    out->dx = static_cast<float>(xvol->nx) * xvol->dx / static_cast<float>(out->nx);
    out->dy = static_cast<float>(xvol->ny) * xvol->dy / static_cast<float>(out->ny);
    out->dz = static_cast<float>(xvol->nz) * xvol->dz / static_cast<float>(out->nz);
    if (allocXvolData(out) < 0) {
        free(out);
        return nullptr;
    }
    for (int i = 0; i < out->nx; i++) {
        AxisSample sx = sampleAxis(i, xvol->nx, out->nx);
        for (int j = 0; j < out->ny; j++) {
            AxisSample sy = sampleAxis(j, xvol->ny, out->ny);
            for (int k = 0; k < out->nz; k++) {
                AxisSample sz = sampleAxis(k, xvol->nz, out->nz);
                float sum = 0.0f, weights = 0.0f;
                for (int x = sx.lo; x <= sx.hi; x++)
                    for (int y = sy.lo; y <= sy.hi; y++)
                        for (int z = sz.lo; z <= sz.hi; z++) {
                            float w = axisWeight(sx, x) * axisWeight(sy, y);
                            w = w * axisWeight(sz, z);
                            weights += w;
                            float wv = w * xvol->data[x][y][z];
                            sum += wv;
                        }
                out->data[i][j][k] = sum / weights;
            }
        }
    }
    return out;
}

Xvol *rebinXvol(const Xvol *xvol, const int *stride)
{
    if (!xvol || !xvol->data) {
        fprintf(stderr, "Invalid data given to parseXraw.\n");
        return nullptr;
    }
    if (!stride || stride[0] < 1 || stride[1] < 1 || stride[2] < 1) {
        fprintf(stderr, "Invalid averaging stride given to rebinXvol.\n");
        return nullptr;
    }
    if (countVoxels(xvol->nx, xvol->ny, xvol->nz) < 0)
        return nullptr;
    Xvol *out = newXvol();
    if (!out)
        return nullptr;
    copyHeader(out, xvol);
    const int sx = stride[0], sy = stride[1], sz = stride[2];
    out->nx = xvol->nx / sx;
    out->ny = xvol->ny / sy;
    out->nz = xvol->nz / sz;
    out->dx = static_cast<float>(sx) * xvol->dx;
    out->dy = static_cast<float>(sy) * xvol->dy;
    out->dz = static_cast<float>(sz) * xvol->dz;
    if (allocXvolData(out) < 0) {
        free(out);
        return nullptr;
    }
    // Only boxes inside the source are visited, so the stride product fits.
    const float count = static_cast<float>(static_cast<long long>(sx) * sy * sz);
    for (int i = 0; i < out->nx; i++)
        for (int j = 0; j < out->ny; j++)
            for (int k = 0; k < out->nz; k++) {
                float sum = 0.0f;
                for (int a = 0; a < sx; a++)
                    for (int b = 0; b < sy; b++) {
                        const float *row = xvol->data[sx * i + a][sy * j + b] + sz * k;
                        for (int c = 0; c < sz; c++)
                            sum += row[c];
                    }
                out->data[i][j][k] = sum / count;
            }
    return out;
}
