// Float volumes: conversion from and to byte volumes, statistics,
// normalisation and release.
#include "volume_util.h"
#include "xrw.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The statistics and resampling sums are specified as separate single-precision
// operations; a fused multiply-add would change their last bits.
#ifdef __clang__
#pragma clang fp contract(off)
#endif

long long countVoxels(int nx, int ny, int nz)
{
    if (nx < 0 || ny < 0 || nz < 0) {
        fprintf(stderr, "Invalid volume dimensions %d x %d x %d.\n", nx, ny, nz);
        return -1;
    }
    long long n = (long long)nx * ny;
    if (n > INT_MAX || (n *= nz) > INT_MAX) {
        fprintf(stderr, "Volume dimensions %d x %d x %d exceed %d voxels.\n", nx, ny, nz, INT_MAX);
        return -1;
    }
    return n;
}

Xvol *newXvol()
{
    Xvol *xvol = (Xvol *)calloc(1, sizeof(Xvol));
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
        xvol->cmap_r[i] = xvol->cmap_g[i] = xvol->cmap_b[i] = (float)i / 255.0f;
}

// Releases the first `planes` planes (each with its first `rows` rows) and the
// plane table, leaving the record itself.
static void releaseXvolData(float ***data, int planes, int rows)
{
    if (!data)
        return;
    for (int i = 0; i < planes; i++) {
        if (!data[i])
            continue;
        for (int j = 0; j < rows; j++)
            free(data[i][j]);
        free(data[i]);
    }
    free(data);
}

int allocXvolData(Xvol *xvol)
{
    int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    if (countVoxels(nx, ny, nz) < 0)
        return -1;
    // Empty axes still get a (one-byte) table, so an empty volume has data.
    float ***data = (float ***)malloc(std::max(nx, 1) * sizeof(float **));
    if (!data) {
        fprintf(stderr, "Failed to allocate float volume.\n");
        return -1;
    }
    for (int i = 0; i < nx; i++) {
        data[i] = (float **)malloc(std::max(ny, 1) * sizeof(float *));
        if (!data[i]) {
            fprintf(stderr, "Failed to allocate row in float volume.\n");
            releaseXvolData(data, i, ny);
            return -1;
        }
        for (int j = 0; j < ny; j++) {
            data[i][j] = (float *)malloc(std::max(nz, 1) * sizeof(float));
            if (!data[i][j]) {
                fprintf(stderr, "Failed to allocate column in float volume.\n");
                releaseXvolData(data, i, j);
                return -1;
            }
        }
    }
    xvol->data = data;
    return 0;
}

void freeXvol(Xvol *xvol)
{
    if (!xvol)
        return;
    releaseXvolData(xvol->data, xvol->nx, xvol->ny);
    free(xvol);
}

// Stride 1: a straight copy through the table of b/255, run in tiles so that
// both the byte volume (x fastest) and the rows (z fastest) are walked along
// their cache lines.
static void copyBytesToXvol(const Xraw *xraw, Xvol *xvol)
{
    float lut[256];
    for (int b = 0; b < 256; b++)
        lut[b] = (float)(b / 255.0);

    enum { TILE_X = 256, TILE_Z = 64 };
    unsigned char tile[TILE_Z][TILE_X];
    const int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    const size_t planeBytes = (size_t)xraw->nx * xraw->ny;
    for (int j = 0; j < ny; j++) {
        for (int k0 = 0; k0 < nz; k0 += TILE_Z) {
            int kn = std::min((int)TILE_Z, nz - k0);
            for (int i0 = 0; i0 < nx; i0 += TILE_X) {
                int in = std::min((int)TILE_X, nx - i0);
                const unsigned char *src = xraw->data + i0 + (size_t)xraw->nx * j + planeBytes * k0;
                for (int k = 0; k < kn; k++)
                    memcpy(tile[k], src + planeBytes * k, in);
                for (int i = 0; i < in; i++) {
                    float *row = xvol->data[i0 + i][ny - 1 - j] + (nz - 1 - k0);
                    for (int k = 0; k < kn; k++)
                        row[-k] = lut[tile[k][i]];
                }
            }
        }
    }
}

// Strides above 1: the box mean in the specified order and precision.
static void averageBytesToXvol(const Xraw *xraw, Xvol *xvol, const int *stride)
{
    double lut[256];
    for (int b = 0; b < 256; b++)
        lut[b] = b / 255.0;

    const int sx = stride[0], sy = stride[1], sz = stride[2];
    const int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    const size_t rowBytes = xraw->nx, planeBytes = (size_t)xraw->nx * xraw->ny;
    const float count = (float)((long long)sx * sy * sz);
    for (int i = 0; i < nx; i++) {
        for (int j = 0; j < ny; j++) {
            float *row = xvol->data[i][ny - 1 - j];
            for (int k = 0; k < nz; k++) {
                const unsigned char *corner =
                    xraw->data + (size_t)sx * i + rowBytes * ((size_t)sy * j) + planeBytes * ((size_t)sz * k);
                float sum = 0.0f;
                for (int a = 0; a < sx; a++)
                    for (int b = 0; b < sy; b++) {
                        const unsigned char *p = corner + a + rowBytes * b;
                        for (int c = 0; c < sz; c++)
                            sum = (float)((double)sum + lut[p[planeBytes * c]]);
                    }
                row[nz - 1 - k] = sum / count;
            }
        }
    }
}

Xvol *Xraw2Xvol(const Xraw *xraw, const int *stride)
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
    xvol->dx = (float)stride[0] * xraw->dx;
    xvol->dy = (float)stride[1] * xraw->dy;
    xvol->dz = (float)stride[2] * xraw->dz;
    if (allocXvolData(xvol) < 0) {
        free(xvol);
        return nullptr;
    }
    if (stride[0] == 1 && stride[1] == 1 && stride[2] == 1)
        copyBytesToXvol(xraw, xvol);
    else
        averageBytesToXvol(xraw, xvol, stride);
    for (int c = 0; c < 256; c++) {
        xvol->cmap_r[c] = (float)xraw->cmap_r[c] / 255.0f;
        xvol->cmap_g[c] = (float)xraw->cmap_g[c] / 255.0f;
        xvol->cmap_b[c] = (float)xraw->cmap_b[c] / 255.0f;
    }
    return xvol;
}

void showXvol(const Xvol *xvol)
{
    printf("Parsed data (from '%.*s'):\n", XRW_NAME_LEN - 1, xvol->filename);
    printf("volume dimensions: %6d %6d %6d\n", xvol->nx, xvol->ny, xvol->nz);
    printf("      voxel sizes: %6.3f %6.3f %6.3f\n", xvol->dx, xvol->dy, xvol->dz);
    printf("total volume size: %6.1f %6.1f %6.1f\n", (float)xvol->nx * xvol->dx, (float)xvol->ny * xvol->dy,
           (float)xvol->nz * xvol->dz);
    const int nx = xvol->nx, ny = xvol->ny, nz = xvol->nz;
    if (!xvol->data || nx <= 0 || ny <= 0 || nz <= 0) {
        printf("    min, mean(stddev), max: no voxels\n");
        return;
    }
    float mn = xvol->data[0][0][0], mx = mn, sum = 0.0f, sumSq = 0.0f;
    for (int i = 0; i < nx; i++) {
        float *const *plane = xvol->data[i];
        for (int j = 0; j < ny; j++) {
            const float *row = plane[j];
            for (int k = 0; k < nz; k++) {
                float v = row[k];
                sum += v;
                float sq = v * v;
                sumSq += sq;
                mn = v < mn ? v : mn;
                mx = v > mx ? v : mx;
            }
        }
    }
    float n = (float)((long long)nx * ny * nz);
    float mean = sum / n;
    float meanSq = mean * mean;
    float var = sumSq / n - meanSq;
    float sd = sqrtf(var);
    printf("    min, mean(stddev), max: %6.4f %6.4f(%6.4f) %6.4f\n", mn, mean, sd, mx);
}

// A voxel as a byte: below 0 is 0, above 255.999 (after scaling by 256) is 255.
static unsigned char quantiseVoxel(float v)
{
    float w = v * 256.0f;
    if (std::isnan(w) || w < 0.0f)
        return 0;
    if ((double)w > 255.999)
        return 255;
    return (unsigned char)(int)floorf(w);
}

// A colour entry keeps the low 8 bits of floor(c * 255.999), unclamped; values
// too large for an int (or not finite) are taken modulo 256 (or as 0) rather
// than converted out of range.
static unsigned char quantiseColour(float c)
{
    float scaled = (float)((double)c * 255.999);
    if (!std::isfinite(scaled))
        return 0;
    double f = fmod((double)floorf(scaled), 256.0);
    if (f < 0)
        f += 256.0;
    return (unsigned char)(int)f;
}

Xraw *Xvol2Xraw(const Xvol *xvol)
{
    if (!xvol || !xvol->data) {
        fprintf(stderr, "Invalid data given to parseXraw.\n");
        return nullptr;
    }
    long long n = countVoxels(xvol->nx, xvol->ny, xvol->nz);
    if (n < 0)
        return nullptr;
    Xraw *xraw = (Xraw *)calloc(1, sizeof(Xraw));
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
    xraw->data = (unsigned char *)malloc(std::max(n, 1LL));
    if (!xraw->data) {
        fprintf(stderr, "Failed to allocate unsigned char volume.\n");
        free(xraw);
        return nullptr;
    }
    const int nx = xraw->nx, ny = xraw->ny, nz = xraw->nz;
    const size_t planeBytes = (size_t)nx * ny;
    for (int i = 0; i < nx; i++)
        for (int j = 0; j < ny; j++) {
            const float *row = xvol->data[i][ny - 1 - j];
            unsigned char *dst = xraw->data + i + (size_t)nx * j;
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
