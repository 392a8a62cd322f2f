// What the sample-volume tools share: their OUT.xrw N [NY NZ] arguments and
// the byte volume they fill.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "xrw.h"

// A whole number from 1 to 4096 into *v.
inline bool parseDim(const char *s, int *v)
{
    char *end;
    long n = strtol(s, &end, 10);
    if (*end || n < 1 || n > 4096)
        return false;
    *v = static_cast<int>(n);
    return true;
}

// The volume named by args[0] with args[1] voxels a side, or args[1..3]
// along x, y, z (count is 2 or 4), voxel sizes d, its bytes allocated;
// false after one line starting with the tool's name.
inline bool newSampleVolume(const char *tool, int count, char **args, const float d[3], Xraw *xraw)
{
    int n[3] = {0, 0, 0};
    if (!parseDim(args[1], &n[0]) ||
        (count == 4 && (!parseDim(args[2], &n[1]) || !parseDim(args[3], &n[2])))) {
        fprintf(stderr, "%s: dimensions must be whole numbers from 1 to 4096.\n", tool);
        return false;
    }
    if (count == 2)
        n[1] = n[2] = n[0];
    if (static_cast<long long>(n[0]) * n[1] * n[2] > 0x7fffffffLL) {
        fprintf(stderr, "%s: %d x %d x %d voxels are too many.\n", tool, n[0], n[1], n[2]);
        return false;
    }
    if (strlen(args[0]) >= XRW_NAME_LEN) {
        fprintf(stderr, "%s: output name is longer than %d characters.\n", tool, XRW_NAME_LEN - 1);
        return false;
    }
    memset(xraw, 0, sizeof *xraw);
    strcpy(xraw->filename, args[0]);
    xraw->nx = n[0];
    xraw->ny = n[1];
    xraw->nz = n[2];
    xraw->dx = d[0];
    xraw->dy = d[1];
    xraw->dz = d[2];
    size_t voxels = static_cast<size_t>(n[0]) * n[1] * n[2];
    xraw->data = static_cast<unsigned char *>(malloc(voxels ? voxels : 1));
    if (!xraw->data) {
        fprintf(stderr, "%s: out of memory.\n", tool);
        return false;
    }
    return true;
}

// Each voxel of xraw set to value(u, v, w, x, y, z): (u, v, w) its centre in
// [-1, 1] along each axis, so a shape does not depend on the voxel size and
// odd and even sizes stay symmetric; (x, y, z) its indices.
template <typename Value> void fillSampleVolume(Xraw *xraw, Value value)
{
    const int n[3] = {xraw->nx, xraw->ny, xraw->nz};
    for (int z = 0; z < n[2]; z++)
        for (int y = 0; y < n[1]; y++)
            for (int x = 0; x < n[0]; x++) {
                float u = (2.0f * x + 1.0f) / n[0] - 1.0f;
                float v = (2.0f * y + 1.0f) / n[1] - 1.0f;
                float w = (2.0f * z + 1.0f) / n[2] - 1.0f;
                xraw->data[x + static_cast<size_t>(n[0]) * (y + static_cast<size_t>(n[1]) * z)] =
                    value(u, v, w, x, y, z);
            }
}
