// Helpers for the volume tests: crafting XRW content and files, building
// records and capturing the one-line messages.
#pragma once

#include "../support/scratch.h"
#include "xrw.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

inline std::string tmpPath(const std::string &name)
{
    return scratchDir() + "/volume_" + name;
}

inline void putWord(std::string &s, uint32_t w)
{
    for (int b = 0; b < 4; b++)
        s.push_back((char)(w >> (8 * b)));
}

inline void putFloat(std::string &s, float f)
{
    uint32_t w;
    memcpy(&w, &f, 4);
    putWord(s, w);
}

// Uncompressed XRW content: header, voxel bytes, then the three colour columns.
inline std::string xrwContent(int nx, int ny, int nz, float dx, float dy, float dz,
                              const std::vector<unsigned char> &voxels,
                              const std::vector<unsigned char> &cmap)
{
    std::string s;
    putWord(s, (uint32_t)nx);
    putWord(s, (uint32_t)ny);
    putWord(s, (uint32_t)nz);
    putFloat(s, dx);
    putFloat(s, dy);
    putFloat(s, dz);
    s.append(voxels.begin(), voxels.end());
    s.append(cmap.begin(), cmap.end());
    return s;
}

// Deterministic bytes: a small linear congruential sequence.
inline std::vector<unsigned char> patternBytes(size_t n, uint32_t seed)
{
    std::vector<unsigned char> v(n);
    for (size_t i = 0; i < n; i++) {
        seed = seed * 1664525u + 1013904223u;
        v[i] = (unsigned char)(seed >> 24);
    }
    return v;
}

inline void writeFile(const std::string &path, const std::string &content, bool compressed)
{
    if (compressed) {
        gzFile gz = gzopen(path.c_str(), "wb");
        ASSERT_NE(gz, nullptr);
        if (!content.empty()) {
            ASSERT_EQ(gzwrite(gz, content.data(), (unsigned)content.size()), (int)content.size());
        }
        ASSERT_EQ(gzclose(gz), Z_OK);
    } else {
        FILE *f = fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(fwrite(content.data(), 1, content.size(), f), content.size());
        ASSERT_EQ(fclose(f), 0);
    }
}

inline std::string readFile(const std::string &path)
{
    std::string s;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}

// A byte volume owned by the caller, filled from the pattern.
inline Xraw *makeXraw(int nx, int ny, int nz, uint32_t seed)
{
    Xraw *x = (Xraw *)calloc(1, sizeof(Xraw));
    x->nx = nx;
    x->ny = ny;
    x->nz = nz;
    x->dx = 0.5f;
    x->dy = 1.25f;
    x->dz = 2.0f;
    strcpy(x->filename, "made.xrw");
    size_t n = (size_t)nx * ny * nz;
    std::vector<unsigned char> v = patternBytes(n + 768, seed);
    x->data = (unsigned char *)malloc(n ? n : 1);
    memcpy(x->data, v.data(), n);
    memcpy(x->cmap_r, v.data() + n, 256);
    memcpy(x->cmap_g, v.data() + n + 256, 256);
    memcpy(x->cmap_b, v.data() + n + 512, 256);
    return x;
}

// A float volume of the given size with every voxel from f(i, j, k).
template <class F> Xvol *makeXvol(int nx, int ny, int nz, F f)
{
    Xvol *v = (Xvol *)calloc(1, sizeof(Xvol));
    v->nx = nx;
    v->ny = ny;
    v->nz = nz;
    v->dx = v->dy = v->dz = 1.0f;
    strcpy(v->filename, "made.vol");
    v->data = (float ***)malloc((nx ? nx : 1) * sizeof(float **));
    for (int i = 0; i < nx; i++) {
        v->data[i] = (float **)malloc((ny ? ny : 1) * sizeof(float *));
        for (int j = 0; j < ny; j++) {
            v->data[i][j] = (float *)malloc((nz ? nz : 1) * sizeof(float));
            for (int k = 0; k < nz; k++)
                v->data[i][j][k] = f(i, j, k);
        }
    }
    for (int c = 0; c < 256; c++) {
        v->cmap_r[c] = c / 255.0f;
        v->cmap_g[c] = 1.0f - c / 255.0f;
        v->cmap_b[c] = 0.5f;
    }
    return v;
}

inline bool sameBits(float a, float b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}
